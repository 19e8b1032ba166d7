#include "app/TranscriptModel.h"
#include "app/widgets/ChatMarkdown.h"
#include "app/widgets/MessageBubbleDelegate.h"
#include "app/widgets/TranscriptView.h"
#include "conversation/ChatViewModel.h"
#include "generation/ProjectMaterializer.h"
#include "support/Eventually.h"

#include <QAbstractItemModelTester>
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextList>
#include <gtest/gtest.h>

using namespace kestrion;

namespace {

// Records the links QDesktopServices is asked to open.
class UrlRecorder final : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }
};

QStandardItem* messageItem(const QString& text, bool isUser) {
    auto* item = new QStandardItem(text);
    item->setData(QUuid::createUuid(), TranscriptModel::MessageIdRole);
    item->setData(isUser, TranscriptModel::IsUserRole);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
    return item;
}

// ---- Markdown to document ------------------------------------------------

struct MarkdownCase {
    const char* name;
    QString source;
    QString expectedPlainText;

    friend void PrintTo(const MarkdownCase& c, std::ostream* out) { *out << c.name; }
};

class ChatMarkdownTest : public ::testing::TestWithParam<MarkdownCase> {};

TEST_P(ChatMarkdownTest, rendersMarkdownOrFallsBackToTheTextUnchanged) {
    QTextDocument document;
    setChatMarkdown(document, GetParam().source);
    EXPECT_EQ(document.toPlainText().trimmed(), GetParam().expectedPlainText);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ChatMarkdownTest,
    ::testing::Values(
        MarkdownCase{"emphasisIsInterpreted", QStringLiteral("**bold** and *it*"), QStringLiteral("bold and it")},
        MarkdownCase{"listIsInterpreted", QStringLiteral("- one\n- two"), QStringLiteral("one\ntwo")},
        // Raw HTML is shown as text, never interpreted (no markup from a reply reaches the renderer).
        MarkdownCase{"rawHtmlStaysText", QStringLiteral("<b>x</b>"), QStringLiteral("<b>x</b>")},
        // Markdown that yields nothing visible is shown as it was written.
        MarkdownCase{"referenceDefinitionOnlyFallsBackToPlainText", QStringLiteral("[site]: https://example.com"),
                     QStringLiteral("[site]: https://example.com")},
        MarkdownCase{"blankStaysBlank", QStringLiteral("   "), QString()},
        // A single line break is kept, as chat apps show it; a blank line still
        // separates paragraphs.
        MarkdownCase{"proseKeepsItsLineBreaks", QStringLiteral("Done.\nI added a header.\n\nAnd a *footer*."),
                     QStringLiteral("Done.\nI added a header.\nAnd a footer.")},
        MarkdownCase{"quotedLinesKeepTheirBreaks", QStringLiteral("> one\n> two"), QStringLiteral("one\ntwo")},
        MarkdownCase{"anExistingHardBreakIsNotDoubled", QStringLiteral("one\\\ntwo  \nthree"),
                     QStringLiteral("one\ntwo\nthree")},
        MarkdownCase{"underlinedHeadingStaysAHeading", QStringLiteral("Title\n=====\ntext"),
                     QStringLiteral("Title\ntext")},
        MarkdownCase{"inlineCodeOfThreeBackticksIsNoFence", QStringLiteral("```x``` one\ntwo\nthree"),
                     QStringLiteral("x one\ntwo\nthree")},
        MarkdownCase{"windowsLineEndingsBreakToo", QStringLiteral("one\r\ntwo"), QStringLiteral("one\ntwo")},
        MarkdownCase{"headingAndFollowingLineStaySeparate", QStringLiteral("# Title\ntext"),
                     QStringLiteral("Title\ntext")},
        // Code keeps its text exactly: nothing is added to its lines.
        MarkdownCase{"fencedCodeIsVerbatim", QStringLiteral("Code:\n```\nint a;\n  int b;\n```\nafter"),
                     QStringLiteral("Code:\nint a;\n  int b;\nafter")},
        MarkdownCase{"tildeFenceInsideAListItemIsVerbatim", QStringLiteral("- step\n  ~~~\n  x\n  y\n  ~~~"),
                     QStringLiteral("step\nx\ny")},
        MarkdownCase{"indentedCodeIsVerbatim", QStringLiteral("Code:\n\n    a\n    b\n\nafter"),
                     QStringLiteral("Code:\na\nb\nafter")},
        MarkdownCase{"tableStaysATable", QStringLiteral("| a | b |\n|---|---|\n| 1 | 2 |"),
                     QStringLiteral("a\nb\n1\n2")}),
    [](const ::testing::TestParamInfo<MarkdownCase>& p) { return std::string(p.param.name); });

