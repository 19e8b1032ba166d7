#pragma once

#include <QStyledItemDelegate>

namespace kestrion {

class WindowState;

// A file row: icon and name in the caption font; the file open in the preview
// on a rounded accent background.
class FileRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FileRowDelegate)

public:
    FileRowDelegate(WindowState* state, QObject* parent);

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    WindowState* m_state;
};

} // namespace kestrion
