#pragma once

#include <QColor>
#include <QString>

class QVBoxLayout;
class QWidget;

// What the sidebar's sections share in their look, so they line up.
namespace kestrion::SidebarStyle {

// The space between two sections, and on either side of a section's content.
inline constexpr int sectionGap = 28;
inline constexpr int horizontalMargin = 16;

// Lays out section as a column under its title in the sidebar's header style.
QVBoxLayout* sectionColumn(QWidget* section, const QString& title, int spacing);

// color at the given opacity: the rows' highlights tint whatever palette is in use.
QColor withAlpha(QColor color, float alpha);

} // namespace kestrion::SidebarStyle
