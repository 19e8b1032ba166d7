#include "app/widgets/MessageBubbleDelegate.h"

#include "app/TranscriptModel.h"
#include "app/widgets/ChatMarkdown.h"
#include "conversation/ChatViewModel.h"
#include "support/ExternalLinks.h"

#include <QAbstractItemView>
#include <QAbstractTextDocumentLayout>
#include <QDesktopServices>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScrollBar>
#include <QStyle>
#include <QTextBrowser>
#include <QTextDocument>
#include <cmath>

namespace kestrion {

namespace {

class BubbleTextBrowser final : public QTextBrowser {
public:
    explicit BubbleTextBrowser(QWidget* parent) : QTextBrowser(parent) {}

    QVariant loadResource(int, const QUrl&) override { return {}; }
};

void openIfExternal(const QUrl& url) {
    // A reply chooses its links: only web and mail addresses reach the desktop,
    // never a file, a network share or some other handler. Relative targets
    // have nowhere to go without a base location.
    if (ExternalLinks::isExternallyOpenable(url)) {
        QDesktopServices::openUrl(url);
    }
}

QColor userBubbleColor(const QPalette& palette) {
    QColor accent = palette.color(QPalette::Highlight);
    accent.setAlphaF(0.15f);
    return accent;
}

QColor assistantBubbleColor(const QPalette& palette) {
    return palette.color(QPalette::AlternateBase);
}

} // namespace

MessageBubbleDelegate::MessageBubbleDelegate(QAbstractItemView* view) : QStyledItemDelegate(view), m_view(view) {
    m_documents.setMaxCost(48);
}

MessageBubbleDelegate::~MessageBubbleDelegate() = default;

int MessageBubbleDelegate::layoutWidth() const {
    const int scrollBarExtent = m_view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_view);
    const int frame = m_view->frameWidth() * 2;
    return std::max(1, m_view->width() - frame - scrollBarExtent);
}

int MessageBubbleDelegate::maximumTextWidth() const {
    return std::max(40, layoutWidth() - 2 * sideMargin - minimumFreeSpace - 2 * bubblePadding);
}

void MessageBubbleDelegate::editorClosing() {
    m_editingIndex = QPersistentModelIndex();
}

void MessageBubbleDelegate::clearCaches() {
    m_sizes.clear();
    m_documents.clear();
}

MessageBubbleDelegate::LaidOut MessageBubbleDelegate::layoutFor(const QModelIndex& index) const {
    const QUuid id = index.data(TranscriptModel::MessageIdRole).toUuid();
    const int width = maximumTextWidth();
    const CachedSize known = m_sizes.value(id);
    if (auto* cached = m_documents.object(id);
        cached && cached->first == width && known.width == width && known.exact) {
        return {cached->second, known.size};
    }
    auto document = std::make_shared<ChatTextDocument>();
    document->setDefaultFont(m_view->font());
    document->setDocumentMargin(0);
    document->setUndoRedoEnabled(false);
    setChatMarkdown(*document, index.data(Qt::DisplayRole).toString());
    document->setTextWidth(width);
    ++m_layoutCount;
    const int ideal = static_cast<int>(std::ceil(document->idealWidth()));
    const QSize textSize(std::clamp(ideal, 1, width), static_cast<int>(std::ceil(document->size().height())));
    m_sizes.insert(id, {width, textSize, true});
    m_documents.insert(id, new std::pair<int, std::shared_ptr<QTextDocument>>(width, document));
    if (known.width == width && !known.exact && known.size.height() != textSize.height()) {
        // The row was placed with an estimate; let the view place it again
        // (queued: this may run while the view paints).
        QMetaObject::invokeMethod(
            const_cast<MessageBubbleDelegate*>(this),
            [self = const_cast<MessageBubbleDelegate*>(this), row = QPersistentModelIndex(index)] {
                if (row.isValid()) {
                    Q_EMIT self->sizeHintChanged(row);
                }
            },
            Qt::QueuedConnection);
    }
    return {document, textSize};
}

