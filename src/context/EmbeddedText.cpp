#include "context/EmbeddedText.h"

#include "support/TextDecoding.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kestrion::ProjectContextBuilder {

namespace {

// A descriptor of a regular file, or -1; isLink tells that the location is a
// symbolic link, which is left for the caller to resolve and vet.
int openRegularFile(const fs::path& location, bool& isLink) {
    // O_NOFOLLOW: a link is never opened blindly. O_NONBLOCK: a named pipe
    // must not hang the walk in open(); it is then refused as not regular.
    const int descriptor = ::open(location.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        isLink = errno == ELOOP;
        return -1;
    }
    struct stat info {};
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

// At most `limit` bytes from the start of a regular file, read into `buffer`
// (which must hold `limit` bytes and is reused for every file of a walk); the
// result is the number of bytes read. Plain files are opened directly. A
// symbolic link is resolved by the site, every link on the way included, and
// read only when it stays inside the website directory and out of its private
// folders: otherwise notes.txt -> ~/.ssh/id_rsa or theme.css -> .git/config
// (which may hold a remote's credentials) would put that text into the prompt
// that goes to the model service.
std::optional<qint64> readPrefix(const WalkedFile& file, qint64 limit, QByteArray& buffer, const SitePath::Site& site) {
    bool isLink = false;
    const int descriptor = openRegularFile(file.location, isLink);
    if (descriptor < 0) {
        if (!isLink) {
            return std::nullopt;
        }
        const SitePath::ReadResult linked = site.readHead(site.resolve(file.relativePath), limit);
        if (!linked.ok()) {
            return std::nullopt;
        }
        std::copy(linked.bytes.cbegin(), linked.bytes.cend(), buffer.begin());
        return linked.bytes.size();
    }
    qint64 filled = 0;
    while (filled < limit) {
        const ssize_t count = ::read(descriptor, buffer.data() + filled, std::size_t(limit - filled));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            ::close(descriptor);
            return std::nullopt;
        }
        if (count == 0) {
            break;
        }
        filled += count;
    }
    ::close(descriptor);
    return filled;
}

// Strict UTF-8 of the bytes with up to three trailing bytes dropped, which
// removes a multi-byte character cut by the cap.
std::optional<QString> decodeUtf8Prefix(QByteArrayView bytes) {
    for (qsizetype dropped = 0; dropped <= 3; ++dropped) {
        if (bytes.size() < dropped) {
            return std::nullopt;
        }
        if (std::optional<QString> text = decodeUtf8Strict(bytes.first(bytes.size() - dropped))) {
            return text;
        }
    }
    return std::nullopt;
}

} // namespace

qint64 utf8Length(QStringView text) {
    qint64 length = 0;
    for (const QChar character : text) {
        const char16_t unit = character.unicode();
        length += unit < 0x80 ? 1 : unit < 0x800 ? 2 : character.isSurrogate() ? 2 : 3;
    }
    return length;
}

std::optional<EmbeddedText> readEmbeddedText(const WalkedFile& file, qint64 cap, QByteArray& buffer,
                                             const SitePath::Site& site) {
    // One byte past the cap tells a file that fits from one that must be cut,
    // without reading a huge file whole.
    const std::optional<qint64> filled = readPrefix(file, cap + 1, buffer, site);
    if (!filled) {
        return std::nullopt;
    }
    const QByteArrayView bytes(buffer.constData(), *filled);
    if (bytes.isEmpty()) {
        return EmbeddedText{};
    }
    if (bytes.size() <= cap) {
        if (std::optional<QString> text = decodeUtf8Strict(bytes)) {
            return EmbeddedText{*text, false};
        }
        return EmbeddedText{decodeLatin1(bytes), false};
    }
    const QByteArrayView head = bytes.first(cap);
    if (const std::optional<QString> text = decodeUtf8Prefix(head)) {
        return EmbeddedText{*text + QStringLiteral("\n/* …file truncated — real size %1 bytes (embedded first %2) */\n")
                                        .arg(file.sizeBytes)
                                        .arg(utf8Length(*text)),
                            true};
    }
    return EmbeddedText{decodeLatin1(head) +
                            QStringLiteral("\n/* …file truncated — real size %1 bytes */\n").arg(file.sizeBytes),
                        true};
}

} // namespace kestrion::ProjectContextBuilder
