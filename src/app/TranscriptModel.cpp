#include "app/TranscriptModel.h"

#include "conversation/ChatViewModel.h"

#include <algorithm>

namespace kestrion {

TranscriptModel::TranscriptModel(ChatViewModel* chat, QObject* parent) : QAbstractListModel(parent), m_chat(chat) {
    for (const ChatMessage& message : chat->messages()) {
        m_ids.append(message.id);
    }
    // Both signals may fire for one append, in either order; synchronizing
    // against the controller's list makes the second one a no-op.
    connect(chat, &ChatViewModel::messageAppended, this, [this](int) { synchronize(); });
    connect(chat, &ChatViewModel::messagesChanged, this, &TranscriptModel::synchronize);
}

void TranscriptModel::synchronize() {
    const QList<ChatMessage>& messages = m_chat->messages();
    const qsizetype known = m_ids.size();
    const bool extendsKnownRows =
        messages.size() >= known &&
        std::equal(m_ids.cbegin(), m_ids.cend(), messages.cbegin(),
                   [](const QUuid& id, const ChatMessage& message) { return id == message.id; });
    if (extendsKnownRows) {
        if (messages.size() == known) {
            return;
        }
        beginInsertRows({}, static_cast<int>(known), static_cast<int>(messages.size() - 1));
        for (qsizetype i = known; i < messages.size(); ++i) {
            m_ids.append(messages.at(i).id);
        }
        endInsertRows();
        return;
    }
    beginResetModel();
    m_ids.clear();
    m_ids.reserve(messages.size());
    for (const ChatMessage& message : messages) {
        m_ids.append(message.id);
    }
    endResetModel();
}

int TranscriptModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_ids.size());
}

QVariant TranscriptModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_ids.size() || index.row() >= m_chat->messages().size()) {
        return {};
    }
    const ChatMessage& message = m_chat->messages().at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
    case Qt::EditRole:
        return message.text;
    case Qt::AccessibleDescriptionRole:
        return message.role == ChatMessage::Role::User ? QStringLiteral("You") : QStringLiteral("Assistant");
    case MessageIdRole:
        return message.id;
    case IsUserRole:
        return message.role == ChatMessage::Role::User;
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
    return names;
}

} // namespace kestrion
