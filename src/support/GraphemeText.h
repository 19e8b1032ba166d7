#pragma once

#include <QString>

namespace kestrion {

// The first count user-perceived characters of text (never half a surrogate
// pair or a character cut from its combining marks).
QString firstCharacters(const QString& text, qsizetype count);

} // namespace kestrion
