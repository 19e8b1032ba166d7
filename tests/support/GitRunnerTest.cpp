#include "support/GitRunner.h"

#include "support/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kestrion {
namespace {

using test::writeFile;

TEST(FindGitTest, firstExecutableFileWins) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString plain = dir.filePath(QStringLiteral("plain"));
    const QString runnable = dir.filePath(QStringLiteral("runnable"));
    writeFile(plain, "x");
    writeFile(runnable, "#!/bin/sh\n");
    QFile::setPermissions(runnable, QFile::ReadOwner | QFile::ExeOwner);
    const QString missing = dir.filePath(QStringLiteral("missing"));

    EXPECT_EQ(GitRunner::findGit({missing, plain, dir.path(), runnable}), runnable);
    EXPECT_EQ(GitRunner::findGit({missing, plain, dir.path()}), std::nullopt);
    EXPECT_EQ(GitRunner::findGit(), QStringLiteral("/usr/bin/git"));
}

// A stand-in git that prints its arguments, one per line, then the variables
// the runner may add.
class ScriptedRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        qunsetenv("GIT_TERMINAL_PROMPT");
        qunsetenv("GIT_CONFIG_COUNT");
        writeFile(m_git,
                  "#!/bin/sh\n"
                  "for a in \"$@\"; do echo \"[$a]\"; done\n"
                  "echo \"prompt=${GIT_TERMINAL_PROMPT-unset} count=${GIT_CONFIG_COUNT-unset}\"\n"
                  "[ -n \"$GIT_CONFIG_COUNT\" ] && env | grep '^GIT_CONFIG_[KV]' | LC_ALL=C sort\n"
                  "exit 0\n",
                  true);
    }

    QString run(const GitRunner::Environment& environment) const {
        const ProcessOutcome outcome = GitRunner::run(m_git, m_dir.path(), {QStringLiteral("status")}, environment);
        EXPECT_TRUE(outcome.started);
        EXPECT_EQ(outcome.exitCode, 0);
        return QString::fromUtf8(outcome.standardOutput);
    }

    QTemporaryDir m_dir;
    const QString m_git = m_dir.filePath(QStringLiteral("git"));
};

TEST_F(ScriptedRunTest, safetyOptionsComeFirstAndEnvironmentAdditionsCombine) {
    const QString safety = QStringLiteral("[-c]\n[core.hooksPath=/dev/null]\n[-c]\n[core.fsmonitor=false]\n[status]\n");
    EXPECT_EQ(run({}), safety + QStringLiteral("prompt=unset count=unset\n"));

    GitRunner::Environment noPrompt;
    noPrompt.noTerminalPrompt = true;
    EXPECT_EQ(run(noPrompt), safety + QStringLiteral("prompt=0 count=unset\n"));

    // Settings go after the ones the environment already holds.
    qputenv("GIT_CONFIG_COUNT", "1");
    qputenv("GIT_CONFIG_KEY_0", "user.mine");
    qputenv("GIT_CONFIG_VALUE_0", "kept");
    GitRunner::Environment both;
    both.noTerminalPrompt = true;
    both.settings = {{QStringLiteral("filter.x.clean"), QString()}};
    const QString output = run(both);
    qunsetenv("GIT_CONFIG_COUNT");
    qunsetenv("GIT_CONFIG_KEY_0");
    qunsetenv("GIT_CONFIG_VALUE_0");
    EXPECT_EQ(output, safety + QStringLiteral("prompt=0 count=2\n"
                                              "GIT_CONFIG_KEY_0=user.mine\nGIT_CONFIG_KEY_1=filter.x.clean\n"
                                              "GIT_CONFIG_VALUE_0=kept\nGIT_CONFIG_VALUE_1=\n"));
}

} // namespace
} // namespace kestrion
