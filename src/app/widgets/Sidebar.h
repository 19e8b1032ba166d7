#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class QVBoxLayout;

namespace kestrion {

class AppSettings;
class ChatViewModel;
class ChatsSection;
class DirectorySection;
class FilesSection;
class OutputFolderFileTreeModel;
class WindowState;

// The window's left column under its title, scrolled as a whole: the launch
// section's slot, then the chats, the website file tree and the website
// directory (each a section of its own, in src/app/widgets/sidebar/). It only shows:
// following the website directory is SiteBinding's work.
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
    void resizeEvent(QResizeEvent* event) override;

private:
    QVBoxLayout* m_launchSlot = nullptr;
    QWidget* m_launchSection = nullptr;
    FilesSection* m_files = nullptr;
    DirectorySection* m_directory = nullptr;
};

} // namespace kestrion
