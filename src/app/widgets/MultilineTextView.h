#pragma once

#include <QPlainTextEdit>
#include <functional>

namespace kestrion {

// A plain-text editor for multi-line input. With a submit action set, Return
// runs the action instead of breaking the line and Shift+Return breaks the
// line; without one, Return behaves as in any editor. With a submit action
// Tab and Shift+Tab move the focus on; without one they indent as in any
// editor, and Ctrl+Tab / Ctrl+Shift+Tab move the focus on. Used by the composer
// (with a submit action) and by the source editor (monospaced, no action).
class MultilineTextView final : public QPlainTextEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MultilineTextView)

public:
    explicit MultilineTextView(QWidget* parent = nullptr);

    // An empty function removes the action.
    void setSubmitAction(std::function<void()> action);
    bool hasSubmitAction() const { return static_cast<bool>(m_submitAction); }

    QString text() const { return toPlainText(); }
    // Replaces the text only when it differs, so that a value written back
    // from the editor's own edits does not move the cursor or reset undo.
    void setText(const QString& text);

Q_SIGNALS:
    // Every user or programmatic change of the text, with the whole text.
    void textEdited(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::function<void()> m_submitAction;
};

} // namespace kestrion
