#pragma once

#include "app/FileWorkspace.h"

class QLabel;
class QPushButton;

namespace kestrion {

class MultilineTextView;

// The Source tab: a placeholder when there is nothing to edit, else the file's
// caption, the "Unsaved changes" note with "Save" (Ctrl+S), the last error and
// a monospaced plain-text editor bound to the window state's source document.
class SourceWorkspace final : public FileWorkspace {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SourceWorkspace)

public:
    static inline const QString noDirectoryTitle = QStringLiteral("No website directory");
    static inline const QString noDirectorySubtitle = QStringLiteral(
        "Choose a website directory in Settings, then open an HTML or CSS file from Website Files to edit its source.");
    static inline const QString nothingTitle = QStringLiteral("Nothing to edit");
    static inline const QString nothingSubtitle = QStringLiteral(
        "Add index.htm or index.html at the website directory root, or click an HTML or CSS file in Website Files.");
    static inline const QString noSourceTitle = QStringLiteral("No source for this file");
    static inline const QString noSourceSubtitle =
        QStringLiteral("Source editing is available for HTML and CSS files. Select one in Website Files, or add "
                       "index.htm / index.html at the website directory root.");
    static inline const QString tooLargeTitle = QStringLiteral("File too large");
    static inline const QString tooLargeSubtitle = QStringLiteral("This file is too large to edit here (over 16 MiB).");
    static inline const QString unsavedChangesText = QStringLiteral("Unsaved changes");

    SourceWorkspace(AppSettings* settings, WindowState* state, DetailWorkspaceController* controller,
                    QWidget* parent = nullptr);

    // The question asked before unsaved edits are dropped; true when the user chose "Discard".
    static bool askToDiscardEdits(QWidget* parent, const QString& fileName);

    QLabel* unsavedLabel() const { return m_unsaved; }
    QPushButton* saveButton() const { return m_saveButton; }
    QLabel* errorLabel() const { return m_error; }
    MultilineTextView* editor() const { return m_editor; }

protected:
    void showFile(const QString& file, const QString& root) override;

private:
    void updateEditorFromState();
    void updateSaveRow();

    QLabel* m_unsaved;
    QPushButton* m_saveButton;
    QLabel* m_error;
    MultilineTextView* m_editor;
    // The editor's own last text, to tell its echo from a load.
    QString m_textFromEditor;
    bool m_loadingEditor = false;
};

} // namespace kestrion
