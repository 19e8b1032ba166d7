#include "app/widgets/Sidebar.h"

#include "app/widgets/WidgetStyle.h"
#include "app/widgets/sidebar/ChatsSection.h"
#include "app/widgets/sidebar/DirectorySection.h"
#include "app/widgets/sidebar/FilesSection.h"
#include "app/widgets/sidebar/SidebarStyle.h"

#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace kestrion {

namespace {

// The column's content never gets narrower than this.
constexpr int contentMinimumWidth = 250;

} // namespace

Sidebar::Sidebar(AppSettings* settings, ChatViewModel* chat, OutputFolderFileTreeModel* tree, WindowState* state,
                 QWidget* parent)
    : QWidget(parent) {
    setMinimumWidth(contentMinimumWidth);
    setAccessibleName(tr("Sidebar"));
    setBackgroundRole(QPalette::Window);
    setAutoFillBackground(true);

    auto* title = new QLabel(tr("Settings"), this);
    title->setFont(WidgetStyle::scaledFont(font(), 1.15, QFont::Bold));
    title->setContentsMargins(SidebarStyle::horizontalMargin, 12, SidebarStyle::horizontalMargin, 4);

    auto* stack = new QWidget;
    stack->setBackgroundRole(QPalette::Window);
    auto* stackLayout = new QVBoxLayout(stack);
    stackLayout->setContentsMargins(0, 14, 0, 24);
    stackLayout->setSpacing(0);

    auto* launchHolder = new QWidget(stack);
    m_launchSlot = new QVBoxLayout(launchHolder);
    m_launchSlot->setContentsMargins(0, 0, 0, SidebarStyle::sectionGap);
    launchHolder->setVisible(false);
    stackLayout->addWidget(launchHolder);
    stackLayout->addWidget(new ChatsSection(chat, stack));
    m_files = new FilesSection(settings, tree, state, stack);
    m_directory = new DirectorySection(settings, chat, stack);
    stackLayout->addSpacing(SidebarStyle::sectionGap);
    stackLayout->addWidget(m_files);
    stackLayout->addSpacing(SidebarStyle::sectionGap);
    stackLayout->addWidget(m_directory);
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
}

Sidebar::~Sidebar() = default;

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
    m_files->setSelectionGuard(std::move(guard));
}

void Sidebar::setDirectoryGuard(std::function<bool(const QString&)> guard) {
    m_directory->setDirectoryGuard(std::move(guard));
}

void Sidebar::pickOutputFolder() {
    m_directory->pickOutputFolder();
}

void Sidebar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Q_EMIT widthReported(width());
}

} // namespace kestrion
