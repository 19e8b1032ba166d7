#pragma once

#include <QString>
#include <QStringView>

namespace kestrion {

// Whether a name whose only dot is its first character (".gitignore") has the
// rest as its extension or has none.
enum class LeadingDot { StartsExtension, StartsName };

// The part of a path's last component after its final ".", lower-cased;
// trailing slashes are ignored. Empty when there is no dot or the name ends
// with one.
QString lowerCasedExtension(QStringView path, LeadingDot leadingDot = LeadingDot::StartsExtension);

} // namespace kestrion
