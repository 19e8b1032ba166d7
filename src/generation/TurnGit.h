#pragma once

#include "generation/GitCommitSequence.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// What a turn's commit changed in the website folder, and taking it back. Only the site's own files
// count: the app's ".kestrion-chats" folder, which every turn's commit also holds, is never shown,
// restored or dropped. Every git command goes through the commit sequence's runner (hooks, file
// system monitor and signing off); a repository that must not be used is refused. Blocking: run
// on a worker thread.
namespace kestrion::TurnGit {

// The commit HEAD names, or nothing (no repository, no commit yet, or one that must not be used).
std::optional<QString> headCommit(const QString& root,
                                  const QString& gitPath = QString::fromLatin1(ProjectMaterializer::defaultGitPath));

// Whether the text can name a commit: 40 or 64 lower-case hexadecimal digits.
bool isCommitId(const QString& text);

// One file a commit changed.
struct FileChange {
    QString path;
    // 'A' added, 'M' modified, 'D' deleted.
    QChar status;
    // The unified diff of the file (git's "Binary files … differ" for binary content).
    QString patch;
    // A picture (by its name): its bytes before and after (empty where it did not exist).
    bool image = false;
    QByteArray before;
    QByteArray after;
};

struct Changes {
    // Why nothing can be shown (no repository, the commit is gone, git failed).
    std::optional<QString> error;
    QList<FileChange> files;
};

// The site files a commit changed, against its parent (or nothing, for the first commit).
Changes changesOf(const QString& root, const QString& commit,
                  const QString& gitPath = QString::fromLatin1(ProjectMaterializer::defaultGitPath));

inline const QString commitGoneMessage = QStringLiteral("The commit of that turn is no longer in the repository.");
inline const QString noRepositoryMessage = QStringLiteral("The website folder has no git repository.");

struct RevertOutcome {
    enum class Status { Done, NeedsConfirmation, Failed };
    Status status = Status::Failed;
    // Done: the new commit.
    QString commit;
    // The site files the reverted commit changed (Done: the files now taken back).
    QStringList paths;
    // NeedsConfirmation: those of them edited since the last commit (by the editor or by hand).
    QStringList changedPaths;
    // Failed: why nothing changed.
    QString reason;
};

// What a revert does with files of the turn that were edited since it: stop and name them, or
// replace the edits.
enum class EditedFiles { Keep, Replace };

// Makes a new commit on top of HEAD that takes back what the commit did to the site's files and
// writes those files in the folder; history is never rewritten. When some of those files have
// uncommitted edits, nothing happens unless editedFiles says to replace them. When later
// commits changed the same lines, nothing changes at all and the reason comes back.
RevertOutcome revert(const QString& root, const QString& commit, const QString& message, EditedFiles editedFiles,
                     const QString& gitPath = QString::fromLatin1(ProjectMaterializer::defaultGitPath));

} // namespace kestrion::TurnGit
