#pragma once

#include <QListView>
#include <QPointer>

class QToolButton;
class QVariantAnimation;

namespace kestrion {

class MessageBubbleDelegate;

// The chat transcript: one painted bubble per message, laid out once and
// cached. Pressing on a bubble's text opens a read-only text browser over it,
// so text can be selected and links followed with the same press; Ctrl+C and
// the context menu copy the current message. Follows the newest message on
// every append.
class TranscriptView final : public QListView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TranscriptView)

public:
    explicit TranscriptView(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;
    // The rectangle of a message's bubble in viewport coordinates.
    QRect bubbleRect(const QModelIndex& index) const;
    // Copies the current message's text, or the selected part of it.
    void copyCurrentMessage();
    // The buttons for the actions under the messages on screen, in reading order. They are real
    // controls, so Tab and screen readers reach them; the delegate's painting only backs them.
    QList<QToolButton*> actionButtons() const;

Q_SIGNALS:
    // An action button under a message (or its entry in the context menu) was used.
    void messageActionTriggered(const QUuid& messageId, const QString& action);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;

private:
    void followNewest(bool animated);
    void closeOpenEditor();
    bool forwardToEditor(QMouseEvent* event);
    // Places the action buttons again once the current events are handled (scrolling, a row
    // changing and a resize often come together).
    void scheduleActionButtons();
    void placeActionButtons();

    MessageBubbleDelegate* m_delegate;
    QVariantAnimation* m_scrollAnimation;
    QPersistentModelIndex m_editorIndex;
    // The editor's viewport receiving the rest of a press started on a bubble.
    QPointer<QWidget> m_forwardTarget;
    int m_lastLayoutWidth = -1;
    QList<QToolButton*> m_actionButtons;
    bool m_actionButtonsScheduled = false;
};

} // namespace kestrion
