#include "deploy/LaunchStateStore.h"

#include "support/ExternalLinks.h"
#include "support/JsonValues.h"
#include "support/SitePath.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

namespace kestrion::LaunchStateStore {

namespace {

const QString versionKey = QStringLiteral("version");
const QString httpsURLKey = QStringLiteral("https_url");

SitePath::PathResult stateFile(const std::optional<QString>& outputProjectRoot) {
    if (!outputProjectRoot) {
        // An address belongs to a website directory; unlike the history it has no per-user place.
        return {{}, QCoreApplication::translate("kestrion::LaunchStateStore", "No website directory is chosen.")};
    }
    return SitePath::chatsStoreFile(*outputProjectRoot, fileName);
}

} // namespace

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
    const SitePath::PathResult location = stateFile(outputProjectRoot);
    if (!location.ok()) {
        return std::nullopt;
    }
    const SitePath::ReadResult read = SitePath::readRegularFileNoFollow(location.path, maxFileBytes);
    if (!read.ok()) {
        return std::nullopt;
    }
    const std::optional<FilePayload> payload = decode(read.bytes);
    if (!payload) {
        return std::nullopt;
    }
    const QString text = payload->httpsURL.trimmed();
    if (text.isEmpty()) {
        return std::nullopt;
    }
    // The file travels with the folder: anything but a web address would reach
    // the desktop's handler for its scheme when "Open" is pressed.
    const QUrl url(text, QUrl::StrictMode);
    if (!ExternalLinks::isWebAddress(url)) {
        return std::nullopt;
    }
    return url;
}

WriteResult save(const QUrl& httpsURL, const std::optional<QString>& outputProjectRoot) {
    const SitePath::PathResult location = stateFile(outputProjectRoot);
    if (!location.ok()) {
        return {location.error};
    }
    // A failed write leaves the previous file in place.
    return SitePath::writeFileNoFollow(location.path, encode(FilePayload{1, httpsURL.toString(QUrl::FullyEncoded)}));
}

} // namespace kestrion::LaunchStateStore