QSize MessageBubbleDelegate::estimatedTextSize(const QString& text, int width) const {
    // Wrapped source lines at an average character width; Markdown markup
    // roughly balances the extra spacing of headings, lists and code blocks.
    const QFontMetrics metrics(m_view->font());
    const qreal averageCharacter = std::max(1.0, metrics.averageCharWidth() * 1.05);
    const qsizetype perLine = std::max<qsizetype>(1, static_cast<qsizetype>(width / averageCharacter));
    qsizetype lines = 0;
    for (QStringView line : QStringView(text).split(u'\n')) {
        lines += std::max<qsizetype>(1, (line.size() + perLine - 1) / perLine);
    }
    return {width, static_cast<int>(lines * metrics.lineSpacing())};
}

QSize MessageBubbleDelegate::cachedTextSize(const QModelIndex& index) const {
    const QUuid id = index.data(TranscriptModel::MessageIdRole).toUuid();
    const int width = maximumTextWidth();
    if (auto it = m_sizes.constFind(id); it != m_sizes.cend() && it->width == width) {
        return it->size;
    }
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.size() <= exactLayoutLimit) {
        return layoutFor(index).textSize;
    }
    const QSize estimate = estimatedTextSize(text, width);
    m_sizes.insert(id, {width, estimate, false});
    return estimate;
}

QSize MessageBubbleDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const {
    const QSize textSize = cachedTextSize(index);
    const bool hasActions = !index.data(TranscriptModel::ActionsRole).toStringList().isEmpty();
    return {layoutWidth(), textSize.height() + 2 * bubblePadding + itemSpacing + (hasActions ? actionRowHeight : 0)};
}

QList<std::pair<QString, QRect>> MessageBubbleDelegate::actionRects(const QRect& itemRect,
                                                                    const QModelIndex& index) const {
    const QStringList actions = index.data(TranscriptModel::ActionsRole).toStringList();
    QList<std::pair<QString, QRect>> rects;
    if (actions.isEmpty()) {
        return rects;
    }
    const QRect bubble = bubbleRect(itemRect, index);
    const QFontMetrics metrics(m_view->font());
    int left = bubble.left();
    for (const QString& action : actions) {
        const int width = metrics.horizontalAdvance(TurnActions::actionLabel(action)) + 2 * bubblePadding;
        rects.append({action, QRect(left, bubble.bottom() + 4, width, actionRowHeight - 6)});
        left += width + 6;
    }
    return rects;
}

QString MessageBubbleDelegate::actionAt(const QRect& itemRect, const QModelIndex& index, const QPoint& point) const {
    for (const auto& [action, rect] : actionRects(itemRect, index)) {
        if (rect.contains(point)) {
            return action;
        }
    }
    return {};
}

QRect MessageBubbleDelegate::bubbleRect(const QRect& itemRect, const QModelIndex& index) const {
    const QSize textSize = cachedTextSize(index);
    const QSize bubbleSize(textSize.width() + 2 * bubblePadding, textSize.height() + 2 * bubblePadding);
    const int top = itemRect.top() + itemSpacing / 2;
    const bool isUser = index.data(TranscriptModel::IsUserRole).toBool();
    const int left =
        isUser ? itemRect.left() + layoutWidth() - sideMargin - bubbleSize.width() : itemRect.left() + sideMargin;
    return {QPoint(left, top), bubbleSize};
}

QRect MessageBubbleDelegate::textRect(const QRect& itemRect, const QModelIndex& index) const {
    return bubbleRect(itemRect, index).adjusted(bubblePadding, bubblePadding, -bubblePadding, -bubblePadding);
}

QString MessageBubbleDelegate::anchorAt(const QRect& itemRect, const QModelIndex& index, const QPoint& point) const {
    const QRect text = textRect(itemRect, index);
    if (!text.contains(point)) {
        return {};
    }
    const LaidOut laidOut = layoutFor(index);
    return laidOut.document->documentLayout()->anchorAt(point - text.topLeft());
}

void MessageBubbleDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    const bool isUser = index.data(TranscriptModel::IsUserRole).toBool();
    // Painting needs the real layout; it also replaces an estimated size.
    const LaidOut laidOut = layoutFor(index);
    const QRect bubble = bubbleRect(option.rect, index);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    QPainterPath path;
    path.addRoundedRect(QRectF(bubble), cornerRadius, cornerRadius);
    painter->fillPath(path, isUser ? userBubbleColor(option.palette) : assistantBubbleColor(option.palette));
    if (!isUser) {
        QColor edge = option.palette.color(QPalette::Mid);
        edge.setAlphaF(0.35f);
        painter->setPen(QPen(edge, 1));
        painter->drawPath(path);
    }
    if (option.state.testFlag(QStyle::State_HasFocus) && m_view->hasFocus()) {
        painter->setPen(QPen(option.palette.color(QPalette::Highlight), 1.5));
        painter->drawPath(path);
    }

    // While the selection editor covers this bubble it draws the text itself.
    if (m_editingIndex != QPersistentModelIndex(index)) {
        const QRect text = textRect(option.rect, index);
        painter->translate(text.topLeft());
        QAbstractTextDocumentLayout::PaintContext context;
        context.palette = option.palette;
        context.palette.setColor(QPalette::Text, option.palette.color(QPalette::Text));
        // Only the visible part of a long message is drawn.
        const QRect visible = option.rect.intersected(m_view->viewport()->rect());
        context.clip = QRectF(visible.translated(-text.topLeft()));
        laidOut.document->documentLayout()->draw(painter, context);
    }
    painter->restore();

    const QList<std::pair<QString, QRect>> actions = actionRects(option.rect, index);
    if (!actions.isEmpty()) {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, true);
        painter->setFont(m_view->font());
        for (const auto& [action, rect] : actions) {
            QPainterPath chip;
            chip.addRoundedRect(QRectF(rect), 6, 6);
            painter->fillPath(chip, option.palette.color(QPalette::Button));
            painter->setPen(QPen(option.palette.color(QPalette::Mid), 1));
            painter->drawPath(chip);
            painter->setPen(option.palette.color(QPalette::Link));
            painter->drawText(rect, Qt::AlignCenter, TurnActions::actionLabel(action));
        }
        painter->restore();
    }
}

QWidget* MessageBubbleDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                             const QModelIndex& index) const {
    auto* browser = new BubbleTextBrowser(parent);
    browser->setDocument(new ChatTextDocument(browser));
    browser->setFrameShape(QFrame::NoFrame);
    browser->setReadOnly(true);
    browser->setOpenLinks(false);
    browser->setOpenExternalLinks(false);
    browser->setTextInteractionFlags(Qt::TextBrowserInteraction);
    browser->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    browser->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    browser->setContextMenuPolicy(Qt::DefaultContextMenu);
    browser->setAccessibleName(index.data(Qt::AccessibleDescriptionRole).toString());
    QPalette palette = browser->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    browser->setPalette(palette);
    browser->viewport()->setAutoFillBackground(false);
    browser->setAutoFillBackground(false);
    browser->document()->setDocumentMargin(0);
    browser->document()->setDefaultFont(m_view->font());
    connect(browser, &QTextBrowser::anchorClicked, browser, &openIfExternal);

    m_editingIndex = QPersistentModelIndex(index);
    QPointer<QObject> view = m_view;
    connect(browser, &QObject::destroyed, this, [this, view, index = QPersistentModelIndex(index)] {
        if (m_editingIndex == index) {
            m_editingIndex = QPersistentModelIndex();
        }
        // The editor also goes when the view itself is destroyed; by then the view is
        // no longer an item view (qobject_cast gives null) and must not be updated.
        auto* itemView = qobject_cast<QAbstractItemView*>(view.data());
        if (itemView && index.isValid()) {
            itemView->update(index);
        }
    });
    return browser;
}

void MessageBubbleDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    if (auto* browser = qobject_cast<QTextBrowser*>(editor)) {
        setChatMarkdown(*browser->document(), index.data(Qt::DisplayRole).toString());
    }
}

void MessageBubbleDelegate::setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const {
    // Read-only: the transcript is never edited.
}

void MessageBubbleDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                                 const QModelIndex& index) const {
    editor->setGeometry(textRect(option.rect, index));
}

} // namespace kestrion
