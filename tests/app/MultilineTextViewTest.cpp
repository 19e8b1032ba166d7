#include "app/widgets/MultilineTextView.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using kestrion::MultilineTextView;

namespace {

struct ReturnCase {
    const char* name;
    bool withSubmitAction;
    Qt::KeyboardModifiers modifiers;
    int key;
    QString expectedText;
    int expectedSubmits;
};

class ReturnKeyTest : public ::testing::TestWithParam<ReturnCase> {};

TEST_P(ReturnKeyTest, returnSubmitsOrBreaksTheLineAsConfigured) {
    const ReturnCase& c = GetParam();
    MultilineTextView view;
    int submits = 0;
    if (c.withSubmitAction) {
        view.setSubmitAction([&submits] { ++submits; });
    }
    view.show();
    QTest::keyClicks(&view, QStringLiteral("ab"));
    QTest::keyClick(&view, static_cast<Qt::Key>(c.key), c.modifiers);
    QTest::keyClicks(&view, QStringLiteral("c"));
    EXPECT_EQ(view.text(), c.expectedText);
    EXPECT_EQ(submits, c.expectedSubmits);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ReturnKeyTest,
    ::testing::Values(
        ReturnCase{"returnWithActionSubmits", true, Qt::NoModifier, Qt::Key_Return, "abc", 1},
        ReturnCase{"keypadEnterWithActionSubmits", true, Qt::KeypadModifier, Qt::Key_Enter, "abc", 1},
        ReturnCase{"shiftReturnWithActionBreaksLine", true, Qt::ShiftModifier, Qt::Key_Return, "ab\nc", 0},
        ReturnCase{"returnWithoutActionBreaksLine", false, Qt::NoModifier, Qt::Key_Return, "ab\nc", 0},
        ReturnCase{"shiftReturnWithoutActionBreaksLine", false, Qt::ShiftModifier, Qt::Key_Return, "ab\nc", 0}),
    [](const ::testing::TestParamInfo<ReturnCase>& p) { return std::string(p.param.name); });

TEST(MultilineTextView, shiftReturnInsertsAPlainLineFeedNotALineSeparator) {
    MultilineTextView view;
    view.setSubmitAction([] {});
    view.show();
    QTest::keyClick(&view, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(view.text(), QStringLiteral("\n"));
    EXPECT_FALSE(view.text().contains(QChar::LineSeparator));
    EXPECT_EQ(view.document()->blockCount(), 2);
}

TEST(MultilineTextView, settingTheSameTextKeepsTheCursorAndEmitsNothing) {
    MultilineTextView view;
    view.setText(QStringLiteral("hello world"));
    QTextCursor cursor = view.textCursor();
    cursor.setPosition(3);
    view.setTextCursor(cursor);
    QSignalSpy edits(&view, &MultilineTextView::textEdited);

    view.setText(QStringLiteral("hello world"));

    EXPECT_EQ(view.textCursor().position(), 3);
    EXPECT_EQ(edits.count(), 0);
}

TEST(MultilineTextView, outsideChangesReplaceTheTextAndReportIt) {
    MultilineTextView view;
    view.setText(QStringLiteral("draft"));
    QSignalSpy edits(&view, &MultilineTextView::textEdited);

    view.setText(QString());

    EXPECT_TRUE(view.text().isEmpty());
    ASSERT_EQ(edits.count(), 1);
    EXPECT_EQ(edits.at(0).at(0).toString(), QString());
}

TEST(MultilineTextView, readOnlyViewIgnoresReturn) {
    MultilineTextView view;
    int submits = 0;
    view.setSubmitAction([&submits] { ++submits; });
    view.setText(QStringLiteral("x"));
    view.setReadOnly(true);
    view.show();
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_EQ(view.text(), QStringLiteral("x"));
    EXPECT_EQ(submits, 0);
}

// Tab in a message field moves on (a tab character there is never wanted and would trap the
// keyboard); an editor without a submit action keeps Tab for indentation and leaves with Ctrl+Tab.
TEST(MultilineTextView, tabLeavesAMessageFieldButIndentsInAnEditor) {
    struct Case {
        const char* name;
        bool withSubmitAction;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QString expectedText;
        const char* expectedFocus; // object name
    };
    const Case cases[] = {
        {"tabInField", true, Qt::Key_Tab, Qt::NoModifier, "ab", "after"},
        {"backtabInField", true, Qt::Key_Backtab, Qt::ShiftModifier, "ab", "before"},
        {"ctrlTabInField", true, Qt::Key_Tab, Qt::ControlModifier, "ab", "after"},
        {"tabInEditor", false, Qt::Key_Tab, Qt::NoModifier, "ab\t", "view"},
        {"ctrlTabInEditor", false, Qt::Key_Tab, Qt::ControlModifier, "ab", "after"},
        {"ctrlShiftTabInEditor", false, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, "ab", "before"},
        {"ctrlShiftTabAsTabInEditor", false, Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier, "ab", "before"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget window;
        auto* before = new QLineEdit(&window);
        auto* view = new MultilineTextView(&window);
        auto* after = new QLineEdit(&window);
        before->setObjectName(QStringLiteral("before"));
        view->setObjectName(QStringLiteral("view"));
        after->setObjectName(QStringLiteral("after"));
        if (c.withSubmitAction) {
            view->setSubmitAction([] {});
        }
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        view->setFocus();
        QTest::keyClicks(view, QStringLiteral("ab"));
        QTest::keyClick(view, c.key, c.modifiers);
        EXPECT_EQ(view->text(), c.expectedText);
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), QString::fromLatin1(c.expectedFocus));
    }
}

} // namespace
