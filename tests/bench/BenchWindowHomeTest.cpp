// bench_window drives the whole window: it saves settings, writes a chat history
// and starts the web engine. Started with HOME pointing at a folder that holds a
// user's settings and history, it must leave every file there as it was.

#include "support/TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <gmock/gmock.h>

namespace {

// One line per entry under root (hidden ones included): path, kind, size, time and content hash.
std::string snapshot(const QString& root) {
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        QString description = info.isDir() ? QStringLiteral("dir") : QStringLiteral("file %1").arg(info.size());
        description += QLatin1Char(' ') + info.lastModified().toString(Qt::ISODateWithMs);
        if (info.isFile()) {
            description += QLatin1Char(' ') +
                           QString::fromLatin1(QCryptographicHash::hash(kestrion::test::readFile(info.filePath()),
                                                                        QCryptographicHash::Sha256)
                                                   .toHex());
        }
        entries.append(QDir(root).relativeFilePath(info.filePath()) + QStringLiteral(": ") + description);
    }
    entries.sort();
    return entries.join(QLatin1Char('\n')).toStdString();
}

TEST(BenchWindowHomeTest, leavesTheUsersHomeUntouched) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString settingsPath = home.filePath(QStringLiteral(".config/Kestrion/DuvUDUvadIra.conf"));
    kestrion::test::writeFile(settingsPath, "[General]\noutput_directory_path=" +
                                                home.filePath(QStringLiteral("Sites/studio")).toUtf8() + "\n");
    kestrion::test::writeFile(home.filePath(QStringLiteral("Sites/studio/index.html")), "<p>mine</p>\n");
    kestrion::test::writeFile(home.filePath(QStringLiteral(".local/share/KestrionApp/chat_history.json")),
                              "{\"activeSessionId\": \"00000000-0000-0000-0000-000000000000\", "
                              "\"sessions\": [], \"version\": 1}\n");
    const std::string before = snapshot(home.path());

    // As on a desktop: only HOME is set, so every XDG folder derives from it.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
        environment.remove(QString::fromLatin1(name));
    }
    QProcess bench;
    bench.setProcessEnvironment(environment);
    bench.setProcessChannelMode(QProcess::MergedChannels);
    // The start-up probe and the transcript both open the main window with the real settings.
    bench.start(QStringLiteral(KESTRION_BENCH_WINDOW),
                {QStringLiteral("--benchmark_filter=BM_StartupToFirstPaint_MainWindow|BM_Transcript")});
    ASSERT_TRUE(bench.waitForStarted());
    ASSERT_TRUE(bench.waitForFinished(480000));
    const QString output = QString::fromLocal8Bit(bench.readAll());
    ASSERT_EQ(bench.exitStatus(), QProcess::NormalExit) << output.toStdString();
    ASSERT_EQ(bench.exitCode(), 0) << output.toStdString();
    ASSERT_THAT(output.toStdString(), ::testing::HasSubstr("BM_Transcript1000Messages_TimeToShow"));
    ASSERT_THAT(output.toStdString(), ::testing::Not(::testing::HasSubstr("ERROR OCCURRED")));

    EXPECT_EQ(snapshot(home.path()), before);
}

} // namespace
