#include "app/widgets/sidebar/FileRowDelegate.h"

#include "app/WindowState.h"
#include "app/widgets/sidebar/SidebarStyle.h"
#include "workspace/OutputFolderFileTreeModel.h"
#include "workspace/OutputIndexFile.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace kestrion {

FileRowDelegate::FileRowDelegate(WindowState* state, QObject* parent) : QStyledItemDelegate(parent), m_state(state) {}

QSize FileRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(size.height(), QFontMetrics(option.font).height() + 10));
    return size;
}

void FileRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem plain = option;
    plain.state &= ~QStyle::State_Selected;
    const QString id = index.data(OutputFolderFileTreeModel::NodeIdRole).toString();
    const auto& selected = m_state->previewSelectedRelativePath();
    if (selected && *selected == id && !index.data(OutputFolderFileTreeModel::IsFolderRole).toBool() &&
        OutputIndexFile::isPreviewableWebFile(id)) {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, true);
        QPainterPath path;
        path.addRoundedRect(QRectF(option.rect).adjusted(0, 1, -2, -1), 6, 6);
        painter->fillPath(path, SidebarStyle::withAlpha(option.palette.color(QPalette::Highlight), 0.18f));
        painter->restore();
    }
    QStyledItemDelegate::paint(painter, plain, index);
}

} // namespace kestrion
