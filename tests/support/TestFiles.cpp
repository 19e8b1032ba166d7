#include "support/TestFiles.h"

#include "support/ProcessRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace kestrion::test {

void writeFile(const QString& path, const QByteArray& bytes, bool executable) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size()) << path.toStdString();
    file.close();
    if (executable) {
        ASSERT_TRUE(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) << path.toStdString();
    }
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString gitOutput(const QString& directory, const QStringList& arguments) {
    const ProcessOutcome outcome = runProcess(QStringLiteral("/usr/bin/git"), arguments, directory);
    EXPECT_EQ(outcome.exitCode, 0) << arguments.join(QLatin1Char(' ')).toStdString() << ": "
                                   << outcome.standardError.toStdString();
    QString text = QString::fromUtf8(outcome.standardOutput);
    while (text.endsWith(QLatin1Char('\n'))) {
        text.chop(1);
    }
    return text;
}

} // namespace kestrion::test
