#include "conversation/ChatViewModel.h"

#include "conversation/TurnRunner.h"
#include "openai/OpenAIService.h"

#include <QPointer>
#include <utility>

namespace kestrion {

ChatViewModel::ChatViewModel(std::shared_ptr<const OpenAIService> openAI, QObject* parent)
    : QObject(parent), m_openAI(std::move(openAI)) {
    if (!m_openAI) {
        m_openAI = std::make_shared<const OpenAIService>();
    }
    connect(&m_store, &SessionStore::activeSessionIdChanged, this, [this] {
        Q_EMIT activeSessionIdChanged();
        updateShownError();
    });
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
}

ChatViewModel::ChatTarget ChatViewModel::activeTarget() const {
    return {m_store.isBound(), m_store.outputRoot(), activeSessionId()};
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
    if (target.bound && m_store.isBound() && target.outputRoot != m_store.outputRoot()) {
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
    // The conversation as asked: switching chats while the turn runs must not
    // send another chat's messages.
    TurnRunner::run({model, apiKey, target.outputRoot, messages(), m_openAI})
        .then(this, [this, target](const TurnRunner::Result& result) {
            m_store.afterBinding([this, target, result] { finishTurn(target, result); });
        });
}

void ChatViewModel::finishTurn(const ChatTarget& target, const TurnRunner::Result& result) {
    if (target.outputRoot && !result.writtenPaths.isEmpty()) {
        Q_EMIT filesWritten(*target.outputRoot, result.writtenPaths);
    }
    const QPointer<ChatViewModel> self(this);
    deliver(target, ChatMessage::make(ChatMessage::Role::Assistant, result.text), result.error, [self] {
        if (self) {
            Q_EMIT self->sendFinished();
        }
    });
    setSending(false);
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
    deliver(target, ChatMessage::make(ChatMessage::Role::Assistant, QStringLiteral("Launch failed: ") + text), text);
}

} // namespace kestrion
