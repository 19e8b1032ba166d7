#include "generation/TurnGit.h"

#include "support/Logging.h"
#include "support/SitePath.h"
#include "support/TextDecoding.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace kestrion::TurnGit {

namespace {

// Everything in the folder except the app's own folder, in any letter case.
const QStringList sitePathspec = {QStringLiteral("--"), QStringLiteral("."),
                                  QStringLiteral(":(exclude,icase)") + SitePath::chatsFolderName};

// Options that keep git from starting a program the repository names while it diffs.
const QStringList noDiffPrograms = {QStringLiteral("--no-ext-diff"), QStringLiteral("--no-textconv")};

// The largest picture shown before and after.
constexpr qint64 maxImageBytes = qint64(64) << 20;

struct Git {
    QString path;
    QString root;
    GitRunner::Environment environment = {};

    ProcessOutcome run(const QStringList& arguments, const QByteArray& input = {}) const {
        return ProjectMaterializer::runSequenceStepRaw(path, root, arguments, environment, input);
    }
    // The first line of standard output when the command succeeded.
    std::optional<QString> line(const QStringList& arguments) const {
        const ProcessOutcome outcome = run(arguments);
        if (!outcome.started || outcome.exitCode != 0) {
            return std::nullopt;
        }
        return decodeUtf8OrEmpty(outcome.standardOutput).section(QLatin1Char('\n'), 0, 0).trimmed();
    }
};

QStringList literal(const QStringList& paths) {
    QStringList specs{QStringLiteral("--")};
    for (const QString& path : paths) {
        specs << QStringLiteral(":(literal)") + path;
    }
    return specs;
}

bool namesImage(const QString& path) {
    static const QRegularExpression image(QStringLiteral("\\.(png|jpe?g|gif|webp)$"),
                                          QRegularExpression::CaseInsensitiveOption);
    return image.match(path).hasMatch();
}

QString gitFailure(const ProcessOutcome& outcome) {
    const QString text = outcome.started ? decodeUtf8OrEmpty(outcome.standardError).trimmed() : outcome.startError;
    return text.section(QLatin1Char('\n'), 0, 0);
}

// The repository, the commit, its parent (the empty tree for a first commit) and HEAD (empty when
// there is none), or why not.
struct Resolved {
    std::optional<QString> error;
    QString commit;
    QString parent;
    QString head;
};

// What each name stands for, asked in one git call: its object id, or nothing where it names none.
std::optional<QList<std::optional<QString>>> objectIds(const Git& git, const QStringList& names) {
    const ProcessOutcome checked = git.run({QStringLiteral("cat-file"), QStringLiteral("--batch-check=%(objectname)")},
                                           names.join(QLatin1Char('\n')).toUtf8() + '\n');
    if (!checked.started || checked.exitCode != 0) {
        return std::nullopt;
    }
    const QStringList lines = decodeUtf8OrEmpty(checked.standardOutput).split(QLatin1Char('\n'));
    QList<std::optional<QString>> ids;
    for (qsizetype i = 0; i < names.size(); ++i) {
        // "<name> missing" (or "ambiguous") where nothing is found.
        const QString line = lines.value(i);
        ids.append(isCommitId(line) ? std::optional<QString>(line) : std::nullopt);
    }
    return ids;
}

Resolved resolve(const Git& git, const QString& commit) {
    if (const std::optional<QString> refused = ProjectMaterializer::repositoryRefusal(git.root)) {
        return {*refused, {}, {}, {}};
    }
    if (!QFileInfo(git.root + QStringLiteral("/.git")).isDir()) {
        return {noRepositoryMessage, {}, {}, {}};
    }
    if (!isCommitId(commit)) {
        return {commitGoneMessage, {}, {}, {}};
    }
    const auto ids = objectIds(
        git, {commit + QStringLiteral("^{commit}"), commit + QStringLiteral("^1"), QStringLiteral("HEAD^{commit}")});
    if (!ids) {
        return {QCoreApplication::translate("kestrion::TurnGit", "The repository could not be read."), {}, {}, {}};
    }
    if (!ids->at(0)) {
        return {commitGoneMessage, {}, {}, {}};
    }
    std::optional<QString> parent = ids->at(1);
    if (!parent) {
        // The first commit: compared with the empty tree.
        parent = git.line({QStringLiteral("mktree")});
    }
    if (!parent || parent->isEmpty()) {
        return {QCoreApplication::translate("kestrion::TurnGit", "The repository could not be read."), {}, {}, {}};
    }
    return {std::nullopt, commit, *parent, ids->at(2).value_or(QString())};
}

// The site files changed from one tree to another, with their status letters.
std::optional<QList<std::pair<QChar, QString>>> changedFiles(const Git& git, const QString& from, const QString& to) {
    const ProcessOutcome listed =
        git.run(QStringList{QStringLiteral("diff-tree"), QStringLiteral("-r"), QStringLiteral("-z"),
                            QStringLiteral("--no-renames"), QStringLiteral("--name-status"), from, to} +
                sitePathspec);
    if (!listed.started || listed.exitCode != 0) {
        return std::nullopt;
    }
    QList<std::pair<QChar, QString>> files;
    const QByteArrayList fields = listed.standardOutput.split('\0');
    for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
        const std::optional<QString> path = decodeUtf8Strict(fields[i + 1]);
        if (fields[i].isEmpty() || !path) {
            continue; // a name that cannot be handed back to git intact
        }
        files.append({QLatin1Char(fields[i].at(0)), *path});
    }
    return files;
}

