#include "app/SessionListModel.h"

#include "conversation/ChatViewModel.h"

#include <QLocale>

namespace kestrion {

SessionListModel::SessionListModel(ChatViewModel* chat, QObject* parent) : QAbstractListModel(parent), m_chat(chat) {
    m_sessions = chat->sessionsSortedByUpdated();
    connect(chat, &ChatViewModel::sessionsChanged, this, &SessionListModel::reload);
    connect(chat, &ChatViewModel::activeSessionIdChanged, this, [this] {
        if (!m_sessions.isEmpty()) {
            Q_EMIT dataChanged(index(0), index(static_cast<int>(m_sessions.size()) - 1), {IsActiveRole});
        }
    });
}

void SessionListModel::reload() {
    QList<ChatSession> sessions = m_chat->sessionsSortedByUpdated();
    // Only what a row shows matters; the messages inside change on every send.
    const auto sameRows = [&] {
        if (sessions.size() != m_sessions.size()) {
            return false;
        }
        for (qsizetype i = 0; i < sessions.size(); ++i) {
            const ChatSession& a = sessions.at(i);
            const ChatSession& b = m_sessions.at(i);
            if (a.id != b.id || a.title != b.title || a.updatedAt != b.updatedAt) {
                return false;
            }
        }
        return true;
    };
    if (sameRows()) {
        m_sessions = std::move(sessions);
        return;
    }
    beginResetModel();
    m_sessions = std::move(sessions);
    endResetModel();
}

int SessionListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_sessions.size());
}

QVariant SessionListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_sessions.size()) {
        return {};
    }
    const ChatSession& session = m_sessions.at(index.row());
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
        return m_chat->activeSessionId() == session.id;
    default:
        return {};
    }
}

QHash<int, QByteArray> SessionListModel::roleNames() const {
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(SessionIdRole, "sessionId");
    names.insert(UpdatedTextRole, "updatedText");
    names.insert(IsActiveRole, "isActive");
    return names;
}

QString SessionListModel::updatedText(const QDateTime& updatedAt) {
    const QDateTime local = updatedAt.toLocalTime();
    const QLocale locale;
    return QStringLiteral("Updated ") + locale.toString(local.date(), QStringLiteral("MMM d, yyyy")) +
           QStringLiteral(" at ") + locale.toString(local.time(), QLocale::ShortFormat);
}

} // namespace kestrion
