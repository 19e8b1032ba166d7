#include "workspace/FileTreeScanner.h"

#include "support/FileExtension.h"
#include "support/NameCollation.h"
#include "support/SitePath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <algorithm>
#include <system_error>

namespace kestrion::FileTreeScanner {

namespace {

namespace fs = std::filesystem;

const QString errorSuffix = QStringLiteral("/<error>");

QString nativeToQString(const std::string& native) {
    return QString::fromLocal8Bit(QByteArrayView(native.data(), static_cast<qsizetype>(native.size())));
}

fs::path qStringToNative(const QString& path) {
    return fs::path(QFile::encodeName(path).toStdString());
}

QString lastPathComponent(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString last = path.mid(slash + 1);
    return last.isEmpty() ? path : last;
}

// relativePath on paths that are already standardized. The root itself gives
// its own name, except the file-system root, which has none and gives ".".
QString relativeToStandardized(const QString& path, const QString& root) {
    if (auto below = SitePath::relativeBelow(root, path)) {
        return *below;
    }
    if (path == root && root == QLatin1String("/")) {
        return QStringLiteral(".");
    }
    return lastPathComponent(path);
}

bool isSkippedName(const QString& name) {
    return name == SitePath::gitFolderName || name == SitePath::chatsFolderName;
}

// State of one walk. Only the scan that owns it touches it, so no locking.
struct Walk {
    const DirectoryLister& lister;
    const std::stop_token& stop;
    NameCollation collation;
    int& nodeCount;
    bool& truncated;

