#pragma once

#include "settings/AppSettings.h"

#include <QSettings>
#include <QString>
#include <optional>

// The per-user settings file as the tests see it on disk, apart from any AppSettings object.
namespace kestrion::test {

inline QString settingsFilePath() {
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Kestrion/DuvUDUvadIra.conf");
}

// What the file holds for key right now, read fresh from disk; nothing when absent.
inline std::optional<QString> settingsFileValue(const QString& key) {
    const QSettings file(settingsFilePath(), QSettings::NativeFormat);
    return file.contains(key) ? std::optional(file.value(key).toString()) : std::nullopt;
}

// Writes key as an earlier run of the app would have.
inline void putInSettingsFile(const QString& key, const QString& value) {
    const auto store = AppSettings::openStore();
    store->setValue(key, value);
    AppSettings::saveStore(*store);
}

} // namespace kestrion::test
