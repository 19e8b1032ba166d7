#include "conversation/ChatViewModel.h"

#include "conversation/TurnRunner.h"
#include "generation/TurnGit.h"
#include "openai/OpenAIService.h"
#include "support/SitePath.h"

#include <QCoreApplication>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
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
    // The turn log is read off this thread once the folder is bound; a later binding supersedes a
    // load still running.
    m_turns.clear();
    const quint64 load = ++m_turnLogLoad;
    Q_EMIT messageActionsChanged();
    m_store.afterBinding([this, load] {
        const std::optional<QString> root = m_store.outputRoot();
        if (!root || load != m_turnLogLoad) {
            return;
        }
        QtConcurrent::run([root = *root] {
            return TurnLog::load(root);
        }).then(this, [this, load](const TurnLog::Entries& entries) {
            if (load == m_turnLogLoad) {
                m_turns.insert(entries);
                Q_EMIT messageActionsChanged();
            }
        });
    });
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
    if (result.commit && (!target.bound || target.outputRoot == m_store.outputRoot())) {
        m_turns.insert(result.messageId, {*result.commit, TurnLog::Entry::Kind::Turn});
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
    return m_turnSerial > 0 && target.sessionId == activeSessionId() &&
           (!target.bound || !m_store.isBound() || target.outputRoot == m_store.outputRoot());
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

bool ChatViewModel::canRetry(const QUuid& assistantMessageId) const {
    if (m_isSending) {
        return false;
    }
    const QList<ChatMessage>& shown = messages();
    for (qsizetype i = shown.size() - 1; i >= 0; --i) {
        if (shown[i].id != assistantMessageId) {
            continue;
        }
        if (shown[i].role != ChatMessage::Role::Assistant || !TurnRunner::isErrorText(shown[i].text)) {
            return false;
        }
        return std::any_of(shown.cbegin(), shown.cbegin() + i,
                           [](const ChatMessage& message) { return message.role == ChatMessage::Role::User; });
    }
    return false;
}

void ChatViewModel::retry(const QUuid& assistantMessageId, const QString& model, const QString& apiKey) {
    if (!canRetry(assistantMessageId)) {
        return;
    }
    const QList<ChatMessage>& shown = messages();
    qsizetype at = 0;
    while (shown[at].id != assistantMessageId) {
        ++at;
    }
    QString question;
    for (qsizetype i = at - 1; i >= 0; --i) {
        if (shown[i].role == ChatMessage::Role::User) {
            question = shown[i].text;
            break;
        }
    }
    setSending(true);
    startTurn(model, apiKey, question);
}

std::optional<QString> ChatViewModel::commitOf(const QUuid& messageId) const {
    const auto it = m_turns.constFind(messageId);
    return it == m_turns.cend() ? std::nullopt : std::optional<QString>(it->commit);
}

QString ChatViewModel::actionLabel(const QString& action) {
    return QCoreApplication::translate("kestrion::ChatViewModel", qUtf8Printable(action));
}

QStringList ChatViewModel::messageActions(const QUuid& messageId) const {
    QStringList actions;
    if (canRetry(messageId)) {
        actions << retryAction;
    }
    const auto entry = m_turns.constFind(messageId);
    if (entry == m_turns.cend()) {
        return actions;
    }
    actions << showChangesAction;
    if (m_isSending || m_undoing) {
        return actions;
    }
    const QList<ChatMessage>& shown = messages();
    for (qsizetype i = shown.size() - 1; i >= 0; --i) {
        if (m_turns.contains(shown[i].id)) {
            if (shown[i].id == messageId) {
                actions << (entry->kind == TurnLog::Entry::Kind::Undo ? redoAction : undoAction);
            }
            break;
        }
    }
    return actions;
}

void ChatViewModel::undoOrRedo(const QUuid& messageId, bool overwriteEdits) {
    const QStringList actions = messageActions(messageId);
    const bool undo = actions.contains(undoAction);
    if ((!undo && !actions.contains(redoAction)) || !m_store.outputRoot()) {
        return;
    }
    const QString root = *m_store.outputRoot();
    const QString commit = m_turns.value(messageId).commit;
    const ChatTarget target = activeTarget();
    const QUuid newMessage = QUuid::createUuid();
    const TurnLog::Entry::Kind kind = undo ? TurnLog::Entry::Kind::Undo : TurnLog::Entry::Kind::Redo;
    m_undoing = true;
    setChatError(target.sessionId, std::nullopt);
    Q_EMIT messageActionsChanged();
    QtConcurrent::run([root, commit, overwriteEdits, newMessage, kind] {
        const TurnGit::RevertOutcome outcome =
            TurnGit::revert(root, commit,
                            kind == TurnLog::Entry::Kind::Undo ? QStringLiteral("Undo an assistant turn")
                                                               : QStringLiteral("Redo an assistant turn"),
                            overwriteEdits);
        if (outcome.status == TurnGit::RevertOutcome::Status::Done) {
            TurnLog::record(root, newMessage, {outcome.commit, kind});
        }
        return outcome;
    }).then(this, [this, root, target, messageId, newMessage, kind](const TurnGit::RevertOutcome& outcome) {
        m_undoing = false;
        switch (outcome.status) {
        case TurnGit::RevertOutcome::Status::NeedsConfirmation:
            Q_EMIT undoNeedsConfirmation(messageId, outcome.changedPaths);
            break;
        case TurnGit::RevertOutcome::Status::Failed:
            setChatError(target.sessionId, outcome.reason);
            break;
        case TurnGit::RevertOutcome::Status::Done: {
            QStringList named;
            for (const QString& path : outcome.paths) {
                named << QLatin1Char('`') + SitePath::escapedForDisplay(path) + QLatin1Char('`');
            }
            if (target.outputRoot == m_store.outputRoot()) {
                m_turns.insert(newMessage, {outcome.commit, kind});
            }
            Q_EMIT filesWritten(root, outcome.paths);
            deliver(target,
                    ChatMessage{newMessage, ChatMessage::Role::Assistant,
                                (kind == TurnLog::Entry::Kind::Undo
                                     ? QCoreApplication::translate("kestrion::ChatViewModel",
                                                                   "Undid the changes of the previous turn: %1.")
                                     : QCoreApplication::translate("kestrion::ChatViewModel",
                                                                   "Redid the changes of the previous turn: %1."))
                                    .arg(named.join(QStringLiteral(", ")))},
                    std::nullopt);
            break;
        }
        }
        Q_EMIT messageActionsChanged();
        Q_EMIT undoFinished();
    });
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
