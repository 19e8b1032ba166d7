#pragma once

#include <QIcon>

class QPainter;
class QRectF;

namespace kestrion::AppIcon {

// The application's icon: a browser window on a blue-violet tile with a spark,
// drawn at the usual desktop sizes (no image plugin needed at run time). The
// installed desktop entry uses the same drawing as resources/kestrion.svg.
QIcon icon();

// Draws the icon into a square.
void paint(QPainter& painter, const QRectF& square);

} // namespace kestrion::AppIcon
