#include "app/widgets/LaunchSection.h"

#include "FindChild.h"
#include "WindowTestSupport.h"
#include "app/MainWindow.h"
#include "app/WindowState.h"
#include "app/widgets/ChatPane.h"
#include "conversation/ChatHistoryPersistence.h"
#include "conversation/ChatViewModel.h"
#include "deploy/LaunchStateStore.h"
#include "settings/AppSettings.h"
#include "support/Eventually.h"
#include "support/FakePanelServer.h"
#include "support/ProcessRunner.h"
#include "support/TestFiles.h"
#include "workspace/OutputFolderFileTreeModel.h"

#include <QApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace kestrion;
using kestrion::test::becomes;
using kestrion::test::eventually;
using namespace std::chrono_literals;
using kestrion::test::writeFile;
using test::FakePanelServer;
using test::ScriptedResponse;

namespace {

constexpr int launchTimeoutMs = 60000;

ScriptedResponse delayed(ScriptedResponse response, std::chrono::milliseconds delay) {
    response.delay = delay;
    return response;
}

QByteArray header(const test::RecordedRequest& request, const QByteArray& name) {
    for (const auto& [key, value] : request.headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

QByteArray json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

const QJsonObject liveSite{{QStringLiteral("domain"), QStringLiteral("site.example")},
                           {QStringLiteral("https_url"), QStringLiteral("https://site.example/")},
                           {QStringLiteral("panel_url"), QStringLiteral("https://panel.example/vh/42")},
                           {QStringLiteral("message"), QStringLiteral("Deploy queued")},
                           {QStringLiteral("virtual_host_id"), 42}};

class LaunchSectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QApplication::setQuitOnLastWindowClosed(false);
        site = dir.filePath(QStringLiteral("My Site"));
        remote = dir.filePath(QStringLiteral("remote.git"));
        writeFile(site + QStringLiteral("/index.html"), "<h1>hello</h1>");
        QDir().mkpath(remote);
        ASSERT_EQ(runProcess(QStringLiteral("/usr/bin/git"),
                             {QStringLiteral("init"), QStringLiteral("--bare"), QStringLiteral("-q")}, remote)
                      .exitCode,
                  0);
        settings.setOutputDirectoryPath(site);
        settings.setKestrionPanelBaseURL(panel.baseUrl());
        settings.setKestrionApiToken(QStringLiteral("panel-token"));
    }

    void openWindow() {
        test::startApp(&settings, context, window);
        launch()->setDeployContext(fastPolls());
        launch()->setUrlOpener([this](const QUrl& url) { opened.append(url); });
        ASSERT_TRUE(test::showAndWaitUntilReady(*window, *context));
    }

    static DeployRun::DeployContext fastPolls() {
        DeployRun::DeployContext context;
        context.timing.pollInterval = 20ms;
        return context;
    }

    LaunchSection* launch() const { return window->findChild<LaunchSection*>(); }
    QPushButton* primary() const { return test::child<QPushButton>(launch(), "primaryButton"); }
    QPushButton* openButton() const { return test::child<QPushButton>(launch(), "openButton"); }
    QWidget* progressBlock() const { return test::child<QWidget>(launch(), "progressBlock"); }
    LaunchDeployProgressModel* progress() const { return context->deployProgress(); }
    WindowState* state() const { return test::viewState(*window); }

    QString lastMessage() const {
        const auto& messages = context->chat()->messages();
        return messages.isEmpty() ? QString() : messages.last().text;
    }

    FakePanelServer panel;
    QTemporaryDir dir;
    QString site;
    QString remote;
    AppSettings settings;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<MainWindow> window;
    QList<QUrl> opened;
};

TEST_F(LaunchSectionTest, aLaunchShowsItsProgressThenTheAddressesInTheChatAndRemembersThem) {
    panel.prepareWithPushUrl(remote);
    panel.replyToFinalize(ScriptedResponse::json(201, json(liveSite)));
    panel.replyToStatus(ScriptedResponse::json(
        200, R"({"state":"building","current_step_label":"Copying files","step_number":2,"step_total":5})"));
    panel.replyToStatusWithState(QStringLiteral("completed"));
    openWindow();
    ASSERT_NE(launch(), nullptr);
    EXPECT_TRUE(launch()->isVisible());
    EXPECT_EQ(primary()->text(), QStringLiteral("Launch to the internet"));
    EXPECT_EQ(primary()->accessibleName(), QStringLiteral("Launch to the internet"));
    EXPECT_TRUE(primary()->isEnabled());
    EXPECT_FALSE(openButton()->isVisible());
    EXPECT_FALSE(progressBlock()->isVisible());

    QStringList lines;
    QObject::connect(progress(), &LaunchDeployProgressModel::liveLineChanged, launch(),
                     [&lines](const QString& line) { lines.append(line); });
    QSignalSpy finished(launch(), &LaunchSection::launchFinished);
    QTest::mouseClick(primary(), Qt::LeftButton);

    EXPECT_TRUE(state()->isLaunchingToKestrion());
    EXPECT_FALSE(primary()->isEnabled());
    EXPECT_TRUE(primary()->text().isEmpty()); // a spinner instead
    EXPECT_TRUE(progressBlock()->isVisible());
    EXPECT_TRUE(test::child<QWidget>(launch(), "startingRow")->isVisible());

    ASSERT_TRUE(becomes([&] { return finished.size(); }, 1, launchTimeoutMs));
    EXPECT_TRUE(finished.first().first().toBool());
    EXPECT_EQ(lines, (QStringList{QStringLiteral("Waiting for first status from Kestrion…"),
                                  QStringLiteral("State: building · Copying files · Step 2 of 5"),
                                  QStringLiteral("State: completed"), QString()}));
    EXPECT_EQ(lastMessage(), QStringLiteral("**Deploy Website to Kestrion**\n\n"
                                            "Deploy queued\n\n"
                                            "**Live URL:** [https://site.example/](https://site.example/)\n\n"
                                            "**Kestrion panel:** [open virtual host](https://panel.example/vh/42)"));
    EXPECT_FALSE(state()->isLaunchingToKestrion());
    EXPECT_EQ(state()->launchedWebsiteURL(), QUrl(QStringLiteral("https://site.example/")));
    EXPECT_EQ(LaunchStateStore::load(site), QUrl(QStringLiteral("https://site.example/")));
    EXPECT_EQ(header(panel.prepareRequests().first(), "authorization"), "Bearer panel-token");

    EXPECT_TRUE(primary()->isEnabled());
    EXPECT_EQ(primary()->text(), QStringLiteral("Update"));
    EXPECT_FALSE(primary()->icon().isNull());
    EXPECT_TRUE(openButton()->isVisible());
    EXPECT_EQ(openButton()->accessibleName(), QStringLiteral("Open"));
    EXPECT_FALSE(progressBlock()->isVisible());
    QTest::mouseClick(openButton(), Qt::LeftButton);
    EXPECT_EQ(opened, (QList<QUrl>{QUrl(QStringLiteral("https://site.example/"))}));

    const QString shot = QStringLiteral(KESTRION_SCREENSHOT_DIR "/launch_finished.png");
    QTest::qWait(200);
    EXPECT_TRUE(window->grab().save(shot)) << shot.toStdString();
}

TEST_F(LaunchSectionTest, aFailingPrepareShowsTheFailureAndKeepsItUntilTheNextLaunch) {
    panel.replyToPrepare(ScriptedResponse::json(500, R"({"error":"boom"})"));
    openWindow();
    QSignalSpy finished(launch(), &LaunchSection::launchFinished);
    QTest::mouseClick(primary(), Qt::LeftButton);
    ASSERT_TRUE(becomes([&] { return finished.size(); }, 1, launchTimeoutMs));
    EXPECT_FALSE(finished.first().first().toBool());

    const QString line = progress()->liveLine();
    ASSERT_TRUE(line.startsWith(QStringLiteral("Failed: "))) << line.toStdString();
    const QString description = line.mid(QStringLiteral("Failed: ").size());
    EXPECT_FALSE(description.isEmpty());
    EXPECT_EQ(lastMessage(), QStringLiteral("Launch failed: ") + description);
    EXPECT_EQ(context->chat()->lastError(), description);
    EXPECT_TRUE(progressBlock()->isVisible());
    const QLabel* liveLine = test::child<QLabel>(launch(), "liveLineLabel");
    EXPECT_TRUE(liveLine->isVisible());
    EXPECT_EQ(liveLine->text(), line);
    EXPECT_EQ(liveLine->accessibleName(), line);
    EXPECT_EQ(primary()->text(), QStringLiteral("Launch to the internet"));
    EXPECT_TRUE(primary()->isEnabled());
    EXPECT_FALSE(openButton()->isVisible());
    EXPECT_FALSE(LaunchStateStore::load(site).has_value());

    // The next launch starts by clearing the line.
    panel.replyToPrepare(delayed(ScriptedResponse::json(500, R"({"error":"boom"})"), 300ms));
    QTest::mouseClick(primary(), Qt::LeftButton);
    EXPECT_TRUE(progress()->liveLine().isEmpty());
    EXPECT_TRUE(test::child<QWidget>(launch(), "startingRow")->isVisible());
    ASSERT_TRUE(becomes([&] { return finished.size(); }, 2, launchTimeoutMs));
}

TEST_F(LaunchSectionTest, aRestartFindsTheRememberedAddress) {
    LaunchStateStore::save(QUrl(QStringLiteral("https://old.example/")), site);
    openWindow();
    EXPECT_EQ(state()->launchedWebsiteURL(), QUrl(QStringLiteral("https://old.example/")));
    EXPECT_EQ(primary()->text(), QStringLiteral("Update"));
    EXPECT_EQ(primary()->accessibleName(), QStringLiteral("Update"));
    EXPECT_TRUE(openButton()->isVisible());
    QTest::mouseClick(openButton(), Qt::LeftButton);
    EXPECT_EQ(opened, (QList<QUrl>{QUrl(QStringLiteral("https://old.example/"))}));
}

TEST_F(LaunchSectionTest, openOpensOnlyAWebAddressWhereverTheAddressCameFrom) {
    // A launch state file may arrive with the folder; only a web address is ever opened.
    for (const QString& address : {QStringLiteral("file:///etc/passwd"), QStringLiteral("javascript:alert(1)")}) {
        SCOPED_TRACE(address.toStdString());
        writeFile(site + QStringLiteral("/.kestrion-chats/launch_state.json"),
                  json({{QStringLiteral("version"), 1}, {QStringLiteral("https_url"), address}}));
        window.reset();
        openWindow();
        EXPECT_FALSE(state()->launchedWebsiteURL().has_value());
        EXPECT_FALSE(openButton()->isVisible());
        EXPECT_EQ(primary()->text(), QStringLiteral("Launch to the internet"));

        // However the address got in, "Open" hands only http and https to the browser.
        state()->setLaunchedWebsiteURL(QUrl(address));
        ASSERT_TRUE(openButton()->isVisible());
        QTest::mouseClick(openButton(), Qt::LeftButton);
        EXPECT_TRUE(opened.isEmpty());
    }
}

TEST_F(LaunchSectionTest, aPanelAnswerWithoutAWebAddressIsNotRemembered) {
    panel.prepareWithPushUrl(remote);
    QJsonObject finished = liveSite;
    finished.remove(QStringLiteral("virtual_host_id"));
    finished.insert(QStringLiteral("https_url"), QStringLiteral("javascript:alert(document.cookie)"));
    panel.replyToFinalize(ScriptedResponse::json(200, json(finished)));
    openWindow();
    QSignalSpy done(launch(), &LaunchSection::launchFinished);
    QTest::mouseClick(primary(), Qt::LeftButton);
    ASSERT_TRUE(becomes([&] { return done.size(); }, 1, launchTimeoutMs));
    EXPECT_TRUE(done.first().first().toBool());
    EXPECT_FALSE(state()->launchedWebsiteURL().has_value());
    EXPECT_FALSE(openButton()->isVisible());
    EXPECT_FALSE(LaunchStateStore::load(site).has_value());
}

TEST_F(LaunchSectionTest, aDeletedOrMissingDirectoryCannotBeLaunched) {
    openWindow();
    EXPECT_TRUE(primary()->isEnabled());
    ASSERT_TRUE(QDir(site).removeRecursively());
    ASSERT_TRUE(eventually([&] { return !primary()->isEnabled(); }));
    QTest::mouseClick(primary(), Qt::LeftButton);
    EXPECT_FALSE(state()->isLaunchingToKestrion());
    EXPECT_TRUE(panel.requestLog().isEmpty());

    QDir().mkpath(site);
    ASSERT_TRUE(eventually([&] { return primary()->isEnabled(); }));
    settings.setOutputDirectoryPath(std::nullopt);
    EXPECT_FALSE(primary()->isEnabled());
}

TEST_F(LaunchSectionTest, theAddressIsRememberedForTheDirectoryTheLaunchStartedWith) {
    QTemporaryDir other;
    panel.prepareWithPushUrl(remote);
    QJsonObject finished = liveSite;
    finished.remove(QStringLiteral("virtual_host_id"));
    panel.replyToFinalize(delayed(ScriptedResponse::json(200, json(finished)), 800ms));
    openWindow();
    QSignalSpy done(launch(), &LaunchSection::launchFinished);
    QTest::mouseClick(primary(), Qt::LeftButton);
    ASSERT_TRUE(eventually([&] { return !panel.prepareRequests().isEmpty(); }, launchTimeoutMs));
    settings.setOutputDirectoryPath(other.path());

    ASSERT_TRUE(becomes([&] { return done.size(); }, 1, launchTimeoutMs));
    EXPECT_EQ(LaunchStateStore::load(site), QUrl(QStringLiteral("https://site.example/")));
    EXPECT_FALSE(LaunchStateStore::load(other.path()).has_value());
    // The other project was never launched: no "Update" or "Open" for it.
    EXPECT_FALSE(state()->launchedWebsiteURL().has_value());
    EXPECT_EQ(primary()->text(), QStringLiteral("Launch to the internet"));
}

// The report of a launch goes to the chat, and the folder, it was started from: the history
// of a folder no longer open is written on disk, and the chat now shown gets nothing.
TEST_F(LaunchSectionTest, theReportLandsInTheChatAndFolderTheLaunchStartedFrom) {
    QTemporaryDir other;
    panel.prepareWithPushUrl(remote);
    panel.replyToFinalize(ScriptedResponse::json(200, json({{QStringLiteral("message"), QStringLiteral("Queued")}})));
    openWindow();
    ChatViewModel* chat = context->chat();
    chat->appendKestrionStatus(QStringLiteral("before the launch"));
    const QUuid started = chat->activeSessionId();
    QSignalSpy done(launch(), &LaunchSection::launchFinished);
    QTest::mouseClick(primary(), Qt::LeftButton);
    chat->newChat();
    settings.setOutputDirectoryPath(other.path());
    ASSERT_TRUE(eventually([&] { return !chat->isBinding(); }));
    ASSERT_EQ(chat->persistenceOutputRoot(), ChatViewModel::normalizedOutputDirectory(other.path()));
    const QUuid shown = chat->activeSessionId();

    ASSERT_TRUE(becomes([&] { return done.size(); }, 1, launchTimeoutMs));
    ASSERT_TRUE(done.first().first().toBool()) << progress()->liveLine().toStdString();
    EXPECT_EQ(chat->activeSessionId(), shown);
    EXPECT_TRUE(chat->messages().isEmpty());
    chat->flushSaves();
    const auto here = ChatHistoryPersistence::load(other.path());
    ASSERT_TRUE(here.has_value());
    for (const ChatSession& session : here->sessions) {
        EXPECT_TRUE(session.messages.isEmpty()) << session.title.toStdString();
    }

    const auto there = ChatHistoryPersistence::load(site);
    ASSERT_TRUE(there.has_value());
    ASSERT_EQ(there->sessions.size(), 2) << "the chat started there and the new one";
    for (const ChatSession& session : there->sessions) {
        if (session.id == started) {
            ASSERT_EQ(session.messages.size(), 2);
            EXPECT_EQ(session.messages[1].text, QStringLiteral("**Deploy Website to Kestrion**\n\nQueued"));
        } else {
            EXPECT_TRUE(session.messages.isEmpty());
        }
    }
}

// A failed launch's message and error line belong to its chat, not to the one shown when it ends.
TEST_F(LaunchSectionTest, aFailureAfterASwitchOfChatsIsReportedInTheChatItStartedIn) {
    panel.replyToPrepare(ScriptedResponse::json(500, R"({"error":"boom"})"));
    openWindow();
    ChatViewModel* chat = context->chat();
    auto* errorLine = test::child<QLabel>(window->findChild<ChatPane*>(), "errorLine");
    const QUuid started = chat->activeSessionId();
    QSignalSpy done(launch(), &LaunchSection::launchFinished);
    QTest::mouseClick(primary(), Qt::LeftButton);
    chat->newChat();
    const QUuid shown = chat->activeSessionId();

    ASSERT_TRUE(becomes([&] { return done.size(); }, 1, launchTimeoutMs));
    const QString description = progress()->liveLine().mid(LaunchSection::failedPrefix.size());
    ASSERT_FALSE(description.isEmpty());
    EXPECT_EQ(chat->activeSessionId(), shown);
    EXPECT_TRUE(chat->messages().isEmpty());
    EXPECT_FALSE(chat->lastError().has_value());
    EXPECT_FALSE(errorLine->isVisible());

    chat->selectSession(started);
    EXPECT_EQ(lastMessage(), QStringLiteral("Launch failed: ") + description);
    EXPECT_EQ(chat->lastError(), description);
    EXPECT_TRUE(errorLine->isVisible());
    EXPECT_EQ(errorLine->text(), description);
    chat->flushSaves();
    const auto stored = ChatHistoryPersistence::load(site);
    ASSERT_TRUE(stored.has_value());
    for (const ChatSession& session : stored->sessions) {
        EXPECT_EQ(session.messages.size(), session.id == started ? 1 : 0);
    }
}

// The note under the button follows the setting, and the launch honours it: with publishing off the
// chats stay out of the pushed tree.
TEST_F(LaunchSectionTest, theNoteSaysWhetherChatsArePublishedAndTheLaunchFollowsIt) {
    writeFile(site + QStringLiteral("/.kestrion-chats/chat_history.json"), "{}");
    panel.prepareWithPushUrl(remote);
    panel.replyToFinalize(ScriptedResponse::json(200, json({{QStringLiteral("message"), QStringLiteral("Queued")}})));
    openWindow();
    QLabel* note = test::child<QLabel>(launch(), "publishNoteLabel");
    EXPECT_TRUE(note->isVisible());
    EXPECT_EQ(note->text(), QStringLiteral("Publishes the website folder, including its chats (.kestrion-chats)."));
    EXPECT_EQ(note->accessibleName(), note->text());
    EXPECT_FALSE(note->accessibleDescription().isEmpty());

    settings.setDeployIncludeChats(false);
    EXPECT_EQ(note->text(), QStringLiteral("Publishes the website folder; its chats stay private."));
    EXPECT_EQ(note->accessibleName(), note->text());

    QSignalSpy done(launch(), &LaunchSection::launchFinished);
    QTest::mouseClick(primary(), Qt::LeftButton);
    ASSERT_TRUE(becomes([&] { return done.size(); }, 1, launchTimeoutMs));
    ASSERT_TRUE(done.first().first().toBool()) << progress()->liveLine().toStdString();
    EXPECT_EQ(test::gitOutput(remote, {QStringLiteral("ls-tree"), QStringLiteral("-r"), QStringLiteral("--name-only"),
                                       QStringLiteral("main")}),
              QStringLiteral("index.html"));

    settings.setDeployIncludeChats(true);
    EXPECT_EQ(note->text(), LaunchSection::chatsPublishedNote);
}

TEST(LaunchSectionMessage, joinsThePresentPartsWithBlankLines) {
    const struct {
        DeployResult result;
        QString expected;
    } cases[] = {
        {{}, QStringLiteral("**Deploy Website to Kestrion**")},
        {{QStringLiteral("d.example"), std::nullopt, std::nullopt, QStringLiteral("Queued")},
         QStringLiteral("**Deploy Website to Kestrion**\n\nQueued")},
        {{std::nullopt, QStringLiteral(""), QStringLiteral("https://p/1"), QStringLiteral("")},
         QStringLiteral("**Deploy Website to Kestrion**\n\n**Kestrion panel:** [open virtual host](https://p/1)")},
        {{std::nullopt, QStringLiteral("https://s/"), std::nullopt, std::nullopt},
         QStringLiteral("**Deploy Website to Kestrion**\n\n**Live URL:** [https://s/](https://s/)")},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(LaunchSection::successMessage(testCase.result), testCase.expected);
    }
}

TEST_F(LaunchSectionTest, aResultWithoutAnAddressIsStillASuccessButChangesNoButtons) {
    panel.prepareWithPushUrl(remote);
    panel.replyToFinalize(
        ScriptedResponse::json(200, json({{QStringLiteral("message"), QStringLiteral("Queued for later")}})));
    openWindow();
    QSignalSpy done(launch(), &LaunchSection::launchFinished);
    QTest::mouseClick(primary(), Qt::LeftButton);
    ASSERT_TRUE(becomes([&] { return done.size(); }, 1, launchTimeoutMs));
    EXPECT_TRUE(done.first().first().toBool());
    EXPECT_EQ(lastMessage(), QStringLiteral("**Deploy Website to Kestrion**\n\nQueued for later"));
    EXPECT_EQ(primary()->text(), QStringLiteral("Launch to the internet"));
    EXPECT_FALSE(openButton()->isVisible());
    EXPECT_FALSE(LaunchStateStore::load(site).has_value());
}

} // namespace
