#include "conversation/ChatHistoryPersistence.h"
#include "conversation/ChatViewModel.h"
#include "generation/FileGenerationParser.h"
#include "openai/OpenAIService.h"
#include "settings/AppSettings.h"
#include "support/FakeOpenAIServer.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kestrion;
using kestrion::test::FakeOpenAIServer;
using kestrion::test::ScriptedResponse;

namespace {

const QString opening = QStringLiteral("You are a helpful coding assistant running inside a macOS website builder. ");

using kestrion::test::gitOutput;
using kestrion::test::readFile;
using kestrion::test::writeFile;

// The system prompt and the (role, content) pairs of one recorded chat request.
struct SentChat {
    QString systemPrompt;
    QList<std::pair<QString, QString>> turns;
};

SentChat sentChat(const kestrion::test::RecordedRequest& request) {
    SentChat sent;
    const QJsonArray messages = request.jsonBody().value(QStringLiteral("messages")).toArray();
    for (qsizetype i = 0; i < messages.size(); ++i) {
        const QJsonObject message = messages[i].toObject();
        const QString role = message.value(QStringLiteral("role")).toString();
        const QString content = message.value(QStringLiteral("content")).toString();
        if (i == 0 && role == QLatin1String("system")) {
            sent.systemPrompt = content;
        } else {
            sent.turns.append({role, content});
        }
    }
    return sent;
}

class ChatViewModelSendTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_site.isValid());
        AppSettings::setMigratedLegacyChatsToProject(true);
        m_model.setOpenAIService(std::make_shared<const OpenAIService>(m_server.apiBaseUrl()));
    }

    // Binds the chats to the folder and waits until its history is shown.
    void bindTo(const std::optional<QString>& root) {
        m_model.applyOutputRoot(root);
        m_model.flushSaves();
    }

    // Sends the text and waits until the assistant message is in.
    void sendAndWait(const QString& text) {
        QSignalSpy finished(&m_model, &ChatViewModel::sendFinished);
        QSignalSpy sending(&m_model, &ChatViewModel::isSendingChanged);
        m_model.setInput(text);
        m_model.send(QStringLiteral("gpt-4o-mini"), QStringLiteral("sk-test"));
        ASSERT_FALSE(sending.isEmpty()) << "the send was accepted";
        // A fast answer may already have finished the send when send() returns.
        ASSERT_TRUE(!finished.isEmpty() || finished.wait(30000));
        ASSERT_FALSE(m_model.isSending());
    }

    FakeOpenAIServer m_server;
    QTemporaryDir m_site;
    ChatViewModel m_model;
};

} // namespace

