#pragma once

#include <QList>

class QWidget;

// The keyboard's way through a window. Qt chains widgets in the order they
// were made, which is not the order a person reads them in once parts are
// built separately and placed (or made lazily) later; the window asks these
// helpers instead, on every Tab.
namespace kestrion::TabOrder {

// The widgets under root that Tab stops at (hidden ones included), in reading
// order: layouts from their first item to their last (top to bottom, left to
// right), splitters by their panes, scroll areas by their content (an area
// around widgets is never a stop itself), a stacked widget by its pages. A
// widget that takes focus is one stop: what is inside it (a combo box's field,
// a view's viewport) is not walked, except that its descendants marked with
// stopInsideProperty (the buttons a view places over its items) follow it, in
// the order they were made. Other windows (dialogs) are left out.
QList<QWidget*> readingOrder(QWidget* root);

inline constexpr char stopInsideProperty[] = "kestrionTabStopInside";

// The stop that Tab (next) or Shift+Tab (!next) moves to from `from`, among
// the stops of root that can take the focus now, wrapping around at either
// end; nullptr when there is none.
QWidget* neighbour(QWidget* root, QWidget* from, bool next);

} // namespace kestrion::TabOrder
