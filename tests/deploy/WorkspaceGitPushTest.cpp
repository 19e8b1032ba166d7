#include "deploy/WorkspaceGitPush.h"

#include "GitRemoteFixture.h"
#include "deploy/DeployError.h"
#include "support/ProcessRunner.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <filesystem>
#include <gmock/gmock.h>
#include <unistd.h>

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kestrion {
namespace {

namespace Push = WorkspaceGitPush;
using Kind = DeployError::Kind;
using ::testing::HasSubstr;
using ::testing::UnorderedElementsAreArray;

const QString git = QStringLiteral("/usr/bin/git");

using test::gitOutput;
using test::readFile;
using test::writeFile;

// Every path below root (files and links, "/"-separated), found without following links.
QStringList listTree(const QString& root) {
    QStringList paths;
    namespace fs = std::filesystem;
    const fs::path base(root.toStdString());
    for (auto it = fs::recursive_directory_iterator(base); it != fs::recursive_directory_iterator(); ++it) {
        if (!it->is_directory() || it->is_symlink()) {
            paths.append(QString::fromStdString(it->path().lexically_relative(base).generic_string()));
        }
    }
    return paths;
}

using test::workingAreasLeft;

DeployError capture(const std::function<void()>& step) {
    try {
        step();
    } catch (const DeployError& error) {
        return error;
    }
    ADD_FAILURE() << "no error thrown";
    return DeployError::platform(QStringLiteral("none"));
}

TEST(RunGitStepTest, failureTextIsStandardErrorThenOutputOrTheExitStatus) {
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("fake-git"));
    // The command is the last argument: the options every call carries come first.
    writeFile(script, "#!/bin/sh\n"
                      "for a; do last=$a; done\n"
                      "[ \"$last\" = prompt ] && { echo \"GIT_TERMINAL_PROMPT=$GIT_TERMINAL_PROMPT\" >&2; exit 3; }\n"
                      "[ \"$last\" = both ] && { echo out; echo err >&2; exit 1; }\n"
                      "[ \"$last\" = silent ] && exit 7\n"
                      "exit 0\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    EXPECT_NO_THROW(Push::runGitStep(script, dir.path(), {QStringLiteral("ok")}));
    const struct {
        QString argument;
        QString message;
    } cases[] = {
        {QStringLiteral("prompt"), QStringLiteral("GIT_TERMINAL_PROMPT=0")},
        {QStringLiteral("both"), QStringLiteral("err\n out")},
        {QStringLiteral("silent"), QStringLiteral("exit 7")},
    };
    for (const auto& testCase : cases) {
        const DeployError error = capture([&] { Push::runGitStep(script, dir.path(), {testCase.argument}); });
        EXPECT_EQ(error.kind(), Kind::gitCommandFailed);
        EXPECT_EQ(error.message(), testCase.message) << testCase.argument.toStdString();
    }

    const DeployError notStarted =
        capture([&] { Push::runGitStep(dir.filePath(QStringLiteral("absent")), dir.path(), {}); });
    EXPECT_EQ(notStarted.kind(), Kind::platform);
    EXPECT_FALSE(notStarted.description().isEmpty());
}

TEST(EmptyRepoCloneErrorTest, recognisesTheFivePhrases) {
    const struct {
        QString text;
        bool empty;
    } cases[] = {
        {QStringLiteral("fatal: Remote branch main not found in upstream origin"), true},
        {QStringLiteral("fatal: couldn't find remote ref refs/heads/main"), true},
        {QStringLiteral("error: Remote ref does not exist"), true},
        {QStringLiteral("The Repository Is Empty."), true},
        {QStringLiteral("warning: You appear to have cloned an empty repository."), true},
        {QStringLiteral("fatal: Authentication failed for 'https://x'"), false},
        {QStringLiteral("fatal: repository '/nowhere' does not exist"), false},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(Push::isEmptyRepoCloneError(testCase.text, testCase.text), testCase.empty)
            << testCase.text.toStdString();
    }
    // The phrase may span the join of the two texts.
    EXPECT_TRUE(Push::isEmptyRepoCloneError(QStringLiteral("Remote"), QStringLiteral("BRANCH x")));
}

class FilteredCopyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_source = m_dir.filePath(QStringLiteral("site"));
        m_destination = m_dir.filePath(QStringLiteral("out"));
        QDir().mkpath(m_source);
    }
    QString src(const QString& relative) const { return m_source + QLatin1Char('/') + relative; }

    QTemporaryDir m_dir;
    QString m_source;
    QString m_destination;
};