TEST_F(ChatViewModelSendTest, wholeSend_writesFilesAndImageCommitsAndShowsProsePlusSummary) {
    writeFile(m_site.filePath(QStringLiteral("about.htm")), "<html><body>About us</body></html>");
    bindTo(m_site.path());

    m_server.setDefaultImageReply(FakeOpenAIServer::samplePng(16, 16));
    m_server.replyWithChat(QStringLiteral(
        "Here is your site.\n\n"
        "<<<FILE path=\"index.htm\">>>\n<!DOCTYPE html><html><body><img src=\"img/hero.jpg\"></body></html>\n"
        "<<<END_FILE>>>\n\n"
        "<<<FILE path=\"styles.css\">>>\nbody { color: #123; }\n<<<END_FILE>>>\n\n"
        "<<<IMAGE path=\"img/hero.jpg\" size=\"1536x1024\">>>\nA calm lake at dawn.\n<<<END_IMAGE>>>\n\n"
        "Enjoy!"));
    QSignalSpy written(&m_model, &ChatViewModel::filesWritten);
    sendAndWait(QStringLiteral("  Build me a lake site \n"));

    // What the model was sent: the fixed opening, the protocol, and the project as it was.
    ASSERT_EQ(m_server.chatRequests().size(), 1);
    const SentChat first = sentChat(m_server.chatRequests().first());
    EXPECT_TRUE(first.systemPrompt.startsWith(opening + FileGenerationParser::systemPromptAppendix() +
                                              QStringLiteral("\n\n\n**Current project workspace** (`")));
    EXPECT_TRUE(first.systemPrompt.contains(QStringLiteral("<<<PROJECT_FILE path=\"about.htm\">>>")));
    EXPECT_FALSE(first.systemPrompt.contains(QStringLiteral("index.htm \u2014")));
    ASSERT_EQ(first.turns.size(), 1);
    EXPECT_EQ(first.turns[0], std::make_pair(QStringLiteral("user"), QStringLiteral("Build me a lake site")));

    // What landed on disk.
    EXPECT_EQ(readFile(m_site.filePath(QStringLiteral("styles.css"))), QByteArray("body { color: #123; }"));
    EXPECT_TRUE(readFile(m_site.filePath(QStringLiteral("index.htm"))).startsWith("<!DOCTYPE html>"));
    QImageReader jpeg(m_site.filePath(QStringLiteral("img/hero.jpg")));
    EXPECT_EQ(jpeg.format(), QByteArray("jpeg"));
    EXPECT_EQ(jpeg.read().size(), QSize(16, 16));
    ASSERT_EQ(m_server.imageRequests().size(), 1);
    EXPECT_EQ(m_server.imageRequests().first().jsonBody().value(QStringLiteral("size")).toString(),
              QStringLiteral("1536x1024"));
    EXPECT_EQ(gitOutput(m_site.path(), {QStringLiteral("rev-list"), QStringLiteral("--count"), QStringLiteral("main")}),
              QStringLiteral("1"));
    // The tree and preview are told once, with the folder and what was written there.
    ASSERT_EQ(written.size(), 1);
    EXPECT_EQ(written[0][0].toString(), m_site.path());
    EXPECT_EQ(written[0][1].toStringList(),
              (QStringList{QStringLiteral("index.htm"), QStringLiteral("styles.css"), QStringLiteral("img/hero.jpg")}));

    // What the chat shows: the prose and the summary, never the file contents.
    ASSERT_EQ(m_model.messages().size(), 2);
    EXPECT_EQ(m_model.messages()[1].text,
              QStringLiteral("Here is your site.\n\nEnjoy!\n\n"
                             "**Files created:** `img/hero.jpg`, `index.htm`, `styles.css`\n"
                             "**Images generated:** `img/hero.jpg`"));
    EXPECT_FALSE(m_model.lastError().has_value());

    // The history on disk holds both messages and the derived title.
    const auto stored = ChatHistoryPersistence::load(m_site.path());
    ASSERT_TRUE(stored.has_value());
    ASSERT_EQ(stored->sessions.size(), 1);
    EXPECT_EQ(stored->sessions[0].messages, m_model.messages());
    EXPECT_EQ(stored->sessions[0].title, QStringLiteral("Build me a lake site"));

    // The next send sees the new files and the whole conversation so far.
    m_server.replyWithChat(QStringLiteral("Nothing to change."));
    sendAndWait(QStringLiteral("Anything else?"));
    const SentChat second = sentChat(m_server.chatRequests().at(1));
    EXPECT_TRUE(second.systemPrompt.contains(QStringLiteral("<<<PROJECT_FILE path=\"index.htm\">>>")));
    EXPECT_TRUE(second.systemPrompt.contains(QStringLiteral("- img/hero.jpg \u2014 ")));
    ASSERT_EQ(second.turns.size(), 3);
    EXPECT_EQ(second.turns[1].first, QStringLiteral("assistant"));
    EXPECT_EQ(second.turns[1].second, m_model.messages()[1].text);
    EXPECT_EQ(m_model.messages().last().text, QStringLiteral("Nothing to change."));
    EXPECT_EQ(written.size(), 1) << "a reply that writes nothing tells nobody to rescan";
}

