#include "app/SourceWorkspace.h"

#include "app/DetailWorkspaceController.h"
#include "app/MultilineTextView.h"
#include "app/PreviewPlaceholder.h"
#include "app/WindowState.h"
#include "conversation/AppSettings.h"
#include "workspace/OutputIndexFile.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace kestrion {

SourceWorkspace::SourceWorkspace(AppSettings* settings, WindowState* state, DetailWorkspaceController* controller,
                                 QWidget* parent)
    : QWidget(parent), m_settings(settings), m_state(state), m_controller(controller),
      m_stack(new QStackedWidget(this)), m_placeholder(new PreviewPlaceholder(m_stack)),
      m_content(new QWidget(m_stack)), m_caption(new QLabel(m_content)),
      m_unsaved(new QLabel(unsavedChangesText, m_content)),
      m_saveButton(new QPushButton(QStringLiteral("Save"), m_content)), m_error(new QLabel(m_content)),
      m_editor(new MultilineTextView(m_content)) {
    setAccessibleName(QStringLiteral("Source"));
    QFont caption = font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);

    m_caption->setFont(caption);
    m_caption->setForegroundRole(QPalette::PlaceholderText);
    m_caption->setTextFormat(Qt::PlainText);
    m_caption->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_caption->setContentsMargins(12, 6, 12, 6);

    auto* divider = new QFrame(m_content);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);

    m_unsaved->setFont(caption);
    m_unsaved->setForegroundRole(QPalette::PlaceholderText);
    m_unsaved->setAccessibleName(unsavedChangesText);
    m_saveButton->setShortcut(QKeySequence::Save);
    m_saveButton->setToolTip(
        QStringLiteral("Save (%1)").arg(QKeySequence(QKeySequence::Save).toString(QKeySequence::NativeText)));
    m_saveButton->setAccessibleName(QStringLiteral("Save"));
    m_saveButton->setIcon(QIcon::fromTheme(QStringLiteral("document-save")));
    connect(m_saveButton, &QPushButton::clicked, m_controller, &DetailWorkspaceController::saveSource);

    m_error->setFont(caption);
    m_error->setStyleSheet(QStringLiteral("color: #d70015;"));
    m_error->setWordWrap(true);
    m_error->setTextFormat(Qt::PlainText);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_error->setFocusPolicy(Qt::TabFocus);

    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(QFontDatabase::systemFont(QFontDatabase::GeneralFont).pointSizeF());
    mono.setWeight(QFont::Normal);
    m_editor->setFont(mono);
    m_editor->setAccessibleName(QStringLiteral("Source editor"));
    m_editor->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_editor->setTabStopDistance(QFontMetricsF(mono).horizontalAdvance(QLatin1Char(' ')) * 4);

    auto* saveRow = new QHBoxLayout;
    saveRow->setContentsMargins(12, 6, 12, 0);
    saveRow->addWidget(m_unsaved);
    saveRow->addStretch(1);
    saveRow->addWidget(m_saveButton);

    auto* contentLayout = new QVBoxLayout(m_content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->setSpacing(0);
    contentLayout->addWidget(m_caption);
    contentLayout->addWidget(divider);
    contentLayout->addLayout(saveRow);
    auto* errorHolder = new QVBoxLayout;
    errorHolder->setContentsMargins(12, 4, 12, 0);
    errorHolder->addWidget(m_error);
    contentLayout->addLayout(errorHolder);
    auto* editorHolder = new QVBoxLayout;
    editorHolder->setContentsMargins(8, 8, 8, 8);
    editorHolder->addWidget(m_editor);
    contentLayout->addLayout(editorHolder, 1);

    m_stack->addWidget(m_placeholder);
    m_stack->addWidget(m_content);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);

    connect(m_editor, &MultilineTextView::textEdited, this, [this](const QString& text) {
        if (m_loadingEditor) {
            return;
        }
        m_textFromEditor = text;
        m_state->setPreviewSourceDocument(text);
    });
    connect(m_state, &WindowState::previewSourceDocumentChanged, this, [this] {
        updateEditorFromState();
        updateSaveRow();
    });
    connect(m_state, &WindowState::previewSourceBaselineChanged, this, &SourceWorkspace::updateSaveRow);
    connect(m_state, &WindowState::previewSourceSaveErrorChanged, this, &SourceWorkspace::updateSaveRow);
    connect(m_state, &WindowState::previewReloadNonceChanged, this, &SourceWorkspace::scheduleUpdate);
    connect(m_state, &WindowState::previewSelectedRelativePathChanged, this, &SourceWorkspace::scheduleUpdate);
    connect(m_state, &WindowState::detailWorkspaceTabChanged, this, &SourceWorkspace::scheduleUpdate);
    connect(m_settings, &AppSettings::outputDirectoryURLChanged, this, &SourceWorkspace::scheduleUpdate);
    connect(m_controller, &DetailWorkspaceController::sourceFileChanged, this, &SourceWorkspace::scheduleUpdate);

    m_controller->setDiscardPrompt([this] {
        const auto file = m_controller->sourceFile();
        return askToDiscardEdits(window(), file ? QFileInfo(*file).fileName() : QString());
    });

    updateEditorFromState();
    updateSaveRow();
    updateContent();
}

bool SourceWorkspace::askToDiscardEdits(QWidget* parent, const QString& fileName) {
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(unsavedChangesText);
    box.setText(fileName.isEmpty() ? QStringLiteral("Discard your unsaved changes?")
                                   : QStringLiteral("Discard your unsaved changes to %1?").arg(fileName));
    box.setInformativeText(QStringLiteral("They were not saved. Cancel to keep editing and save them first."));
    QPushButton* discard = box.addButton(QStringLiteral("Discard"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == discard;
}

bool SourceWorkspace::isShowingPlaceholder() const {
    return m_stack->currentWidget() == m_placeholder;
}

void SourceWorkspace::scheduleUpdate() {
    if (m_updateScheduled) {
        return;
    }
    m_updateScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_updateScheduled = false;
        updateContent();
    });
}

void SourceWorkspace::updateContent() {
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
    if (!OutputIndexFile::isSourceEditableFileURL(*file)) {
        m_placeholder->setTexts(noSourceTitle, noSourceSubtitle);
        m_stack->setCurrentWidget(m_placeholder);
        return;
    }
    const QString caption = m_controller->previewCaption(*file, *root);
    m_caption->setText(caption);
    m_caption->setAccessibleName(QStringLiteral("Editing ") + caption);
    m_stack->setCurrentWidget(m_content);
}

void SourceWorkspace::updateEditorFromState() {
    const QString& document = m_state->previewSourceDocument();
    if (document == m_textFromEditor) {
        return; // the editor's own edit coming back
    }
    // A load: shown as it is, without writing the editor's rendering of it back
    // (which would turn CR LF line ends into LF and mark a fresh file as edited).
    m_loadingEditor = true;
    m_editor->setPlainText(document);
    m_loadingEditor = false;
    m_textFromEditor = document;
}

void SourceWorkspace::updateSaveRow() {
    const bool dirty = m_state->isPreviewSourceDirty();
    m_unsaved->setVisible(dirty);
    m_saveButton->setEnabled(dirty);
    const auto& error = m_state->previewSourceSaveError();
    m_error->setText(error.value_or(QString()));
    m_error->setAccessibleName(error.value_or(QString()));
    m_error->setVisible(error.has_value());
}

} // namespace kestrion
