#pragma once

#include <QSettings>
#include <QString>
#include <optional>

// Reading a value of the per-user store. A value placed in the file by hand or
// by another program can be of any type QSettings knows: a list when the text
// has unquoted commas, a byte array, a serialized variant.
namespace kestrion::StoredValues {

// Text-like scalars are taken as their text; anything else counts as absent, so
// a damaged entry falls back to its default instead of becoming an odd string.
std::optional<QString> readText(const QSettings& store, const QString& key);

// Like a boolean user default: absent reads as the fallback; present, true for a true boolean, a
// non-zero number, the texts "true" and "yes" in any case, or the text of a non-zero integer.
// Everything else (a list, garbage, "off") is false, so a damaged entry never claims a migration that
// did not happen nor publishes chats the user may have meant to keep private.
bool readBool(const QSettings& store, const QString& key, bool fallback = false);

} // namespace kestrion::StoredValues
