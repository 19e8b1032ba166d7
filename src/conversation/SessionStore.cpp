#include "conversation/SessionStore.h"

#include "conversation/ChatHistoryPersistence.h"
#include "conversation/SessionList.h"
#include "support/IsoDateTime.h"
#include "support/Logging.h"
#include "support/SitePath.h"

#include <QCoreApplication>
#include <QLocale>
#include <QPointer>
#include <algorithm>
#include <utility>

namespace kestrion {

SessionStore::SessionStore(QObject* parent) : QAbstractListModel(parent) {
    const ChatSession session = ChatSession::makeFresh();
    m_sessions = {session};
    m_rows = {0};
    m_activeSessionId = session.id;
}

SessionStore::~SessionStore() {
    // Outcomes still on their way update this object, so they land before it goes.
    m_writer.flush();
}

int SessionStore::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant SessionStore::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const ChatSession& session = m_sessions.at(m_rows.at(index.row()));
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return session.title;
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
    case UpdatedTextRole:
        return updatedText(session.updatedAt);
    case SessionIdRole:
        return session.id;
    case IsActiveRole:
        return session.id == m_activeSessionId;
    default:
        return {};
    }
}

QHash<int, QByteArray> SessionStore::roleNames() const {
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(SessionIdRole, "sessionId");
    names.insert(UpdatedTextRole, "updatedText");
    names.insert(IsActiveRole, "isActive");
    return names;
}

QString SessionStore::updatedText(const QDateTime& updatedAt) {
    const QDateTime local = updatedAt.toLocalTime();
    const QLocale locale;
    //: %1 is the date, %2 the time of the chat's last change.
    return tr("Updated %1 at %2")
        .arg(locale.toString(local.date(), QStringLiteral("MMM d, yyyy")),
             locale.toString(local.time(), QLocale::ShortFormat));
}

const QList<ChatMessage>& SessionStore::messages() const {
    static const QList<ChatMessage> none;
    const qsizetype index = SessionList::indexOf(m_sessions, m_activeSessionId);
    return index >= 0 ? m_sessions[index].messages : none;
}

bool SessionStore::contains(const QUuid& id) const {
    return SessionList::indexOf(m_sessions, id) >= 0;
}

QList<ChatSession> SessionStore::sortedByUpdated() const {
    QList<ChatSession> sorted;
    sorted.reserve(m_rows.size());
    for (const qsizetype stored : m_rows) {
        sorted.append(m_sessions.at(stored));
    }
    return sorted;
}

std::optional<QString> SessionStore::normalizedOutputDirectory(const std::optional<QString>& path) {
    return SitePath::existingDirectory(path);
}

int SessionStore::rowOfStored(qsizetype storedIndex) const {
    return static_cast<int>(m_rows.indexOf(storedIndex));
}

void SessionStore::resetSessions(QList<ChatSession> sessions, const QUuid& activeSessionId) {
    const bool activeChanged = activeSessionId != m_activeSessionId;
    beginResetModel();
    m_sessions = std::move(sessions);
    m_rows = SessionList::displayOrder(m_sessions);
    m_activeSessionId = activeSessionId;
    ++m_revision;
    endResetModel();
    Q_EMIT messagesReset();
    if (activeChanged) {
        Q_EMIT activeSessionIdChanged();
    }
}

void SessionStore::setActiveSessionId(const QUuid& id) {
    if (id == m_activeSessionId) {
        return;
    }
    const qsizetype previous = SessionList::indexOf(m_sessions, m_activeSessionId);
    m_activeSessionId = id;
    ++m_revision;
    for (const qsizetype stored : {previous, SessionList::indexOf(m_sessions, id)}) {
        if (stored >= 0) {
            const QModelIndex row = index(rowOfStored(stored));
            Q_EMIT dataChanged(row, row, {IsActiveRole});
        }
    }
    Q_EMIT messagesReset();
    Q_EMIT activeSessionIdChanged();
}

void SessionStore::reorderAfterUpdate(qsizetype storedIndex) {
    const int from = rowOfStored(storedIndex);
    QList<qsizetype> order = SessionList::displayOrder(m_sessions);
    // Only this session's time changed, so every other row keeps its place relative to the rest.
    const int to = static_cast<int>(order.indexOf(storedIndex));
    if (to != from) {
        beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
        m_rows = std::move(order);
        endMoveRows();
    }
    const QModelIndex row = index(to);
    Q_EMIT dataChanged(
        row, row,
        {Qt::DisplayRole, Qt::AccessibleTextRole, Qt::ToolTipRole, Qt::AccessibleDescriptionRole, UpdatedTextRole});
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
    setSaveError(QCoreApplication::translate("kestrion::SessionStore", "Chat history could not be saved: ") + reason);
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
    }
}

