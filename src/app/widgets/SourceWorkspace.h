#pragma once

#include "app/widgets/FileWorkspace.h"

class QFrame;
class QLabel;
class QPushButton;

namespace kestrion {

class MultilineTextView;

// The Source tab: a placeholder when there is nothing to edit, else the file's
// caption, the "Unsaved changes" note with "Save" (Ctrl+S), the last error, a
// bar reporting a change on disk under unsaved edits, and a monospaced
// plain-text editor bound to the window state's source document.
class SourceWorkspace final : public FileWorkspace {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SourceWorkspace)

public:
    static inline const QString noDirectoryTitle =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::SourceWorkspace", "No website directory"));
    static inline const QString noDirectorySubtitle = QStringLiteral(
        QT_TRANSLATE_NOOP("kestrion::SourceWorkspace", "Choose a website directory in Settings, then open an HTML or "
                                                       "CSS file from Website Files to edit its source."));
    static inline const QString nothingTitle =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::SourceWorkspace", "Nothing to edit"));
    static inline const QString nothingSubtitle = QStringLiteral(QT_TRANSLATE_NOOP(
        "kestrion::SourceWorkspace",
        "Add index.htm or index.html at the website directory root, or click an HTML or CSS file in Website Files."));
    static inline const QString noSourceTitle =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::SourceWorkspace", "No source for this file"));
    static inline const QString noSourceSubtitle = QStringLiteral(
        QT_TRANSLATE_NOOP("kestrion::SourceWorkspace",
                          "Source editing is available for HTML and CSS files. Select one in Website Files, or add "
                          "index.htm / index.html at the website directory root."));
    static inline const QString tooLargeTitle =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::SourceWorkspace", "File too large"));
    static inline const QString tooLargeSubtitle = QStringLiteral(
        QT_TRANSLATE_NOOP("kestrion::SourceWorkspace", "This file is too large to edit here (over 16 MiB)."));
    static inline const QString unsavedChangesText =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::SourceWorkspace", "Unsaved changes"));
    static inline const QString changedOnDiskText =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::SourceWorkspace", "This file was changed on disk."));
    static inline const QString deletedOnDiskText =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::SourceWorkspace", "This file was deleted on disk."));
    static inline const QString reloadFromDiskText =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::SourceWorkspace", "Reload from disk"));
    static inline const QString keepMyVersionText =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::SourceWorkspace", "Keep my version"));

    SourceWorkspace(AppSettings* settings, WindowState* state, DetailWorkspaceController* controller,
                    QWidget* parent = nullptr);

    // The question asked before unsaved edits are dropped; true when the user chose "Discard".
    static bool askToDiscardEdits(QWidget* parent, const QString& fileName);
    // The question asked before a save replaces a file changed (or deleted) on
    // disk since it was loaded; true when the user chose "Overwrite".
    static bool askToOverwrite(QWidget* parent, const QString& fileName, bool deleted);

protected:
    std::optional<QString> fileToShow(const QString& root) const override;
    void showFile(const QString& file, const QString& root) override;

private:
    void updateEditorFromState();
    void updateSaveRow();
    void updateDiskChangeBar();
    QString sourceFileName() const;

    QLabel* m_unsaved;
    QPushButton* m_saveButton;
    QLabel* m_error;
    QFrame* m_diskBar;
    QLabel* m_diskLabel;
    MultilineTextView* m_editor;
    // The editor's own last text, to tell its echo from a load.
    QString m_textFromEditor;
    bool m_loadingEditor = false;
};

} // namespace kestrion
