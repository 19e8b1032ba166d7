#include "conversation/ChatViewModel.h"

#include "conversation/ChatHistoryPersistence.h"
#include "conversation/TurnRunner.h"
#include "openai/OpenAIService.h"
#include "settings/AppSettings.h"
#include "support/IsoDateTime.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <utility>

namespace kestrion {

namespace {

Q_LOGGING_CATEGORY(lcConversation, "kestrion.conversation")

// Positions where user-perceived characters (grapheme clusters) end.
QList<qsizetype> graphemeBoundaries(const QString& text) {
    QList<qsizetype> boundaries;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    while (finder.toNextBoundary() != -1) {
        boundaries.append(finder.position());
    }
    return boundaries;
}

// Index of the session with the latest updatedAt; the first in stored order wins ties.
qsizetype mostRecentlyUpdatedIndex(const QList<ChatSession>& sessions) {
    qsizetype best = -1;
    for (qsizetype i = 0; i < sessions.size(); ++i) {
        if (best < 0 || sessions[i].updatedAt > sessions[best].updatedAt) {
            best = i;
        }
    }
    return best;
}

qsizetype indexOfSession(const QList<ChatSession>& sessions, const QUuid& id) {
    const auto it = std::find_if(sessions.begin(), sessions.end(), [&](const ChatSession& s) { return s.id == id; });
    return it != sessions.end() ? std::distance(sessions.begin(), it) : -1;
}

// The session a loaded history opens on: the one it names, else the latest updated.
qsizetype activeIndexOf(const QList<ChatSession>& sessions, const QUuid& activeSessionId) {
    const qsizetype named = indexOfSession(sessions, activeSessionId);
    return named >= 0 ? named : mostRecentlyUpdatedIndex(sessions);
}

} // namespace

ChatViewModel::ChatViewModel(std::shared_ptr<const OpenAIService> openAI, QObject* parent)
    : QObject(parent), m_activeSessionId(QUuid::createUuid()), m_openAI(std::move(openAI)) {
    if (!m_openAI) {
        m_openAI = std::make_shared<const OpenAIService>();
    }
    const ChatSession session = ChatSession::makeFresh();
    m_sessions = {session};
    m_activeSessionId = session.id;
}

ChatViewModel::~ChatViewModel() {
    // Outcomes still on their way update this object, so they land before it goes.
    m_writer.flush();
}

void ChatViewModel::setInput(const QString& input) {
    if (input == m_input) {
        return;
    }
    m_input = input;
    Q_EMIT inputChanged();
}

void ChatViewModel::setSessions(QList<ChatSession> sessions) {
    m_sessions = std::move(sessions);
    Q_EMIT sessionsChanged();
}

void ChatViewModel::setActiveSessionId(const QUuid& id) {
    if (id == m_activeSessionId) {
        return;
    }
    m_activeSessionId = id;
    Q_EMIT activeSessionIdChanged();
    updateShownError();
}

const QList<ChatMessage>& ChatViewModel::messages() const {
    static const QList<ChatMessage> none;
    const qsizetype index = indexOfSession(m_sessions, m_activeSessionId);
    return index >= 0 ? m_sessions[index].messages : none;
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

void ChatViewModel::setSaveError(const std::optional<QString>& error) {
    m_saveError = error;
    updateShownError();
}

void ChatViewModel::reportSaveFailure(const QString& reason) {
    // The reason names a path at most, never a message.
    qCWarning(lcConversation) << "Chat history could not be saved:" << reason;
    setSaveError(QStringLiteral("Chat history could not be saved: ") + reason);
}

void ChatViewModel::updateShownError() {
    // A failed save puts every chat of the folder at risk, so it shows over any chat's own error.
    std::optional<QString> shown = m_saveError;
    if (!shown) {
        if (const auto it = m_chatErrors.constFind(m_activeSessionId); it != m_chatErrors.constEnd()) {
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

QList<ChatSession> ChatViewModel::sessionsSortedByUpdated() const {
    QList<ChatSession> sorted = m_sessions;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const ChatSession& a, const ChatSession& b) { return a.updatedAt > b.updatedAt; });
    return sorted;
}

std::optional<QString> ChatViewModel::normalizedOutputDirectory(const std::optional<QString>& url) {
    if (!url || url->isEmpty()) {
        return std::nullopt;
    }
    const QString standardized = QDir::cleanPath(QDir(*url).absolutePath());
    if (!QFileInfo(standardized).isDir()) {
        return std::nullopt;
    }
    return standardized;
}

QString ChatViewModel::derivedTitle(const QList<ChatMessage>& messages, const QString& existing) {
    const QString trimmedExisting = existing.trimmed();
    if (!trimmedExisting.isEmpty() && trimmedExisting != ChatSession::defaultTitle) {
        return existing;
    }
    const auto firstUser = std::find_if(messages.begin(), messages.end(),
                                        [](const ChatMessage& m) { return m.role == ChatMessage::Role::User; });
    if (firstUser == messages.end()) {
        return existing;
    }
    const QString text = firstUser->text.trimmed();
    if (text.isEmpty()) {
        return existing;
    }
    const QList<qsizetype> boundaries = graphemeBoundaries(text);
    if (boundaries.size() > 48) {
        return text.left(boundaries[44]) + QChar(0x2026);
    }
    return text;
}

void ChatViewModel::saveToDisk() {
    queueSave();
}

void ChatViewModel::flushSaves() {
    m_writer.flush();
}

void ChatViewModel::queueSave(std::function<void()> saved) {
    // Until the first binding nothing on disk is read or written.
    if (!m_hasBoundStorageLocation) {
        if (saved) {
            saved();
        }
        return;
    }
    ChatHistoryPersistence::FilePayload payload;
    payload.version = 1;
    payload.sessions = m_sessions;
    payload.activeSessionId = m_activeSessionId;
    const QPointer<ChatViewModel> self(this);
    m_writer.save(m_persistenceOutputRoot, std::move(payload), m_legacyMigrationPending,
                  [self, saved = std::move(saved)](const HistoryWriter::Outcome& outcome) {
                      if (self) {
                          self->applySaveOutcome(outcome);
                      }
                      if (saved) {
                          saved();
                      }
                  });
}

void ChatViewModel::applySaveOutcome(const HistoryWriter::Outcome& outcome) {
    if (!outcome.result.ok()) {
        reportSaveFailure(outcome.result.error);
        return;
    }
    setSaveError(std::nullopt);
    if (outcome.migratedLegacy) {
        m_legacyMigrationPending = false;
        AppSettings::setMigratedLegacyChatsToProject(true);
    }
}

void ChatViewModel::replaceWithFreshDefaultSession() {
    setInput(QString());
    const ChatSession session = ChatSession::makeFresh();
    setSessions({session});
    setActiveSessionId(session.id);
    Q_EMIT messagesChanged();
}

void ChatViewModel::applyLoadedPayload(const QList<ChatSession>& sessions, const QUuid& activeSessionId) {
    setSessions(sessions);
    const qsizetype activeIndex = activeIndexOf(m_sessions, activeSessionId);
    if (activeIndex >= 0) {
        setActiveSessionId(m_sessions[activeIndex].id);
    }
    Q_EMIT messagesChanged();
}

void ChatViewModel::applyOutputRoot(const std::optional<QString>& outputRoot) {
    if (m_hasBoundStorageLocation) {
        setInput(QString());
        // A failed save here stays visible over the next folder's chats until a save lands.
        saveToDisk();
        // The old folder's history is on disk before the next one is read (it may be the same folder).
        m_writer.flush();
    }
    // Legacy chats not yet written to the previous folder stay in the per-user file for the next one.
    m_legacyMigrationPending = false;
    const std::optional<QString> normalized = normalizedOutputDirectory(outputRoot);
    m_persistenceOutputRoot = normalized;
    m_hasBoundStorageLocation = true;

    if (normalized) {
        if (const auto payload = ChatHistoryPersistence::load(normalized)) {
            applyLoadedPayload(payload->sessions, payload->activeSessionId);
            return;
        }
        if (!AppSettings::migratedLegacyChatsToProject()) {
            if (const auto legacy = ChatHistoryPersistence::load(std::nullopt)) {
                applyLoadedPayload(legacy->sessions, legacy->activeSessionId);
                m_legacyMigrationPending = true;
                saveToDisk();
                return;
            }
        }
        replaceWithFreshDefaultSession();
        saveToDisk();
        return;
    }

    if (const auto legacy = ChatHistoryPersistence::load(std::nullopt)) {
        applyLoadedPayload(legacy->sessions, legacy->activeSessionId);
        return;
    }
    replaceWithFreshDefaultSession();
    saveToDisk();
}

ChatViewModel::ChatTarget ChatViewModel::activeTarget() const {
    return {m_hasBoundStorageLocation, m_persistenceOutputRoot, m_activeSessionId};
}

void ChatViewModel::appendToSession(const QUuid& sessionId, ChatMessage message) {
    const qsizetype index = indexOfSession(m_sessions, sessionId);
    if (index < 0) {
        return;
    }
    ChatSession& session = m_sessions[index];
    session.messages.append(std::move(message));
    session.title = derivedTitle(session.messages, session.title);
    session.updatedAt = currentDateTimeWholeSeconds();
    if (sessionId == m_activeSessionId) {
        Q_EMIT messageAppended(static_cast<int>(session.messages.size() - 1));
        Q_EMIT messagesChanged();
    }
    Q_EMIT sessionsChanged();
}

void ChatViewModel::deliver(const ChatTarget& target, ChatMessage message, const std::optional<QString>& error,
                            std::function<void()> saved) {
    // A result belongs to the conversation its work started in, even if the user
    // switched chats or folders while waiting.
    if (target.bound && m_hasBoundStorageLocation && target.outputRoot != m_persistenceOutputRoot) {
        deliverToStoredHistory(target, std::move(message), error, std::move(saved));
        return;
    }
    // A chat deleted meanwhile loses nothing: the result goes to the chat on screen instead.
    const QUuid sessionId = indexOfSession(m_sessions, target.sessionId) >= 0 ? target.sessionId : m_activeSessionId;
    setChatError(sessionId, error);
    appendToSession(sessionId, std::move(message));
    queueSave(std::move(saved));
}

void ChatViewModel::deliverToStoredHistory(const ChatTarget& target, ChatMessage message,
                                           const std::optional<QString>& error, std::function<void()> saved) {
    // Written by the history writer after the save made when that folder was left, so the
    // file it reads holds the chat as the user last saw it.
    const auto change = [sessionId = target.sessionId,
                         message = std::move(message)](ChatHistoryPersistence::FilePayload& payload) {
        // A chat deleted meanwhile loses nothing: the result goes to the chat that folder opens on.
        qsizetype index = indexOfSession(payload.sessions, sessionId);
        if (index < 0) {
            index = activeIndexOf(payload.sessions, payload.activeSessionId);
        }
        // No readable history is left there (a damaged file is set aside by the load): a chat of its own.
        if (index < 0) {
            const ChatSession session = ChatSession::makeFresh();
            payload.sessions.prepend(session);
            payload.activeSessionId = session.id;
            index = 0;
        }
        ChatSession& session = payload.sessions[index];
        session.messages.append(message);
        session.updatedAt = currentDateTimeWholeSeconds();
        return session.id;
    };
    const QPointer<ChatViewModel> self(this);
    m_writer.change(target.outputRoot, change,
                    [self, error, saved = std::move(saved)](const HistoryWriter::Outcome& outcome) {
                        if (self) {
                            self->setChatError(outcome.changedSessionId, error);
                            if (!outcome.result.ok()) {
                                self->reportSaveFailure(outcome.result.error);
                            }
                        }
                        if (saved) {
                            saved();
                        }
                    });
}

void ChatViewModel::send(const QString& model, const QString& apiKey, const std::optional<QString>& outputRoot) {
    const QString text = m_input.trimmed();
    if (text.isEmpty()) {
        return;
    }
    setChatError(m_activeSessionId, std::nullopt);
    setSending(true);
    appendToSession(m_activeSessionId, ChatMessage::make(ChatMessage::Role::User, text));
    setInput(QString());

    const ChatTarget target = activeTarget();
    // The conversation as asked: switching chats while the turn runs must not
    // send another chat's messages.
    TurnRunner::run({model, apiKey, outputRoot, messages(), m_openAI})
        .then(this, [this, target, outputRoot](const TurnRunner::Result& result) {
            if (outputRoot && !result.writtenPaths.isEmpty()) {
                Q_EMIT filesWritten(*outputRoot, result.writtenPaths);
            }
            const QPointer<ChatViewModel> self(this);
            deliver(target, ChatMessage::make(ChatMessage::Role::Assistant, result.text), result.error, [self] {
                if (self) {
                    Q_EMIT self->sendFinished();
                }
            });
            setSending(false);
        });
}

void ChatViewModel::newChat() {
    setInput(QString());
    const ChatSession session = ChatSession::makeFresh();
    QList<ChatSession> sessions = m_sessions;
    sessions.prepend(session);
    setSessions(std::move(sessions));
    setActiveSessionId(session.id);
    Q_EMIT messagesChanged();
    saveToDisk();
}

void ChatViewModel::selectSession(const QUuid& id) {
    if (id == m_activeSessionId) {
        return;
    }
    setActiveSessionId(id);
    Q_EMIT messagesChanged();
    setInput(QString());
    saveToDisk();
}

void ChatViewModel::deleteSession(const QUuid& id) {
    if (m_sessions.size() <= 1) {
        return;
    }
    QList<ChatSession> remaining = m_sessions;
    remaining.removeIf([&](const ChatSession& s) { return s.id == id; });
    if (remaining.size() != m_sessions.size()) {
        setSessions(std::move(remaining));
        m_chatErrors.remove(id);
    }
    if (id == m_activeSessionId) {
        const qsizetype next = mostRecentlyUpdatedIndex(m_sessions);
        if (next >= 0) {
            setActiveSessionId(m_sessions[next].id);
            Q_EMIT messagesChanged();
        }
        setInput(QString());
    }
    saveToDisk();
}

void ChatViewModel::appendKestrionStatus(const QString& text, const ChatTarget& target) {
    deliver(target, ChatMessage::make(ChatMessage::Role::Assistant, text), std::nullopt);
}

void ChatViewModel::appendKestrionFailure(const QString& text, const ChatTarget& target) {
    deliver(target, ChatMessage::make(ChatMessage::Role::Assistant, QStringLiteral("Launch failed: ") + text), text);
}

} // namespace kestrion