TEST_F(FilteredCopyTest, copiesHiddenEntriesAndSkipsIgnoredFoldersAtAnyDepth) {
    writeFile(src(QStringLiteral("index.html")), "<h1>hi</h1>");
    writeFile(src(QStringLiteral(".kestrion-chats/chat_history.json")), "{}");
    writeFile(src(QStringLiteral(".hidden")), "h");
    writeFile(src(QStringLiteral("node_modules/pkg/index.js")), "x");
    writeFile(src(QStringLiteral("node_modules.txt")), "kept");
    writeFile(src(QStringLiteral("Node_Modules/x.js")), "kept");
    writeFile(src(QStringLiteral(".gitignore")), "kept");
    writeFile(src(QStringLiteral("js/lib/node_modules/deep/x.js")), "x");
    writeFile(src(QStringLiteral("js/app.js")), "app");
    writeFile(src(QStringLiteral(".git/HEAD")), "ref");
    writeFile(src(QStringLiteral("assets/.git/HEAD")), "ref");
    QDir().mkpath(src(QStringLiteral("empty")));

    Push::copyWorkspaceTreeFiltered(m_source, m_destination);

    EXPECT_THAT(listTree(m_destination),
                UnorderedElementsAreArray({"index.html", ".kestrion-chats/chat_history.json", ".hidden",
                                           "node_modules.txt", "Node_Modules/x.js", ".gitignore", "js/app.js"}));
    EXPECT_EQ(readFile(m_destination + QStringLiteral("/js/app.js")), QByteArray("app"));
    EXPECT_TRUE(QFileInfo(m_destination + QStringLiteral("/empty")).isDir());
    EXPECT_TRUE(QFileInfo(m_destination + QStringLiteral("/js/lib")).isDir());
}

TEST_F(FilteredCopyTest, copiesLinksAsLinksAndDropsDanglingOnes) {
    QTemporaryDir outside;
    writeFile(outside.filePath(QStringLiteral("secret.txt")), "secret");
    writeFile(outside.filePath(QStringLiteral("dir/inner.txt")), "inner");
    writeFile(src(QStringLiteral("page.html")), "p");
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("secret.txt")), src(QStringLiteral("secret-link"))));
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("dir")), src(QStringLiteral("dir-link"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("page.html"), src(QStringLiteral("relative-link"))));
    ASSERT_TRUE(QFile::link(src(QStringLiteral("gone")), src(QStringLiteral("dangling"))));

    Push::copyWorkspaceTreeFiltered(m_source, m_destination);

    EXPECT_THAT(listTree(m_destination),
                UnorderedElementsAreArray({"page.html", "secret-link", "dir-link", "relative-link"}));
    for (const char* link : {"secret-link", "dir-link", "relative-link"}) {
        EXPECT_TRUE(QFileInfo(m_destination + QLatin1Char('/') + QLatin1String(link)).isSymLink()) << link;
    }
    EXPECT_EQ(QFileInfo(m_destination + QStringLiteral("/relative-link")).symLinkTarget(),
              m_destination + QStringLiteral("/page.html"));
}

TEST_F(FilteredCopyTest, destinationInsideTheSourceIsNotCopiedIntoItself) {
    writeFile(src(QStringLiteral("a.txt")), "a");
    const QString inside = src(QStringLiteral("tmp/area/repo"));
    QDir().mkpath(inside);

    Push::copyWorkspaceTreeFiltered(m_source, inside);

    EXPECT_THAT(listTree(inside), UnorderedElementsAreArray({"a.txt"}));
    EXPECT_TRUE(QFileInfo(inside + QStringLiteral("/tmp/area")).isDir());
    EXPECT_FALSE(QFileInfo::exists(inside + QStringLiteral("/tmp/area/repo")));
}

