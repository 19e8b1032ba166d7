#include "app/MainWindow.h"

#include "FindChild.h"
#include "WindowFixture.h"
#include "WindowTestSupport.h"
#include "app/WindowState.h"
#include "app/widgets/BusyIndicator.h"
#include "app/widgets/ChatPane.h"
#include "app/widgets/DetailPane.h"
#include "app/widgets/MultilineTextView.h"
#include "app/widgets/PreviewPlaceholder.h"
#include "app/widgets/PreviewWorkspace.h"
#include "app/widgets/SegmentedControl.h"
#include "app/widgets/Sidebar.h"
#include "app/widgets/TranscriptView.h"
#include "conversation/ChatViewModel.h"
#include "settings/AppSettings.h"
#include "support/Eventually.h"
#include "support/FakeOpenAIServer.h"
#include "support/TestFiles.h"
#include "workspace/OutputFolderFileTreeModel.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <gtest/gtest.h>

using namespace kestrion;
using namespace std::chrono_literals;
using kestrion::test::writeFile;

namespace {

const QString pageReply = QStringLiteral("Here is your landing page.\n\n"
                                         "- a **hero** section with the [brand font](https://fonts.example.com)\n"
                                         "- colours in `style.css`\n\n"
                                         "<<<FILE path=\"index.html\">>>\n"
                                         "<!doctype html><html><head><link rel=\"stylesheet\" href=\"style.css\">"
                                         "</head><body><h1>Hello</h1></body></html>\n"
                                         "<<<END_FILE>>>\n"
                                         "<<<FILE path=\"style.css\">>>\nh1 { color: teal; }\n<<<END_FILE>>>\n"
                                         "<<<FILE path=\"app.js\">>>\nconsole.log('hi');\n<<<END_FILE>>>\n");

class MainWindowTest : public test::WindowFixture {
protected:
    Sidebar* sidebar() const { return test::child<Sidebar>(window.get(), "sidebar"); }
    SegmentedControl* selector() const { return test::child<SegmentedControl>(window.get(), "workspaceSelector"); }

    QModelIndex sessionRow(int row) const {
        return test::child<QListView>(window.get(), "sessionList")->model()->index(row, 0);
    }

