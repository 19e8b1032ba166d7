#include "conversation/SessionStore.h"

#include "SessionsAt.h"
#include "conversation/ChatHistoryPersistence.h"
#include "settings/AppSettings.h"

#include <QAbstractItemModelTester>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <algorithm>
#include <ctime>
#include <gtest/gtest.h>

using namespace kestrion;

namespace {

using kestrion::test::sessionAt;

ChatMessage user(const QString& text) {
    return ChatMessage::make(ChatMessage::Role::User, text);
}

QList<QUuid> rowIds(const SessionStore& store) {
    QList<QUuid> ids;
    for (int row = 0; row < store.rowCount(); ++row) {
        ids.append(store.index(row).data(SessionStore::SessionIdRole).toUuid());
    }
    return ids;
}

// The order the sidebar promises, worked out here on its own: latest updated first, equal
// times in stored order.
QList<QUuid> expectedRowIds(QList<ChatSession> sessions) {
    std::stable_sort(sessions.begin(), sessions.end(),
                     [](const ChatSession& a, const ChatSession& b) { return a.updatedAt > b.updatedAt; });
    QList<QUuid> ids;
    for (const ChatSession& session : sessions) {
        ids.append(session.id);
    }
    return ids;
}

QList<QUuid> activeRows(const SessionStore& store) {
    QList<QUuid> active;
    for (int row = 0; row < store.rowCount(); ++row) {
        if (store.index(row).data(SessionStore::IsActiveRole).toBool()) {
            active.append(store.index(row).data(SessionStore::SessionIdRole).toUuid());
        }
    }
    return active;
}

QStringList storedTexts(const QString& root, const QUuid& sessionId) {
    QStringList texts;
    const auto stored = ChatHistoryPersistence::load(root);
    if (!stored) {
        return texts;
    }
    for (const ChatSession& session : stored->sessions) {
        if (session.id == sessionId) {
            for (const ChatMessage& message : session.messages) {
                texts.append(message.text);
            }
        }
    }
    return texts;
}

class SessionStoreTest : public ::testing::Test {
protected:
    void SetUp() override { AppSettings::setMigratedLegacyChatsToProject(true); }

    // A folder holding exactly these chats.
    static void store(const QTemporaryDir& folder, const QList<ChatSession>& sessions, const QUuid& active) {
        ASSERT_TRUE(ChatHistoryPersistence::save({1, sessions, active}, folder.path()).ok());
    }

    static void bindAndWait(SessionStore& sessions, const QTemporaryDir& folder) {
        sessions.bind(folder.path());
        sessions.flush();
    }
};

} // namespace

// Qt's model checker runs on every change; a broken rule aborts the test.
TEST_F(SessionStoreTest, rowsShowTheLatestUpdatedFirstAndFollowEachChangeWithoutAReset) {
    QTemporaryDir site;
    const ChatSession a = sessionAt(QStringLiteral("A"), 1000);
    const ChatSession b = sessionAt(QStringLiteral("B"), 3000);
    const ChatSession c = sessionAt(QStringLiteral("C"), 3000);
    const ChatSession d = sessionAt(QStringLiteral("D"), 2000);
    store(site, {a, b, c, d}, a.id);
    SessionStore sessions;
    QAbstractItemModelTester tester(&sessions, QAbstractItemModelTester::FailureReportingMode::Fatal);
    bindAndWait(sessions, site);

    EXPECT_EQ(rowIds(sessions), (QList<QUuid>{b.id, c.id, d.id, a.id})) << "equal times keep stored order";
    EXPECT_EQ(sessions.index(0).data().toString(), QStringLiteral("B"));
    EXPECT_EQ(activeRows(sessions), QList<QUuid>{a.id});

    QSignalSpy reset(&sessions, &QAbstractItemModel::modelReset);
    QSignalSpy moved(&sessions, &QAbstractItemModel::rowsMoved);
    QSignalSpy inserted(&sessions, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&sessions, &QAbstractItemModel::rowsRemoved);

    // A message moves its chat to the top and titles it.
    sessions.append(d.id, user(QStringLiteral("Portfolio")));
    EXPECT_EQ(moved.count(), 1);
    EXPECT_EQ(rowIds(sessions).first(), d.id);
    EXPECT_EQ(sessions.index(0).data().toString(), QStringLiteral("D")) << "a chat's own title stays";
    sessions.append(a.id, user(QStringLiteral("Bakery")));
    EXPECT_EQ(rowIds(sessions), expectedRowIds(sessions.sessions()));
    EXPECT_EQ(sessions.index(static_cast<int>(rowIds(sessions).indexOf(a.id))).data().toString(), QStringLiteral("A"));

    // A fresh chat is a new first row, and the chat shown.
    sessions.addFreshChat();
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_EQ(sessions.index(0).data().toString(), QStringLiteral("New chat"));
    EXPECT_EQ(activeRows(sessions), QList<QUuid>{sessions.activeSessionId()});
    EXPECT_EQ(rowIds(sessions), expectedRowIds(sessions.sessions()));

    sessions.activate(c.id);
    EXPECT_EQ(activeRows(sessions), QList<QUuid>{c.id});

    // Removing the chat shown shows the latest updated other one.
    ASSERT_TRUE(sessions.remove(c.id));
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(sessions.rowCount(), 4);
    EXPECT_EQ(activeRows(sessions), QList<QUuid>{rowIds(sessions).first()});
    EXPECT_EQ(rowIds(sessions), expectedRowIds(sessions.sessions()));
    EXPECT_EQ(reset.count(), 0);
}

