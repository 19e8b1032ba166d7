#pragma once

#include "support/AtomicFile.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>

// The public address of the last launch, remembered per website directory in
// ".kestrion-chats/launch_state.json" beside the chat history. A load that fails
// reads as nothing remembered; a save tells whether it was written. Like the
// history, neither the folder nor the file is followed when it is a link, and
// only a regular file is read.
namespace kestrion::LaunchStateStore {

inline const QString fileName = QStringLiteral("launch_state.json");

// The largest launch state read; a larger file reads as nothing remembered.
inline constexpr qint64 maxFileBytes = qint64(1024) * 1024;

struct FilePayload {
    int version = 1; // always written as 1; any integer is accepted when reading
    QString httpsURL;

    friend bool operator==(const FilePayload&, const FilePayload&) = default;
};

// Both load and save first make the website directory's ".kestrion-chats"
// folder (a link or anything else in its place is moved aside first).

// The remembered address, or nothing (no folder, no file, unreadable file, a
// link, named pipe or anything but a regular file of at most maxFileBytes,
// blank or unparsable address, or one that is not an http or https address).
// Such a file stays where it is.
std::optional<QUrl> load(const std::optional<QString>& outputProjectRoot);

// Remembers the address, replacing any earlier one; the file is written
// atomically and replaces whatever entry holds its name (a link is replaced,
// never written through). The error tells why nothing was written.
WriteResult save(const QUrl& httpsURL, const std::optional<QString>& outputProjectRoot);

// Pretty-printed UTF-8 JSON with sorted keys: "https_url", then "version".
QByteArray encode(const FilePayload& payload);
// Both members required with the right types; other members are ignored.
std::optional<FilePayload> decode(const QByteArray& bytes);

} // namespace kestrion::LaunchStateStore
