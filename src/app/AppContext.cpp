#include "app/AppContext.h"

#include "app/WindowState.h"
#include "conversation/ChatViewModel.h"
#include "deploy/DeployController.h"
#include "openai/ModelCatalog.h"
#include "openai/OpenAIService.h"
#include "settings/AppSettings.h"
#include "workspace/OutputFolderFileTreeModel.h"

#include <QCoreApplication>
#include <memory>

namespace kestrion {

namespace {

std::shared_ptr<const OpenAIService> modelClient(const AppSettings& settings) {
    return std::make_shared<const OpenAIService>(settings.resolvedOpenAIBaseURL());
}

} // namespace

AppContext::AppContext(AppSettings* settings, QObject* parent)
    : QObject(parent), m_settings(settings), m_chat(new ChatViewModel(modelClient(*settings), this)),
      m_modelCatalog(new ModelCatalog(settings, {}, this)), m_fileTree(new OutputFolderFileTreeModel(this)),
      m_deploy(new DeployController(settings, this)), m_deployProgress(new LaunchDeployProgressModel(this)) {
    // A client is bound to one base URL; the next turn must go to the one just set.
    connect(settings, &AppSettings::openAIBaseURLChanged, this,
            [this] { m_chat->setOpenAIService(modelClient(*m_settings)); });
    connect(m_deploy, &DeployController::progress, m_deployProgress, &LaunchDeployProgressModel::setLiveLine);
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] {
        // A turn still running is stopped as the Stop button would; the user's message is kept,
        // and nothing queued for the history may be lost.
        m_chat->stop();
        m_chat->saveToDisk();
        m_chat->flushSaves();
    });
}

} // namespace kestrion
