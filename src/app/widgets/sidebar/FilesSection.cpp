#include "app/widgets/sidebar/FilesSection.h"

#include "app/WindowState.h"
#include "app/widgets/BusyIndicator.h"
#include "app/widgets/WidgetStyle.h"
#include "app/widgets/sidebar/ContentSizedViews.h"
#include "app/widgets/sidebar/FileRowDelegate.h"
#include "app/widgets/sidebar/SidebarStyle.h"
#include "settings/AppSettings.h"
#include "workspace/OutputFolderFileTreeModel.h"
#include "workspace/OutputIndexFile.h"

#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QStackedWidget>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

namespace kestrion {

using WidgetStyle::scaledFont;

namespace {

// The pages of the files stack, in the order they are added.
enum class FilesPage { Loading, NoDirectory, EmptyDirectory, Tree };

} // namespace

FilesSection::FilesSection(AppSettings* settings, OutputFolderFileTreeModel* tree, WindowState* state, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_tree(tree), m_state(state) {
    QVBoxLayout* layout = SidebarStyle::sectionColumn(this, tr("Website Files"), 6);

    auto* statusRow = new QHBoxLayout;
    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName(QStringLiteral("fileTreeStatusLabel"));
    m_statusLabel->setFont(scaledFont(font(), 0.8));
    m_statusLabel->setForegroundRole(QPalette::PlaceholderText);
    m_statusLabel->setWordWrap(true);
    m_refreshButton = new QToolButton(this);
    m_refreshButton->setObjectName(QStringLiteral("fileTreeRefreshButton"));
    m_refreshButton->setIcon(
        WidgetStyle::themedIcon({QStringLiteral("view-refresh")}, QStyle::SP_BrowserReload, style()));
    m_refreshButton->setAutoRaise(true);
    m_refreshButton->setToolTip(tr("Refresh file tree"));
    m_refreshButton->setAccessibleName(tr("Refresh file tree"));
    connect(m_refreshButton, &QToolButton::clicked, this,
            [this] { m_tree->refresh(m_settings->outputDirectoryPath()); });
    statusRow->addWidget(m_statusLabel, 1);
    statusRow->addWidget(m_refreshButton);
    layout->addLayout(statusRow);

    m_filesStack = new QStackedWidget(this);
    m_filesStack->setObjectName(QStringLiteral("filesStack"));
    auto* busyHolder = new QWidget(m_filesStack);
    auto* busyLayout = new QHBoxLayout(busyHolder);
    busyLayout->setContentsMargins(0, 4, 0, 4);
    auto* indicator = new BusyIndicator(16, busyHolder);
    indicator->setAccessibleName(tr("Loading file tree"));
    busyLayout->addWidget(indicator);
    busyLayout->addStretch(1);
    auto makeNote = [this](const QString& text) {
        auto* label = new QLabel(text, m_filesStack);
        label->setFont(scaledFont(font(), 0.85));
        label->setForegroundRole(QPalette::PlaceholderText);
        label->setWordWrap(true);
        return label;
    };
    m_filesStack->addWidget(busyHolder);
    m_filesStack->addWidget(makeNote(tr("Choose a website directory below.")));
    m_filesStack->addWidget(makeNote(tr("Empty folder.")));

    m_fileTree = new ContentSizedTreeView(m_filesStack);
    m_fileTree->setObjectName(QStringLiteral("fileTree"));
    m_fileTree->setAccessibleName(tr("Website files"));
    m_fileTree->setHeaderHidden(true);
    m_fileTree->setModel(m_tree);
    m_fileTree->setItemDelegate(new FileRowDelegate(m_state, m_fileTree));
    m_fileTree->setFont(scaledFont(font(), 0.9));
    m_fileTree->setFrameShape(QFrame::NoFrame);
    m_fileTree->setSelectionMode(QAbstractItemView::NoSelection);
    m_fileTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_fileTree->setExpandsOnDoubleClick(false);
    m_fileTree->setIndentation(14);
    m_fileTree->setIconSize(QSize(16, 16));
    m_fileTree->viewport()->setBackgroundRole(QPalette::Window);
    m_fileTree->setMouseTracking(true);
    m_fileTree->setActivationHandler([this](const QModelIndex& index) { activateFileRow(index); });
    // Installed after the view's own filter, so it sees the tooltip request first.
    m_fileTree->viewport()->installEventFilter(this);
    m_filesStack->addWidget(m_fileTree);
    // The stack is as tall as its current page, not its tallest.
    connect(m_filesStack, &QStackedWidget::currentChanged, this, [this](int current) {
        for (int i = 0; i < m_filesStack->count(); ++i) {
            m_filesStack->widget(i)->setSizePolicy(QSizePolicy::Preferred,
                                                   i == current ? QSizePolicy::Preferred : QSizePolicy::Ignored);
        }
        m_filesStack->adjustSize();
    });
    layout->addWidget(m_filesStack);

    connect(m_settings, &AppSettings::outputDirectoryPathChanged, this, &FilesSection::updateFilesArea);
    connect(m_tree, &OutputFolderFileTreeModel::isLoadingChanged, this, &FilesSection::updateFilesArea);
    connect(m_tree, &OutputFolderFileTreeModel::nodesChanged, this, &FilesSection::updateFilesArea);
    connect(m_tree, &OutputFolderFileTreeModel::statusLineChanged, this,
            [this] { m_statusLabel->setText(m_tree->statusLine()); });
    connect(m_tree, &QAbstractItemModel::modelReset, this, [this] {
        m_fileTree->viewport()->update();
        m_fileTree->updateGeometry();
    });
    connect(m_state, &WindowState::previewSelectedRelativePathChanged, this,
            [this] { m_fileTree->viewport()->update(); });

    m_statusLabel->setText(m_tree->statusLine());
    updateFilesArea();
}

void FilesSection::setSelectionGuard(std::function<bool(const QString&)> guard) {
    m_selectionGuard = std::move(guard);
}

bool FilesSection::eventFilter(QObject* watched, QEvent* event) {
    // Only the pages the preview can show say what a click does.
    if (watched == m_fileTree->viewport() && event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = m_fileTree->indexAt(help->pos());
        const bool previewable =
            index.isValid() && !index.data(OutputFolderFileTreeModel::IsFolderRole).toBool() &&
            OutputIndexFile::isPreviewableWebFile(index.data(OutputFolderFileTreeModel::NodeIdRole).toString());
        if (previewable) {
            QToolTip::showText(help->globalPos(), tr("Open in Preview"), m_fileTree->viewport(),
                               m_fileTree->visualRect(index));
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FilesSection::updateFilesArea() {
    m_refreshButton->setEnabled(!m_tree->isLoading());
    FilesPage page = FilesPage::Tree;
    if (m_tree->isLoading()) {
        page = FilesPage::Loading;
    } else if (!m_settings->outputDirectoryPath()) {
        page = FilesPage::NoDirectory;
    } else if (m_tree->nodes().empty()) {
        page = FilesPage::EmptyDirectory;
    }
    m_filesStack->setCurrentIndex(static_cast<int>(page));
    m_fileTree->updateGeometry();
}

void FilesSection::activateFileRow(const QModelIndex& index) {
    if (index.data(OutputFolderFileTreeModel::IsFolderRole).toBool()) {
        m_fileTree->setExpanded(index, !m_fileTree->isExpanded(index));
        return;
    }
    const QString id = index.data(OutputFolderFileTreeModel::NodeIdRole).toString();
    if (!OutputIndexFile::isPreviewableWebFile(id) || (m_selectionGuard && !m_selectionGuard(id))) {
        return;
    }
    m_state->setPreviewSelectedRelativePath(id);
    m_state->setDetailWorkspaceTab(DetailWorkspaceTab::Preview);
    m_state->bumpPreviewReloadNonce();
}

} // namespace kestrion
