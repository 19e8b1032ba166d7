#include "conversation/ChatViewModel.h"

#include "SessionsAt.h"
#include "conversation/ChatHistoryPersistence.h"
#include "settings/AppSettings.h"
#include "support/IsoDateTime.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kestrion;

namespace {

using kestrion::test::sessionAt;

QString legacyHistoryPath() {
    return QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation).value(0) +
           QStringLiteral("/KestrionApp/chat_history.json");
}

// Binds the chats to the folder and waits until its history is shown.
void bindTo(ChatViewModel& model, const std::optional<QString>& root) {
    model.applyOutputRoot(root);
    model.flushSaves();
}

QString projectHistoryPath(const QString& root) {
    return root + QStringLiteral("/.kestrion-chats/chat_history.json");
}

class ChatViewModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        QFile::remove(legacyHistoryPath());
        AppSettings::setMigratedLegacyChatsToProject(false);
        ASSERT_TRUE(m_site.isValid());
    }

    // Binds a model to a fresh project holding exactly these sessions.
    void bindWithSessions(ChatViewModel& model, const QList<ChatSession>& sessions, const QUuid& active) {
        ChatHistoryPersistence::save({1, sessions, active}, m_site.path());
        bindTo(model, m_site.path());
    }

    QTemporaryDir m_site;
};

} // namespace

TEST_F(ChatViewModelTest, blankInput_sendsNothingAndKeepsTheWhitespace) {
    ChatViewModel model;
    bindTo(model, m_site.path());
    QSignalSpy sending(&model, &ChatViewModel::isSendingChanged);
    model.setInput(QStringLiteral("  \n\t "));
    model.send(QStringLiteral("gpt-4o-mini"), QStringLiteral("key"));
    EXPECT_TRUE(model.messages().isEmpty());
    EXPECT_FALSE(model.isSending());
    EXPECT_EQ(sending.count(), 0);
    EXPECT_EQ(model.input(), QStringLiteral("  \n\t "));
}

TEST_F(ChatViewModelTest, bindingAFreshProject_createsAndSavesOneNewChat) {
    ChatViewModel model;
    EXPECT_FALSE(model.hasBoundStorageLocation());
    bindTo(model, m_site.path());
    ASSERT_EQ(model.sessions().size(), 1);
    EXPECT_EQ(model.sessions().first().title, QStringLiteral("New chat"));
    model.flushSaves();
    const auto stored = ChatHistoryPersistence::load(m_site.path());
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->activeSessionId, model.activeSessionId());
    EXPECT_EQ(model.persistenceOutputRoot(), QDir::cleanPath(m_site.path()));
}

TEST_F(ChatViewModelTest, legacyHistory_migratesIntoTheFirstProjectOnlyOnce) {
    const ChatSession old = sessionAt(QStringLiteral("Old chat"), 1700000000,
                                      {ChatMessage::make(ChatMessage::Role::User, QStringLiteral("hi"))});
    ChatHistoryPersistence::save({1, {old}, old.id}, std::nullopt);
    ASSERT_TRUE(QFile::exists(legacyHistoryPath()));

    ChatViewModel model;
    bindTo(model, m_site.path());
    ASSERT_EQ(model.sessions().size(), 1);
    EXPECT_EQ(model.sessions().first(), old);
    EXPECT_EQ(model.messages(), old.messages);
    model.flushSaves();
    EXPECT_TRUE(AppSettings::migratedLegacyChatsToProject());
    EXPECT_FALSE(QFile::exists(legacyHistoryPath()));
    EXPECT_TRUE(ChatHistoryPersistence::load(m_site.path()).has_value());

    QTemporaryDir second;
    bindTo(model, second.path());
    ASSERT_EQ(model.sessions().size(), 1);
    EXPECT_NE(model.sessions().first().id, old.id);
    EXPECT_TRUE(model.messages().isEmpty());
}

