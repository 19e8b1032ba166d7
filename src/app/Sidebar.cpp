#include "app/Sidebar.h"

#include "app/BusyIndicator.h"
#include "app/WidgetStyle.h"
#include "app/WindowState.h"
#include "conversation/ChatViewModel.h"
#include "conversation/SessionStore.h"
#include "settings/AppSettings.h"
#include "workspace/OutputFolderFileTreeModel.h"
#include "workspace/OutputIndexFile.h"

#include <QApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QVBoxLayout>

namespace kestrion {

using WidgetStyle::scaledFont;

namespace {

constexpr int horizontalMargin = 16;
constexpr int sectionGap = 28;
// The column's content never gets narrower than this.
constexpr int contentMinimumWidth = 250;

QLabel* sectionHeader(const QString& title, QWidget* parent) {
    auto* label = new QLabel(title, parent);
    label->setFont(scaledFont(parent->font(), 0.95, QFont::DemiBold));
    label->setForegroundRole(QPalette::PlaceholderText);
    label->setAccessibleName(title);
    return label;
}

QColor withAlpha(QColor color, float alpha) {
    color.setAlphaF(alpha);
    return color;
}

// Views inside the sidebar's one scroll area: as tall as their content, so
// the column scrolls as a whole instead of nesting scroll bars.
class ContentSizedListView final : public QListView {
public:
    explicit ContentSizedListView(QWidget* parent) : QListView(parent) {
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

    QSize sizeHint() const override {
        int height = 0;
        if (model()) {
            for (int row = 0; row < model()->rowCount(); ++row) {
                height += sizeHintForRow(row);
            }
        }
        return {QListView::sizeHint().width(), height + 2 * frameWidth() + 2};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }
};

class ContentSizedTreeView final : public QTreeView {
public:
    explicit ContentSizedTreeView(QWidget* parent) : QTreeView(parent) {
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setUniformRowHeights(true);
        connect(this, &QTreeView::expanded, this, [this] { updateGeometry(); });
        connect(this, &QTreeView::collapsed, this, [this] { updateGeometry(); });
    }

    void setModel(QAbstractItemModel* model) override {
        QTreeView::setModel(model);
        connect(model, &QAbstractItemModel::modelReset, this, [this] { updateGeometry(); });
        connect(model, &QAbstractItemModel::layoutChanged, this, [this] { updateGeometry(); });
        connect(model, &QAbstractItemModel::rowsInserted, this, [this] { updateGeometry(); });
        connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { updateGeometry(); });
    }