void SessionStore::bind(const std::optional<QString>& outputRoot) {
    const std::optional<QString> normalized = normalizedOutputDirectory(outputRoot);
    if (m_bound) {
        // Written before the next folder is read (it may be the same folder). A failed save here
        // stays visible over the next folder's chats until a save lands.
        save();
    }
    // Legacy chats not yet written to the folder left stay in the per-user file for the next one.
    m_legacyMigrationPending = false;
    const quint64 generation = ++m_bindGeneration;
    m_pendingBind = generation;
    m_revisionAtBind = m_revision;
    const QPointer<SessionStore> self(this);
    m_writer.load(normalized, [self, generation, normalized](const HistoryWriter::Outcome& outcome) {
        if (self) {
            self->applyBinding(generation, normalized, outcome);
        }
    });
}

void SessionStore::applyBinding(quint64 generation, const std::optional<QString>& normalized,
                                const HistoryWriter::Outcome& outcome) {
    // Superseded: the later bind's read, queued after this one, takes effect instead.
    if (m_pendingBind != generation) {
        return;
    }
    const bool changedMeanwhile = m_revision != m_revisionAtBind;
    // What changed in the chats shown while the read ran (a question sent, a chat added) is theirs.
    if (m_bound && changedMeanwhile) {
        save();
    }
    const bool sameFolder = m_bound && m_outputRoot == normalized;
    m_outputRoot = normalized;
    m_bound = true;
    m_pendingBind.reset();

    bool freshChat = false;
    if (sameFolder && changedMeanwhile) {
        // The folder shown again: its chats in memory are newer than the read, and their save is queued.
    } else if (outcome.loaded && !outcome.loaded->sessions.isEmpty()) {
        const QList<ChatSession>& sessions = outcome.loaded->sessions;
        resetSessions(sessions, sessions[SessionList::openingIndex(sessions, outcome.loaded->activeSessionId)].id);
        // A folder without a history takes over the per-user one; that file goes once this copy is written.
        if (outcome.adoptsLegacy) {
            m_legacyMigrationPending = true;
            save();
        }
    } else {
        const ChatSession session = ChatSession::makeFresh();
        resetSessions({session}, session.id);
        save();
        freshChat = true;
    }
    Q_EMIT bound(freshChat);
    runAfterBinding();
}

void SessionStore::afterBinding(std::function<void()> work) {
    m_afterBinding.push_back(std::move(work));
    runAfterBinding();
}

void SessionStore::runAfterBinding() {
    // Work may start another bind; whatever is left then waits for that one.
    while (!m_pendingBind && !m_afterBinding.empty()) {
        const std::function<void()> work = std::move(m_afterBinding.front());
        m_afterBinding.pop_front();
        work();
    }
}

void SessionStore::addFreshChat() {
    const ChatSession session = ChatSession::makeFresh();
    // First in stored order, so it sorts before every chat of the same time.
    const int row = static_cast<int>(std::count_if(
        m_sessions.cbegin(), m_sessions.cend(), [&](const ChatSession& s) { return s.updatedAt > session.updatedAt; }));
    beginInsertRows({}, row, row);
    m_sessions.prepend(session);
    m_rows = SessionList::displayOrder(m_sessions);
    ++m_revision;
    endInsertRows();
    setActiveSessionId(session.id);
    save();
}

void SessionStore::activate(const QUuid& id) {
    setActiveSessionId(id);
}

bool SessionStore::remove(const QUuid& requestedId) {
    // A copy: the caller may pass a session's own id (sessions()[i].id), which removing frees.
    const QUuid id = requestedId;
    bool removed = false;
    for (qsizetype stored = SessionList::indexOf(m_sessions, id); stored >= 0;
         stored = SessionList::indexOf(m_sessions, id)) {
        const int row = rowOfStored(stored);
        beginRemoveRows({}, row, row);
        m_sessions.removeAt(stored);
        m_rows = SessionList::displayOrder(m_sessions);
        ++m_revision;
        endRemoveRows();
        removed = true;
    }
    if (id == m_activeSessionId) {
        const qsizetype next = SessionList::latestUpdated(m_sessions);
        if (next >= 0) {
            setActiveSessionId(m_sessions[next].id);
        }
    }
    return removed;
}

void SessionStore::append(const QUuid& sessionId, ChatMessage message) {
    const qsizetype stored = SessionList::indexOf(m_sessions, sessionId);
    if (stored < 0) {
        return;
    }
    ChatSession& session = m_sessions[stored];
    session.messages.append(std::move(message));
    session.title = SessionList::derivedTitle(session.messages, session.title);
    session.updatedAt = currentDateTimeWholeSeconds();
    ++m_revision;
    if (sessionId == m_activeSessionId) {
        Q_EMIT messageAppended(static_cast<int>(session.messages.size() - 1));
    }
    reorderAfterUpdate(stored);
}

void SessionStore::appendToStored(const std::optional<QString>& outputRoot, const QUuid& sessionId, ChatMessage message,
                                  std::function<void(const QUuid&)> done) {
    // Written by the history writer after the save made when that folder was left, so the
    // file it reads holds the chat as the user last saw it.
    const auto change = [sessionId, message = std::move(message)](ChatHistoryPersistence::FilePayload& payload) {
        return SessionList::appendToStored(payload, sessionId, message);
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
