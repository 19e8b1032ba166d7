#include "context/ProjectContextBuilder.h"

#include "support/NameCollation.h"
#include "support/SitePath.h"
#include "support/TextDecoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace kestrion::ProjectContextBuilder {

namespace {

// One file found by the walk. The location stays a native path so that a name
// which is not valid UTF-8 can still be opened.
struct WalkedFile {
    QString relativePath;
    fs::path location;
    qint64 sizeBytes = 0;
    bool isText = false;
    int rank = 0;
};

struct Walk {
    const NameCollation& collation;
    std::vector<WalkedFile> files;
    bool truncated = false;
};

struct ListedChild {
    QString name;
    fs::directory_entry entry;
};

QString lastPathComponent(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    // The file system root has no name of its own; show it as itself.
    return name.isEmpty() ? path : name;
}

// The part of the last path component after its final ".", lower-cased.
QString lowerCaseExtension(const QString& relativePath) {
    const qsizetype slash = relativePath.lastIndexOf(u'/');
    const qsizetype dot = relativePath.lastIndexOf(u'.');
    if (dot < 0 || dot < slash) {
        return {};
    }
    return relativePath.mid(dot + 1).toLower();
}

// Immediate children of a folder, hidden names already left out (they would be
// skipped anyway, and leaving them out before sorting spares a collation key
// for every entry of a huge node_modules). Nothing when the folder cannot be
// listed, also when the listing breaks off half-way.
std::optional<std::vector<ListedChild>> listChildren(const fs::path& folder) {
    std::error_code error;
    fs::directory_iterator iterator(folder, fs::directory_options::none, error);
    if (error) {
        return std::nullopt;
    }
    std::vector<ListedChild> children;
    const QSet<QString>& hidden = hiddenNames();
    for (; iterator != fs::directory_iterator(); iterator.increment(error)) {
        const fs::path fileName = iterator->path().filename();
        const std::string& native = fileName.native();
        QString name = QFile::decodeName(QByteArray(native.data(), qsizetype(native.size())));
        if (!hidden.contains(name)) {
            children.push_back({std::move(name), *iterator});
        }
    }
    if (error) {
        return std::nullopt;
    }
    return children;
}

void walkDirectory(const fs::path& folder, const QString& relativePrefix, int depth, Walk& walk) {
    if (walk.files.size() >= std::size_t(maxListedFiles)) {
        walk.truncated = true;
        return;
    }
    if (depth >= maxDirectoryDepth) {
        return;
    }
    std::optional<std::vector<ListedChild>> children = listChildren(folder);
    if (!children) {
        return;
    }
    walk.collation.stableSort(*children, [](const ListedChild& child) { return child.name; });

    for (const ListedChild& child : *children) {
        if (walk.files.size() >= std::size_t(maxListedFiles)) {
            walk.truncated = true;
            return;
        }
        const QString relativePath = relativePrefix + child.name;
        // The entry's own type: a symbolic link to a folder is a file here and
        // is never followed, which keeps link loops out of the walk. Both tests
        // use the type the listing already gave, so they cost no system call.
        std::error_code linkError;
        std::error_code folderError;
        const bool isLink = child.entry.is_symlink(linkError);
        const bool isFolder = !isLink && !linkError && child.entry.is_directory(folderError) && !folderError;
        if (isFolder) {
            walkDirectory(child.entry.path(), relativePath + u'/', depth + 1, walk);
            continue;
        }
        // Follows a link, so a link to a file reports the size of what would be
        // read; a folder, a dangling link or anything unreadable reports 0.
        std::error_code sizeError;
        const std::uintmax_t size = child.entry.file_size(sizeError);
        const bool isText = embeddableTextExtensions().contains(lowerCaseExtension(relativePath));
        walk.files.push_back(
            {relativePath, child.entry.path(), sizeError ? 0 : qint64(size), isText, relevanceRank(relativePath)});
    }
}

void sortForDisplay(std::vector<WalkedFile>& files, const NameCollation& collation) {
    // Two stable passes give rank first, then path order, then walk order.
    collation.stableSort(files, [](const WalkedFile& file) { return file.relativePath; });
    std::stable_sort(files.begin(), files.end(),
                     [](const WalkedFile& a, const WalkedFile& b) { return a.rank < b.rank; });
}

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

// Bytes the text takes in UTF-8, counted without encoding it. The texts come
// from decoding, so every surrogate is half of a valid pair.
qint64 utf8Length(QStringView text) {
    qint64 length = 0;
    for (const QChar character : text) {
        const char16_t unit = character.unicode();
        length += unit < 0x80 ? 1 : unit < 0x800 ? 2 : character.isSurrogate() ? 2 : 3;
    }
    return length;
}

struct ReadText {
    QString body;
    bool truncated = false;
};

// The buffer must hold cap + 1 bytes.
std::optional<ReadText> readTextFile(const WalkedFile& file, qint64 cap, QByteArray& buffer,
                                     const SitePath::Site& site) {
    // One byte past the cap tells a file that fits from one that must be cut,
    // without reading a huge file whole.
    const std::optional<qint64> filled = readPrefix(file, cap + 1, buffer, site);
    if (!filled) {
        return std::nullopt;
    }
    const QByteArrayView bytes(buffer.constData(), *filled);
    if (bytes.isEmpty()) {
        return ReadText{};
    }
    if (bytes.size() <= cap) {
        if (std::optional<QString> text = decodeUtf8Strict(bytes)) {
            return ReadText{*text, false};
        }
        return ReadText{decodeLatin1(bytes), false};
    }
    const QByteArrayView head = bytes.first(cap);
    if (const std::optional<QString> text = decodeUtf8Prefix(head)) {
        return ReadText{*text + QStringLiteral("\n/* …file truncated — real size %1 bytes (embedded first %2) */\n")
                                    .arg(file.sizeBytes)
                                    .arg(utf8Length(*text)),
                        true};
    }
    return ReadText{decodeLatin1(head) +
                        QStringLiteral("\n/* …file truncated — real size %1 bytes */\n").arg(file.sizeBytes),
                    true};
}

// The root as an absolute clean path, when it names an existing directory.
std::optional<QString> standardizedDirectory(const std::optional<QString>& root) {
    if (!root || root->isEmpty()) {
        return std::nullopt;
    }
    const QString standardized = QDir::cleanPath(QFileInfo(*root).absoluteFilePath());
    if (!QFileInfo(standardized).isDir()) {
        return std::nullopt;
    }
    return standardized;
}

} // namespace

