#pragma once

#include "support/AtomicFile.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QUuid>
#include <optional>

// ".kestrion-chats/turns.json" inside a website directory: which commit each assistant message
// made (a turn, or the undo or redo of one). The chat history itself does not change. Kept like the
// history: the file is never followed when it is a link, only a regular file is read, and one that
// cannot be read is moved aside ("turns.unreadable-<time>.json") instead of being overwritten.
namespace kestrion::TurnLog {

struct Entry {
    enum class Kind { Turn, Undo, Redo };
    QString commit;
    Kind kind = Kind::Turn;

    friend bool operator==(const Entry&, const Entry&) = default;
};

using Entries = QHash<QUuid, Entry>;

inline const QString fileName = QStringLiteral("turns.json");
inline constexpr qint64 maxFileBytes = qint64(16) << 20;

// The entries of the folder; none when there is no file (or it was moved aside).
Entries load(const QString& root);

// Adds one entry to the stored ones and writes the file atomically.
WriteResult record(const QString& root, const QUuid& messageId, const Entry& entry);

// {"turns": {"<MESSAGE-ID>": {"commit": "<id>", "kind": "turn"|"undo"|"redo"}}, "version": 1}
QByteArray encode(const Entries& entries);
// Nothing when the text is not such an object; entries with an unknown kind or a malformed id or
// commit are left out.
std::optional<Entries> decode(const QByteArray& bytes);

} // namespace kestrion::TurnLog
