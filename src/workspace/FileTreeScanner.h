#pragma once

#include "workspace/FileTreeNode.h"

#include <QString>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace kestrion::FileTreeScanner {

// Plain bounds on one scan: they keep the walk and the tree handed to the
// interface small even for a huge folder.
inline constexpr int maxNodes = 8000;
// Levels of nodes; the root's children are level 1.
inline constexpr int maxDepth = 28;

struct Snapshot {
    FileTreeNodes nodes;
    QString statusLine;

    friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

// One entry of a shallow folder listing.
struct ListedEntry {
    // The name as displayed, and as the file system spells it (kept so that a
    // name which is not valid UTF-8 can still be entered).
    QString name;
    std::string nativeName;
    // True only for a real folder: a symbolic link to a folder is a file here,
    // so the walk never follows links (and never loops).
    bool isDirectory = false;
};

struct Listing {
    std::vector<ListedEntry> entries;
    // Set when the folder could not be listed: the system's description.
    std::optional<QString> error;
};

// Lists one folder's immediate children, dot-files included, in directory order.
using DirectoryLister = std::function<Listing(const std::filesystem::path& folder)>;

// The lister the scan uses unless told otherwise (the real file system).
Listing listDirectory(const std::filesystem::path& folder);

// Walks the website directory into nodes. Never fails: a missing root gives
// "Folder does not exist." and a folder that cannot be listed an error node.
// Once stop is requested no further folder is listed and the walk returns
// what it has, which the caller then discards.
Snapshot scan(const QString& root, const std::stop_token& stop = {});
Snapshot scan(const QString& root, const DirectoryLister& lister, const std::stop_token& stop = {});

// The node list of one folder. nodeCount and truncated belong to the whole
// scan and are updated here. displayRoot must be standardized.
FileTreeNodes directoryChildren(const std::filesystem::path& folder, const QString& displayRoot, int depth,
                                int& nodeCount, bool& truncated, const DirectoryLister& lister = listDirectory,
                                const std::stop_token& stop = {});

// The path of a node below root, "/"-separated ("." for the root's own empty
// remainder); anything not below root gives its last path component.
QString relativePath(const QString& path, const QString& root);

// Icon name of a file by its lower-cased extension; "doc" when nothing matches.
QString iconFor(const QString& name);

// "N item(s)", with the truncation note when the limits cut the scan short.
QString statusLine(int nodeCount, bool truncated);

inline const QString folderIcon = QStringLiteral("folder.fill");
inline const QString errorIcon = QStringLiteral("exclamationmark.triangle");
inline const QString missingFolderStatus =
    QStringLiteral(QT_TRANSLATE_NOOP("kestrion::FileTreeScanner", "Folder does not exist."));

} // namespace kestrion::FileTreeScanner
