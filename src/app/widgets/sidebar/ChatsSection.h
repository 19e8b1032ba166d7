#pragma once

#include <QWidget>

namespace kestrion {

class ChatViewModel;
class ContentSizedListView;

// The sidebar's chats: a button that starts a new chat and the folder's chats,
// newest first. A click (or Return) shows a chat; its context menu deletes it.
class ChatsSection final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChatsSection)

public:
    ChatsSection(ChatViewModel* chat, QWidget* parent);

private:
    void showSessionMenu(const QPoint& position);

    ChatViewModel* m_chat;
    ContentSizedListView* m_sessionList = nullptr;
};

} // namespace kestrion
