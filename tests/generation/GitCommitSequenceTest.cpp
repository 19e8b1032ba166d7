#include "generation/GitCommitSequence.h"

#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
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

    const GitOutcome second = runGitSequence(root());
    EXPECT_EQ(second.code, 0);
    EXPECT_TRUE((second.standardOutput + second.standardError).toLower().contains("nothing to commit"));
    EXPECT_EQ(commitCount(root()), 1);
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

TEST_F(GitCommitSequenceTest, failingPreCommitHookIsReportedWithItsOutput) {
    gitOutput(root(), {"init", "-b", "main"});
    writeFile(root() + "/.git/hooks/pre-commit", "#!/bin/sh\necho 'lint refused the commit' >&2\nexit 1\n", true);
    writeFile(root() + "/index.htm", "x");

    const GitOutcome outcome = runGitSequence(root());
    EXPECT_NE(outcome.code, 0);
    EXPECT_TRUE(outcome.standardError.contains("lint refused the commit"));
    EXPECT_EQ(gitOutput(root(), {"rev-list", "--all", "--count"}), "0");
}

TEST_F(GitCommitSequenceTest, tenMebibytesOfHookOutputDoNotStallGit) {
    gitOutput(root(), {"init", "-b", "main"});
    // git hands a hook's standard output to its own standard error.
    writeFile(root() + "/.git/hooks/pre-commit",
              "#!/bin/sh\nhead -c 10485760 /dev/zero | tr '\\0' 'a'\necho done-flooding >&2\nexit 7\n", true);
    writeFile(root() + "/index.htm", "x");

    const GitOutcome outcome = runGitSequence(root());
    EXPECT_EQ(outcome.code, 1);
    EXPECT_GE(outcome.standardOutput.size() + outcome.standardError.size(), 10 * 1024 * 1024);
    EXPECT_TRUE(outcome.standardError.endsWith("done-flooding\n"));
}

// A stand-in git that logs its arguments and answers as scripted, to pin down
// the exact commands and the handling of their results.
class ScriptedGitTest : public GitCommitSequenceTest {
protected:
    QTemporaryDir m_bin;
    QString logPath() const { return m_bin.path() + "/calls.log"; }
    QString gitPath() const { return m_bin.path() + "/git"; }

    // step: "init", "add" or "commit"; body runs for that step, others exit 0.
    void script(const QString& step, const QByteArray& body) {
        const QByteArray text = "#!/bin/sh\n"
                                "printf '%s|' \"$@\" >> '" +
                                logPath().toUtf8() + "'\necho >> '" + logPath().toUtf8() +
                                "'\n"
                                "for a in \"$@\"; do step=$a; case $a in init|add|commit) break;; esac; done\n"
                                "if [ \"$step\" = '" +
                                step.toUtf8() + "' ]; then\n:\n" + body + "\nfi\nexit 0\n";
        writeFile(gitPath(), text, true);
    }

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
    const QString commitCall = QStringLiteral("-c|user.name=Kestrion Website|-c|user.email=%1|commit|-m|"
                                              "Apply assistant-generated files|")
                                   .arg(QLatin1String(commitAuthorEmail));

    EXPECT_EQ(runGitSequence(root(), gitPath()).code, 0);
    EXPECT_EQ(calls(), QStringList({"init|-b|main|", "add|-A|", commitCall}));

    QFile::remove(logPath());
    writeFile(root() + "/.git", "gitdir: /elsewhere\n"); // a worktree's .git file counts too
    EXPECT_EQ(runGitSequence(root(), gitPath()).code, 0);
    EXPECT_EQ(calls(), QStringList({"add|-A|", commitCall}));
}

TEST_F(ScriptedGitTest, failingStepStopsTheSequenceWithItsOutcome) {
    struct Case {
        const char* step;
        int expectedCalls;
    };
    for (const Case& c : {Case{"init", 1}, Case{"add", 2}, Case{"commit", 3}}) {
        SCOPED_TRACE(c.step);
        QFile::remove(logPath());
        script(c.step, "echo out-text; echo err-text >&2; exit 3");
        const GitOutcome outcome = runGitSequence(root(), gitPath());
        EXPECT_EQ(outcome.code, 3);
        EXPECT_EQ(outcome.standardOutput, "out-text\n");
        EXPECT_EQ(outcome.standardError, "err-text\n");
        EXPECT_EQ(calls().size(), c.expectedCalls);
    }
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

TEST_F(ScriptedGitTest, runGitRunsInTheGivenDirectoryWithArgumentsUnquoted) {
    writeFile(gitPath(), "#!/bin/sh\npwd\nfor a in \"$@\"; do echo \"[$a]\"; done\n", true);
    const GitOutcome outcome = runGit(gitPath(), root(), {"a b", "*", "$HOME", ""});
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(outcome.standardOutput, QDir(root()).canonicalPath() + "\n[a b]\n[*]\n[$HOME]\n[]\n");
}

} // namespace
} // namespace kestrion::ProjectMaterializer
