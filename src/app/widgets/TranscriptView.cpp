#include "app/widgets/TranscriptView.h"

#include "app/TabOrder.h"
#include "app/TranscriptModel.h"
#include "app/widgets/MessageBubbleDelegate.h"
#include "conversation/ChatViewModel.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QVariantAnimation>

namespace kestrion {

TranscriptView::TranscriptView(QWidget* parent)
    : QListView(parent), m_delegate(new MessageBubbleDelegate(this)), m_scrollAnimation(new QVariantAnimation(this)) {
    setItemDelegate(m_delegate);
    setViewMode(QListView::ListMode);
    setFlow(QListView::TopToBottom);
    setWrapping(false);
    setUniformItemSizes(false);
    setResizeMode(QListView::Adjust);
    setLayoutMode(QListView::SinglePass);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalScrollBar()->setSingleStep(24);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(true);
    setAccessibleName(tr("Transcript"));
    viewport()->setBackgroundRole(QPalette::Base);

    m_scrollAnimation->setDuration(220);
    m_scrollAnimation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_scrollAnimation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { verticalScrollBar()->setValue(value.toInt()); });
    // The target may grow while animating (a long reply lays out); end exactly at the bottom.
    connect(m_scrollAnimation, &QVariantAnimation::finished, this,
            [this] { verticalScrollBar()->setValue(verticalScrollBar()->maximum()); });
    // A row whose estimated height was replaced by its real one moves the rows
    // below it; a transcript showing its end keeps showing it.
    connect(m_delegate, &QAbstractItemDelegate::sizeHintChanged, this, [this] {
        const bool atEnd = verticalScrollBar()->value() >= verticalScrollBar()->maximum() ||
                           m_scrollAnimation->state() == QAbstractAnimation::Running;
        if (atEnd) {
            QTimer::singleShot(0, this, [this] {
                if (m_scrollAnimation->state() != QAbstractAnimation::Running) {
                    scrollToBottom();
                }
            });
        }
    });
}

void TranscriptView::setModel(QAbstractItemModel* model) {
    if (QAbstractItemModel* old = this->model()) {
        disconnect(old, nullptr, this, nullptr);
    }
    QListView::setModel(model);
    if (!model) {
        return;
    }
    connect(model, &QAbstractItemModel::rowsInserted, this, [this] { followNewest(true); });
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved}) {
        connect(model, signal, this, &TranscriptView::scheduleActionButtons);
    }
    connect(model, &QAbstractItemModel::dataChanged, this, &TranscriptView::scheduleActionButtons);
    connect(model, &QAbstractItemModel::modelReset, this, &TranscriptView::scheduleActionButtons);
    connect(model, &QAbstractItemModel::layoutChanged, this, &TranscriptView::scheduleActionButtons);
    // Action buttons come and go under the bubbles: the rows are placed again.
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                if (roles.contains(TranscriptModel::ActionsRole)) {
                    scheduleDelayedItemsLayout();
                }
            });
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, [this] { closeOpenEditor(); });
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        m_delegate->clearCaches();
        followNewest(false);
    });
    followNewest(false);
}

QRect TranscriptView::bubbleRect(const QModelIndex& index) const {
    return m_delegate->bubbleRect(visualRect(index), index);
}

void TranscriptView::followNewest(bool animated) {
    if (!model() || model()->rowCount() == 0) {
        return;
    }
    // scrollToBottom lays out pending rows first, so the maximum is current.
    m_scrollAnimation->stop();
    const int start = verticalScrollBar()->value();
    scrollToBottom();
    const int target = verticalScrollBar()->maximum();
    if (!animated || !isVisible() || target <= start) {
        verticalScrollBar()->setValue(target);
        return;
    }
    verticalScrollBar()->setValue(start);
    m_scrollAnimation->setStartValue(start);
    m_scrollAnimation->setEndValue(target);
    m_scrollAnimation->start();
}

void TranscriptView::closeOpenEditor() {
    m_forwardTarget.clear();
    QWidget* editor = m_editorIndex.isValid() ? indexWidget(m_editorIndex) : nullptr;
    if (editor) {
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
    m_editorIndex = QPersistentModelIndex();
}

bool TranscriptView::forwardToEditor(QMouseEvent* event) {
    if (!m_forwardTarget) {
        return false;
    }
    const QPointF local = m_forwardTarget->mapFrom(viewport(), event->position().toPoint());
    QMouseEvent forwarded(event->type(), local, event->globalPosition(), event->button(), event->buttons(),
                          event->modifiers());
    QCoreApplication::sendEvent(m_forwardTarget, &forwarded);
    return true;
}

void TranscriptView::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && event->button() == Qt::LeftButton) {
        const QString action = m_delegate->actionAt(visualRect(index), index, event->position().toPoint());
        if (!action.isEmpty()) {
            Q_EMIT messageActionTriggered(index.data(TranscriptModel::MessageIdRole).toUuid(), action);
            event->accept();
            return;
        }
    }
    const bool onText =
        index.isValid() && m_delegate->textRect(visualRect(index), index).contains(event->position().toPoint());
    if (index != QModelIndex(m_editorIndex)) {
        closeOpenEditor();
    }
    QListView::mousePressEvent(event);
    if (!onText || event->button() != Qt::LeftButton) {
        return;
    }
    if (!m_editorIndex.isValid()) {
        edit(index);
        m_editorIndex = QPersistentModelIndex(index);
    }
    // The same press starts a selection or a link click in the editor.
    if (auto* browser = qobject_cast<QTextBrowser*>(indexWidget(index))) {
        m_forwardTarget = browser->viewport();
        browser->setFocus(Qt::MouseFocusReason);
        forwardToEditor(event);
    }
}