    QString historyFile() const { return site.filePath(QStringLiteral(".kestrion-chats/chat_history.json")); }
};

TEST_F(MainWindowTest, startsAsTheSingleTitledWindowWithTheExpectedLayout) {
    openWindow();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Kestrion Magic Website Builder"));
    EXPECT_EQ(window->size(), QSize(900, 700));
    EXPECT_EQ(sidebar()->width(), MainWindow::sidebarIdealWidth);
    EXPECT_EQ(sidebar()->minimumWidth(), MainWindow::sidebarMinimumWidth);
    EXPECT_EQ(sidebar()->maximumWidth(), MainWindow::sidebarMaximumWidth);
    SegmentedControl* selector = this->selector();
    ASSERT_EQ(selector->count(), 3);
    EXPECT_EQ(selector->tabText(0), QStringLiteral("Create"));
    EXPECT_EQ(selector->tabText(1), QStringLiteral("Preview"));
    EXPECT_EQ(selector->tabText(2), QStringLiteral("Source"));
    EXPECT_EQ(selector->currentIndex(), 0);
    EXPECT_EQ(pane()->composer()->placeholderText(), ChatPane::placeholderText);
    EXPECT_EQ(pane()->composer()->toolTip(), QStringLiteral("Return sends; Shift+Return for a new line"));
    EXPECT_GE(pane()->composer()->height(), 72);
    EXPECT_LE(pane()->composer()->height(), 160);
    QStringList models;
    const QComboBox* picker = test::child<QComboBox>(pane(), "modelPicker");
    for (int i = 0; i < picker->count(); ++i) {
        models << picker->itemText(i);
    }
    EXPECT_EQ(models, (QStringList{"gpt-4o-mini", "gpt-4o", "gpt-4-turbo", "gpt-3.5-turbo"}));
    EXPECT_FALSE(test::child<QPushButton>(pane(), "sendButton")->isEnabled());
    EXPECT_FALSE(test::child<QLabel>(pane(), "errorLine")->isVisible());
    // The menus hold exactly these entries: none opens a second window.
    QStringList menus;
    for (QAction* menuAction : window->menuBar()->actions()) {
        QStringList entries{menuAction->text()};
        for (QAction* action : menuAction->menu()->actions()) {
            if (!action->isSeparator()) {
                entries << action->text();
            }
        }
        menus << entries.join(QStringLiteral(" | "));
    }
    EXPECT_EQ(menus, (QStringList{QStringLiteral("&File | Preferences… | &Quit"),
                                  QStringLiteral("&View | Hide Sidebar"), QStringLiteral("&Help | &About")}));
}

// A window made without the browser engine (as here) shows its placeholder where the page would be.
TEST_F(MainWindowTest, withoutAWebEngineThePreviewShowsItsPlaceholderAndMakesNoPage) {
    writeFile(site.filePath(QStringLiteral("index.html")), "<p>home</p>");
    openWindow();
    state()->setDetailWorkspaceTab(DetailWorkspaceTab::Preview);
    auto* preview = test::child<PreviewWorkspace>(window.get(), "previewWorkspace");
    ASSERT_NE(preview, nullptr);
    ASSERT_TRUE(test::becomes([&] { return preview->placeholder()->title(); }, QStringLiteral("No web preview")));
    EXPECT_TRUE(preview->isShowingPlaceholder());
    EXPECT_EQ(window->findChild<WebPreview*>(), nullptr);
}

TEST_F(MainWindowTest, everyControlHasAnAccessibleName) {
    openWindow();
    const QList<QWidget*> controls = {pane()->composer(),
                                      test::child<QPushButton>(pane(), "sendButton"),
                                      test::child<QComboBox>(pane(), "modelPicker"),
                                      test::child<QPushButton>(window.get(), "newChatButton"),
                                      test::child<QListView>(window.get(), "sessionList"),
                                      test::child<QTreeView>(window.get(), "fileTree"),
                                      test::child<QToolButton>(window.get(), "fileTreeRefreshButton"),
                                      test::child<QPushButton>(window.get(), "chooseDirectoryButton"),
                                      transcript(),
                                      selector()};
    for (QWidget* control : controls) {
        EXPECT_FALSE(control->accessibleName().isEmpty()) << control->metaObject()->className();
    }
    EXPECT_EQ(sessionRow(0).data(Qt::AccessibleTextRole).toString(), QStringLiteral("New chat"));
}

TEST_F(MainWindowTest, aSendShowsTheSpinnerThenTheReplyBubbleAndTheNewFiles) {
    test::ScriptedResponse reply =
        test::ScriptedResponse::json(200, test::FakeOpenAIServer::chatCompletionBody(pageReply));
    reply.delay = 400ms;
    server.replyToChat(reply);
    openWindow();
    MultilineTextView* composer = pane()->composer();
    composer->setFocus();
    QTest::keyClicks(composer, QStringLiteral("Build a landing page"));
    EXPECT_TRUE(test::child<QPushButton>(pane(), "sendButton")->isEnabled());

    QTest::keyClick(composer, Qt::Key_Return);

    const BusyIndicator* spinner = test::child<BusyIndicator>(pane(), "sendingIndicator");
    ASSERT_TRUE(kestrion::test::eventually([&] { return spinner->isVisible(); }));
    QPushButton* choose = test::child<QPushButton>(window.get(), "chooseDirectoryButton");
    EXPECT_FALSE(choose->isEnabled());
    EXPECT_TRUE(composer->text().isEmpty());
    // Typing goes on while the reply is awaited; Return does not send again.
    QTest::keyClicks(composer, QStringLiteral("next"));
    QTest::keyClick(composer, Qt::Key_Return);
    EXPECT_EQ(composer->text(), QStringLiteral("next"));

    ASSERT_TRUE(kestrion::test::eventually([&] { return !chat()->isSending(); }, 30000));
    EXPECT_EQ(server.chatRequests().size(), 1);
    EXPECT_FALSE(spinner->isVisible());
    EXPECT_TRUE(choose->isEnabled());
    QAbstractItemModel* messages = transcript()->model();
    ASSERT_EQ(messages->rowCount(), 2);
    EXPECT_EQ(messages->index(0, 0).data().toString(), QStringLiteral("Build a landing page"));
    const QString assistant = messages->index(1, 0).data().toString();
    EXPECT_TRUE(assistant.contains(QStringLiteral("Here is your landing page."))) << assistant.toStdString();
    EXPECT_TRUE(assistant.contains(QStringLiteral("index.html"))) << assistant.toStdString();
    EXPECT_FALSE(assistant.contains(QStringLiteral("<<<FILE"))) << assistant.toStdString();

    OutputFolderFileTreeModel* tree = context->fileTree();
    ASSERT_TRUE(kestrion::test::eventually([&] { return tree->indexForId(QStringLiteral("index.html")).isValid(); }));
    QTreeView* fileTree = test::child<QTreeView>(window.get(), "fileTree");
    auto* filesStack = test::child<QStackedWidget>(window.get(), "filesStack");
    ASSERT_TRUE(kestrion::test::becomes([&] { return filesStack->currentWidget(); }, static_cast<QWidget*>(fileTree)));
    EXPECT_TRUE(QFile::exists(historyFile()));
    EXPECT_TRUE(QFile::exists(site.filePath(QStringLiteral("index.html"))));
    // Every written file is visible in the sidebar, not clipped by a tree sized before the rescan.
    for (const QString id : {"app.js", "index.html", "style.css"}) {
        ASSERT_TRUE(kestrion::test::eventually([&] {
            const QRect row = fileTree->visualRect(tree->indexForId(id));
            return row.isValid() && fileTree->viewport()->visibleRegion().contains(row);
        })) << id.toStdString();
    }
    // The tree asks for room for every row as soon as the model changes, before the view has
    // laid its rows out (counting only the rows laid out would give one row and clip the rest).
    const FileTreeScanner::Snapshot scanned{tree->nodes(), tree->statusLine()};
    FileTreeScanner::Snapshot grown = scanned;
    grown.nodes.push_back(FileTreeNode{QStringLiteral("zz.txt"), QStringLiteral("zz.txt"), QStringLiteral("doc"), {}});
    tree->apply(grown);
    EXPECT_GE(fileTree->sizeHint().height(), 4 * fileTree->sizeHintForRow(0));
    tree->apply(scanned);

    ASSERT_TRUE(kestrion::test::becomes([&] { return transcript()->verticalScrollBar()->value(); },
                                        transcript()->verticalScrollBar()->maximum()));
    QApplication::processEvents();
    const QString shot = QStringLiteral(KESTRION_SCREENSHOT_DIR "/main_window_after_send.png");
    EXPECT_TRUE(window->grab().save(shot)) << shot.toStdString();
}

TEST_F(MainWindowTest, blankInputSendsNothingAndStaysInPlace) {
    openWindow();
    MultilineTextView* composer = pane()->composer();
    composer->setFocus();
    QTest::keyClicks(composer, QStringLiteral("  "));
    QTest::keyClick(composer, Qt::Key_Return, Qt::ShiftModifier);
    composer->insertPlainText(QStringLiteral("\u3000"));

    QTest::keyClick(composer, Qt::Key_Return);
    QTest::mouseClick(test::child<QPushButton>(pane(), "sendButton"), Qt::LeftButton);

    EXPECT_EQ(composer->text(), QStringLiteral("  \n\u3000"));
    EXPECT_EQ(chat()->input(), QStringLiteral("  \n\u3000"));
    EXPECT_FALSE(chat()->isSending());
    EXPECT_FALSE(test::child<QPushButton>(pane(), "sendButton")->isEnabled());
    EXPECT_TRUE(server.chatRequests().isEmpty());
}

TEST_F(MainWindowTest, aFailedSendShowsTheRedErrorLine) {
    server.replyToChat(test::ScriptedResponse::json(401, R"({"error":{"message":"Incorrect API key provided"}})"));
    openWindow();
    QTest::keyClicks(pane()->composer(), QStringLiteral("hello"));
    QTest::mouseClick(test::child<QPushButton>(pane(), "sendButton"), Qt::LeftButton);

    ASSERT_TRUE(
        kestrion::test::eventually([&] { return !chat()->isSending() && chat()->messages().size() == 2; }, 30000));
    const QLabel* errorLine = test::child<QLabel>(pane(), "errorLine");
    EXPECT_TRUE(errorLine->isVisible());
    EXPECT_FALSE(errorLine->text().isEmpty());
    EXPECT_EQ(errorLine->accessibleName(), errorLine->text());
    EXPECT_TRUE(chat()->messages().last().text.startsWith(QStringLiteral("Error: ")));
}

TEST_F(MainWindowTest, modelPickerWritesTheSettings) {
    openWindow();
    auto* picker = test::child<QComboBox>(pane(), "modelPicker");
    picker->setCurrentIndex(picker->findText(QStringLiteral("gpt-4o")));
    EXPECT_EQ(settings.model(), QStringLiteral("gpt-4o"));
    settings.setModel(QStringLiteral("gpt-3.5-turbo"));
    EXPECT_EQ(picker->currentText(), QStringLiteral("gpt-3.5-turbo"));
}

TEST_F(MainWindowTest, newChatSelectAndDeleteFromTheSidebar) {
    openWindow();
    ChatViewModel* chat = this->chat();
    chat->appendKestrionStatus(QStringLiteral("in the first chat"));
    const QUuid first = chat->activeSessionId();

    QTest::mouseClick(test::child<QPushButton>(window.get(), "newChatButton"), Qt::LeftButton);
    ASSERT_EQ(chat->sessions().size(), 2);
    const QUuid second = chat->activeSessionId();
    EXPECT_NE(second, first);
    EXPECT_TRUE(chat->messages().isEmpty());
    EXPECT_EQ(transcript()->model()->rowCount(), 0);

    // The list is newest first: the first chat is the second row.
    QListView* list = test::child<QListView>(window.get(), "sessionList");
    ASSERT_TRUE(kestrion::test::becomes([&] { return list->model()->rowCount(); }, 2));
    int firstRow = -1;
    for (int row = 0; row < 2; ++row) {
        if (sessionRow(row).data(Qt::UserRole + 1).toUuid() == first) {
            firstRow = row;
        }
    }
    ASSERT_GE(firstRow, 0);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(sessionRow(firstRow)).center());
    EXPECT_EQ(chat->activeSessionId(), first);
    EXPECT_EQ(transcript()->model()->rowCount(), 1);
    EXPECT_TRUE(sessionRow(firstRow).data(Qt::UserRole + 3).toBool());

