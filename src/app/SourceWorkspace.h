#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QStackedWidget;

namespace kestrion {

class AppSettings;
class DetailWorkspaceController;
class MultilineTextView;
class PreviewPlaceholder;
class WindowState;

// The Source tab: a placeholder when there is nothing to edit, else the file's
// caption, the "Unsaved changes" note with "Save" (Ctrl+S), the last error and
// a monospaced plain-text editor bound to the window state's source document.
class SourceWorkspace final : public QWidget {
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
    static inline const QString unsavedChangesText = QStringLiteral("Unsaved changes");

    SourceWorkspace(AppSettings* settings, WindowState* state, DetailWorkspaceController* controller,
                    QWidget* parent = nullptr);

    // The question asked before unsaved edits are dropped; true when the user chose "Discard".
    static bool askToDiscardEdits(QWidget* parent, const QString& fileName);

    PreviewPlaceholder* placeholder() const { return m_placeholder; }
    bool isShowingPlaceholder() const;
    QLabel* captionLabel() const { return m_caption; }
    QLabel* unsavedLabel() const { return m_unsaved; }
    QPushButton* saveButton() const { return m_saveButton; }
    QLabel* errorLabel() const { return m_error; }
    MultilineTextView* editor() const { return m_editor; }

private:
    void scheduleUpdate();
    void updateContent();
    void updateEditorFromState();
    void updateSaveRow();

    AppSettings* m_settings;
    WindowState* m_state;
    DetailWorkspaceController* m_controller;
    QStackedWidget* m_stack;
    PreviewPlaceholder* m_placeholder;
    QWidget* m_content;
    QLabel* m_caption;
    QLabel* m_unsaved;
    QPushButton* m_saveButton;
    QLabel* m_error;
    MultilineTextView* m_editor;
    // The editor's own last text, to tell its echo from a load.
    QString m_textFromEditor;
    bool m_loadingEditor = false;
    bool m_updateScheduled = false;
};

} // namespace kestrion
