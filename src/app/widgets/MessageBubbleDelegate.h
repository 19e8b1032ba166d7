#pragma once

#include <QCache>
#include <QHash>
#include <QPersistentModelIndex>
#include <QSize>
#include <QStyledItemDelegate>
#include <QUuid>
#include <memory>

class QAbstractItemView;
class QTextDocument;

namespace kestrion {

// Paints chat messages as rounded bubbles with Markdown text: the user's on
// the trailing side on the accent colour, the assistant's on the leading side
// on the control background, each leaving at least 80 px free on the other
// side. Laid-out sizes are cached per (message id, width) and a small number
// of laid-out documents is kept for painting, so a long transcript lays out
// once and scrolls without parsing Markdown again. Long messages (tens of
// milliseconds of Markdown each) start with an estimated height and are laid
// out for real when first painted, so opening a long history costs only what
// is on screen. The "editor" is a read-only
// text browser placed exactly over the bubble's text for selecting, copying
// and following links.
class MessageBubbleDelegate final : public QStyledItemDelegate {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MessageBubbleDelegate)

public:
    static constexpr int sideMargin = 16;
    static constexpr int itemSpacing = 12;
    static constexpr int bubblePadding = 10;
    static constexpr int cornerRadius = 10;
    static constexpr int minimumFreeSpace = 80;

    explicit MessageBubbleDelegate(QAbstractItemView* view);
    ~MessageBubbleDelegate() override;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

    // The bubble and its text area inside an item rectangle.
    QRect bubbleRect(const QRect& itemRect, const QModelIndex& index) const;
    QRect textRect(const QRect& itemRect, const QModelIndex& index) const;
    // The link target under a point of the item, if any.
    QString anchorAt(const QRect& itemRect, const QModelIndex& index, const QPoint& point) const;
    // The message's actions ("Show changes", "Undo this turn", …) as buttons under its bubble.
    QList<std::pair<QString, QRect>> actionRects(const QRect& itemRect, const QModelIndex& index) const;
    // The label of the action button under a point of the item, if any.
    QString actionAt(const QRect& itemRect, const QModelIndex& index, const QPoint& point) const;
    static constexpr int actionRowHeight = 26;

    // The width the bubbles are laid out for: the view's width less a
    // scroll bar, so that the scroll bar appearing does not re-lay out everything.
    int layoutWidth() const;
    void clearCaches();
    // The selection editor is going away: paint the bubble's text again at once.
    void editorClosing();

    // Messages longer than this start with an estimated size.
    static constexpr qsizetype exactLayoutLimit = 3000;

    // Counters for tests and measurements.
    int documentLayoutCount() const { return m_layoutCount; }

private:
    struct LaidOut {
        std::shared_ptr<QTextDocument> document;
        QSize textSize;
    };
    struct CachedSize {
        int width = -1;
        QSize size;
        bool exact = false;
    };
    LaidOut layoutFor(const QModelIndex& index) const;
    QSize cachedTextSize(const QModelIndex& index) const;
    QSize estimatedTextSize(const QString& text, int width) const;
    int maximumTextWidth() const;

    QAbstractItemView* m_view;
    // Text sizes by message id; an entry made for another width is a miss.
    mutable QHash<QUuid, CachedSize> m_sizes;
    // Recently painted documents, laid out for the width in the pair.
    mutable QCache<QUuid, std::pair<int, std::shared_ptr<QTextDocument>>> m_documents;
    mutable QPersistentModelIndex m_editingIndex;
    mutable int m_layoutCount = 0;
};

} // namespace kestrion
