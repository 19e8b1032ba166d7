#include "app/widgets/sidebar/SidebarStyle.h"

#include "app/widgets/WidgetStyle.h"

#include <QLabel>
#include <QVBoxLayout>

namespace kestrion::SidebarStyle {

QVBoxLayout* sectionColumn(QWidget* section, const QString& title, int spacing) {
    auto* layout = new QVBoxLayout(section);
    layout->setContentsMargins(horizontalMargin, 0, horizontalMargin, 0);
    layout->setSpacing(spacing);
    auto* header = new QLabel(title, section);
    header->setFont(WidgetStyle::scaledFont(section->font(), 0.95, QFont::DemiBold));
    header->setForegroundRole(QPalette::PlaceholderText);
    header->setAccessibleName(title);
    layout->addWidget(header);
    return layout;
}

QColor withAlpha(QColor color, float alpha) {
    color.setAlphaF(alpha);
    return color;
}

} // namespace kestrion::SidebarStyle
