#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace kestrion {

// ISO 8601 in UTC with whole seconds and a trailing Z, e.g. 2025-03-01T14:05:09Z.
QString formatIsoDateTime(const QDateTime& dateTime);

// Reads only the whole-second form written above; a fraction of a second or
// any other shape gives nothing.
std::optional<QDateTime> parseIsoDateTime(const QString& text);

// The current time cut to whole seconds, so values survive a save and a load unchanged.
QDateTime currentDateTimeWholeSeconds();

} // namespace kestrion