// A page naming files the site does not have: the summary gains its last row, and the model reads it
// on the next request because the shown text is what the history keeps.
TEST_F(ChatViewModelSendTest, brokenLinksAfterATurn_endTheSummaryAndReachTheNextRequest) {
    writeFile(m_site.filePath(QStringLiteral("team.jpg")), "jpeg");
    bindTo(m_site.path());
    m_server.replyWithChat(QStringLiteral(
        "Done.\n\n<<<FILE path=\"index.html\">>>\n<link rel=\"stylesheet\" href=\"style.css\">"
        "<img src=\"Team.JPG\"><img src=\"team.jpg\"><a href=\"https://example.com/\">web</a>\n<<<END_FILE>>>"));
    sendAndWait(QStringLiteral("A team page"));

    ASSERT_EQ(m_model.messages().size(), 2);
    EXPECT_EQ(m_model.messages()[1].text,
              QString::fromUtf8("Done.\n\n**Files created:** `index.html`\n"
                                "**Broken links:** `index.html` \u2192 `Team.JPG`, `index.html` \u2192 `style.css`"));

    // Once the files are there, the row is gone and the summary is as it always was.
    writeFile(m_site.filePath(QStringLiteral("style.css")), "body {}");
    m_server.replyWithChat(
        QStringLiteral("Fixed.\n\n<<<FILE path=\"index.html\">>>\n<link rel=\"stylesheet\" href=\"style.css\">"
                       "<img src=\"team.jpg\">\n<<<END_FILE>>>"));
    sendAndWait(QStringLiteral("Fix the links"));
    const SentChat second = sentChat(m_server.chatRequests().at(1));
    ASSERT_EQ(second.turns.size(), 3);
    EXPECT_TRUE(second.turns[1].second.endsWith(QString::fromUtf8("`index.html` \u2192 `style.css`")));
    EXPECT_EQ(m_model.messages().last().text, QStringLiteral("Fixed.\n\n**Files created:** `index.html`"));
}

// A whole page pasted as fenced code instead of a file block is saved anyway; the chat then shows
// the prose and the note, never the page's code.
TEST_F(ChatViewModelSendTest, codeSavedByTheFallback_isTakenOutOfTheShownReply) {
    bindTo(m_site.path());
    const QString document = QStringLiteral(
        "<!DOCTYPE html>\n<html><head><title>Bakery</title></head><body><h1>Fresh bread daily</h1></body></html>");
    m_server.replyWithChat(QStringLiteral("Here is your page:\n\n```html\n") + document +
                           QStringLiteral("\n```\n\n\n\nTell me what to change."));
    sendAndWait(QStringLiteral("A bakery page"));

    EXPECT_EQ(QString::fromUtf8(readFile(m_site.filePath(QStringLiteral("index.htm")))).trimmed(), document);
    ASSERT_EQ(m_model.messages().size(), 2);
    EXPECT_EQ(m_model.messages()[1].text,
              QStringLiteral("Here is your page:\n\nTell me what to change.\n\n"
                             "**Files created:** `index.htm`\n"
                             "Note: the model returned raw code instead of `<<<FILE>>>` blocks; the app saved "
                             "`index.htm` anyway."));
}

TEST_F(ChatViewModelSendTest, withoutWebsiteDirectory_theRawReplyIsShownAndNothingIsWritten) {
    bindTo(std::nullopt);
    const QString reply = QStringLiteral("<<<FILE path=\"index.htm\">>>\n<p>x</p>\n<<<END_FILE>>>");
    m_server.replyWithChat(reply);
    sendAndWait(QStringLiteral("hello"));

    const SentChat sent = sentChat(m_server.chatRequests().first());
    EXPECT_EQ(sent.systemPrompt, opening + FileGenerationParser::systemPromptAppendix());
    ASSERT_EQ(m_model.messages().size(), 2);
    EXPECT_EQ(m_model.messages()[1].text, reply);
    EXPECT_TRUE(QDir(m_site.path()).isEmpty());
}