const QSet<QString>& hiddenNames() {
    static const QSet<QString> names{
        QStringLiteral(".git"),         QStringLiteral(".DS_Store"),   QStringLiteral(".kestrion-chats"),
        QStringLiteral("node_modules"), QStringLiteral(".cache"),      QStringLiteral(".parcel-cache"),
        QStringLiteral(".next"),        QStringLiteral(".svelte-kit"), QStringLiteral("dist"),
        QStringLiteral(".vscode"),      QStringLiteral(".idea"),
    };
    return names;
}

const QSet<QString>& embeddableTextExtensions() {
    static const QSet<QString> extensions{
        QStringLiteral("htm"),         QStringLiteral("html"),     QStringLiteral("xhtml"), QStringLiteral("css"),
        QStringLiteral("js"),          QStringLiteral("mjs"),      QStringLiteral("svg"),   QStringLiteral("json"),
        QStringLiteral("webmanifest"), QStringLiteral("txt"),      QStringLiteral("xml"),   QStringLiteral("map"),
        QStringLiteral("md"),          QStringLiteral("markdown"),
    };
    return extensions;
}

int relevanceRank(const QString& relativePath) {
    const QString path = relativePath.toLower();
    if (path == u"index.htm" || path == u"index.html") {
        return 0;
    }
    if (path.endsWith(u"/index.htm") || path.endsWith(u"/index.html")) {
        return 1;
    }
    if (path == u"styles.css" || path.endsWith(u"/styles.css")) {
        return 2;
    }
    if (path == u"app.js" || path.endsWith(u"/app.js")) {
        return 3;
    }
    if (path.endsWith(u".htm") || path.endsWith(u".html")) {
        return 4;
    }
    if (path.endsWith(u".css")) {
        return 5;
    }
    if (path.endsWith(u".js") || path.endsWith(u".mjs")) {
        return 6;
    }
    if (path.endsWith(u".svg")) {
        return 7;
    }
    if (path.endsWith(u".json") || path.endsWith(u".webmanifest")) {
        return 8;
    }
    if (path.endsWith(u".md") || path.endsWith(u".markdown")) {
        return 9;
    }
    return 10;
}

QFuture<std::optional<Snapshot>> build(const std::optional<QString>& root) {
    const std::optional<QString> standardized = standardizedDirectory(root);
    if (!standardized) {
        return QtFuture::makeReadyFuture(std::optional<Snapshot>());
    }
    return QtConcurrent::run([root = *standardized]() -> std::optional<Snapshot> { return buildSync(root); });
}

std::optional<Snapshot> buildBlocking(const std::optional<QString>& root) {
    const std::optional<QString> standardized = standardizedDirectory(root);
    if (!standardized) {
        return std::nullopt;
    }
    return buildSync(*standardized);
}

