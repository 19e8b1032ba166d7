#include "conversation/ChatHistoryPersistence.h"
#include "conversation/ChatViewModel.h"
#include "openai/OpenAIService.h"
#include "settings/AppSettings.h"
#include "support/Eventually.h"
#include "support/FakeOpenAIServer.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTranslator>
#include <gtest/gtest.h>

using namespace kestrion;
using kestrion::test::eventually;
using kestrion::test::FakeOpenAIServer;
using kestrion::test::gitOutput;
using kestrion::test::ScriptedResponse;

namespace {

class TurnControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_site.isValid());
        AppSettings::setMigratedLegacyChatsToProject(true);
        m_model.setOpenAIService(std::make_shared<const OpenAIService>(m_server.apiBaseUrl()));
        m_model.applyOutputRoot(m_site.path());
    }

    void startSend(const QString& text) {
        m_model.setInput(text);
        m_model.send(QStringLiteral("gpt-4o-mini"), QStringLiteral("sk-test"));
        ASSERT_TRUE(m_model.isSending());
    }

    ::testing::AssertionResult waitUntilIdle() {
        return eventually([this] { return !m_model.isSending(); }, 30000);
    }

    QStringList storedTexts() {
        m_model.flushSaves();
        const auto stored = ChatHistoryPersistence::load(m_site.path());
        QStringList texts;
        if (stored) {
            for (const ChatSession& session : stored->sessions) {
                for (const ChatMessage& message : session.messages) {
                    texts << message.text;
                }
            }
        }
        return texts;
    }

    FakeOpenAIServer m_server;
    QTemporaryDir m_site;
    ChatViewModel m_model;
};