TEST_F(ChatViewModelTest, missingDirectoryOrAFile_bindsTheLegacyLocation) {
    ChatViewModel model;
    bindTo(model, m_site.path() + QStringLiteral("/does-not-exist"));
    EXPECT_FALSE(model.persistenceOutputRoot().has_value());
    model.flushSaves();
    EXPECT_TRUE(QFile::exists(legacyHistoryPath()));

    QFile file(m_site.filePath(QStringLiteral("plain.txt")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QUuid legacyActive = model.activeSessionId();
    bindTo(model, file.fileName());
    EXPECT_FALSE(model.persistenceOutputRoot().has_value());
    EXPECT_EQ(model.activeSessionId(), legacyActive);
}

TEST_F(ChatViewModelTest, loadedHistory_withUnknownActiveId_activatesTheMostRecentlyUpdated) {
    const ChatSession a = sessionAt(QStringLiteral("A"), 1000);
    const ChatSession b = sessionAt(QStringLiteral("B"), 3000);
    const ChatSession c = sessionAt(QStringLiteral("C"), 3000);
    ChatViewModel model;
    bindWithSessions(model, {a, b, c}, QUuid::createUuid());
    EXPECT_EQ(model.activeSessionId(), b.id);
    const QList<ChatSession> sorted = model.sessionsSortedByUpdated();
    ASSERT_EQ(sorted.size(), 3);
    EXPECT_EQ(sorted[0].id, b.id);
    EXPECT_EQ(sorted[1].id, c.id);
    EXPECT_EQ(sorted[2].id, a.id);
    EXPECT_EQ(model.sessions().first().id, a.id) << "stored order is not changed by sorting";
}

TEST_F(ChatViewModelTest, rebindingTheSameDirectory_savesClearsComposerAndRestoresTheSameState) {
    ChatViewModel model;
    bindTo(model, m_site.path());
    model.newChat();
    const QUuid active = model.activeSessionId();
    const QList<ChatSession> sessions = model.sessions();
    model.setInput(QStringLiteral("draft"));
    bindTo(model, m_site.path());
    EXPECT_EQ(model.input(), QString());
    EXPECT_EQ(model.activeSessionId(), active);
    EXPECT_EQ(model.sessions(), sessions);
}

TEST_F(ChatViewModelTest, sessionRules_newSelectAndDelete) {
    const ChatSession oldest = sessionAt(QStringLiteral("Oldest"), 1000);
    const ChatSession middle =
        sessionAt(QStringLiteral("Middle"), 2000, {ChatMessage::make(ChatMessage::Role::User, QStringLiteral("m"))});
    const ChatSession newest = sessionAt(QStringLiteral("Newest"), 3000);
    ChatViewModel model;
    bindWithSessions(model, {oldest, middle, newest}, oldest.id);

    // Selecting the active session changes nothing, not even the composer.
    model.setInput(QStringLiteral("keep me"));
    model.selectSession(oldest.id);
    EXPECT_EQ(model.input(), QStringLiteral("keep me"));

    // Selecting another session and coming back leaves both timestamps alone.
    model.selectSession(middle.id);
    EXPECT_EQ(model.messages(), middle.messages);
    EXPECT_EQ(model.input(), QString());
    model.selectSession(oldest.id);
    EXPECT_EQ(model.sessions()[0].updatedAt, oldest.updatedAt);
    EXPECT_EQ(model.sessions()[1].updatedAt, middle.updatedAt);
    model.flushSaves();
    EXPECT_EQ(ChatHistoryPersistence::load(m_site.path())->activeSessionId, oldest.id);

    // Deleting the active session of three activates the most recently updated other one.
    model.deleteSession(oldest.id);
    ASSERT_EQ(model.sessions().size(), 2);
    EXPECT_EQ(model.activeSessionId(), newest.id);
    model.flushSaves();
    EXPECT_EQ(ChatHistoryPersistence::load(m_site.path())->sessions.size(), 2);

    // Deleting an unknown id still saves.
    QFile::remove(projectHistoryPath(m_site.path()));
    model.deleteSession(QUuid::createUuid());
    model.flushSaves();
    EXPECT_TRUE(QFile::exists(projectHistoryPath(m_site.path())));

    // New chats go first in stored order and become active.
    model.newChat();
    EXPECT_EQ(model.sessions().first().id, model.activeSessionId());
    EXPECT_EQ(model.sessions().size(), 3);

    // The last session can never be deleted.
    model.deleteSession(model.sessions()[1].id);
    model.deleteSession(model.sessions()[1].id);
    ASSERT_EQ(model.sessions().size(), 1);
    model.deleteSession(model.sessions()[0].id);
    EXPECT_EQ(model.sessions().size(), 1);
}

TEST_F(ChatViewModelTest, launchNotices_appendAssistantMessagesSetTheErrorAndSave) {
    ChatViewModel model;
    bindTo(model, m_site.path());
    model.appendKestrionFailure(QStringLiteral("Could not build Kestrion API URL."));
    EXPECT_EQ(model.lastErrorText(), QStringLiteral("Could not build Kestrion API URL."));
    ASSERT_EQ(model.messages().size(), 1);
    EXPECT_EQ(model.messages()[0].text, QStringLiteral("Launch failed: Could not build Kestrion API URL."));
    EXPECT_EQ(model.messages()[0].role, ChatMessage::Role::Assistant);

    model.appendKestrionStatus(QStringLiteral("**Deploy Website to Kestrion**"));
    EXPECT_FALSE(model.lastError().has_value());
    model.flushSaves();
    const auto stored = ChatHistoryPersistence::load(m_site.path());
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->sessions.first().messages.size(), 2);
    EXPECT_EQ(stored->sessions.first().title, QStringLiteral("New chat")) << "assistant lines never title a chat";
}

namespace {

// Collects the warnings logged while it lives.
class WarningLog {
public:
    WarningLog() { s_previous = qInstallMessageHandler(&WarningLog::record); }
    ~WarningLog() {
        qInstallMessageHandler(s_previous);
        s_entries.clear();
    }
    // "category: text" per warning.
    const QStringList& entries() const { return s_entries; }

private:
    static void record(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type == QtWarningMsg) {
            s_entries.append(QString::fromLatin1(context.category) + QStringLiteral(": ") + text);
        }
    }
    static inline QtMessageHandler s_previous = nullptr;
    static inline QStringList s_entries;
};

} // namespace

