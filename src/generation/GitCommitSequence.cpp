#include "generation/GitCommitSequence.h"

#include "support/GitRunner.h"
#include "support/Logging.h"
#include "support/TextDecoding.h"

#include <QCoreApplication>
#include <QFile>
#include <sys/stat.h>

namespace kestrion::ProjectMaterializer {

namespace {

QString notAFolderMessage() {
    return QCoreApplication::translate(
        "kestrion::GitCommitSequence",
        "The website folder's .git is not a folder (it is a file or a link); no commit was made.");
}
QString commonDirMessage() {
    return QCoreApplication::translate(
        "kestrion::GitCommitSequence",
        "The website folder's .git borrows another repository (it holds a commondir file); no commit was made.");
}
QString filterNameMessage() {
    return QCoreApplication::translate("kestrion::GitCommitSequence",
                                       "The website folder's git configuration names a filter that is not "
                                       "valid UTF-8, so it cannot be switched off; no commit was made.");
}

// The scopes git reports for configuration the user wrote or gave: every other
// scope (local, worktree) is the repository's own and came with the folder.
const QByteArrayList trustedScopes = {"system", "global", "command"};

const QByteArray filterPrefix = "filter.";

// The options the commit sequence adds before every command's own arguments;
// GitRunner puts the safety options in front of them.
QStringList commandLine(const QStringList& arguments) {
    // The repository's commit.gpgSign and gpg.program would start any program.
    QStringList line{QStringLiteral("-c"), QStringLiteral("commit.gpgSign=false")};
    // Without an explicit work tree git takes core.worktree from the repository
    // and would add another folder's files. Only the work tree: an explicit
    // --git-dir would also skip git's check of the repository's owner. init
    // makes the repository and takes no work tree.
    if (arguments.value(0) != QLatin1String("init")) {
        line.append(QStringLiteral("--work-tree=."));
    }
    return line + arguments;
}

} // namespace

ProcessOutcome runSequenceStepRaw(const QString& gitPath, const QString& cwd, const QStringList& arguments,
                                  const GitRunner::Environment& environment, const QByteArray& input) {
    return GitRunner::run(gitPath, cwd, commandLine(arguments), environment, input);
}

namespace {

ProcessOutcome runRawGit(const QString& gitPath, const QString& cwd, const QStringList& arguments,
                         const QList<GitSetting>& settings = {}) {
    GitRunner::Environment environment;
    environment.settings = settings;
    return runSequenceStepRaw(gitPath, cwd, arguments, environment);
}

GitOutcome toGitOutcome(const ProcessOutcome& process) {
    if (!process.started) {
        return {QString(), process.startError, -1};
    }
    return {decodeUtf8OrEmpty(process.standardOutput), decodeUtf8OrEmpty(process.standardError), process.exitCode};
}

GitOutcome refusal(const QString& reason) {
    return {QString(), reason, -1};
}

// The step and its exit code are enough to act on; the output may quote file
// names from the site and is handed to the caller anyway.
void logGitFailure(const char* step, const GitOutcome& outcome) {
    qCWarning(lcGeneration) << "git" << step << "failed with exit code" << outcome.code;
}

// Whether path names something, without following a link at its end.
bool entryExists(const QString& path, struct stat* status = nullptr) {
    struct stat ignored {};
    return ::lstat(QFile::encodeName(path).constData(), status ? status : &ignored) == 0;
}

// The settings that switch off every filter the repository's own configuration
// defines or redefines, or the outcome that stops the sequence. Filters run a
// program on add, and on commit when it re-reads a file; .gitattributes, which
// comes with the folder as well, picks the files they see.
} // namespace

FilterSettings repositoryFilterSettings(const QString& gitPath, const QString& root) {
    // Read as raw bytes: a name that is not UTF-8 must still be seen.
    const ProcessOutcome listing =
        runRawGit(gitPath, root,
                  {QStringLiteral("config"), QStringLiteral("-z"), QStringLiteral("--show-scope"),
                   QStringLiteral("--get-regexp"), QStringLiteral("^filter\\.")});
    if (listing.started && listing.exitCode == 1) {
        return {}; // no filter settings at all
    }
    if (!listing.started || listing.exitCode != 0) {
        return {{}, toGitOutcome(listing)};
    }
    // Entries alternate: the scope, then the key with its value after a line break.
    const QByteArrayList fields = listing.standardOutput.split('\0');
    QByteArrayList names;
    for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
        if (trustedScopes.contains(fields[i])) {
            continue;
        }
        const QByteArray& entry = fields[i + 1];
        const qsizetype lineBreak = entry.indexOf('\n');
        const QByteArray key = lineBreak < 0 ? entry : entry.first(lineBreak);
        const qsizetype lastDot = key.lastIndexOf('.');
        if (!key.startsWith(filterPrefix) || lastDot < filterPrefix.size()) {
            continue; // no driver name, so no driver
        }
        const QByteArray name = key.mid(filterPrefix.size(), lastDot - filterPrefix.size());
        if (!names.contains(name)) {
            names.append(name);
        }
    }
    FilterSettings result;
    for (const QByteArray& rawName : names) {
        const std::optional<QString> name = decodeUtf8Strict(rawName);
        if (!name) {
            // A process's environment is handed over as text: these bytes could
            // not reach git intact.
            return {{}, refusal(filterNameMessage())};
        }
        const QString driver = QStringLiteral("filter.") + *name;
        // An empty command is no command; not required, so add keeps the file as it is.
        result.settings += {{driver + QStringLiteral(".clean"), QString()},
                            {driver + QStringLiteral(".process"), QString()},
                            {driver + QStringLiteral(".required"), QStringLiteral("false")}};
    }
    return result;
}

