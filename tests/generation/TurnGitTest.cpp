#include "generation/TurnGit.h"

#include "generation/GitCommitSequence.h"
#include "support/FakeOpenAIServer.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kestrion;
using kestrion::test::gitOutput;
using kestrion::test::readFile;
using kestrion::test::writeFile;
using Status = TurnGit::RevertOutcome::Status;

namespace {

class TurnGitTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_site.isValid());
        first = turn({{"index.html", "<h1>One</h1>\n"}, {"style.css", "h1 { color: red; }\n"}, {"app.js", "one();\n"}},
                     "history 1");
        second = turn({{"index.html", "<h1>Two</h1>\n"}, {"style.css", "h1 { color: blue; }\n"}}, "history 2");
    }

    QString path(const QString& relative) const { return m_site.filePath(relative); }

    // Writes the files and the app's own files as a turn does, commits, and returns the commit.
    QString turn(const QList<std::pair<QString, QByteArray>>& files, const QByteArray& history) {
        for (const auto& [name, bytes] : files) {
            writeFile(path(name), bytes);
        }
        writeFile(path(".kestrion-chats/chat_history.json"), history);
        writeFile(path(".kestrion-chats/turns.json"), "{\"turns\":{},\"version\":1," + history + "}");
        EXPECT_EQ(ProjectMaterializer::runGitSequence(m_site.path()).code, 0);
        return *TurnGit::headCommit(m_site.path());
    }

    QString head() const { return gitOutput(m_site.path(), {"rev-parse", "HEAD"}); }

    QTemporaryDir m_site;
    QString first;
    QString second;
};

TEST_F(TurnGitTest, undoThenRedo_changeOnlyTheSiteFilesWithNewCommits) {
    // The app's files move on after the turn; neither undo nor redo may touch them.
    writeFile(path(".kestrion-chats/chat_history.json"), "history 3");
    const QByteArray turnsLog = readFile(path(".kestrion-chats/turns.json"));

    const TurnGit::RevertOutcome undone = TurnGit::revert(m_site.path(), second, "Undo", TurnGit::EditedFiles::Keep);
    ASSERT_EQ(undone.status, Status::Done) << undone.reason.toStdString();
    EXPECT_EQ(undone.paths, (QStringList{"index.html", "style.css"}));
    EXPECT_EQ(readFile(path("index.html")), QByteArray("<h1>One</h1>\n"));
    EXPECT_EQ(readFile(path("style.css")), QByteArray("h1 { color: red; }\n"));
    EXPECT_EQ(head(), undone.commit);
    EXPECT_EQ(gitOutput(m_site.path(), {"rev-parse", "HEAD^"}), second) << "history is never rewritten";
    EXPECT_EQ(gitOutput(m_site.path(), {"show", "HEAD:.kestrion-chats/chat_history.json"}), "history 2");
    EXPECT_EQ(readFile(path(".kestrion-chats/chat_history.json")), QByteArray("history 3"));
    EXPECT_EQ(readFile(path(".kestrion-chats/turns.json")), turnsLog);
    EXPECT_EQ(gitOutput(m_site.path(), {"status", "--porcelain", "--", "index.html", "style.css", "app.js"}), "");

    const TurnGit::RevertOutcome redone =
        TurnGit::revert(m_site.path(), undone.commit, "Redo", TurnGit::EditedFiles::Keep);
    ASSERT_EQ(redone.status, Status::Done) << redone.reason.toStdString();
    EXPECT_EQ(readFile(path("index.html")), QByteArray("<h1>Two</h1>\n"));
    EXPECT_EQ(readFile(path("style.css")), QByteArray("h1 { color: blue; }\n"));
    EXPECT_EQ(readFile(path(".kestrion-chats/chat_history.json")), QByteArray("history 3"));
    EXPECT_EQ(gitOutput(m_site.path(), {"rev-list", "--count", "HEAD"}), "4");

    // Undoing the first commit removes the files it added.
    const TurnGit::RevertOutcome root = TurnGit::revert(m_site.path(), first, "Undo", TurnGit::EditedFiles::Keep);
    EXPECT_EQ(root.status, Status::Failed) << "later turns changed the same lines";
}

TEST_F(TurnGitTest, editedFilesAreNamedFirstAndOnlyReplacedWhenConfirmed) {
    writeFile(path("style.css"), "h1 { color: green; }\n");
    const QString before = head();
    const TurnGit::RevertOutcome asked = TurnGit::revert(m_site.path(), second, "Undo", TurnGit::EditedFiles::Keep);
    ASSERT_EQ(asked.status, Status::NeedsConfirmation);
    EXPECT_EQ(asked.changedPaths, QStringList{"style.css"});
    EXPECT_EQ(head(), before);
    EXPECT_EQ(readFile(path("style.css")), QByteArray("h1 { color: green; }\n"));

    const TurnGit::RevertOutcome done = TurnGit::revert(m_site.path(), second, "Undo", TurnGit::EditedFiles::Replace);
    ASSERT_EQ(done.status, Status::Done) << done.reason.toStdString();
    EXPECT_EQ(readFile(path("style.css")), QByteArray("h1 { color: red; }\n"));
}

