#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

class QAbstractItemModel;
class QLabel;
class QListView;
class QPushButton;
class QStackedWidget;
class QToolButton;
class QTreeView;
class QVBoxLayout;

namespace kestrion {

class AppSettings;
class BusyIndicator;
class ChatViewModel;
class OutputFolderFileTreeModel;
class WindowState;

// The window's left column: the launch section's slot, the chats, the website
// file tree and the website directory. It only shows: following the website
// directory is SiteBinding's work.
class Sidebar final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Sidebar)

public:
    Sidebar(AppSettings* settings, ChatViewModel* chat, OutputFolderFileTreeModel* tree, WindowState* state,
            QWidget* parent = nullptr);
    ~Sidebar() override;

    // Places the launch section at the top of the column (replacing any earlier one).
    void setLaunchSection(QWidget* section);

    // Asked before a click on a file in the tree, or a newly chosen directory,
    // takes effect (the source editor may hold unsaved edits); false cancels it.
    void setSelectionGuard(std::function<bool(const QString& relativePath)> guard);
    void setDirectoryGuard(std::function<bool(const QString& directory)> guard);

    // Shows the folder chooser; a confirmed choice becomes the website directory.
    void pickOutputFolder();

Q_SIGNALS:
    // The column's width after every layout, for the window's snap-closed rule.
    void widthReported(int width);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* buildChatsSection();
    QWidget* buildFilesSection();
    QWidget* buildDirectorySection();

    void updateFilesArea();
    void updateDirectoryLabel();
    void syncTreeSelection();
    void activateFileRow(const QModelIndex& index);
    void activateSessionRow(const QModelIndex& index);
    void showSessionMenu(const QPoint& position);

    AppSettings* m_settings;
    ChatViewModel* m_chat;
    OutputFolderFileTreeModel* m_tree;
    WindowState* m_state;
    QAbstractItemModel* m_sessionModel;

    QVBoxLayout* m_launchSlot = nullptr;
    QWidget* m_launchSection = nullptr;
    QPushButton* m_newChatButton = nullptr;
    QListView* m_sessionList = nullptr;
    QLabel* m_statusLabel = nullptr;
    QToolButton* m_refreshButton = nullptr;
    QStackedWidget* m_filesStack = nullptr;
    BusyIndicator* m_treeIndicator = nullptr;
    QTreeView* m_fileTree = nullptr;
    QLabel* m_directoryLabel = nullptr;
    QPushButton* m_chooseButton = nullptr;

    std::function<bool(const QString&)> m_selectionGuard;
    std::function<bool(const QString&)> m_directoryGuard;
};

} // namespace kestrion
