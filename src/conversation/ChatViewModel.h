#pragma once

#include "conversation/ChatRecords.h"
#include "conversation/SessionStore.h"
#include "conversation/TurnActions.h"
#include "conversation/TurnRunner.h"
#include "generation/TurnProgress.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

namespace kestrion {

class OpenAIService;

// The conversation as the window sees it: the chats (kept by the session store), the composer
// text, the busy state and the error line. It starts a turn (TurnRunner) from the user's text and
// delivers its result; the actions under a message (TurnActions) are offered through it. A result
// (reply, launch report, error line) belongs to the chat, and folder, its work started in; a failed
// save of the history shows over whatever chat is shown. Lives on the interface thread. Knows
// nothing of views.
class ChatViewModel final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChatViewModel)
    Q_PROPERTY(QUuid activeSessionId READ activeSessionId NOTIFY activeSessionIdChanged)
    Q_PROPERTY(QString input READ input WRITE setInput NOTIFY inputChanged)
    Q_PROPERTY(bool isSending READ isSending NOTIFY isSendingChanged)
    Q_PROPERTY(QString lastError READ lastErrorText NOTIFY lastErrorChanged)
    Q_PROPERTY(QString turnStatus READ turnStatus NOTIFY turnStatusChanged)

public:
    // Where a result belongs: the history bound and the chat shown when its work started.
    using ChatTarget = kestrion::ChatTarget;

    // openAI: the model client; nullptr creates one over the configured base URL.
    explicit ChatViewModel(std::shared_ptr<const OpenAIService> openAI = nullptr, QObject* parent = nullptr);
    ~ChatViewModel() override;

    // Every session of the bound store, in stored order (not sorted).
    const QList<ChatSession>& sessions() const { return m_store.sessions(); }
    // The same sessions as the list the sidebar shows (roles: SessionStore::Role).
    QAbstractItemModel* sessionModel() { return &m_store; }
    QUuid activeSessionId() const { return m_store.activeSessionId(); }
    // The active session's messages (what the chat pane shows); empty when there is none.
    const QList<ChatMessage>& messages() const { return m_store.messages(); }
    QString input() const { return m_input; }
    void setInput(const QString& input);
    bool isSending() const { return m_isSending; }
    // The error line of the chat shown: a failed history save, else the chat's own error.
    const std::optional<QString>& lastError() const { return m_shownError; }
    QString lastErrorText() const { return m_shownError.value_or(QString()); }
    // The normalized website directory the history is stored under; none means the per-user location.
    const std::optional<QString>& persistenceOutputRoot() const { return m_store.outputRoot(); }
    bool hasBoundStorageLocation() const { return m_store.isBound(); }
    // A change of website directory is still reading that folder's history.
    bool isBinding() const { return m_store.isBinding(); }

    // Sessions by updatedAt, latest first; equal times keep their stored order.
    QList<ChatSession> sessionsSortedByUpdated() const { return m_store.sortedByUpdated(); }

    // Binds the history to a website directory (saving the previous binding first) and loads it;
    // returns at once, and the chats shown change once that folder's history has been read.
    void applyOutputRoot(const std::optional<QString>& outputRoot);
    // Starts a send of the trimmed input in the chat shown, for the folder its history is bound
    // to; returns at once. sendFinished() fires when the assistant message (reply or
    // "Error: ...") has been appended and its save has landed.
    void send(const QString& model, const QString& apiKey);
    // Stops the running turn: before its reply arrives nothing is written, the user's message
    // stays (and is saved) and no assistant message is added; during the images those not yet
    // made are cancelled. The chat's status line then says "Stopped.". Nothing when none runs.
    void stop();
    // Whether the running turn belongs to the chat shown.
    bool isSendingShownChat() const;
    // The status line of the chat shown while its turn runs ("Waiting for the model… 12 s", ...),
    // "Stopped." after a stop, else empty.
    QString turnStatus() const;
    // The reply's text as it arrives, while a streamed turn of the chat shown runs; else empty.
    QString streamedReply() const;
    // Ask for replies as they are written (the "stream_replies" setting) from the next send on.
    void setStreamReplies(bool stream) { m_streamReplies = stream; }
    bool streamReplies() const { return m_streamReplies; }

    // The actions under a message of the chat shown and the undo or redo of a turn.
    TurnActions& turnActions() { return m_actions; }
    const TurnActions& turnActions() const { return m_actions; }
    // Sends the user's message before that error again in the same chat; the failed exchange
    // stays as it is.
    void retry(const QUuid& assistantMessageId, const QString& model, const QString& apiKey);
    void newChat();
    void selectSession(const QUuid& id);
    void deleteSession(const QUuid& id);
    // The bound history and the active chat, for work whose result arrives later.
    ChatTarget activeTarget() const { return m_store.activeTarget(); }
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
    // Waits for every save (and history read) already queued and applies their outcomes.
    void flushSaves();

    // Replaces the model client for later sends (a send in flight keeps the one it started with).
    void setOpenAIService(std::shared_ptr<const OpenAIService> openAI);
    std::shared_ptr<const OpenAIService> openAIService() const { return m_openAI; }

    static std::optional<QString> normalizedOutputDirectory(const std::optional<QString>& path) {
        return SessionStore::normalizedOutputDirectory(path);
    }

