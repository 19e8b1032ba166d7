#pragma once

#include "conversation/ChatHistoryPersistence.h"
#include "conversation/ChatRecords.h"

#include <QList>
#include <QString>
#include <QUuid>

// The rules for a folder's list of chats that hold whether the list is on screen or only on disk:
// finding a chat, which one a history opens on, the order the sidebar shows, a chat's title, and
// where a message for a chat that is gone goes. No model, no disk.
namespace kestrion::SessionList {

// The stored index of the chat with that id; -1 when there is none.
qsizetype indexOf(const QList<ChatSession>& sessions, const QUuid& id);

// The stored index of the chat with the latest updatedAt; the first in stored order wins ties;
// -1 when there is none.
qsizetype latestUpdated(const QList<ChatSession>& sessions);

// The chat a loaded history opens on: the one it names, else the latest updated.
qsizetype openingIndex(const QList<ChatSession>& sessions, const QUuid& activeSessionId);

// Stored indices in the order the rows show them: latest updated first, equal times in stored order.
QList<qsizetype> displayOrder(const QList<ChatSession>& sessions);

// A chat's title once it has these messages: an own title stays; an untitled chat ("New chat")
// takes its first user's message, cut to 45 user-perceived characters and an ellipsis when it is
// longer than 48.
QString derivedTitle(const QList<ChatMessage>& messages, const QString& existing);

// Appends the message to that chat of a stored history and marks it updated now; returns the chat it
// went to. A chat deleted meanwhile loses nothing: the message goes to the chat the history opens on,
// or, in a history without chats, to a fresh one.
QUuid appendToStored(ChatHistoryPersistence::FilePayload& payload, const QUuid& sessionId, ChatMessage message);

} // namespace kestrion::SessionList
