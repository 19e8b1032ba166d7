#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <optional>

namespace kestrion {

// What a finished child process left behind.
struct ProcessOutcome {
    bool started = false; // false: the program could not be started at all
    QString startError;   // the platform's description when it did not start
    int exitCode = -1;    // exit status; -1 when it did not start or crashed
    QByteArray standardOutput;
    QByteArray standardError;
};

// Runs a program (no shell) to completion, blocking the calling thread. Both
// output streams are drained while it runs, so a chatty child never stalls on
// a full pipe. Standard input gets the given bytes, then is closed. Never call on the interface
// thread.
ProcessOutcome runProcess(const QString& program, const QStringList& arguments, const QString& workingDirectory,
                          const std::optional<QProcessEnvironment>& environment = std::nullopt,
                          const QByteArray& standardInput = {});

} // namespace kestrion
