#pragma once

#include <QString>
#include <QStringView>
#include <optional>

// User-perceived characters (grapheme clusters): a cut never splits a
// surrogate pair or separates a character from its combining marks.
namespace kestrion {

// The number of code units the first count user-perceived characters of text
// take, or nothing when the text holds fewer.
std::optional<qsizetype> graphemePrefixLength(QStringView text, qsizetype count);

// The first count user-perceived characters of text (all of it when shorter).
QString firstCharacters(const QString& text, qsizetype count);

} // namespace kestrion
