#include "deploy/KestrionProjectLaunchPersistence.h"

#include "conversation/ChatHistoryPersistence.h"
#include "support/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <limits>

namespace kestrion::KestrionProjectLaunchPersistence {

namespace {

const QString versionKey = QStringLiteral("version");
const QString httpsURLKey = QStringLiteral("https_url");

} // namespace

std::optional<QString> fileURL(const std::optional<QString>& outputProjectRoot) {
    if (!outputProjectRoot) {
        return std::nullopt; // without a project the history store would name its per-user file
    }
    const std::optional<QString> history = ChatHistoryPersistence::fileURL(outputProjectRoot);
    if (!history) {
        return std::nullopt;
    }
    return QFileInfo(*history).dir().filePath(fileName);
}

QByteArray encode(const FilePayload& payload) {
    const QJsonObject object{{versionKey, payload.version}, {httpsURLKey, payload.httpsURL}};
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

std::optional<FilePayload> decode(const QByteArray& bytes) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    const QJsonValue version = object.value(versionKey);
    const QJsonValue httpsURL = object.value(httpsURLKey);
    // An integer: a whole number that fits (toInteger falls back to the default otherwise).
    constexpr qint64 notAnInteger = std::numeric_limits<qint64>::min();
    const qint64 versionNumber = version.toInteger(notAnInteger);
    if (!version.isDouble() || versionNumber == notAnInteger || versionNumber < std::numeric_limits<int>::min() ||
        versionNumber > std::numeric_limits<int>::max() || !httpsURL.isString()) {
        return std::nullopt;
    }
    return FilePayload{static_cast<int>(versionNumber), httpsURL.toString()};
}

std::optional<QUrl> load(const std::optional<QString>& outputProjectRoot) {
    const std::optional<QString> path = fileURL(outputProjectRoot);
    if (!path) {
        return std::nullopt;
    }
    QFile file(*path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const std::optional<FilePayload> payload = decode(file.readAll());
    if (!payload) {
        return std::nullopt;
    }
    const QString text = payload->httpsURL.trimmed();
    if (text.isEmpty()) {
        return std::nullopt;
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid()) {
        return std::nullopt;
    }
    return url;
}

void save(const QUrl& httpsURL, const std::optional<QString>& outputProjectRoot) {
    const std::optional<QString> path = fileURL(outputProjectRoot);
    if (!path) {
        return;
    }
    // A failed write leaves the previous file in place; nothing to report.
    writeFileAtomically(*path, encode(FilePayload{1, httpsURL.toString(QUrl::FullyEncoded)}));
}

} // namespace kestrion::KestrionProjectLaunchPersistence
