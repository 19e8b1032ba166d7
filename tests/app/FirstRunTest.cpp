#include "FindChild.h"
#include "WindowTestSupport.h"
#include "app/MainWindow.h"
#include "app/TabOrder.h"
#include "app/WindowState.h"
#include "app/widgets/ChatPane.h"
#include "app/widgets/DetailPane.h"
#include "app/widgets/MultilineTextView.h"
#include "app/widgets/PreferencesDialog.h"
#include "app/widgets/SegmentedControl.h"
#include "app/widgets/Sidebar.h"
#include "app/widgets/TranscriptView.h"
#include "app/widgets/WelcomePane.h"
#include "conversation/ChatViewModel.h"
#include "openai/ModelCatalog.h"
#include "settings/AppSettings.h"
#include "settings/OpenAIKeyResolver.h"
#include "support/Eventually.h"
#include "support/FakeOpenAIServer.h"
#include "support/TestFiles.h"
#include "workspace/OutputFolderFileTreeModel.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace kestrion;
using namespace std::chrono_literals;

namespace {

class FirstRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.isValid());
        QApplication::setQuitOnLastWindowClosed(false);
        // Every test starts from a fresh settings file in the test's own home.
        QFile::remove(AppSettings::openStore()->fileName());
        settings = std::make_unique<AppSettings>();
        settings->setOpenAIBaseURL(server.apiBaseUrl());
        settings->setOutputDirectoryPath(site.path());
    }

    void TearDown() override {
        qunsetenv("OPENAI_API_KEY");
        if (const auto keyFile = OpenAIKeyResolver::applicationSupportKeyFilePath()) {
            QFile::remove(*keyFile);
        }
    }

    void openWindow() {
        test::startApp(settings.get(), context, window);
        ASSERT_TRUE(test::showAndWaitUntilReady(*window, *context, test::Activation::Activate));
        ASSERT_TRUE(settled());
    }

    ChatPane* pane() const { return test::child<ChatPane>(window.get(), "chatPane"); }
    WelcomePane* welcome() const { return test::child<WelcomePane>(pane(), "welcome"); }
    TranscriptView* transcript() const { return test::child<TranscriptView>(pane(), "transcript"); }

    // The welcome has looked at the folder and the key since the last change.
    ::testing::AssertionResult settled() const {
        return test::eventually([this] { return !welcome()->isChecking(); });
    }

    QStringList pickerItems() const {
        QStringList items;
        const QComboBox* picker = test::child<QComboBox>(pane(), "modelPicker");
        for (int i = 0; i < picker->count(); ++i) {
            items << picker->itemText(i);
        }
        return items;
    }

    PreferencesDialog* openPreferences(QPushButton* button) {
        QTest::mouseClick(button, Qt::LeftButton);
        auto* dialog = window->findChild<PreferencesDialog*>();
        EXPECT_TRUE(dialog && dialog->isVisible());
        return dialog;
    }

    // Waits until a send started in the window has its answer in the chat.
    ::testing::AssertionResult answered(int messages) const {
        return test::eventually(
            [&] { return !context->chat()->isSending() && context->chat()->messages().size() == messages; }, 30000);
    }

    test::FakeOpenAIServer server;
    QTemporaryDir site;
    std::unique_ptr<AppSettings> settings;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<MainWindow> window;
};