TEST_F(FilteredCopyTest, missingSourceCopiesNothingAndFileSystemFailuresThrow) {
    EXPECT_NO_THROW(Push::copyWorkspaceTreeFiltered(m_dir.filePath(QStringLiteral("absent")), m_destination));
    EXPECT_FALSE(QFileInfo::exists(m_destination));

    // A file where the destination folder belongs: the copy cannot proceed.
    writeFile(src(QStringLiteral("a.txt")), "a");
    writeFile(m_destination, "in the way");
    const DeployError error = capture([&] { Push::copyWorkspaceTreeFiltered(m_source, m_destination); });
    EXPECT_EQ(error.kind(), Kind::platform);
    EXPECT_FALSE(error.description().isEmpty());
}

TEST(WorktreeHelpersTest, clearKeepsOnlyGitAndEmptinessIgnoresIt) {
    QTemporaryDir dir;
    const QString clone = dir.path();
    EXPECT_TRUE(Push::isGitWorktreeEffectivelyEmpty(clone));
    EXPECT_TRUE(Push::isGitWorktreeEffectivelyEmpty(dir.filePath(QStringLiteral("absent"))));
    writeFile(clone + QStringLiteral("/.git/HEAD"), "ref");
    EXPECT_TRUE(Push::isGitWorktreeEffectivelyEmpty(clone));
    writeFile(clone + QStringLiteral("/.hidden"), "h");
    writeFile(clone + QStringLiteral("/dir/file"), "f");
    writeFile(clone + QStringLiteral("/top.txt"), "t");
    EXPECT_FALSE(Push::isGitWorktreeEffectivelyEmpty(clone));

    Push::clearRepoWorktreeExceptGit(clone);

    EXPECT_THAT(QDir(clone).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                UnorderedElementsAreArray({".git"}));
    EXPECT_EQ(readFile(clone + QStringLiteral("/.git/HEAD")), QByteArray("ref"));
    EXPECT_TRUE(Push::isGitWorktreeEffectivelyEmpty(clone));

    EXPECT_EQ(capture([&] { Push::clearRepoWorktreeExceptGit(dir.filePath(QStringLiteral("absent"))); }).kind(),
              Kind::platform);
}

// A real bare remote and a website directory pushed to it.
class GitPushTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_remote = m_dir.filePath(QStringLiteral("remote.git"));
        m_site = m_dir.filePath(QStringLiteral("site"));
        QDir().mkpath(m_site);
        ASSERT_NO_FATAL_FAILURE(test::createBareRepository(m_remote));
        m_areasBefore = workingAreasLeft();
    }
    void TearDown() override { EXPECT_EQ(workingAreasLeft(), m_areasBefore) << "a working area was left behind"; }

    void push(const QString& branch = QStringLiteral("main")) {
        Push::gitPushWorkspaceToRemote(git, m_site, m_remote, branch);
    }
    QStringList remoteFiles(const QString& branch = QStringLiteral("main")) const {
        return gitOutput(m_remote,
                         {QStringLiteral("ls-tree"), QStringLiteral("-r"), QStringLiteral("--name-only"), branch})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    int commitCount(const QString& branch = QStringLiteral("main")) const {
        return gitOutput(m_remote, {QStringLiteral("rev-list"), QStringLiteral("--count"), branch}).toInt();
    }
    QString site(const QString& relative) const { return m_site + QLatin1Char('/') + relative; }

    QTemporaryDir m_dir;
    QString m_remote;
    QString m_site;
    QStringList m_areasBefore;
};

