#include "support/FileExtension.h"

namespace kestrion {

QString lowerCasedExtension(QStringView path, LeadingDot leadingDot) {
    qsizetype end = path.size();
    while (end > 0 && path[end - 1] == u'/') {
        --end;
    }
    if (end == 0) {
        return {};
    }
    const qsizetype slash = path.lastIndexOf(u'/', end - 1);
    const qsizetype dot = path.lastIndexOf(u'.', end - 1);
    if (dot < 0 || dot < slash || (leadingDot == LeadingDot::StartsName && dot == slash + 1)) {
        return {};
    }
    return path.sliced(dot + 1, end - dot - 1).toString().toLower();
}

} // namespace kestrion
