#include "app/PreviewWorkspace.h"

#include "app/DetailWorkspaceController.h"
#include "app/IndexPreviewWebView.h"
#include "app/PreviewPlaceholder.h"
#include "app/WindowState.h"
#include "conversation/AppSettings.h"

#include <QFrame>
#include <QLabel>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace kestrion {

PreviewWorkspace::PreviewWorkspace(AppSettings* settings, WindowState* state, DetailWorkspaceController* controller,
                                   QWidget* parent)
    : QWidget(parent), m_settings(settings), m_state(state), m_controller(controller),
      m_stack(new QStackedWidget(this)), m_placeholder(new PreviewPlaceholder(m_stack)),
      m_content(new QWidget(m_stack)), m_caption(new QLabel(m_content)) {
    setAccessibleName(QStringLiteral("Preview"));
    QFont caption = font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    m_caption->setFont(caption);
    m_caption->setTextFormat(Qt::PlainText);
    m_caption->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_caption->setFocusPolicy(Qt::TabFocus);
    m_caption->setContentsMargins(12, 6, 12, 6);

    auto* divider = new QFrame(m_content);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);

    auto* contentLayout = new QVBoxLayout(m_content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->setSpacing(0);
    contentLayout->addWidget(m_caption);
    contentLayout->addWidget(divider);
    contentLayout->addStretch(1); // the web view takes this place once created

    m_stack->addWidget(m_placeholder);
    m_stack->addWidget(m_content);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);

    connect(m_state, &WindowState::previewReloadNonceChanged, this, &PreviewWorkspace::scheduleUpdate);
    connect(m_state, &WindowState::previewSelectedRelativePathChanged, this, &PreviewWorkspace::scheduleUpdate);
    connect(m_state, &WindowState::detailWorkspaceTabChanged, this, &PreviewWorkspace::scheduleUpdate);
    connect(m_settings, &AppSettings::outputDirectoryURLChanged, this, &PreviewWorkspace::scheduleUpdate);
    updateContent();
}

bool PreviewWorkspace::isShowingPlaceholder() const {
    return m_stack->currentWidget() == m_placeholder;
}

void PreviewWorkspace::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    scheduleUpdate();
}

void PreviewWorkspace::scheduleUpdate() {
    if (m_updateScheduled) {
        return;
    }
    m_updateScheduled = true;
    // After the current handler: the sidebar changes the directory, selection
    // and counter in a row, and the page should load once.
    QTimer::singleShot(0, this, [this] {
        m_updateScheduled = false;
        updateContent();
    });
}

void PreviewWorkspace::updateContent() {
    const auto root = m_settings->outputDirectoryURL();
    if (!root) {
        m_placeholder->setTexts(noDirectoryTitle, noDirectorySubtitle);
        m_stack->setCurrentWidget(m_placeholder);
        return;
    }
    const auto file = m_controller->resolvedPreviewFileURL(*root);
    if (!file) {
        m_placeholder->setTexts(nothingTitle, nothingSubtitle);
        m_stack->setCurrentWidget(m_placeholder);
        return;
    }
    const QString caption = m_controller->previewCaption(*file, *root);
    m_caption->setText(caption);
    m_caption->setAccessibleName(QStringLiteral("Showing ") + caption);
    m_stack->setCurrentWidget(m_content);
    // The browser engine starts only once the tab is really in use.
    if (m_state->detailWorkspaceTab() != DetailWorkspaceTab::Preview) {
        return;
    }
    if (!m_webView) {
        m_webView = new IndexPreviewWebView(m_content);
        auto* layout = static_cast<QVBoxLayout*>(m_content->layout());
        delete layout->takeAt(layout->count() - 1); // the stretch holding the place
        layout->addWidget(m_webView, 1);
    }
    m_webView->apply(*file, *root, m_state->previewReloadNonce());
}

} // namespace kestrion
