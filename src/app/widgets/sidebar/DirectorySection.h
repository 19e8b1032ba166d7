#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;

namespace kestrion {

class AppSettings;
class ChatViewModel;

// The sidebar's website directory: its path (or "None") and the button that
// opens the folder chooser. The button rests while a message is being sent.
class DirectorySection final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DirectorySection)

public:
    DirectorySection(AppSettings* settings, ChatViewModel* chat, QWidget* parent);

    // Asked before a newly chosen directory takes effect; false cancels it.
    void setDirectoryGuard(std::function<bool(const QString& directory)> guard);

    // Shows the folder chooser; a confirmed choice becomes the website directory.
    void pickOutputFolder();

private:
    void updateDirectoryLabel();

    AppSettings* m_settings;
    ChatViewModel* m_chat;
    QLabel* m_directoryLabel = nullptr;
    QPushButton* m_chooseButton = nullptr;
    std::function<bool(const QString&)> m_directoryGuard;
};

} // namespace kestrion
