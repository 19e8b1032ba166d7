#include "app/AppIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace kestrion::AppIcon {

namespace {

QPainterPath sparkle(const QPointF& centre, qreal radius) {
    // A four-pointed star with concave sides.
    QPainterPath path;
    const qreal waist = radius * 0.22;
    path.moveTo(centre.x(), centre.y() - radius);
    path.quadTo(centre.x() + waist, centre.y() - waist, centre.x() + radius, centre.y());
    path.quadTo(centre.x() + waist, centre.y() + waist, centre.x(), centre.y() + radius);
    path.quadTo(centre.x() - waist, centre.y() + waist, centre.x() - radius, centre.y());
    path.quadTo(centre.x() - waist, centre.y() - waist, centre.x(), centre.y() - radius);
    path.closeSubpath();
    return path;
}

} // namespace

void paint(QPainter& painter, const QRectF& square) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.translate(square.topLeft());
    const qreal s = square.width() / 256.0;
    painter.scale(s, s);

    // Tile (the SVG twin uses the same coordinates on a 256 grid).
    QLinearGradient tile(0, 0, 256, 256);
    tile.setColorAt(0, QColor(0x3b, 0x82, 0xf6));
    tile.setColorAt(1, QColor(0x7c, 0x3a, 0xed));
    QPainterPath tilePath;
    tilePath.addRoundedRect(QRectF(12, 12, 232, 232), 52, 52);
    painter.fillPath(tilePath, tile);

    // Browser window.
    QPainterPath window;
    window.addRoundedRect(QRectF(48, 64, 160, 124), 16, 16);
    painter.fillPath(window, QColor(255, 255, 255, 240));
    QPainterPath bar;
    bar.addRoundedRect(QRectF(48, 64, 160, 30), 16, 16);
    bar.addRect(QRectF(48, 80, 160, 14));
    painter.fillPath(bar.simplified(), QColor(0xe0, 0xe7, 0xff));
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i) {
        painter.setBrush(QColor(0x63, 0x66, 0xf1));
        painter.drawEllipse(QPointF(66 + i * 16, 79), 5, 5);
    }
    // Page content lines.
    painter.setBrush(QColor(0xc7, 0xd2, 0xfe));
    painter.drawRoundedRect(QRectF(64, 110, 96, 12), 6, 6);
    painter.drawRoundedRect(QRectF(64, 132, 128, 10), 5, 5);
    painter.drawRoundedRect(QRectF(64, 152, 76, 10), 5, 5);

    // Spark of magic at the corner.
    painter.fillPath(sparkle(QPointF(196, 186), 40), QColor(0xfb, 0xbf, 0x24));
    painter.fillPath(sparkle(QPointF(160, 212), 14), QColor(0xfd, 0xe6, 0x8a));
    painter.restore();
}

QIcon icon() {
    QIcon result;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(painter, QRectF(0, 0, size, size));
        painter.end();
        result.addPixmap(pixmap);
    }
    return result;
}

} // namespace kestrion::AppIcon
