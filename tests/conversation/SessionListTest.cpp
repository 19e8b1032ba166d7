#include "conversation/SessionList.h"

#include "SessionsAt.h"

#include <gtest/gtest.h>

using namespace kestrion;
using kestrion::test::sessionAt;

TEST(SessionListTitles, derivedTitle_takesTheFirstUserMessageOnceAndCutsLongTextsByGraphemes) {
    const auto user = [](const QString& text) { return ChatMessage::make(ChatMessage::Role::User, text); };
    const QString sixty(60, QLatin1Char('x'));
    EXPECT_EQ(SessionList::derivedTitle({user(sixty)}, QStringLiteral("New chat")),
              QString(45, QLatin1Char('x')) + QChar(0x2026));
    const QString fortyEight(48, QLatin1Char('y'));
    EXPECT_EQ(SessionList::derivedTitle({user(fortyEight)}, QStringLiteral("New chat")), fortyEight);
    EXPECT_EQ(SessionList::derivedTitle({user(QStringLiteral("  Portfolio site \n"))}, QStringLiteral("  New chat ")),
              QStringLiteral("Portfolio site"));
    EXPECT_EQ(SessionList::derivedTitle({user(QStringLiteral("Hello"))}, QStringLiteral("My site")),
              QStringLiteral("My site"));
    // Only the first user message counts, even when it is blank.
    EXPECT_EQ(SessionList::derivedTitle({user(QStringLiteral("   ")), user(QStringLiteral("later"))},
                                        QStringLiteral("New chat")),
              QStringLiteral("New chat"));
    EXPECT_EQ(
        SessionList::derivedTitle({ChatMessage::make(ChatMessage::Role::Assistant, QStringLiteral("hi"))}, QString()),
        QString());
    // A family emoji is one user-perceived character made of several code points.
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
    QString emojis;
    for (int i = 0; i < 50; ++i) {
        emojis += family;
    }
    QString expected;
    for (int i = 0; i < 45; ++i) {
        expected += family;
    }
    EXPECT_EQ(SessionList::derivedTitle({user(emojis)}, QStringLiteral("New chat")), expected + QChar(0x2026));
}

// A message for a chat of a folder that is not open: it lands in that chat, else in the chat the
// history opens on, else in a fresh chat of its own; only that chat is marked updated.
TEST(SessionListAppend, aMessageForAStoredHistoryLandsInTheNearestChatThereIs) {
    const auto reply = [](const QString& text) { return ChatMessage::make(ChatMessage::Role::Assistant, text); };
    const ChatSession older = sessionAt(QStringLiteral("Older"), 1000);
    const ChatSession newer = sessionAt(QStringLiteral("Newer"), 2000);
    const ChatSession named = sessionAt(QStringLiteral("Named"), 1500);
    struct Case {
        const char* name;
        ChatHistoryPersistence::FilePayload payload;
        QUuid asked;
        QUuid expected;
    };
    const QList<Case> cases = {
        {"the chat asked for", {1, {older, newer}, newer.id}, older.id, older.id},
        {"gone: the chat the history names", {1, {older, named, newer}, named.id}, QUuid::createUuid(), named.id},
        {"gone, none named: the latest updated",
         {1, {older, newer}, QUuid::createUuid()},
         QUuid::createUuid(),
         newer.id},
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.name);
        const QList<ChatSession> before = c.payload.sessions;
        EXPECT_EQ(SessionList::appendToStored(c.payload, c.asked, reply(QStringLiteral("Done."))), c.expected);
        ASSERT_EQ(c.payload.sessions.size(), before.size());
        for (qsizetype i = 0; i < before.size(); ++i) {
            const ChatSession& after = c.payload.sessions[i];
            if (after.id != c.expected) {
                EXPECT_EQ(after, before[i]) << "another chat changed";
                continue;
            }
            ASSERT_EQ(after.messages.size(), 1);
            EXPECT_EQ(after.messages[0].text, QStringLiteral("Done."));
            EXPECT_GT(after.updatedAt, before[i].updatedAt);
            EXPECT_EQ(after.title, before[i].title);
        }
    }

    ChatHistoryPersistence::FilePayload empty{1, {}, QUuid::createUuid()};
    const QUuid fresh = SessionList::appendToStored(empty, older.id, reply(QStringLiteral("Launched.")));
    ASSERT_EQ(empty.sessions.size(), 1);
    EXPECT_EQ(empty.sessions[0].id, fresh);
    EXPECT_EQ(empty.activeSessionId, fresh) << "the history opens on the chat made for it";
    EXPECT_EQ(empty.sessions[0].title, ChatSession::defaultTitle);
    ASSERT_EQ(empty.sessions[0].messages.size(), 1);
    EXPECT_EQ(empty.sessions[0].messages[0].text, QStringLiteral("Launched."));
}
