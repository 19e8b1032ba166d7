#include "app/MainWindow.h"

#include "app/AppContext.h"
#include "app/AppIcon.h"
#include "app/DetailWorkspaceController.h"
#include "app/SiteBinding.h"
#include "app/TabOrder.h"
#include "app/WindowState.h"
#include "app/widgets/ChatPane.h"
#include "app/widgets/DetailPane.h"
#include "app/widgets/LaunchSection.h"
#include "app/widgets/MultilineTextView.h"
#include "app/widgets/PreferencesDialog.h"
#include "app/widgets/PreviewWorkspace.h"
#include "app/widgets/Sidebar.h"
#include "app/widgets/SourceWorkspace.h"
#include "app/widgets/WidgetStyle.h"
#include "conversation/ChatViewModel.h"
#include "openai/ModelCatalog.h"
#include "settings/AppSettings.h"
#include "workspace/OutputFolderFileTreeModel.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QSplitter>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QWindowStateChangeEvent>

namespace kestrion {

MainWindow::MainWindow(AppContext& context, WebPreviewFactory makeWebPreview, QWidget* parent)
    : QMainWindow(parent), m_context(context), m_state(new WindowState(this)) {
    m_state->setObjectName(QStringLiteral("windowState"));
    setWindowTitle(title);
    setWindowIcon(AppIcon::icon());
    resize(900, 700);

    AppSettings* settings = context.settings();
    // Before the views: whatever they do on a change of directory sees it already bound.
    m_siteBinding = new SiteBinding(settings, context.chat(), context.fileTree(), m_state, this);
    m_sidebar = new Sidebar(settings, context.chat(), context.fileTree(), m_state, this);
    m_sidebar->setObjectName(QStringLiteral("sidebar"));
    m_sidebar->setMinimumWidth(sidebarMinimumWidth);
    m_sidebar->setMaximumWidth(sidebarMaximumWidth);
    buildDetailPane(std::move(makeWebPreview));
    buildColumns();
    buildMenus();
    m_sidebar->setLaunchSection(
        new LaunchSection(settings, context.chat(), m_state, context.deployProgress(), context.deploy()));
}

MainWindow::~MainWindow() = default;

void MainWindow::buildDetailPane(WebPreviewFactory makeWebPreview) {
    AppSettings* settings = m_context.settings();
    m_chatPane = new ChatPane(m_context.chat(), settings, this);
    m_chatPane->setObjectName(QStringLiteral("chatPane"));
    m_chatPane->setModelCatalog(m_context.modelCatalog());
    connect(m_chatPane, &ChatPane::preferencesRequested, this, &MainWindow::showPreferences);
    connect(m_chatPane, &ChatPane::chooseFolderRequested, m_sidebar, &Sidebar::pickOutputFolder);
    connect(m_chatPane, &ChatPane::folderCreated, this,
            [this] { m_context.fileTree()->refresh(m_context.settings()->outputDirectoryPath()); });

    auto* controller = new DetailWorkspaceController(settings, m_state, this);
    auto* preview = new PreviewWorkspace(settings, m_state, controller, std::move(makeWebPreview));
    preview->setObjectName(QStringLiteral("previewWorkspace"));
    handPreviewTextToComposer(preview);
    auto* source = new SourceWorkspace(settings, m_state, controller);
    source->setObjectName(QStringLiteral("sourceWorkspace"));
    // Unsaved source edits are not dropped without asking.
    m_sidebar->setSelectionGuard(
        [controller](const QString& relativePath) { return controller->confirmSelectionChange(relativePath); });
    m_sidebar->setDirectoryGuard(
        [controller](const QString& directory) { return controller->confirmDirectoryChange(directory); });

    m_detailPane = new DetailPane(m_state, m_chatPane, preview, source, this);
    m_detailPane->setMinimumWidth(360);
}

void MainWindow::handPreviewTextToComposer(PreviewWorkspace* preview) {
    ChatViewModel* chat = m_context.chat();
    const auto toComposer = [this, chat](const QString& text) {
        chat->setInput(text);
        m_state->setDetailWorkspaceTab(DetailWorkspaceTab::Create);
        MultilineTextView* composer = m_chatPane->composer();
        composer->setFocus(Qt::OtherFocusReason);
        composer->moveCursor(QTextCursor::End);
    };
    connect(preview, &PreviewWorkspace::askToFix, this, [chat, toComposer](const QString& message) {
        const QString draft = chat->input().trimmed();
        toComposer(draft.isEmpty() ? message : draft + QStringLiteral("\n\n") + message);
    });
    connect(preview, &PreviewWorkspace::elementPicked, this,
            [chat, toComposer](const QString& reference) { toComposer(reference + chat->input()); });
}

void MainWindow::buildColumns() {
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("columns"));
    m_splitter->setChildrenCollapsible(true);
    m_splitter->addWidget(m_sidebar);
    m_splitter->addWidget(m_detailPane);
    m_splitter->setCollapsible(0, true);
    m_splitter->setCollapsible(1, false);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({sidebarIdealWidth, 900 - sidebarIdealWidth});
    m_splitter->setHandleWidth(1);
    setCentralWidget(m_splitter);

    // A drag below the minimum collapses the splitter's first column to 0:
    // that is the same "dragged too narrow" gesture, so it closes the sidebar.
    connect(m_splitter, &QSplitter::splitterMoved, this, [this] {
        if (m_columnVisibility == ColumnVisibility::All) {
            sidebarWidthReported(m_splitter->sizes().value(0));
        }
    });
    connect(m_sidebar, &Sidebar::widthReported, this, &MainWindow::sidebarWidthReported);

