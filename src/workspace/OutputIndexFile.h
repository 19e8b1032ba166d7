#pragma once

#include "support/SitePath.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace kestrion::OutputIndexFile {

// The site's index page: "index.htm", else "index.html", whichever is first a
// readable regular file directly in the directory (a named pipe or a device
// carrying the name is no page to show).
std::optional<QString> pathIn(const std::optional<QString>& directory);

bool isImageFile(const QString& relativePOSIXPath);
bool isPreviewableWebFile(const QString& relativePOSIXPath);
bool isSourceEditableFile(const QString& location);

// The most a file read for the Source tab or the stylesheet page may hold.
inline constexpr qint64 maxTextFileBytes = 16 * 1024 * 1024;

// What a file held when it was read, to tell later whether it changed on disk.
struct FileVersion {
    enum class State {
        Missing,    // nothing by that name
        Readable,   // a regular file within the cap: its bytes are hashed
        Unreadable, // anything else: a link leading out, a pipe, a file over the cap
    };
    State state = State::Missing;
    qint64 size = -1;
    qint64 modifiedNs = -1; // nanoseconds since the epoch; -1 when unknown
    QByteArray sha256;

    // The version of bytes just written (their modification time unknown).
    static FileVersion ofBytes(const QByteArray& bytes);
    static FileVersion of(const SitePath::ReadResult& read);

    // Whether other holds the same bytes. The modification time is recorded but
    // not compared: a rewrite within one tick of the file system's clock keeps
    // it, and a file touched or rewritten unchanged has lost no one's text.
    bool sameContent(const FileVersion& other) const;
};

struct TextFile {
    enum class Status { Ok, TooLarge, Unreadable };
    Status status = Status::Unreadable;
    QString text;
    FileVersion version;

    bool ok() const { return status == Status::Ok; }
};

// The whole file at location, a place inside the website directory root, as
// text: strict UTF-8, else UTF-16, else UTF-8 with invalid sequences replaced.
// Read through the site's path module: a link leading outside the directory or
// into its private folders, a named pipe, a device or a missing file is
// unreadable, and a file over maxTextFileBytes is too large (and not read).
TextFile readTextFile(const QString& root, const QString& location);

// What the file at location holds now, read the same way but not decoded.
FileVersion readFileVersion(const QString& root, const QString& location);

// A stylesheet shown as escaped text in a small monospaced page; nothing when
// the file cannot be read or is too large.
std::optional<QString> htmlDocumentShowingCSSFile(const QString& root, const QString& location);

// What the preview remembers of its last load: the standardized path, a line
// feed and the reload counter. The same key means the view is already current.
QString previewLoadKey(const QString& filePath, qint64 reloadNonce);

} // namespace kestrion::OutputIndexFile
