#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <optional>

namespace kestrion {

// The top-level object of a JSON text; nothing when the text is not JSON or holds
// something other than an object. For the small stores, which treat both alike.
std::optional<QJsonObject> parseJsonObject(const QByteArray& bytes);

// A JSON number that is a whole number within the range of int; nothing for a
// fraction, a number out of range or any other kind of value.
std::optional<int> wholeIntValue(const QJsonValue& value);

} // namespace kestrion
