#include "app/WindowState.h"

namespace kestrion {

QString detailWorkspaceTabTitle(DetailWorkspaceTab tab) {
    switch (tab) {
    case DetailWorkspaceTab::Create:
        return WindowState::tr("Create");
    case DetailWorkspaceTab::Preview:
        return WindowState::tr("Preview");
    case DetailWorkspaceTab::Source:
        return WindowState::tr("Source");
    }
    return {};
}

WindowState::WindowState(QObject* parent) : QObject(parent) {}

void WindowState::setDetailWorkspaceTab(DetailWorkspaceTab tab) {
    if (tab == m_detailWorkspaceTab) {
        return;
    }
    m_detailWorkspaceTab = tab;
    Q_EMIT detailWorkspaceTabChanged(tab);
}

void WindowState::bumpPreviewReloadNonce() {
    ++m_previewReloadNonce;
    Q_EMIT previewReloadNonceChanged(m_previewReloadNonce);
}

void WindowState::setPreviewSelectedRelativePath(const std::optional<QString>& path) {
    if (path == m_previewSelectedRelativePath) {
        return;
    }
    m_previewSelectedRelativePath = path;
    Q_EMIT previewSelectedRelativePathChanged();
}

void WindowState::setPreviewSourceDocument(const QString& text) {
    if (text == m_previewSourceDocument) {
        return;
    }
    m_previewSourceDocument = text;
    Q_EMIT previewSourceDocumentChanged();
}

void WindowState::setPreviewSourceBaseline(const QString& text) {
    if (text == m_previewSourceBaseline) {
        return;
    }
    m_previewSourceBaseline = text;
    Q_EMIT previewSourceBaselineChanged();
}

void WindowState::setPreviewSourceSaveError(const std::optional<QString>& error) {
    if (error == m_previewSourceSaveError) {
        return;
    }
    m_previewSourceSaveError = error;
    Q_EMIT previewSourceSaveErrorChanged();
}

void WindowState::setLaunchingToKestrion(bool launching) {
    if (launching == m_isLaunchingToKestrion) {
        return;
    }
    m_isLaunchingToKestrion = launching;
    Q_EMIT launchingToKestrionChanged(launching);
}

void WindowState::setLaunchedWebsiteURL(const std::optional<QUrl>& url) {
    if (url == m_launchedWebsiteURL) {
        return;
    }
    m_launchedWebsiteURL = url;
    Q_EMIT launchedWebsiteURLChanged();
}

LaunchDeployProgressModel::LaunchDeployProgressModel(QObject* parent) : QObject(parent) {}

void LaunchDeployProgressModel::setLiveLine(const QString& line) {
    if (line == m_liveLine) {
        return;
    }
    m_liveLine = line;
    Q_EMIT liveLineChanged(line);
}

} // namespace kestrion
