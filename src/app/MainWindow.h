#pragma once

#include <QMainWindow>
#include <functional>

class QAction;
class QSplitter;
class QToolButton;

namespace kestrion {

class AppSettings;
class ChatPane;
class ChatViewModel;
class DetailPane;
class LaunchDeployProgressModel;
class ModelCatalog;
class OutputFolderFileTreeModel;
class Sidebar;
class SiteBinding;
class WindowState;

// The application's single window: the sidebar and the detail column side by
// side. Owns the conversation controller (unless one is handed in), the file
// tree model, the launch progress model and the shared view state; saves the
// conversation whenever the window is left (deactivated, minimised, closed)
// and when the application quits.
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

    // settings: shared, must outlive the window. chat: nullptr creates one owned by the window.
    explicit MainWindow(AppSettings* settings, ChatViewModel* chat = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    ChatViewModel* chat() const { return m_chat; }
    OutputFolderFileTreeModel* outputTree() const { return m_outputTree; }
    LaunchDeployProgressModel* deployLaunchProgress() const { return m_deployLaunchProgress; }
    WindowState* viewState() const { return m_state; }
    AppSettings* settings() const { return m_settings; }
    ModelCatalog* modelCatalog() const { return m_modelCatalog; }
    Sidebar* sidebar() const { return m_sidebar; }
    ChatPane* chatPane() const { return m_chatPane; }
    DetailPane* detailPane() const { return m_detailPane; }
    QSplitter* splitter() const { return m_splitter; }
    QAction* toggleSidebarAction() const { return m_toggleSidebarAction; }

    ColumnVisibility columnVisibility() const { return m_columnVisibility; }
    void setColumnVisibility(ColumnVisibility visibility);
    bool isSidebarSnapSuppressed() const { return m_suppressSidebarSnapClosed; }
    // The snap-closed rule for one reported sidebar width.
    void sidebarWidthReported(int width);

    // The "Preferences…" menu entry (Ctrl+,) appears once a handler is set.
    void setPreferencesHandler(std::function<void()> handler);

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
    void buildMenus();
    void updateToggleSidebarAction();

    AppSettings* m_settings;
    ChatViewModel* m_chat;
    OutputFolderFileTreeModel* m_outputTree;
    LaunchDeployProgressModel* m_deployLaunchProgress;
    WindowState* m_state;
    ModelCatalog* m_modelCatalog;
    SiteBinding* m_siteBinding = nullptr;
    Sidebar* m_sidebar = nullptr;
    ChatPane* m_chatPane = nullptr;
    DetailPane* m_detailPane = nullptr;
    QSplitter* m_splitter = nullptr;
    QToolButton* m_sidebarButton = nullptr;
    QAction* m_toggleSidebarAction = nullptr;
    QAction* m_preferencesAction = nullptr;
    std::function<void()> m_preferencesHandler;
    ColumnVisibility m_columnVisibility = ColumnVisibility::All;
    bool m_suppressSidebarSnapClosed = false;
    bool m_shownOnce = false;
};

} // namespace kestrion
