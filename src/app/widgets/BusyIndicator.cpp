#include "app/widgets/BusyIndicator.h"

#include <QPainter>
#include <QVariantAnimation>

namespace kestrion {

BusyIndicator::BusyIndicator(int diameter, QWidget* parent)
    : QWidget(parent), m_diameter(diameter), m_animation(new QVariantAnimation(this)) {
    setAccessibleName(tr("In progress"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_animation->setStartValue(0);
    m_animation->setEndValue(360);
    m_animation->setDuration(900);
    m_animation->setLoopCount(-1);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_angle = value.toInt();
        update();
    });
}

QSize BusyIndicator::sizeHint() const {
    return {m_diameter, m_diameter};
}

void BusyIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const int side = std::min({width(), height(), m_diameter});
    const qreal pen = std::max(2.0, side / 8.0);
    const QRectF circle(QPointF((width() - side) / 2.0 + pen / 2, (height() - side) / 2.0 + pen / 2),
                        QSizeF(side - pen, side - pen));
    QColor track = palette().color(QPalette::Mid);
    track.setAlphaF(0.35f);
    painter.setPen(QPen(track, pen));
    painter.drawEllipse(circle);
    painter.setPen(QPen(palette().color(QPalette::Highlight), pen, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(circle, (90 - m_angle) * 16, -100 * 16);
}

void BusyIndicator::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_animation->start();
}

void BusyIndicator::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_animation->stop();
}

} // namespace kestrion
