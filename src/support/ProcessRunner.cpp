#include "support/ProcessRunner.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

namespace kestrion {

ProcessOutcome runProcess(const QString& program, const QStringList& arguments, const QString& workingDirectory,
                          const std::optional<QProcessEnvironment>& environment, const QByteArray& standardInput) {
    ProcessOutcome outcome;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(workingDirectory);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setInputChannelMode(QProcess::ManagedInputChannel);
    if (environment) {
        process.setProcessEnvironment(*environment);
    }
    process.start(QIODevice::ReadWrite);
    if (!process.waitForStarted(-1)) {
        outcome.startError = process.errorString();
        if (!QFileInfo::exists(program)) {
            outcome.startError =
                QCoreApplication::translate("kestrion::ProcessRunner", "The file \u201c%1\u201d doesn\u2019t exist.")
                    .arg(program);
        } else if (!QFileInfo(workingDirectory).isDir()) {
            outcome.startError =
                QCoreApplication::translate("kestrion::ProcessRunner", "The folder \u201c%1\u201d doesn\u2019t exist.")
                    .arg(workingDirectory);
        }
        return outcome;
    }
    outcome.started = true;
    // Written while waiting below, alongside the reading, so neither side stalls on a full pipe.
    process.write(standardInput);
    process.closeWriteChannel();
    // waitForFinished keeps reading both pipes into QProcess's buffers.
    process.waitForFinished(-1);
    outcome.standardOutput = process.readAllStandardOutput();
    outcome.standardError = process.readAllStandardError();
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return outcome;
}

} // namespace kestrion