    QSize sizeHint() const override {
        // Counted from the model, not from the view's own row layout: right after a reset the
        // view has not laid its rows out yet and would report a single row.
        const int rows = model() ? visibleRows(QModelIndex()) : 0;
        const int rowHeight = rows > 0 ? std::max(1, sizeHintForRow(0)) : 0;
        return {QTreeView::sizeHint().width(), rows * rowHeight + 2 * frameWidth() + 2};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

private:
    int visibleRows(const QModelIndex& parent) const {
        int rows = 0;
        const int count = model()->rowCount(parent);
        for (int row = 0; row < count; ++row) {
            const QModelIndex child = model()->index(row, 0, parent);
            rows += 1 + (isExpanded(child) ? visibleRows(child) : 0);
        }
        return rows;
    }

protected:
    bool viewportEvent(QEvent* event) override {
        if (event->type() == QEvent::ToolTip) {
            auto* help = static_cast<QHelpEvent*>(event);
            const QModelIndex index = indexAt(help->pos());
            const bool previewable =
                index.isValid() && !index.data(OutputFolderFileTreeModel::IsFolderRole).toBool() &&
                OutputIndexFile::isPreviewableWebFile(index.data(OutputFolderFileTreeModel::NodeIdRole).toString());
            if (previewable) {
                QToolTip::showText(help->globalPos(), Sidebar::tr("Open in Preview"), viewport(), visualRect(index));
            } else {
                QToolTip::hideText();
            }
            return true;
        }
        return QTreeView::viewportEvent(event);
    }
};

// A chat row: title, then the "Updated ..." line; the active chat on a rounded
// accent background.
class SessionRowDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        const QFontMetrics title(option.font);
        const QFontMetrics caption(scaledFont(option.font, 0.8));
        return {option.rect.width(), 8 + title.height() + 2 + caption.height() + 8};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, true);
        const QRectF row = QRectF(option.rect).adjusted(0.5, 1, -0.5, -1);
        QPainterPath path;
        path.addRoundedRect(row, 6, 6);
        if (index.data(SessionStore::IsActiveRole).toBool()) {
            painter->fillPath(path, withAlpha(option.palette.color(QPalette::Highlight), 0.2f));
        } else if (option.state.testFlag(QStyle::State_MouseOver)) {
            painter->fillPath(path, withAlpha(option.palette.color(QPalette::Mid), 0.15f));
        }
        if (option.state.testFlag(QStyle::State_HasFocus)) {
            painter->setPen(QPen(withAlpha(option.palette.color(QPalette::Highlight), 0.8f), 1));
            painter->drawPath(path);
        }
        const QFont captionFont = scaledFont(option.font, 0.8);
        const QFontMetrics title(option.font);
        const QRect text = option.rect.adjusted(8, 8, -8, -8);
        painter->setFont(option.font);
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawText(QRect(text.left(), text.top(), text.width(), title.height()),
                          Qt::AlignLeft | Qt::AlignVCenter,
                          title.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, text.width()));
        painter->setFont(captionFont);
        painter->setPen(option.palette.color(QPalette::PlaceholderText));
        const QFontMetrics caption(captionFont);
        painter->drawText(
            QRect(text.left(), text.top() + title.height() + 2, text.width(), caption.height()),
            Qt::AlignLeft | Qt::AlignVCenter,
            caption.elidedText(index.data(SessionStore::UpdatedTextRole).toString(), Qt::ElideRight, text.width()));
        painter->restore();
    }
};

// A file row: icon and name in the caption font; the file open in the preview
// on a rounded accent background.
class FileRowDelegate final : public QStyledItemDelegate {
public:
    FileRowDelegate(WindowState* state, QObject* parent) : QStyledItemDelegate(parent), m_state(state) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(std::max(size.height(), QFontMetrics(option.font).height() + 10));
        return size;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem plain = option;
        plain.state &= ~QStyle::State_Selected;
        const QString id = index.data(OutputFolderFileTreeModel::NodeIdRole).toString();
        const auto& selected = m_state->previewSelectedRelativePath();
        if (selected && *selected == id && !index.data(OutputFolderFileTreeModel::IsFolderRole).toBool() &&
            OutputIndexFile::isPreviewableWebFile(id)) {
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing, true);
            QPainterPath path;
            path.addRoundedRect(QRectF(option.rect).adjusted(0, 1, -2, -1), 6, 6);
            painter->fillPath(path, withAlpha(option.palette.color(QPalette::Highlight), 0.18f));
            painter->restore();
        }
        QStyledItemDelegate::paint(painter, plain, index);
    }

private:
    WindowState* m_state;
};

} // namespace

