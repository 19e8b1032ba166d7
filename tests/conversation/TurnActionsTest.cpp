#include "conversation/TurnActions.h"

#include "conversation/ChatHistoryPersistence.h"
#include "generation/GitCommitSequence.h"
#include "generation/TurnGit.h"
#include "settings/AppSettings.h"
#include "support/Eventually.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QHash>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kestrion;
using kestrion::test::eventually;
using kestrion::test::readFile;
using kestrion::test::writeFile;

namespace {

const QString showChanges = QStringLiteral("Show changes");

// A website folder with two turns committed, its history holding the chat that made them and its
// turn log naming their commits; the actions over a store bound to it, with the conversation's
// side recorded.
class TurnActionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_site.isValid());
        AppSettings::setMigratedLegacyChatsToProject(true);
        m_firstCommit = turn({{"index.html", "<h1>One</h1>\n"}, {"style.css", "h1 { color: red; }\n"}});
        m_secondCommit = turn({{"index.html", "<h1>Two</h1>\n"}, {"style.css", "h1 { color: blue; }\n"}});
        ChatSession chat = ChatSession::makeFresh();
        chat.messages = {m_question, m_firstReply, ChatMessage::make(ChatMessage::Role::User, QStringLiteral("two")),
                         m_secondReply};
        m_chat = chat.id;
        ASSERT_TRUE(ChatHistoryPersistence::save({1, {chat}, chat.id}, m_site.path()).ok());
        ASSERT_TRUE(TurnLog::record(m_site.path(), m_firstReply.id, {m_firstCommit, TurnLog::Entry::Kind::Turn}).ok());
        ASSERT_TRUE(
            TurnLog::record(m_site.path(), m_secondReply.id, {m_secondCommit, TurnLog::Entry::Kind::Turn}).ok());
    }

    // Writes the site's files and commits them as a turn does; returns the commit.
    QString turn(const QList<std::pair<QString, QByteArray>>& files) {
        for (const auto& [name, bytes] : files) {
            writeFile(m_site.filePath(name), bytes);
        }
        EXPECT_EQ(ProjectMaterializer::runGitSequence(m_site.path()).code, 0);
        return TurnGit::headCommit(m_site.path()).value_or(QString());
    }

    void bind(const QString& root) {
        m_store.bind(root);
        m_actions.loadTurnLog();
    }

    ::testing::AssertionResult bindAndWaitForTheLog() {
        bind(m_site.path());
        return eventually([this] { return m_actions.commitOf(m_secondReply.id).has_value(); });
    }

    QTemporaryDir m_site;
    QString m_firstCommit;
    QString m_secondCommit;
    const ChatMessage m_question = ChatMessage::make(ChatMessage::Role::User, QStringLiteral("one"));
    const ChatMessage m_firstReply = ChatMessage::make(ChatMessage::Role::Assistant, QStringLiteral("First."));
    const ChatMessage m_secondReply = ChatMessage::make(ChatMessage::Role::Assistant, QStringLiteral("Second."));
    QUuid m_chat;

    bool m_sending = false;
    QList<ChatMessage> m_delivered;
    QHash<QUuid, QString> m_errors;
    SessionStore m_store;
    TurnActions m_actions{m_store,
                          {[this] { return m_sending; },
                           [this](const ChatTarget& target, ChatMessage message) {
                               m_delivered.append(message);
                               m_store.append(target.sessionId, std::move(message));
                           },
                           [this](const QUuid& sessionId, const std::optional<QString>& error) {
                               if (error) {
                                   m_errors.insert(sessionId, *error);
                               } else {
                                   m_errors.remove(sessionId);
                               }
                           }}};
};

} // namespace

