#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QStackedWidget;
class QToolButton;

namespace kestrion {

class AppSettings;
class ContentSizedTreeView;
class OutputFolderFileTreeModel;
class WindowState;

// The sidebar's website files: the scan's status line with a refresh button,
// then a spinner while the folder is scanned, a note when there is no folder
// or it is empty, else the tree. A click (or Return) on a folder opens or
// closes it; on a page the preview can show, it opens that page in the preview.
class FilesSection final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FilesSection)

public:
    FilesSection(AppSettings* settings, OutputFolderFileTreeModel* tree, WindowState* state, QWidget* parent);

    // Asked before a click on a file takes effect; false cancels it.
    void setSelectionGuard(std::function<bool(const QString& relativePath)> guard);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateFilesArea();
    void activateFileRow(const QModelIndex& index);

    AppSettings* m_settings;
    OutputFolderFileTreeModel* m_tree;
    WindowState* m_state;
    QLabel* m_statusLabel = nullptr;
    QToolButton* m_refreshButton = nullptr;
    QStackedWidget* m_filesStack = nullptr;
    ContentSizedTreeView* m_fileTree = nullptr;
    std::function<bool(const QString&)> m_selectionGuard;
};

} // namespace kestrion
