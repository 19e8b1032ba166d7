#include "conversation/ChatViewModel.h"

#include "conversation/TurnRunner.h"
#include "openai/OpenAIService.h"

#include <QCoreApplication>
#include <QPointer>
#include <utility>

namespace kestrion {

ChatViewModel::ChatViewModel(std::shared_ptr<const OpenAIService> openAI, QObject* parent)
    : QObject(parent), m_openAI(std::move(openAI)),
      m_actions(
          m_store,
          {[this] { return m_isSending; },
           [this](const ChatTarget& target, ChatMessage message) { deliver(target, std::move(message), std::nullopt); },
           [this](const QUuid& sessionId, const std::optional<QString>& error) { setChatError(sessionId, error); }}) {
    if (!m_openAI) {
        m_openAI = std::make_shared<const OpenAIService>();
    }
    connect(&m_actions, &TurnActions::messageActionsChanged, this, &ChatViewModel::messageActionsChanged);
    connect(&m_actions, &TurnActions::filesWritten, this, &ChatViewModel::filesWritten);
    connect(&m_store, &SessionStore::activeSessionIdChanged, this, [this] {
        Q_EMIT activeSessionIdChanged();
        updateShownError();
        // The status line and the reply being written belong to the chat that is sending.
        Q_EMIT turnStatusChanged();
        Q_EMIT streamedReplyChanged();
    });
    m_waitTicker.setInterval(1000);
    connect(&m_waitTicker, &QTimer::timeout, this, &ChatViewModel::turnStatusChanged);
    connect(&m_store, &SessionStore::messageAppended, this, &ChatViewModel::messageAppended);
    connect(&m_store, &SessionStore::messagesReset, this, &ChatViewModel::messagesReset);
    // A fresh chat starts with an empty composer.
    connect(&m_store, &SessionStore::bound, this, [this](bool freshChat) {
        if (freshChat) {
            setInput(QString());
        }
    });
    connect(&m_store, &SessionStore::saveErrorChanged, this, &ChatViewModel::updateShownError);
}

ChatViewModel::~ChatViewModel() {
    // A turn still running has nobody left to deliver to.
    m_turnStop.request_stop();
    // Outcomes still on their way update this object, so they land before it goes.
    m_store.flush();
}

void ChatViewModel::setInput(const QString& input) {
    if (input == m_input) {
        return;
    }
    m_input = input;
    Q_EMIT inputChanged();
}

void ChatViewModel::setSending(bool sending) {
    if (sending == m_isSending) {
        return;
    }
    m_isSending = sending;
    Q_EMIT isSendingChanged();
}

void ChatViewModel::setChatError(const QUuid& sessionId, const std::optional<QString>& error) {
    if (error) {
        m_chatErrors.insert(sessionId, *error);
    } else {
        m_chatErrors.remove(sessionId);
    }
    updateShownError();
}

void ChatViewModel::updateShownError() {
    // A failed save puts every chat of the folder at risk, so it shows over any chat's own error.
    std::optional<QString> shown = m_store.saveError();
    if (!shown) {
        if (const auto it = m_chatErrors.constFind(activeSessionId()); it != m_chatErrors.constEnd()) {
            shown = *it;
        }
    }
    if (shown == m_shownError) {
        return;
    }
    m_shownError = std::move(shown);
    Q_EMIT lastErrorChanged();
}

void ChatViewModel::setOpenAIService(std::shared_ptr<const OpenAIService> openAI) {
    if (openAI) {
        m_openAI = std::move(openAI);
    }
}

void ChatViewModel::saveToDisk() {
    m_store.save();
}

void ChatViewModel::flushSaves() {
    m_store.flush();
}

void ChatViewModel::applyOutputRoot(const std::optional<QString>& outputRoot) {
    if (m_store.isBound()) {
        setInput(QString());
    }
    m_store.bind(outputRoot);
    m_actions.loadTurnLog();
}

void ChatViewModel::deliver(const ChatTarget& target, ChatMessage message, const std::optional<QString>& error,
                            std::function<void()> saved) {
    // While another folder's history is read, which folder is shown is not settled yet.
    if (m_store.isBinding()) {
        m_store.afterBinding([this, target, message = std::move(message), error, saved = std::move(saved)] {
            deliver(target, message, error, saved);
        });
        return;
    }
    // A result belongs to the conversation its work started in, even if the user
    // switched chats or folders while waiting.
    if (!m_store.isBoundFolder(target)) {
        const QPointer<ChatViewModel> self(this);
        m_store.appendToStored(target.outputRoot, target.sessionId, std::move(message),
                               [self, error, saved = std::move(saved)](const QUuid& sessionId) {
                                   if (self) {
                                       self->setChatError(sessionId, error);
                                   }
                                   if (saved) {
                                       saved();
                                   }
                               });
        return;
    }
    // A chat deleted meanwhile loses nothing: the result goes to the chat on screen instead.
    const QUuid sessionId = m_store.contains(target.sessionId) ? target.sessionId : activeSessionId();
    setChatError(sessionId, error);
    m_store.append(sessionId, std::move(message));
    m_store.save(std::move(saved));
}

void ChatViewModel::send(const QString& model, const QString& apiKey) {
    const QString text = m_input.trimmed();
    if (text.isEmpty()) {
        return;
    }
    setSending(true);
    setInput(QString());
    // Asked while another folder's history is read: it goes to the chat shown once that is done.
    m_store.afterBinding([this, model, apiKey, text] { startTurn(model, apiKey, text); });
}

void ChatViewModel::startTurn(const QString& model, const QString& apiKey, const QString& text) {
    setChatError(activeSessionId(), std::nullopt);
    m_store.append(activeSessionId(), ChatMessage::make(ChatMessage::Role::User, text));
    // The chat shown and the folder its history is bound to: the files belong with the conversation.
    const ChatTarget target = activeTarget();
    const quint64 serial = ++m_turnSerial;
    m_turnStop = std::stop_source();
    m_turnTarget = target;
    m_turnStopped = false;
    m_turnProgress.reset();
    m_streamed.clear();
    Q_EMIT turnStatusChanged();
    Q_EMIT streamedReplyChanged();

    // Progress and pieces of the reply come from the worker thread; they are handed to this
    // thread's loop and dropped once the object or the turn is gone.
    const QPointer<ChatViewModel> self(this);
    const auto onThisThread = [self, serial](auto apply) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, serial, apply = std::move(apply)] {
                if (self && self->m_turnSerial == serial && self->m_isSending) {
                    apply(*self);
                }
            },
            Qt::QueuedConnection);
    };
    // The conversation as asked: switching chats while the turn runs must not
    // send another chat's messages.
    TurnRunner::Request request;
    request.model = model;
    request.apiKey = apiKey;
    request.outputRoot = target.outputRoot;
    request.conversation = messages();
    request.openAI = m_openAI;
    request.stop = m_turnStop.get_token();
    request.progress = [onThisThread](const TurnProgress& progress) {
        onThisThread([progress](ChatViewModel& chat) { chat.setTurnProgress(chat.m_turnSerial, progress); });
    };
    request.stream = m_streamReplies;
    if (m_streamReplies) {
        request.streamedText = [onThisThread](const QString& piece) {
            onThisThread([piece](ChatViewModel& chat) { chat.appendStreamedPiece(chat.m_turnSerial, piece); });
        };
    }
    TurnRunner::run(std::move(request)).then(this, [this, target, serial](const TurnRunner::Result& result) {
        m_store.afterBinding([this, target, serial, result] { finishTurn(target, serial, result); });
    });
}