Snapshot buildSync(const QString& root) {
    Snapshot snapshot;
    snapshot.rootPath = root;
    snapshot.rootName = lastPathComponent(root);

    const fs::path rootLocation(QFile::encodeName(root).toStdString());
    const NameCollation collation;
    Walk walk{collation, {}, false};
    walkDirectory(rootLocation, QString(), 0, walk);
    sortForDisplay(walk.files, collation);
    snapshot.listingTruncated = walk.truncated;

    const SitePath::Site site(root);
    QByteArray buffer(perFileCap + 1, Qt::Uninitialized);
    qint64 remaining = embeddedTextBudget;
    snapshot.files.reserve(qsizetype(walk.files.size()));
    for (const WalkedFile& file : walk.files) {
        snapshot.files.append({file.relativePath, file.sizeBytes, file.isText});
        if (!file.isText) {
            continue;
        }
        if (remaining <= 0) {
            snapshot.omittedForBudget.append(file.relativePath);
            continue;
        }
        const qint64 cap = std::min(remaining, perFileCap);
        std::optional<ReadText> text = readTextFile(file, cap, buffer, site);
        if (!text) {
            // Unreadable (or outside the website directory): listed, but
            // neither embedded nor named as left out.
            continue;
        }
        remaining -= utf8Length(text->body);
        snapshot.embeddedFiles.append({file.relativePath, std::move(text->body), text->truncated});
    }
    return snapshot;
}

QString systemPromptSection(const std::optional<Snapshot>& snapshot) {
    if (!snapshot) {
        return {};
    }
    if (snapshot->files.isEmpty()) {
        return QStringLiteral("\n**Current project workspace** (`") + snapshot->rootName +
               QStringLiteral("`): the folder is currently **empty**. Any files you scaffold will be the first files "
                              "here.");
    }

    QStringList lines;
    lines << QString();
    lines << QStringLiteral("**Current project workspace** (`") + snapshot->rootName +
                 QStringLiteral("`). The list below is the authoritative inventory of every file that already exists "
                                "in the user's website folder. Treat it as ground truth: do NOT assume other files "
                                "exist, and always update an existing path instead of creating a duplicate.");
    lines << QString();
    lines << QStringLiteral("**Project tree (relative paths, sizes in bytes):**");
    lines << QStringLiteral("```");
    for (const FileEntry& file : snapshot->files) {
        QString line = QStringLiteral("- ") + file.relativePath + QStringLiteral(" — ") +
                       QString::number(file.sizeBytes) + QStringLiteral(" B");
        if (!file.isText) {
            line += QStringLiteral(" (binary)");
        }
        lines << line;
    }
    if (snapshot->listingTruncated) {
        lines << QStringLiteral("- … listing truncated (project has more than %1 files or exceeded depth %2)")
                     .arg(maxListedFiles)
                     .arg(maxDirectoryDepth);
    }
    lines << QStringLiteral("```");

    if (!snapshot->embeddedFiles.isEmpty()) {
        lines << QString();
        lines << QStringLiteral("**Current contents of text files** (authoritative — use these exact versions as the "
                                "base when editing; you do NOT need to ask the user to paste them):");
        for (const EmbeddedFile& file : snapshot->embeddedFiles) {
            lines << QString();
            lines << QStringLiteral("<<<PROJECT_FILE path=\"") + file.relativePath + QStringLiteral("\">>>");
            lines << file.body;
            lines << QStringLiteral("<<<END_PROJECT_FILE>>>");
            if (file.truncated) {
                lines << QStringLiteral("(") + file.relativePath +
                             QStringLiteral(" truncated — ask the user or re-read from disk if you need the tail.)");
            }
        }
    }

    if (!snapshot->omittedForBudget.isEmpty()) {
        QStringList quoted;
        quoted.reserve(snapshot->omittedForBudget.size());
        for (const QString& path : snapshot->omittedForBudget) {
            quoted << u'`' + path + u'`';
        }
        lines << QString();
        lines << QStringLiteral("**Text files not embedded in this prompt** (still present on disk — you know they "
                                "exist, just ask before assuming contents): ") +
                     quoted.join(QStringLiteral(", "));
    }

    lines << QString();
    lines << QStringLiteral("**Editing rules for this project:**");
    lines << QStringLiteral("- When changing an existing file, return the **complete new content** inside a "
                            "`<<<FILE path=\"...\">>>` block using the **same relative path** shown above.");
    lines << QStringLiteral("- Never invent or assume a file that is not in the inventory.");
    lines << QStringLiteral("- If the user asks about a web page, CSS, or JS behavior, you already have the current "
                            "source above — do not ask them to paste it.");
    lines << QStringLiteral("- Prefer minimal, targeted edits that preserve the existing structure, classes, IDs, and "
                            "asset paths.");
    return lines.join(u'\n');
}

} // namespace kestrion::ProjectContextBuilder
