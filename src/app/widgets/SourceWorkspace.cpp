#include "app/widgets/SourceWorkspace.h"

#include "app/DetailWorkspaceController.h"
#include "app/WindowState.h"
#include "app/widgets/MultilineTextView.h"
#include "app/widgets/WidgetStyle.h"
#include "settings/AppSettings.h"
#include "workspace/OutputIndexFile.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrion {

SourceWorkspace::SourceWorkspace(AppSettings* settings, WindowState* state, DetailWorkspaceController* controller,
                                 QWidget* parent)
    : FileWorkspace(settings, state, controller,
                    {tr(qUtf8Printable(noDirectoryTitle)), tr(qUtf8Printable(noDirectorySubtitle)),
                     tr(qUtf8Printable(nothingTitle)), tr(qUtf8Printable(nothingSubtitle))},
                    parent),
      m_unsaved(new QLabel(tr(qUtf8Printable(unsavedChangesText)), content())),
      m_saveButton(new QPushButton(tr("Save"), content())), m_error(new QLabel(content())),
      m_diskBar(new QFrame(content())), m_diskLabel(new QLabel(m_diskBar)), m_editor(new MultilineTextView(content())) {
    setAccessibleName(tr("Source"));
    const QFont caption = captionFont();
    captionLabel()->setForegroundRole(QPalette::PlaceholderText);
    // The names the tools that drive or inspect the window find these controls by.
    m_unsaved->setObjectName(QStringLiteral("unsavedLabel"));
    m_saveButton->setObjectName(QStringLiteral("saveButton"));
    m_error->setObjectName(QStringLiteral("errorLabel"));
    m_diskLabel->setObjectName(QStringLiteral("diskChangeLabel"));
    m_editor->setObjectName(QStringLiteral("sourceEditor"));

    m_unsaved->setFont(caption);
    m_unsaved->setForegroundRole(QPalette::PlaceholderText);
    m_unsaved->setAccessibleName(tr(qUtf8Printable(unsavedChangesText)));
    m_saveButton->setShortcut(QKeySequence::Save);
    m_saveButton->setToolTip(tr("Save (%1)").arg(QKeySequence(QKeySequence::Save).toString(QKeySequence::NativeText)));
    m_saveButton->setAccessibleName(tr("Save"));
    m_saveButton->setIcon(QIcon::fromTheme(QStringLiteral("document-save")));
    connect(m_saveButton, &QPushButton::clicked, m_controller, &DetailWorkspaceController::saveSource);

    m_error->setFont(caption);
    m_error->setStyleSheet(QStringLiteral("color: #d70015;"));
    m_error->setWordWrap(true);
    m_error->setTextFormat(Qt::PlainText);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_error->setFocusPolicy(Qt::TabFocus);

    // A strip in a warm tint with its own text colour, readable in light and dark themes alike; the
    // style sheet finds it by its name.
    m_diskBar->setObjectName(QStringLiteral("diskChangeBar"));
    m_diskBar->setStyleSheet(QStringLiteral("#diskChangeBar { background: #fff4ce; border: 1px solid #e0b400;"
                                            " border-radius: 6px; } #diskChangeBar QLabel { color: #3d3000; }"));
    m_diskLabel->setWordWrap(true);
    m_diskLabel->setTextFormat(Qt::PlainText);
    m_diskLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    auto* reload = new QPushButton(tr(qUtf8Printable(reloadFromDiskText)), m_diskBar);
    reload->setAccessibleName(tr(qUtf8Printable(reloadFromDiskText)));
    reload->setToolTip(tr("Drop your unsaved changes and show the file as it is on disk"));
    auto* keep = new QPushButton(tr(qUtf8Printable(keepMyVersionText)), m_diskBar);
    keep->setAccessibleName(tr(qUtf8Printable(keepMyVersionText)));
    keep->setToolTip(tr("Keep editing your version; saving replaces the file on disk"));
    connect(reload, &QPushButton::clicked, m_controller, &DetailWorkspaceController::reloadFromDisk);
    connect(keep, &QPushButton::clicked, m_controller, &DetailWorkspaceController::keepEditedVersion);
    auto* barRow = new QHBoxLayout(m_diskBar);
    barRow->setContentsMargins(10, 6, 6, 6);
    barRow->addWidget(m_diskLabel, 1);
    barRow->addWidget(reload);
    barRow->addWidget(keep);

    const QFont mono = WidgetStyle::sourceFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont).pointSizeF());
    m_editor->setFont(mono);
    m_editor->setAccessibleName(tr("Source editor"));
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
    auto* barHolder = new QVBoxLayout;
    barHolder->setContentsMargins(8, 8, 8, 0);
    barHolder->addWidget(m_diskBar);
    contentLayout()->addLayout(barHolder);
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
    connect(m_controller, &DetailWorkspaceController::diskChangeChanged, this, [this] {
        updateDiskChangeBar();
        scheduleUpdate(); // a kept file may give way to the resolved one, or the other way round
    });

    m_controller->setDiscardPrompt([this] { return askToDiscardEdits(window(), sourceFileName()); });
    m_controller->setOverwritePrompt([this] {
        return askToOverwrite(window(), sourceFileName(),
                              m_controller->diskChange() == DetailWorkspaceController::DiskChange::Deleted);
    });

    updateEditorFromState();
    updateSaveRow();
    updateDiskChangeBar();
    updateContent();
}

