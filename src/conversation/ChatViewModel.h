#pragma once

#include "conversation/ChatRecords.h"
#include "conversation/HistoryWriter.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

namespace kestrion {

class OpenAIService;

// The one conversation controller of the window: the sessions of the bound
// history, the active session's messages, the composer text and the busy and
// error state. It runs a send from the user's text to the assistant message
// and saves the history after every change that must survive. A result (reply,
// launch report, error line) belongs to the chat, and folder, its work started
// in; a failed save of the history shows over whatever chat is shown. Lives on
// the interface thread; heavy work (project snapshot, model call, materializing
// the reply) runs elsewhere and comes back by value. Knows nothing of views.
class ChatViewModel final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChatViewModel)
    Q_PROPERTY(QUuid activeSessionId READ activeSessionId NOTIFY activeSessionIdChanged)
    Q_PROPERTY(QString input READ input WRITE setInput NOTIFY inputChanged)
    Q_PROPERTY(bool isSending READ isSending NOTIFY isSendingChanged)
    Q_PROPERTY(QString lastError READ lastErrorText NOTIFY lastErrorChanged)

public:
    // Where a result belongs: the history bound and the chat shown when its work started.
    struct ChatTarget {
        // False before the first binding: the result then goes to the chat on screen.
        bool bound = false;
        std::optional<QString> outputRoot;
        QUuid sessionId;
    };

    // openAI: the model client; nullptr creates one over the configured base URL.
    explicit ChatViewModel(std::shared_ptr<const OpenAIService> openAI = nullptr, QObject* parent = nullptr);
    ~ChatViewModel() override;

    // Every session of the bound store, in stored order (not sorted).
    const QList<ChatSession>& sessions() const { return m_sessions; }
    QUuid activeSessionId() const { return m_activeSessionId; }
    // The active session's messages (what the chat pane shows); empty when there is none.
    const QList<ChatMessage>& messages() const;
    QString input() const { return m_input; }
    void setInput(const QString& input);
    bool isSending() const { return m_isSending; }
    // The error line of the chat shown: a failed history save, else the chat's own error.
    const std::optional<QString>& lastError() const { return m_shownError; }
    QString lastErrorText() const { return m_shownError.value_or(QString()); }
    // The normalized website directory the history is stored under; none means the per-user location.
    const std::optional<QString>& persistenceOutputRoot() const { return m_persistenceOutputRoot; }
    bool hasBoundStorageLocation() const { return m_hasBoundStorageLocation; }

    // Sessions by updatedAt, latest first; equal times keep their stored order.
    QList<ChatSession> sessionsSortedByUpdated() const;

    // Binds the history to a website directory (saving the previous binding first) and loads it.
    void applyOutputRoot(const std::optional<QString>& outputRoot);
    // Starts a send of the trimmed input; returns at once. sendFinished() fires when the
    // assistant message (reply or "Error: ...") has been appended and its save has landed.
    void send(const QString& model, const QString& apiKey, const std::optional<QString>& outputRoot);
    void newChat();
    void selectSession(const QUuid& id);
    void deleteSession(const QUuid& id);
    // The bound history and the active chat, for work whose result arrives later.
    ChatTarget activeTarget() const;
    // Launch outcomes reported into the conversation: into the target's chat, written to its
    // folder's history even when another folder is bound now (without a target, the active chat).
    // A failure becomes that chat's error line; a success clears it.
    void appendKestrionStatus(const QString& text, const ChatTarget& target);
    void appendKestrionFailure(const QString& text, const ChatTarget& target);
    void appendKestrionStatus(const QString& text) { appendKestrionStatus(text, activeTarget()); }
    void appendKestrionFailure(const QString& text) { appendKestrionFailure(text, activeTarget()); }

    // Queues a save of the bound history and returns at once. A failure shows in the error
    // line ("Chat history could not be saved: <reason>") and is logged when it lands.
    void saveToDisk();
    // Waits for every save already queued and applies their outcomes.
    void flushSaves();

    // Replaces the model client for later sends (a send in flight keeps the one it started with).
    void setOpenAIService(std::shared_ptr<const OpenAIService> openAI);
    std::shared_ptr<const OpenAIService> openAIService() const { return m_openAI; }

    static std::optional<QString> normalizedOutputDirectory(const std::optional<QString>& url);
    static QString derivedTitle(const QList<ChatMessage>& messages, const QString& existing);

Q_SIGNALS:
    void sessionsChanged();
    void activeSessionIdChanged();
    // Any change of messages(); messageAppended additionally names the new row.
    void messagesChanged();
    void messageAppended(int row);
    void inputChanged();
    void isSendingChanged();
    void lastErrorChanged();
    void sendFinished();
    // A turn wrote these files (as the reply named them) into this website directory.
    void filesWritten(const QString& outputRoot, const QStringList& relativePaths);

private:
    void applyLoadedPayload(const QList<ChatSession>& sessions, const QUuid& activeSessionId);
    void replaceWithFreshDefaultSession();
    void setSessions(QList<ChatSession> sessions);
    void setActiveSessionId(const QUuid& id);
    void setSending(bool sending);
    void setChatError(const QUuid& sessionId, const std::optional<QString>& error);
    void setSaveError(const std::optional<QString>& error);
    void reportSaveFailure(const QString& reason);
    void updateShownError();
    // Appends to the chat, which takes its title from its first question and the time as updated.
    void appendToSession(const QUuid& sessionId, ChatMessage message);
    // Queues the bound history's save; saved runs once it has landed (or at once when nothing is bound).
    void queueSave(std::function<void()> saved = {});
    void applySaveOutcome(const HistoryWriter::Outcome& outcome);
    // Appends the message to the target's chat and sets (or clears) that chat's error line;
    // saved runs once the history holding it has been written.
    void deliver(const ChatTarget& target, ChatMessage message, const std::optional<QString>& error,
                 std::function<void()> saved = {});
    void deliverToStoredHistory(const ChatTarget& target, ChatMessage message, const std::optional<QString>& error,
                                std::function<void()> saved);

    QList<ChatSession> m_sessions;
    QUuid m_activeSessionId;
    QString m_input;
    bool m_isSending = false;
    // Error lines by chat (a failed send or launch); kept until that chat's next send or launch.
    QHash<QUuid, QString> m_chatErrors;
    // A history save failed (the bound one, or another folder's a result was written to); cleared
    // when a save of the bound history lands.
    std::optional<QString> m_saveError;
    std::optional<QString> m_shownError;
    std::optional<QString> m_persistenceOutputRoot;
    bool m_hasBoundStorageLocation = false;
    // The sessions shown came from the per-user history, which is removed once they are saved here.
    bool m_legacyMigrationPending = false;
    std::shared_ptr<const OpenAIService> m_openAI;
    // Last: destroyed (and drained) first, while the state its outcomes update still exists.
    HistoryWriter m_writer;
};

} // namespace kestrion
