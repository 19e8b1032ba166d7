#pragma once

#include "support/ProcessRunner.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The one way the app finds and starts git. Every command gets the options of
// GitSafety.h first, so no repository the app touches can make git start a
// program of its own.
namespace kestrion::GitRunner {

// The git the commit sequence runs; it is never looked up on PATH.
inline constexpr auto systemGitPath = "/usr/bin/git";

// Where the deploy looks for git, in order.
QStringList searchList();

// The first entry of candidates that exists and is an executable file; nothing when none is.
std::optional<QString> findGit(const QStringList& candidates = searchList());

// A configuration setting for one git command, given through the environment
// (GIT_CONFIG_COUNT and its pairs) because a key may hold "=", which -c cannot
// express.
struct Setting {
    QString key;
    QString value;
};

// What a command's environment adds to the app's own. When it adds nothing the
// child inherits the environment as it is.
struct Environment {
    // Placed after any settings the environment already holds.
    QList<Setting> settings;
    // GIT_TERMINAL_PROMPT=0, so git fails at once instead of asking for a
    // password nobody can type.
    bool noTerminalPrompt = false;
    // GIT_INDEX_FILE: work on this index instead of the repository's own (empty: the own one).
    QString indexFile;
};

// Runs git with the safety options, then arguments, in workingDirectory and
// waits for it; both streams are drained while it runs. Blocking; never call
// on the interface thread. The input, if any, goes to git's standard input.
ProcessOutcome run(const QString& git, const QString& workingDirectory, const QStringList& arguments,
                   const Environment& environment = {}, const QByteArray& input = {});

} // namespace kestrion::GitRunner
