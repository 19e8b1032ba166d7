#pragma once

#include <QObject>
#include <QString>

namespace kestrion {

class AppSettings;
class ChatViewModel;
class OutputFolderFileTreeModel;
class WindowState;

// Keeps what belongs to the website directory in step with the setting: the
// conversation's history, the remembered launch address and the file tree.
// Nothing is bound until start(), which the window calls on its first show:
// by then every view that follows these is connected and sees the first
// binding like any later one, and a window that is never shown reads nothing.
// After that each change of the directory rebinds all three and forgets the
// preview's file; files a reply wrote into the bound directory rescan the tree
// and reload the preview.
class SiteBinding final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SiteBinding)

public:
    SiteBinding(AppSettings* settings, ChatViewModel* chat, OutputFolderFileTreeModel* tree, WindowState* state,
                QObject* parent = nullptr);

    // Binds to the current directory; later calls do nothing.
    void start();

private:
    void bindCurrentDirectory();
    void onDirectoryChanged();
    void onFilesWritten(const QString& outputRoot);

    AppSettings* m_settings;
    ChatViewModel* m_chat;
    OutputFolderFileTreeModel* m_tree;
    WindowState* m_state;
    bool m_started = false;
};

} // namespace kestrion