// Every line of the laid-out document, as shown at a width where nothing wraps.
QStringList shownLines(QTextDocument& document) {
    document.setTextWidth(4000);
    document.documentLayout()->documentSize(); // lays every block out
    QStringList lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextLayout* layout = block.layout();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            lines << block.text().mid(line.textStart(), line.textLength()).trimmed().remove(QChar::LineSeparator);
        }
    }
    return lines;
}

TEST(ChatMarkdown, theReplySummaryShowsOneRowPerLine) {
    ProjectMaterializer::Result result;
    result.writtenRelativePaths = {QStringLiteral("index.htm"), QStringLiteral("hero.png")};
    result.generatedImagePaths = {QStringLiteral("hero.png")};
    result.skippedUnsafePaths = {QStringLiteral("../x.html")};
    QTextDocument document;
    setChatMarkdown(document, QStringLiteral("Here you go.\n\n") + ProjectMaterializer::summaryText(result));

    EXPECT_EQ(shownLines(document),
              (QStringList{QStringLiteral("Here you go."), QStringLiteral("Files created: hero.png, index.htm"),
                           QStringLiteral("Images generated: hero.png"),
                           QStringLiteral("Skipped unsafe path(s): ../x.html")}));
    // The labels are still bold and the paths still code.
    const QTextBlock summary = document.begin().next();
    EXPECT_EQ(summary.begin().fragment().charFormat().fontWeight(), QFont::Bold);
}

// A break inside a list item would become a block, and so a bullet, of its
// own: list items keep Markdown's joined lines, and their numbers.
TEST(ChatMarkdown, listsStayListsBesideLineBreaks) {
    QTextDocument document;
    setChatMarkdown(document, QStringLiteral("Changes:\n- a\n- b\n  more of b\n\nSteps:\n1. one\n   more\n"
                                             "2. two\n\n   also two\n\nDone.\nBye."));
    EXPECT_EQ(shownLines(document),
              (QStringList{QStringLiteral("Changes:"), QStringLiteral("a"), QStringLiteral("b more of b"),
                           QStringLiteral("Steps:"), QStringLiteral("one more"), QStringLiteral("two"),
                           QStringLiteral("also two"), QStringLiteral("Done."), QStringLiteral("Bye.")}));
    QTextBlock block = document.begin();
    EXPECT_EQ(block.textList(), nullptr);
    block = block.next();
    ASSERT_NE(block.textList(), nullptr);
    EXPECT_EQ(block.textList()->count(), 2);
    const QTextBlock numbered = block.next().next().next();
    ASSERT_NE(numbered.textList(), nullptr);
    EXPECT_EQ(numbered.textList()->itemText(numbered.next()), QStringLiteral("2."));
}

TEST(ChatMarkdown, linksKeepTheirTargets) {
    QTextDocument document;
    setChatMarkdown(document, QStringLiteral("See [the site](https://example.com/a)."));
    EXPECT_TRUE(document.toHtml().contains(QStringLiteral("https://example.com/a")));
}

// ---- Model over the controller ------------------------------------------

class TranscriptModelTest : public ::testing::Test {
protected:
    ChatViewModel chat;
};

// Qt's model checker over the model, run on every change it signals; a broken
// rule aborts the test (a warning would pass unnoticed).
TEST_F(TranscriptModelTest, anAppendInsertsOneRowWithoutAReset) {
    TranscriptModel model(&chat);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    chat.appendKestrionStatus(QStringLiteral("first"));
    chat.appendKestrionStatus(QStringLiteral("second"));

    EXPECT_EQ(inserted.count(), 2);
    EXPECT_EQ(reset.count(), 0);
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.index(1).data().toString(), QStringLiteral("second"));
    EXPECT_EQ(model.index(1).data(TranscriptModel::MessageIdRole).toUuid(), chat.messages().at(1).id);
    EXPECT_FALSE(model.index(1).data(TranscriptModel::IsUserRole).toBool());
}

// Every change of the messages shown is one insertion or one reset, never both and never a
// guess: a message for a chat not shown changes nothing.
TEST_F(TranscriptModelTest, eachChangeIsOneInsertionOrOneReset) {
    chat.appendKestrionStatus(QStringLiteral("in the first chat"));
    const ChatViewModel::ChatTarget first = chat.activeTarget();
    TranscriptModel model(&chat);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_EQ(model.rowCount(), 1);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    chat.newChat();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(model.rowCount(), 0);

    chat.appendKestrionStatus(QStringLiteral("for the first chat, not shown"), first);
    EXPECT_EQ(model.rowCount(), 0);

    chat.selectSession(first.sessionId);
    EXPECT_EQ(reset.count(), 2);
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.index(1).data().toString(), QStringLiteral("for the first chat, not shown"));
    EXPECT_EQ(inserted.count(), 0);
}

