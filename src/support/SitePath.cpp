#include "support/SitePathDetail.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <linux/openat2.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace kestrion::SitePath {

namespace {

// The kernel's own limit on links followed while resolving one path.
constexpr int maxLinkHops = 40;

std::string joined(const std::vector<std::string>& pieces) {
    if (pieces.empty()) {
        return "/";
    }
    std::string path;
    for (const std::string& piece : pieces) {
        path += '/';
        path += piece;
    }
    return path;
}

void appendPieces(std::vector<std::string>& into, const std::string& path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > start) {
            into.push_back(path.substr(start, end - start));
        }
        if (slash == std::string::npos) {
            break;
        }
        start = slash + 1;
    }
}

// openat2 confines the whole lookup to the folder below the descriptor in one
// call. Kernels before 5.6 (and some sandboxes) lack it; the caller then walks
// the pieces itself.
int openBeneathInOneCall(int rootFd, const std::string& relative, int flags) {
#ifdef SYS_openat2
    open_how how{};
    how.flags = std::uint64_t(flags);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    return int(::syscall(SYS_openat2, rootFd, relative.c_str(), &how, sizeof how));
#else
    (void)rootFd;
    (void)relative;
    (void)flags;
    errno = ENOSYS;
    return -1;
#endif
}

struct OpenedFolder {
    Descriptor fd;
    QString error;
};