    // Delete the other chat through its context menu.
    int secondRow = firstRow == 0 ? 1 : 0;
    QTimer::singleShot(0, [] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        ASSERT_EQ(menu->actions().size(), 1);
        EXPECT_EQ(menu->actions().first()->text(), QStringLiteral("Delete Chat"));
        menu->actions().first()->trigger();
        menu->close();
    });
    const QPoint where = list->visualRect(sessionRow(secondRow)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, where, list->viewport()->mapToGlobal(where));
    QApplication::sendEvent(list->viewport(), &event);
    ASSERT_TRUE(kestrion::test::becomes([&] { return chat->sessions().size(); }, 1));
    EXPECT_EQ(chat->sessions().first().id, first);
    EXPECT_EQ(list->model()->rowCount(), 1);
}

TEST_F(MainWindowTest, choosingAnotherDirectoryRebindsHistoryTreeAndPreviewState) {
    QTemporaryDir other;
    writeFile(other.filePath(QStringLiteral("about.html")), "<p>about</p>");
    openWindow();
    chat()->appendKestrionStatus(QStringLiteral("belongs to the first site"));
    WindowState* state = this->state();
    state->setPreviewSelectedRelativePath(QStringLiteral("index.html"));
    state->setPreviewSourceDocument(QStringLiteral("edited"));
    const qint64 nonce = state->previewReloadNonce();

    settings.setOutputDirectoryPath(other.path());

    ASSERT_TRUE(kestrion::test::eventually([&] { return !chat()->isBinding(); }));
    EXPECT_EQ(chat()->persistenceOutputRoot(), ChatViewModel::normalizedOutputDirectory(other.path()));
    EXPECT_TRUE(chat()->messages().isEmpty());
    EXPECT_FALSE(state->previewSelectedRelativePath().has_value());
    EXPECT_TRUE(state->previewSourceDocument().isEmpty());
    EXPECT_GT(state->previewReloadNonce(), nonce);
    EXPECT_EQ(test::child<QLabel>(window.get(), "directoryLabel")->text(), other.path());
    ASSERT_TRUE(kestrion::test::eventually(
        [&] { return context->fileTree()->indexForId(QStringLiteral("about.html")).isValid(); }));
    // The first site's history was saved before the switch.
    EXPECT_TRUE(QFile::exists(historyFile()));

    settings.setOutputDirectoryPath(site.path());
    ASSERT_TRUE(kestrion::test::becomes([&] { return chat()->messages().size(); }, 1));
    EXPECT_EQ(chat()->messages().first().text, QStringLiteral("belongs to the first site"));
}

