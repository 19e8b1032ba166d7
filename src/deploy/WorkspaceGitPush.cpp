#include "deploy/WorkspaceGitPush.h"

#include "deploy/DeployError.h"
#include "deploy/PanelApi.h"
#include "support/GitRunner.h"
#include "support/Logging.h"
#include "support/SitePath.h"
#include "support/TextDecoding.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <array>
#include <filesystem>
#include <system_error>

namespace kestrion::WorkspaceGitPush {

namespace fs = std::filesystem;

namespace {

const QString commitIdentityName = QStringLiteral("Kestrion IDE");
// A reserved domain, so the address can never reach a real mailbox.
const QString commitIdentityEmail = QStringLiteral("noreply@kestrion-ide.invalid");
const QString commitMessage = QStringLiteral("Deploy from Kestrion IDE extension");
const QString cloneDirectoryName = QStringLiteral("repo");

fs::path toPath(const QString& path) {
    return fs::path(QFile::encodeName(path).toStdString());
}

DeployError platformError(const fs::filesystem_error& error) {
    return DeployError::platform(QString::fromLocal8Bit(error.what()));
}

// Runs a file-system step, reporting its failure as the deploy's platform error.
template <typename Step>
auto fileSystemStep(Step&& step) {
    try {
        return step();
    } catch (const fs::filesystem_error& error) {
        throw platformError(error);
    }
}

bool isIgnoredSegment(const fs::path& name) {
    return PanelApi::ignorePathSegments.contains(QFile::decodeName(name.c_str()));
}

// The chat store is one folder at the top of the site; a folder of that name
// further down is page content. Any case: on a case-insensitive volume the
// store answers to every spelling.
bool isChatFolder(const fs::path& name) {
    return QFile::decodeName(name.c_str()).compare(SitePath::chatsFolderName, Qt::CaseInsensitive) == 0;
}

// The filtered walk. excluded is a directory below the source that must not be
// entered: the destination itself, when it lies inside the website directory.
class FilteredCopy {
public:
    FilteredCopy(std::optional<fs::path> excluded, Chats chats) : m_excluded(std::move(excluded)), m_chats(chats) {}

    void copyTree(const fs::path& source, const fs::path& destination) { copyDirectory(source, destination, true); }

private:
    void copyDirectory(const fs::path& source, const fs::path& destination, bool isSiteRoot) {
        fs::create_directories(destination);
        for (const fs::directory_entry& entry : fs::directory_iterator(source)) {
            const fs::path name = entry.path().filename();
            if (isIgnoredSegment(name) || (m_excluded && entry.path() == *m_excluded) ||
                (isSiteRoot && m_chats == Chats::leftOut && isChatFolder(name))) {
                continue;
            }
            copyEntry(entry, destination / name);
        }
    }

    void copyEntry(const fs::directory_entry& entry, const fs::path& destination) {
        std::error_code error;
        const fs::file_status linkStatus = entry.symlink_status(error);
        if (error || !fs::exists(linkStatus)) {
            return; // vanished since it was listed
        }
        if (fs::is_symlink(linkStatus)) {
            // A link is copied as a link: following it could pull files from
            // outside the website directory into the deploy.
            const fs::file_status target = fs::status(entry.path(), error);
            if (error || !fs::exists(target)) {
                return; // dangling (or looping) links point at nothing
            }
            fs::copy_symlink(entry.path(), destination);
        } else if (fs::is_directory(linkStatus)) {
            copyDirectory(entry.path(), destination, false);
        } else {
            fs::copy_file(entry.path(), destination, fs::copy_options::overwrite_existing);
        }
    }

