#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QUuid>

namespace kestrion {

class ChatViewModel;

// The controller's messages as a list model for the transcript view. An append
// becomes a row insertion (so the view keeps every laid-out row); any other
// change of the list resets the model. The message text is the display and
// accessible text, so screen readers read every message, also off-screen ones.
class TranscriptModel final : public QAbstractListModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TranscriptModel)

public:
    enum Role {
        MessageIdRole = Qt::UserRole + 1, // QUuid
        IsUserRole,                       // bool
    };

    explicit TranscriptModel(ChatViewModel* chat, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    // Brings the rows in line with the controller's messages.
    void synchronize();

    ChatViewModel* m_chat;
    // Ids of the rows the views know about, in order.
    QList<QUuid> m_ids;
};

} // namespace kestrion