QString SourceWorkspace::sourceFileName() const {
    const auto& file = m_controller->sourceFile();
    return file ? QFileInfo(*file).fileName() : QString();
}

bool SourceWorkspace::askToDiscardEdits(QWidget* parent, const QString& fileName) {
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(tr(qUtf8Printable(unsavedChangesText)));
    box.setText(fileName.isEmpty() ? tr("Discard your unsaved changes?")
                                   : tr("Discard your unsaved changes to %1?").arg(fileName));
    box.setInformativeText(tr("They were not saved. Cancel to keep editing and save them first."));
    QPushButton* discard = box.addButton(tr("Discard"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == discard;
}

bool SourceWorkspace::askToOverwrite(QWidget* parent, const QString& fileName, bool deleted) {
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(deleted ? tr("File deleted on disk") : tr("File changed on disk"));
    const QString name = fileName.isEmpty() ? tr("This file") : fileName;
    box.setText(deleted ? tr("%1 was deleted on disk after you opened it. Save your version anyway?").arg(name)
                        : tr("%1 was changed on disk after you opened it. Overwrite it with your version?").arg(name));
    box.setInformativeText(deleted ? tr("Cancel to leave it deleted and keep editing.")
                                   : tr("Cancel to keep the file on disk as it is and keep editing."));
    QPushButton* overwrite = box.addButton(tr("Overwrite"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == overwrite;
}

std::optional<QString> SourceWorkspace::fileToShow(const QString& root) const {
    return m_controller->sourceFileToShow(root);
}

void SourceWorkspace::showFile(const QString& file, const QString& root) {
    if (!OutputIndexFile::isSourceEditableFile(file)) {
        showPlaceholder(tr(qUtf8Printable(noSourceTitle)), tr(qUtf8Printable(noSourceSubtitle)));
        return;
    }
    // The controller loads the file; until it has, the content page shows.
    if (m_controller->isTooLargeToEdit(file)) {
        showPlaceholder(tr(qUtf8Printable(tooLargeTitle)), tr(qUtf8Printable(tooLargeSubtitle)));
        return;
    }
    showContent(file, root, tr("Editing "));
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

void SourceWorkspace::updateDiskChangeBar() {
    using DiskChange = DetailWorkspaceController::DiskChange;
    QString text;
    switch (m_controller->diskChange()) {
    case DiskChange::None:
        break;
    case DiskChange::Changed:
        text = tr(qUtf8Printable(changedOnDiskText));
        break;
    case DiskChange::Deleted:
        text = tr(qUtf8Printable(deletedOnDiskText));
        break;
    case DiskChange::Superseded: {
        const auto& instead = m_controller->previewedInstead();
        const auto root = m_settings->outputDirectoryPath();
        text = tr("The preview now shows %1 instead of this file.")
                   .arg(instead && root ? m_controller->previewCaption(*instead, *root) : tr("another file"));
        break;
    }
    }
    m_diskLabel->setText(text);
    m_diskBar->setAccessibleName(text);
    m_diskBar->setVisible(!text.isEmpty());
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