TEST_F(ChatViewModelSendTest, failingServer_appendsTheErrorMessageAndSetsLastError) {
    bindTo(m_site.path());
    m_server.replyToChat(ScriptedResponse::json(500, QByteArray("{\"error\":\"boom\"}")));

    QStringList events;
    QObject::connect(&m_model, &ChatViewModel::isSendingChanged,
                     [&] { events << (m_model.isSending() ? QStringLiteral("sending") : QStringLiteral("idle")); });
    QObject::connect(&m_model, &ChatViewModel::messageAppended,
                     [&](int row) { events << QStringLiteral("message %1").arg(row); });
    QObject::connect(&m_model, &ChatViewModel::lastErrorChanged, [&] { events << QStringLiteral("error"); });
    sendAndWait(QStringLiteral("hi"));

    EXPECT_EQ(m_model.lastErrorText(), QStringLiteral("HTTP 500: {\"error\":\"boom\"}"));
    ASSERT_EQ(m_model.messages().size(), 2);
    EXPECT_EQ(m_model.messages()[1].text, QStringLiteral("Error: HTTP 500: {\"error\":\"boom\"}"));
    EXPECT_EQ(events, (QStringList{"sending", "message 0", "error", "message 1", "idle"}));
    // The error is part of the saved conversation (and so of later requests).
    EXPECT_EQ(ChatHistoryPersistence::load(m_site.path())->sessions[0].messages.size(), 2);
}

TEST_F(ChatViewModelSendTest, replyArrivingAfterTheUserSwitchedChats_landsInTheChatItWasAskedIn) {
    bindTo(m_site.path());
    const QUuid asked = m_model.activeSessionId();
    ScriptedResponse slow = ScriptedResponse::json(200, FakeOpenAIServer::chatCompletionBody(QStringLiteral("Done.")));
    slow.delay = std::chrono::milliseconds(300);
    m_server.replyToChat(slow);

    QSignalSpy finished(&m_model, &ChatViewModel::sendFinished);
    m_model.setInput(QStringLiteral("question"));
    m_model.send(QStringLiteral("gpt-4o-mini"), QStringLiteral("sk-test"));
    m_model.newChat();
    const QUuid other = m_model.activeSessionId();
    ASSERT_TRUE(finished.wait(30000));

    // The model was asked the question of the chat it was typed in, not the empty new one.
    ASSERT_EQ(m_server.chatRequests().size(), 1);
    const SentChat sent = sentChat(m_server.chatRequests().first());
    ASSERT_EQ(sent.turns.size(), 1);
    EXPECT_EQ(sent.turns[0].second, QStringLiteral("question"));

    EXPECT_EQ(m_model.activeSessionId(), other);
    EXPECT_TRUE(m_model.messages().isEmpty());
    const auto& sessions = m_model.sessions();
    const auto askedSession =
        std::find_if(sessions.begin(), sessions.end(), [&](const ChatSession& s) { return s.id == asked; });
    ASSERT_NE(askedSession, sessions.end());
    ASSERT_EQ(askedSession->messages.size(), 2);
    EXPECT_EQ(askedSession->messages[1].text, QStringLiteral("Done."));
    const auto stored = ChatHistoryPersistence::load(m_site.path());
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->sessions.size(), 2);
}

// The error line belongs to the chat the failed question was asked in: another chat shown
// meanwhile stays clean, and the error is back when its own chat is shown again.
TEST_F(ChatViewModelSendTest, aFailedSendsErrorLineIsShownOnlyWithItsOwnChat) {
    bindTo(m_site.path());
    const QUuid asked = m_model.activeSessionId();
    m_server.replyToChat(ScriptedResponse::json(500, QByteArray("{\"error\":\"boom\"}")));
    const QString description = QStringLiteral("HTTP 500: {\"error\":\"boom\"}");

    QSignalSpy finished(&m_model, &ChatViewModel::sendFinished);
    m_model.setInput(QStringLiteral("question"));
    m_model.send(QStringLiteral("gpt-4o-mini"), QStringLiteral("sk-test"));
    m_model.newChat();
    const QUuid other = m_model.activeSessionId();
    ASSERT_TRUE(finished.wait(30000));

    EXPECT_EQ(m_model.activeSessionId(), other);
    EXPECT_FALSE(m_model.lastError().has_value()) << m_model.lastErrorText().toStdString();

    QSignalSpy errorChanged(&m_model, &ChatViewModel::lastErrorChanged);
    m_model.selectSession(asked);
    EXPECT_EQ(m_model.lastError(), description);
    EXPECT_EQ(errorChanged.size(), 1) << "the error line is told to show it";
    ASSERT_EQ(m_model.messages().size(), 2);
    EXPECT_EQ(m_model.messages()[1].text, QStringLiteral("Error: ") + description);

    m_model.selectSession(other);
    EXPECT_FALSE(m_model.lastError().has_value());
    EXPECT_EQ(errorChanged.size(), 2);
}