TEST_F(TranscriptModelTest, screenReadersGetEveryMessagesText) {
    chat.appendKestrionStatus(QStringLiteral("**Deploy** done"));
    TranscriptModel model(&chat);
    EXPECT_EQ(model.index(0).data(Qt::AccessibleTextRole).toString(), QStringLiteral("**Deploy** done"));
    EXPECT_EQ(model.index(0).data(Qt::AccessibleDescriptionRole).toString(), QStringLiteral("Assistant"));
}

// ---- Bubbles ---------------------------------------------------------------

class BubbleViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.resize(640, 480);
        view.setModel(&model);
    }

    void addMessages(std::initializer_list<std::pair<QString, bool>> messages) {
        for (const auto& [text, isUser] : messages) {
            model.appendRow(messageItem(text, isUser));
        }
    }

    // The delegate painting the bubbles, reached the way any item view offers its delegate.
    MessageBubbleDelegate* delegate() const { return qobject_cast<MessageBubbleDelegate*>(view.itemDelegate()); }

    QStandardItemModel model;
    TranscriptView view;
};

TEST_F(BubbleViewTest, userBubblesSitTrailingAndAssistantBubblesLeadingWithRoomOnTheOtherSide) {
    addMessages({{QStringLiteral("short question"), true},
                 {QString(QStringLiteral("a long answer ")).repeated(60), false},
                 {QString(QStringLiteral("a long question ")).repeated(60), true}});
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const int width = delegate()->layoutWidth();
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row, 0);
        const QRect bubble = view.bubbleRect(index);
        const bool isUser = index.data(TranscriptModel::IsUserRole).toBool();
        SCOPED_TRACE(row);
        if (isUser) {
            EXPECT_EQ(bubble.right() + 1, width - MessageBubbleDelegate::sideMargin);
            EXPECT_GE(bubble.left(), MessageBubbleDelegate::sideMargin + MessageBubbleDelegate::minimumFreeSpace);
        } else {
            EXPECT_EQ(bubble.left(), MessageBubbleDelegate::sideMargin);
            EXPECT_LE(bubble.right() + 1,
                      width - MessageBubbleDelegate::sideMargin - MessageBubbleDelegate::minimumFreeSpace);
        }
    }
    // A short message's bubble hugs its text instead of spanning the row.
    EXPECT_LT(view.bubbleRect(model.index(0, 0)).width(), width / 2);
}

TEST_F(BubbleViewTest, sizesAreLaidOutOncePerMessageAndWidth) {
    addMessages({{QStringLiteral("one"), true}, {QStringLiteral("two"), false}});
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const int afterShow = delegate()->documentLayoutCount();
    view.viewport()->repaint();
    view.doItemsLayout();
    view.viewport()->repaint();
    EXPECT_EQ(delegate()->documentLayoutCount(), afterShow);

    view.resize(900, 480);
    view.doItemsLayout();
    EXPECT_GT(delegate()->documentLayoutCount(), afterShow);
}

TEST_F(BubbleViewTest, followsTheNewestMessageEvenWhenScrolledUp) {
    for (int i = 0; i < 60; ++i) {
        addMessages({{QStringLiteral("message %1").arg(i), i % 2 == 0}});
    }
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QScrollBar* bar = view.verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(0);

    addMessages({{QStringLiteral("the newest"), false}});

    ASSERT_TRUE(kestrion::test::becomes([&] { return bar->value(); }, bar->maximum()));
    EXPECT_TRUE(view.viewport()->rect().intersects(view.visualRect(model.index(model.rowCount() - 1, 0))));
}

TEST_F(BubbleViewTest, longMessagesStartEstimatedAndTheEndStaysInViewOnceLaidOut) {
    QString longMarkdown;
    while (longMarkdown.size() <= MessageBubbleDelegate::exactLayoutLimit) {
        longMarkdown += QStringLiteral("## Heading\n\n```css\n.a { color: red; }\n```\n\n- item\n- item\n\n");
    }
    for (int i = 0; i < 20; ++i) {
        addMessages({{QStringLiteral("question %1").arg(i), true}, {longMarkdown, false}});
    }
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const int laidOutAtShow = delegate()->documentLayoutCount();
    // Only what was painted was laid out, not all twenty long replies.
    EXPECT_LT(laidOutAtShow, 30);

    QScrollBar* bar = view.verticalScrollBar();
    const QModelIndex last = model.index(model.rowCount() - 1, 0);
    ASSERT_TRUE(kestrion::test::becomes([&] { return bar->value(); }, bar->maximum()));
    ASSERT_TRUE(kestrion::test::eventually(
        [&] { return view.viewport()->rect().contains(view.bubbleRect(last).bottomLeft()); }));
    // The painted bubble fits the row the view placed it in.
    EXPECT_LE(view.bubbleRect(last).bottom(), view.visualRect(last).bottom());
}

