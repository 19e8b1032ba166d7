#include "deploy/DeviceIdentity.h"

#include "settings/AppSettings.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QUuid>
#include <memory>

namespace kestrion::DeviceIdentity {

QString fingerprint() {
    // The same per-user store as the settings, so the identity lives and goes with them.
    const std::unique_ptr<QSettings> settings = AppSettings::openStore();
    const QString stored = settings->value(fingerprintSettingsKey).toString().trimmed();
    if (!stored.isEmpty()) {
        return stored.toLower();
    }
    const QString created = QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
    settings->setValue(fingerprintSettingsKey, created);
    AppSettings::saveStore(*settings);
    return created;
}

QString workspaceKey(const QString& projectRoot) {
    // Standardized: absolute, "." and ".." folded, no trailing "/"; symbolic
    // links are deliberately not resolved.
    QString path = QDir::cleanPath(QFileInfo(projectRoot).absoluteFilePath());
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    path = path.toLower();
    const QString text = fingerprint() + QLatin1Char('|') + path;
    const QByteArray digest = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("ws_") + QString::fromLatin1(digest.left(40));
}

} // namespace kestrion::DeviceIdentity
