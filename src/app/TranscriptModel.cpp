#include "app/TranscriptModel.h"

#include "conversation/ChatViewModel.h"

namespace kestrion {

TranscriptModel::TranscriptModel(ChatViewModel* chat, QObject* parent)
    : QAbstractListModel(parent), m_chat(chat), m_rows(static_cast<int>(chat->messages().size())) {
    connect(chat, &ChatViewModel::messageAppended, this, &TranscriptModel::onMessageAppended);
    connect(chat, &ChatViewModel::messagesReset, this, &TranscriptModel::onMessagesReset);
    connect(chat, &ChatViewModel::messageActionsChanged, this, [this] {
        if (m_rows > 0) {
            Q_EMIT dataChanged(index(0), index(m_rows - 1), {ActionsRole});
        }
    });
}

void TranscriptModel::onMessageAppended(int row) {
    // Each change is told once, right after it: the new message is the one after the known rows.
    Q_ASSERT(row == m_rows && row + 1 == m_chat->messages().size());
    beginInsertRows({}, row, row);
    ++m_rows;
    endInsertRows();
}

void TranscriptModel::onMessagesReset() {
    beginResetModel();
    m_rows = static_cast<int>(m_chat->messages().size());
    endResetModel();
}

int TranscriptModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

QVariant TranscriptModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows || index.row() >= m_chat->messages().size()) {
        return {};
    }
    const ChatMessage& message = m_chat->messages().at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
    case Qt::EditRole:
        return message.text;
    case Qt::AccessibleDescriptionRole:
        return message.role == ChatMessage::Role::User ? tr("You") : tr("Assistant");
    case MessageIdRole:
        return message.id;
    case IsUserRole:
        return message.role == ChatMessage::Role::User;
    case ActionsRole:
        return m_chat->turnActions().messageActions(message.id);
    default:
        return {};
    }
}

Qt::ItemFlags TranscriptModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    // "Editable" only so the view can open a read-only text browser over a
    // bubble for selecting text and following links; nothing is ever written.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

QHash<int, QByteArray> TranscriptModel::roleNames() const {
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(MessageIdRole, "messageId");
    names.insert(IsUserRole, "isUser");
    names.insert(ActionsRole, "actions");
    return names;
}

} // namespace kestrion
