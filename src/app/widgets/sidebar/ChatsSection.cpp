#include "app/widgets/sidebar/ChatsSection.h"

#include "app/widgets/sidebar/ContentSizedViews.h"
#include "app/widgets/sidebar/SessionRowDelegate.h"
#include "app/widgets/sidebar/SidebarStyle.h"
#include "conversation/ChatViewModel.h"
#include "conversation/SessionStore.h"

#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrion {

ChatsSection::ChatsSection(ChatViewModel* chat, QWidget* parent) : QWidget(parent), m_chat(chat) {
    QVBoxLayout* layout = SidebarStyle::sectionColumn(this, tr("Chats"), 8);

    auto* newChat = new QPushButton(tr("New chat"), this);
    newChat->setObjectName(QStringLiteral("newChatButton"));
    newChat->setAccessibleName(tr("New chat"));
    newChat->setIcon(QIcon::fromTheme(QStringLiteral("list-add")));
    newChat->setStyleSheet(
        QStringLiteral("QPushButton { background: palette(highlight); color: palette(highlighted-text);"
                       " border: none; border-radius: 6px; padding: 5px 12px; font-weight: 600; }"
                       "QPushButton:pressed { background: palette(dark); }"
                       "QPushButton:focus { border: 2px solid palette(highlighted-text); }"));
    newChat->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    connect(newChat, &QPushButton::clicked, this, [this] { m_chat->newChat(); });
    layout->addWidget(newChat);

    auto* list = new ContentSizedListView(this);
    m_sessionList = list;
    list->setObjectName(QStringLiteral("sessionList"));
    list->setAccessibleName(tr("Chats"));
    list->setModel(m_chat->sessionModel());
    list->setItemDelegate(new SessionRowDelegate(list));
    list->setFrameShape(QFrame::NoFrame);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setMouseTracking(true);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->viewport()->setBackgroundRole(QPalette::Window);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setActivationHandler(
        [this](const QModelIndex& index) { m_chat->selectSession(index.data(SessionStore::SessionIdRole).toUuid()); });
    connect(list, &QWidget::customContextMenuRequested, this, &ChatsSection::showSessionMenu);
    layout->addWidget(list);
}

void ChatsSection::showSessionMenu(const QPoint& position) {
    const QModelIndex index = m_sessionList->indexAt(position);
    if (!index.isValid()) {
        return;
    }
    const QUuid id = index.data(SessionStore::SessionIdRole).toUuid();
    QMenu menu(this);
    QAction* remove = menu.addAction(QIcon::fromTheme(QStringLiteral("edit-delete")), tr("Delete Chat"));
    connect(remove, &QAction::triggered, this, [this, id] { m_chat->deleteSession(id); });
    menu.exec(m_sessionList->viewport()->mapToGlobal(position));
}

} // namespace kestrion
