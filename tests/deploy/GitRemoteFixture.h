#pragma once

#include "deploy/WorkspaceGitPush.h"
#include "support/ProcessRunner.h"

#include <QDir>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace kestrion::test {

// The push's temporary working areas present in the temporary folder now.
inline QStringList workingAreasLeft() {
    return QDir(QDir::tempPath())
        .entryList({WorkspaceGitPush::workingAreaPrefix + QLatin1Char('*')},
                   QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
}

// An empty bare repository at path, created with its folders, for a push to land in.
inline void createBareRepository(const QString& path) {
    ASSERT_TRUE(QDir().mkpath(path)) << path.toStdString();
    const ProcessOutcome outcome = runProcess(
        QStringLiteral("/usr/bin/git"), {QStringLiteral("init"), QStringLiteral("--bare"), QStringLiteral("-q")}, path);
    ASSERT_EQ(outcome.exitCode, 0) << outcome.standardError.toStdString();
}

} // namespace kestrion::test
