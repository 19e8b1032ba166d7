#pragma once

#include "FindChild.h"
#include "WindowTestSupport.h"
#include "app/AppContext.h"
#include "app/MainWindow.h"
#include "app/widgets/ChatPane.h"
#include "app/widgets/TranscriptView.h"
#include "settings/AppSettings.h"
#include "support/FakeOpenAIServer.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace kestrion::test {

// The real window over a temporary website folder, talking to the loopback fake model server
// with a key set, as a user who has set the app up would see it.
class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.isValid());
        QApplication::setQuitOnLastWindowClosed(false);
        settings.setOpenAIBaseURL(server.apiBaseUrl());
        settings.setApiKey(QStringLiteral("sk-test"));
        settings.setOutputDirectoryPath(site.path());
    }

    void openWindow() {
        startApp(&settings, context, window);
        ASSERT_TRUE(showAndWaitUntilReady(*window, *context));
    }

    ChatPane* pane() const { return child<ChatPane>(window.get(), "chatPane"); }
    TranscriptView* transcript() const { return child<TranscriptView>(pane(), "transcript"); }
    ChatViewModel* chat() const { return context->chat(); }
    WindowState* state() const { return viewState(*window); }

    FakeOpenAIServer server;
    QTemporaryDir site;
    AppSettings settings;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<MainWindow> window;
};

} // namespace kestrion::test
