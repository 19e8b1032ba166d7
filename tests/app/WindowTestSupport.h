#pragma once

#include "app/MainWindow.h"
#include "conversation/ChatViewModel.h"
#include "support/Eventually.h"
#include "workspace/OutputFolderFileTreeModel.h"

#include <QTest>
#include <gtest/gtest.h>

namespace kestrion::test {

enum class Activation { Leave, Activate };

// Shows window and waits until it is on screen, active when asked (shortcuts
// such as Ctrl+S need the active window), and its file tree and chats have
// loaded, so that a test starts from the window a user would see.
inline ::testing::AssertionResult showAndWaitUntilReady(MainWindow& window, Activation activation = Activation::Leave) {
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        return ::testing::AssertionFailure() << "the window was never exposed";
    }
    if (activation == Activation::Activate) {
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window)) {
            return ::testing::AssertionFailure() << "the window never became active";
        }
    }
    return eventually([&window] { return !window.outputTree()->isLoading() && !window.chat()->isBinding(); });
}

} // namespace kestrion::test