TEST(SessionStoreText, theUpdatedLineNamesTheLocalDateAndTime) {
    qputenv("TZ", "UTC");
    tzset();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString text = SessionStore::updatedText(QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC));
    EXPECT_EQ(text,
              QStringLiteral("Updated Nov 14, 2023 at ") + QLocale().toString(QTime(22, 13, 20), QLocale::ShortFormat));
    EXPECT_TRUE(text.contains(QStringLiteral("10:13"))) << text.toStdString();
}

// Folders changed in quick succession while a save of the first is still queued: only the last
// folder's chats are ever shown, and every change made to the first folder's chats, including
// those made while the others were read, reaches its file in order.
TEST_F(SessionStoreTest, aBindRacingASaveAndASecondBind_showsOnlyTheLastFolderAndLosesNothing) {
    QTemporaryDir first;
    QTemporaryDir second;
    QTemporaryDir third;
    const ChatSession there = sessionAt(QStringLiteral("First"), 1000);
    const ChatSession skipped = sessionAt(QStringLiteral("Second"), 1000);
    const ChatSession last = sessionAt(QStringLiteral("Third"), 1000);
    store(first, {there}, there.id);
    store(second, {skipped}, skipped.id);
    store(third, {last}, last.id);
    SessionStore sessions;
    QAbstractItemModelTester tester(&sessions, QAbstractItemModelTester::FailureReportingMode::Fatal);
    bindAndWait(sessions, first);

    sessions.append(there.id, user(QStringLiteral("saved before the change")));
    sessions.save();
    QSignalSpy bound(&sessions, &SessionStore::bound);
    QSignalSpy reset(&sessions, &QAbstractItemModel::modelReset);
    sessions.bind(second.path());
    EXPECT_TRUE(sessions.isBinding());
    EXPECT_EQ(sessions.outputRoot(), QDir::cleanPath(first.path())) << "the chats shown stay until the read";
    sessions.append(there.id, user(QStringLiteral("sent while the second loads")));
    sessions.bind(third.path());
    sessions.append(there.id, user(QStringLiteral("sent while the third loads")));
    sessions.flush();

    EXPECT_FALSE(sessions.isBinding());
    EXPECT_EQ(bound.count(), 1);
    EXPECT_EQ(reset.count(), 1) << "the second folder's chats never showed";
    EXPECT_EQ(sessions.outputRoot(), QDir::cleanPath(third.path()));
    EXPECT_EQ(sessions.sessions(), QList<ChatSession>{last});
    EXPECT_EQ(storedTexts(first.path(), there.id),
              (QStringList{QStringLiteral("saved before the change"), QStringLiteral("sent while the second loads"),
                           QStringLiteral("sent while the third loads")}));
    EXPECT_EQ(ChatHistoryPersistence::load(second.path())->sessions, QList<ChatSession>{skipped});
}

// Back to the folder shown before its own read arrived: what changed meanwhile is newer than
// that read, so it stays shown and is saved.
TEST_F(SessionStoreTest, backToTheFolderShownBeforeTheReadArrives_keepsWhatChangedMeanwhile) {
    QTemporaryDir first;
    QTemporaryDir second;
    const ChatSession there = sessionAt(QStringLiteral("First"), 1000);
    store(first, {there}, there.id);
    SessionStore sessions;
    bindAndWait(sessions, first);

    sessions.bind(second.path());
    sessions.addFreshChat();
    const QUuid added = sessions.activeSessionId();
    sessions.bind(first.path());
    sessions.append(added, user(QStringLiteral("asked on the way back")));
    sessions.flush();

    EXPECT_EQ(sessions.outputRoot(), QDir::cleanPath(first.path()));
    EXPECT_EQ(sessions.activeSessionId(), added);
    ASSERT_EQ(sessions.messages().size(), 1);
    EXPECT_EQ(storedTexts(first.path(), added), QStringList{QStringLiteral("asked on the way back")});
}
