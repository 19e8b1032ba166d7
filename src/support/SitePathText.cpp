#include "support/SitePathDetail.h"

#include <QDir>
#include <QStringList>
#include <algorithm>

namespace kestrion::SitePath {

namespace {

bool equalsIgnoringCase(QStringView piece, QLatin1StringView name) {
    return piece.compare(name, Qt::CaseInsensitive) == 0;
}

} // namespace

namespace detail {

bool isPrivatePiece(QStringView piece) {
    return equalsIgnoringCase(piece, gitFolderName) || equalsIgnoringCase(piece, chatsFolderName);
}

} // namespace detail

bool hasControlCharacters(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.category() == QChar::Other_Control) {
            return true;
        }
        if (c.isHighSurrogate()) {
            if (i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
                ++i;
                continue;
            }
            return true;
        }
        if (c.isLowSurrogate()) {
            return true;
        }
    }
    return false;
}

QString escapedForDisplay(QStringView text) {
    if (!hasControlCharacters(text)) {
        return text.toString();
    }
    QString shown;
    shown.reserve(text.size() + 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool pairedHigh = c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        if (pairedHigh) {
            shown += c;
            shown += text[++i];
            continue;
        }
        if (c.category() == QChar::Other_Control || c.isSurrogate()) {
            shown += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            continue;
        }
        shown += c;
    }
    return shown;
}

bool isSafeRelativePath(const QString& path) {
    if (hasControlCharacters(path)) {
        return false;
    }
    QString normalized = path;
    normalized.replace(u'\\', u'/');
    normalized = normalized.trimmed();
    if (normalized.isEmpty() || normalized.startsWith(u'/') || normalized.startsWith(u'~')) {
        return false;
    }
    const QStringList pieces = normalized.split(u'/', Qt::SkipEmptyParts);
    return !pieces.contains(QStringLiteral(".."));
}

bool namesPrivateFolder(const QString& relativePath) {
    QString normalised = relativePath;
    normalised.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QStringList pieces = normalised.trimmed().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return std::any_of(pieces.begin(), pieces.end(),
                       [](const QString& piece) { return detail::isPrivatePiece(piece); });
}

bool isStrictlyBelow(const QString& root, const QString& candidate) {
    return relativeBelow(root, candidate).has_value();
}

std::optional<QString> relativeBelow(const QString& root, const QString& candidate) {
    const QString parent = QDir::cleanPath(root);
    const QString child = QDir::cleanPath(candidate);
    // The file-system root "/" already ends in the separator.
    const qsizetype prefix = parent.endsWith(QLatin1Char('/')) ? parent.size() : parent.size() + 1;
    if (child.size() <= prefix || !child.startsWith(parent) || child.at(prefix - 1) != QLatin1Char('/')) {
        return std::nullopt;
    }
    return child.mid(prefix);
}

std::optional<QString> locationOf(const QString& root, const QString& relativePath) {
    const QString trimmed = relativePath.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('/'))) {
        return std::nullopt;
    }
    const QStringList pieces = trimmed.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (pieces.contains(QStringLiteral(".."))) {
        return std::nullopt;
    }
    const QString location = QDir::cleanPath(QDir::cleanPath(root) + QLatin1Char('/') + pieces.join(QLatin1Char('/')));
    if (!isStrictlyBelow(root, location)) {
        return std::nullopt; // "." and the like name the root itself
    }
    return location;
}

} // namespace kestrion::SitePath
