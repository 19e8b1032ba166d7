#include "app/SegmentedControl.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QToolButton>

namespace kestrion {

SegmentedControl::SegmentedControl(const QStringList& titles, QWidget* parent)
    : QWidget(parent), m_group(new QButtonGroup(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_group->setExclusive(true);
    for (int i = 0; i < titles.size(); ++i) {
        auto* button = new QToolButton(this);
        button->setText(titles.at(i));
        button->setAccessibleName(titles.at(i));
        button->setCheckable(true);
        button->setFocusPolicy(Qt::StrongFocus);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        button->setProperty("segment", i == 0 ? "first" : (i == titles.size() - 1 ? "last" : "middle"));
        m_group->addButton(button, i);
        layout->addWidget(button);
    }
    if (!titles.isEmpty()) {
        m_group->button(0)->setChecked(true);
    }
    connect(m_group, &QButtonGroup::idClicked, this, &SegmentedControl::currentIndexChanged);
    applyStyle();
}

int SegmentedControl::currentIndex() const {
    return m_group->checkedId();
}

void SegmentedControl::setCurrentIndex(int index) {
    if (QAbstractButton* button = m_group->button(index)) {
        const QSignalBlocker blocker(m_group);
        button->setChecked(true);
    }
}

QToolButton* SegmentedControl::segment(int index) const {
    return qobject_cast<QToolButton*>(m_group->button(index));
}

int SegmentedControl::count() const {
    return static_cast<int>(m_group->buttons().size());
}

void SegmentedControl::applyStyle() {
    // Colours come from the palette so the control follows light and dark themes.
    setStyleSheet(QStringLiteral(
        "QToolButton { border: 1px solid palette(mid); border-left-width: 0px; background: palette(button);"
        " color: palette(button-text); padding: 4px 18px; min-height: 18px; }"
        "QToolButton[segment=\"first\"] { border-left-width: 1px; border-top-left-radius: 6px;"
        " border-bottom-left-radius: 6px; }"
        "QToolButton[segment=\"last\"] { border-top-right-radius: 6px; border-bottom-right-radius: 6px; }"
        "QToolButton:hover { background: palette(midlight); }"
        "QToolButton:checked { background: palette(highlight); color: palette(highlighted-text);"
        " border-color: palette(highlight); }"
        "QToolButton:focus { border-color: palette(highlight); }"));
}

} // namespace kestrion