TEST_F(BubbleViewTest, pressingALinkOpensItInTheBrowser) {
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");
    addMessages({{QStringLiteral("[Open the site](https://example.com/live)"), false}});
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QModelIndex index = model.index(0, 0);
    const QRect text = delegate()->textRect(view.visualRect(index), index);
    const QPoint onLink = text.topLeft() + QPoint(10, 8);
    ASSERT_EQ(delegate()->anchorAt(view.visualRect(index), index, onLink), QStringLiteral("https://example.com/live"));

    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, onLink);

    ASSERT_TRUE(kestrion::test::becomes([&] { return recorder.opened.size(); }, 1));
    EXPECT_EQ(recorder.opened.first(), QUrl(QStringLiteral("https://example.com/live")));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}

TEST_F(BubbleViewTest, aLinkOpensOnlyForWebAndMailAddresses) {
    // A reply (or a prompt injection in it) chooses the link; the desktop must
    // never be handed a file, a share or a custom handler from a chat.
    const QStringList schemes{QStringLiteral("https"), QStringLiteral("http"),      QStringLiteral("mailto"),
                              QStringLiteral("smb"),   QStringLiteral("sftp"),      QStringLiteral("file"),
                              QStringLiteral("ssh"),   QStringLiteral("javascript")};
    UrlRecorder recorder;
    for (const QString& scheme : schemes) {
        QDesktopServices::setUrlHandler(scheme, &recorder, "open");
    }
    const struct {
        QString url;
        bool opens;
    } cases[] = {
        {QStringLiteral("smb://server/share"), false},      {QStringLiteral("file:///etc/passwd"), false},
        {QStringLiteral("sftp://host/file"), false},        {QStringLiteral("ssh://host"), false},
        {QStringLiteral("javascript:alert(1)"), false},     {QStringLiteral("http://example.com/plain"), true},
        {QStringLiteral("mailto:owner@example.com"), true},
    };
    const QUrl control(QStringLiteral("https://example.com/control"));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const auto clickLinkInRow = [&](int row) {
        const QModelIndex index = model.index(row, 0);
        const QRect text = delegate()->textRect(view.visualRect(index), index);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, text.topLeft() + QPoint(10, 8));
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.url.toStdString());
        model.clear();
        recorder.opened.clear();
        addMessages({{QStringLiteral("[Open the site](%1)").arg(testCase.url), false},
                     {QStringLiteral("[Open the site](%1)").arg(control.toString()), false}});
        QApplication::processEvents();

        clickLinkInRow(0);
        // A link that still opens afterwards shows the first click was handled.
        clickLinkInRow(1);

        ASSERT_TRUE(kestrion::test::eventually([&] { return recorder.opened.contains(control); }));
        const QList<QUrl> expected = testCase.opens ? QList<QUrl>{QUrl(testCase.url), control} : QList<QUrl>{control};
        EXPECT_EQ(recorder.opened, expected);
    }
    for (const QString& scheme : schemes) {
        QDesktopServices::unsetUrlHandler(scheme);
    }
}

TEST_F(BubbleViewTest, pressingTextOpensASelectableOverlayWithTheSameText) {
    addMessages({{QStringLiteral("select *me*"), false}});
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QModelIndex index = model.index(0, 0);
    const QRect text = delegate()->textRect(view.visualRect(index), index);

    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, text.center());

    auto* browser = qobject_cast<QTextBrowser*>(view.indexWidget(index));
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->isReadOnly());
    EXPECT_EQ(browser->geometry(), text);
    EXPECT_EQ(browser->toPlainText(), QStringLiteral("select me"));
    browser->selectAll();
    view.copyCurrentMessage();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("select me"));
}

TEST_F(BubbleViewTest, copyWithoutASelectionCopiesTheWholeMessage) {
    addMessages({{QStringLiteral("first"), true}, {QStringLiteral("**second** message"), false}});
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.setFocus();
    view.setCurrentIndex(model.index(1, 0));

    QTest::keySequence(&view, QKeySequence::Copy);

    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("**second** message"));
}

} // namespace

#include "TranscriptTest.moc"
