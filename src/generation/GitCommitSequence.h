#pragma once

#include "support/GitRunner.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace kestrion::ProjectMaterializer {

// What one git command (or the whole commit sequence) left behind.
struct GitOutcome {
    QString standardOutput;
    QString standardError;
    int code = 0;
    // The sequence made a new commit (a commit that found nothing new succeeds without one).
    bool committed = false;
};

// The executable the commit sequence uses; it is never looked up on PATH.
inline constexpr auto defaultGitPath = GitRunner::systemGitPath;

// The constant identity every assistant commit carries. Given per command with
// -c so neither the repository's nor the user's git configuration changes.
inline constexpr auto commitAuthorName = "Kestrion Website";
inline constexpr auto commitAuthorEmail = "no-reply@kestrion-website.invalid";
inline constexpr auto commitMessage = "Apply assistant-generated files";

// A configuration setting for one git command (see GitRunner::Setting).
using GitSetting = GitRunner::Setting;

// Runs one git command of the sequence through GitRunner in cwd with hooks, the file-system monitor and commit
// signing off, and with cwd as its work tree (so a core.worktree setting cannot
// point it at another folder; init excepted, which takes none), and waits for
// it. Settings come after any the environment already holds. Both streams are
// drained while it runs; a stream that is not valid UTF-8 comes back empty. A
// git that cannot be started yields code -1 with the start error as standard
// error. Blocking; never call on the interface thread.
GitOutcome runSequenceStep(const QString& gitPath, const QString& cwd, const QStringList& arguments,
                           const QList<GitSetting>& settings = {});

// The same as a raw process outcome (bytes as git wrote them), with the whole environment given and
// the input for git's standard input.
ProcessOutcome runSequenceStepRaw(const QString& gitPath, const QString& cwd, const QStringList& arguments,
                                  const GitRunner::Environment& environment, const QByteArray& input = {});

// Why the folder's repository must not be used (.git a file or a link, or borrowing another
// repository's store), or nothing when it is a plain folder or missing.
std::optional<QString> repositoryRefusal(const QString& root);

// The settings that switch off the clean filters the repository's own configuration defines (see
// runGitSequence), or the outcome that forbids running git on the working tree at all.
struct FilterSettings {
    QList<GitSetting> settings;
    std::optional<GitOutcome> stop;
};
FilterSettings repositoryFilterSettings(const QString& gitPath, const QString& root);

// Commits everything in the website directory as one assistant turn: init on
// branch main when there is no .git yet, add -A, commit with the fixed identity.
// A commit that finds nothing to commit counts as success. Stops at the first
// failing step and returns its outcome.
//
// The folder's repository is not trusted: the clean filters its own
// configuration defines are switched off for add and commit (the folder's
// .gitattributes decides which files pass through them); the user's own
// filters stay. No git runs at all, and code -1 comes back with the reason as
// standard error, when .git is not a plain folder (a gitdir file or a link
// would send the commit to another repository), when it borrows another
// repository's store through a commondir file, or when a filter's name cannot
// be handed to git to switch it off. Blocking; never call on the interface thread.
GitOutcome runGitSequence(const QString& root, const QString& gitPath = QString::fromLatin1(defaultGitPath));

} // namespace kestrion::ProjectMaterializer
