#pragma once

#include "FindChild.h"
#include "app/AppContext.h"
#include "app/MainWindow.h"
#include "app/WindowState.h"
#include "conversation/ChatViewModel.h"
#include "support/Eventually.h"
#include "workspace/OutputFolderFileTreeModel.h"

#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace kestrion::test {

enum class Activation { Leave, Activate };

// Starts the application afresh over settings, as main() does: the services first, then the
// window built from them. A window of an earlier start goes before its services do. Without
// makeWebPreview (the browser engine's, for the tests that show pages) the Preview tab shows none.
inline void startApp(AppSettings* settings, std::unique_ptr<AppContext>& context, std::unique_ptr<MainWindow>& window,
                     WebPreviewFactory makeWebPreview = {}) {
    window.reset();
    context = std::make_unique<AppContext>(settings);
    window = std::make_unique<MainWindow>(*context, std::move(makeWebPreview));
}

// The view state the window shares with its panes.
inline WindowState* viewState(const MainWindow& window) {
    return child<WindowState>(&window, "windowState");
}

// Shows window and waits until it is on screen, active when asked (shortcuts
// such as Ctrl+S need the active window), and its file tree and chats have
// loaded, so that a test starts from the window a user would see.
inline ::testing::AssertionResult showAndWaitUntilReady(MainWindow& window, const AppContext& context,
                                                        Activation activation = Activation::Leave) {
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
    return eventually([&context] { return !context.fileTree()->isLoading() && !context.chat()->isBinding(); });
}

} // namespace kestrion::test
