#pragma once

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>
#include <optional>
#include <utility>

namespace kestrion {

// One line of a conversation. Status and error lines the application adds are
// assistant messages; there is no stored system role.
struct ChatMessage {
    enum class Role { User, Assistant };

    QUuid id;
    Role role = Role::User;
    QString text;

    // A new message with a fresh random id.
    static ChatMessage make(Role role, QString text);

    // "user" / "assistant": the JSON value and the role sent to the model.
    static QString roleName(Role role);
    static std::optional<Role> roleFromName(const QString& name);

    // Keys "id", "role", "text". The id is written upper-case and read in any case.
    QJsonObject toJson() const;
    // Nothing when a key is missing, has the wrong type, or the role is unknown.
    static std::optional<ChatMessage> fromJson(const QJsonValue& value);

    friend bool operator==(const ChatMessage&, const ChatMessage&) = default;
};

// One conversation with its title, timestamps and messages.
struct ChatSession {
    QUuid id;
    QString title;
    QDateTime createdAt;
    QDateTime updatedAt;
    QList<ChatMessage> messages;

    static inline const QString defaultTitle = QStringLiteral("New chat");

    // A fresh untitled session created now (whole seconds).
    static ChatSession makeFresh();

    // Keys "id", "title", "createdAt", "updatedAt", "messages". Dates use the
    // history file's form: ISO 8601 in UTC with whole seconds and a trailing Z.
    QJsonObject toJson() const;
    // Nothing when any key is missing or wrong, a date has a fraction, or any
    // message fails to read.
    static std::optional<ChatSession> fromJson(const QJsonValue& value);

    friend bool operator==(const ChatSession&, const ChatSession&) = default;
};

// Canonical 36-character upper-case form, as written to files.
QString uuidToText(const QUuid& id);
// Accepts the canonical hyphenated form in any letter case; nothing otherwise.
std::optional<QUuid> uuidFromText(const QString& text);

// Every item of the array read by Record::fromJson, in order; nothing when any item fails to read,
// so a history is taken whole or not at all.
template <typename Record>
std::optional<QList<Record>> allFromJson(const QJsonArray& array) {
    QList<Record> records;
    records.reserve(array.size());
    for (const QJsonValue& item : array) {
        std::optional<Record> record = Record::fromJson(item);
        if (!record) {
            return std::nullopt;
        }
        records.append(std::move(*record));
    }
    return records;
}

size_t qHash(const ChatMessage& message, size_t seed = 0) noexcept;
size_t qHash(const ChatSession& session, size_t seed = 0) noexcept;

} // namespace kestrion
