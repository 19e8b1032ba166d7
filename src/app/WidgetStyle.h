#pragma once

#include <QFont>
#include <QIcon>
#include <QStringList>
#include <QStyle>

// Small look helpers the window's widgets share, so that sizes and icons are
// derived the same way everywhere.
namespace kestrion::WidgetStyle {

// base at factor times its point size, in the given weight.
QFont scaledFont(const QFont& base, qreal factor, QFont::Weight weight = QFont::Normal);

// The first of the theme's icons named that exists, else the style's fallback:
// desktops without an icon theme still get a recognisable symbol.
QIcon themedIcon(const QStringList& names, QStyle::StandardPixmap fallback, const QStyle* style);

} // namespace kestrion::WidgetStyle
