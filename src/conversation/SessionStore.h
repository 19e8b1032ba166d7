#pragma once

#include "conversation/ChatRecords.h"
#include "conversation/HistoryWriter.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>
#include <functional>
#include <optional>

namespace kestrion {

// The chats of one website directory (or of the per-user location): the sessions in stored
// order, the active one, the binding to a folder's history file, the move of the per-user
// history into the first folder, and every save, which goes through the ordered writer so the
// interface thread never waits on the disk. A failed save is kept as the save error until a
// save of the bound history lands. Lives on the interface thread.
class SessionStore final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SessionStore)

public:
    explicit SessionStore(QObject* parent = nullptr);
    // Writes whatever is still queued.
    ~SessionStore() override;

    const QList<ChatSession>& sessions() const { return m_sessions; }
    QUuid activeSessionId() const { return m_activeSessionId; }
    // The active session's messages; empty when there is none.
    const QList<ChatMessage>& messages() const;
    bool contains(const QUuid& id) const;
    const std::optional<QString>& outputRoot() const { return m_outputRoot; }
    bool isBound() const { return m_bound; }
    // "Chat history could not be saved: <reason>" after a failed save.
    const std::optional<QString>& saveError() const { return m_saveError; }

    // Sessions by updatedAt, latest first; equal times keep their stored order.
    QList<ChatSession> sortedByUpdated() const;

    // Saves the bound history and writes it out, then binds the normalized folder and loads its
    // history (for a new folder, the per-user one once, else a fresh chat). True when it
    // started a fresh chat.
    bool bind(const std::optional<QString>& outputRoot);
    // Queues a save of the bound history; saved runs once it has landed (at once when unbound).
    void save(std::function<void()> saved = {});
    // Waits for every queued save and applies its outcome.
    void flush();

    // A fresh chat first in stored order, made active and saved.
    void addFreshChat();
    // Makes the chat active (not saved).
    void activate(const QUuid& id);
    // Removes the chat (the active one: the latest updated other becomes active); not saved.
    bool remove(const QUuid& id);
    // Appends to the chat, which takes its title from its first question and the time as updated.
    void append(const QUuid& sessionId, ChatMessage message);
    // Appends to a chat of a folder's stored history that is not bound now, after every save
    // queued before; done gets the chat it went to (that folder's open chat when it is gone).
    void appendToStored(const std::optional<QString>& outputRoot, const QUuid& sessionId, ChatMessage message,
                        std::function<void(const QUuid&)> done);

    static std::optional<QString> normalizedOutputDirectory(const std::optional<QString>& path);
    static QString derivedTitle(const QList<ChatMessage>& messages, const QString& existing);

Q_SIGNALS:
    void sessionsChanged();
    void activeSessionIdChanged();
    // Any change of messages(); messageAppended additionally names the new row.
    void messagesChanged();
    void messageAppended(int row);
    void saveErrorChanged();

private:
    void setSessions(QList<ChatSession> sessions);
    void setActiveSessionId(const QUuid& id);
    void applyLoaded(const QList<ChatSession>& sessions, const QUuid& activeSessionId);
    void replaceWithFreshChat();
    void applySaveOutcome(const HistoryWriter::Outcome& outcome);
    void reportSaveFailure(const QString& reason);
    void setSaveError(const std::optional<QString>& error);

    QList<ChatSession> m_sessions;
    QUuid m_activeSessionId;
    std::optional<QString> m_outputRoot;
    bool m_bound = false;
    // The sessions shown came from the per-user history, which is removed once they are saved here.
    bool m_legacyMigrationPending = false;
    std::optional<QString> m_saveError;
    // Last: destroyed (and drained) first, while the state its outcomes update still exists.
    HistoryWriter m_writer;
};

} // namespace kestrion
