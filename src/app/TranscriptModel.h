#pragma once

#include <QAbstractListModel>

namespace kestrion {

class ChatViewModel;

// The controller's messages as a list model for the transcript view. The
// controller tells each change once: an append becomes a row insertion (so the
// view keeps every laid-out row), anything else resets the model. The message
// text is the display and accessible text, so screen readers read every
// message, also off-screen ones.
class TranscriptModel final : public QAbstractListModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TranscriptModel)

public:
    enum Role {
        MessageIdRole = Qt::UserRole + 1, // QUuid
        IsUserRole,                       // bool
        ActionsRole,                      // QStringList: the labels of the message's actions
    };

    explicit TranscriptModel(ChatViewModel* chat, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    void onMessageAppended(int row);
    void onMessagesReset();

    ChatViewModel* m_chat;
    // The rows the views know about: the controller's messages up to its latest signal.
    int m_rows = 0;
};

} // namespace kestrion