// A folder where the history file belongs makes every save fail, even for root.
TEST_F(ChatViewModelTest, failedSaves_showInTheErrorLineAndKeepTheLegacyHistoryUntilItsCopyIsWritten) {
    const QString secret = QStringLiteral("my secret bakery recipe");
    const ChatSession old =
        sessionAt(QStringLiteral("Old chat"), 1700000000, {ChatMessage::make(ChatMessage::Role::User, secret)});
    ChatHistoryPersistence::save({1, {old}, old.id}, std::nullopt);
    ASSERT_TRUE(QDir().mkpath(projectHistoryPath(m_site.path())));

    WarningLog log;
    ChatViewModel model;
    bindTo(model, m_site.path());
    model.flushSaves();
    EXPECT_EQ(model.sessions(), QList<ChatSession>{old}) << "the legacy chats are still shown";
    EXPECT_TRUE(QFile::exists(legacyHistoryPath()));
    EXPECT_FALSE(AppSettings::migratedLegacyChatsToProject());
    const QString prefix = QStringLiteral("Chat history could not be saved: ");
    EXPECT_TRUE(model.lastErrorText().startsWith(prefix)) << model.lastErrorText().toStdString();
    EXPECT_GT(model.lastErrorText().size(), prefix.size()) << "the reason follows";
    ASSERT_FALSE(log.entries().isEmpty());
    for (const QString& entry : log.entries()) {
        EXPECT_TRUE(entry.startsWith(QStringLiteral("kestrion.conversation: "))) << entry.toStdString();
        EXPECT_FALSE(entry.contains(secret)) << "message text never reaches the log";
    }

    // The next save that lands completes the move and removes the per-user copy.
    ASSERT_TRUE(QDir(projectHistoryPath(m_site.path())).removeRecursively());
    model.newChat();
    model.flushSaves();
    EXPECT_FALSE(model.lastError().has_value());
    EXPECT_FALSE(QFile::exists(legacyHistoryPath()));
    EXPECT_TRUE(AppSettings::migratedLegacyChatsToProject());
    const auto stored = ChatHistoryPersistence::load(m_site.path());
    ASSERT_TRUE(stored.has_value());
    EXPECT_TRUE(stored->sessions.contains(old));

    // Any later failure shows too.
    ASSERT_TRUE(QFile::remove(projectHistoryPath(m_site.path())));
    ASSERT_TRUE(QDir().mkpath(projectHistoryPath(m_site.path())));
    model.newChat();
    model.flushSaves();
    EXPECT_TRUE(model.lastErrorText().startsWith(prefix));
}

