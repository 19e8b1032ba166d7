#pragma once

#include <QStringList>
#include <QTabBar>

namespace kestrion {

// The "Create / Preview / Source" switch: a tab list drawn as one row of
// segments. Being a tab bar, it is one stop in the Tab order, the arrow keys
// move between its tabs, and assistive technologies see a page tab list whose
// tabs carry the selected state and a press action. Every way of selecting a
// tab (a click, the keys, the accessibility action, setCurrentIndex) emits
// currentChanged, so whoever follows the switch follows all of them.
class SegmentedControl final : public QTabBar {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SegmentedControl)

public:
    explicit SegmentedControl(const QStringList& titles, QWidget* parent = nullptr);

private:
    void applyStyle();
};

} // namespace kestrion
