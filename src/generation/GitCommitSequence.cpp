#include "generation/GitCommitSequence.h"

#include "support/ProcessRunner.h"
#include "support/TextDecoding.h"

#include <QFileInfo>

namespace kestrion::ProjectMaterializer {

GitOutcome runGit(const QString& gitPath, const QString& cwd, const QStringList& arguments) {
    // No environment given: the child inherits ours unchanged.
    const ProcessOutcome process = runProcess(gitPath, arguments, cwd);
    if (!process.started) {
        return {QString(), process.startError, -1};
    }
    return {decodeUtf8OrEmpty(process.standardOutput), decodeUtf8OrEmpty(process.standardError), process.exitCode};
}

GitOutcome runGitSequence(const QString& root, const QString& gitPath) {
    const QFileInfo dotGit(root + QStringLiteral("/.git"));
    // A dangling link or a gitdir file named .git still marks an existing repository.
    if (!dotGit.exists() && !dotGit.isSymLink()) {
        GitOutcome init = runGit(gitPath, root, {QStringLiteral("init"), QStringLiteral("-b"), QStringLiteral("main")});
        if (init.code != 0) {
            return init;
        }
    }

    GitOutcome add = runGit(gitPath, root, {QStringLiteral("add"), QStringLiteral("-A")});
    if (add.code != 0) {
        return add;
    }

    GitOutcome commit = runGit(gitPath, root,
                               {QStringLiteral("-c"), QStringLiteral("user.name=") + QLatin1String(commitAuthorName),
                                QStringLiteral("-c"), QStringLiteral("user.email=") + QLatin1String(commitAuthorEmail),
                                QStringLiteral("commit"), QStringLiteral("-m"), QLatin1String(commitMessage)});
    if (commit.code != 0) {
        const QString combined = (commit.standardOutput + commit.standardError).toLower();
        if (combined.contains(QLatin1String("nothing to commit"))) {
            commit.code = 0;
        }
    }
    return commit;
}

} // namespace kestrion::ProjectMaterializer
