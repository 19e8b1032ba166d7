#include "workspace/OutputFolderFileTreeModel.h"

#include "TreeFixture.h"
#include "support/Eventually.h"

#include <QAbstractItemModelTester>
#include <QIcon>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>
#include <atomic>
#include <condition_variable>
#include <gmock/gmock.h>
#include <mutex>
#include <semaphore>

using namespace kestrion;
using kestrion::test::TreeFixture;

namespace {

bool waitUntilIdle(const OutputFolderFileTreeModel& model) {
    return QTest::qWaitFor([&model] { return !model.isLoading(); }, 10000);
}

FileTreeScanner::Snapshot snapshotNamed(const QString& name) {
    return {{FileTreeNode{name, name, QStringLiteral("doc"), std::nullopt}}, QStringLiteral("1 item")};
}

// Every index the model hands out, depth first, checked for a consistent
// parent, row and id on the way.
QStringList walk(const OutputFolderFileTreeModel& model, const QModelIndex& parent = {}) {
    QStringList ids;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        EXPECT_TRUE(index.isValid());
        EXPECT_EQ(model.parent(index), parent);
        EXPECT_EQ(index.row(), row);
        const QString id = index.data(OutputFolderFileTreeModel::NodeIdRole).toString();
        EXPECT_EQ(model.indexForId(id), index);
        ids << id;
        ids << walk(model, index);
    }
    return ids;
}

} // namespace

TEST(OutputFolderFileTreeModel, startsEmptyAndExplainsAMissingDirectory) {
    OutputFolderFileTreeModel model;
    EXPECT_TRUE(model.nodes().empty());
    EXPECT_EQ(model.statusLine(), QString());
    EXPECT_FALSE(model.isLoading());

    QSignalSpy loading(&model, &OutputFolderFileTreeModel::isLoadingChanged);
    QSignalSpy status(&model, &OutputFolderFileTreeModel::statusLineChanged);
    model.refresh(std::nullopt);
    EXPECT_EQ(loading.count(), 2); // on, then off
    EXPECT_FALSE(model.isLoading());
    EXPECT_EQ(status.count(), 1);
    EXPECT_EQ(model.statusLine(), QStringLiteral("Choose a website directory to see its tree."));
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(OutputFolderFileTreeModel, refreshScansOffTheCallerAndPublishesTheTree) {
    TreeFixture tree;
    tree.writeFile(QStringLiteral("index.html"));
    tree.writeFile(QStringLiteral("assets/sub/helper.js"));
    tree.makeFolder(QStringLiteral("empty"));
    OutputFolderFileTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy nodes(&model, &OutputFolderFileTreeModel::nodesChanged);
    QSignalSpy loading(&model, &OutputFolderFileTreeModel::isLoadingChanged);

    model.refresh(tree.root());
    // A small folder's scan may already be over when refresh() returns (the
    // result then arrives at once), so loading is checked by its signals.
    ASSERT_TRUE(waitUntilIdle(model));

    EXPECT_EQ(loading.count(), 2); // on, then off
    EXPECT_EQ(nodes.count(), 1);
    EXPECT_EQ(model.statusLine(), QStringLiteral("5 items"));
    EXPECT_EQ(walk(model), (QStringList{QStringLiteral("assets"), QStringLiteral("assets/sub"),
                                        QStringLiteral("assets/sub/helper.js"), QStringLiteral("empty"),
                                        QStringLiteral("index.html")}));

    const QModelIndex helper = model.indexForId(QStringLiteral("assets/sub/helper.js"));
    EXPECT_EQ(helper.data(Qt::DisplayRole).toString(), QStringLiteral("helper.js"));
    EXPECT_EQ(helper.data(OutputFolderFileTreeModel::SystemImageRole).toString(),
              QStringLiteral("chevron.left.forwardslash.chevron.right"));
    EXPECT_FALSE(helper.data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_FALSE(helper.data(OutputFolderFileTreeModel::IsFolderRole).toBool());
    EXPECT_FALSE(model.hasChildren(helper));

    const QModelIndex empty = model.indexForId(QStringLiteral("empty"));
    EXPECT_TRUE(empty.data(OutputFolderFileTreeModel::IsFolderRole).toBool());
    EXPECT_TRUE(model.hasChildren(empty)); // drawn as an expandable folder with nothing inside
    EXPECT_EQ(model.rowCount(empty), 0);
    EXPECT_FALSE(model.indexForId(QStringLiteral("nope")).isValid());
    EXPECT_EQ(model.nodeAt(empty)->id, QStringLiteral("empty"));
}

TEST(OutputFolderFileTreeModel, rescanOfAnUnchangedTreeKeepsTheRowsAndAChangedOneResetsThem) {
    TreeFixture tree;
    tree.writeFile(QStringLiteral("a.css"));
    OutputFolderFileTreeModel model;
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    model.refresh(tree.root());
    ASSERT_TRUE(waitUntilIdle(model));
    ASSERT_EQ(resets.count(), 1);

    model.refresh(tree.root());
    ASSERT_TRUE(waitUntilIdle(model));
    EXPECT_EQ(resets.count(), 1);

    tree.writeFile(QStringLiteral("b.css"));
    model.refresh(tree.root());
    ASSERT_TRUE(waitUntilIdle(model));
    EXPECT_EQ(resets.count(), 2);
    EXPECT_EQ(model.rowCount(), 2);

    model.refresh(tree.path(QStringLiteral("missing")));
    ASSERT_TRUE(waitUntilIdle(model));
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.statusLine(), QStringLiteral("Folder does not exist."));
}

// Lets the pool thread that ran a superseded scan report back, so that a
// result the model should drop has really arrived.
void deliverFinishedScans() {
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(10000));
    QCoreApplication::sendPostedEvents();
}

