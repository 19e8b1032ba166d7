#include "deploy/KestrionProjectLaunchPersistence.h"

#include "conversation/ChatHistoryPersistence.h"
#include "support/AtomicFile.h"
#include "support/JsonValues.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

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
    const std::optional<QJsonObject> object = parseJsonObject(bytes);
    if (!object) {
        return std::nullopt;
    }
    const std::optional<int> version = wholeIntValue(object->value(versionKey));
    const QJsonValue httpsURL = object->value(httpsURLKey);
    if (!version || !httpsURL.isString()) {
        return std::nullopt;
    }
    return FilePayload{*version, httpsURL.toString()};
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
