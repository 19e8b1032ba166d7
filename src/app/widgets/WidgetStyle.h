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

// True when the font draws "i" and "M" equally wide: how a reader tells a
// monospaced font, whatever the font's own flags claim.
bool drawsFixedPitch(const QFont& font);

// The first of the candidates that draws fixed-pitch; the first one when none does.
QFont firstFixedPitch(const QList<QFont>& candidates);

// A monospaced font for source text at the given size: the desktop's fixed
// font if it really is one, else the first common monospaced family that is.
QFont sourceFont(qreal pointSize);

// The first of the theme's icons named that exists, else the style's fallback:
// desktops without an icon theme still get a recognisable symbol.
QIcon themedIcon(const QStringList& names, QStyle::StandardPixmap fallback, const QStyle* style);

} // namespace kestrion::WidgetStyle
