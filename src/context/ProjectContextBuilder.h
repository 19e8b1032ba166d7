#pragma once

#include <QFuture>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

// Reads the website directory before every send and words the project
// workspace block of the system prompt: an inventory of every file with its
// size, the current text of the front-end files within a byte budget, the text
// files that did not fit, and the editing rules. Holds no state between calls
// and never writes to disk.
namespace kestrion::ProjectContextBuilder {

// Plain bounds of one walk; they keep the prompt small for any folder.
inline constexpr int maxListedFiles = 400;
// The root is depth 0; a folder at this depth is not entered.
inline constexpr int maxDirectoryDepth = 16;
// UTF-8 bytes of all embedded bodies, truncation markers included.
inline constexpr qint64 embeddedTextBudget = 122'880;
// Bytes read from one file at most (or the remaining budget when smaller).
inline constexpr qint64 perFileCap = 16'384;

struct FileEntry {
    // Below the website directory, "/"-separated, no leading "/".
    QString relativePath;
    // Size of a regular file; for a symbolic link, the size of the file it
    // points at (0 when it points at a folder, at nothing or is unreadable).
    qint64 sizeBytes = 0;
    // The lower-cased extension is one of embeddableTextExtensions().
    bool isText = false;

    friend bool operator==(const FileEntry&, const FileEntry&) = default;
};

struct EmbeddedFile {
    QString relativePath;
    // The file's text, possibly cut and followed by a truncation marker.
    QString body;
    bool truncated = false;

    friend bool operator==(const EmbeddedFile&, const EmbeddedFile&) = default;
};

struct Snapshot {
    QString rootPath;
    // The only part of the root that the prompt shows.
    QString rootName;
    // Every file the walk found, in display order.
    QList<FileEntry> files;
    QList<EmbeddedFile> embeddedFiles;
    // Text files left out because the budget was spent, in display order.
    QStringList omittedForBudget;
    // The walk stopped at the file-count limit.
    bool listingTruncated = false;

    friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

// Checks the root on the caller's thread and walks it on a background pool
// thread, so the caller never waits on the disk. The future holds nullopt at
// once when the root is absent, missing or not a directory.
QFuture<std::optional<Snapshot>> build(const std::optional<QString>& root);

// The same on the calling thread (a worker's), which it blocks.
std::optional<Snapshot> buildBlocking(const std::optional<QString>& root);

// Walks an (already standardized) directory on the calling thread. Never
// fails: a folder that cannot be listed contributes nothing.
Snapshot buildSync(const QString& root);

// The project workspace block; the empty text without a snapshot.
QString systemPromptSection(const std::optional<Snapshot>& snapshot);

// Last path components that are never listed or entered, at any depth.
const QSet<QString>& hiddenNames();
// Lower-case extensions (without the dot) of files whose text is embedded.
const QSet<QString>& embeddableTextExtensions();

// Ordering weight of a relative path: index pages first, then the main
// stylesheet and script, then pages, styles, scripts, and everything else.
int relevanceRank(const QString& relativePath);

} // namespace kestrion::ProjectContextBuilder