TEST_F(GitPushTest, firstPushCreatesTheBranchOnAnEmptyRemote) {
    writeFile(site(QStringLiteral("index.html")), "<h1>v1</h1>");
    writeFile(site(QStringLiteral(".kestrion-chats/chat_history.json")), "{}");
    writeFile(site(QStringLiteral("node_modules/x/index.js")), "x");
    writeFile(site(QStringLiteral("src/node_modules/y.js")), "y");

    push(QStringLiteral("live"));

    EXPECT_THAT(remoteFiles(QStringLiteral("live")),
                UnorderedElementsAreArray({"index.html", ".kestrion-chats/chat_history.json"}));
    EXPECT_EQ(commitCount(QStringLiteral("live")), 1);
    EXPECT_EQ(gitOutput(m_remote, {QStringLiteral("log"), QStringLiteral("-1"), QStringLiteral("--format=%an|%s"),
                                   QStringLiteral("live")}),
              QStringLiteral("Kestrion IDE|Deploy from Kestrion IDE extension"));
    EXPECT_FALSE(QFileInfo::exists(site(QStringLiteral(".git"))));
}

TEST_F(GitPushTest, theSitesChatFoldersArePublishedOnlyWhenAsked) {
    writeFile(site(QStringLiteral("index.html")), "<h1>hi</h1>");
    writeFile(site(QStringLiteral(".kestrion-chats/chat_history.json")), "{}");
    writeFile(site(QStringLiteral(".Kestrion-Chats/chat_history.json")), "{}");
    // Only the site's own folder is the chat store; a page folder of that name is site content.
    writeFile(site(QStringLiteral("blog/.kestrion-chats/chat_history.json")), "{}");

    const struct {
        Push::Chats chats;
        const char* branch;
        std::vector<const char*> pushed;
    } cases[] = {
        {Push::Chats::published,
         "with-chats",
         {"index.html", ".kestrion-chats/chat_history.json", ".Kestrion-Chats/chat_history.json",
          "blog/.kestrion-chats/chat_history.json"}},
        {Push::Chats::leftOut, "without-chats", {"index.html", "blog/.kestrion-chats/chat_history.json"}},
    };
    for (const auto& testCase : cases) {
        const QString branch = QString::fromUtf8(testCase.branch);
        Push::gitPushWorkspaceToRemote(git, m_site, m_remote, branch, testCase.chats);
        EXPECT_THAT(remoteFiles(branch), UnorderedElementsAreArray(testCase.pushed)) << testCase.branch;
    }
    // The site itself keeps its chats either way.
    EXPECT_TRUE(QFileInfo::exists(site(QStringLiteral(".kestrion-chats/chat_history.json"))));
}

TEST_F(GitPushTest, laterPushesBuildOnTheRemoteAndCarryDeletions) {
    writeFile(site(QStringLiteral("index.html")), "v1");
    writeFile(site(QStringLiteral("old.css")), "old");
    push();

    QFile::remove(site(QStringLiteral("old.css")));
    writeFile(site(QStringLiteral("index.html")), "v2");
    writeFile(site(QStringLiteral("new/page.html")), "new");
    push();

    EXPECT_THAT(remoteFiles(), UnorderedElementsAreArray({"index.html", "new/page.html"}));
    EXPECT_EQ(commitCount(), 2);
    EXPECT_EQ(gitOutput(m_remote, {QStringLiteral("show"), QStringLiteral("main:index.html")}), QStringLiteral("v2"));
}

TEST_F(GitPushTest, unchangedSecondPushMakesAnEmptyCommit) {
    writeFile(site(QStringLiteral("index.html")), "same");
    push();
    push();

    EXPECT_EQ(commitCount(), 2);
    EXPECT_EQ(gitOutput(m_remote, {QStringLiteral("diff"), QStringLiteral("--stat"), QStringLiteral("main~1"),
                                   QStringLiteral("main")}),
              QString());
}

TEST_F(GitPushTest, remoteOrBranchThatGitWouldReadAsAnOptionIsRefused) {
    writeFile(site(QStringLiteral("index.html")), "x");
    const QString marker = m_dir.filePath(QStringLiteral("ran"));
    const QString hostile = QStringLiteral("--upload-pack=touch ") + marker + QStringLiteral(";false");

    for (const auto& [url, branch] : {std::pair{hostile, QStringLiteral("main")},
                                      std::pair{m_remote, QStringLiteral("--receive-pack=touch ") + marker}}) {
        const DeployError error = capture([&] { Push::gitPushWorkspaceToRemote(git, m_site, url, branch); });
        EXPECT_EQ(error.kind(), Kind::gitCommandFailed);
        EXPECT_THAT(error.message().toStdString(), HasSubstr("would be read as a git option"));
    }
    EXPECT_FALSE(QFileInfo::exists(marker));
    EXPECT_EQ(gitOutput(m_remote, {QStringLiteral("branch"), QStringLiteral("--list")}), QString());
}

