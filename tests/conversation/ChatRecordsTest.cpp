#include "conversation/ChatRecords.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <gtest/gtest.h>

using namespace kestrion;

namespace {

QJsonObject parseObject(const char* json) {
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

QJsonObject validMessageJson() {
    return parseObject(R"({"id":"6f1c2d3e-4a5b-4c6d-8e7f-0123456789ab","role":"assistant","text":"Hi"})");
}

QJsonObject validSessionJson() {
    QJsonObject session = parseObject(R"({"id":"A1B2C3D4-E5F6-4A7B-8C9D-0E1F2A3B4C5D","title":"Site",
        "createdAt":"2025-03-01T14:05:09Z","updatedAt":"2025-03-02T08:00:00Z"})");
    session.insert(QStringLiteral("messages"), QJsonArray{validMessageJson()});
    return session;
}

} // namespace

TEST(ChatRecords, messageJson_writesUpperCaseIdAndRoleTextsAndReadsAnyCase) {
    const auto message = ChatMessage::fromJson(validMessageJson());
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->role, ChatMessage::Role::Assistant);
    EXPECT_EQ(message->text, QStringLiteral("Hi"));

    const QJsonObject written = message->toJson();
    EXPECT_EQ(written.value(QStringLiteral("id")).toString(), QStringLiteral("6F1C2D3E-4A5B-4C6D-8E7F-0123456789AB"));
    EXPECT_EQ(written.value(QStringLiteral("role")).toString(), QStringLiteral("assistant"));
    EXPECT_EQ(written.keys(), (QStringList{"id", "role", "text"}));
    EXPECT_EQ(ChatMessage::roleName(ChatMessage::Role::User), QStringLiteral("user"));
}

TEST(ChatRecords, messageJson_rejectsMissingKeysWrongTypesUnknownRolesAndBadIds) {
    const QStringList keys{"id", "role", "text"};
    for (const QString& key : keys) {
        QJsonObject object = validMessageJson();
        object.remove(key);
        EXPECT_FALSE(ChatMessage::fromJson(object).has_value()) << key.toStdString();
        object = validMessageJson();
        object.insert(key, 42);
        EXPECT_FALSE(ChatMessage::fromJson(object).has_value()) << key.toStdString();
    }
    QJsonObject system = validMessageJson();
    system.insert(QStringLiteral("role"), QStringLiteral("system"));
    EXPECT_FALSE(ChatMessage::fromJson(system).has_value());

    for (const char* badId :
         {"not-a-uuid", "{6f1c2d3e-4a5b-4c6d-8e7f-0123456789ab}", "6f1c2d3e4a5b4c6d8e7f0123456789ab", ""}) {
        QJsonObject object = validMessageJson();
        object.insert(QStringLiteral("id"), QString::fromLatin1(badId));
        EXPECT_FALSE(ChatMessage::fromJson(object).has_value()) << badId;
    }
    EXPECT_FALSE(ChatMessage::fromJson(QJsonValue(QStringLiteral("text"))).has_value());
}

TEST(ChatRecords, messageJson_keepsEmptyTextAndIgnoresUnknownKeys) {
    QJsonObject object = validMessageJson();
    object.insert(QStringLiteral("text"), QString());
    object.insert(QStringLiteral("extra"), true);
    const auto message = ChatMessage::fromJson(object);
    ASSERT_TRUE(message.has_value());
    EXPECT_TRUE(message->text.isEmpty());
    EXPECT_EQ(ChatMessage::fromJson(message->toJson()), message);
}

TEST(ChatRecords, sessionJson_roundTripsToAnEqualSessionWithWholeSecondDates) {
    const auto session = ChatSession::fromJson(validSessionJson());
    ASSERT_TRUE(session.has_value());
    EXPECT_EQ(session->title, QStringLiteral("Site"));
    EXPECT_EQ(session->createdAt.toSecsSinceEpoch(), 1740837909);
    ASSERT_EQ(session->messages.size(), 1);

    const QJsonObject written = session->toJson();
    EXPECT_EQ(written.value(QStringLiteral("createdAt")).toString(), QStringLiteral("2025-03-01T14:05:09Z"));
    EXPECT_EQ(written.keys(), (QStringList{"createdAt", "id", "messages", "title", "updatedAt"}));
    EXPECT_EQ(ChatSession::fromJson(written), session);

    const ChatSession fresh = ChatSession::makeFresh();
    EXPECT_EQ(fresh.title, QStringLiteral("New chat"));
    EXPECT_EQ(fresh.createdAt, fresh.updatedAt);
    EXPECT_EQ(ChatSession::fromJson(fresh.toJson()), fresh);
}

TEST(ChatRecords, sessionJson_failsWholeOnAnyMissingKeyBadDateOrBadMessage) {
    for (const QString key : {"id", "title", "createdAt", "updatedAt", "messages"}) {
        QJsonObject object = validSessionJson();
        object.remove(key);
        EXPECT_FALSE(ChatSession::fromJson(object).has_value()) << key.toStdString();
    }
    for (const char* badDate : {"2025-03-01T14:05:09.250Z", "2025-03-01 14:05:09", "2025-13-01T14:05:09Z", ""}) {
        QJsonObject object = validSessionJson();
        object.insert(QStringLiteral("updatedAt"), QString::fromLatin1(badDate));
        EXPECT_FALSE(ChatSession::fromJson(object).has_value()) << badDate;
    }
    QJsonObject badMessage = validSessionJson();
    QJsonObject systemMessage = validMessageJson();
    systemMessage.insert(QStringLiteral("role"), QStringLiteral("system"));
    badMessage.insert(QStringLiteral("messages"), QJsonArray{validMessageJson(), systemMessage});
    EXPECT_FALSE(ChatSession::fromJson(badMessage).has_value());
}

TEST(ChatRecords, equalityAndHashCoverEveryFieldIncludingTheId) {
    const ChatMessage a = ChatMessage::make(ChatMessage::Role::User, QStringLiteral("same"));
    const ChatMessage b = ChatMessage::make(ChatMessage::Role::User, QStringLiteral("same"));
    EXPECT_NE(a, b);
    ChatMessage copy = a;
    EXPECT_EQ(copy, a);
    EXPECT_EQ(qHash(copy), qHash(a));
    copy.text += QLatin1Char('!');
    EXPECT_NE(copy, a);

    ChatSession session = ChatSession::makeFresh();
    ChatSession other = session;
    EXPECT_EQ(QSet<ChatSession>({session, other}).size(), 1);
    other.messages.append(a);
    EXPECT_NE(session, other);
}
