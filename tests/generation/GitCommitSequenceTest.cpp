#include "generation/GitCommitSequence.h"

#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace kestrion::ProjectMaterializer {
namespace {

using test::gitOutput;
using test::writeFile;

int commitCount(const QString& dir) {
    return gitOutput(dir, {QStringLiteral("rev-list"), QStringLiteral("--count"), QStringLiteral("HEAD")}).toInt();
}

class GitCommitSequenceTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    QString root() const { return m_dir.path(); }
};

TEST_F(GitCommitSequenceTest, firstRunCreatesMainBranchAndCommitsWithFixedIdentity) {
    writeFile(root() + "/index.htm", "<h1>Hi</h1>");

    const GitOutcome first = runGitSequence(root());
    EXPECT_EQ(first.code, 0) << first.standardError.toStdString();

    EXPECT_EQ(gitOutput(root(), {"rev-parse", "--abbrev-ref", "HEAD"}), "main");
    EXPECT_EQ(gitOutput(root(), {"log", "-1", "--format=%an|%ae|%cn|%ce|%s"}),
              QStringLiteral("Kestrion Website|%1|Kestrion Website|%1|Apply assistant-generated files")
                  .arg(QLatin1String(commitAuthorEmail)));
    EXPECT_EQ(gitOutput(root(), {"ls-files"}), "index.htm");
    // The identity is per command: nothing is written into the repository's configuration.
    QFile config(root() + "/.git/config");
    ASSERT_TRUE(config.open(QIODevice::ReadOnly));
    EXPECT_FALSE(config.readAll().contains("Kestrion"));
    // A second run with nothing new: ProjectMaterializerTest.identicalSecondReplyCommitsNothingAndReportsSuccess.
}

TEST_F(GitCommitSequenceTest, existingRepositoryKeepsItsBranchAndHistoryAndGainsOneCommit) {
    gitOutput(root(), {"init", "-b", "develop"});
    writeFile(root() + "/mine.txt", "user's own work");
    gitOutput(root(), {"add", "-A"});
    gitOutput(root(), {"-c", "user.name=Owner", "-c", "user.email=owner@example.invalid", "commit", "-m", "mine"});
    const QString userHead = gitOutput(root(), {"rev-parse", "HEAD"});

    writeFile(root() + "/index.htm", "<p>new</p>");
    const GitOutcome outcome = runGitSequence(root());
    ASSERT_EQ(outcome.code, 0) << outcome.standardError.toStdString();
    EXPECT_TRUE(outcome.committed);

    EXPECT_EQ(gitOutput(root(), {"rev-parse", "--abbrev-ref", "HEAD"}), "develop");
    EXPECT_EQ(commitCount(root()), 2);
    EXPECT_EQ(gitOutput(root(), {"rev-parse", "HEAD~1"}), userHead);
    EXPECT_EQ(gitOutput(root(), {"log", "-1", "--skip=1", "--format=%an|%s"}), "Owner|mine");
}

TEST_F(GitCommitSequenceTest, missingGitReportsStartErrorAndRunsNothing) {
    writeFile(root() + "/index.htm", "x");
    const GitOutcome outcome = runGitSequence(root(), root() + "/no-such-git");
    EXPECT_EQ(outcome.code, -1);
    EXPECT_TRUE(outcome.standardOutput.isEmpty());
    EXPECT_FALSE(outcome.standardError.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(root() + "/.git"));
}