    m_toggleSidebarAction = new QAction(this);
    m_toggleSidebarAction->setObjectName(QStringLiteral("toggleSidebar"));
    m_toggleSidebarAction->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
    m_toggleSidebarAction->setIcon(
        WidgetStyle::themedIcon({QStringLiteral("sidebar-show"), QStringLiteral("view-split-left-right")},
                                QStyle::SP_FileDialogDetailedView, style()));
    connect(m_toggleSidebarAction, &QAction::triggered, this, [this] {
        setColumnVisibility(m_columnVisibility == ColumnVisibility::All ? ColumnVisibility::DetailOnly
                                                                        : ColumnVisibility::All);
    });
    m_sidebarButton = new QToolButton(this);
    m_sidebarButton->setDefaultAction(m_toggleSidebarAction);
    m_sidebarButton->setAutoRaise(true);
    m_detailPane->setLeadingControl(m_sidebarButton);
    updateToggleSidebarAction();
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* preferences = file->addAction(QIcon::fromTheme(QStringLiteral("preferences-system")), tr("Preferences…"));
    preferences->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    preferences->setMenuRole(QAction::PreferencesRole);
    connect(preferences, &QAction::triggered, this, &MainWindow::showPreferences);
    file->addSeparator();
    QAction* quit = file->addAction(QIcon::fromTheme(QStringLiteral("application-exit")), tr("&Quit"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);
    // Closing the window saves and ends the application (it is the only window).
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(m_toggleSidebarAction);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    QAction* about = help->addAction(QIcon::fromTheme(QStringLiteral("help-about")), tr("&About"));
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, [this] {
        QMessageBox::about(this, tr("About %1").arg(title),
                           tr("<h3>%1</h3><p>Version %2</p><p>Build a static website by chatting with a "
                              "language model: describe the site, and the files appear in your "
                              "website directory, committed with git.</p>")
                               .arg(title.toHtmlEscaped(), QCoreApplication::applicationVersion().toHtmlEscaped()));
    });
}

void MainWindow::showPreferences() {
    if (!m_preferences) {
        m_preferences = new PreferencesDialog(m_context.settings(), m_context.modelCatalog(), this);
    }
    m_preferences->show();
    m_preferences->raise();
    m_preferences->activateWindow();
}

void MainWindow::setColumnVisibility(ColumnVisibility visibility) {
    if (visibility == m_columnVisibility) {
        return;
    }
    m_columnVisibility = visibility;
    if (visibility == ColumnVisibility::All) {
        // Reopening passes through narrow widths; the snap-closed rule must not
        // fire on them, so it rests for a moment.
        m_suppressSidebarSnapClosed = true;
        QTimer::singleShot(snapSuppressionMs, this, [this] { m_suppressSidebarSnapClosed = false; });
        m_sidebar->show();
        const int total = m_splitter->width();
        m_splitter->setSizes({sidebarIdealWidth, std::max(0, total - sidebarIdealWidth)});
    } else {
        m_sidebar->hide();
    }
    updateToggleSidebarAction();
    Q_EMIT columnVisibilityChanged(visibility);
}

void MainWindow::sidebarWidthReported(int width) {
    if (m_suppressSidebarSnapClosed || m_columnVisibility != ColumnVisibility::All || m_sidebar->isHidden()) {
        return;
    }
    // A collapsed splitter column reports 0: the user dragged it shut.
    const bool collapsedByDrag = width == 0 && m_splitter->sizes().value(0) == 0 && isVisible();
    if (collapsedByDrag || (width > snapClosedFloor && width < sidebarMinimumWidth)) {
        setColumnVisibility(ColumnVisibility::DetailOnly);
    }
}

void MainWindow::updateToggleSidebarAction() {
    const bool shown = m_columnVisibility == ColumnVisibility::All;
    m_toggleSidebarAction->setText(shown ? tr("Hide Sidebar") : tr("Show Sidebar"));
    m_toggleSidebarAction->setToolTip(shown ? tr("Hide Sidebar") : tr("Show Sidebar"));
    m_sidebarButton->setAccessibleName(m_toggleSidebarAction->text());
}

void MainWindow::saveConversation() {
    m_context.chat()->saveToDisk();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && m_shownOnce) {
        saveConversation();
    } else if (event->type() == QEvent::WindowStateChange && isMinimized()) {
        saveConversation();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    saveConversation();
    // Closing the window may end the app: nothing queued may be lost.
    m_context.chat()->flushSaves();
    // The only window: once it closes the application ends normally (status 0).
    event->accept();
}

bool MainWindow::focusNextPrevChild(bool next) {
    QWidget* target = TabOrder::neighbour(this, QApplication::focusWidget(), next);
    if (!target) {
        return QMainWindow::focusNextPrevChild(next);
    }
    target->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    for (QWidget* parent = target->parentWidget(); parent; parent = parent->parentWidget()) {
        if (auto* area = qobject_cast<QScrollArea*>(parent)) {
            area->ensureWidgetVisible(target);
        }
    }
    return true;
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        m_siteBinding->start();
        // A scroll area around controls is a container: Tab goes to what it holds.
        for (QScrollArea* area : findChildren<QScrollArea*>()) {
            if (area->widget()) {
                area->setFocusPolicy(Qt::NoFocus);
            }
        }
        // What the configured server offers; without a key nothing is sent.
        m_context.modelCatalog()->refresh();
        raise();
        activateWindow();
    }
}

} // namespace kestrion
