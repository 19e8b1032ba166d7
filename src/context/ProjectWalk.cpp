#include "context/ProjectWalk.h"

#include "context/ProjectContextBuilder.h"
#include "support/FileExtension.h"
#include "support/NameCollation.h"
#include "support/SitePath.h"

#include <QFile>
#include <algorithm>
#include <optional>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace kestrion::ProjectContextBuilder {

namespace {

struct Walk {
    const NameCollation& collation;
    std::vector<WalkedFile> files;
    bool truncated = false;
};

struct ListedChild {
    QString name;
    fs::directory_entry entry;
};

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
        const bool isText = embeddableTextExtensions().contains(lowerCasedExtension(relativePath));
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

} // namespace

WalkedProject walkProject(const fs::path& root) {
    const NameCollation collation;
    Walk walk{collation, {}, false};
    walkDirectory(root, QString(), 0, walk);
    sortForDisplay(walk.files, collation);
    return {std::move(walk.files), walk.truncated};
}

const QSet<QString>& hiddenNames() {
    static const QSet<QString> names{
        SitePath::gitFolderName,        QStringLiteral(".DS_Store"),   SitePath::chatsFolderName,
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

} // namespace kestrion::ProjectContextBuilder
