#include "app/PreviewWorkspace.h"

#include "app/IndexPreviewWebView.h"
#include "app/WindowState.h"

#include <QLabel>
#include <QVBoxLayout>

namespace kestrion {

PreviewWorkspace::PreviewWorkspace(AppSettings* settings, WindowState* state, DetailWorkspaceController* controller,
                                   QWidget* parent)
    : FileWorkspace(settings, state, controller, {noDirectoryTitle, noDirectorySubtitle, nothingTitle, nothingSubtitle},
                    parent) {
    setAccessibleName(QStringLiteral("Preview"));
    captionLabel()->setFocusPolicy(Qt::TabFocus);
    contentLayout()->addStretch(1); // the web view takes this place once created
    updateContent();
}

void PreviewWorkspace::showEvent(QShowEvent* event) {
    FileWorkspace::showEvent(event);
    scheduleUpdate();
}

void PreviewWorkspace::showFile(const QString& file, const QString& root) {
    showContent(file, root, QStringLiteral("Showing "));
    // The browser engine starts only once the tab is really in use.
    if (m_state->detailWorkspaceTab() != DetailWorkspaceTab::Preview) {
        return;
    }
    if (!m_webView) {
        m_webView = new IndexPreviewWebView(content());
        delete contentLayout()->takeAt(contentLayout()->count() - 1); // the stretch holding the place
        contentLayout()->addWidget(m_webView, 1);
    }
    m_webView->apply(file, root, m_state->previewReloadNonce());
}

} // namespace kestrion
