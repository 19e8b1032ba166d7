#include "conversation/TurnLog.h"

#include "conversation/ChatRecords.h"
#include "generation/TurnGit.h"
#include "support/JsonValues.h"
#include "support/Logging.h"
#include "support/SitePath.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

namespace kestrion::TurnLog {

namespace {

const QString turnsKey = QStringLiteral("turns");
const QString commitKey = QStringLiteral("commit");
const QString kindKey = QStringLiteral("kind");

const QList<std::pair<Entry::Kind, QString>> kindNames = {
    {Entry::Kind::Turn, QStringLiteral("turn")},
    {Entry::Kind::Undo, QStringLiteral("undo")},
    {Entry::Kind::Redo, QStringLiteral("redo")},
};

std::optional<QString> filePath(const QString& root) {
    const SitePath::PathResult folder = SitePath::ensureChatsFolder(root);
    if (!folder.ok()) {
        return std::nullopt;
    }
    return folder.path + QLatin1Char('/') + fileName;
}

} // namespace

QByteArray encode(const Entries& entries) {
    QJsonObject turns;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        QString kind;
        for (const auto& [value, name] : kindNames) {
            if (value == it->kind) {
                kind = name;
            }
        }
        turns.insert(uuidToText(it.key()), QJsonObject{{commitKey, it->commit}, {kindKey, kind}});
    }
    return QJsonDocument(QJsonObject{{turnsKey, turns}, {QStringLiteral("version"), 1}})
        .toJson(QJsonDocument::Indented);
}

std::optional<Entries> decode(const QByteArray& bytes) {
    const std::optional<QJsonObject> root = parseJsonObject(bytes);
    if (!root || !root->value(turnsKey).isObject()) {
        return std::nullopt;
    }
    Entries entries;
    const QJsonObject turns = root->value(turnsKey).toObject();
    for (auto it = turns.constBegin(); it != turns.constEnd(); ++it) {
        const std::optional<QUuid> id = uuidFromText(it.key());
        const QJsonObject entry = it.value().toObject();
        const QString commit = entry.value(commitKey).toString();
        const QString kind = entry.value(kindKey).toString();
        if (!id || !TurnGit::isCommitId(commit)) {
            continue;
        }
        for (const auto& [value, name] : kindNames) {
            if (name == kind) {
                entries.insert(*id, {commit, value});
            }
        }
    }
    return entries;
}

Entries load(const QString& root) {
    const std::optional<QString> path = filePath(root);
    if (!path) {
        return {};
    }
    const SitePath::ReadResult read = SitePath::readRegularFileNoFollow(*path, maxFileBytes);
    if (read.status == SitePath::ReadResult::Status::Missing) {
        return {};
    }
    if (const auto entries = read.ok() ? decode(read.bytes) : std::nullopt) {
        return *entries;
    }
    // A damaged file (or a link, a pipe, one too large) may still be worth reading: set aside.
    if (const SitePath::PathResult moved = SitePath::moveAside(*path); moved.ok()) {
        qCWarning(lcConversation, "Unreadable turn log moved aside to %s",
                  qUtf8Printable(SitePath::escapedForDisplay(moved.path)));
    }
    return {};
}

WriteResult record(const QString& root, const QUuid& messageId, const Entry& entry) {
    Entries entries = load(root);
    entries.insert(messageId, entry);
    const std::optional<QString> path = filePath(root);
    if (!path) {
        return {QCoreApplication::translate("kestrion::TurnLog", "The folder for the chats could not be made.")};
    }
    return SitePath::writeFileNoFollow(*path, encode(entries));
}

} // namespace kestrion::TurnLog