GitOutcome runSequenceStep(const QString& gitPath, const QString& cwd, const QStringList& arguments,
                           const QList<GitSetting>& settings) {
    return toGitOutcome(runRawGit(gitPath, cwd, arguments, settings));
}

std::optional<QString> repositoryRefusal(const QString& root) {
    const QString dotGit = root + QStringLiteral("/.git");
    struct stat status {};
    if (!entryExists(dotGit, &status)) {
        return std::nullopt;
    }
    if (!S_ISDIR(status.st_mode)) {
        qCWarning(lcGeneration) << "No commit: the repository entry .git is not a folder";
        return notAFolderMessage();
    }
    if (entryExists(dotGit + QStringLiteral("/commondir"))) {
        qCWarning(lcGeneration) << "No commit: .git holds a commondir file";
        return commonDirMessage();
    }
    return std::nullopt;
}

GitOutcome runGitSequence(const QString& root, const QString& gitPath) {
    if (const std::optional<QString> refused = repositoryRefusal(root)) {
        return refusal(*refused);
    }
    if (!entryExists(root + QStringLiteral("/.git"))) {
        GitOutcome init =
            runSequenceStep(gitPath, root, {QStringLiteral("init"), QStringLiteral("-b"), QStringLiteral("main")});
        if (init.code != 0) {
            logGitFailure("init", init);
            return init;
        }
    }

    FilterSettings filters = repositoryFilterSettings(gitPath, root);
    if (filters.stop) {
        logGitFailure("config", *filters.stop);
        return *filters.stop;
    }

    GitOutcome add = runSequenceStep(gitPath, root, {QStringLiteral("add"), QStringLiteral("-A")}, filters.settings);
    if (add.code != 0) {
        logGitFailure("add", add);
        return add;
    }

    GitOutcome commit =
        runSequenceStep(gitPath, root,
                        {QStringLiteral("-c"), QStringLiteral("user.name=") + QLatin1String(commitAuthorName),
                         QStringLiteral("-c"), QStringLiteral("user.email=") + QLatin1String(commitAuthorEmail),
                         QStringLiteral("commit"), QStringLiteral("-m"), QLatin1String(commitMessage)},
                        filters.settings);
    commit.committed = commit.code == 0;
    if (commit.code != 0) {
        const QString combined = (commit.standardOutput + commit.standardError).toLower();
        if (combined.contains(QLatin1String("nothing to commit"))) {
            commit.code = 0;
        } else {
            logGitFailure("commit", commit);
        }
    }
    return commit;
}

} // namespace kestrion::ProjectMaterializer
