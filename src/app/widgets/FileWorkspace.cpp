#include "app/widgets/FileWorkspace.h"

#include "app/DetailWorkspaceController.h"
#include "app/WindowState.h"
#include "app/widgets/PreviewPlaceholder.h"
#include "settings/AppSettings.h"

#include <QFrame>
#include <QLabel>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace kestrion {

FileWorkspace::FileWorkspace(AppSettings* settings, WindowState* state, DetailWorkspaceController* controller,
                             PlaceholderTexts texts, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_state(state), m_controller(controller), m_texts(std::move(texts)),
      m_stack(new QStackedWidget(this)), m_placeholder(new PreviewPlaceholder(m_stack)),
      m_content(new QWidget(m_stack)), m_caption(new QLabel(m_content)), m_contentLayout(new QVBoxLayout(m_content)) {
    m_caption->setFont(captionFont());
    m_caption->setTextFormat(Qt::PlainText);
    m_caption->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_caption->setContentsMargins(12, 6, 12, 6);

    auto* divider = new QFrame(m_content);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);

    m_contentLayout->setContentsMargins(0, 0, 0, 0);
    m_contentLayout->setSpacing(0);
    m_contentLayout->addWidget(m_caption);
    m_contentLayout->addWidget(divider);

    m_stack->addWidget(m_placeholder);
    m_stack->addWidget(m_content);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);

    connect(m_state, &WindowState::previewReloadNonceChanged, this, &FileWorkspace::scheduleUpdate);
    connect(m_state, &WindowState::previewSelectedRelativePathChanged, this, &FileWorkspace::scheduleUpdate);
    connect(m_state, &WindowState::detailWorkspaceTabChanged, this, &FileWorkspace::scheduleUpdate);
    connect(m_settings, &AppSettings::outputDirectoryPathChanged, this, &FileWorkspace::scheduleUpdate);
}

bool FileWorkspace::isShowingPlaceholder() const {
    return m_stack->currentWidget() == m_placeholder;
}

QFont FileWorkspace::captionFont() const {
    QFont caption = font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    return caption;
}

void FileWorkspace::scheduleUpdate() {
    if (m_updateScheduled) {
        return;
    }
    m_updateScheduled = true;
    // After the current handler: the sidebar changes the directory, selection
    // and counter in a row, and the tab should update (and a page load) once.
    QTimer::singleShot(0, this, [this] {
        m_updateScheduled = false;
        updateContent();
    });
}

void FileWorkspace::updateContent() {
    const auto root = m_settings->outputDirectoryPath();
    if (!root) {
        showPlaceholder(m_texts.noDirectoryTitle, m_texts.noDirectorySubtitle);
        return;
    }
    const auto file = fileToShow(*root);
    if (!file) {
        showPlaceholder(m_texts.nothingTitle, m_texts.nothingSubtitle);
        return;
    }
    showFile(*file, *root);
}

std::optional<QString> FileWorkspace::fileToShow(const QString& root) const {
    return m_controller->resolvedPreviewFileURL(root);
}

void FileWorkspace::showPlaceholder(const QString& title, const QString& subtitle) {
    m_placeholder->setTexts(title, subtitle);
    m_stack->setCurrentWidget(m_placeholder);
}

void FileWorkspace::showContent(const QString& file, const QString& root, const QString& accessiblePrefix) {
    const QString caption = m_controller->previewCaption(file, root);
    m_caption->setText(caption);
    m_caption->setAccessibleName(accessiblePrefix + caption);
    m_stack->setCurrentWidget(m_content);
}

} // namespace kestrion