TEST_F(MainWindowTest, withoutADirectoryTheSidebarAsksForOne) {
    settings.setOutputDirectoryPath(std::nullopt);
    openWindow();
    EXPECT_EQ(test::child<QLabel>(window.get(), "directoryLabel")->text(), QStringLiteral("None"));
    auto* note = qobject_cast<QLabel*>(test::child<QStackedWidget>(window.get(), "filesStack")->currentWidget());
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->text(), QStringLiteral("Choose a website directory below."));
    EXPECT_EQ(test::child<QLabel>(window.get(), "fileTreeStatusLabel")->text(),
              QStringLiteral("Choose a website directory to see its tree."));
}

TEST_F(MainWindowTest, anEmptyDirectorySaysSo) {
    openWindow();
    auto* note = qobject_cast<QLabel*>(test::child<QStackedWidget>(window.get(), "filesStack")->currentWidget());
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->text(), QStringLiteral("Empty folder."));
}

TEST_F(MainWindowTest, previewableFilesOpenThePreviewOthersDoNothing) {
    writeFile(site.filePath(QStringLiteral("css/site.css")), "body{}");
    writeFile(site.filePath(QStringLiteral("app.js")), "1;");
    openWindow();
    QTreeView* tree = test::child<QTreeView>(window.get(), "fileTree");
    OutputFolderFileTreeModel* model = context->fileTree();
    WindowState* state = this->state();

    const QModelIndex js = model->indexForId(QStringLiteral("app.js"));
    ASSERT_TRUE(js.isValid());
    const qint64 before = state->previewReloadNonce();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(js).center());
    EXPECT_EQ(state->detailWorkspaceTab(), DetailWorkspaceTab::Create);
    EXPECT_EQ(state->previewReloadNonce(), before);

    const QModelIndex folder = model->indexForId(QStringLiteral("css"));
    ASSERT_TRUE(folder.isValid());
    EXPECT_FALSE(tree->isExpanded(folder));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(folder).center());
    ASSERT_TRUE(tree->isExpanded(folder));
    const QModelIndex css = model->indexForId(QStringLiteral("css/site.css"));
    // The tree grows to show the opened folder on its next layout.
    ASSERT_TRUE(
        kestrion::test::eventually([&] { return tree->viewport()->rect().contains(tree->visualRect(css).center()); }));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(css).center());
    EXPECT_EQ(state->previewSelectedRelativePath(), QStringLiteral("css/site.css"));
    EXPECT_EQ(state->detailWorkspaceTab(), DetailWorkspaceTab::Preview);
    EXPECT_EQ(selector()->currentIndex(), 1);
    // The click bumps the counter (and so may the switch to Preview).
    const qint64 afterFirst = state->previewReloadNonce();
    EXPECT_GT(afterFirst, before);
    // Clicking the selected file again reloads it.
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(css).center());
    EXPECT_EQ(state->previewReloadNonce(), afterFirst + 1);
}

