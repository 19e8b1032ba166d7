#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Pushes a filtered copy of the website directory to the panel's git remote
// through a throw-away shallow clone in the temporary folder. The website
// directory itself is only read. Every operation blocks on git: call them from
// a worker thread. Failures throw DeployError.
namespace kestrion::WorkspaceGitPush {

// Runs one git command of the push through GitRunner with GIT_TERMINAL_PROMPT=0,
// so it never waits for a password. A non-zero exit throws gitCommandFailed with
// standard error, a blank and standard output trimmed ("exit N" when both are
// empty); a git that cannot start throws a platform error.
void runGitStep(const QString& git, const QString& workingDirectory, const QStringList& arguments);

// Whether a clone failure means the remote simply has nothing to clone yet.
bool isEmptyRepoCloneError(const QString& first, const QString& second);

// Whether a deploy takes the site's chat folder (".kestrion-chats" at the top
// of the website directory, in any case) along with the site.
enum class Chats { published, leftOut };

// Copies sourceRoot into destinationRoot, skipping every node_modules and .git
// path component, and the chat folder when chats is leftOut. Hidden entries are
// copied; symbolic links are copied as links (never followed), and dangling
// ones are skipped. A destination inside the source is never copied into
// itself. File-system failures throw platform errors.
void copyWorkspaceTreeFiltered(const QString& sourceRoot, const QString& destinationRoot,
                               Chats chats = Chats::published);

// Removes every top-level entry of the clone except ".git".
void clearRepoWorktreeExceptGit(const QString& cloneDirectory);

// True when the clone holds nothing but ".git" (or cannot be listed).
bool isGitWorktreeEffectivelyEmpty(const QString& cloneDirectory);

// The name of the temporary working area prefix; the area is removed after
// every push, successful or not.
inline const QString workingAreaPrefix = QStringLiteral("kestrion-ide-git-");

// Clones branch of pushURL (or starts a fresh repository when the remote has
// no such branch yet), replaces its tree with the filtered website directory,
// commits (an empty commit when nothing changed) and pushes.
void gitPushWorkspaceToRemote(const QString& git, const QString& projectRoot, const QString& pushURL,
                              const QString& branch, Chats chats = Chats::published);

} // namespace kestrion::WorkspaceGitPush