    // idPrefix is the folder's own id ("" for the root), errorId the id its
    // error node gets if it cannot be listed.
    FileTreeNodes children(const fs::path& folder, const QString& idPrefix, const QString& errorId, int depth) {
        if (stop.stop_requested()) {
            return {};
        }
        Listing listing = lister(folder);
        if (listing.error) {
            FileTreeNode errorNode;
            errorNode.id = errorId + errorSuffix;
            errorNode.name =
                QCoreApplication::translate("kestrion::FileTreeScanner", "(could not read: %1)").arg(*listing.error);
            errorNode.systemImage = errorIcon;
            return {std::move(errorNode)};
        }

        std::vector<ListedEntry> folders;
        std::vector<ListedEntry> files;
        for (ListedEntry& entry : listing.entries) {
            if (isSkippedName(entry.name)) {
                continue;
            }
            (entry.isDirectory ? folders : files).push_back(std::move(entry));
        }
        // Folders hold few entries each, where direct comparisons cost less
        // than building a collation key per name.
        const auto byName = [this](const ListedEntry& a, const ListedEntry& b) {
            return collation.compare(a.name, b.name) < 0;
        };
        std::stable_sort(folders.begin(), folders.end(), byName);
        std::stable_sort(files.begin(), files.end(), byName);

        FileTreeNodes nodes;
        nodes.reserve(folders.size() + files.size());
        const auto append = [&](ListedEntry& entry) {
            if (nodeCount >= maxNodes) {
                truncated = true;
                return false;
            }
            FileTreeNode node;
            // Every child lies below the display root, so its relative path is
            // the parent's plus its own name.
            node.id = idPrefix.isEmpty() ? entry.name : idPrefix + QLatin1Char('/') + entry.name;
            ++nodeCount;
            if (entry.isDirectory) {
                node.systemImage = folderIcon;
                // The deepest level is shown closed: its folders appear but are not read.
                node.children = depth + 1 <= maxDepth - 1
                                    ? children(folder / entry.nativeName, node.id, node.id, depth + 1)
                                    : FileTreeNodes{};
            } else {
                node.systemImage = iconFor(entry.name);
            }
            node.name = std::move(entry.name);
            nodes.push_back(std::move(node));
            return true;
        };
        for (ListedEntry& entry : folders) {
            if (!append(entry)) {
                return nodes;
            }
        }
        for (ListedEntry& entry : files) {
            if (!append(entry)) {
                return nodes;
            }
        }
        return nodes;
    }
};

const QHash<QString, QString>& iconsByExtension() {
    static const QHash<QString, QString> table = [] {
        QHash<QString, QString> icons;
        const auto add = [&icons](std::initializer_list<const char*> extensions, const QString& icon) {
            for (const char* extension : extensions) {
                icons.insert(QString::fromLatin1(extension), icon);
            }
        };
        add({"swift"}, QStringLiteral("swift"));
        add({"php"}, QStringLiteral("curlybraces"));
        add({"js", "ts", "tsx", "jsx", "mjs", "cjs"}, QStringLiteral("chevron.left.forwardslash.chevron.right"));
        add({"json"}, QStringLiteral("curlybraces.square"));
        add({"md", "markdown"}, QStringLiteral("doc.richtext"));
        add({"html", "htm"}, QStringLiteral("doc.richtext.fill"));
        add({"css"}, QStringLiteral("paintbrush"));
        add({"png", "jpg", "jpeg", "gif", "webp", "ico", "svg"}, QStringLiteral("photo"));
        add({"env"}, QStringLiteral("gearshape"));
        add({"gitignore"}, QStringLiteral("arrow.triangle.branch"));
        add({"yml", "yaml"}, QStringLiteral("list.bullet.rectangle"));
        add({"xml", "plist"}, QStringLiteral("list.bullet.rectangle.portrait"));
        add({"sh"}, QStringLiteral("terminal"));
        return icons;
    }();
    return table;
}

} // namespace

Listing listDirectory(const fs::path& folder) {
    Listing listing;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    for (const fs::directory_iterator end; !error && it != end; it.increment(error)) {
        const fs::directory_entry& entry = *it;
        const std::string& path = entry.path().native();
        std::string nativeName = path.substr(path.rfind('/') + 1);
        // The type comes from the listing itself where the file system provides
        // it; a type that cannot be read makes the entry a file.
        std::error_code typeError;
        const bool isLink = entry.is_symlink(typeError);
        const bool isDirectory = !typeError && !isLink && entry.is_directory(typeError) && !typeError;
        QString name = nativeToQString(nativeName);
        listing.entries.push_back({std::move(name), std::move(nativeName), isDirectory});
    }
    if (error) {
        listing.entries.clear();
        listing.error = QString::fromLocal8Bit(error.message());
    }
    return listing;
}

Snapshot scan(const QString& root, const std::stop_token& stop) {
    return scan(root, listDirectory, stop);
}

Snapshot scan(const QString& root, const DirectoryLister& lister, const std::stop_token& stop) {
    std::error_code error;
    const fs::path rootPath = qStringToNative(root);
    if (root.isEmpty() || !fs::is_directory(rootPath, error)) {
        return {{}, QCoreApplication::translate("kestrion::FileTreeScanner", qUtf8Printable(missingFolderStatus))};
    }
    int nodeCount = 0;
    bool truncated = false;
    const QString displayRoot = QDir::cleanPath(root);
    Snapshot snapshot;
    snapshot.nodes = directoryChildren(rootPath, displayRoot, 0, nodeCount, truncated, lister, stop);
    snapshot.statusLine = statusLine(nodeCount, truncated);
    return snapshot;
}

FileTreeNodes directoryChildren(const fs::path& folder, const QString& displayRoot, int depth, int& nodeCount,
                                bool& truncated, const DirectoryLister& lister, const std::stop_token& stop) {
    Walk walk{lister, stop, NameCollation(), nodeCount, truncated};
    const QString folderPath = QDir::cleanPath(nativeToQString(folder.native()));
    const QString folderId = relativeToStandardized(folderPath, displayRoot);
    const bool below = SitePath::isStrictlyBelow(displayRoot, folderPath);
    return walk.children(folder, below ? folderId : QString(), folderId, depth);
}

QString relativePath(const QString& path, const QString& root) {
    return relativeToStandardized(QDir::cleanPath(path), QDir::cleanPath(root));
}

QString iconFor(const QString& name) {
    static const QString fallback = QStringLiteral("doc");
    return iconsByExtension().value(lowerCasedExtension(name), fallback);
}

QString statusLine(int nodeCount, bool truncated) {
    QString line = nodeCount == 1 ? QCoreApplication::translate("kestrion::FileTreeScanner", "1 item")
                                  : QCoreApplication::translate("kestrion::FileTreeScanner", "%1 items").arg(nodeCount);
    if (truncated) {
        line += QCoreApplication::translate("kestrion::FileTreeScanner",
                                            " \u2014 tree truncated (limit %1 nodes, depth %2)")
                    .arg(maxNodes)
                    .arg(maxDepth);
    }
    return line;
}

} // namespace kestrion::FileTreeScanner
