#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>

// The public address of the last launch, remembered per website directory in
// ".kestrion-chats/launch_state.json" beside the chat history. Silent: every
// failure reads as nothing remembered, and a failed write is dropped.
namespace kestrion::KestrionProjectLaunchPersistence {

inline const QString fileName = QStringLiteral("launch_state.json");

struct FilePayload {
    int version = 1; // always written as 1; any integer is accepted when reading
    QString httpsURL;

    friend bool operator==(const FilePayload&, const FilePayload&) = default;
};

// The file for the website directory; creates its ".kestrion-chats" folder.
// Nothing when there is no website directory or it is not an existing folder.
std::optional<QString> fileURL(const std::optional<QString>& outputProjectRoot);

// The remembered address, or nothing (no folder, no file, unreadable file,
// blank or unparsable address).
std::optional<QUrl> load(const std::optional<QString>& outputProjectRoot);

// Remembers the address, replacing any earlier one; the file is written atomically.
void save(const QUrl& httpsURL, const std::optional<QString>& outputProjectRoot);

// Pretty-printed UTF-8 JSON with sorted keys: "https_url", then "version".
QByteArray encode(const FilePayload& payload);
// Both members required with the right types; other members are ignored.
std::optional<FilePayload> decode(const QByteArray& bytes);

} // namespace kestrion::KestrionProjectLaunchPersistence
