#pragma once

#include "conversation/ChatRecords.h"

#include <QAbstractListModel>
#include <QList>

namespace kestrion {

class ChatViewModel;

// The controller's sessions, most recently updated first, for the sidebar's
// chat list. A handful of rows: any change of the sessions resets the model;
// a change of the active session only repaints.
class SessionListModel final : public QAbstractListModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SessionListModel)

public:
    enum Role {
        SessionIdRole = Qt::UserRole + 1, // QUuid
        UpdatedTextRole,                  // QString: "Updated " + date and time
        IsActiveRole,                     // bool
    };

    explicit SessionListModel(ChatViewModel* chat, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // "Updated " followed by an abbreviated local date and a short local time.
    static QString updatedText(const QDateTime& updatedAt);

private:
    void reload();

    ChatViewModel* m_chat;
    QList<ChatSession> m_sessions;
};

} // namespace kestrion
