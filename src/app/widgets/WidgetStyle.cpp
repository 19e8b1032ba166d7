#include "app/widgets/WidgetStyle.h"

#include <QFontDatabase>
#include <QFontMetricsF>

namespace kestrion::WidgetStyle {

QFont scaledFont(const QFont& base, qreal factor, QFont::Weight weight) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * factor);
    font.setWeight(weight);
    return font;
}

bool drawsFixedPitch(const QFont& font) {
    const QFontMetricsF metrics(font);
    return metrics.horizontalAdvance(QLatin1Char('i')) == metrics.horizontalAdvance(QLatin1Char('M'));
}

QFont firstFixedPitch(const QList<QFont>& candidates) {
    for (const QFont& font : candidates) {
        if (drawsFixedPitch(font)) {
            return font;
        }
    }
    return candidates.value(0);
}

QFont sourceFont(qreal pointSize) {
    // The desktop's fixed font is what the user chose, but it can name a
    // family the system does not have or one that is not monospaced at all.
    QList<QFont> candidates{QFontDatabase::systemFont(QFontDatabase::FixedFont)};
    for (const char* family : {"DejaVu Sans Mono", "Liberation Mono", "Noto Mono", "monospace"}) {
        QFont font(QString::fromLatin1(family));
        font.setStyleHint(QFont::Monospace);
        font.setFixedPitch(true);
        candidates.append(font);
    }
    for (QFont& font : candidates) {
        font.setPointSizeF(pointSize);
        font.setWeight(QFont::Normal);
    }
    return firstFixedPitch(candidates);
}

QIcon themedIcon(const QStringList& names, QStyle::StandardPixmap fallback, const QStyle* style) {
    for (const QString& name : names) {
        const QIcon icon = QIcon::fromTheme(name);
        if (!icon.isNull()) {
            return icon;
        }
    }
    return style->standardIcon(fallback);
}

} // namespace kestrion::WidgetStyle
