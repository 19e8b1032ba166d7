#include "support/SitePathDetail.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

// The app's own stores inside the website directory: fixed names that must
// never lead anywhere else, so nothing here follows a link at the last piece.
namespace kestrion::SitePath {

namespace {

std::pair<QString, std::string> splitParent(const QString& path) {
    const QString cleaned = QDir::cleanPath(path);
    const qsizetype slash = cleaned.lastIndexOf(QLatin1Char('/'));
    const QString parent = slash <= 0 ? QStringLiteral("/") : cleaned.left(slash);
    return {parent, native(cleaned.mid(slash + 1))};
}

} // namespace

ReadResult readRegularFileNoFollow(const QString& path, qint64 maxBytes) {
    const auto [parent, name] = splitParent(path);
    Descriptor folder(::open(native(parent).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) {
        const int code = errno;
        return {code == ENOENT || code == ENOTDIR ? ReadResult::Status::Missing : ReadResult::Status::Failed,
                {},
                systemError(code)};
    }
    return detail::openAndRead(folder.get(), name, maxBytes);
}

WriteResult writeFileNoFollow(const QString& path, const QByteArray& bytes) {
    const auto [parent, name] = splitParent(path);
    Descriptor folder(::open(native(parent).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) {
        return {systemError(errno)};
    }
    return detail::writeInto(folder.get(), name, bytes, QDir::cleanPath(path));
}

PathResult moveAside(const QString& path) {
    const auto [parent, nativeName] = splitParent(path);
    const QString name = fromNative(nativeName);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    const QString time = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base = (parent.endsWith(QLatin1Char('/')) ? parent : parent + QLatin1Char('/')) + stem +
                         QStringLiteral(".unreadable-") + time;
    for (int attempt = 1; attempt <= 1000; ++attempt) {
        const QString target = base + (attempt == 1 ? QString() : QStringLiteral("-%1").arg(attempt)) + extension;
        struct stat info {};
        if (::lstat(native(target).c_str(), &info) == 0) {
            continue;
        }
        if (::rename(native(QDir::cleanPath(path)).c_str(), native(target).c_str()) != 0) {
            return {{}, systemError(errno)};
        }
        return {target, {}};
    }
    return {{}, systemError(EEXIST)};
}

PathResult ensureChatsFolder(const QString& root) {
    struct stat info {};
    if (root.isEmpty() || ::stat(native(root).c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return {{}, refusalDescription(Refusal::RootMissing)};
    }
    const QString folder = QDir::cleanPath(root) + QLatin1Char('/') + chatsFolderName;
    const std::string location = native(folder);
    if (::lstat(location.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            return {folder, {}};
        }
        if (const PathResult moved = moveAside(folder); !moved.ok()) {
            return {{}, moved.error};
        }
    }
    if (::mkdir(location.c_str(), 0777) != 0 && errno != EEXIST) {
        return {{}, systemError(errno)};
    }
    if (::lstat(location.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return {{},
                QCoreApplication::translate("kestrion::SitePath", "\u201c%1\u201d exists and is not a folder.")
                    .arg(folder)};
    }
    return {folder, {}};
}

PathResult chatsStoreFile(const QString& root, const QString& fileName) {
    const PathResult folder = ensureChatsFolder(root);
    return folder.ok() ? PathResult{folder.path + QLatin1Char('/') + fileName, {}} : folder;
}

} // namespace kestrion::SitePath