// What a screen reader's "activate" does on a tab must move the pane, not only the mark.
TEST_F(FirstRunTest, theSwitchIsATabListThatAccessibilityActionsDrive) {
    openWindow();
    QAccessibleInterface* list =
        QAccessible::queryAccessibleInterface(test::child<SegmentedControl>(window.get(), "workspaceSelector"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->role(), QAccessible::PageTabList);
    ASSERT_EQ(list->childCount(), 3);
    const DetailWorkspaceTab order[] = {DetailWorkspaceTab::Source, DetailWorkspaceTab::Preview,
                                        DetailWorkspaceTab::Create};
    for (const DetailWorkspaceTab tab : order) {
        const int index = static_cast<int>(tab);
        QAccessibleInterface* item = list->child(index);
        ASSERT_NE(item, nullptr);
        SCOPED_TRACE(item->text(QAccessible::Name).toStdString());
        EXPECT_EQ(item->role(), QAccessible::PageTab);
        EXPECT_EQ(item->text(QAccessible::Name), detailWorkspaceTabTitle(tab));
        QAccessibleActionInterface* actions = item->actionInterface();
        ASSERT_NE(actions, nullptr);
        ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
        actions->doAction(QAccessibleActionInterface::pressAction());
        EXPECT_EQ(test::viewState(*window)->detailWorkspaceTab(), tab);
        for (int other = 0; other < 3; ++other) {
            EXPECT_EQ(list->child(other)->state().selected, other == index) << other;
        }
    }
}

TEST_F(FirstRunTest, theWelcomeShowsWhereTheKeyComesFromNeverTheKey) {
    using Source = OpenAIKeyResolver::KeySource;
    openWindow();
    const QLabel* keyLabel = test::child<QLabel>(welcome(), "keyLabel");
    const QPushButton* preferences = test::child<QPushButton>(welcome(), "preferencesButton");
    EXPECT_TRUE(welcome()->isVisible());
    EXPECT_FALSE(transcript()->isVisible());
    EXPECT_EQ(welcome()->keySource(), Source::None);
    EXPECT_TRUE(keyLabel->text().startsWith(QStringLiteral("No API key was found.")));
    EXPECT_TRUE(preferences->isVisible());
    EXPECT_EQ(preferences->text(), QStringLiteral("Open Preferences…"));

    const QString keyFile = *OpenAIKeyResolver::applicationSupportKeyFilePath();
    test::writeFile(keyFile, "sk-from-file-secret\n");
    welcome()->recheck();
    ASSERT_TRUE(settled());
    EXPECT_EQ(welcome()->keySource(), Source::KeyFile);
    EXPECT_TRUE(keyLabel->text().contains(keyFile)) << keyLabel->text().toStdString();

    qputenv("OPENAI_API_KEY", "sk-from-env-secret");
    welcome()->recheck();
    ASSERT_TRUE(settled());
    EXPECT_EQ(welcome()->keySource(), Source::Environment);
    EXPECT_TRUE(keyLabel->text().contains(QStringLiteral("OPENAI_API_KEY")));

    // A key typed into Preferences shows without any other step.
    settings->setApiKey(QStringLiteral("sk-from-preferences-secret"));
    ASSERT_TRUE(settled());
    EXPECT_EQ(welcome()->keySource(), Source::Preferences);
    EXPECT_EQ(keyLabel->text(), QStringLiteral("An API key is set in Preferences."));

    for (QLabel* label : welcome()->findChildren<QLabel*>()) {
        EXPECT_FALSE(label->text().contains(QStringLiteral("secret"))) << label->text().toStdString();
        EXPECT_EQ(label->accessibleName(), label->text());
    }
    for (QPushButton* button : welcome()->findChildren<QPushButton*>()) {
        EXPECT_EQ(button->accessibleName(), button->text());
    }
    const QString shot = QStringLiteral(KESTRION_SCREENSHOT_DIR "/welcome.png");
    EXPECT_TRUE(window->grab().save(shot)) << shot.toStdString();
}

TEST_F(FirstRunTest, theWelcomeFollowsTheFolderAndCreatesOnlyIt) {
    using Folder = WelcomePane::FolderState;
    openWindow();
    QPushButton* choose = test::child<QPushButton>(welcome(), "chooseFolderButton");
    QPushButton* createFolder = test::child<QPushButton>(welcome(), "createFolderButton");
    EXPECT_EQ(welcome()->folderState(), Folder::Present);
    EXPECT_TRUE(test::child<QLabel>(welcome(), "folderLabel")->text().contains(site.path()));
    EXPECT_FALSE(createFolder->isVisible());
    EXPECT_TRUE(choose->isVisible());
    EXPECT_EQ(choose->text(), QStringLiteral("Choose…"));

    const QString missing = site.filePath(QStringLiteral("sites/first"));
    settings->setOutputDirectoryPath(missing);
    ASSERT_TRUE(settled());
    EXPECT_EQ(welcome()->folderState(), Folder::Missing);
    ASSERT_TRUE(createFolder->isVisible());
    EXPECT_EQ(createFolder->text(), QStringLiteral("Create folder"));
    ASSERT_TRUE(test::eventually([&] { return !context->fileTree()->isLoading(); }));
    EXPECT_EQ(context->fileTree()->statusLine(), QStringLiteral("Folder does not exist."));

    QTest::mouseClick(createFolder, Qt::LeftButton);
    ASSERT_TRUE(test::becomes([&] { return welcome()->folderState(); }, Folder::Present));
    EXPECT_TRUE(QFileInfo(missing).isDir());
    EXPECT_TRUE(QDir(missing).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_FALSE(createFolder->isVisible());
    // The sidebar looks at the new folder at once.
    ASSERT_TRUE(test::eventually([&] {
        return !context->fileTree()->isLoading() &&
               context->fileTree()->statusLine() != QStringLiteral("Folder does not exist.");
    }));

    settings->setOutputDirectoryPath(std::nullopt);
    ASSERT_TRUE(settled());
    EXPECT_EQ(welcome()->folderState(), Folder::None);
    EXPECT_FALSE(createFolder->isVisible());

    // "Choose…" opens the same folder chooser as the sidebar.
    QTest::mouseClick(choose, Qt::LeftButton);
    QFileDialog* chooser = nullptr;
    ASSERT_TRUE(test::eventually([&] {
        chooser = window->findChild<QFileDialog*>();
        return chooser && chooser->isVisible();
    }));
    EXPECT_EQ(chooser->labelText(QFileDialog::Accept), QStringLiteral("Choose website directory"));
    chooser->reject();
}

TEST_F(FirstRunTest, examplesFillTheComposerAndTheWelcomeLeavesWithTheFirstMessage) {
    settings->setApiKey(QStringLiteral("sk-test"));
    openWindow();
    const QList<QPushButton*> examples = welcome()->findChildren<QPushButton*>(QStringLiteral("exampleButton"));
    ASSERT_EQ(examples.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QPushButton* example = examples.at(i);
        EXPECT_EQ(example->text(), WelcomePane::examples.at(i));
        QTest::mouseClick(example, Qt::LeftButton);
        EXPECT_EQ(pane()->composer()->text(), WelcomePane::examples.at(i));
        EXPECT_EQ(context->chat()->input(), WelcomePane::examples.at(i));
        EXPECT_TRUE(pane()->composer()->hasFocus());
    }
    EXPECT_TRUE(test::child<QPushButton>(pane(), "sendButton")->isEnabled());
    EXPECT_TRUE(context->chat()->messages().isEmpty());
    EXPECT_TRUE(server.chatRequests().isEmpty());
    EXPECT_TRUE(welcome()->isVisible());

    server.replyWithChat(QStringLiteral("Here it is."));
    QTest::mouseClick(test::child<QPushButton>(pane(), "sendButton"), Qt::LeftButton);
    EXPECT_FALSE(welcome()->isVisible());
    EXPECT_TRUE(transcript()->isVisible());
    ASSERT_TRUE(answered(2));
    ASSERT_EQ(server.chatRequests().size(), 1);

    QTest::mouseClick(test::child<QPushButton>(window.get(), "newChatButton"), Qt::LeftButton);
    EXPECT_TRUE(welcome()->isVisible());
    EXPECT_FALSE(transcript()->isVisible());
}

TEST_F(FirstRunTest, thePickerListsTheServersModelsAndTestConnectionRefreshesThem) {
    settings->setApiKey(QStringLiteral("sk-test"));
    server.replyWithModels({QStringLiteral("llama3"), QStringLiteral("qwen2"), QStringLiteral("gpt-4o")});
    openWindow();
    const QStringList defaults = ModelCatalog::defaultModels;
    ASSERT_TRUE(test::becomes([&] { return pickerItems(); }, defaults + QStringList{"llama3", "qwen2"}));
    EXPECT_EQ(server.modelsRequests().first().header("Authorization"), "Bearer sk-test");

    PreferencesDialog* dialog = openPreferences(test::child<QPushButton>(welcome(), "preferencesButton"));
    ASSERT_NE(dialog, nullptr);
    auto* testConnection = test::child<QPushButton>(dialog, "testConnectionButton");
    const QLabel* status = test::child<QLabel>(dialog, "connectionStatus");
    const struct {
        test::ScriptedResponse answer;
        QString status;
        qsizetype listed;
    } answers[] = {
        {test::ScriptedResponse::json(
             200, test::FakeOpenAIServer::modelListBody(test::FakeOpenAIServer::numberedModels(500))),
         QStringLiteral("Connected: 500 models"), defaults.size() + 500},
        {test::ScriptedResponse::json(401, R"({"error":"Incorrect API key provided"})"),
         QStringLiteral(R"(HTTP 401: {"error":"Incorrect API key provided"})"), defaults.size() + 500},
        {test::ScriptedResponse::json(200, test::FakeOpenAIServer::modelListBody({})),
         QStringLiteral("Connected: 0 models"), defaults.size()},
    };
    for (const auto& answer : answers) {
        SCOPED_TRACE(answer.status.toStdString());
        server.replyToModels(answer.answer);
        const qsizetype asked = server.modelsRequests().size();
        QTest::mouseClick(testConnection, Qt::LeftButton);
        ASSERT_TRUE(test::eventually(
            [&] { return server.modelsRequests().size() == asked + 1 && testConnection->isEnabled(); }));
        EXPECT_EQ(status->text(), answer.status);
        EXPECT_EQ(status->accessibleName(), answer.status);
        EXPECT_EQ(pickerItems().size(), answer.listed);
        EXPECT_EQ(test::child<QComboBox>(dialog, "modelField")->count(), answer.listed);
    }
    EXPECT_EQ(server.modelsRequests().size(), 4);
}

TEST_F(FirstRunTest, aTypedModelNameIsWhatTheRequestCarries) {
    settings->setApiKey(QStringLiteral("sk-test"));
    openWindow();
    QComboBox* picker = test::child<QComboBox>(pane(), "modelPicker");
    picker->setFocus();
    picker->lineEdit()->selectAll();
    QTest::keyClicks(picker, QStringLiteral("my-local-model"));
    QTest::keyClick(picker, Qt::Key_Tab);
    EXPECT_EQ(settings->model(), QStringLiteral("my-local-model"));
    EXPECT_TRUE(pickerItems().contains(QStringLiteral("my-local-model")));

    server.replyWithChat(QStringLiteral("Hi."));
    QTest::keyClicks(pane()->composer(), QStringLiteral("hello"));
    QTest::keyClick(pane()->composer(), Qt::Key_Return);
    ASSERT_TRUE(answered(2));
    ASSERT_EQ(server.chatRequests().size(), 1);
    const QJsonObject body = server.chatRequests().first().jsonBody();
    EXPECT_EQ(body.value(QStringLiteral("model")).toString(), QStringLiteral("my-local-model"));
    EXPECT_EQ(body.keys(), (QStringList{"messages", "model", "temperature"}));
}

TEST_F(FirstRunTest, theErrorLineOffersPreferencesWhenTheKeyIsWhatFailed) {
    openWindow();
    auto* send = test::child<QPushButton>(pane(), "sendButton");
    auto* errorLine = test::child<QLabel>(pane(), "errorLine");
    auto* openPreferencesButton = test::child<QPushButton>(pane(), "errorPreferencesButton");
    // No key at all: nothing is sent.
    QTest::keyClicks(pane()->composer(), QStringLiteral("hello"));
    QTest::mouseClick(send, Qt::LeftButton);
    ASSERT_TRUE(answered(2));
    EXPECT_EQ(errorLine->text(), QStringLiteral("Add an OpenAI API key in Settings."));
    EXPECT_TRUE(openPreferencesButton->isVisible());

    settings->setApiKey(QStringLiteral("sk-wrong"));
    server.replyToChat(test::ScriptedResponse::json(500, "overloaded"));
    QTest::keyClicks(pane()->composer(), QStringLiteral("again"));
    QTest::mouseClick(send, Qt::LeftButton);
    ASSERT_TRUE(answered(4));
    EXPECT_EQ(errorLine->text(), QStringLiteral("HTTP 500: overloaded"));
    EXPECT_FALSE(openPreferencesButton->isVisible());

    server.replyToChat(test::ScriptedResponse::json(401, R"({"error":{"message":"Incorrect API key provided"}})"));
    QTest::keyClicks(pane()->composer(), QStringLiteral("once more"));
    QTest::mouseClick(send, Qt::LeftButton);
    ASSERT_TRUE(answered(6));
    EXPECT_TRUE(errorLine->text().startsWith(QStringLiteral("HTTP 401: ")));
    ASSERT_TRUE(openPreferencesButton->isVisible());
    EXPECT_EQ(openPreferencesButton->text(), QStringLiteral("Open Preferences…"));
    EXPECT_EQ(openPreferencesButton->accessibleName(), QStringLiteral("Open Preferences…"));
    PreferencesDialog* dialog = openPreferences(openPreferencesButton);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(test::child<QLineEdit>(dialog, "apiKeyField")->text(), QStringLiteral("sk-wrong"));
}

// The controls Tab should reach: shown, enabled, taking focus by Tab, and not part of another such
// control (a combo box's field).
QList<QWidget*> tabStops(QWidget* window) {
    QList<QWidget*> stops;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (widget->window() != window || !widget->isVisible() || !widget->isEnabled() ||
            (widget->focusPolicy() & Qt::TabFocus) != Qt::TabFocus) {
            continue;
        }
        bool inner = false;
        for (QWidget* parent = widget->parentWidget(); parent && parent != window; parent = parent->parentWidget()) {
            inner = inner || (parent->focusPolicy() & Qt::TabFocus) == Qt::TabFocus;
        }
        if (!inner) {
            stops.append(widget);
        }
    }
    return stops;
}

// The control that holds the focus, counted as the stop it belongs to.
QWidget* focusedStop(const QList<QWidget*>& stops) {
    for (QWidget* widget = QApplication::focusWidget(); widget; widget = widget->parentWidget()) {
        if (stops.contains(widget)) {
            return widget;
        }
    }
    return QApplication::focusWidget();
}

// Presses the key from `start` until the focus comes back to it (at most twice round the stops).
QList<QWidget*> walk(QWidget* start, const QList<QWidget*>& stops, Qt::KeyboardModifiers modifiers) {
    start->setFocus(Qt::TabFocusReason);
    QList<QWidget*> visited{focusedStop(stops)};
    for (qsizetype step = 0; step < 2 * stops.size() + 2; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, modifiers);
        QWidget* now = focusedStop(stops);
        if (now == visited.first()) {
            return visited;
        }
        visited.append(now);
    }
    return visited;
}