Sidebar::Sidebar(AppSettings* settings, ChatViewModel* chat, OutputFolderFileTreeModel* tree, WindowState* state,
                 QWidget* parent)
    : QWidget(parent), m_settings(settings), m_chat(chat), m_tree(tree), m_state(state),
      m_sessionModel(chat->sessionModel()) {
    setMinimumWidth(contentMinimumWidth);
    setAccessibleName(tr("Sidebar"));
    setBackgroundRole(QPalette::Window);
    setAutoFillBackground(true);

    auto* title = new QLabel(tr("Settings"), this);
    title->setFont(scaledFont(font(), 1.15, QFont::Bold));
    title->setContentsMargins(horizontalMargin, 12, horizontalMargin, 4);

    auto* stack = new QWidget;
    stack->setBackgroundRole(QPalette::Window);
    auto* stackLayout = new QVBoxLayout(stack);
    stackLayout->setContentsMargins(0, 14, 0, 24);
    stackLayout->setSpacing(0);

    auto* launchHolder = new QWidget(stack);
    m_launchSlot = new QVBoxLayout(launchHolder);
    m_launchSlot->setContentsMargins(0, 0, 0, sectionGap);
    launchHolder->setVisible(false);
    stackLayout->addWidget(launchHolder);
    stackLayout->addWidget(buildChatsSection());
    stackLayout->addSpacing(sectionGap);
    stackLayout->addWidget(buildFilesSection());
    stackLayout->addSpacing(sectionGap);
    stackLayout->addWidget(buildDirectorySection());
    stackLayout->addStretch(1);

    auto* scroll = new QScrollArea(this);
    scroll->setWidget(stack);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setBackgroundRole(QPalette::Window);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(title);
    layout->addWidget(scroll, 1);

    connect(m_settings, &AppSettings::outputDirectoryPathChanged, this, [this] {
        updateDirectoryLabel();
        updateFilesArea();
    });
    connect(m_chat, &ChatViewModel::isSendingChanged, this,
            [this] { m_chooseButton->setEnabled(!m_chat->isSending()); });
    connect(m_tree, &OutputFolderFileTreeModel::isLoadingChanged, this, &Sidebar::updateFilesArea);
    connect(m_tree, &OutputFolderFileTreeModel::nodesChanged, this, &Sidebar::updateFilesArea);
    connect(m_tree, &OutputFolderFileTreeModel::statusLineChanged, this,
            [this] { m_statusLabel->setText(m_tree->statusLine()); });
    connect(m_tree, &QAbstractItemModel::modelReset, this, &Sidebar::syncTreeSelection);
    connect(m_state, &WindowState::previewSelectedRelativePathChanged, this,
            [this] { m_fileTree->viewport()->update(); });

    m_chooseButton->setEnabled(!m_chat->isSending());
    m_statusLabel->setText(m_tree->statusLine());
    updateDirectoryLabel();
    updateFilesArea();
}

Sidebar::~Sidebar() = default;

QWidget* Sidebar::buildChatsSection() {
    auto* section = new QWidget;
    auto* layout = new QVBoxLayout(section);
    layout->setContentsMargins(horizontalMargin, 0, horizontalMargin, 0);
    layout->setSpacing(8);
    layout->addWidget(sectionHeader(tr("Chats"), section));

    m_newChatButton = new QPushButton(tr("New chat"), section);
    m_newChatButton->setObjectName(QStringLiteral("newChatButton"));
    m_newChatButton->setAccessibleName(tr("New chat"));
    m_newChatButton->setIcon(QIcon::fromTheme(QStringLiteral("list-add")));
    m_newChatButton->setStyleSheet(
        QStringLiteral("QPushButton { background: palette(highlight); color: palette(highlighted-text);"
                       " border: none; border-radius: 6px; padding: 5px 12px; font-weight: 600; }"
                       "QPushButton:pressed { background: palette(dark); }"
                       "QPushButton:focus { border: 2px solid palette(highlighted-text); }"));
    m_newChatButton->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    connect(m_newChatButton, &QPushButton::clicked, this, [this] { m_chat->newChat(); });
    layout->addWidget(m_newChatButton);

    auto* list = new ContentSizedListView(section);
    m_sessionList = list;
    list->setObjectName(QStringLiteral("sessionList"));
    list->setAccessibleName(tr("Chats"));
    list->setModel(m_sessionModel);
    list->setItemDelegate(new SessionRowDelegate(list));
    list->setFrameShape(QFrame::NoFrame);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setMouseTracking(true);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->viewport()->setBackgroundRole(QPalette::Window);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(list, &QListView::clicked, this, &Sidebar::activateSessionRow);
    list->installEventFilter(this);
    connect(list, &QWidget::customContextMenuRequested, this, &Sidebar::showSessionMenu);
    // As tall as its rows: a chat added, removed or a new folder's chats change its height.
    connect(m_sessionModel, &QAbstractItemModel::modelReset, list, [list] { list->updateGeometry(); });
    connect(m_sessionModel, &QAbstractItemModel::rowsInserted, list, [list] { list->updateGeometry(); });
    connect(m_sessionModel, &QAbstractItemModel::rowsRemoved, list, [list] { list->updateGeometry(); });
    layout->addWidget(list);
    return section;
}

