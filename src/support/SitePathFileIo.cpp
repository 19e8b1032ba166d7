#include "support/SitePathDetail.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace kestrion::SitePath::detail {

namespace {

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

} // namespace

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

std::string native(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString fromNative(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

WriteResult writeInto(int folderFd, const std::string& name, const QByteArray& bytes, const QString& shownPath) {
    struct stat existing {};
    mode_t mode = 0666;
    bool keepMode = false;
    if (::fstatat(folderFd, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(existing.st_mode)) {
            return {QCoreApplication::translate("kestrion::SitePath", "\u201c%1\u201d is a folder.").arg(shownPath)};
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

ReadResult openAndRead(int folderFd, const std::string& name, qint64 maxBytes, Oversize oversize) {
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

} // namespace kestrion::SitePath::detail
