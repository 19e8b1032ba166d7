#pragma once

#include <QStyledItemDelegate>

namespace kestrion {

// A chat row: title, then the "Updated ..." line; the active chat on a rounded
// accent background.
class SessionRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SessionRowDelegate)

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace kestrion
