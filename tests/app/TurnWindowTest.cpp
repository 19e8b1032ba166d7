#include "FindChild.h"
#include "WindowFixture.h"
#include "WindowTestSupport.h"
#include "app/MainWindow.h"
#include "app/TranscriptModel.h"
#include "app/widgets/ChangesDialog.h"
#include "app/widgets/ChatPane.h"
#include "app/widgets/MessageBubbleDelegate.h"
#include "app/widgets/MultilineTextView.h"
#include "app/widgets/TranscriptView.h"
#include "conversation/ChatViewModel.h"
#include "settings/AppSettings.h"
#include "support/Eventually.h"
#include "support/FakeOpenAIServer.h"
#include "support/TestFiles.h"

#include <QAccessible>
#include <QApplication>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace kestrion;
using kestrion::test::eventually;
using kestrion::test::FakeOpenAIServer;
using kestrion::test::gitOutput;
using kestrion::test::readFile;

namespace {

QString fileReply(const QString& prose, const QString& heading, const QString& colour) {
    return prose + QStringLiteral("\n\n<<<FILE path=\"index.html\">>>\n<h1>") + heading +
           QStringLiteral("</h1>\n<<<END_FILE>>>\n<<<FILE path=\"style.css\">>>\nh1 { color: ") + colour +
           QStringLiteral("; }\n<<<END_FILE>>>\n");
}

class TurnWindowTest : public test::WindowFixture {
protected:
    // The running turn's progress under the transcript.
    QLabel* statusLine() const { return test::child<QLabel>(pane(), "statusLine"); }

    void type(const QString& text) {
        pane()->composer()->setFocus();
        QTest::keyClicks(pane()->composer(), text);
    }

    ::testing::AssertionResult sendAndWait(const QString& text) {
        type(text);
        QTest::mouseClick(test::child<QPushButton>(pane(), "sendButton"), Qt::LeftButton);
        return eventually([this] { return !chat()->isSending(); }, 30000);
    }

    // Clicks the action button under the message in that row of the transcript.
    ::testing::AssertionResult clickAction(int row, const QString& action) {
        const QModelIndex index = transcript()->model()->index(row, 0);
        transcript()->scrollTo(index);
        QApplication::processEvents();
        const auto* delegate = qobject_cast<MessageBubbleDelegate*>(transcript()->itemDelegate());
        for (const auto& [label, rect] : delegate->actionRects(transcript()->visualRect(index), index)) {
            if (label == action) {
                QTest::mouseClick(transcript()->viewport(), Qt::LeftButton, {}, rect.center());
                return ::testing::AssertionSuccess();
            }
        }
        return ::testing::AssertionFailure() << "no " << action.toStdString() << " under row " << row;
    }

    // The focusable button of an action under the message in that row, once it is on screen.
    QToolButton* actionButton(int row, const QString& action) {
        const QModelIndex index = transcript()->model()->index(row, 0);
        transcript()->scrollTo(index);
        QApplication::processEvents();
        const QUuid id = index.data(TranscriptModel::MessageIdRole).toUuid();
        for (QToolButton* button : transcript()->actionButtons()) {
            if (button->property("messageId").toUuid() == id && button->text() == action) {
                return button;
            }
        }
        return nullptr;
    }

    QStringList actionsOf(int row) const {
        return transcript()->model()->index(row, 0).data(TranscriptModel::ActionsRole).toStringList();
    }