Q_SIGNALS:
    void activeSessionIdChanged();
    // Each change of messages() is told by exactly one of these, after it: a message added at
    // the end (its row), or anything else.
    void messageAppended(int row);
    void messagesReset();
    void inputChanged();
    void isSendingChanged();
    void lastErrorChanged();
    // Also after a stop, once the history holding the user's message has been saved.
    void sendFinished();
    void turnStatusChanged();
    // streamedReply() changed.
    void streamedReplyChanged();
    // turnActions().messageActions() may have changed for any message: told by the actions
    // themselves, and once more when a turn ends.
    void messageActionsChanged();
    // A turn wrote these files (as the reply named them), or an undo or redo took them back, in this
    // website directory.
    void filesWritten(const QString& outputRoot, const QStringList& relativePaths);

private:
    // Appends the user's message to the chat shown and starts a turn for the conversation as it stands.
    void startTurn(const QString& model, const QString& apiKey, const QString& text);
    void finishTurn(const ChatTarget& target, quint64 serial, const TurnRunner::Result& result);
    void setTurnProgress(quint64 serial, const TurnProgress& progress);
    void appendStreamedPiece(quint64 serial, const QString& piece);
    bool isShownChat(const ChatTarget& target) const;
    void setSending(bool sending);
    void setChatError(const QUuid& sessionId, const std::optional<QString>& error);
    void updateShownError();
    // Appends the message to the target's chat and sets (or clears) that chat's error line;
    // saved runs once the history holding it has been written.
    void deliver(const ChatTarget& target, ChatMessage message, const std::optional<QString>& error,
                 std::function<void()> saved = {});

    SessionStore m_store;
    QString m_input;
    bool m_isSending = false;
    // Error lines by chat (a failed send or launch); kept until that chat's next send or launch.
    QHash<QUuid, QString> m_chatErrors;
    std::optional<QString> m_shownError;
    std::shared_ptr<const OpenAIService> m_openAI;

    // The running turn (or the last one, for its "Stopped." line).
    quint64 m_turnSerial = 0;
    std::stop_source m_turnStop;
    ChatTarget m_turnTarget;
    std::optional<TurnProgress> m_turnProgress;
    bool m_turnStopped = false;
    QElapsedTimer m_waitClock;
    // Ticks the "Waiting for the model… N s" line once a second.
    QTimer m_waitTicker;
    bool m_streamReplies = false;
    QString m_streamed;
    // After the store, which it reads.
    TurnActions m_actions;
};

} // namespace kestrion
