#pragma once

#include <QString>
#include <optional>
#include <vector>

namespace kestrion {

// One row of the website file tree. Folders carry a (possibly empty) child
// list; files and error nodes carry none, which is how the two are told apart.
struct FileTreeNode {
    // Path relative to the website directory, "/"-separated; for an error node
    // the folder's relative path followed by "/<error>". Unique within a scan.
    QString id;
    // Last path component as listed; for an error node, the error text.
    QString name;
    // Icon name (see FileIcons for the pictures behind these names).
    QString systemImage;
    std::optional<std::vector<FileTreeNode>> children;

    bool isFolder() const { return children.has_value(); }

    friend bool operator==(const FileTreeNode&, const FileTreeNode&) = default;
};

using FileTreeNodes = std::vector<FileTreeNode>;

} // namespace kestrion