// A reply that arrives after the user opened another folder is written to the history of the
// folder it was asked in, which also holds the files it made.
TEST_F(ChatViewModelSendTest, replyArrivingAfterTheUserSwitchedFolders_landsInTheFolderItWasAskedIn) {
    QTemporaryDir other;
    bindTo(m_site.path());
    const QUuid asked = m_model.activeSessionId();
    m_server.replyWithChat(QStringLiteral("Done."));

    QSignalSpy finished(&m_model, &ChatViewModel::sendFinished);
    m_model.setInput(QStringLiteral("question"));
    m_model.send(QStringLiteral("gpt-4o-mini"), QStringLiteral("sk-test"));
    m_model.applyOutputRoot(other.path());
    ASSERT_TRUE(finished.wait(30000));

    EXPECT_TRUE(m_model.messages().isEmpty());
    const auto stored = ChatHistoryPersistence::load(m_site.path());
    ASSERT_TRUE(stored.has_value());
    ASSERT_EQ(stored->sessions.size(), 1);
    EXPECT_EQ(stored->sessions[0].id, asked);
    ASSERT_EQ(stored->sessions[0].messages.size(), 2);
    EXPECT_EQ(stored->sessions[0].messages[1].text, QStringLiteral("Done."));
}

// A question sent right after a change of folder, before that folder's chats are shown, is asked
// in the chat that folder opens on, and its files go there too.
TEST_F(ChatViewModelSendTest, aSendWhileAnotherFoldersChatsLoad_isAskedInThatFolder) {
    QTemporaryDir other;
    bindTo(m_site.path());
    m_server.replyWithChat(QStringLiteral("<<<FILE path=\"index.htm\">>>\n<p>x</p>\n<<<END_FILE>>>\nDone."));

    m_model.applyOutputRoot(other.path());
    ASSERT_TRUE(m_model.isBinding());
    sendAndWait(QStringLiteral("question"));

    EXPECT_EQ(m_model.persistenceOutputRoot(), QDir::cleanPath(other.path()));
    ASSERT_EQ(m_model.messages().size(), 2);
    EXPECT_EQ(m_model.messages()[0].text, QStringLiteral("question"));
    EXPECT_TRUE(QFile::exists(other.filePath(QStringLiteral("index.htm"))));
    EXPECT_FALSE(QFile::exists(m_site.filePath(QStringLiteral("index.htm"))));
    EXPECT_EQ(ChatHistoryPersistence::load(other.path())->sessions.value(0).messages, m_model.messages());
    EXPECT_TRUE(ChatHistoryPersistence::load(m_site.path())->sessions.value(0).messages.isEmpty());
}

TEST_F(ChatViewModelSendTest, interfaceThreadStaysFreeWhileTheModelIsThinking) {
    bindTo(m_site.path());
    ScriptedResponse slow = ScriptedResponse::json(200, FakeOpenAIServer::chatCompletionBody(QStringLiteral("ok")));
    slow.delay = std::chrono::milliseconds(500);
    m_server.replyToChat(slow);

    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);
    sendAndWait(QStringLiteral("hi"));
    EXPECT_GT(ticks, 5) << "the event loop kept running while the request was in flight";
}
