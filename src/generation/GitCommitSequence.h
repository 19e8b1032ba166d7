#pragma once

#include <QString>
#include <QStringList>

namespace kestrion::ProjectMaterializer {

// What one git command (or the whole commit sequence) left behind.
struct GitOutcome {
    QString standardOutput;
    QString standardError;
    int code = 0;
};

// The executable the commit sequence uses; it is never looked up on PATH.
inline constexpr auto defaultGitPath = "/usr/bin/git";

// The constant identity every assistant commit carries. Given per command with
// -c so neither the repository's nor the user's git configuration changes.
inline constexpr auto commitAuthorName = "Kestrion Website";
inline constexpr auto commitAuthorEmail = "no-reply@kestrion-website.invalid";
inline constexpr auto commitMessage = "Apply assistant-generated files";

// Runs one git command in cwd and waits for it. Both streams are drained while
// it runs; a stream that is not valid UTF-8 comes back empty. A git that cannot
// be started yields code -1 with the start error as standard error. Blocking;
// never call on the interface thread.
GitOutcome runGit(const QString& gitPath, const QString& cwd, const QStringList& arguments);

// Commits everything in the website directory as one assistant turn: init on
// branch main when there is no .git yet, add -A, commit with the fixed identity.
// A commit that finds nothing to commit counts as success. Stops at the first
// failing step and returns its outcome. Blocking; never call on the interface thread.
GitOutcome runGitSequence(const QString& root, const QString& gitPath = QString::fromLatin1(defaultGitPath));

} // namespace kestrion::ProjectMaterializer
