#include "app/widgets/sidebar/SessionRowDelegate.h"

#include "app/widgets/WidgetStyle.h"
#include "app/widgets/sidebar/SidebarStyle.h"
#include "conversation/SessionStore.h"

#include <QPainter>
#include <QPainterPath>

namespace kestrion {

using SidebarStyle::withAlpha;
using WidgetStyle::scaledFont;

QSize SessionRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    const QFontMetrics title(option.font);
    const QFontMetrics caption(scaledFont(option.font, 0.8));
    return {option.rect.width(), 8 + title.height() + 2 + caption.height() + 8};
}

void SessionRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    const QRectF row = QRectF(option.rect).adjusted(0.5, 1, -0.5, -1);
    QPainterPath path;
    path.addRoundedRect(row, 6, 6);
    if (index.data(SessionStore::IsActiveRole).toBool()) {
        painter->fillPath(path, withAlpha(option.palette.color(QPalette::Highlight), 0.2f));
    } else if (option.state.testFlag(QStyle::State_MouseOver)) {
        painter->fillPath(path, withAlpha(option.palette.color(QPalette::Mid), 0.15f));
    }
    if (option.state.testFlag(QStyle::State_HasFocus)) {
        painter->setPen(QPen(withAlpha(option.palette.color(QPalette::Highlight), 0.8f), 1));
        painter->drawPath(path);
    }
    const QFont captionFont = scaledFont(option.font, 0.8);
    const QFontMetrics title(option.font);
    const QRect text = option.rect.adjusted(8, 8, -8, -8);
    painter->setFont(option.font);
    painter->setPen(option.palette.color(QPalette::Text));
    painter->drawText(QRect(text.left(), text.top(), text.width(), title.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      title.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, text.width()));
    painter->setFont(captionFont);
    painter->setPen(option.palette.color(QPalette::PlaceholderText));
    const QFontMetrics caption(captionFont);
    painter->drawText(
        QRect(text.left(), text.top() + title.height() + 2, text.width(), caption.height()),
        Qt::AlignLeft | Qt::AlignVCenter,
        caption.elidedText(index.data(SessionStore::UpdatedTextRole).toString(), Qt::ElideRight, text.width()));
    painter->restore();
}

} // namespace kestrion
