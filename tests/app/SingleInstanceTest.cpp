#include "app/SingleInstance.h"

#include "support/Eventually.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <unistd.h>

using namespace kestrion;
using kestrion::test::eventually;

namespace {

constexpr int startupWaitMs = 60000;

// ---- The real program ------------------------------------------------------

// The program as a user starts it, in this test's temporary home. Without a
// runtime folder its lock and socket go to the temporary folder, which is this
// test's own.
std::unique_ptr<QProcess> startProgram(const QStringList& arguments) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    environment.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--disable-gpu"));
    process->setProcessEnvironment(environment);
    process->start(QStringLiteral(KESTRION_BINARY), arguments);
    EXPECT_TRUE(process->waitForStarted()) << process->errorString().toStdString();
    return process;
}

// Ends a copy left running, as a crash would.
void kill(QProcess& process) {
    process.kill();
    EXPECT_TRUE(process.waitForFinished(startupWaitMs));
}

QString lockFilePath() {
    const QStringList locks = QDir::temp().entryList({QStringLiteral("kestrion-*.lock")}, QDir::Files);
    return locks.size() == 1 ? QDir::temp().filePath(locks.front()) : QString();
}

// The copy that holds the lock, by the process id the lock file names, and listens beside it. The
// copy takes the lock a moment before its socket exists: a test that ends it in between would find
// no socket left behind.
bool holdsTheLock(const QProcess& process) {
    const QString path = lockFilePath();
    return !path.isEmpty() &&
           test::readFile(path).split('\n').value(0).toLongLong() == static_cast<qint64>(process.processId()) &&
           QFileInfo::exists(path.chopped(5));
}

::testing::AssertionResult becomesTheRunningCopy(QProcess& process) {
    if (!eventually([&process] { return process.state() != QProcess::Running || holdsTheLock(process); },
                    startupWaitMs)) {
        return ::testing::AssertionFailure() << "the program runs but never took the lock";
    }
    if (process.state() != QProcess::Running) {
        return ::testing::AssertionFailure() << "the program ended instead (exit " << process.exitCode()
                                             << "): " << process.readAllStandardError().toStdString();
    }
    return ::testing::AssertionSuccess();
}

// A later start ends at once with status 0, having handed its arguments to
// the running copy, which logs them.
void expectAHandOverTo(QProcess& running) {
    QString runningLog;
    const auto second = startProgram({QStringLiteral("--from-a-later-start")});
    ASSERT_TRUE(second->waitForFinished(startupWaitMs));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0) << second->readAllStandardError().toStdString();
    EXPECT_TRUE(eventually(
        [&] {
            runningLog += QString::fromLocal8Bit(running.readAllStandardError());
            return runningLog.contains(QStringLiteral("--from-a-later-start"));
        },
        startupWaitMs))
        << runningLog.toStdString();
    EXPECT_EQ(running.state(), QProcess::Running);
}

TEST(SingleInstanceProgram, aSecondStartHandsItsArgumentsToTheRunningCopyAndExits) {
    const auto first = startProgram({});
    ASSERT_TRUE(becomesTheRunningCopy(*first));
    expectAHandOverTo(*first);
    kill(*first);
}

TEST(SingleInstanceProgram, theSocketAndLockOfACrashedCopyDoNotBlockTheNextStart) {
    const auto crashed = startProgram({});
    ASSERT_TRUE(becomesTheRunningCopy(*crashed));
    const QString lock = lockFilePath();
    kill(*crashed);
    ASSERT_TRUE(QFileInfo::exists(lock));
    ASSERT_TRUE(QFileInfo::exists(lock.chopped(5))); // the socket

    const auto next = startProgram({});
    ASSERT_TRUE(becomesTheRunningCopy(*next));
    expectAHandOverTo(*next);
    kill(*next);
}

// ---- The class ---------------------------------------------------------------

class SingleInstanceTest : public ::testing::Test {
protected:
    QTemporaryDir folder;
    QString socketPath() const { return folder.filePath(QStringLiteral("instance")); }
};

TEST_F(SingleInstanceTest, theSocketPathBelongsToTheUserAndTheirFolders) {
    const QString path = SingleInstance::defaultSocketPath();
    EXPECT_TRUE(path.contains(QStringLiteral("/kestrion-%1-").arg(::getuid())));
    EXPECT_EQ(SingleInstance::defaultSocketPath(), path);

    // Another home (another test, say) gives another copy.
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", folder.path().toUtf8());
    EXPECT_NE(SingleInstance::defaultSocketPath(), path);
    qputenv("XDG_CONFIG_HOME", config);
}

TEST_F(SingleInstanceTest, aLaterStartIsHandedOverAndALockNobodyAnswersForIsReported) {
    SingleInstance running(socketPath());
    ASSERT_EQ(running.start({}), SingleInstance::Role::Primary);
    QStringList received;
    QObject::connect(&running, &SingleInstance::argumentsReceived,
                     [&received](const QStringList& arguments) { received = arguments; });

    // The later start blocks while it waits for the answer, so it runs on a
    // thread of its own while this one serves the running copy.
    std::atomic<SingleInstance::Role> later = SingleInstance::Role::Primary;
    std::atomic_bool done = false;
    std::thread starter([&] {
        SingleInstance second(socketPath());
        later = second.start({QStringLiteral("kestrion"), QStringLiteral("ä b"), QString()});
        done = true;
    });
    const bool finished = eventually([&done] { return done.load(); });
    starter.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(later, SingleInstance::Role::HandedOver);
    EXPECT_EQ(received, (QStringList{QStringLiteral("kestrion"), QStringLiteral("ä b"), QString()}));

    // A live holder of the lock that never listens: the later start gives up.
    QTemporaryDir other;
    const QString silentPath = other.filePath(QStringLiteral("instance"));
    QLockFile heldBySomeoneSilent(silentPath + QStringLiteral(".lock"));
    ASSERT_TRUE(heldBySomeoneSilent.tryLock(0));
    SingleInstance third(silentPath);
    EXPECT_EQ(third.start({}, 300), SingleInstance::Role::Unanswered);
}

} // namespace