QWidget* Sidebar::buildFilesSection() {
    auto* section = new QWidget;
    auto* layout = new QVBoxLayout(section);
    layout->setContentsMargins(horizontalMargin, 0, horizontalMargin, 0);
    layout->setSpacing(6);
    layout->addWidget(sectionHeader(tr("Website Files"), section));

    auto* statusRow = new QHBoxLayout;
    m_statusLabel = new QLabel(section);
    m_statusLabel->setObjectName(QStringLiteral("fileTreeStatusLabel"));
    m_statusLabel->setFont(scaledFont(font(), 0.8));
    m_statusLabel->setForegroundRole(QPalette::PlaceholderText);
    m_statusLabel->setWordWrap(true);
    m_refreshButton = new QToolButton(section);
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

    m_filesStack = new QStackedWidget(section);
    m_filesStack->setObjectName(QStringLiteral("filesStack"));
    auto* busyHolder = new QWidget(m_filesStack);
    auto* busyLayout = new QHBoxLayout(busyHolder);
    busyLayout->setContentsMargins(0, 4, 0, 4);
    m_treeIndicator = new BusyIndicator(16, busyHolder);
    m_treeIndicator->setAccessibleName(tr("Loading file tree"));
    busyLayout->addWidget(m_treeIndicator);
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

    auto* tree = new ContentSizedTreeView(m_filesStack);
    m_fileTree = tree;
    tree->setObjectName(QStringLiteral("fileTree"));
    tree->setAccessibleName(tr("Website files"));
    tree->setHeaderHidden(true);
    tree->setModel(m_tree);
    tree->setItemDelegate(new FileRowDelegate(m_state, tree));
    tree->setFont(scaledFont(font(), 0.9));
    tree->setFrameShape(QFrame::NoFrame);
    tree->setSelectionMode(QAbstractItemView::NoSelection);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setExpandsOnDoubleClick(false);
    tree->setIndentation(14);
    tree->setIconSize(QSize(16, 16));
    tree->viewport()->setBackgroundRole(QPalette::Window);
    tree->setMouseTracking(true);
    connect(tree, &QTreeView::clicked, this, &Sidebar::activateFileRow);
    tree->installEventFilter(this);
    m_filesStack->addWidget(tree);
    // The stack is as tall as its current page, not its tallest.
    connect(m_filesStack, &QStackedWidget::currentChanged, this, [this](int current) {
        for (int i = 0; i < m_filesStack->count(); ++i) {
            m_filesStack->widget(i)->setSizePolicy(QSizePolicy::Preferred,
                                                   i == current ? QSizePolicy::Preferred : QSizePolicy::Ignored);
        }
        m_filesStack->adjustSize();
    });
    layout->addWidget(m_filesStack);
    return section;
}

QWidget* Sidebar::buildDirectorySection() {
    auto* section = new QWidget;
    auto* layout = new QVBoxLayout(section);
    layout->setContentsMargins(horizontalMargin, 0, horizontalMargin, 0);
    layout->setSpacing(8);
    layout->addWidget(sectionHeader(tr("Website Directory"), section));
    m_directoryLabel = new QLabel(section);
    m_directoryLabel->setObjectName(QStringLiteral("directoryLabel"));
    m_directoryLabel->setFont(scaledFont(font(), 0.85));
    m_directoryLabel->setWordWrap(true);
    m_directoryLabel->setTextFormat(Qt::PlainText);
    m_directoryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_directoryLabel->setFocusPolicy(Qt::StrongFocus);
    layout->addWidget(m_directoryLabel);
    m_chooseButton = new QPushButton(tr("Choose…"), section);
    m_chooseButton->setObjectName(QStringLiteral("chooseDirectoryButton"));
    m_chooseButton->setAccessibleName(tr("Choose…"));
    m_chooseButton->setIcon(QIcon::fromTheme(QStringLiteral("folder-open")));
    m_chooseButton->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    connect(m_chooseButton, &QPushButton::clicked, this, &Sidebar::pickOutputFolder);
    layout->addWidget(m_chooseButton);
    return section;
}

