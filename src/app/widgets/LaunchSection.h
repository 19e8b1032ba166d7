#pragma once

#include "conversation/ChatViewModel.h"
#include "deploy/DeployController.h"

#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <optional>

class QFileSystemWatcher;
class QLabel;
class QPushButton;

namespace kestrion {

class AppSettings;
class BusyIndicator;
class LaunchDeployProgressModel;
class WindowState;

// The sidebar's launch block: publishes the website directory to the hosting
// panel, shows the run's live line under "Deploy progress", and once the site
// has an address offers "Update" and "Open". The run itself belongs to a
// DeployController shared with the application; the section starts it and
// shows its lines and its report.
class LaunchSection final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LaunchSection)

public:
    static inline const QString launchTitle =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::LaunchSection", "Launch to the internet"));
    static inline const QString updateTitle = QStringLiteral(QT_TRANSLATE_NOOP("kestrion::LaunchSection", "Update"));
    static inline const QString openTitle = QStringLiteral(QT_TRANSLATE_NOOP("kestrion::LaunchSection", "Open"));
    static inline const QString progressCaption =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::LaunchSection", "Deploy progress"));
    static inline const QString startingText =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::LaunchSection", "Starting…"));
    static inline const QString failedPrefix = QStringLiteral(QT_TRANSLATE_NOOP("kestrion::LaunchSection", "Failed: "));
    // Under the button: what a deploy makes public, following the "Publish chats" setting.
    static inline const QString chatsPublishedNote = QStringLiteral(QT_TRANSLATE_NOOP(
        "kestrion::LaunchSection", "Publishes the website folder, including its chats (.kestrion-chats)."));
    static inline const QString chatsPrivateNote = QStringLiteral(
        QT_TRANSLATE_NOOP("kestrion::LaunchSection", "Publishes the website folder; its chats stay private."));

    // progress: the deploy's live line, which the deploy keeps up to date.
    LaunchSection(AppSettings* settings, ChatViewModel* chat, WindowState* state, LaunchDeployProgressModel* progress,
                  DeployController* deploy, QWidget* parent = nullptr);

    // The chat message for a finished deploy: a heading, the panel's message and
    // the two addresses as Markdown links, one paragraph each.
    static QString successMessage(const DeployResult& result);

    // A website directory is set and exists as a folder.
    bool canLaunchTo() const;
    QString deployPrimaryButtonTitle() const;
    bool launchDeployUsesCompactControl() const;

    // Starts a deploy of the current website directory (if there is one and no run is going).
    void launchProjectTo();

    // Timing, git and default panel of the runs (tests shorten the waits).
    void setDeployContext(DeployRun::DeployContext context);
    // Replaces the system browser as the handler of "Open".
    void setUrlOpener(std::function<void(const QUrl&)> opener) { m_openUrl = std::move(opener); }

Q_SIGNALS:
    // After a run's outcome has been applied.
    void launchFinished(bool succeeded);

private:
    // The report goes to the history and chat the run was started from.
    void finishLaunch(const DeployReport& report);
    void updateView();
    void watchDirectory();
    void updatePublishNote();

    AppSettings* m_settings;
    ChatViewModel* m_chat;
    WindowState* m_state;
    LaunchDeployProgressModel* m_progress;
    std::function<void(const QUrl&)> m_openUrl;
    DeployController* m_deploy;
    QFileSystemWatcher* m_watcher;

    QPushButton* m_primaryButton;
    BusyIndicator* m_primarySpinner;
    QPushButton* m_openButton;
    QLabel* m_publishNote;
    QWidget* m_progressBlock;
    QWidget* m_startingRow;
    QWidget* m_liveRow;
    BusyIndicator* m_liveSpinner;
    QLabel* m_liveLine;
};

} // namespace kestrion
