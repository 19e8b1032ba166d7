#pragma once

#include "conversation/ChatRecords.h"
#include "support/AtomicFile.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>
#include <optional>

// The chat history file: ".kestrion-chats/chat_history.json" inside a website directory, or the
// per-user legacy file "KestrionApp/chat_history.json" in $XDG_DATA_HOME when there is none.
// A load that fails reads as "no history"; a save tells whether it was written, and why not.
//
// The names inside a website directory are fixed, and the folder may hold anything: neither the
// chats folder nor the file is ever followed when it is a link, and only a regular file is read.
namespace kestrion::ChatHistoryPersistence {

struct FilePayload {
    // Always written as 1; required when reading, but any integer is accepted.
    int version = 1;
    QList<ChatSession> sessions;
    QUuid activeSessionId;

    friend bool operator==(const FilePayload&, const FilePayload&) = default;
};

inline const QString fileName = QStringLiteral("chat_history.json");

// The largest history read; a larger file is set aside unread like a damaged one.
inline constexpr qint64 maxFileBytes = qint64(256) * 1024 * 1024;

// Both load and save first make the folder that holds the file (never the website directory itself);
// a link or anything else in the place of the chats folder is moved aside first.

// The stored history, or nothing when there is no file, it cannot be read or decoded, or it holds no
// sessions. A file that exists but cannot be read or decoded, is larger than maxBytes, or is not a
// regular file (a link, which is never followed, a named pipe, which is never waited on, a device)
// is first renamed to "chat_history.unreadable-<UTC yyyyMMdd-HHmmss>[-n].json" beside it, so the
// next save cannot destroy conversations that a damaged file, or one from a newer version, still
// holds. A folder in the file's place is left alone.
std::optional<FilePayload> load(const std::optional<QString>& outputProjectRoot, qint64 maxBytes = maxFileBytes);

// Writes the history atomically, replacing whatever entry holds the name (a link is replaced, never
// written through). The error tells why nothing was written.
WriteResult save(const FilePayload& payload, const std::optional<QString>& outputProjectRoot);

// Deletes the legacy per-user history file; its folder stays. Failures are ignored.
void removeLegacyAppSupportHistoryFile();

// Pretty-printed UTF-8 JSON with the keys of every object sorted.
QByteArray encode(const FilePayload& payload);

// The strict reader: a top-level object with an integer "version", a "sessions" array whose every
// session reads (whole-second dates), and a UUID "activeSessionId"; nothing otherwise.
std::optional<FilePayload> decode(const QByteArray& bytes);

} // namespace kestrion::ChatHistoryPersistence
