#include "conversation/SessionStore.h"

#include "conversation/ChatHistoryPersistence.h"
#include "settings/AppSettings.h"
#include "support/IsoDateTime.h"
#include "support/Logging.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <utility>

namespace kestrion {

namespace {

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

SessionStore::SessionStore(QObject* parent) : QObject(parent) {
    const ChatSession session = ChatSession::makeFresh();
    m_sessions = {session};
    m_activeSessionId = session.id;
}

SessionStore::~SessionStore() {
    // Outcomes still on their way update this object, so they land before it goes.
    m_writer.flush();
}

const QList<ChatMessage>& SessionStore::messages() const {
    static const QList<ChatMessage> none;
    const qsizetype index = indexOfSession(m_sessions, m_activeSessionId);
    return index >= 0 ? m_sessions[index].messages : none;
}

bool SessionStore::contains(const QUuid& id) const {
    return indexOfSession(m_sessions, id) >= 0;
}

QList<ChatSession> SessionStore::sortedByUpdated() const {
    QList<ChatSession> sorted = m_sessions;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const ChatSession& a, const ChatSession& b) { return a.updatedAt > b.updatedAt; });
    return sorted;
}

std::optional<QString> SessionStore::normalizedOutputDirectory(const std::optional<QString>& path) {
    if (!path || path->isEmpty()) {
        return std::nullopt;
    }
    const QString standardized = QDir::cleanPath(QDir(*path).absolutePath());
    if (!QFileInfo(standardized).isDir()) {
        return std::nullopt;
    }
    return standardized;
}

QString SessionStore::derivedTitle(const QList<ChatMessage>& messages, const QString& existing) {
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

void SessionStore::setSessions(QList<ChatSession> sessions) {
    m_sessions = std::move(sessions);
    Q_EMIT sessionsChanged();
}

void SessionStore::setActiveSessionId(const QUuid& id) {
    if (id == m_activeSessionId) {
        return;
    }
    m_activeSessionId = id;
    Q_EMIT activeSessionIdChanged();
}

void SessionStore::setSaveError(const std::optional<QString>& error) {
    if (error == m_saveError) {
        return;
    }
    m_saveError = error;
    Q_EMIT saveErrorChanged();
}

void SessionStore::reportSaveFailure(const QString& reason) {
    // The reason names a path at most, never a message.
    qCWarning(lcConversation) << "Chat history could not be saved:" << reason;
    setSaveError(QStringLiteral("Chat history could not be saved: ") + reason);
}

void SessionStore::save(std::function<void()> saved) {
    // Until the first binding nothing on disk is read or written.
    if (!m_bound) {
        if (saved) {
            saved();
        }
        return;
    }
    ChatHistoryPersistence::FilePayload payload;
    payload.version = 1;
    payload.sessions = m_sessions;
    payload.activeSessionId = m_activeSessionId;
    const QPointer<SessionStore> self(this);
    m_writer.save(m_outputRoot, std::move(payload), m_legacyMigrationPending,
                  [self, saved = std::move(saved)](const HistoryWriter::Outcome& outcome) {
                      if (self) {
                          self->applySaveOutcome(outcome);
                      }
                      if (saved) {
                          saved();
                      }
                  });
}

void SessionStore::flush() {
    m_writer.flush();
}

void SessionStore::applySaveOutcome(const HistoryWriter::Outcome& outcome) {
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

void SessionStore::replaceWithFreshChat() {
    const ChatSession session = ChatSession::makeFresh();
    setSessions({session});
    setActiveSessionId(session.id);
    Q_EMIT messagesChanged();
}

void SessionStore::applyLoaded(const QList<ChatSession>& sessions, const QUuid& activeSessionId) {
    setSessions(sessions);
    const qsizetype activeIndex = activeIndexOf(m_sessions, activeSessionId);
    if (activeIndex >= 0) {
        setActiveSessionId(m_sessions[activeIndex].id);
    }
    Q_EMIT messagesChanged();
}

bool SessionStore::bind(const std::optional<QString>& outputRoot) {
    if (m_bound) {
        // A failed save here stays visible over the next folder's chats until a save lands.
        save();
        // The old folder's history is on disk before the next one is read (it may be the same folder).
        m_writer.flush();
    }
    // Legacy chats not yet written to the previous folder stay in the per-user file for the next one.
    m_legacyMigrationPending = false;
    const std::optional<QString> normalized = normalizedOutputDirectory(outputRoot);
    m_outputRoot = normalized;
    m_bound = true;

    if (normalized) {
        if (const auto payload = ChatHistoryPersistence::load(normalized)) {
            applyLoaded(payload->sessions, payload->activeSessionId);
            return false;
        }
    }
    // Without a folder the per-user history is the bound one; a folder without a history takes
    // it over once, and the per-user file goes when the folder's copy is written.
    if (!normalized || !AppSettings::migratedLegacyChatsToProject()) {
        if (const auto legacy = ChatHistoryPersistence::load(std::nullopt)) {
            applyLoaded(legacy->sessions, legacy->activeSessionId);
            if (normalized) {
                m_legacyMigrationPending = true;
                save();
            }
            return false;
        }
    }
    replaceWithFreshChat();
    save();
    return true;
}

void SessionStore::addFreshChat() {
    const ChatSession session = ChatSession::makeFresh();
    QList<ChatSession> sessions = m_sessions;
    sessions.prepend(session);
    setSessions(std::move(sessions));
    setActiveSessionId(session.id);
    Q_EMIT messagesChanged();
    save();
}

void SessionStore::activate(const QUuid& id) {
    if (id == m_activeSessionId) {
        return;
    }
    setActiveSessionId(id);
    Q_EMIT messagesChanged();
}

bool SessionStore::remove(const QUuid& requestedId) {
    // A copy: the caller may pass a session's own id (sessions()[i].id), which
    // replacing the list below frees.
    const QUuid id = requestedId;
    QList<ChatSession> remaining = m_sessions;
    remaining.removeIf([&](const ChatSession& s) { return s.id == id; });
    const bool removed = remaining.size() != m_sessions.size();
    if (removed) {
        setSessions(std::move(remaining));
    }
    if (id == m_activeSessionId) {
        const qsizetype next = mostRecentlyUpdatedIndex(m_sessions);
        if (next >= 0) {
            setActiveSessionId(m_sessions[next].id);
            Q_EMIT messagesChanged();
        }
    }
    return removed;
}

void SessionStore::append(const QUuid& sessionId, ChatMessage message) {
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

void SessionStore::appendToStored(const std::optional<QString>& outputRoot, const QUuid& sessionId, ChatMessage message,
                                  std::function<void(const QUuid&)> done) {
    // Written by the history writer after the save made when that folder was left, so the
    // file it reads holds the chat as the user last saw it.
    const auto change = [sessionId, message = std::move(message)](ChatHistoryPersistence::FilePayload& payload) {
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
    const QPointer<SessionStore> self(this);
    m_writer.change(outputRoot, change, [self, done = std::move(done)](const HistoryWriter::Outcome& outcome) {
        if (self && !outcome.result.ok()) {
            self->reportSaveFailure(outcome.result.error);
        }
        done(outcome.changedSessionId);
    });
}

} // namespace kestrion
