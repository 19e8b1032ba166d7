#include "WindowTestSupport.h"
#include "app/DetailPane.h"
#include "app/MainWindow.h"
#include "app/SegmentedControl.h"
#include "app/WindowState.h"
#include "settings/AppSettings.h"
#include "support/Eventually.h"
#include "support/FakeOpenAIServer.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QFile>
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
        settings->setOutputDirectoryURL(site.path());
    }

    void openWindow() {
        window = std::make_unique<MainWindow>(settings.get());
        ASSERT_TRUE(test::showAndWaitUntilReady(*window, test::Activation::Activate));
    }

    test::FakeOpenAIServer server;
    QTemporaryDir site;
    std::unique_ptr<AppSettings> settings;
    std::unique_ptr<MainWindow> window;
};

// What a screen reader's "activate" does on a tab must move the pane, not only the mark.
TEST_F(FirstRunTest, theSwitchIsATabListThatAccessibilityActionsDrive) {
    openWindow();
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(window->detailPane()->selector());
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
        EXPECT_EQ(window->viewState()->detailWorkspaceTab(), tab);
        for (int other = 0; other < 3; ++other) {
            EXPECT_EQ(list->child(other)->state().selected, other == index) << other;
        }
    }
}

} // namespace