// However the answer is held up, a stop before it is in leaves only the question behind.
TEST_F(TurnControlTest, stopBeforeTheReply_keepsTheQuestionWritesNothingAndSaysStopped) {
    struct Case {
        const char* name;
        std::function<void(FakeOpenAIServer&)> script;
    };
    const QList<Case> cases = {
        {"no answer yet", [](FakeOpenAIServer& server) { server.replyToChat(ScriptedResponse::neverAnswers()); }},
        {"mid-body", [](FakeOpenAIServer& server) { server.replyWithSlowBody(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_model.newChat();
        c.script(m_server);
        const qsizetype requestsBefore = m_server.chatRequests().size();
        QSignalSpy finished(&m_model, &ChatViewModel::sendFinished);
        startSend(QStringLiteral("Build it"));
        ASSERT_TRUE(eventually([&] { return m_server.chatRequests().size() > requestsBefore; }));
        ASSERT_TRUE(
            eventually([&] { return m_model.turnStatus().startsWith(QStringLiteral("Waiting for the model")); }));

        m_model.stop();
        EXPECT_EQ(m_model.turnStatus(), QStringLiteral("Stopped."));
        ASSERT_TRUE(waitUntilIdle());
        ASSERT_TRUE(!finished.isEmpty() || finished.wait(10000));

        ASSERT_EQ(m_model.messages().size(), 1);
        EXPECT_EQ(m_model.messages().first().text, QStringLiteral("Build it"));
        EXPECT_EQ(m_model.turnStatus(), QStringLiteral("Stopped."));
        EXPECT_FALSE(m_model.lastError().has_value());
        EXPECT_TRUE(storedTexts().contains(QStringLiteral("Build it")));
        EXPECT_FALSE(QDir(m_site.filePath(QStringLiteral(".git"))).exists());
    }
    // The next send in the chat clears the line.
    m_server.replyWithChat(QStringLiteral("Fine."));
    startSend(QStringLiteral("Again"));
    EXPECT_TRUE(m_model.turnStatus().isEmpty() || m_model.turnStatus().startsWith(QStringLiteral("Waiting")));
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_TRUE(m_model.turnStatus().isEmpty());
}

TEST_F(TurnControlTest, stopDuringTheSecondOfThreeImages_keepsWhatWasMadeAndCommitsIt) {
    m_server.replyWithChat(QStringLiteral("Gallery.\n\n"
                                          "<<<FILE path=\"index.html\">>>\n<h1>Gallery</h1>\n<<<END_FILE>>>\n"
                                          "<<<IMAGE path=\"a.png\">>>\nred\n<<<END_IMAGE>>>\n"
                                          "<<<IMAGE path=\"b.png\">>>\ngreen\n<<<END_IMAGE>>>\n"
                                          "<<<IMAGE path=\"c.png\">>>\nblue\n<<<END_IMAGE>>>\n"));
    m_server.replyWithImageB64(FakeOpenAIServer::samplePng());
    m_server.replyToImage(ScriptedResponse::neverAnswers());
    m_server.setDefaultImageReply(FakeOpenAIServer::samplePng());
    QStringList statuses;
    QObject::connect(&m_model, &ChatViewModel::turnStatusChanged, [&] { statuses << m_model.turnStatus(); });
    startSend(QStringLiteral("Make a gallery"));

    ASSERT_TRUE(eventually([&] { return m_server.imageRequests().size() == 2; }));
    EXPECT_EQ(m_model.turnStatus(), QStringLiteral("Generating image 2 of 3: b.png\u2026"));
    m_model.stop();
    ASSERT_TRUE(waitUntilIdle());

    EXPECT_TRUE(statuses.contains(QStringLiteral("Writing 1 file\u2026")));
    EXPECT_TRUE(statuses.contains(QStringLiteral("Generating image 1 of 3: a.png\u2026")));
    EXPECT_EQ(m_server.imageRequests().size(), 2) << "the third image is never asked for";
    EXPECT_TRUE(QFile::exists(m_site.filePath(QStringLiteral("a.png"))));
    EXPECT_FALSE(QFile::exists(m_site.filePath(QStringLiteral("b.png"))));
    ASSERT_EQ(m_model.messages().size(), 2);
    const QString summary = m_model.messages().last().text;
    EXPECT_TRUE(summary.contains(QStringLiteral("Image generation failed for `b.png`: stopped")))
        << summary.toStdString();
    EXPECT_TRUE(summary.contains(QStringLiteral("Image generation failed for `c.png`: stopped")))
        << summary.toStdString();
    EXPECT_EQ(gitOutput(m_site.path(), {QStringLiteral("ls-files"), QStringLiteral("--"), QStringLiteral("a.png"),
                                        QStringLiteral("index.html")}),
              QStringLiteral("a.png\nindex.html"));
    EXPECT_EQ(m_model.turnStatus(), QStringLiteral("Stopped."));
}

// Only a turn that made a commit offers its changes and its undo: the same reply again finds
// nothing new to commit (the chats are ignored here, so their history is no change either), and
// must not take over the commit before it.
TEST_F(TurnControlTest, onlyATurnThatMadeACommitOffersItsChanges) {
    test::writeFile(m_site.filePath(QStringLiteral(".gitignore")), ".kestrion-chats/\n");
    const QString reply = QStringLiteral("Home.\n\n<<<FILE path=\"index.html\">>>\n<h1>Home</h1>\n<<<END_FILE>>>\n");
    m_server.replyWithChat(reply);
    startSend(QStringLiteral("Make a home page"));
    ASSERT_TRUE(waitUntilIdle());
    const QUuid first = m_model.messages().last().id;
    EXPECT_EQ(m_model.turnActions().commitOf(first),
              gitOutput(m_site.path(), {QStringLiteral("rev-parse"), QStringLiteral("HEAD")}));
    EXPECT_TRUE(m_model.turnActions().messageActions(first).contains(TurnActions::showChangesAction));

    m_server.replyWithChat(reply);
    startSend(QStringLiteral("Once more"));
    ASSERT_TRUE(waitUntilIdle());
    const QUuid second = m_model.messages().last().id;
    ASSERT_NE(second, first);
    EXPECT_FALSE(m_model.turnActions().commitOf(second).has_value());
    EXPECT_FALSE(m_model.turnActions().messageActions(second).contains(TurnActions::showChangesAction));
}

TEST_F(TurnControlTest, retrySendsTheQuestionAgainAndKeepsTheFailedExchange) {
    m_server.replyToChat(ScriptedResponse::json(500, R"({"error":{"message":"overloaded"}})"));
    m_server.replyWithChat(QStringLiteral("Here it is."));
    startSend(QStringLiteral("Build a page"));
    ASSERT_TRUE(waitUntilIdle());
    ASSERT_EQ(m_model.messages().size(), 2);
    const QUuid failed = m_model.messages().last().id;
    const QUuid question = m_model.messages().first().id;
    EXPECT_TRUE(m_model.turnActions().retryQuestion(failed).has_value());
    EXPECT_FALSE(m_model.turnActions().retryQuestion(question).has_value()) << "only an error offers Retry";

    m_model.retry(failed, QStringLiteral("gpt-4o-mini"), QStringLiteral("sk-test"));
    EXPECT_FALSE(m_model.turnActions().retryQuestion(failed).has_value()) << "not while the retry runs";
    ASSERT_TRUE(waitUntilIdle());

    QStringList texts;
    for (const ChatMessage& message : m_model.messages()) {
        texts << message.text;
    }
    ASSERT_EQ(texts.size(), 4);
    EXPECT_EQ(texts[0], QStringLiteral("Build a page"));
    EXPECT_TRUE(texts[1].startsWith(QStringLiteral("Error: HTTP 500")));
    EXPECT_EQ(texts[2], QStringLiteral("Build a page"));
    EXPECT_EQ(texts[3], QStringLiteral("Here it is."));
    EXPECT_FALSE(m_model.lastError().has_value());
    ASSERT_EQ(m_server.chatRequests().size(), 2);
    const QJsonArray sent = m_server.chatRequests().last().jsonBody().value(QStringLiteral("messages")).toArray();
    EXPECT_EQ(sent.last().toObject().value(QStringLiteral("content")).toString(), QStringLiteral("Build a page"));
}

// Under a translation the error line is stored in the user's language; Retry
// must still be offered for it (and for the English lines of older chats).
TEST_F(TurnControlTest, retryIsOfferedForAnErrorWrittenInAnotherLanguage) {
    class German final : public QTranslator {
    public:
        QString translate(const char* context, const char* source, const char*, int) const override {
            if (QLatin1String(context) == QLatin1String("kestrion::TurnRunner") &&
                QLatin1String(source) == QLatin1String("Error: %1")) {
                return QStringLiteral("Fehler: %1");
            }
            return {};
        }
        bool isEmpty() const override { return false; }
    } german;
    QCoreApplication::installTranslator(&german);
    m_server.replyToChat(ScriptedResponse::json(500, R"({"error":{"message":"overloaded"}})"));
    startSend(QStringLiteral("Build a page"));
    ASSERT_TRUE(waitUntilIdle());
    ASSERT_EQ(m_model.messages().size(), 2);
    ASSERT_TRUE(m_model.messages().last().text.startsWith(QStringLiteral("Fehler: ")));
    EXPECT_TRUE(m_model.turnActions().retryQuestion(m_model.messages().last().id).has_value());
    QCoreApplication::removeTranslator(&german);
}

TEST_F(TurnControlTest, streamedReply_arrivesPieceByPieceThenLandsLikeAPlainOne) {
    m_model.setStreamReplies(true);
    m_server.replyWithStreamedChat({QStringLiteral("Here "),
                                    QStringLiteral("you go.\n<<<FILE path=\"index.html\">>>\n"),
                                    QStringLiteral("<h1>Hi</h1>\n<<<END_FILE>>>\n")});
    QStringList seen;
    QObject::connect(&m_model, &ChatViewModel::streamedReplyChanged, [&] {
        if (!m_model.streamedReply().isEmpty()) {
            seen << m_model.streamedReply();
        }
    });
    startSend(QStringLiteral("Hello"));
    ASSERT_TRUE(waitUntilIdle());

    ASSERT_FALSE(seen.isEmpty());
    EXPECT_TRUE(seen.first().startsWith(QStringLiteral("Here ")));
    EXPECT_TRUE(m_model.streamedReply().isEmpty()) << "the live text goes once the turn ends";
    EXPECT_EQ(m_server.chatRequests().first().jsonBody().value(QStringLiteral("stream")), QJsonValue(true));
    EXPECT_EQ(test::readFile(m_site.filePath(QStringLiteral("index.html"))), QByteArray("<h1>Hi</h1>"));
    const QString shown = m_model.messages().last().text;
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Here you go."))) << shown.toStdString();
    EXPECT_FALSE(shown.contains(QStringLiteral("<<<FILE")));
}

TEST_F(TurnControlTest, brokenStream_isAnErrorLikeAFailedRequest) {
    m_model.setStreamReplies(true);
    ScriptedResponse broken = ScriptedResponse::bytes(
        200, FakeOpenAIServer::streamedChatBody({QStringLiteral("partial answer ")}), "text/event-stream");
    broken.dropConnection = true;
    m_server.replyToChat(broken);
    startSend(QStringLiteral("Hello"));
    ASSERT_TRUE(waitUntilIdle());
    ASSERT_EQ(m_model.messages().size(), 2);
    EXPECT_TRUE(m_model.messages().last().text.startsWith(QStringLiteral("Error: ")));
    EXPECT_TRUE(m_model.lastError().has_value());
    EXPECT_FALSE(QDir(m_site.filePath(QStringLiteral(".git"))).exists());
}

} // namespace
