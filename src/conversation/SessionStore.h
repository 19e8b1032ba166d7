#pragma once

#include "conversation/ChatRecords.h"
#include "conversation/HistoryWriter.h"

#include <QAbstractListModel>
#include <QList>
#include <QString>
#include <QUuid>
#include <deque>
#include <functional>
#include <optional>

namespace kestrion {

// Where a result belongs: the history bound and the chat shown when its work started.
struct ChatTarget {
    // False before the first binding: the result then goes to the chat on screen.
    bool bound = false;
    std::optional<QString> outputRoot;
    QUuid sessionId;
};

// The chats of one website directory (or of the per-user location) and the list model of them
// the sidebar shows: one row per chat, the most recently updated first (equal times keep their
// stored order). It keeps the sessions in stored order, the active one, the binding to a folder's
// history file, the move of the per-user history into the first folder, and every save and load,
// which go through the ordered writer so the interface thread never waits on the disk. A failed
// save is kept as the save error until a save of the bound history lands. Lives on the interface
// thread.
//
// The active chat's messages change in one of two ways, each told by one signal after the change:
// messageAppended(row) for a message added at the end, messagesReset() for anything else (another
// chat shown, a history loaded).
class SessionStore final : public QAbstractListModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SessionStore)

public:
    enum Role {
        SessionIdRole = Qt::UserRole + 1, // QUuid
        UpdatedTextRole,                  // QString: "Updated " + date and time
        IsActiveRole,                     // bool
    };

    explicit SessionStore(QObject* parent = nullptr);
    // Writes whatever is still queued.
    ~SessionStore() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // "Updated " followed by an abbreviated local date and a short local time.
    static QString updatedText(const QDateTime& updatedAt);

    const QList<ChatSession>& sessions() const { return m_sessions; }
    QUuid activeSessionId() const { return m_activeSessionId; }
    // The active session's messages; empty when there is none.
    const QList<ChatMessage>& messages() const;
    bool contains(const QUuid& id) const;
    // The folder whose chats are shown (none: the per-user location).
    const std::optional<QString>& outputRoot() const { return m_outputRoot; }
    bool isBound() const { return m_bound; }
    // The bound history and the active chat, for work whose result arrives later.
    ChatTarget activeTarget() const { return {m_bound, m_outputRoot, m_activeSessionId}; }
    // Whether the target's chats are those bound now: the same folder, or either side is from before
    // the first binding.
    bool isBoundFolder(const ChatTarget& target) const {
        return !target.bound || !m_bound || target.outputRoot == m_outputRoot;
    }
    // A bind's history is still being read; the chats shown are still those of the folder before.
    bool isBinding() const { return m_pendingBind.has_value(); }
    // "Chat history could not be saved: <reason>" after a failed save.
    const std::optional<QString>& saveError() const { return m_saveError; }

    // Sessions by updatedAt, latest first; equal times keep their stored order (the rows).
    QList<ChatSession> sortedByUpdated() const;

    // Queues a save of the bound history, then a read of the normalized folder's (for a folder
    // without one, the per-user history once, else a fresh chat); returns at once. The chats
    // shown stay until the read arrives and stay writable meanwhile: what changes in them is saved
    // to their own folder before the next ones are shown. A later bind supersedes this one.
    // bound() tells when it has taken effect.
    void bind(const std::optional<QString>& outputRoot);
    // Runs work now, or once the pending bind has taken effect (in the order asked).
    void afterBinding(std::function<void()> work);
    // Queues a save of the bound history; saved runs once it has landed (at once when unbound).
    void save(std::function<void()> saved = {});
    // Waits for every queued save and read and applies its outcome (a pending bind takes effect).
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

Q_SIGNALS:
    void activeSessionIdChanged();
    void messageAppended(int row);
    void messagesReset();
    void saveErrorChanged();
    // A bind took effect; freshChat: it opened on a new empty chat.
    void bound(bool freshChat);

private:
    void resetSessions(QList<ChatSession> sessions, const QUuid& activeSessionId);
    void setActiveSessionId(const QUuid& id);
    // Moves the row of the session at this stored index to where its new updatedAt sorts it.
    void reorderAfterUpdate(qsizetype storedIndex);
    int rowOfStored(qsizetype storedIndex) const;
    void applyBinding(quint64 generation, const std::optional<QString>& normalized,
                      const HistoryWriter::Outcome& outcome);
    void runAfterBinding();
    void applySaveOutcome(const HistoryWriter::Outcome& outcome);
    void reportSaveFailure(const QString& reason);
    void setSaveError(const std::optional<QString>& error);

    // Stored order (as written to the file).
    QList<ChatSession> m_sessions;
    // Row r shows m_sessions[m_rows[r]].
    QList<qsizetype> m_rows;
    QUuid m_activeSessionId;
    std::optional<QString> m_outputRoot;
    bool m_bound = false;
    // The sessions shown came from the per-user history, which is removed once they are saved here.
    bool m_legacyMigrationPending = false;
    std::optional<QString> m_saveError;
    // Counts every change of the sessions or the active one, to tell whether the chats shown
    // changed while a bind was pending.
    quint64 m_revision = 0;
    quint64 m_revisionAtBind = 0;
    quint64 m_bindGeneration = 0;
    // The generation of the bind whose history is being read.
    std::optional<quint64> m_pendingBind;
    std::deque<std::function<void()>> m_afterBinding;
    // Last: destroyed (and drained) first, while the state its outcomes update still exists.
    HistoryWriter m_writer;
};

} // namespace kestrion