TEST_F(MainWindowTest, returnOnAFileRowOpensItLikeAClick) {
    writeFile(site.filePath(QStringLiteral("about.html")), "<p>about</p>");
    openWindow();
    QTreeView* tree = test::child<QTreeView>(window.get(), "fileTree");
    tree->setFocus();
    tree->setCurrentIndex(context->fileTree()->indexForId(QStringLiteral("about.html")));
    const qint64 before = state()->previewReloadNonce();
    QTest::keyClick(tree, Qt::Key_Return);
    EXPECT_EQ(state()->previewSelectedRelativePath(), QStringLiteral("about.html"));
    EXPECT_EQ(state()->detailWorkspaceTab(), DetailWorkspaceTab::Preview);
    EXPECT_GT(state()->previewReloadNonce(), before);
}

TEST_F(MainWindowTest, theRefreshButtonRescansAndIsDisabledDuringTheScan) {
    openWindow();
    writeFile(site.filePath(QStringLiteral("late.html")), "<p>late</p>");
    QToolButton* refresh = test::child<QToolButton>(window.get(), "fileTreeRefreshButton");
    // The scan may end within the click's own event processing: record the button's state at each change.
    QList<std::pair<bool, bool>> loadingAndEnabled;
    QObject::connect(context->fileTree(), &OutputFolderFileTreeModel::isLoadingChanged, window.get(), [&] {
        loadingAndEnabled.append({context->fileTree()->isLoading(), refresh->isEnabled()});
    });
    QTest::mouseClick(refresh, Qt::LeftButton);
    ASSERT_TRUE(kestrion::test::eventually(
        [&] { return context->fileTree()->indexForId(QStringLiteral("late.html")).isValid(); }));
    ASSERT_TRUE(kestrion::test::becomes([&] { return loadingAndEnabled.size(); }, 2));
    EXPECT_EQ(loadingAndEnabled.at(0), std::make_pair(true, false));
    EXPECT_EQ(loadingAndEnabled.at(1), std::make_pair(false, true));
    EXPECT_EQ(refresh->toolTip(), QStringLiteral("Refresh file tree"));
}

