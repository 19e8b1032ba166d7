#include "workspace/OutputIndexFile.h"

#include "support/TextDecoding.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QStringList>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace kestrion::OutputIndexFile {

namespace {

namespace fs = std::filesystem;

const QSet<QString>& imageExtensions() {
    static const QSet<QString> set{QStringLiteral("png"), QStringLiteral("jpg"),  QStringLiteral("jpeg"),
                                   QStringLiteral("gif"), QStringLiteral("webp"), QStringLiteral("ico"),
                                   QStringLiteral("svg"), QStringLiteral("avif"), QStringLiteral("bmp"),
                                   QStringLiteral("tif"), QStringLiteral("tiff")};
    return set;
}

const QSet<QString>& previewableExtensions() {
    static const QSet<QString> set = [] {
        QSet<QString> extensions = imageExtensions();
        extensions << QStringLiteral("htm") << QStringLiteral("html") << QStringLiteral("css");
        return extensions;
    }();
    return set;
}

const QSet<QString>& sourceEditableExtensions() {
    static const QSet<QString> set{QStringLiteral("htm"), QStringLiteral("html"), QStringLiteral("css")};
    return set;
}

QString standardized(const QString& path) {
    return QDir::cleanPath(path);
}

std::optional<QString> decodeText(const QByteArray& bytes) {
    if (auto utf8 = decodeUtf8Strict(bytes)) {
        return utf8;
    }
    if (auto utf16 = decodeUtf16Strict(bytes)) {
        return utf16;
    }
    return decodeUtf8Lossy(bytes);
}

std::optional<QByteArray> readWholeFile(const QString& location) {
    QFile file(location);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    return bytes;
}

// Follows a chain of symbolic links at the last component, then resolves the
// parent folder's own links. Nothing when the parent does not exist or the
// chain does not end (a loop).
std::optional<fs::path> resolveForWriting(fs::path path) {
    std::error_code error;
    constexpr int maxLinkHops = 40;
    for (int hop = 0;; ++hop) {
        path = path.lexically_normal();
        const fs::file_status status = fs::symlink_status(path, error);
        if (!fs::is_symlink(status)) {
            break;
        }
        if (hop == maxLinkHops) {
            return std::nullopt;
        }
        const fs::path target = fs::read_symlink(path, error);
        if (error) {
            return std::nullopt;
        }
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    const fs::path name = path.filename();
    if (name.empty() || name == "." || name == "..") {
        return std::nullopt;
    }
    const fs::path parent = fs::canonical(path.parent_path(), error);
    if (error) {
        return std::nullopt;
    }
    return parent / name;
}

} // namespace

std::optional<QString> url(const std::optional<QString>& directory) {
    if (!directory) {
        return std::nullopt;
    }
    for (const QString& candidate : {QStringLiteral("index.htm"), QStringLiteral("index.html")}) {
        const QString path =
            directory->endsWith(QLatin1Char('/')) ? *directory + candidate : *directory + QLatin1Char('/') + candidate;
        const QByteArray native = QFile::encodeName(path);
        std::error_code error;
        // A folder that happens to carry the index name is no page to show.
        if (::access(native.constData(), R_OK) == 0 && !fs::is_directory(fs::path(native.toStdString()), error)) {
            return path;
        }
    }
    return std::nullopt;
}

std::optional<QString> absoluteFileURLIfUnderRoot(const QString& outputRoot, const QString& relativePOSIXPath) {
    const QString trimmed = relativePOSIXPath.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('/')) || trimmed == QLatin1String(".")) {
        return std::nullopt;
    }
    const QString root = standardized(outputRoot);
    QString candidate = root;
    for (const QString& piece : trimmed.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (piece == QLatin1String(".")) {
            continue;
        }
        if (piece == QLatin1String("..")) {
            return std::nullopt;
        }
        if (!candidate.endsWith(QLatin1Char('/'))) {
            candidate += QLatin1Char('/');
        }
        candidate += piece;
    }
    candidate = standardized(candidate);
    if (!isStrictFileSubpath(root, candidate)) {
        return std::nullopt;
    }
    return candidate;
}