QString names(const QList<QWidget*>& widgets) {
    QStringList text;
    for (QWidget* widget : widgets) {
        text << QStringLiteral("%1 \"%2\"")
                    .arg(QString::fromLatin1(widget->metaObject()->className()), widget->accessibleName());
    }
    return text.join(QStringLiteral(", "));
}

TEST_F(FirstRunTest, tabWalksEveryControlInReadingOrderBothWaysWithoutATrap) {
    settings->setApiKey(QStringLiteral("sk-test"));
    openWindow();
    for (const bool withMessages : {false, true}) {
        SCOPED_TRACE(withMessages ? "transcript" : "welcome");
        if (withMessages) {
            context->chat()->appendKestrionStatus(QStringLiteral("A message"));
            ASSERT_TRUE(transcript()->isVisible());
        }
        // Text in the composer enables Send, so every control is in reach.
        pane()->composer()->setText(QStringLiteral("draft"));
        const QList<QWidget*> stops = tabStops(window.get());
        ASSERT_GE(stops.size(), 10) << names(stops).toStdString();

        const QList<QWidget*> forward = walk(pane()->composer(), stops, Qt::NoModifier);
        EXPECT_EQ(QSet<QWidget*>(forward.begin(), forward.end()), QSet<QWidget*>(stops.begin(), stops.end()))
            << "walked: " << names(forward).toStdString() << "\nexpected: " << names(stops).toStdString();
        EXPECT_EQ(forward.size(), stops.size()) << names(forward).toStdString();
        EXPECT_EQ(pane()->composer()->text(), QStringLiteral("draft"));

        // Reading order: the sidebar, then the detail column; within a column top to bottom, and
        // left to right along a row. The walk is a ring, so it is read from the sidebar's first stop.
        const auto column = [&](QWidget* widget) {
            return test::child<Sidebar>(window.get(), "sidebar")->isAncestorOf(widget) ? 0 : 1;
        };
        const auto frame = [&](QWidget* widget) {
            return QRect(widget->mapTo(window.get(), QPoint()), widget->size());
        };
        const QList<QWidget*> reading = TabOrder::readingOrder(window.get());
        QList<QWidget*> ring = forward;
        while (!ring.isEmpty() && column(ring.first()) == 1) {
            ring.append(ring.takeFirst());
        }
        while (!ring.isEmpty() && column(ring.last()) == 0) {
            ring.prepend(ring.takeLast());
        }
        for (qsizetype i = 1; i < ring.size(); ++i) {
            QWidget* before = ring.at(i - 1);
            QWidget* after = ring.at(i);
            SCOPED_TRACE(names({before, after}).toStdString());
            ASSERT_LE(column(before), column(after));
            if (column(before) != column(after)) {
                continue;
            }
            const QRect a = frame(before);
            const QRect b = frame(after);
            const bool sameRow = b.top() < a.bottom() && a.top() < b.bottom();
            EXPECT_TRUE(sameRow ? b.left() >= a.right() : b.top() >= a.bottom())
                << "from " << a.top() << "," << a.left() << " to " << b.top() << "," << b.left();
            EXPECT_LT(reading.indexOf(before), reading.indexOf(after));
        }

        // Shift+Tab goes the same way back.
        QList<QWidget*> backward = walk(pane()->composer(), stops, Qt::ShiftModifier);
        std::reverse(backward.begin() + 1, backward.end());
        EXPECT_EQ(backward, forward) << names(backward).toStdString();
    }
}

} // namespace
