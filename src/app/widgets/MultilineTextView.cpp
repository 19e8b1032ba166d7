#include "app/widgets/MultilineTextView.h"

#include <QKeyEvent>
#include <QTextDocument>

namespace kestrion {

namespace {
constexpr qreal textInset = 6.0;
}

MultilineTextView::MultilineTextView(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setUndoRedoEnabled(true);
    setTabChangesFocus(false);
    document()->setDocumentMargin(textInset);
    connect(this, &QPlainTextEdit::textChanged, this, [this] { Q_EMIT textEdited(toPlainText()); });
}

void MultilineTextView::setSubmitAction(std::function<void()> action) {
    m_submitAction = std::move(action);
    // A message field has no use for a tab character; Tab moves on so the keyboard is never trapped.
    setTabChangesFocus(static_cast<bool>(m_submitAction));
}

void MultilineTextView::setText(const QString& text) {
    if (text == toPlainText()) {
        return;
    }
    setPlainText(text);
    moveCursor(QTextCursor::End);
}

void MultilineTextView::keyPressEvent(QKeyEvent* event) {
    // Ctrl+Tab and Ctrl+Shift+Tab leave an editor that keeps Tab for indentation.
    const bool isTab = event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab;
    if (isTab && event->modifiers().testFlag(Qt::ControlModifier)) {
        const bool backwards = event->key() == Qt::Key_Backtab || event->modifiers().testFlag(Qt::ShiftModifier);
        // QPlainTextEdit's own override refuses to move while Tab indents.
        QWidget::focusNextPrevChild(!backwards);
        event->accept();
        return;
    }
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (isReturn && !isReadOnly()) {
        if (event->modifiers().testFlag(Qt::ShiftModifier) || !m_submitAction) {
            // A paragraph break, as plain Return gives in any editor (the
            // editor's own Shift+Return would make a soft line break instead).
            textCursor().insertText(QStringLiteral("\n"));
            ensureCursorVisible();
            event->accept();
            return;
        }
        m_submitAction();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

} // namespace kestrion
