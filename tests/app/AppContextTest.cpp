#include "app/AppContext.h"

#include "conversation/ChatHistoryPersistence.h"
#include "conversation/ChatViewModel.h"
#include "settings/AppSettings.h"
#include "support/Eventually.h"
#include "support/FakeOpenAIServer.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kestrion;
using namespace std::chrono_literals;
using kestrion::test::FakeOpenAIServer;
using kestrion::test::ScriptedResponse;

namespace {

// The services as main() makes them, over settings pointing at the first fake server, with a
// key and a website folder; no window.
class AppContextTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.isValid());
        AppSettings::setMigratedLegacyChatsToProject(true);
        settings.setOpenAIBaseURL(first.apiBaseUrl());
        settings.setApiKey(QStringLiteral("sk-test"));
        settings.setOutputDirectoryPath(site.path());
        context = std::make_unique<AppContext>(&settings);
        chat()->applyOutputRoot(site.path());
        chat()->flushSaves();
    }

    ChatViewModel* chat() const { return context->chat(); }

    void startSend(const QString& text) {
        chat()->setInput(text);
        chat()->send(settings.model(), settings.apiKey());
        ASSERT_TRUE(chat()->isSending());
    }

    ::testing::AssertionResult answered() const {
        return test::eventually([this] { return !chat()->isSending(); }, 30000);
    }

    FakeOpenAIServer first;
    FakeOpenAIServer second;
    QTemporaryDir site;
    AppSettings settings;
    std::unique_ptr<AppContext> context;
};

TEST_F(AppContextTest, aNewBaseUrlTakesTheNextTurnToThatServer) {
    first.replyWithChat(QStringLiteral("From the first server."));
    startSend(QStringLiteral("one"));
    ASSERT_TRUE(answered());

    settings.setOpenAIBaseURL(second.apiBaseUrl());
    second.replyWithChat(QStringLiteral("From the second server."));
    startSend(QStringLiteral("two"));
    ASSERT_TRUE(answered());

    EXPECT_EQ(first.chatRequests().size(), 1);
    EXPECT_EQ(second.chatRequests().size(), 1);
    ASSERT_EQ(chat()->messages().size(), 4);
    EXPECT_EQ(chat()->messages().last().text, QStringLiteral("From the second server."));
}

TEST_F(AppContextTest, quittingStopsTheRunningTurnAndLeavesTheQuestionOnDisk) {
    ScriptedResponse late = ScriptedResponse::json(200, FakeOpenAIServer::chatCompletionBody(QStringLiteral("late")));
    late.delay = 20s;
    first.replyToChat(late);
    startSend(QStringLiteral("Keep this question"));

    QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();

    // Stopped while quitting, as the Stop button would: the question stays, no answer comes.
    EXPECT_EQ(chat()->turnStatus(), QStringLiteral("Stopped."));
    ASSERT_EQ(chat()->messages().size(), 1);
    const auto stored = ChatHistoryPersistence::load(site.path());
    ASSERT_TRUE(stored.has_value());
    ASSERT_EQ(stored->sessions.size(), 1);
    ASSERT_EQ(stored->sessions.first().messages.size(), 1);
    EXPECT_EQ(stored->sessions.first().messages.first().text, QStringLiteral("Keep this question"));
    ASSERT_TRUE(answered());
    EXPECT_EQ(chat()->messages().size(), 1);
}

} // namespace