void ChatViewModel::finishTurn(const ChatTarget& target, quint64 serial, const TurnRunner::Result& result) {
    const QPointer<ChatViewModel> self(this);
    const auto finished = [self] {
        if (self) {
            Q_EMIT self->sendFinished();
        }
    };
    m_waitTicker.stop();
    m_turnProgress.reset();
    m_streamed.clear();
    if (serial == m_turnSerial) {
        Q_EMIT turnStatusChanged();
        Q_EMIT streamedReplyChanged();
    }
    if (result.stopped) {
        // The user's message stays, on disk too; no answer is due.
        m_store.save(finished);
        setSending(false);
        return;
    }
    if (target.outputRoot && !result.writtenPaths.isEmpty()) {
        Q_EMIT filesWritten(*target.outputRoot, result.writtenPaths);
    }
    if (result.commit) {
        m_actions.recordTurn(target, result.messageId, *result.commit);
    }
    deliver(target, ChatMessage{result.messageId, ChatMessage::Role::Assistant, result.text}, result.error, finished);
    setSending(false);
    Q_EMIT messageActionsChanged();
}

void ChatViewModel::stop() {
    if (!m_isSending || m_turnStopped) {
        return;
    }
    m_turnStop.request_stop();
    m_turnStopped = true;
    m_waitTicker.stop();
    Q_EMIT turnStatusChanged();
}

