#include "HistoryCrashPayloads.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace kestrion;
namespace History = kestrion::ChatHistoryPersistence;

// A process killed at any moment of a save leaves the previous history or the
// new one on disk, whole; never a part of one, never none at all.
TEST(ChatHistoryCrashSafety, killedAtRandomMomentsWhileSavingLeavesTheOldOrTheNewFile) {
    QTemporaryDir site;
    ASSERT_TRUE(site.isValid());
    const History::FilePayload payloads[] = {test::crashPayload(0), test::crashPayload(1)};
    History::save(payloads[0], site.path());
    const QString file = site.path() + QStringLiteral("/.kestrion-chats/chat_history.json");
    ASSERT_TRUE(QFile::exists(file));

    QRandomGenerator random(20240611);
    int changes = 0;
    std::optional<History::FilePayload> previous = payloads[0];
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE(round);
        QProcess child;
        child.start(QStringLiteral(KESTRION_HISTORY_SAVER_CHILD), {site.path()});
        ASSERT_TRUE(child.waitForStarted());
        ASSERT_TRUE(child.waitForReadyRead(60000)) << "the child never started saving";
        QThread::usleep(random.bounded(30000));
        child.kill(); // SIGKILL: no handler, no flush, no clean-up
        ASSERT_TRUE(child.waitForFinished(60000));
        ASSERT_EQ(child.exitStatus(), QProcess::CrashExit);

        ASSERT_TRUE(QFile::exists(file));
        const auto loaded = History::load(site.path());
        ASSERT_TRUE(loaded.has_value()) << "the file does not read as a history";
        EXPECT_TRUE(*loaded == payloads[0] || *loaded == payloads[1]);
        changes += *loaded != *previous ? 1 : 0;
        previous = loaded;
    }
    // The child did save: the content alternated between the rounds at least once.
    EXPECT_GT(changes, 0);
    // A killed save leaves no temporary file behind (the folder is published
    // with the site). Only a kill between naming the finished file and the
    // rename, a few microseconds of each save, can leave one.
    const QStringList leftovers = QDir(site.path() + QStringLiteral("/.kestrion-chats"))
                                      .entryList({QStringLiteral("*.tmp-*")}, QDir::Files | QDir::Hidden);
    EXPECT_LE(leftovers.size(), 2) << leftovers.join(QLatin1Char(' ')).toStdString();
}