TEST_F(TurnActionsTest, theFoldersLogOffersShowChangesOnEachTurnAndUndoOnTheNewestOnly) {
    ASSERT_TRUE(bindAndWaitForTheLog());
    EXPECT_EQ(m_actions.commitOf(m_firstReply.id), m_firstCommit);
    EXPECT_EQ(m_actions.messageActions(m_firstReply.id), QStringList{showChanges});
    EXPECT_EQ(m_actions.messageActions(m_secondReply.id), (QStringList{showChanges, QStringLiteral("Undo this turn")}));
    EXPECT_TRUE(m_actions.messageActions(m_question.id).isEmpty());
    m_sending = true;
    EXPECT_EQ(m_actions.messageActions(m_secondReply.id), QStringList{showChanges}) << "no undo while a turn runs";
    m_sending = false;

    // Another folder: the turns of the one left go at once and never come back.
    QTemporaryDir other;
    QSignalSpy changed(&m_actions, &TurnActions::messageActionsChanged);
    bind(m_site.path());
    bind(other.path());
    EXPECT_FALSE(m_actions.commitOf(m_secondReply.id).has_value());
    m_store.flush();
    ASSERT_TRUE(eventually([&] { return changed.count() >= 3; })) << "two bindings and the other folder's log";
    EXPECT_FALSE(m_actions.commitOf(m_firstReply.id).has_value());
    EXPECT_FALSE(m_actions.commitOf(m_secondReply.id).has_value());
}

TEST_F(TurnActionsTest, undoOverEditedFilesAsksFirstThenReplacesThemAndOffersRedo) {
    ASSERT_TRUE(bindAndWaitForTheLog());
    writeFile(m_site.filePath(QStringLiteral("style.css")), "h1 { color: green; }\n");
    QSignalSpy asked(&m_actions, &TurnActions::undoNeedsConfirmation);
    QSignalSpy finished(&m_actions, &TurnActions::undoFinished);
    QSignalSpy written(&m_actions, &TurnActions::filesWritten);

    m_actions.undoOrRedo(m_secondReply.id);
    EXPECT_TRUE(m_actions.isUndoing());
    EXPECT_EQ(m_actions.messageActions(m_secondReply.id), QStringList{showChanges}) << "one undo at a time";
    ASSERT_TRUE(eventually([&] { return finished.count() == 1; }));
    ASSERT_EQ(asked.count(), 1);
    EXPECT_EQ(asked[0][0].toUuid(), m_secondReply.id);
    EXPECT_EQ(asked[0][1].toStringList(), QStringList{QStringLiteral("style.css")});
    EXPECT_TRUE(m_delivered.isEmpty());
    EXPECT_EQ(written.count(), 0);
    EXPECT_EQ(readFile(m_site.filePath(QStringLiteral("style.css"))), QByteArray("h1 { color: green; }\n"));

    m_actions.undoOrRedo(m_secondReply.id, TurnGit::EditedFiles::Replace);
    ASSERT_TRUE(eventually([&] { return finished.count() == 2; }));
    ASSERT_EQ(m_delivered.size(), 1);
    const QUuid undone = m_delivered[0].id;
    EXPECT_EQ(m_delivered[0].text,
              QStringLiteral("Undid the changes of the previous turn: `index.html`, `style.css`."));
    EXPECT_EQ(readFile(m_site.filePath(QStringLiteral("style.css"))), QByteArray("h1 { color: red; }\n"));
    ASSERT_EQ(written.count(), 1);
    EXPECT_EQ(written[0][0].toString(), m_store.outputRoot().value_or(QString()));
    EXPECT_EQ(written[0][1].toStringList(), (QStringList{QStringLiteral("index.html"), QStringLiteral("style.css")}));
    EXPECT_EQ(m_actions.messageActions(undone), (QStringList{showChanges, QStringLiteral("Redo")}));
    EXPECT_EQ(m_actions.messageActions(m_secondReply.id), QStringList{showChanges});
    EXPECT_TRUE(TurnLog::load(m_site.path()).contains(undone)) << "the undo is in the folder's log";

    // A failure changes nothing and shows in the chat's error line.
    ASSERT_TRUE(QDir(m_site.filePath(QStringLiteral(".git"))).removeRecursively());
    m_actions.undoOrRedo(undone);
    ASSERT_TRUE(eventually([&] { return finished.count() == 3; }));
    EXPECT_TRUE(m_errors.value(m_chat).contains(TurnGit::noRepositoryMessage)) << m_errors.value(m_chat).toStdString();
    EXPECT_EQ(m_delivered.size(), 1);
    EXPECT_EQ(readFile(m_site.filePath(QStringLiteral("index.html"))), QByteArray("<h1>One</h1>\n"));
}
