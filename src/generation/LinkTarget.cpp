#include "generation/LinkTarget.h"

#include <QByteArray>
#include <QStringList>
#include <algorithm>

namespace kestrion::LinkCheck {

namespace {

bool hasScheme(QStringView link) {
    if (link.isEmpty() || !((link[0] >= u'a' && link[0] <= u'z') || (link[0] >= u'A' && link[0] <= u'Z'))) {
        return false;
    }
    for (qsizetype i = 1; i < link.size(); ++i) {
        const QChar c = link[i];
        if (c == u':') {
            return true;
        }
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'+' && c != u'-' && c != u'.') {
            return false;
        }
    }
    return false;
}

} // namespace

QString strippedUrl(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 0x20) {
        ++begin;
    }
    while (end > begin && text[end - 1].unicode() <= 0x20) {
        --end;
    }
    return text.mid(begin, end - begin);
}

std::optional<QString> siteTarget(const QString& pagePath, const QString& reference) {
    QString link = strippedUrl(reference);
    if (link.isEmpty() || link.startsWith(u'#') || link.startsWith(QLatin1String("//")) ||
        link.startsWith(QLatin1String("\\\\")) || hasScheme(link)) {
        return std::nullopt;
    }
    const auto cut = std::find_if(link.cbegin(), link.cend(), [](QChar c) { return c == u'?' || c == u'#'; });
    link.truncate(cut - link.cbegin());
    if (link.isEmpty()) {
        return std::nullopt; // the page itself, with a query
    }
    const QString decoded = QString::fromUtf8(QByteArray::fromPercentEncoding(link.toUtf8()));
    QStringList pieces;
    if (!decoded.startsWith(u'/')) {
        pieces = pagePath.split(u'/');
        pieces.removeLast();
    }
    const QStringList parts = decoded.split(u'/');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString& part = parts[i];
        if (part == QLatin1String("..")) {
            if (pieces.isEmpty()) {
                return QStringLiteral(".."); // above the website directory: never a site file
            }
            pieces.removeLast();
        } else if (part == QLatin1String(".") || (part.isEmpty() && i + 1 < parts.size())) {
            continue;
        } else {
            pieces.append(part);
        }
    }
    // A trailing "/" (or "." / "..") names the folder itself.
    if (!pieces.isEmpty() && pieces.last().isEmpty()) {
        pieces.removeLast();
    }
    return pieces.join(u'/');
}

} // namespace kestrion::LinkCheck