std::optional<QByteArray> blob(const Git& git, const QString& commit, const QString& path) {
    const ProcessOutcome shown =
        git.run({QStringLiteral("cat-file"), QStringLiteral("blob"), commit + QLatin1Char(':') + path});
    if (!shown.started || shown.exitCode != 0 || shown.standardOutput.size() > maxImageBytes) {
        return std::nullopt;
    }
    return shown.standardOutput;
}

// The contents of "commit:path" for each path, read in one git call (nothing where the commit has
// no such file), or nothing when git failed. Names hold no line break: the path module refuses
// those before anything is written.
std::optional<QList<std::optional<QByteArray>>> blobs(const Git& git, const QString& commit, const QStringList& paths) {
    QByteArray input;
    for (const QString& path : paths) {
        input += (commit + QLatin1Char(':') + path).toUtf8() + '\n';
    }
    const ProcessOutcome batch = git.run({QStringLiteral("cat-file"), QStringLiteral("--batch")}, input);
    if (!batch.started || batch.exitCode != 0) {
        return std::nullopt;
    }
    const QByteArray& out = batch.standardOutput;
    qsizetype position = 0;
    QList<std::optional<QByteArray>> contents;
    for (qsizetype left = paths.size(); left > 0; --left) {
        // "<id> <type> <size>", the content and a line break; or "<name> missing".
        const qsizetype lineEnd = out.indexOf('\n', position);
        if (lineEnd < 0) {
            return std::nullopt;
        }
        const QList<QByteArray> header = out.sliced(position, lineEnd - position).split(' ');
        position = lineEnd + 1;
        bool sized = false;
        const qsizetype size = header.size() == 3 ? header[2].toLongLong(&sized) : 0;
        if (!sized) {
            contents.append(std::nullopt);
            continue;
        }
        if (size < 0 || size > out.size() - position) {
            return std::nullopt;
        }
        contents.append(header[1] == "blob" ? std::optional(out.sliced(position, size)) : std::nullopt);
        position += size + 1;
    }
    return contents;
}

} // namespace

bool isCommitId(const QString& text) {
    static const QRegularExpression id(QStringLiteral("^(?:[0-9a-f]{40}|[0-9a-f]{64})$"));
    return id.match(text).hasMatch();
}

std::optional<QString> headCommit(const QString& root, const QString& gitPath) {
    if (ProjectMaterializer::repositoryRefusal(root) || !QFileInfo(root + QStringLiteral("/.git")).isDir()) {
        return std::nullopt;
    }
    const Git git{gitPath, root};
    std::optional<QString> head = git.line({QStringLiteral("rev-parse"), QStringLiteral("-q"),
                                            QStringLiteral("--verify"), QStringLiteral("HEAD^{commit}")});
    return head && isCommitId(*head) ? head : std::nullopt;
}

