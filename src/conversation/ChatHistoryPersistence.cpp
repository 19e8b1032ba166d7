#include "conversation/ChatHistoryPersistence.h"

#include "support/AtomicFile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <cmath>
#include <limits>

namespace kestrion::ChatHistoryPersistence {

namespace {

const QString versionKey = QStringLiteral("version");
const QString sessionsKey = QStringLiteral("sessions");
const QString activeSessionIdKey = QStringLiteral("activeSessionId");

// The per-user folder of the legacy history, created if missing.
std::optional<QString> appSupportDirectory() {
    const QStringList bases = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    if (bases.isEmpty() || bases.first().isEmpty()) {
        return std::nullopt;
    }
    const QString directory = bases.first() + QStringLiteral("/KestrionApp");
    if (!makeDirectories(directory).ok()) {
        return std::nullopt;
    }
    return directory;
}

// The chats folder inside an existing website directory, created if missing. The website directory
// itself is never created: if the user deleted it, the history must not resurrect it.
std::optional<QString> projectChatsDirectory(const QString& root) {
    if (!QFileInfo(root).isDir()) {
        return std::nullopt;
    }
    const QString directory = root + QLatin1Char('/') + projectChatsFolderName;
    if (!makeDirectories(directory).ok()) {
        return std::nullopt;
    }
    return directory;
}

std::optional<int> integerValue(const QJsonValue& value) {
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double number = value.toDouble();
    if (std::trunc(number) != number || number < std::numeric_limits<int>::min() ||
        number > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return static_cast<int>(number);
}

// Renames an unreadable history file out of the way of the next save, to a name that does not exist
// yet. When even that fails there is nothing more the store can do; the caller still reports no
// history.
void moveAside(const QString& path) {
    const QFileInfo info(path);
    const QString stem = info.absolutePath() + QStringLiteral("/chat_history.unreadable-") +
                         QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int attempt = 1; attempt <= 1000; ++attempt) {
        const QString target =
            stem + (attempt == 1 ? QString() : QStringLiteral("-%1").arg(attempt)) + QStringLiteral(".json");
        if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
            continue;
        }
        // The name was free; if the rename still fails (a read-only folder, say) retrying cannot help.
        QFile::rename(path, target);
        return;
    }
}

} // namespace

std::optional<QString> fileURL(const std::optional<QString>& outputProjectRoot) {
    const auto directory = outputProjectRoot ? projectChatsDirectory(*outputProjectRoot) : appSupportDirectory();
    if (!directory) {
        return std::nullopt;
    }
    return *directory + QLatin1Char('/') + fileName;
}

std::optional<FilePayload> load(const std::optional<QString>& outputProjectRoot) {
    const auto path = fileURL(outputProjectRoot);
    if (!path) {
        return std::nullopt;
    }
    const QFileInfo info(*path);
    if (!info.exists()) {
        return std::nullopt;
    }
    // A folder in the file's place holds no conversations and cannot be overwritten by a save either.
    if (info.isDir()) {
        return std::nullopt;
    }
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly)) {
        file.close();
        moveAside(*path);
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    const bool readFailed = file.error() != QFileDevice::NoError;
    file.close();
    const auto payload = readFailed ? std::nullopt : decode(bytes);
    if (!payload) {
        moveAside(*path);
        return std::nullopt;
    }
    // A valid file without sessions holds nothing that a save could destroy: it reads as no history
    // and stays where it is.
    if (payload->sessions.isEmpty()) {
        return std::nullopt;
    }
    return payload;
}

void save(const FilePayload& payload, const std::optional<QString>& outputProjectRoot) {
    const auto path = fileURL(outputProjectRoot);
    if (!path) {
        return;
    }
    writeFileAtomically(*path, encode(payload));
}

void removeLegacyAppSupportHistoryFile() {
    const auto directory = appSupportDirectory();
    if (!directory) {
        return;
    }
    QFile::remove(*directory + QLatin1Char('/') + fileName);
}

QByteArray encode(const FilePayload& payload) {
    QJsonArray sessions;
    for (const ChatSession& session : payload.sessions) {
        sessions.append(session.toJson());
    }
    const QJsonObject root{
        {activeSessionIdKey, uuidToText(payload.activeSessionId)},
        {sessionsKey, sessions},
        {versionKey, payload.version},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<FilePayload> decode(const QByteArray& bytes) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject root = document.object();
    const auto version = integerValue(root.value(versionKey));
    const QJsonValue sessionsValue = root.value(sessionsKey);
    const QJsonValue activeValue = root.value(activeSessionIdKey);
    if (!version || !sessionsValue.isArray() || !activeValue.isString()) {
        return std::nullopt;
    }
    const auto activeSessionId = uuidFromText(activeValue.toString());
    if (!activeSessionId) {
        return std::nullopt;
    }
    FilePayload payload{*version, {}, *activeSessionId};
    const QJsonArray sessions = sessionsValue.toArray();
    payload.sessions.reserve(sessions.size());
    for (const QJsonValue& item : sessions) {
        auto session = ChatSession::fromJson(item);
        if (!session) {
            return std::nullopt;
        }
        payload.sessions.append(std::move(*session));
    }
    return payload;
}

} // namespace kestrion::ChatHistoryPersistence