void TranscriptView::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() != Qt::NoButton && forwardToEditor(event)) {
        return;
    }
    const QModelIndex index = indexAt(event->position().toPoint());
    const bool overLink =
        index.isValid() && !m_delegate->anchorAt(visualRect(index), index, event->position().toPoint()).isEmpty();
    viewport()->setCursor(overLink ? Qt::PointingHandCursor : Qt::ArrowCursor);
    QListView::mouseMoveEvent(event);
}

void TranscriptView::mouseReleaseEvent(QMouseEvent* event) {
    if (forwardToEditor(event)) {
        m_forwardTarget.clear();
        return;
    }
    QListView::mouseReleaseEvent(event);
}

void TranscriptView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (forwardToEditor(event)) {
        return;
    }
    QListView::mouseDoubleClickEvent(event);
}

void TranscriptView::copyCurrentMessage() {
    if (auto* browser = qobject_cast<QTextBrowser*>(indexWidget(currentIndex()));
        browser && browser->textCursor().hasSelection()) {
        browser->copy();
        return;
    }
    if (currentIndex().isValid()) {
        QApplication::clipboard()->setText(currentIndex().data(Qt::DisplayRole).toString());
    }
}

void TranscriptView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        copyCurrentMessage();
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

void TranscriptView::contextMenuEvent(QContextMenuEvent* event) {
    const QModelIndex index = indexAt(event->pos());
    if (!index.isValid()) {
        return;
    }
    setCurrentIndex(index);
    QMenu menu(this);
    QAction* copy = menu.addAction(tr("Copy"));
    copy->setShortcut(QKeySequence::Copy);
    connect(copy, &QAction::triggered, this, &TranscriptView::copyCurrentMessage);
    const QUuid messageId = index.data(TranscriptModel::MessageIdRole).toUuid();
    const QStringList actions = index.data(TranscriptModel::ActionsRole).toStringList();
    if (!actions.isEmpty()) {
        menu.addSeparator();
    }
    for (const QString& label : actions) {
        connect(menu.addAction(TurnActions::actionLabel(label)), &QAction::triggered, this,
                [this, messageId, label] { Q_EMIT messageActionTriggered(messageId, label); });
    }
    const QString anchor = m_delegate->anchorAt(visualRect(index), index, event->pos());
    if (!anchor.isEmpty()) {
        QAction* copyLink = menu.addAction(tr("Copy Link"));
        connect(copyLink, &QAction::triggered, this, [anchor] { QApplication::clipboard()->setText(anchor); });
    }
    menu.exec(event->globalPos());
}

void TranscriptView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    m_delegate->editorClosing();
    if (m_editorIndex.isValid()) {
        viewport()->update(visualRect(m_editorIndex));
    }
    m_editorIndex = QPersistentModelIndex();
    m_forwardTarget.clear();
    QListView::closeEditor(editor, hint);
}

void TranscriptView::resizeEvent(QResizeEvent* event) {
    QListView::resizeEvent(event);
    // The editor was laid out for the old width; a fresh one opens on the next press.
    if (m_delegate->layoutWidth() != m_lastLayoutWidth) {
        m_lastLayoutWidth = m_delegate->layoutWidth();
        closeOpenEditor();
    }
}

QList<QToolButton*> TranscriptView::actionButtons() const {
    QList<QToolButton*> shown;
    for (QToolButton* button : m_actionButtons) {
        if (!button->isHidden()) {
            shown.append(button);
        }
    }
    return shown;
}

void TranscriptView::scrollContentsBy(int dx, int dy) {
    QListView::scrollContentsBy(dx, dy);
    scheduleActionButtons();
}

void TranscriptView::updateGeometries() {
    QListView::updateGeometries();
    scheduleActionButtons();
}

void TranscriptView::scheduleActionButtons() {
    if (m_actionButtonsScheduled) {
        return;
    }
    m_actionButtonsScheduled = true;
    QMetaObject::invokeMethod(this, &TranscriptView::placeActionButtons, Qt::QueuedConnection);
}

void TranscriptView::placeActionButtons() {
    m_actionButtonsScheduled = false;
    qsizetype used = 0;
    const QRect visible = viewport()->rect();
    const int rows = model() ? model()->rowCount(rootIndex()) : 0;
    for (int row = 0; row < rows; ++row) {
        const QModelIndex index = model()->index(row, 0, rootIndex());
        const QRect item = visualRect(index);
        if (!item.intersects(visible)) {
            continue;
        }
        const QUuid messageId = index.data(TranscriptModel::MessageIdRole).toUuid();
        for (const auto& [label, rect] : m_delegate->actionRects(item, index)) {
            if (used == m_actionButtons.size()) {
                // Made in reading order, so the window's Tab walk meets them in that order.
                auto* button = new QToolButton(viewport());
                button->setFocusPolicy(Qt::StrongFocus);
                button->setProperty(TabOrder::stopInsideProperty, true);
                connect(button, &QToolButton::clicked, this, [this, button] {
                    Q_EMIT messageActionTriggered(button->property("messageId").toUuid(),
                                                  button->property("action").toString());
                });
                m_actionButtons.append(button);
            }
            QToolButton* button = m_actionButtons.at(used++);
            button->setText(TurnActions::actionLabel(label));
            button->setAccessibleName(button->text());
            button->setProperty("action", label);
            button->setProperty("messageId", messageId);
            button->setGeometry(rect);
            button->show();
        }
    }
    for (qsizetype i = used; i < m_actionButtons.size(); ++i) {
        m_actionButtons.at(i)->hide();
    }
}

} // namespace kestrion