Changes changesOf(const QString& root, const QString& commit, const QString& gitPath) {
    const Git git{gitPath, root};
    const Resolved resolved = resolve(git, commit);
    if (resolved.error) {
        return {resolved.error, {}};
    }
    const auto files = changedFiles(git, resolved.parent, resolved.commit);
    if (!files) {
        return {QCoreApplication::translate("kestrion::TurnGit", "The repository could not be read."), {}};
    }
    Changes changes;
    for (const auto& [status, path] : *files) {
        FileChange change{path, status, {}, namesImage(path), {}, {}};
        const ProcessOutcome patch =
            git.run(QStringList{QStringLiteral("diff-tree"), QStringLiteral("-p"), QStringLiteral("--no-renames")} +
                    noDiffPrograms + QStringList{resolved.parent, resolved.commit} + literal({path}));
        change.patch = decodeUtf8Lossy(patch.standardOutput);
        if (change.image) {
            if (status != QLatin1Char('A')) {
                change.before = blob(git, resolved.parent, path).value_or(QByteArray());
            }
            if (status != QLatin1Char('D')) {
                change.after = blob(git, resolved.commit, path).value_or(QByteArray());
            }
        }
        changes.files.append(std::move(change));
    }
    return changes;
}

RevertOutcome revert(const QString& root, const QString& commit, const QString& message, EditedFiles editedFiles,
                     const QString& gitPath) {
    const auto failed = [](const QString& reason) {
        qCWarning(lcGeneration) << "A turn could not be taken back";
        return RevertOutcome{RevertOutcome::Status::Failed, {}, {}, {}, reason};
    };
    // Each git command costs a process start, which dominates the time taken: every step below
    // asks git once for all the files.
    const Git git{gitPath, root};
    const Resolved resolved = resolve(git, commit);
    if (resolved.error) {
        return failed(*resolved.error);
    }
    const QString& head = resolved.head;
    if (head.isEmpty()) {
        return failed(QCoreApplication::translate("kestrion::TurnGit", "The repository has no current commit."));
    }
    const auto files = changedFiles(git, resolved.parent, resolved.commit);
    if (!files) {
        return failed(QCoreApplication::translate("kestrion::TurnGit", "The repository could not be read."));
    }
    RevertOutcome outcome;
    for (const auto& change : *files) {
        outcome.paths << change.second;
    }
    if (outcome.paths.isEmpty()) {
        return failed(QCoreApplication::translate("kestrion::TurnGit", "That turn changed no files of the site."));
    }

    // Edits not committed yet (the Source tab, another program), staged or not, and files git does
    // not track (ignored ones too): comparing the working tree runs the clean filters, so the
    // repository's own are switched off first.
    const ProjectMaterializer::FilterSettings filters = ProjectMaterializer::repositoryFilterSettings(gitPath, root);
    if (filters.stop) {
        return failed(filters.stop->standardError.trimmed());
    }
    Git worktree = git;
    worktree.environment.settings = filters.settings;
    const ProcessOutcome status =
        worktree.run(QStringList{QStringLiteral("status"), QStringLiteral("--porcelain"), QStringLiteral("-z"),
                                 QStringLiteral("--untracked-files=all"), QStringLiteral("--ignored=matching"),
                                 QStringLiteral("--no-renames")} +
                     literal(outcome.paths));
    if (!status.started || status.exitCode != 0) {
        return failed(QCoreApplication::translate("kestrion::TurnGit",
                                                  "The website folder could not be compared with the repository: %1")
                          .arg(gitFailure(status)));
    }
    for (const QByteArray& entry : status.standardOutput.split('\0')) {
        // "XY path": two status letters and a space.
        if (const std::optional<QString> path = decodeUtf8Strict(entry.mid(3)); path && !path->isEmpty()) {
            outcome.changedPaths << *path;
        }
    }
    if (!outcome.changedPaths.isEmpty() && editedFiles == EditedFiles::Keep) {
        outcome.status = RevertOutcome::Status::NeedsConfirmation;
        return outcome;
    }

    // The reverse of the commit, applied to HEAD in an index of its own: neither the folder nor the
    // repository's index changes until it is known to apply.
    const ProcessOutcome reverse =
        git.run(QStringList{QStringLiteral("diff-tree"), QStringLiteral("-p"), QStringLiteral("--binary"),
                            QStringLiteral("--full-index"), QStringLiteral("--no-renames")} +
                noDiffPrograms + QStringList{resolved.commit, resolved.parent} + literal(outcome.paths));
    QTemporaryDir scratch;
    if (!reverse.started || reverse.exitCode != 0 || !scratch.isValid()) {
        return failed(QCoreApplication::translate("kestrion::TurnGit", "The changes of that turn could not be read."));
    }
    Git scratchIndex = git;
    scratchIndex.environment.indexFile = scratch.filePath(QStringLiteral("index"));
    if (!scratchIndex.line({QStringLiteral("read-tree"), head})) {
        return failed(QCoreApplication::translate("kestrion::TurnGit", "The repository could not be read."));
    }
    const ProcessOutcome applied = scratchIndex.run(
        {QStringLiteral("apply"), QStringLiteral("--cached"), QStringLiteral("--binary"), QStringLiteral("-")},
        reverse.standardOutput);
    if (!applied.started || applied.exitCode != 0) {
        return failed(
            QCoreApplication::translate("kestrion::TurnGit",
                                        "Later changes touch the same files, so that turn cannot be taken back: %1")
                .arg(gitFailure(applied)));
    }
    const std::optional<QString> tree = scratchIndex.line({QStringLiteral("write-tree")});
    const std::optional<QString> made =
        tree ? git.line({QStringLiteral("-c"),
                         QStringLiteral("user.name=") + QLatin1String(ProjectMaterializer::commitAuthorName),
                         QStringLiteral("-c"),
                         QStringLiteral("user.email=") + QLatin1String(ProjectMaterializer::commitAuthorEmail),
                         QStringLiteral("commit-tree"), *tree, QStringLiteral("-p"), head, QStringLiteral("-m"),
                         message})
             : std::nullopt;
    if (!made || !isCommitId(*made)) {
        return failed(QCoreApplication::translate("kestrion::TurnGit", "The commit could not be made."));
    }

    // The files as the new commit has them, written through the path module like any turn's.
    const auto contents = blobs(git, *made, outcome.paths);
    if (!contents) {
        return failed(QCoreApplication::translate("kestrion::TurnGit", "The repository could not be read."));
    }
    const SitePath::Site site(root);
    for (qsizetype i = 0; i < outcome.paths.size(); ++i) {
        const QString& path = outcome.paths[i];
        const SitePath::Resolution target = site.resolve(path);
        if (!target.ok()) {
            return failed(QCoreApplication::translate("kestrion::TurnGit", "Refused path %1: %2")
                              .arg(SitePath::escapedForDisplay(path), SitePath::refusalDescription(target.refusal)));
        }
        if (const std::optional<QByteArray>& content = contents->at(i)) {
            if (const WriteResult written = site.write(target, *content); !written.ok()) {
                return failed(QCoreApplication::translate("kestrion::TurnGit", "Write failed for %1: %2")
                                  .arg(path, written.error));
            }
        } else if (target.exists && !QFile::remove(target.absolutePath())) {
            return failed(QCoreApplication::translate("kestrion::TurnGit", "Could not remove %1").arg(path));
        }
    }
    // The old value makes the move fail when the branch moved meanwhile.
    if (!git.line({QStringLiteral("update-ref"), QStringLiteral("-m"), message, QStringLiteral("HEAD"), *made, head})) {
        return failed(
            QCoreApplication::translate("kestrion::TurnGit", "The branch moved meanwhile; nothing was committed."));
    }
    git.run(QStringList{QStringLiteral("reset"), QStringLiteral("-q"), *made} + literal(outcome.paths));
    outcome.status = RevertOutcome::Status::Done;
    outcome.commit = *made;
    return outcome;
}

} // namespace kestrion::TurnGit