bool isStrictFileSubpath(const QString& root, const QString& candidate) {
    const QString parent = standardized(root);
    const QString child = standardized(candidate);
    if (!child.startsWith(parent) || child.size() <= parent.size()) {
        return false;
    }
    // The file-system root "/" already ends in the separator.
    if (parent.endsWith(QLatin1Char('/'))) {
        return true;
    }
    return child.at(parent.size()) == QLatin1Char('/');
}

bool isWritableLocationUnderRoot(const QString& filePath, const QString& root) {
    if (filePath.isEmpty() || root.isEmpty()) {
        return false;
    }
    std::error_code error;
    const fs::path resolvedRoot = fs::canonical(fs::path(QFile::encodeName(root).toStdString()), error);
    if (error) {
        return false;
    }
    const auto resolvedFile = resolveForWriting(fs::path(QFile::encodeName(filePath).toStdString()));
    if (!resolvedFile) {
        return false;
    }
    if (fs::is_directory(*resolvedFile, error)) {
        return false;
    }
    return isStrictFileSubpath(QFile::decodeName(QByteArray::fromStdString(resolvedRoot.native())),
                               QFile::decodeName(QByteArray::fromStdString(resolvedFile->native())));
}

QString lowerCasedExtension(const QString& path) {
    qsizetype end = path.size();
    while (end > 0 && path.at(end - 1) == QLatin1Char('/')) {
        --end;
    }
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'), end - 1);
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'), end - 1);
    if (end == 0 || dot < 0 || dot < slash) {
        return {};
    }
    return path.mid(dot + 1, end - dot - 1).toLower();
}

bool isImageFile(const QString& relativePOSIXPath) {
    return imageExtensions().contains(lowerCasedExtension(relativePOSIXPath));
}

bool isPreviewableWebFile(const QString& relativePOSIXPath) {
    return previewableExtensions().contains(lowerCasedExtension(relativePOSIXPath));
}

bool isSourceEditableFileURL(const QString& location) {
    return sourceEditableExtensions().contains(lowerCasedExtension(location));
}

std::optional<QString> readTextFile(const QString& location) {
    const auto bytes = readWholeFile(location);
    if (!bytes) {
        return std::nullopt;
    }
    return decodeText(*bytes);
}

std::optional<QString> htmlDocumentShowingCSSFile(const QString& location) {
    auto text = readTextFile(location);
    if (!text) {
        return std::nullopt;
    }
    // Ampersands first, so the entities added afterwards are not escaped twice.
    text->replace(QLatin1Char('&'), QLatin1String("&amp;"))
        .replace(QLatin1Char('<'), QLatin1String("&lt;"))
        .replace(QLatin1Char('>'), QLatin1String("&gt;"))
        .replace(QLatin1Char('"'), QLatin1String("&quot;"));
    static const QString head =
        QStringList{
            QStringLiteral("<!DOCTYPE html>"),
            QStringLiteral("<html><head><meta charset=\"utf-8\">"),
            QStringLiteral("<style>"),
            QStringLiteral("  body { font-family: ui-monospace, Menlo, monospace; font-size: 13px; margin: 12px;"),
            QStringLiteral("         color: #111; background: #fff; }"),
            QStringLiteral("  pre { white-space: pre-wrap; word-break: break-word; margin: 0; }"),
            QStringLiteral("</style></head><body><pre>"),
        }
            .join(QLatin1Char('\n'));
    return head + *text + QStringLiteral("</pre></body></html>");
}

QString previewLoadKey(const QString& filePath, qint64 reloadNonce) {
    return standardized(filePath) + QLatin1Char('\n') + QString::number(reloadNonce);
}

} // namespace kestrion::OutputIndexFile