TEST_F(GitPushTest, rejectedPushFailsWithGitsText) {
    writeFile(site(QStringLiteral("index.html")), "x");
    // The remote refuses every update, as a panel with a protected branch would.
    const QString hook = m_remote + QStringLiteral("/hooks/pre-receive");
    writeFile(hook, "#!/bin/sh\necho 'deploys are frozen' >&2\nexit 1\n");
    QFile::setPermissions(hook, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const DeployError error = capture([&] { push(); });

    EXPECT_EQ(error.kind(), Kind::gitCommandFailed);
    EXPECT_THAT(error.message().toStdString(), HasSubstr("deploys are frozen"));
}

TEST_F(GitPushTest, hooksAndMonitorThatTheCloneInheritsNeverRun) {
    // A git template (the user's or one set in the environment) is copied into
    // every clone and init: its hooks and its monitor setting would run on each deploy.
    const QString templateDir = m_dir.filePath(QStringLiteral("template"));
    const QByteArray toucher =
        "#!/bin/sh\ntouch '" + m_dir.path().toUtf8() + "/ran-'$(basename \"$0\")\ncat >/dev/null\n";
    for (const char* hook : {"pre-commit", "post-commit", "post-checkout", "pre-push", "monitor"}) {
        writeFile(templateDir + QStringLiteral("/hooks/") + QLatin1String(hook), toucher, true);
    }
    writeFile(templateDir + QStringLiteral("/config"),
              "[core]\n\tfsmonitor = " + templateDir.toUtf8() + "/hooks/monitor\n");
    writeFile(site(QStringLiteral("index.html")), "v1");

    qputenv("GIT_TEMPLATE_DIR", templateDir.toUtf8());
    push(); // a fresh repository for the empty remote
    writeFile(site(QStringLiteral("index.html")), "v2");
    push(); // a clone of it
    qunsetenv("GIT_TEMPLATE_DIR");

    EXPECT_EQ(QDir(m_dir.path()).entryList({QStringLiteral("ran-*")}), QStringList());
    EXPECT_EQ(commitCount(), 2);
    EXPECT_EQ(gitOutput(m_remote, {QStringLiteral("show"), QStringLiteral("main:index.html")}), QStringLiteral("v2"));
}

TEST_F(GitPushTest, everyGitCommandRunsWithHooksAndMonitorOff) {
    const QString log = m_dir.filePath(QStringLiteral("calls.log"));
    const QString recorder = m_dir.filePath(QStringLiteral("git"));
    writeFile(recorder,
              "#!/bin/sh\nprintf '%s|' \"$@\" >> '" + log.toUtf8() + "'\necho >> '" + log.toUtf8() +
                  "'\nexec /usr/bin/git \"$@\"\n",
              true);
    writeFile(site(QStringLiteral("index.html")), "v1");

    Push::gitPushWorkspaceToRemote(recorder, m_site, m_remote, QStringLiteral("main"));
    writeFile(site(QStringLiteral("index.html")), "v2");
    Push::gitPushWorkspaceToRemote(recorder, m_site, m_remote, QStringLiteral("main"));

    const QStringList calls = QString::fromUtf8(readFile(log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    // The first push starts a repository (init, branch, remote) after its clone fails; the second clones.
    EXPECT_EQ(calls.filter(QStringLiteral("|init|")).size(), 1);
    EXPECT_EQ(calls.filter(QStringLiteral("|clone|")).size(), 2);
    EXPECT_EQ(calls.filter(QStringLiteral("|push|")).size(), 2);
    for (const QString& call : calls) {
        EXPECT_TRUE(call.startsWith(QStringLiteral("-c|core.hooksPath=/dev/null|-c|core.fsmonitor=false|")))
            << call.toStdString();
    }
    EXPECT_EQ(commitCount(), 2);
}

} // namespace
} // namespace kestrion
