#include "support/SitePath.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
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

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.m_fd, -1));
        }
        return *this;
    }
    ~Descriptor() { reset(); }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd = -1) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }

private:
    int m_fd;
};

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

std::string native(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString fromNative(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

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

bool equalsIgnoringCase(QStringView piece, QLatin1StringView name) {
    return piece.compare(name, Qt::CaseInsensitive) == 0;
}

bool isPrivatePiece(QStringView piece) {
    return equalsIgnoringCase(piece, gitFolderName) || equalsIgnoringCase(piece, chatsFolderName);
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
                return {Descriptor(), QStringLiteral("Could not create the folder \u201c%1\u201d.").arg(reached)};
            }
            next = ::openat(current.get(), piece.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (next < 0) {
            if (errno == ENOTDIR || errno == ELOOP) {
                return {Descriptor(), QStringLiteral("\u201c%1\u201d exists and is not a folder.").arg(reached)};
            }
            return {Descriptor(), systemError(errno)};
        }
        current.reset(next);
    }
    return {std::move(current), {}};
}

// Writes the bytes to a fresh temporary file in the folder and renames it over
// the name. The rename replaces whatever entry holds the name (a link
// included) and never writes through it.
WriteResult writeInto(int folderFd, const std::string& name, const QByteArray& bytes, const QString& shownPath) {
    struct stat existing {};
    mode_t mode = 0666;
    bool keepMode = false;
    if (::fstatat(folderFd, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(existing.st_mode)) {
            return {QStringLiteral("\u201c%1\u201d is a folder.").arg(shownPath)};
        }
        if (S_ISREG(existing.st_mode)) {
            mode = existing.st_mode & 07777;
            keepMode = true;
        }
    }
    const auto temporaryName = [&name] {
        return '.' + name.substr(0, 200) + ".tmp-" + std::to_string(QRandomGenerator::global()->generate64());
    };
    // An unnamed file first: a process killed while writing then leaves
    // nothing behind. It gets a name only once its bytes are on disk, just
    // before the rename. File systems without O_TMPFILE get a named file.
    static const bool canNameUnnamedFiles = ::access("/proc/self/fd", X_OK) == 0;
    Descriptor file(canNameUnnamedFiles ? ::openat(folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode) : -1);
    const bool unnamed = file.valid();
    std::string temporary;
    for (int attempt = 0; attempt < 100 && !file.valid(); ++attempt) {
        temporary = temporaryName();
        file.reset(::openat(folderFd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (!file.valid() && errno != EEXIST) {
            return {systemError(errno)};
        }
    }
    if (!file.valid()) {
        return {systemError(EEXIST)};
    }
    const auto fail = [&](int code) {
        file.reset();
        if (!temporary.empty()) {
            ::unlinkat(folderFd, temporary.c_str(), 0);
        }
        return WriteResult{systemError(code)};
    };
    // The umask narrowed the new file's rights; an existing file keeps its own.
    if (keepMode && ::fchmod(file.get(), mode) != 0) {
        return fail(errno);
    }
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t count = ::write(file.get(), data, std::size_t(left));
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(errno);
        }
        data += count;
        left -= count;
    }
    // The data (and the size that makes it reachable) must be on disk before
    // the rename publishes it; timestamps need not be, which spares a journal
    // commit per file.
    if (::fdatasync(file.get()) != 0) {
        return fail(errno);
    }
    if (unnamed) {
        const std::string self = "/proc/self/fd/" + std::to_string(file.get());
        for (int attempt = 0; attempt < 100 && temporary.empty(); ++attempt) {
            const std::string candidate = temporaryName();
            if (::linkat(AT_FDCWD, self.c_str(), folderFd, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                temporary = candidate;
            } else if (errno != EEXIST) {
                return fail(errno);
            }
        }
        if (temporary.empty()) {
            return fail(EEXIST);
        }
    }
    // A named temporary file is closed first: close() reports late write errors
    // on some file systems (NFS, FUSE). An unnamed one was synced already and
    // has just been given its name, so the rename follows at once: a process
    // killed in between is what would leave that name behind.
    if (!unnamed && ::close(file.release()) != 0) {
        const int code = errno;
        ::unlinkat(folderFd, temporary.c_str(), 0);
        return {systemError(code)};
    }
    if (::renameat(folderFd, temporary.c_str(), folderFd, name.c_str()) != 0) {
        const int code = errno;
        ::unlinkat(folderFd, temporary.c_str(), 0);
        return {systemError(code)};
    }
    return {};
}

// What a read does with a file larger than its cap.
enum class Oversize {
    Refuse, // the whole file or nothing
    Cut,    // the first bytes up to the cap
};

// Reads at most maxBytes from an opened descriptor that must be a regular file.
ReadResult readOpened(Descriptor descriptor, qint64 maxBytes, Oversize oversize) {
    struct stat info {};
    if (::fstat(descriptor.get(), &info) != 0) {
        return {ReadResult::Status::Failed, {}, systemError(errno)};
    }
    if (!S_ISREG(info.st_mode)) {
        return {ReadResult::Status::NotRegular, {}, QStringLiteral("not a regular file")};
    }
    const qint64 size = info.st_size;
    const qint64 modifiedNs = qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    const auto tooLarge = [&] {
        return ReadResult{
            ReadResult::Status::TooLarge, {}, QStringLiteral("larger than %1 bytes").arg(maxBytes), size, modifiedNs};
    };
    const bool cut = oversize == Oversize::Cut;
    if (!cut && info.st_size > maxBytes) {
        return tooLarge();
    }
    // A regular file may still grow while it is read: read one byte past the
    // cap to notice (or, when cutting, exactly up to the cap), never more.
    const qint64 limit = cut ? maxBytes : maxBytes + 1;
    QByteArray bytes;
    bytes.resize(qsizetype(std::min<qint64>(info.st_size + (cut ? 0 : 1), limit)));
    qint64 filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled >= limit) {
                break;
            }
            bytes.resize(qsizetype(std::min<qint64>(limit, filled * 2 + 4096)));
        }
        const ssize_t count = ::read(descriptor.get(), bytes.data() + filled, std::size_t(bytes.size() - filled));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return {ReadResult::Status::Failed, {}, systemError(errno)};
        }
        if (count == 0) {
            break;
        }
        filled += count;
    }
    if (filled > maxBytes) {
        return tooLarge();
    }
    bytes.truncate(qsizetype(filled));
    return {ReadResult::Status::Ok, std::move(bytes), {}, size, modifiedNs};
}

