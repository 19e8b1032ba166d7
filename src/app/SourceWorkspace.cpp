#include "app/SourceWorkspace.h"

#include "app/DetailWorkspaceController.h"
#include "app/MultilineTextView.h"
#include "app/WidgetStyle.h"
#include "app/WindowState.h"
#include "workspace/OutputIndexFile.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrion {

SourceWorkspace::SourceWorkspace(AppSettings* settings, WindowState* state, DetailWorkspaceController* controller,
                                 QWidget* parent)
    : FileWorkspace(settings, state, controller, {noDirectoryTitle, noDirectorySubtitle, nothingTitle, nothingSubtitle},
                    parent),
      m_unsaved(new QLabel(unsavedChangesText, content())),
      m_saveButton(new QPushButton(QStringLiteral("Save"), content())), m_error(new QLabel(content())),
      m_editor(new MultilineTextView(content())) {
    setAccessibleName(QStringLiteral("Source"));
    const QFont caption = captionFont();
    captionLabel()->setForegroundRole(QPalette::PlaceholderText);

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

    const QFont mono = WidgetStyle::sourceFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont).pointSizeF());
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

    contentLayout()->addLayout(saveRow);
    auto* errorHolder = new QVBoxLayout;
    errorHolder->setContentsMargins(12, 4, 12, 0);
    errorHolder->addWidget(m_error);
    contentLayout()->addLayout(errorHolder);
    auto* editorHolder = new QVBoxLayout;
    editorHolder->setContentsMargins(8, 8, 8, 8);
    editorHolder->addWidget(m_editor);
    contentLayout()->addLayout(editorHolder, 1);

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

void SourceWorkspace::showFile(const QString& file, const QString& root) {
    if (!OutputIndexFile::isSourceEditableFileURL(file)) {
        showPlaceholder(noSourceTitle, noSourceSubtitle);
        return;
    }
    // The controller loads the file; until it has, the content page shows.
    const auto& loaded = m_controller->sourceFile();
    if (m_controller->isSourceTooLarge() && loaded && *loaded == QDir::cleanPath(QFileInfo(file).absoluteFilePath())) {
        showPlaceholder(tooLargeTitle, tooLargeSubtitle);
        return;
    }
    showContent(file, root, QStringLiteral("Editing "));
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