    QString commitCount() const { return gitOutput(site.path(), {"rev-list", "--count", "HEAD"}); }
};

TEST_F(TurnWindowTest, sendBecomesStopAndStopOrEscapeEndsTheWait) {
    server.replyWithSlowBody();
    server.replyToChat(test::ScriptedResponse::neverAnswers());
    openWindow();
    QPushButton* send = test::child<QPushButton>(pane(), "sendButton");
    type(QStringLiteral("Build a page"));
    QTest::mouseClick(send, Qt::LeftButton);
    ASSERT_TRUE(test::becomes([send] { return send->text(); }, QStringLiteral("Stop")));
    EXPECT_EQ(send->accessibleName(), QStringLiteral("Stop"));
    EXPECT_TRUE(send->isEnabled());
    ASSERT_TRUE(eventually([this] { return statusLine()->isVisible(); }));
    EXPECT_TRUE(statusLine()->text().startsWith(QStringLiteral("Waiting for the model\u2026 ")));
    EXPECT_EQ(statusLine()->accessibleName(), statusLine()->text());

    QTest::mouseClick(send, Qt::LeftButton);
    ASSERT_TRUE(eventually([this] { return !chat()->isSending(); }));
    EXPECT_EQ(statusLine()->text(), QStringLiteral("Stopped."));
    EXPECT_EQ(send->text(), QStringLiteral("Send"));
    EXPECT_EQ(transcript()->model()->rowCount(), 1);

    // Escape in the composer stops just the same.
    type(QStringLiteral("Once more"));
    QTest::keyClick(pane()->composer(), Qt::Key_Return);
    ASSERT_TRUE(eventually([this] { return statusLine()->text().startsWith(QStringLiteral("Waiting")); }));
    QTest::keyClick(pane()->composer(), Qt::Key_Escape);
    ASSERT_TRUE(eventually([this] { return !chat()->isSending(); }));
    EXPECT_EQ(statusLine()->text(), QStringLiteral("Stopped."));
    EXPECT_EQ(transcript()->model()->rowCount(), 2);
}

TEST_F(TurnWindowTest, undoRedoAndShowChangesOfATurn) {
    server.replyWithChat(fileReply(QStringLiteral("First."), QStringLiteral("One"), QStringLiteral("red")));
    server.replyWithChat(fileReply(QStringLiteral("Second."), QStringLiteral("Two"), QStringLiteral("blue")));
    openWindow();
    ASSERT_TRUE(sendAndWait(QStringLiteral("one")));
    ASSERT_TRUE(sendAndWait(QStringLiteral("two")));
    EXPECT_EQ(actionsOf(1), QStringList{QStringLiteral("Show changes")});
    EXPECT_EQ(actionsOf(3), (QStringList{QStringLiteral("Show changes"), QStringLiteral("Undo this turn")}));
    EXPECT_TRUE(QFile::exists(site.filePath(QStringLiteral(".kestrion-chats/turns.json"))));
    const QString commitsBefore = commitCount();

    // Undo from the keyboard: Tab from the transcript reaches the button, Space presses it.
    QToolButton* undo = actionButton(3, QStringLiteral("Undo this turn"));
    ASSERT_NE(undo, nullptr);
    EXPECT_EQ(undo->accessibleName(), QStringLiteral("Undo this turn"));
    transcript()->setFocus();
    for (int tabs = 0; tabs < 10 && QApplication::focusWidget() != undo; ++tabs) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    ASSERT_EQ(QApplication::focusWidget(), undo) << "Tab never reached the button";
    QTest::keyClick(undo, Qt::Key_Space);
    ASSERT_TRUE(eventually([this] { return transcript()->model()->rowCount() == 5; }));
    EXPECT_EQ(transcript()->model()->index(4, 0).data().toString(),
              QStringLiteral("Undid the changes of the previous turn: `index.html`, `style.css`."));
    EXPECT_EQ(readFile(site.filePath(QStringLiteral("index.html"))), QByteArray("<h1>One</h1>"));
    EXPECT_EQ(commitCount(), QString::number(commitsBefore.toInt() + 1));
    EXPECT_EQ(actionsOf(4), (QStringList{QStringLiteral("Show changes"), QStringLiteral("Redo")}));
    EXPECT_EQ(actionsOf(3), QStringList{QStringLiteral("Show changes")});

    // Redo as a screen reader does it: the control announced by its label, pressed through its action.
    QToolButton* redo = actionButton(4, QStringLiteral("Redo"));
    ASSERT_NE(redo, nullptr);
    QAccessibleInterface* announced = QAccessible::queryAccessibleInterface(redo);
    ASSERT_NE(announced, nullptr);
    EXPECT_EQ(announced->text(QAccessible::Name), QStringLiteral("Redo"));
    ASSERT_NE(announced->actionInterface(), nullptr);
    announced->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_TRUE(eventually([this] { return transcript()->model()->rowCount() == 6; }));
    EXPECT_EQ(readFile(site.filePath(QStringLiteral("index.html"))), QByteArray("<h1>Two</h1>"));
    EXPECT_EQ(commitCount(), QString::number(commitsBefore.toInt() + 2));

    // The next request tells the model what happened.
    server.replyWithChat(QStringLiteral("Noted."));
    ASSERT_TRUE(sendAndWait(QStringLiteral("ok")));
    EXPECT_TRUE(server.chatRequests().last().body.contains("Undid the changes of the previous turn"));

    ASSERT_TRUE(clickAction(3, QStringLiteral("Show changes")));
    ASSERT_TRUE(eventually([this] { return pane()->findChild<ChangesDialog*>() != nullptr; }));
    auto* dialog = test::child<ChangesDialog>(pane(), "changesDialog");
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(eventually([dialog] { return dialog->isLoaded(); }));
    const QListWidget* files = test::child<QListWidget>(dialog, "fileList");
    const QTextEdit* diff = test::child<QTextEdit>(dialog, "diffView");
    ASSERT_EQ(files->count(), 2);
    EXPECT_EQ(files->item(0)->text(), QStringLiteral("index.html (changed)"));
    EXPECT_TRUE(diff->toPlainText().contains(QStringLiteral("+<h1>Two</h1>")));
    EXPECT_FALSE(files->accessibleName().isEmpty());
    EXPECT_FALSE(diff->accessibleName().isEmpty());
    QApplication::processEvents();
    const QString shot = QStringLiteral(KESTRION_SCREENSHOT_DIR "/turn-diff.png");
    EXPECT_TRUE(dialog->grab().save(shot)) << shot.toStdString();
}

TEST_F(TurnWindowTest, retryUnderAFailedReplySendsTheQuestionAgain) {
    server.replyToChat(test::ScriptedResponse::json(500, R"({"error":{"message":"busy"}})"));
    server.replyWithChat(QStringLiteral("Now it works."));
    openWindow();
    ASSERT_TRUE(sendAndWait(QStringLiteral("Build it")));
    EXPECT_EQ(actionsOf(1), QStringList{QStringLiteral("Retry")});
    ASSERT_TRUE(clickAction(1, QStringLiteral("Retry")));
    ASSERT_TRUE(eventually([this] { return transcript()->model()->rowCount() == 4 && !chat()->isSending(); }));
    EXPECT_EQ(transcript()->model()->index(2, 0).data().toString(), QStringLiteral("Build it"));
    EXPECT_EQ(transcript()->model()->index(3, 0).data().toString(), QStringLiteral("Now it works."));
}

TEST_F(TurnWindowTest, streamingFollowsThePreferenceAndTheRequestBody) {
    server.replyWithChat(QStringLiteral("Plain."));
    openWindow();
    ASSERT_TRUE(sendAndWait(QStringLiteral("first")));
    EXPECT_FALSE(server.chatRequests().last().jsonBody().contains(QStringLiteral("stream")));

    settings.setStreamReplies(true);
    server.replyWithStreamedChat({QStringLiteral("Stre"), QStringLiteral("amed.")});
    ASSERT_TRUE(sendAndWait(QStringLiteral("second")));
    EXPECT_EQ(server.chatRequests().last().jsonBody().value(QStringLiteral("stream")), QJsonValue(true));
    EXPECT_EQ(transcript()->model()->index(3, 0).data().toString(), QStringLiteral("Streamed."));
    const QPlainTextEdit* streamed = test::child<QPlainTextEdit>(pane(), "streamedReplyView");
    EXPECT_FALSE(streamed->isVisible());
    EXPECT_FALSE(streamed->accessibleName().isEmpty());
}

} // namespace
