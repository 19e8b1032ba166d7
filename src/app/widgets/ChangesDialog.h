#pragma once

#include "generation/TurnGit.h"

#include <QDialog>

class QLabel;
class QListWidget;
class QStackedWidget;
class QTextEdit;

namespace kestrion {

// A read-only view of what one turn's commit changed in the site: the files on the left, the
// selected file's diff on the right with added lines green and removed lines red, or a picture
// before and after. The changes are read off the interface thread once the dialog opens.
class ChangesDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChangesDialog)

public:
    ChangesDialog(const QString& root, const QString& commit, QWidget* parent = nullptr);

    bool isLoaded() const { return m_loaded; }

    // Shows the changes (the dialog does this itself when they have been read).
    void show(const TurnGit::Changes& changes);

Q_SIGNALS:
    void loaded();

private:
    void showFile(int row);

    // "Reading the changes…", or why there are none to show.
    QLabel* m_message;
    QListWidget* m_files;
    QStackedWidget* m_pages;
    QTextEdit* m_diff;
    QLabel* m_before;
    QLabel* m_after;
    TurnGit::Changes m_changes;
    bool m_loaded = false;
};

} // namespace kestrion