TEST_F(MainWindowTest, theDirectoryDialogConfirmsWithItsOwnLabel) {
    openWindow();
    sidebar()->pickOutputFolder();
    QFileDialog* dialog = nullptr;
    ASSERT_TRUE(kestrion::test::eventually([&] { return (dialog = window->findChild<QFileDialog*>()) != nullptr; }));
    EXPECT_EQ(dialog->labelText(QFileDialog::Accept), QStringLiteral("Choose website directory"));
    EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
    EXPECT_EQ(dialog->directory().absolutePath(), QDir(site.path()).absolutePath());
    dialog->close();
}

TEST_F(MainWindowTest, aSidebarDraggedTooNarrowClosesAndReopensWithoutSnappingShut) {
    openWindow();
    window->sidebarWidthReported(100);
    EXPECT_EQ(window->columnVisibility(), MainWindow::ColumnVisibility::DetailOnly);
    EXPECT_FALSE(sidebar()->isVisible());
    EXPECT_EQ(test::child<QAction>(window.get(), "toggleSidebar")->text(), QStringLiteral("Show Sidebar"));

    test::child<QAction>(window.get(), "toggleSidebar")->trigger();
    EXPECT_EQ(window->columnVisibility(), MainWindow::ColumnVisibility::All);
    EXPECT_TRUE(sidebar()->isVisible());
    // While it animates open the narrow widths are ignored ...
    window->sidebarWidthReported(60);
    EXPECT_EQ(window->columnVisibility(), MainWindow::ColumnVisibility::All);
    // ... and afterwards the rule applies again; tiny widths never count.
    ASSERT_TRUE(kestrion::test::eventually([&] { return !window->isSidebarSnapSuppressed(); }));
    window->sidebarWidthReported(8);
    EXPECT_EQ(window->columnVisibility(), MainWindow::ColumnVisibility::All);
    window->sidebarWidthReported(300);
    EXPECT_EQ(window->columnVisibility(), MainWindow::ColumnVisibility::All);
    window->sidebarWidthReported(200);
    EXPECT_EQ(window->columnVisibility(), MainWindow::ColumnVisibility::DetailOnly);
}

