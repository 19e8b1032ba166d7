#pragma once

#include <QObject>

namespace kestrion {

class AppSettings;
class ChatViewModel;
class DeployController;
class LaunchDeployProgressModel;
class ModelCatalog;
class OutputFolderFileTreeModel;

// What one run of the application shares, made once in main() from the settings before any
// window: the chat controller with its model client, the model names the pickers offer, the
// website folder's file tree, and the deploy with its live line. The window and its panes are
// built from these and own none of them, so work going on in the background (a turn, a deploy,
// a scan of the folder) belongs to the application rather than to the window that started it.
// Holds no widgets.
class AppContext final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppContext)

public:
    // settings: shared, must outlive the context.
    explicit AppContext(AppSettings* settings, QObject* parent = nullptr);

    AppSettings* settings() const { return m_settings; }
    // Always talks to the base URL the settings hold now.
    ChatViewModel* chat() const { return m_chat; }
    ModelCatalog* modelCatalog() const { return m_modelCatalog; }
    OutputFolderFileTreeModel* fileTree() const { return m_fileTree; }
    DeployController* deploy() const { return m_deploy; }
    // The deploy's live line, for the launch section.
    LaunchDeployProgressModel* deployProgress() const { return m_deployProgress; }

private:
    AppSettings* m_settings;
    ChatViewModel* m_chat;
    ModelCatalog* m_modelCatalog;
    OutputFolderFileTreeModel* m_fileTree;
    DeployController* m_deploy;
    LaunchDeployProgressModel* m_deployProgress;
};

} // namespace kestrion
