#include "workspace/OutputIndexFile.h"

#include "support/FileExtension.h"
#include "support/SitePath.h"
#include "support/TextDecoding.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QStringList>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrion::OutputIndexFile {

namespace {

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

QString decodeText(const QByteArray& bytes) {
    if (auto utf8 = decodeUtf8Strict(bytes)) {
        return *utf8;
    }
    if (auto utf16 = decodeUtf16Strict(bytes)) {
        return *utf16;
    }
    return decodeUtf8Lossy(bytes);
}

} // namespace

std::optional<QString> pathIn(const std::optional<QString>& directory) {
    if (!directory) {
        return std::nullopt;
    }
    for (const QString& candidate : {QStringLiteral("index.htm"), QStringLiteral("index.html")}) {
        const QString path =
            directory->endsWith(QLatin1Char('/')) ? *directory + candidate : *directory + QLatin1Char('/') + candidate;
        const QByteArray native = QFile::encodeName(path);
        // A folder, a named pipe or a device that happens to carry the index
        // name is no page to show (and a pipe would hang whoever reads it).
        struct stat info {};
        if (::stat(native.constData(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::access(native.constData(), R_OK) == 0) {
            return path;
        }
    }
    return std::nullopt;
}

bool isImageFile(const QString& relativePOSIXPath) {
    return imageExtensions().contains(lowerCasedExtension(relativePOSIXPath));
}

bool isPreviewableWebFile(const QString& relativePOSIXPath) {
    return previewableExtensions().contains(lowerCasedExtension(relativePOSIXPath));
}

bool isSourceEditableFile(const QString& location) {
    return sourceEditableExtensions().contains(lowerCasedExtension(location));
}

FileVersion FileVersion::ofBytes(const QByteArray& bytes) {
    return {State::Readable, bytes.size(), -1, QCryptographicHash::hash(bytes, QCryptographicHash::Sha256)};
}

FileVersion FileVersion::of(const SitePath::ReadResult& read) {
    using Status = SitePath::ReadResult::Status;
    if (read.status == Status::Missing) {
        return {};
    }
    if (!read.ok()) {
        return {State::Unreadable, read.size, read.modifiedNs, {}};
    }
    FileVersion version = ofBytes(read.bytes);
    version.modifiedNs = read.modifiedNs;
    return version;
}

bool FileVersion::sameContent(const FileVersion& other) const {
    if (state != other.state) {
        return false;
    }
    return state != State::Readable || (size == other.size && sha256 == other.sha256);
}

namespace {

SitePath::ReadResult readBounded(const QString& root, const QString& location) {
    const SitePath::Site site(root);
    return site.read(site.resolveLocation(location), maxTextFileBytes);
}

} // namespace

TextFile readTextFile(const QString& root, const QString& location) {
    const SitePath::ReadResult read = readBounded(root, location);
    const FileVersion version = FileVersion::of(read);
    if (read.status == SitePath::ReadResult::Status::TooLarge) {
        return {TextFile::Status::TooLarge, {}, version};
    }
    if (!read.ok()) {
        return {TextFile::Status::Unreadable, {}, version};
    }
    return {TextFile::Status::Ok, decodeText(read.bytes), version};
}

FileVersion readFileVersion(const QString& root, const QString& location) {
    return FileVersion::of(readBounded(root, location));
}

std::optional<QString> htmlDocumentShowingCSSFile(const QString& root, const QString& location) {
    TextFile file = readTextFile(root, location);
    if (!file.ok()) {
        return std::nullopt;
    }
    // Ampersands first, so the entities added afterwards are not escaped twice.
    file.text.replace(QLatin1Char('&'), QLatin1String("&amp;"))
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
    return head + file.text + QStringLiteral("</pre></body></html>");
}

QString previewLoadKey(const QString& filePath, qint64 reloadNonce) {
    return standardized(filePath) + QLatin1Char('\n') + QString::number(reloadNonce);
}

} // namespace kestrion::OutputIndexFile