void Sidebar::setLaunchSection(QWidget* section) {
    if (m_launchSection) {
        m_launchSection->deleteLater();
    }
    m_launchSection = section;
    if (section) {
        m_launchSlot->addWidget(section);
    }
    m_launchSlot->parentWidget()->setVisible(section != nullptr);
}

void Sidebar::setSelectionGuard(std::function<bool(const QString&)> guard) {
    m_selectionGuard = std::move(guard);
}

void Sidebar::setDirectoryGuard(std::function<bool(const QString&)> guard) {
    m_directoryGuard = std::move(guard);
}

void Sidebar::pickOutputFolder() {
    auto* dialog = new QFileDialog(window(), tr("Choose website directory"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    dialog->setOption(QFileDialog::ReadOnly, false); // new folders can be made from the dialog
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setLabelText(QFileDialog::Accept, tr("Choose website directory"));
    if (const auto current = m_settings->outputDirectoryPath()) {
        dialog->setDirectory(*current);
    }
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& directory) {
        // A send may have started while the dialog was open; its reply must
        // still be filed under the directory it was sent for.
        if (!directory.isEmpty() && !m_chat->isSending() && (!m_directoryGuard || m_directoryGuard(directory))) {
            m_settings->setOutputDirectoryPath(directory);
        }
    });
    dialog->open();
}

bool Sidebar::eventFilter(QObject* watched, QEvent* event) {
    // Return, Enter and Space act on the current row like a click. (The views'
    // activated() signal is not used: some styles also emit it for single
    // clicks, which would act twice.)
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            if (watched == m_fileTree) {
                activateFileRow(m_fileTree->currentIndex());
                return true;
            }
            if (watched == m_sessionList) {
                activateSessionRow(m_sessionList->currentIndex());
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Sidebar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Q_EMIT widthReported(width());
}

void Sidebar::updateFilesArea() {
    m_refreshButton->setEnabled(!m_tree->isLoading());
    int page = 3;
    if (m_tree->isLoading()) {
        page = 0;
    } else if (!m_settings->outputDirectoryPath()) {
        page = 1;
    } else if (m_tree->nodes().empty()) {
        page = 2;
    }
    m_filesStack->setCurrentIndex(page);
    m_fileTree->updateGeometry();
}

void Sidebar::updateDirectoryLabel() {
    const auto directory = m_settings->outputDirectoryPath();
    m_directoryLabel->setText(directory.value_or(tr("None")));
    m_directoryLabel->setAccessibleName(tr("Website directory: %1").arg(directory.value_or(tr("None"))));
}

void Sidebar::syncTreeSelection() {
    m_fileTree->viewport()->update();
    m_fileTree->updateGeometry();
}

void Sidebar::activateFileRow(const QModelIndex& index) {
    if (!index.isValid()) {
        return;
    }
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

void Sidebar::activateSessionRow(const QModelIndex& index) {
    if (index.isValid()) {
        m_chat->selectSession(index.data(SessionStore::SessionIdRole).toUuid());
    }
}

void Sidebar::showSessionMenu(const QPoint& position) {
    const QModelIndex index = m_sessionList->indexAt(position);
    if (!index.isValid()) {
        return;
    }
    const QUuid id = index.data(SessionStore::SessionIdRole).toUuid();
    QMenu menu(this);
    QAction* remove = menu.addAction(QIcon::fromTheme(QStringLiteral("edit-delete")), tr("Delete Chat"));
    connect(remove, &QAction::triggered, this, [this, id] { m_chat->deleteSession(id); });
    menu.exec(m_sessionList->viewport()->mapToGlobal(position));
}

} // namespace kestrion
