#include "app/SiteBinding.h"

#include "app/WindowState.h"
#include "conversation/ChatViewModel.h"
#include "deploy/LaunchStateStore.h"
#include "settings/AppSettings.h"
#include "support/Eventually.h"
#include "workspace/OutputFolderFileTreeModel.h"

#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

using namespace kestrion;

namespace {

// The roots the tree was asked to walk, written from the pool thread the walk runs on.
struct ScanLog {
    std::mutex mutex;
    QStringList roots;

    QStringList taken() {
        const std::lock_guard lock(mutex);
        return roots;
    }
};

class SiteBindingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(first.isValid());
        ASSERT_TRUE(second.isValid());
        ASSERT_TRUE(LaunchStateStore::save(QUrl(QStringLiteral("https://first.example.com/")), first.path()).ok());
        // The scans are asked for the directories as the settings keep them.
        settings.setOutputDirectoryPath(second.path());
        secondRoot = settings.outputDirectoryPath().value_or(QString());
        settings.setOutputDirectoryPath(first.path());
        firstRoot = settings.outputDirectoryPath().value_or(QString());
    }

    // Once the chat has read the folder's history and the walk has ended.
    ::testing::AssertionResult settled() {
        return test::eventually([this] { return !chat.isBinding() && !tree.isLoading(); });
    }

    QTemporaryDir first;
    QTemporaryDir second;
    QString firstRoot;
    QString secondRoot;
    AppSettings settings;
    ChatViewModel chat;
    std::shared_ptr<ScanLog> scans = std::make_shared<ScanLog>();
    OutputFolderFileTreeModel tree{[log = scans](const QString& root, const std::stop_token&) {
        const std::lock_guard lock(log->mutex);
        log->roots.append(root);
        return FileTreeScanner::Snapshot{};
    }};
    WindowState state;
    SiteBinding binding{&settings, &chat, &tree, &state};
};

} // namespace

TEST_F(SiteBindingTest, nothingIsBoundUntilStartThenTheCurrentDirectory) {
    settings.setOutputDirectoryPath(second.path());
    Q_EMIT chat.filesWritten(second.path(), {QStringLiteral("index.html")});
    QCoreApplication::processEvents();
    EXPECT_FALSE(chat.hasBoundStorageLocation());
    EXPECT_TRUE(scans->taken().isEmpty());
    EXPECT_EQ(state.previewReloadNonce(), 0);

    binding.start();
    binding.start();
    ASSERT_TRUE(settled());
    EXPECT_EQ(chat.persistenceOutputRoot(), ChatViewModel::normalizedOutputDirectory(second.path()));
    EXPECT_EQ(scans->taken(), QStringList{secondRoot});
    EXPECT_FALSE(state.launchedWebsiteURL().has_value());
}

TEST_F(SiteBindingTest, aDirectoryChangeRebindsEverythingAndForgetsThePreviewedFile) {
    binding.start();
    ASSERT_TRUE(settled());
    EXPECT_EQ(state.launchedWebsiteURL(), QUrl(QStringLiteral("https://first.example.com/")));
    state.setPreviewSelectedRelativePath(QStringLiteral("index.html"));
    state.setPreviewSourceDocument(QStringLiteral("edited"));
    state.setPreviewSourceBaseline(QStringLiteral("saved"));
    state.setPreviewSourceSaveError(QStringLiteral("disk full"));
    const qint64 nonce = state.previewReloadNonce();

    settings.setOutputDirectoryPath(second.path());
    ASSERT_TRUE(settled());
    EXPECT_EQ(chat.persistenceOutputRoot(), ChatViewModel::normalizedOutputDirectory(second.path()));
    EXPECT_EQ(scans->taken(), (QStringList{firstRoot, secondRoot}));
    EXPECT_FALSE(state.launchedWebsiteURL().has_value());
    EXPECT_GT(state.previewReloadNonce(), nonce);
    EXPECT_FALSE(state.previewSelectedRelativePath().has_value());
    EXPECT_TRUE(state.previewSourceDocument().isEmpty());
    EXPECT_TRUE(state.previewSourceBaseline().isEmpty());
    EXPECT_FALSE(state.previewSourceSaveError().has_value());

    // No directory: the chats go to their per-user place and the tree says to choose one.
    settings.setOutputDirectoryPath(std::nullopt);
    ASSERT_TRUE(settled());
    EXPECT_EQ(chat.persistenceOutputRoot(), std::nullopt);
    EXPECT_EQ(tree.statusLine(), OutputFolderFileTreeModel::noDirectoryStatus);
    EXPECT_EQ(scans->taken().size(), 2);
}

TEST_F(SiteBindingTest, onlyFilesWrittenIntoTheBoundDirectoryRescanAndReload) {
    binding.start();
    ASSERT_TRUE(settled());
    const qint64 nonce = state.previewReloadNonce();

    // The root a turn reports may be spelt differently from the setting.
    Q_EMIT chat.filesWritten(first.path() + QStringLiteral("/"), {QStringLiteral("index.html")});
    ASSERT_TRUE(settled());
    EXPECT_EQ(state.previewReloadNonce(), nonce + 1);
    EXPECT_EQ(scans->taken(), (QStringList{firstRoot, firstRoot}));

    Q_EMIT chat.filesWritten(second.path(), {QStringLiteral("index.html")});
    ASSERT_TRUE(settled());
    EXPECT_EQ(state.previewReloadNonce(), nonce + 1);
    EXPECT_EQ(scans->taken().size(), 2);
}