    std::optional<fs::path> m_excluded;
    Chats m_chats;
};

// The destination as a path below the source root, spelt as the walk meets it,
// when (both resolved) it lies inside the source.
std::optional<fs::path> destinationInsideSource(const fs::path& source, const fs::path& destination) {
    const auto relative =
        SitePath::resolvedRelativeBelow(QFile::decodeName(source.c_str()), QFile::decodeName(destination.c_str()));
    if (!relative) {
        return std::nullopt;
    }
    return source / toPath(*relative);
}

class WorkingArea {
public:
    WorkingArea()
        : m_path(
              toPath(QDir(QDir::tempPath())
                         .filePath(workingAreaPrefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()))) {
        fileSystemStep([&] { fs::create_directories(m_path); });
    }
    ~WorkingArea() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    Q_DISABLE_COPY_MOVE(WorkingArea)

    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

QString fromPath(const fs::path& path) {
    return QFile::decodeName(path.c_str());
}

} // namespace

void runGitStep(const QString& git, const QString& workingDirectory, const QStringList& arguments) {
    // The clone's hooks and monitor setting come from whatever git template is
    // in effect, and the tree holds the website folder's files: the runner's
    // safety options make sure nothing runs.
    GitRunner::Environment environment;
    environment.noTerminalPrompt = true;
    const ProcessOutcome outcome = GitRunner::run(git, workingDirectory, arguments, environment);
    if (!outcome.started) {
        throw DeployError::platform(outcome.startError);
    }
    if (outcome.exitCode == 0) {
        return;
    }
    // Some steps fail on purpose (a clone of an empty remote, diff --quiet), so
    // this is no warning; only the step and code are logged, since the output
    // may quote the push address and whatever credentials it carries.
    qCInfo(lcDeploy) << "git" << (arguments.isEmpty() ? QString() : arguments.first()) << "exited with code"
                     << outcome.exitCode;
    QString text =
        (decodeUtf8OrEmpty(outcome.standardError) + QLatin1Char(' ') + decodeUtf8OrEmpty(outcome.standardOutput))
            .trimmed();
    if (text.isEmpty()) {
        text = QStringLiteral("exit %1").arg(outcome.exitCode);
    }
    throw DeployError::gitCommandFailed(text);
}

bool isEmptyRepoCloneError(const QString& first, const QString& second) {
    static const std::array<QString, 5> phrases{
        QStringLiteral("remote branch"), QStringLiteral("couldn't find remote ref"),
        QStringLiteral("remote ref does not exist"), QStringLiteral("repository is empty"),
        QStringLiteral("cloned an empty repository")};
    const QString text = (first + QLatin1Char(' ') + second).toLower();
    for (const QString& phrase : phrases) {
        if (text.contains(phrase)) {
            return true;
        }
    }
    return false;
}

void copyWorkspaceTreeFiltered(const QString& sourceRoot, const QString& destinationRoot, Chats chats) {
    const fs::path source = toPath(sourceRoot);
    const fs::path destination = toPath(destinationRoot);
    fileSystemStep([&] {
        std::error_code error;
        const fs::file_status status = fs::status(source, error);
        if (error || !fs::exists(status)) {
            return; // nothing there: nothing to copy
        }
        if (!fs::is_directory(status)) {
            fs::copy_file(source, destination, fs::copy_options::overwrite_existing);
            return;
        }
        FilteredCopy(destinationInsideSource(source, destination), chats).copyTree(source, destination);
    });
}

void clearRepoWorktreeExceptGit(const QString& cloneDirectory) {
    fileSystemStep([&] {
        std::vector<fs::path> doomed;
        for (const fs::directory_entry& entry : fs::directory_iterator(toPath(cloneDirectory))) {
            if (entry.path().filename() != ".git") {
                doomed.push_back(entry.path());
            }
        }
        for (const fs::path& path : doomed) {
            fs::remove_all(path);
        }
    });
}

bool isGitWorktreeEffectivelyEmpty(const QString& cloneDirectory) {
    std::error_code error;
    fs::directory_iterator entries(toPath(cloneDirectory), error);
    if (error) {
        return true;
    }
    for (; entries != fs::directory_iterator(); entries.increment(error)) {
        if (entries->path().filename() != ".git") {
            return false;
        }
    }
    return true;
}

void gitPushWorkspaceToRemote(const QString& git, const QString& projectRoot, const QString& pushURL,
                              const QString& branch, Chats chats) {
    // The remote and branch come from the panel, an outside server, and are
    // passed to git as plain arguments: one starting with "-" would be read as
    // an option (for example "--upload-pack=<command>", which runs a program).
    for (const QString& argument : {pushURL, branch}) {
        if (argument.startsWith(QLatin1Char('-'))) {
            throw DeployError::gitCommandFailed(
                QCoreApplication::translate("kestrion::WorkspaceGitPush",
                                            "Refusing \u201c%1\u201d from the panel: it would be read as a git option.")
                    .arg(argument));
        }
    }
    const WorkingArea area;
    const QString areaPath = fromPath(area.path());
    const QString clone = fromPath(area.path() / cloneDirectoryName.toStdString());

    try {
        runGitStep(git, areaPath,
                   {QStringLiteral("clone"), QStringLiteral("--depth"), QStringLiteral("1"), QStringLiteral("--branch"),
                    branch, pushURL, cloneDirectoryName});
    } catch (const DeployError& error) {
        if (error.kind() != DeployError::Kind::gitCommandFailed ||
            !isEmptyRepoCloneError(error.message(), error.message())) {
            throw;
        }
        // The remote has no such branch yet: start a repository that will create it.
        std::error_code ignored;
        fs::remove_all(toPath(clone), ignored);
        fileSystemStep([&] { fs::create_directories(toPath(clone)); });
        runGitStep(git, clone, {QStringLiteral("init")});
        runGitStep(git, clone, {QStringLiteral("branch"), QStringLiteral("-M"), branch});
        runGitStep(git, clone, {QStringLiteral("remote"), QStringLiteral("add"), QStringLiteral("origin"), pushURL});
    }

    clearRepoWorktreeExceptGit(clone);
    copyWorkspaceTreeFiltered(projectRoot, clone, chats);
    if (isGitWorktreeEffectivelyEmpty(clone)) {
        throw DeployError::gitCommandFailed(QCoreApplication::translate(
            "kestrion::WorkspaceGitPush", "No files to deploy after excluding node_modules and .git."));
    }

    runGitStep(git, clone, {QStringLiteral("config"), QStringLiteral("user.email"), commitIdentityEmail});
    runGitStep(git, clone, {QStringLiteral("config"), QStringLiteral("user.name"), commitIdentityName});
    runGitStep(git, clone, {QStringLiteral("add"), QStringLiteral("-A")});
    QStringList commit{QStringLiteral("commit"), QStringLiteral("-m"), commitMessage};
    try {
        runGitStep(git, clone, {QStringLiteral("diff"), QStringLiteral("--cached"), QStringLiteral("--quiet")});
        commit.insert(1, QStringLiteral("--allow-empty")); // nothing staged
    } catch (const DeployError&) {
        // exit 1 means staged changes; other failures surface at commit
    }
    runGitStep(git, clone, commit);
    runGitStep(git, clone, {QStringLiteral("push"), QStringLiteral("-u"), QStringLiteral("origin"), branch});
}

} // namespace kestrion::WorkspaceGitPush