ReadResult openAndRead(int folderFd, const std::string& name, qint64 maxBytes, Oversize oversize = Oversize::Refuse) {
    // O_NONBLOCK: opening a named pipe for reading would otherwise wait for a
    // writer; it is then refused as not regular without a byte read.
    Descriptor file(::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!file.valid()) {
        const int code = errno;
        if (code == ENOENT || code == ENOTDIR) {
            return {ReadResult::Status::Missing, {}, systemError(code)};
        }
        if (code == ELOOP) {
            return {ReadResult::Status::Refused, {}, QStringLiteral("is a symbolic link")};
        }
        return {ReadResult::Status::Failed, {}, systemError(code)};
    }
    return readOpened(std::move(file), maxBytes, oversize);
}

std::pair<QString, std::string> splitParent(const QString& path) {
    const QString cleaned = QDir::cleanPath(path);
    const qsizetype slash = cleaned.lastIndexOf(QLatin1Char('/'));
    const QString parent = slash <= 0 ? QStringLiteral("/") : cleaned.left(slash);
    return {parent, native(cleaned.mid(slash + 1))};
}

} // namespace

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
    return std::any_of(pieces.begin(), pieces.end(), [](const QString& piece) { return isPrivatePiece(piece); });
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
        if (isPrivatePiece(piece)) {
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
    return writeInto(holding.folder.fd.get(), holding.name, bytes, target.absolutePath());
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
    return openAndRead(holding.folder.fd.get(), holding.name, maxBytes, cut ? Oversize::Cut : Oversize::Refuse);
}

QString refusalDescription(Refusal refusal) {
    switch (refusal) {
    case Refusal::None:
        return {};
    case Refusal::UnsafeText:
        return QStringLiteral("The path is not a safe relative path.");
    case Refusal::RootMissing:
        return QStringLiteral("The website directory does not exist.");
    case Refusal::Outside:
        return QStringLiteral("The path leads outside the website directory.");
    case Refusal::Private:
        return QStringLiteral("The path leads into the app's own folders (.git, .kestrion-chats).");
    case Refusal::Unresolvable:
        return QStringLiteral("The path's links cannot be resolved.");
    }
    return {};
}

ReadResult readRegularFileNoFollow(const QString& path, qint64 maxBytes) {
    const auto [parent, name] = splitParent(path);
    Descriptor folder(::open(native(parent).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) {
        const int code = errno;
        return {code == ENOENT || code == ENOTDIR ? ReadResult::Status::Missing : ReadResult::Status::Failed,
                {},
                systemError(code)};
    }
    return openAndRead(folder.get(), name, maxBytes);
}

WriteResult writeFileNoFollow(const QString& path, const QByteArray& bytes) {
    const auto [parent, name] = splitParent(path);
    Descriptor folder(::open(native(parent).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) {
        return {systemError(errno)};
    }
    return writeInto(folder.get(), name, bytes, QDir::cleanPath(path));
}

MovedAside moveAside(const QString& path) {
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

StoreFolder ensureChatsFolder(const QString& root) {
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
        if (const MovedAside moved = moveAside(folder); !moved.ok()) {
            return {{}, moved.error};
        }
    }
    if (::mkdir(location.c_str(), 0777) != 0 && errno != EEXIST) {
        return {{}, systemError(errno)};
    }
    if (::lstat(location.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return {{}, QStringLiteral("\u201c%1\u201d exists and is not a folder.").arg(folder)};
    }
    return {folder, {}};
}

} // namespace kestrion::SitePath