// Reports for a chat that is gone lose nothing: they go to the chat its folder shows, whether that
// folder is open or only on disk; a folder's history that cannot be written says so.
TEST_F(ChatViewModelTest, reportsForAChatThatIsGoneOrAFolderNoLongerOpenLoseNothing) {
    ChatViewModel model;
    bindTo(model, m_site.path());
    model.newChat();
    const ChatViewModel::ChatTarget deleted = model.activeTarget();
    model.deleteSession(deleted.sessionId);
    model.appendKestrionFailure(QStringLiteral("no route"), deleted);
    ASSERT_EQ(model.messages().size(), 1);
    EXPECT_EQ(model.messages()[0].text, QStringLiteral("Launch failed: no route"));
    EXPECT_EQ(model.lastErrorText(), QStringLiteral("no route"));

    // A folder no longer open: its file gets the report, in the chat it opens on.
    QTemporaryDir elsewhere;
    const ChatSession older = sessionAt(QStringLiteral("Older"), 1700000000);
    const ChatSession opened = sessionAt(QStringLiteral("Opened"), 1600000000);
    ASSERT_TRUE(ChatHistoryPersistence::save({1, {older, opened}, opened.id}, elsewhere.path()).ok());
    const ChatViewModel::ChatTarget away{true, ChatViewModel::normalizedOutputDirectory(elsewhere.path()),
                                         QUuid::createUuid()};
    model.appendKestrionFailure(QStringLiteral("quota"), away);
    EXPECT_EQ(model.messages().size(), 1) << "nothing lands in the folder shown";
    EXPECT_EQ(model.lastErrorText(), QStringLiteral("no route"));
    model.flushSaves();
    const auto stored = ChatHistoryPersistence::load(elsewhere.path());
    ASSERT_TRUE(stored.has_value());
    ASSERT_EQ(stored->sessions.size(), 2);
    EXPECT_TRUE(stored->sessions[0].messages.isEmpty());
    ASSERT_EQ(stored->sessions[1].messages.size(), 1);
    EXPECT_EQ(stored->sessions[1].messages[0].text, QStringLiteral("Launch failed: quota"));
    // Its error line shows with that chat.
    bindTo(model, elsewhere.path());
    EXPECT_EQ(model.activeSessionId(), opened.id);
    EXPECT_EQ(model.lastErrorText(), QStringLiteral("quota"));
    model.appendKestrionStatus(QStringLiteral("**Deploy Website to Kestrion**"));
    EXPECT_FALSE(model.lastError().has_value());

    // A folder whose history cannot be written: the failure shows and is logged.
    ASSERT_TRUE(QFile::remove(projectHistoryPath(m_site.path())));
    ASSERT_TRUE(QDir().mkpath(projectHistoryPath(m_site.path())));
    WarningLog log;
    model.appendKestrionStatus(QStringLiteral("**Deploy Website to Kestrion**"),
                               {true, ChatViewModel::normalizedOutputDirectory(m_site.path()), deleted.sessionId});
    model.flushSaves();
    EXPECT_TRUE(model.lastErrorText().startsWith(QStringLiteral("Chat history could not be saved: ")))
        << model.lastErrorText().toStdString();
    EXPECT_EQ(log.entries().size(), 1);
}

// A report for the folder whose history is being read waits for it: it shows in that folder's
// chat and is not overwritten by the history read before it arrived.
TEST_F(ChatViewModelTest, aReportForTheFolderBeingOpened_landsInItsChatOnceShown) {
    QTemporaryDir other;
    const ChatSession there = sessionAt(QStringLiteral("There"), 1700000000);
    ASSERT_TRUE(ChatHistoryPersistence::save({1, {there}, there.id}, other.path()).ok());
    ChatViewModel model;
    bindTo(model, m_site.path());

    model.applyOutputRoot(other.path());
    ASSERT_TRUE(model.isBinding());
    model.appendKestrionStatus(QStringLiteral("**Deploy Website to Kestrion**"),
                               {true, ChatViewModel::normalizedOutputDirectory(other.path()), there.id});
    model.flushSaves();

    EXPECT_EQ(model.activeSessionId(), there.id);
    ASSERT_EQ(model.messages().size(), 1);
    model.saveToDisk();
    model.flushSaves();
    EXPECT_EQ(ChatHistoryPersistence::load(other.path())->sessions.value(0).messages, model.messages());
}
