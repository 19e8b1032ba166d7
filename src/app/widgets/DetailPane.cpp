#include "app/widgets/DetailPane.h"

#include "app/widgets/SegmentedControl.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <iterator>

namespace kestrion {

namespace {

constexpr DetailWorkspaceTab tabs[] = {DetailWorkspaceTab::Create, DetailWorkspaceTab::Preview,
                                       DetailWorkspaceTab::Source};

int pageIndex(DetailWorkspaceTab tab) {
    return static_cast<int>(tab);
}

} // namespace

DetailPane::DetailPane(WindowState* state, QWidget* createPage, QWidget* previewPage, QWidget* sourcePage,
                       QWidget* parent)
    : QWidget(parent), m_state(state), m_selector(nullptr), m_stack(new QStackedWidget(this)),
      m_leadingHolder(new QWidget(this)) {
    QStringList titles;
    for (DetailWorkspaceTab tab : tabs) {
        titles.append(detailWorkspaceTabTitle(tab));
    }
    m_selector = new SegmentedControl(titles, this);
    m_selector->setObjectName(QStringLiteral("workspaceSelector"));
    m_selector->setAccessibleName(tr("Workspace"));

    for (QWidget* page : {createPage, previewPage, sourcePage}) {
        m_stack->addWidget(page);
    }

    auto* leadingLayout = new QHBoxLayout(m_leadingHolder);
    leadingLayout->setContentsMargins(0, 0, 0, 0);
    auto* header = new QHBoxLayout;
    header->setContentsMargins(10, 8, 10, 8);
    header->addWidget(m_leadingHolder, 1, Qt::AlignLeft);
    header->addWidget(m_selector, 0, Qt::AlignCenter);
    // A twin of the leading area keeps the selector centred.
    auto* trailingBalance = new QWidget(this);
    header->addWidget(trailingBalance, 1);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(header);
    layout->addWidget(divider);
    layout->addWidget(m_stack, 1);

    // Every way of selecting a tab moves the pane; the state ignores a tab it already shows.
    connect(m_selector, &SegmentedControl::currentChanged, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(std::size(tabs))) {
            m_state->setDetailWorkspaceTab(tabs[index]);
        }
    });
    connect(m_state, &WindowState::detailWorkspaceTabChanged, this, &DetailPane::showTab);
    showTab(m_state->detailWorkspaceTab());
}

void DetailPane::showTab(DetailWorkspaceTab tab) {
    m_selector->setCurrentIndex(pageIndex(tab));
    m_stack->setCurrentIndex(pageIndex(tab));
}

void DetailPane::setLeadingControl(QWidget* control) {
    m_leadingHolder->layout()->addWidget(control);
}

} // namespace kestrion
