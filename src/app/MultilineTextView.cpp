#include "app/MultilineTextView.h"

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
}

void MultilineTextView::setText(const QString& text) {
    if (text == toPlainText()) {
        return;
    }
    setPlainText(text);
    moveCursor(QTextCursor::End);
}

void MultilineTextView::keyPressEvent(QKeyEvent* event) {
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