TEST_F(MainWindowTest, collapsingTheSplitterByDraggingHidesTheSidebar) {
    openWindow();
    test::child<QSplitter>(window.get(), "columns")->setSizes({0, 900});
    // QSplitter reports user drags through splitterMoved; setSizes does not, so emit it as a drag would.
    Q_EMIT test::child<QSplitter>(window.get(), "columns")->splitterMoved(0, 1);
    EXPECT_EQ(window->columnVisibility(), MainWindow::ColumnVisibility::DetailOnly);
}

TEST_F(MainWindowTest, closingTheWindowSavesTheConversation) {
    openWindow();
    chat()->appendKestrionStatus(QStringLiteral("keep me"));
    QFile::remove(historyFile());
    ASSERT_FALSE(QFile::exists(historyFile()));

    window->close();

    ASSERT_TRUE(QFile::exists(historyFile()));
    QFile file(historyFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("keep me"));
}

// The services belong to the application, not to a window: a window that goes takes none of
// them along, and a new one over the same services carries on with the chats and the server
// chosen meanwhile.
TEST_F(MainWindowTest, aNewWindowOverTheSameServicesCarriesOn) {
    openWindow();
    chat()->appendKestrionStatus(QStringLiteral("from the first window"));
    window.reset();

    test::FakeOpenAIServer other;
    other.replyWithChat(QStringLiteral("From the other server."));
    settings.setOpenAIBaseURL(other.apiBaseUrl());
    window = std::make_unique<MainWindow>(*context);
    ASSERT_TRUE(test::showAndWaitUntilReady(*window, *context));
    ASSERT_EQ(transcript()->model()->rowCount(), 1);

    QTest::keyClicks(pane()->composer(), QStringLiteral("hello again"));
    QTest::mouseClick(test::child<QPushButton>(pane(), "sendButton"), Qt::LeftButton);
    ASSERT_TRUE(kestrion::test::eventually([&] { return transcript()->model()->rowCount() == 3; }, 30000));
    EXPECT_EQ(other.chatRequests().size(), 1);
    EXPECT_TRUE(server.chatRequests().isEmpty());
}

TEST_F(MainWindowTest, minimisingSavesTheConversation) {
    openWindow();
    chat()->appendKestrionStatus(QStringLiteral("still here"));
    QFile::remove(historyFile());

    window->showMinimized();

    ASSERT_TRUE(kestrion::test::eventually([&] { return QFile::exists(historyFile()); }));
}

} // namespace
