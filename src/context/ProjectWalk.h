#pragma once

#include <QString>
#include <filesystem>
#include <vector>

// The walk of the website directory behind the project snapshot.
namespace kestrion::ProjectContextBuilder {

// One file found by the walk. The location stays a native path so that a name
// which is not valid UTF-8 can still be opened.
struct WalkedFile {
    QString relativePath;
    std::filesystem::path location;
    qint64 sizeBytes = 0;
    bool isText = false;
    int rank = 0;
};

struct WalkedProject {
    std::vector<WalkedFile> files; // in display order
    bool truncated = false;        // stopped at maxListedFiles
};

// Every file below root within the walk's limits, never entering a hidden name
// or a symbolic link to a folder.
WalkedProject walkProject(const std::filesystem::path& root);

} // namespace kestrion::ProjectContextBuilder
