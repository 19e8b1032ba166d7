#include "app/SiteBinding.h"

#include "app/WindowState.h"
#include "conversation/ChatViewModel.h"
#include "deploy/LaunchStateStore.h"
#include "settings/AppSettings.h"
#include "workspace/OutputFolderFileTreeModel.h"

namespace kestrion {

SiteBinding::SiteBinding(AppSettings* settings, ChatViewModel* chat, OutputFolderFileTreeModel* tree,
                         WindowState* state, QObject* parent)
    : QObject(parent), m_settings(settings), m_chat(chat), m_tree(tree), m_state(state) {
    connect(m_settings, &AppSettings::outputDirectoryPathChanged, this, &SiteBinding::onDirectoryChanged);
    connect(m_chat, &ChatViewModel::filesWritten, this, &SiteBinding::onFilesWritten);
}

void SiteBinding::start() {
    if (m_started) {
        return;
    }
    m_started = true;
    bindCurrentDirectory();
}

void SiteBinding::bindCurrentDirectory() {
    const std::optional<QString> directory = m_settings->outputDirectoryPath();
    m_chat->applyOutputRoot(directory);
    m_state->setLaunchedWebsiteURL(LaunchStateStore::load(directory));
    m_tree->refresh(directory);
}

void SiteBinding::onDirectoryChanged() {
    // The settings tell only real changes, so each one here leaves the folder bound until now.
    if (!m_started) {
        return;
    }
    // The preview's file and its source edits belonged to the folder left behind.
    m_state->bumpPreviewReloadNonce();
    m_state->setPreviewSelectedRelativePath(std::nullopt);
    m_state->setPreviewSourceDocument(QString());
    m_state->setPreviewSourceBaseline(QString());
    m_state->setPreviewSourceSaveError(std::nullopt);
    bindCurrentDirectory();
}

void SiteBinding::onFilesWritten(const QString& outputRoot) {
    // A turn started in another folder wrote there: nothing shown here changed.
    if (!m_started || ChatViewModel::normalizedOutputDirectory(m_settings->outputDirectoryPath()) !=
                          ChatViewModel::normalizedOutputDirectory(outputRoot)) {
        return;
    }
    m_state->bumpPreviewReloadNonce();
    m_tree->refresh(m_settings->outputDirectoryPath());
}

} // namespace kestrion
