#pragma once

#include "support/AtomicFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

namespace kestrion {

// Every reader and writer of the website directory goes through this module.
//
// The model's reply, links already in the folder and files the app reads back
// are all untrusted. A path is therefore judged twice: first as text (no
// absolute paths, no "..", no control characters, not the app's own folders),
// then after resolving it fully on disk (every existing piece, the last link
// included). The decision is made on the resolved result, and writes go to that
// resolved result through descriptors that refuse to follow any link, so a
// link planted between the check and the write cannot redirect it.
namespace SitePath {

// The folders inside a website directory that belong to git and to the app.
inline constexpr QLatin1StringView gitFolderName{".git"};
inline constexpr QLatin1StringView chatsFolderName{".kestrion-chats"};

// True when the text holds a control character (Unicode category Cc: C0, DEL,
// C1) or half of a surrogate pair. The kernel cuts a name at NUL, so such a
// path would name a different file than the one every textual check saw.
bool hasControlCharacters(QStringView text);

// The text with every control character and unpaired surrogate written as a
// \u0000-style escape, for showing an untrusted path in the transcript.
QString escapedForDisplay(QStringView text);

// The textual test of a relative path from the model: non-empty, not absolute,
// not starting with "~", no ".." piece, no control characters.
bool isSafeRelativePath(const QString& path);

// True when a piece of the path is ".git" or ".kestrion-chats", compared
// without regard to case (on a case-insensitive volume ".GIT" is the folder).
bool namesPrivateFolder(const QString& relativePath);

// Locations as text, no link resolved: for paths the app builds itself (the
// file tree's ids, the preview's and the editor's locations). Reading or
// writing such a location resolves it again through Site.

// True when candidate lies strictly below root, comparing cleaned paths: the
// root itself and a sibling such as /site2 for /site are not below /site.
bool isStrictlyBelow(const QString& root, const QString& candidate);

// candidate's path relative to root, "/"-separated, when strictly below it.
std::optional<QString> relativeBelow(const QString& root, const QString& candidate);

// A relative path from the file tree as an absolute location strictly inside
// root, or nothing for absolute, empty, "." or ".."-bearing paths.
std::optional<QString> locationOf(const QString& root, const QString& relativePath);

// Locations resolved on disk.

// path made absolute and cleaned (links kept), when it names an existing
// folder; nothing for none, the empty text or anything else.
std::optional<QString> existingDirectory(const std::optional<QString>& path);

// path (made absolute) with every leading piece that exists resolved, links
// included, and the rest appended as written, then cleaned: the place a file
// created there would have.
QString resolvedPath(const QString& path);

// Where path lies relative to root once both are resolved, when that is
// strictly below root; nothing otherwise, or when root cannot be resolved.
std::optional<QString> resolvedRelativeBelow(const QString& root, const QString& path);

enum class Refusal {
    None,
    UnsafeText,   // failed the textual test
    RootMissing,  // the website directory does not exist or cannot be resolved
    Outside,      // resolves to the root itself or outside it
    Private,      // resolves into .git or .kestrion-chats
    Unresolvable, // a link loop, a piece that is not a folder, or no permission
};

// A location fully resolved against the resolved website directory.
struct Resolution {
    Refusal refusal = Refusal::None;
    QString canonicalRoot; // the website directory with its links resolved
    QString relativePath;  // the resolved location relative to canonicalRoot, "/"-separated
    bool exists = false;   // the resolved location exists (any kind of file)

    bool ok() const { return refusal == Refusal::None; }
    QString absolutePath() const { return canonicalRoot + QLatin1Char('/') + relativePath; }
};

// What a bounded read found.
struct ReadResult {
    enum class Status { Ok, Missing, NotRegular, TooLarge, Refused, Failed };
    Status status = Status::Failed;
    QByteArray bytes;
    QString error;
    // The opened regular file's size and modification time (nanoseconds since
    // the epoch) when the read began; -1 when no regular file was opened.
    qint64 size = -1;
    qint64 modifiedNs = -1;

    bool ok() const { return status == Status::Ok; }
};

// A website directory, resolved once. Cheap to copy.
class Site {
public:
    explicit Site(const QString& root);

    bool exists() const { return !m_canonicalRoot.isEmpty(); }
    const QString& root() const { return m_root; }
    const QString& canonicalRoot() const { return m_canonicalRoot; }

    // Resolves a relative path (the textual test included).
    Resolution resolve(const QString& relativePath) const;

    // Resolves an absolute location that names a place inside the website
    // directory, written either under the directory as given or under its
    // resolved form (the preview and the editor hold such locations).
    Resolution resolveLocation(const QString& absolutePath) const;

    // Writes the whole file atomically at a resolved location: missing folders
    // are created, every folder is entered without following links, and the
    // file is replaced by renaming a temporary file over it.
    WriteResult write(const Resolution& target, const QByteArray& bytes) const;

    // Resolve and write in one step.
    WriteResult write(const QString& relativePath, const QByteArray& bytes) const;

    // Creates the missing folders of a resolved location the way write() does,
    // so a caller can learn before a slow step (an image request) whether the
    // file could be written at all.
    WriteResult makeFolders(const Resolution& target) const;

    // Reads a regular file at a resolved location, at most maxBytes bytes. A
    // pipe, device or socket is never opened for reading (the open does not
    // block), and a larger file is refused without reading it.
    ReadResult read(const Resolution& target, qint64 maxBytes) const;

    // The same, but a larger file is cut: the first maxBytes bytes are read.
    ReadResult readHead(const Resolution& target, qint64 maxBytes) const;

private:
    Resolution resolvePieces(QStringList pieces) const;
    ReadResult readResolved(const Resolution& target, qint64 maxBytes, bool cut) const;

    QString m_root;
    QString m_canonicalRoot;
};

// The text a refusal shows in a message.
QString refusalDescription(Refusal refusal);

// Reads a regular file without following a link at its last piece, at most
// maxBytes bytes, never blocking on a pipe or device. For the app's own stores,
// whose names are fixed and must never lead anywhere else.
ReadResult readRegularFileNoFollow(const QString& path, qint64 maxBytes);

// Writes a file atomically into an existing folder: the temporary file is made
// in that folder and renamed over the name, which replaces a link in its place
// instead of writing through it.
WriteResult writeFileNoFollow(const QString& path, const QByteArray& bytes);

// A path the app's stores use, or why there is none.
struct PathResult {
    QString path;
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// Renames an unreadable file (or a link, or anything else in the way) to a
// free name beside it, "<stem>.unreadable-<UTC time>[-n]<.ext>", so the next
// save does not destroy what may still be worth reading. The rename moves a
// link itself, never its target. Gives the new path.
PathResult moveAside(const QString& path);

// The app's chats folder inside an existing website directory, made when
// missing. A link, a file or anything else in its place is moved aside and a
// real folder made, so the stores never write through a link. The website
// directory itself is never created.
PathResult ensureChatsFolder(const QString& root);

// The path of the file named fileName in that folder, the folder made as above.
PathResult chatsStoreFile(const QString& root, const QString& fileName);

} // namespace SitePath

} // namespace kestrion