TEST(OutputFolderFileTreeModel, switchingFoldersStopsTheOldScanAndItsLateResultIsDropped) {
    // The large folder's scan runs until it is told to stop, then is held
    // until the small folder's tree has been published, so it ends last.
    std::binary_semaphore releaseLarge(0);
    std::atomic_bool largeSawStop = false;
    OutputFolderFileTreeModel model([&](const QString& root, const std::stop_token& stop) {
        if (root != QLatin1String("/large")) {
            return snapshotNamed(root.mid(1));
        }
        std::mutex mutex;
        std::condition_variable_any stopped;
        std::unique_lock lock(mutex);
        stopped.wait_for(lock, stop, std::chrono::seconds(10), [] { return false; });
        largeSawStop = stop.stop_requested();
        releaseLarge.acquire();
        FileTreeScanner::Snapshot large;
        for (int i = 0; i < 500; ++i) {
            large.nodes.push_back(snapshotNamed(QStringLiteral("old%1").arg(i)).nodes.front());
        }
        large.statusLine = QStringLiteral("500 items");
        return large;
    });
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);

    model.refresh(QStringLiteral("/large"));
    model.refresh(QStringLiteral("/small"));
    ASSERT_TRUE(waitUntilIdle(model));
    ASSERT_EQ(walk(model), QStringList{QStringLiteral("small")});

    releaseLarge.release();
    deliverFinishedScans();

    EXPECT_TRUE(largeSawStop);
    EXPECT_EQ(walk(model), QStringList{QStringLiteral("small")});
    EXPECT_EQ(model.statusLine(), QStringLiteral("1 item"));
    EXPECT_FALSE(model.isLoading());
}

TEST(OutputFolderFileTreeModel, anOlderScanEndingFirstNeitherShowsNorEndsTheLoading) {
    std::binary_semaphore releaseFirst(0);
    std::binary_semaphore releaseSecond(0);
    OutputFolderFileTreeModel model([&](const QString& root, const std::stop_token&) {
        (root == QLatin1String("/first") ? releaseFirst : releaseSecond).acquire();
        return snapshotNamed(root.mid(1));
    });
    // Both scans hold a pool thread at once, so the first one's end shows as
    // one thread fewer in use.
    QThreadPool& pool = *QThreadPool::globalInstance();
    pool.setMaxThreadCount(std::max(2, pool.maxThreadCount()));
    ASSERT_TRUE(pool.waitForDone(10000));
    model.refresh(QStringLiteral("/first"));
    model.refresh(QStringLiteral("/second"));
    ASSERT_EQ(pool.activeThreadCount(), 2);
    releaseFirst.release();
    ASSERT_TRUE(QTest::qWaitFor([&pool] { return pool.activeThreadCount() == 1; }, 10000));
    QCoreApplication::sendPostedEvents();

    EXPECT_TRUE(model.isLoading());
    EXPECT_EQ(model.rowCount(), 0);

    releaseSecond.release();
    ASSERT_TRUE(waitUntilIdle(model));
    EXPECT_EQ(walk(model), QStringList{QStringLiteral("second")});
}
