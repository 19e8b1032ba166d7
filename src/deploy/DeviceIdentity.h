#pragma once

#include <QString>

// Who this machine is to the hosting panel: a random identity kept with the
// settings, and the key that names one website folder on this machine.
namespace kestrion::DeviceIdentity {

// The settings key under which this machine's random fingerprint is kept.
inline const QString fingerprintSettingsKey = QStringLiteral("kestrion_ide_device_fingerprint_v1");

// This machine's random identity: the stored value trimmed and lowercased, or
// a new lowercase UUID stored on first use.
QString fingerprint();

// "ws_" + the first 40 hex digits of SHA-256(fingerprint + "|" + the
// lowercased standardized path): stable for one folder on one machine.
QString workspaceKey(const QString& projectRoot);

} // namespace kestrion::DeviceIdentity