TEST_F(TurnGitTest, failuresChangeNothing) {
    const QString later = turn({{"index.html", "<h1>Three</h1>\n"}}, "history 3");
    struct Case {
        const char* name;
        std::function<void()> arrange;
        QString commit;
        QString reasonContains;
    };
    const QList<Case> cases = {
        {"a later turn changed the same lines", [] {}, second, "Later changes"},
        {"a commit that is gone", [] {}, QString(40, QLatin1Char('a')), TurnGit::commitGoneMessage},
        {"not a commit id", [] {}, "HEAD", TurnGit::commitGoneMessage},
        {"the repository was removed", [this] { QDir(path(".git")).removeRecursively(); }, later,
         TurnGit::noRepositoryMessage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        const QByteArray index = readFile(path("index.html"));
        const TurnGit::RevertOutcome outcome =
            TurnGit::revert(m_site.path(), c.commit, "Undo", TurnGit::EditedFiles::Replace);
        EXPECT_EQ(outcome.status, Status::Failed);
        EXPECT_TRUE(outcome.reason.contains(c.reasonContains)) << outcome.reason.toStdString();
        EXPECT_EQ(readFile(path("index.html")), index);
    }
}

// Every file's new content comes out of one batched git answer: pictures with line breaks inside,
// added and removed files, and names with spaces and quotes must all land intact.
TEST_F(TurnGitTest, undoRestoresEveryKindOfFileByteForByte) {
    QByteArray picture = test::FakeOpenAIServer::samplePng();
    picture += QByteArray("\n\nmissing\n", 10) + QByteArray(3, '\0');
    const QString quoted = QStringLiteral("say \"hi\".txt");
    const QString spaced = QStringLiteral("a b missing.txt");
    const QString base =
        turn({{"images/hero.png", picture}, {quoted, "break one\n"}, {spaced, "spaced one\n"}}, "history 3");
    QFile::remove(path("app.js"));
    const QString third = turn({{"images/hero.png", "not a picture"},
                                {quoted, "break two\n"},
                                {spaced, "spaced two\n"},
                                {"new.html", "<p>new</p>\n"}},
                               "history 4");
    ASSERT_NE(base, third);

    const TurnGit::RevertOutcome undone = TurnGit::revert(m_site.path(), third, "Undo", TurnGit::EditedFiles::Keep);
    ASSERT_EQ(undone.status, Status::Done) << undone.reason.toStdString();
    EXPECT_EQ(undone.paths.size(), 5);
    EXPECT_EQ(readFile(path("images/hero.png")), picture);
    EXPECT_EQ(readFile(path(quoted)), QByteArray("break one\n"));
    EXPECT_EQ(readFile(path(spaced)), QByteArray("spaced one\n"));
    EXPECT_EQ(readFile(path("app.js")), QByteArray("one();\n"));
    EXPECT_FALSE(QFile::exists(path("new.html")));
    EXPECT_EQ(gitOutput(m_site.path(), {"status", "--porcelain", "--", ":(exclude).kestrion-chats"}), "");
}

// Each git process start costs more than the work it does; a slow Undo came from one per file.
TEST_F(TurnGitTest, undoAsksGitAFixedNumberOfTimesWhateverTheNumberOfFiles) {
    QList<std::pair<QString, QByteArray>> many;
    for (int i = 0; i < 12; ++i) {
        many.append({QStringLiteral("page%1.html").arg(i), QByteArray::number(i)});
    }
    const QString third = turn(many, "history 3");
    QTemporaryDir bin;
    const QString counter = bin.filePath("git");
    const QString log = bin.filePath("calls");
    writeFile(counter, QStringLiteral("#!/bin/sh\necho >> '%1'\nexec /usr/bin/git \"$@\"\n").arg(log).toUtf8());
    QFile::setPermissions(counter, QFile::permissions(counter) | QFileDevice::ExeOwner);

    const TurnGit::RevertOutcome undone =
        TurnGit::revert(m_site.path(), third, "Undo", TurnGit::EditedFiles::Keep, counter);
    ASSERT_EQ(undone.status, Status::Done) << undone.reason.toStdString();
    EXPECT_EQ(undone.paths.size(), 12);
    EXPECT_LE(readFile(log).count('\n'), 12) << "git calls for one undo";
}

TEST_F(TurnGitTest, changesOfATurnListSiteFilesWithDiffsAndPictures) {
    const QByteArray png = test::FakeOpenAIServer::samplePng();
    const QString third = turn({{"images/hero.png", png}, {"index.html", "<h1>Three</h1>\n"}}, "history 3");
    const TurnGit::Changes changes = TurnGit::changesOf(m_site.path(), third);
    ASSERT_FALSE(changes.error) << changes.error->toStdString();
    ASSERT_EQ(changes.files.size(), 2);
    EXPECT_EQ(changes.files[0].path, "images/hero.png");
    EXPECT_EQ(changes.files[0].status, QLatin1Char('A'));
    EXPECT_TRUE(changes.files[0].image);
    EXPECT_TRUE(changes.files[0].before.isEmpty());
    EXPECT_EQ(changes.files[0].after, png);
    EXPECT_EQ(changes.files[1].path, "index.html");
    EXPECT_TRUE(changes.files[1].patch.contains("-<h1>Two</h1>\n+<h1>Three</h1>"))
        << changes.files[1].patch.toStdString();

    const TurnGit::Changes firstTurn = TurnGit::changesOf(m_site.path(), first);
    ASSERT_FALSE(firstTurn.error);
    EXPECT_EQ(firstTurn.files.size(), 3) << "against nothing, without the app's own files";

    EXPECT_EQ(TurnGit::changesOf(m_site.path(), QString(40, QLatin1Char('b'))).error, TurnGit::commitGoneMessage);
}

} // namespace