bool ChatViewModel::isShownChat(const ChatTarget& target) const {
    return m_turnSerial > 0 && target.sessionId == activeSessionId() && m_store.isBoundFolder(target);
}

bool ChatViewModel::isSendingShownChat() const {
    return m_isSending && isShownChat(m_turnTarget);
}

QString ChatViewModel::turnStatus() const {
    if (!isShownChat(m_turnTarget)) {
        return {};
    }
    if (m_turnStopped) {
        return turnStoppedText;
    }
    if (!m_isSending || !m_turnProgress) {
        return {};
    }
    return turnProgressText(*m_turnProgress, m_waitClock.isValid() ? m_waitClock.elapsed() / 1000 : 0);
}

QString ChatViewModel::streamedReply() const {
    return isSendingShownChat() ? m_streamed : QString();
}

void ChatViewModel::setTurnProgress(quint64 serial, const TurnProgress& progress) {
    if (serial != m_turnSerial || m_turnStopped) {
        return;
    }
    m_turnProgress = progress;
    if (progress.stage == TurnProgress::Stage::Waiting) {
        m_waitClock.start();
        m_waitTicker.start();
    } else {
        m_waitTicker.stop();
    }
    Q_EMIT turnStatusChanged();
}

void ChatViewModel::appendStreamedPiece(quint64 serial, const QString& piece) {
    if (serial != m_turnSerial) {
        return;
    }
    m_streamed += piece;
    Q_EMIT streamedReplyChanged();
}

void ChatViewModel::retry(const QUuid& assistantMessageId, const QString& model, const QString& apiKey) {
    const std::optional<QString> question = m_actions.retryQuestion(assistantMessageId);
    if (!question) {
        return;
    }
    setSending(true);
    startTurn(model, apiKey, *question);
}

void ChatViewModel::newChat() {
    setInput(QString());
    m_store.addFreshChat();
}

void ChatViewModel::selectSession(const QUuid& id) {
    if (id == activeSessionId()) {
        return;
    }
    m_store.activate(id);
    setInput(QString());
    m_store.save();
}

void ChatViewModel::deleteSession(const QUuid& requestedId) {
    // A copy: the caller may pass a session's own id, which removing frees.
    const QUuid id = requestedId;
    if (m_store.sessions().size() <= 1) {
        return;
    }
    const bool wasActive = id == activeSessionId();
    if (m_store.remove(id)) {
        m_chatErrors.remove(id);
    }
    if (wasActive) {
        setInput(QString());
    }
    m_store.save();
}

void ChatViewModel::appendKestrionStatus(const QString& text, const ChatTarget& target) {
    deliver(target, ChatMessage::make(ChatMessage::Role::Assistant, text), std::nullopt);
}

void ChatViewModel::appendKestrionFailure(const QString& text, const ChatTarget& target) {
    deliver(target,
            ChatMessage::make(ChatMessage::Role::Assistant,
                              QCoreApplication::translate("kestrion::ChatViewModel", "Launch failed: ") + text),
            text);
}

} // namespace kestrion
