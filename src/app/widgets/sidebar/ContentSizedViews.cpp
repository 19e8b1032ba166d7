#include "app/widgets/sidebar/ContentSizedViews.h"

#include <algorithm>

namespace kestrion {

QSize ContentSizedListView::sizeHint() const {
    int height = 0;
    if (model()) {
        for (int row = 0; row < model()->rowCount(); ++row) {
            height += sizeHintForRow(row);
        }
    }
    return {QListView::sizeHint().width(), height + 2 * frameWidth() + 2};
}

ContentSizedTreeView::ContentSizedTreeView(QWidget* parent) : ContentSized(parent) {
    setUniformRowHeights(true);
    connect(this, &QTreeView::expanded, this, [this] { updateGeometry(); });
    connect(this, &QTreeView::collapsed, this, [this] { updateGeometry(); });
}

QSize ContentSizedTreeView::sizeHint() const {
    // Counted from the model, not from the view's own row layout: right after a reset the
    // view has not laid its rows out yet and would report a single row.
    const int rows = model() ? visibleRows(QModelIndex()) : 0;
    const int rowHeight = rows > 0 ? std::max(1, sizeHintForRow(0)) : 0;
    return {QTreeView::sizeHint().width(), rows * rowHeight + 2 * frameWidth() + 2};
}

int ContentSizedTreeView::visibleRows(const QModelIndex& parent) const {
    int rows = 0;
    const int count = model()->rowCount(parent);
    for (int row = 0; row < count; ++row) {
        const QModelIndex child = model()->index(row, 0, parent);
        rows += 1 + (isExpanded(child) ? visibleRows(child) : 0);
    }
    return rows;
}

} // namespace kestrion