// A folder that arrives with a repository brings its configuration, hooks and
// attributes along: none of them may start a program, and a repository that
// lives elsewhere must not receive the commit.
TEST_F(GitCommitSequenceTest, hostileRepositoryRunsNothingAndCommitsOnlyIntoTheWebsiteFolder) {
    struct Case {
        const char* name;
        // Plants the trap in root; outside is a folder beyond the website, marker
        // the file any program the trap starts would create.
        std::function<void(const QString& root, const QString& outside, const QByteArray& marker)> plant;
        bool refused;
    };
    const auto initRoot = [](const QString& root) { gitOutput(root, {"init", "-b", "main"}); };
    const auto toucher = [](const QByteArray& marker) { return "#!/bin/sh\ntouch '" + marker + "'\ncat\n"; };
    const auto filterConfig = [&](const QString& root, const QString& outside, const QByteArray& marker,
                                  const QByteArray& name) {
        initRoot(root);
        writeFile(outside + "/filter", toucher(marker), true);
        QFile config(root + "/.git/config");
        ASSERT_TRUE(config.open(QIODevice::Append));
        config.write("[filter \"" + name + "\"]\n\tclean = " + outside.toUtf8() + "/filter\n\trequired = true\n");
        writeFile(root + "/.gitattributes", "* filter=" + name + "\n");
    };
    const auto otherRepository = [&](const QString& outside) {
        const QString other = outside + "/other";
        QDir().mkpath(other);
        initRoot(other);
        return other;
    };
    const Case cases[] = {
        {"pre-commit hook",
         [&](const QString& root, const QString&, const QByteArray& marker) {
             initRoot(root);
             writeFile(root + "/.git/hooks/pre-commit", toucher(marker), true);
         },
         false},
        {"fsmonitor",
         [&](const QString& root, const QString& outside, const QByteArray& marker) {
             initRoot(root);
             writeFile(outside + "/monitor", toucher(marker), true);
             gitOutput(root, {"config", "core.fsmonitor", outside + "/monitor"});
         },
         false},
        {"clean filter named by .gitattributes",
         [&](const QString& root, const QString& outside, const QByteArray& marker) {
             filterConfig(root, outside, marker, "tidy");
         },
         false},
        {"clean filter whose name holds =",
         [&](const QString& root, const QString& outside, const QByteArray& marker) {
             filterConfig(root, outside, marker, "a=b.c");
         },
         false},
        {"signing program",
         [&](const QString& root, const QString& outside, const QByteArray& marker) {
             initRoot(root);
             writeFile(outside + "/gpg", toucher(marker), true);
             gitOutput(root, {"config", "commit.gpgSign", "true"});
             gitOutput(root, {"config", "gpg.program", outside + "/gpg"});
         },
         false},
        {"work tree elsewhere",
         [&](const QString& root, const QString& outside, const QByteArray&) {
             initRoot(root);
             writeFile(outside + "/private.txt", "not for the website");
             gitOutput(root, {"config", "core.worktree", outside});
         },
         false},
        {"filter name that is not UTF-8",
         [&](const QString& root, const QString& outside, const QByteArray& marker) {
             filterConfig(root, outside, marker, "\xff");
         },
         true},
        {".git file naming another repository",
         [&](const QString& root, const QString& outside, const QByteArray&) {
             writeFile(root + "/.git", "gitdir: " + otherRepository(outside).toUtf8() + "/.git\n");
         },
         true},
        {".git link to another repository",
         [&](const QString& root, const QString& outside, const QByteArray&) {
             QFile::link(otherRepository(outside) + "/.git", root + "/.git");
         },
         true},
        {".git link to a repository inside the website",
         [&](const QString& root, const QString&, const QByteArray&) {
             QDir().mkpath(root + "/inner");
             initRoot(root + "/inner");
             QFile::link("inner/.git", root + "/.git");
         },
         true},
        {".git sharing another repository's store",
         [&](const QString& root, const QString& outside, const QByteArray&) {
             const QString other = otherRepository(outside);
             initRoot(root);
             writeFile(root + "/.git/commondir", other.toUtf8() + "/.git\n");
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir site;
        QTemporaryDir outside;
        const QString root = site.path();
        const QByteArray marker = outside.filePath("ran").toUtf8();
        c.plant(root, outside.path(), marker);
        writeFile(root + "/index.htm", "<h1>Hi</h1>");

        const GitOutcome outcome = runGitSequence(root);

        EXPECT_FALSE(QFileInfo::exists(QString::fromUtf8(marker))) << "a program named by the repository ran";
        if (c.refused) {
            EXPECT_EQ(outcome.code, -1);
            EXPECT_TRUE(outcome.standardOutput.isEmpty());
            EXPECT_TRUE(outcome.standardError.endsWith("no commit was made.")) << outcome.standardError.toStdString();
            for (const QString& other : {outside.filePath("other"), root + "/inner"}) {
                if (QFileInfo::exists(other)) {
                    EXPECT_EQ(gitOutput(other, {"rev-list", "--all", "--count"}), "0");
                }
            }
            continue;
        }
        EXPECT_EQ(outcome.code, 0) << outcome.standardError.toStdString();
        EXPECT_EQ(gitOutput(root, {"log", "-1", "--format=%s"}), QLatin1String(commitMessage));
        const QStringList committed = gitOutput(root, {"ls-tree", "-r", "--name-only", "HEAD"}).split('\n');
        EXPECT_TRUE(committed.contains("index.htm"));
        EXPECT_FALSE(committed.contains("private.txt"));
        EXPECT_EQ(gitOutput(root, {"show", "HEAD:index.htm"}), "<h1>Hi</h1>");
    }
}

TEST_F(GitCommitSequenceTest, theUsersOwnFiltersStillApply) {
    // The user's global configuration is theirs, unlike the folder's repository:
    // a filter defined there (as a large-file tool does) keeps working.
    const QString globalConfig = QDir::homePath() + "/.gitconfig";
    ASSERT_FALSE(QFileInfo::exists(globalConfig));
    writeFile(globalConfig, "[filter \"upper\"]\n\tclean = tr a-z A-Z\n");
    writeFile(root() + "/.gitattributes", "*.htm filter=upper\n");
    writeFile(root() + "/index.htm", "quiet");

    const GitOutcome outcome = runGitSequence(root());
    QFile::remove(globalConfig);

    EXPECT_EQ(outcome.code, 0) << outcome.standardError.toStdString();
    EXPECT_EQ(gitOutput(root(), {"show", "HEAD:index.htm"}), "QUIET");
}

// A stand-in git that logs its arguments and answers as scripted, to pin down
// the exact commands and the handling of their results.
class ScriptedGitTest : public GitCommitSequenceTest {
protected:
    QTemporaryDir m_bin;
    QString logPath() const { return m_bin.path() + "/calls.log"; }
    QString gitPath() const { return m_bin.path() + "/git"; }

    // bodies: what the script does for each step ("init", "config", "add" or
    // "commit"); the other steps exit 0 without output.
    void script(const QMap<QString, QByteArray>& bodies) {
        QByteArray text = "#!/bin/sh\n"
                          "printf '%s|' \"$@\" >> '" +
                          logPath().toUtf8() + "'\necho >> '" + logPath().toUtf8() +
                          "'\n"
                          "for a in \"$@\"; do step=$a; case $a in init|config|add|commit) break;; esac; done\n"
                          "case $step in\n";
        for (auto it = bodies.begin(); it != bodies.end(); ++it) {
            text += it.key().toUtf8() + ")\n" + it.value() + "\n;;\n";
        }
        writeFile(gitPath(), text + "esac\nexit 0\n", true);
    }
    void script(const QString& step, const QByteArray& body) { script(QMap<QString, QByteArray>{{step, body}}); }

    QStringList calls() const {
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }
};

TEST_F(ScriptedGitTest, runsInitOnlyWithoutDotGitThenAddAndCommitWithExactArguments) {
    script("none", "");
    const QString programsOff =
        QStringLiteral("-c|core.hooksPath=/dev/null|-c|core.fsmonitor=false|-c|commit.gpgSign=false|");
    const QString safety = programsOff + QStringLiteral("--work-tree=.|");
    const QString commitCall = safety + QStringLiteral("-c|user.name=Kestrion Website|-c|user.email=%1|commit|-m|"
                                                       "Apply assistant-generated files|")
                                            .arg(QLatin1String(commitAuthorEmail));
    const QStringList afterInit = {safety + "config|-z|--show-scope|--get-regexp|^filter\\.|", safety + "add|-A|",
                                   commitCall};

    EXPECT_EQ(runGitSequence(root(), gitPath()).code, 0);
    EXPECT_EQ(calls(), QStringList{programsOff + "init|-b|main|"} + afterInit);

    QFile::remove(logPath());
    QDir(root()).mkdir(".git");
    EXPECT_EQ(runGitSequence(root(), gitPath()).code, 0);
    EXPECT_EQ(calls(), afterInit);
}

TEST_F(ScriptedGitTest, dotGitThatIsNotAPlainFolderRunsNoGitAtAll) {
    script("none", "");
    QTemporaryDir elsewhere;
    const char* const notAFolder =
        "The website folder's .git is not a folder (it is a file or a link); no commit was made.";
    const struct {
        const char* name;
        std::function<void()> plant;
        const char* message;
    } cases[] = {
        {"gitdir file", [&] { writeFile(root() + "/.git", "gitdir: " + elsewhere.path().toUtf8() + "\n"); },
         notAFolder},
        {"link to a folder", [&] { QFile::link(elsewhere.path(), root() + "/.git"); }, notAFolder},
        {"dangling link", [&] { QFile::link(elsewhere.path() + "/absent", root() + "/.git"); }, notAFolder},
        {"commondir", [&] { writeFile(root() + "/.git/commondir", elsewhere.path().toUtf8() + "\n"); },
         "The website folder's .git borrows another repository (it holds a commondir file); no commit was made."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(root() + "/.git");
        QDir(root() + "/.git").removeRecursively();
        c.plant();
        const GitOutcome outcome = runGitSequence(root(), gitPath());
        EXPECT_EQ(outcome.code, -1);
        EXPECT_EQ(outcome.standardOutput, QString());
        EXPECT_EQ(outcome.standardError, QLatin1String(c.message));
        EXPECT_EQ(calls(), QStringList());
    }
}

TEST_F(ScriptedGitTest, filtersFromTheRepositorysOwnConfigurationAreSwitchedOffForAddAndCommit) {
    // What git lists for each scope; only the repository's own entries (local,
    // worktree) are switched off, after any settings the environment already holds.
    const QByteArray dumpEnvironment = "env | grep '^GIT_CONFIG_' | LC_ALL=C sort > '" + m_bin.path().toUtf8();
    script({{"config", "printf 'global\\0filter.lfs.process\\ngit-lfs\\0local\\0filter.tidy.clean\\nx\\0"
                       "local\\0filter.tidy.required\\0worktree\\0filter.w=x.y.process\\ny\\0"
                       "system\\0filter.sys.clean\\nz\\0command\\0filter.cmd.clean\\nq\\0local\\0filter.clean\\n\\0'"},
            {"add", dumpEnvironment + "/add.env'"},
            {"commit", dumpEnvironment + "/commit.env'"}});
    qputenv("GIT_CONFIG_COUNT", "1");
    qputenv("GIT_CONFIG_KEY_0", "user.mine");
    qputenv("GIT_CONFIG_VALUE_0", "kept");
    const GitOutcome outcome = runGitSequence(root(), gitPath());
    qunsetenv("GIT_CONFIG_COUNT");
    qunsetenv("GIT_CONFIG_KEY_0");
    qunsetenv("GIT_CONFIG_VALUE_0");

    EXPECT_EQ(outcome.code, 0);
    const QByteArray expected = "GIT_CONFIG_COUNT=7\n"
                                "GIT_CONFIG_KEY_0=user.mine\n"
                                "GIT_CONFIG_KEY_1=filter.tidy.clean\n"
                                "GIT_CONFIG_KEY_2=filter.tidy.process\n"
                                "GIT_CONFIG_KEY_3=filter.tidy.required\n"
                                "GIT_CONFIG_KEY_4=filter.w=x.y.clean\n"
                                "GIT_CONFIG_KEY_5=filter.w=x.y.process\n"
                                "GIT_CONFIG_KEY_6=filter.w=x.y.required\n"
                                "GIT_CONFIG_VALUE_0=kept\n"
                                "GIT_CONFIG_VALUE_1=\n"
                                "GIT_CONFIG_VALUE_2=\n"
                                "GIT_CONFIG_VALUE_3=false\n"
                                "GIT_CONFIG_VALUE_4=\n"
                                "GIT_CONFIG_VALUE_5=\n"
                                "GIT_CONFIG_VALUE_6=false\n";
    EXPECT_EQ(test::readFile(m_bin.path() + "/add.env"), expected);
    EXPECT_EQ(test::readFile(m_bin.path() + "/commit.env"), expected);
}

TEST_F(ScriptedGitTest, failingStepStopsTheSequenceWithItsOutcome) {
    struct Case {
        const char* step;
        int expectedCalls;
    };
    for (const Case& c : {Case{"init", 1}, Case{"config", 2}, Case{"add", 3}, Case{"commit", 4}}) {
        SCOPED_TRACE(c.step);
        QFile::remove(logPath());
        script(c.step, "echo out-text; echo err-text >&2; exit 3");
        const GitOutcome outcome = runGitSequence(root(), gitPath());
        EXPECT_EQ(outcome.code, 3);
        EXPECT_EQ(outcome.standardOutput, "out-text\n");
        EXPECT_EQ(outcome.standardError, "err-text\n");
        EXPECT_EQ(calls().size(), c.expectedCalls);
    }
    // git config answers 1 when nothing matches: no filters, not a failure.
    QFile::remove(logPath());
    script("config", "exit 1");
    EXPECT_EQ(runGitSequence(root(), gitPath()).code, 0);
    EXPECT_EQ(calls().size(), 4);
}

TEST_F(ScriptedGitTest, tenMebibytesOfOutputDoNotStallTheSequence) {
    script("commit", "head -c 10485760 /dev/zero | tr '\\0' 'a'\necho done-flooding >&2\nexit 7");
    const GitOutcome outcome = runGitSequence(root(), gitPath());
    EXPECT_EQ(outcome.code, 7);
    EXPECT_EQ(outcome.standardOutput.size(), 10 * 1024 * 1024);
    EXPECT_EQ(outcome.standardError, "done-flooding\n");
}

TEST_F(ScriptedGitTest, nothingToCommitInAnyCaseInEitherStreamCountsAsSuccess) {
    struct Case {
        const char* body;
        int expectedCode;
    };
    const Case cases[] = {
        {"echo 'On branch main'; echo 'nothing to commit, working tree clean'; exit 1", 0},
        {"echo 'NOTHING TO COMMIT' >&2; exit 1", 0},
        {"printf 'Nothing to '; printf 'commit' >&2; exit 1", 0}, // joined output then error, no separator
        {"printf 'nothing to'; printf ' commit' >&2; exit 1", 0},
        {"echo 'nothing  to commit'; exit 1", 1},
        {"echo 'fatal: unable to write new index file' >&2; exit 128", 128},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        script("commit", c.body);
        const GitOutcome outcome = runGitSequence(root(), gitPath());
        EXPECT_EQ(outcome.code, c.expectedCode);
        EXPECT_FALSE(outcome.committed);
    }
}

TEST_F(ScriptedGitTest, outputThatIsNotUtf8BecomesEmptyAndEnvironmentPassesThrough) {
    qputenv("KESTRION_GIT_TEST_MARK", "passed-through");
    script("commit", "printf 'caf\\351\\n'; printf \"$KESTRION_GIT_TEST_MARK\" >&2; exit 2");
    const GitOutcome outcome = runGitSequence(root(), gitPath());
    qunsetenv("KESTRION_GIT_TEST_MARK");
    EXPECT_EQ(outcome.code, 2);
    EXPECT_EQ(outcome.standardOutput, QString());
    EXPECT_EQ(outcome.standardError, "passed-through");
}

TEST_F(ScriptedGitTest, stepRunsInTheGivenDirectoryWithArgumentsUnquoted) {
    writeFile(gitPath(), "#!/bin/sh\npwd\nfor a in \"$@\"; do echo \"[$a]\"; done\n", true);
    const GitOutcome outcome = runSequenceStep(gitPath(), root(), {"a b", "*", "$HOME", ""});
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(outcome.standardOutput, QDir(root()).canonicalPath() +
                                          "\n[-c]\n[core.hooksPath=/dev/null]\n[-c]\n[core.fsmonitor=false]\n"
                                          "[-c]\n[commit.gpgSign=false]\n[--work-tree=.]\n"
                                          "[a b]\n[*]\n[$HOME]\n[]\n");
}

} // namespace
} // namespace kestrion::ProjectMaterializer
