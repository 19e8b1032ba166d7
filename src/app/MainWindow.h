#pragma once

#include "preview/WebPreview.h"

#include <QMainWindow>
#include <QPointer>

class QAction;
class QSplitter;
class QToolButton;

namespace kestrion {

class AppContext;
class ChatPane;
class DetailPane;
class PreferencesDialog;
class PreviewWorkspace;
class Sidebar;
class SiteBinding;
class WindowState;

// The application's single window: the sidebar and the detail column (Create,
// Preview and Source) side by side, built over the services of an AppContext,
// none of which it owns. Its view state (WindowState) is shared by the sidebar,
// the tabs and the launch section. Saves the conversation whenever the window
// is left (deactivated, minimised, closed).
class MainWindow final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    enum class ColumnVisibility { All, DetailOnly };

    static inline const QString title = QStringLiteral("Kestrion Magic Website Builder");
    static constexpr int sidebarMinimumWidth = 250;
    static constexpr int sidebarIdealWidth = 320;
    static constexpr int sidebarMaximumWidth = 560;
    // Narrower than this (but not hidden) the sidebar snaps closed.
    static constexpr int snapClosedFloor = 12;
    static constexpr int snapSuppressionMs = 280;

    // context: shared, must outlive the window. makeWebPreview: makes the Preview tab's page;
    // without it the tab shows no pages.
    explicit MainWindow(AppContext& context, WebPreviewFactory makeWebPreview = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    ColumnVisibility columnVisibility() const { return m_columnVisibility; }
    void setColumnVisibility(ColumnVisibility visibility);
    bool isSidebarSnapSuppressed() const { return m_suppressSidebarSnapClosed; }
    // The snap-closed rule for one reported sidebar width.
    void sidebarWidthReported(int width);

    // Copies the visible messages into the active session and writes the history.
    void saveConversation();

Q_SIGNALS:
    void columnVisibilityChanged(kestrion::MainWindow::ColumnVisibility visibility);

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Tab and Shift+Tab follow the reading order (see TabOrder).
    bool focusNextPrevChild(bool next) override;

private:
    // File → Preferences… (Ctrl+,) and the panes' "Open Preferences…": one dialog, made when
    // first asked for and kept.
    void showPreferences();
    // The detail column: the chat pane and the Preview and Source tabs over one controller.
    void buildDetailPane(WebPreviewFactory makeWebPreview);
    // The preview's "Ask to fix" and picked elements become text in the composer of the
    // current chat; only the user sends it.
    void handPreviewTextToComposer(PreviewWorkspace* preview);
    // The sidebar and the detail column side by side, and the sidebar's toggle.
    void buildColumns();
    void buildMenus();
    void updateToggleSidebarAction();

    AppContext& m_context;
    WindowState* m_state;
    SiteBinding* m_siteBinding = nullptr;
    Sidebar* m_sidebar = nullptr;
    ChatPane* m_chatPane = nullptr;
    DetailPane* m_detailPane = nullptr;
    QSplitter* m_splitter = nullptr;
    QToolButton* m_sidebarButton = nullptr;
    QAction* m_toggleSidebarAction = nullptr;
    QPointer<PreferencesDialog> m_preferences;
    ColumnVisibility m_columnVisibility = ColumnVisibility::All;
    bool m_suppressSidebarSnapClosed = false;
    bool m_shownOnce = false;
};

} // namespace kestrion
