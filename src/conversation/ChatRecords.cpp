#include "conversation/ChatRecords.h"

#include "support/IsoDateTime.h"

#include <QHashFunctions>
#include <QJsonArray>
#include <QRegularExpression>

namespace kestrion {

QString uuidToText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> uuidFromText(const QString& text) {
    static const QRegularExpression canonical(
        QStringLiteral("^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"));
    if (!canonical.match(text).hasMatch()) {
        return std::nullopt;
    }
    return QUuid::fromString(text);
}

ChatMessage ChatMessage::make(Role role, QString text) {
    return ChatMessage{QUuid::createUuid(), role, std::move(text)};
}

QString ChatMessage::roleName(Role role) {
    return role == Role::User ? QStringLiteral("user") : QStringLiteral("assistant");
}

std::optional<ChatMessage::Role> ChatMessage::roleFromName(const QString& name) {
    if (name == QLatin1String("user")) {
        return Role::User;
    }
    if (name == QLatin1String("assistant")) {
        return Role::Assistant;
    }
    return std::nullopt;
}

QJsonObject ChatMessage::toJson() const {
    return QJsonObject{
        {QStringLiteral("id"), uuidToText(id)},
        {QStringLiteral("role"), roleName(role)},
        {QStringLiteral("text"), text},
    };
}

std::optional<ChatMessage> ChatMessage::fromJson(const QJsonValue& value) {
    if (!value.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = value.toObject();
    const QJsonValue id = object.value(QStringLiteral("id"));
    const QJsonValue role = object.value(QStringLiteral("role"));
    const QJsonValue text = object.value(QStringLiteral("text"));
    if (!id.isString() || !role.isString() || !text.isString()) {
        return std::nullopt;
    }
    const auto uuid = uuidFromText(id.toString());
    const auto parsedRole = roleFromName(role.toString());
    if (!uuid || !parsedRole) {
        return std::nullopt;
    }
    return ChatMessage{*uuid, *parsedRole, text.toString()};
}

ChatSession ChatSession::makeFresh() {
    const QDateTime now = currentDateTimeWholeSeconds();
    return ChatSession{QUuid::createUuid(), defaultTitle, now, now, {}};
}

QJsonObject ChatSession::toJson() const {
    QJsonArray messageArray;
    for (const ChatMessage& message : messages) {
        messageArray.append(message.toJson());
    }
    return QJsonObject{
        {QStringLiteral("id"), uuidToText(id)},
        {QStringLiteral("title"), title},
        {QStringLiteral("createdAt"), formatIsoDateTime(createdAt)},
        {QStringLiteral("updatedAt"), formatIsoDateTime(updatedAt)},
        {QStringLiteral("messages"), messageArray},
    };
}

std::optional<ChatSession> ChatSession::fromJson(const QJsonValue& value) {
    if (!value.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = value.toObject();
    const QJsonValue id = object.value(QStringLiteral("id"));
    const QJsonValue title = object.value(QStringLiteral("title"));
    const QJsonValue createdAt = object.value(QStringLiteral("createdAt"));
    const QJsonValue updatedAt = object.value(QStringLiteral("updatedAt"));
    const QJsonValue messages = object.value(QStringLiteral("messages"));
    if (!id.isString() || !title.isString() || !createdAt.isString() || !updatedAt.isString() || !messages.isArray()) {
        return std::nullopt;
    }
    const auto uuid = uuidFromText(id.toString());
    const auto created = parseIsoDateTime(createdAt.toString());
    const auto updated = parseIsoDateTime(updatedAt.toString());
    if (!uuid || !created || !updated) {
        return std::nullopt;
    }
    auto parsedMessages = allFromJson<ChatMessage>(messages.toArray());
    if (!parsedMessages) {
        return std::nullopt;
    }
    return ChatSession{*uuid, title.toString(), *created, *updated, std::move(*parsedMessages)};
}

size_t qHash(const ChatMessage& message, size_t seed) noexcept {
    return qHashMulti(seed, message.id, static_cast<int>(message.role), message.text);
}

size_t qHash(const ChatSession& session, size_t seed) noexcept {
    const size_t hash = qHashMulti(seed, session.id, session.title, session.createdAt, session.updatedAt);
    return qHashRange(session.messages.begin(), session.messages.end(), hash);
}

} // namespace kestrion