// Opens the folder at the resolved relative pieces below the root without
// following a link anywhere, creating missing folders when asked.
OpenedFolder openFolderBeneath(const QString& canonicalRoot, const std::vector<std::string>& pieces, bool create) {
    Descriptor current(::open(native(canonicalRoot).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!current.valid()) {
        return {Descriptor(), systemError(errno)};
    }
    if (pieces.empty()) {
        return {std::move(current), {}};
    }
    std::string relative;
    for (const std::string& piece : pieces) {
        relative += relative.empty() ? piece : '/' + piece;
    }
    const int direct = openBeneathInOneCall(current.get(), relative, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (direct >= 0) {
        return {Descriptor(direct), {}};
    }
    QString reached = canonicalRoot;
    for (const std::string& piece : pieces) {
        reached += QLatin1Char('/') + fromNative(piece);
        int next = ::openat(current.get(), piece.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && create) {
            if (::mkdirat(current.get(), piece.c_str(), 0777) != 0 && errno != EEXIST) {
                return {Descriptor(),
                        QCoreApplication::translate("kestrion::SitePath", "Could not create the folder \u201c%1\u201d.")
                            .arg(reached)};
            }
            next = ::openat(current.get(), piece.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (next < 0) {
            if (errno == ENOTDIR || errno == ELOOP) {
                return {Descriptor(),
                        QCoreApplication::translate("kestrion::SitePath", "\u201c%1\u201d exists and is not a folder.")
                            .arg(reached)};
            }
            return {Descriptor(), systemError(errno)};
        }
        current.reset(next);
    }
    return {std::move(current), {}};
}

} // namespace

std::optional<QString> existingDirectory(const std::optional<QString>& path) {
    if (!path || path->isEmpty()) {
        return std::nullopt;
    }
    const QString standardized = QDir::cleanPath(QDir(*path).absolutePath());
    if (!QFileInfo(standardized).isDir()) {
        return std::nullopt;
    }
    return standardized;
}

QString resolvedPath(const QString& path) {
    const QString absolute = QDir::isAbsolutePath(path) ? path : QDir::currentPath() + QLatin1Char('/') + path;
    // Not cleaned first: ".." after a link leads from where the link leads.
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(native(absolute), error);
    return error ? QDir::cleanPath(absolute) : QDir::cleanPath(fromNative(resolved.native()));
}

std::optional<QString> resolvedRelativeBelow(const QString& root, const QString& path) {
    char resolvedRoot[PATH_MAX];
    if (root.isEmpty() || ::realpath(native(root).c_str(), resolvedRoot) == nullptr) {
        return std::nullopt;
    }
    return relativeBelow(fromNative(resolvedRoot), resolvedPath(path));
}

Site::Site(const QString& root) : m_root(root.isEmpty() ? QString() : QDir::cleanPath(root)) {
    if (m_root.isEmpty()) {
        return;
    }
    char resolved[PATH_MAX];
    if (::realpath(native(m_root).c_str(), resolved) == nullptr) {
        return;
    }
    struct stat info {};
    if (::stat(resolved, &info) != 0 || !S_ISDIR(info.st_mode)) {
        return;
    }
    m_canonicalRoot = fromNative(resolved);
}

Resolution Site::resolve(const QString& relativePath) const {
    if (!isSafeRelativePath(relativePath)) {
        return {Refusal::UnsafeText, m_canonicalRoot, {}, false};
    }
    return resolvePieces(relativePath.split(QLatin1Char('/'), Qt::SkipEmptyParts));
}

Resolution Site::resolveLocation(const QString& absolutePath) const {
    if (!exists() || hasControlCharacters(absolutePath)) {
        return {exists() ? Refusal::UnsafeText : Refusal::RootMissing, m_canonicalRoot, {}, false};
    }
    for (const QString& base : {m_root, m_canonicalRoot}) {
        if (const auto relative = relativeBelow(base, absolutePath)) {
            return resolvePieces(relative->split(QLatin1Char('/'), Qt::SkipEmptyParts));
        }
    }
    return {Refusal::Outside, m_canonicalRoot, {}, false};
}

Resolution Site::resolvePieces(QStringList pieces) const {
    Resolution resolution{Refusal::None, m_canonicalRoot, {}, false};
    if (!exists()) {
        resolution.refusal = Refusal::RootMissing;
        return resolution;
    }
    std::vector<std::string> resolved;
    appendPieces(resolved, native(m_canonicalRoot));
    std::vector<std::string> pending;
    pending.reserve(std::size_t(pieces.size()));
    for (auto it = pieces.crbegin(); it != pieces.crend(); ++it) {
        pending.push_back(native(*it)); // a stack: the next piece is at the back
    }
    bool missing = false;
    int hops = 0;
    while (!pending.empty()) {
        std::string piece = std::move(pending.back());
        pending.pop_back();
        if (piece.empty() || piece == ".") {
            continue;
        }
        if (piece == "..") {
            // Only link text brings ".." here. Below a missing piece the kernel
            // would fail the lookup, so nothing sensible can be named.
            if (missing) {
                resolution.refusal = Refusal::Unresolvable;
                return resolution;
            }
            if (!resolved.empty()) {
                resolved.pop_back();
            }
            continue;
        }
        if (missing) {
            resolved.push_back(std::move(piece));
            continue;
        }
        const std::string candidate = joined(resolved) + (resolved.empty() ? "" : "/") + piece;
        struct stat info {};
        if (::lstat(candidate.c_str(), &info) != 0) {
            // Missing, or below something that is not a folder or cannot be
            // entered: the rest is named as written, and a write there fails
            // with the folder's own error.
            missing = true;
            resolved.push_back(std::move(piece));
            continue;
        }
        if (!S_ISLNK(info.st_mode)) {
            resolved.push_back(std::move(piece));
            continue;
        }
        if (++hops > maxLinkHops) {
            resolution.refusal = Refusal::Unresolvable;
            return resolution;
        }
        std::string target(std::size_t(PATH_MAX), '\0');
        const ssize_t length = ::readlink(candidate.c_str(), target.data(), target.size());
        if (length < 0 || std::size_t(length) >= target.size()) {
            resolution.refusal = Refusal::Unresolvable;
            return resolution;
        }
        target.resize(std::size_t(length));
        if (!target.empty() && target.front() == '/') {
            resolved.clear();
        }
        std::vector<std::string> targetPieces;
        appendPieces(targetPieces, target);
        for (auto it = targetPieces.rbegin(); it != targetPieces.rend(); ++it) {
            pending.push_back(std::move(*it));
        }
    }

    std::vector<std::string> rootPieces;
    appendPieces(rootPieces, native(m_canonicalRoot));
    if (resolved.size() <= rootPieces.size() || !std::equal(rootPieces.begin(), rootPieces.end(), resolved.begin())) {
        resolution.refusal = Refusal::Outside;
        return resolution;
    }
    QStringList inside;
    for (std::size_t i = rootPieces.size(); i < resolved.size(); ++i) {
        const QString piece = fromNative(resolved[i]);
        if (detail::isPrivatePiece(piece)) {
            resolution.refusal = Refusal::Private;
            return resolution;
        }
        inside.append(piece);
    }
    resolution.relativePath = inside.join(QLatin1Char('/'));
    resolution.exists = !missing;
    return resolution;
}

namespace {

// The folder that holds a resolved location, opened beneath the root without
// following links, and the location's own name in it. A refusal or a folder
// that cannot be opened leaves the descriptor invalid and says why.
struct HoldingFolder {
    OpenedFolder folder;
    std::string name;
    bool refused = false;
};

HoldingFolder openHoldingFolder(const Resolution& target, bool create) {
    if (!target.ok()) {
        return {{Descriptor(), refusalDescription(target.refusal)}, {}, true};
    }
    std::vector<std::string> pieces;
    appendPieces(pieces, native(target.relativePath));
    if (pieces.empty()) {
        return {{Descriptor(), refusalDescription(Refusal::Outside)}, {}, true};
    }
    std::string name = std::move(pieces.back());
    pieces.pop_back();
    return {openFolderBeneath(target.canonicalRoot, pieces, create), std::move(name), false};
}

} // namespace

WriteResult Site::write(const Resolution& target, const QByteArray& bytes) const {
    const HoldingFolder holding = openHoldingFolder(target, true);
    if (!holding.folder.fd.valid()) {
        return {holding.folder.error};
    }
    return detail::writeInto(holding.folder.fd.get(), holding.name, bytes, target.absolutePath());
}

WriteResult Site::write(const QString& relativePath, const QByteArray& bytes) const {
    return write(resolve(relativePath), bytes);
}

WriteResult Site::makeFolders(const Resolution& target) const {
    const HoldingFolder holding = openHoldingFolder(target, true);
    return {holding.folder.fd.valid() ? QString() : holding.folder.error};
}

ReadResult Site::read(const Resolution& target, qint64 maxBytes) const {
    return readResolved(target, maxBytes, false);
}

ReadResult Site::readHead(const Resolution& target, qint64 maxBytes) const {
    return readResolved(target, maxBytes, true);
}

ReadResult Site::readResolved(const Resolution& target, qint64 maxBytes, bool cut) const {
    const HoldingFolder holding = openHoldingFolder(target, false);
    if (holding.refused) {
        return {ReadResult::Status::Refused, {}, holding.folder.error};
    }
    if (!holding.folder.fd.valid()) {
        return {ReadResult::Status::Missing, {}, holding.folder.error};
    }
    return detail::openAndRead(holding.folder.fd.get(), holding.name, maxBytes,
                               cut ? detail::Oversize::Cut : detail::Oversize::Refuse);
}

QString refusalDescription(Refusal refusal) {
    switch (refusal) {
    case Refusal::None:
        return {};
    case Refusal::UnsafeText:
        return QCoreApplication::translate("kestrion::SitePath", "The path is not a safe relative path.");
    case Refusal::RootMissing:
        return QCoreApplication::translate("kestrion::SitePath", "The website directory does not exist.");
    case Refusal::Outside:
        return QCoreApplication::translate("kestrion::SitePath", "The path leads outside the website directory.");
    case Refusal::Private:
        return QCoreApplication::translate("kestrion::SitePath",
                                           "The path leads into the app's own folders (.git, .kestrion-chats).");
    case Refusal::Unresolvable:
        return QCoreApplication::translate("kestrion::SitePath", "The path's links cannot be resolved.");
    }
    return {};
}

} // namespace kestrion::SitePath
