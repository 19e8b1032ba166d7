#pragma once

#include <QList>

class QWidget;

// The keyboard's way through a window. Qt chains widgets in the order they
// were made, which is not the order a person reads them in once parts are
// built separately and placed later; these helpers chain them by where the
// layouts put them.
namespace kestrion::TabOrder {

// The widgets under root that Tab stops at (hidden ones included), in reading
// order: layouts from their first item to their last (top to bottom, left to
// right), splitters by their panes, scroll areas by their content, a stacked
// widget by its pages. A widget that takes focus is one stop: what is inside
// it (a combo box's field, a view's viewport) is not walked. Other windows
// (dialogs) are left out.
QList<QWidget*> readingOrder(QWidget* root);

// Chains the widgets of readingOrder(root) in that order.
void applyReadingOrder(QWidget* root);

} // namespace kestrion::TabOrder
