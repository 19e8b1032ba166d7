#include "app/WidgetStyle.h"

namespace kestrion::WidgetStyle {

QFont scaledFont(const QFont& base, qreal factor, QFont::Weight weight) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * factor);
    font.setWeight(weight);
    return font;
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
