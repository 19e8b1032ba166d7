#include "generation/ProjectMaterializer.h"

#include "openai/OpenAIService.h"
#include "support/FakeOpenAIServer.h"
#include "support/TestFiles.h"
#include "support/Unprivileged.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtConcurrent>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace kestrion::ProjectMaterializer {
namespace {

using test::FakeOpenAIServer;
using test::ScriptedResponse;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using test::gitOutput;
using test::readFile;
using test::writeFile;

int commitCount(const QString& dir) {
    return gitOutput(dir, {"rev-list", "--all", "--count"}).toInt();
}

// A real picture, so the conversion is checked by decoding what lands on disk.
QImage sampleImage() {
    QImage image(48, 32, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            image.setPixel(x, y, qRgb(x * 5, y * 7, (x + y) * 3));
        }
    }
    return image;
}

QByteArray encoded(const QImage& image, const char* format, int quality = -1) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format, quality));
    return bytes;
}

ScriptedResponse imageResponse(const QByteArray& bytes) {
    return ScriptedResponse::json(200, FakeOpenAIServer::imageB64Body(bytes));
}

QString fileBlock(const QString& path, const QString& content) {
    return QStringLiteral("<<<FILE path=\"%1\">>>\n%2\n<<<END_FILE>>>\n").arg(path, content);
}

QString imageBlock(const QString& attributes, const QString& prompt) {
    return QStringLiteral("<<<IMAGE %1>>>\n%2\n<<<END_IMAGE>>>\n").arg(attributes, prompt);
}

class ProjectMaterializerTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    QTemporaryDir m_outside;
    FakeOpenAIServer m_fake;
    OpenAIService m_openAI{m_fake.apiBaseUrl()};

    QString root() const { return m_dir.path(); }
    QString at(const QString& relative) const { return root() + QLatin1Char('/') + relative; }

    // The way the application calls it: on a pool thread, the result handed back by value.
    Result run(const QString& reply, const QString& gitPath = QStringLiteral("/usr/bin/git")) {
        return QtConcurrent::run(
                   [&] { return materialize(reply, root(), QStringLiteral("sk-test"), m_openAI, gitPath); })
            .result();
    }
};

TEST_F(ProjectMaterializerTest, replyWithoutBlocksChangesNothingEvenWithoutDirectory) {
    const Result result = materialize(QStringLiteral("Sure, here is some advice."), root() + "/missing", "k", m_openAI);
    EXPECT_TRUE(summaryText(result).isEmpty());
    EXPECT_FALSE(result.errorMessage);
    EXPECT_FALSE(result.gitExitCode);
    EXPECT_FALSE(QFileInfo::exists(root() + "/.git"));
}

TEST_F(ProjectMaterializerTest, missingDirectoryIsReportedAndNothingRuns) {
    const QString missing = root() + "/missing";
    const Result result =
        materialize(fileBlock("index.htm", "x") + imageBlock("path=\"a.png\"", "a cat"), missing, "k", m_openAI);
    EXPECT_EQ(result.errorMessage, "Website directory does not exist: " + missing);
    EXPECT_THAT(result.writtenRelativePaths, IsEmpty());
    EXPECT_FALSE(result.gitExitCode);
    EXPECT_EQ(m_fake.http().requestCount(), 0);
    EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST_F(ProjectMaterializerTest, textBlocksAreSortedIntoWrittenAndSkipped) {
    const QString reply = fileBlock("logo.png", "not bytes") + fileBlock("../logo.PNG", "x") +
                          fileBlock("api.php", "<?php") + fileBlock("Makefile", "all:") + fileBlock("/etc/x.htm", "x") +
                          fileBlock("css/site.css", "body{}") + fileBlock(" index.htm", "leading space") +
                          fileBlock("index.htm", "first") + fileBlock(".htaccess", "x") +
                          fileBlock("notes.TXT", QString::fromUtf8("caf\u00e9")) + fileBlock("index.htm", "second");
    const Result result = run(reply);

    EXPECT_THAT(result.skippedBinaryFileBlocks, ElementsAre("logo.png", "../logo.PNG"));
    EXPECT_THAT(result.skippedNonFrontEndFilePaths, ElementsAre("api.php", "Makefile", ".htaccess"));
    EXPECT_THAT(result.skippedUnsafePaths, ElementsAre("/etc/x.htm"));
    EXPECT_THAT(result.writtenRelativePaths,
                ElementsAre("css/site.css", " index.htm", "index.htm", "notes.TXT", "index.htm"));
    EXPECT_THAT(result.generatedImagePaths, IsEmpty());
    EXPECT_FALSE(result.errorMessage);

    EXPECT_EQ(readFile(at("css/site.css")), "body{}");
    EXPECT_EQ(readFile(at(" index.htm")), "leading space");
    EXPECT_EQ(readFile(at("index.htm")), "second");
    EXPECT_EQ(readFile(at("notes.TXT")), "caf\xc3\xa9"); // UTF-8, no byte-order mark
    EXPECT_FALSE(QFileInfo::exists(at("logo.png")));
    EXPECT_FALSE(QFileInfo::exists(at("api.php")));

    ASSERT_EQ(result.gitExitCode, 0) << result.gitStderr.toStdString();
    EXPECT_EQ(gitOutput(root(), {"ls-files"}).split('\n'),
              QStringList({" index.htm", "css/site.css", "index.htm", "notes.TXT"}));
    EXPECT_EQ(m_fake.http().requestCount(), 0);
}

TEST_F(ProjectMaterializerTest, applicationFoldersAreRefusedWhateverTheSpelling) {
    writeFile(at(".kestrion-chats/launch_state.json"), "{\"kept\":true}");
    const QStringList refused = {".kestrion-chats/launch_state.json",
                                 ".git/description.txt",
                                 "./.git/info/x.md",
                                 "site//.git/config.json",
                                 "a\\.git\\hooks.js",
                                 "sub/.GIT/x.css",
                                 ".Kestrion-Chats/chat_history.json"};
    QString reply;
    for (const QString& path : refused) {
        reply += fileBlock(path, "{}");
    }
    reply += fileBlock(".gitignore.txt", "fine") + fileBlock("git/.kestrion-chatsx.md", "fine");
    reply += imageBlock("path=\".git/x.png\"", "sneaky");
    const Result result = run(reply);

    EXPECT_EQ(result.skippedUnsafePaths, refused + QStringList{".git/x.png"});
    EXPECT_THAT(result.writtenRelativePaths, ElementsAre(".gitignore.txt", "git/.kestrion-chatsx.md"));
    EXPECT_EQ(readFile(at(".kestrion-chats/launch_state.json")), "{\"kept\":true}");
    EXPECT_FALSE(QFileInfo::exists(at(".git/description.txt")));
    EXPECT_EQ(m_fake.http().requestCount(), 0);
}

TEST_F(ProjectMaterializerTest, symbolicLinksLeadingOutsideAreRefused) {
    ASSERT_TRUE(QFile::link(m_outside.path(), at("assets")));
    ASSERT_TRUE(QFile::link(m_outside.path() + "/secret.htm", at("page.htm")));
    writeFile(m_outside.path() + "/secret.htm", "outside");
    ASSERT_TRUE(QFile::link(root() + "/../no-such-folder-anywhere", at("gone")));
    QDir().mkpath(at("real"));
    ASSERT_TRUE(QFile::link(at("real"), at("inner")));
    ASSERT_TRUE(QFile::link("real", at("relative")));

    const QString reply = fileBlock("assets/.bashrc.txt", "pwned") + fileBlock("assets/new/deep/x.css", "x") +
                          fileBlock("page.htm", "overwrite") + fileBlock("gone/x.htm", "x") +
                          fileBlock("inner/ok.htm", "inside") + fileBlock("relative/sub/ok.css", "inside too") +
                          imageBlock("path=\"assets/pic.png\"", "a picture");
    const Result result = run(reply);

    EXPECT_THAT(result.skippedUnsafePaths,
                ElementsAre("assets/.bashrc.txt", "assets/new/deep/x.css", "page.htm", "gone/x.htm", "assets/pic.png"));
    EXPECT_THAT(result.writtenRelativePaths, ElementsAre("inner/ok.htm", "relative/sub/ok.css"));
    EXPECT_EQ(QDir(m_outside.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"secret.htm"});
    EXPECT_EQ(readFile(m_outside.path() + "/secret.htm"), "outside");
    EXPECT_EQ(readFile(at("real/ok.htm")), "inside");
    EXPECT_EQ(readFile(at("real/sub/ok.css")), "inside too");
    EXPECT_EQ(m_fake.http().requestCount(), 0);
}

TEST_F(ProjectMaterializerTest, websiteDirectoryReachedThroughALinkStillWorks) {
    QDir().mkpath(at("site"));
    ASSERT_TRUE(QFile::link(at("site"), at("alias")));
    const Result result =
        materialize(fileBlock("index.htm", "linked root"), at("alias"), "k", m_openAI, QStringLiteral("/usr/bin/git"));
    EXPECT_THAT(result.writtenRelativePaths, ElementsAre("index.htm"));
    EXPECT_EQ(readFile(at("site/index.htm")), "linked root");
}

TEST_F(ProjectMaterializerTest, imagesAreRequestedOneByOneAfterTextAndWrittenAsTheirPathAsks) {
    const QImage picture = sampleImage();
    const QByteArray png = encoded(picture, "PNG");
    std::vector<bool> textFileExistedAtRequest;
    int call = 0;
    m_fake.http().handle("POST", FakeOpenAIServer::imagePath, [&](const test::RecordedRequest&) {
        textFileExistedAtRequest.push_back(QFileInfo::exists(at("index.htm")));
        switch (call++) {
        case 0:
            return imageResponse(png);
        case 1:
            return ScriptedResponse::json(500, R"({"error":"overloaded"})");
        case 2:
            return imageResponse("definitely not an image");
        default:
            return imageResponse("also not an image");
        }
    });
    const QString reply = QStringLiteral("Here you go.\n") + imageBlock("path=\"a/hero.JPG\"", "a hero") +
                          imageBlock("path=\"fail.png\" size=\"1536x1024\" model=\"dall-e-2\"", "fails") +
                          imageBlock("path=\"raw.png\" size=\"\" model=\"\"", "raw bytes") +
                          imageBlock("path=\"broken.jpeg\"", "undecodable") +
                          imageBlock("path=\"hero.svg\"", "vector") + imageBlock("path=\"../up.png\"", "escape") +
                          fileBlock("index.htm", "<p>text first</p>");
    const Result result = run(reply);

    EXPECT_THAT(result.writtenRelativePaths, ElementsAre("index.htm", "a/hero.JPG", "raw.png", "broken.jpeg"));
    EXPECT_THAT(result.generatedImagePaths, ElementsAre("a/hero.JPG", "raw.png", "broken.jpeg"));
    EXPECT_THAT(result.skippedNonFrontEndImagePaths, ElementsAre("hero.svg"));
    EXPECT_THAT(result.skippedUnsafePaths, ElementsAre("../up.png"));
    EXPECT_THAT(result.imageErrors,
                ElementsAre(ImageError{"fail.png", OpenAIError::http(500, R"({"error":"overloaded"})").description()}));
    EXPECT_EQ(textFileExistedAtRequest, std::vector<bool>(4, true));

    const auto requests = m_fake.imageRequests();
    ASSERT_EQ(requests.size(), 4);
    const auto field = [&](int i, const char* key) { return requests[i].jsonBody().value(key).toString(); };
    EXPECT_EQ(field(0, "prompt"), "a hero");
    EXPECT_EQ(field(0, "model"), "gpt-image-1");
    EXPECT_EQ(field(0, "size"), "1024x1024");
    EXPECT_EQ(field(1, "model"), "dall-e-2");
    EXPECT_EQ(field(2, "model"), ""); // present but empty: passed as it is
    EXPECT_EQ(requests[0].header("Authorization"), "Bearer sk-test");

    // The JPEG path holds a real JPEG of the picture, encoded at quality 85.
    const QByteArray written = readFile(at("a/hero.JPG"));
    EXPECT_EQ(written, encoded(picture, "JPEG", 85));
    QBuffer buffer;
    buffer.setData(written);
    QImageReader reader(&buffer);
    EXPECT_EQ(reader.format(), "jpeg");
    EXPECT_EQ(reader.read().size(), picture.size());

    EXPECT_EQ(readFile(at("raw.png")), "definitely not an image"); // no conversion for .png
    EXPECT_EQ(readFile(at("broken.jpeg")), "also not an image");   // undecodable: kept as received
    EXPECT_FALSE(QFileInfo::exists(at("fail.png")));

    EXPECT_EQ(result.gitExitCode, 0);
    EXPECT_EQ(gitOutput(root(), {"ls-files"}).split('\n'),
              QStringList({"a/hero.JPG", "broken.jpeg", "index.htm", "raw.png"}));
}

TEST_F(ProjectMaterializerTest, fallbackRunsOnlyWithoutAnyBlock) {
    const QString document = QStringLiteral(
        "<!DOCTYPE html>\n<html><head><title>Recovered</title></head><body><p>Pasted raw</p></body></html>");
    const QString reply = QStringLiteral("Here is the page:\n") + document + QStringLiteral("\nEnjoy.");

    const Result recovered = run(reply);
    EXPECT_THAT(recovered.writtenRelativePaths, ElementsAre("index.htm"));
    EXPECT_THAT(recovered.fallbackRecoveredPaths, ElementsAre("index.htm"));
    ASSERT_EQ(recovered.fallbackBlocksMaterialized.size(), 1);
    EXPECT_EQ(recovered.fallbackBlocksMaterialized[0].rawSpan, document);
    EXPECT_EQ(readFile(at("index.htm")), document.toUtf8());
    EXPECT_EQ(recovered.gitExitCode, 0);

    // With one IMAGE block present, the pasted document is left alone, and the image alone is committed.
    QFile::remove(at("index.htm"));
    m_fake.setDefaultImageReply("gif-ish");
    const Result imageOnly = run(reply + imageBlock("path=\"p.gif\"", "p"));
    EXPECT_THAT(imageOnly.writtenRelativePaths, ElementsAre("p.gif"));
    EXPECT_THAT(imageOnly.fallbackRecoveredPaths, IsEmpty());
    EXPECT_FALSE(QFileInfo::exists(at("index.htm")));
    EXPECT_EQ(imageOnly.gitExitCode, 0);
    EXPECT_EQ(gitOutput(root(), {"ls-files"}), "p.gif");
}

TEST_F(ProjectMaterializerTest, fallbackBlockThatCannotBeWrittenStaysOutOfTheMaterializedList) {
    QDir().mkpath(at("index.htm")); // a folder where the recovered page would go
    const QString document = QStringLiteral(
        "<!DOCTYPE html>\n<html><head><title>Recovered</title></head><body><p>Pasted raw</p></body></html>");
    const Result result = run(document);
    EXPECT_THAT(result.fallbackRecoveredPaths, IsEmpty());
    EXPECT_THAT(result.fallbackBlocksMaterialized, IsEmpty());
    ASSERT_TRUE(result.errorMessage);
    EXPECT_TRUE(result.errorMessage->startsWith("Write failed for index.htm: "));
    EXPECT_FALSE(result.gitExitCode);
}

TEST_F(ProjectMaterializerTest, writeFailuresAreCollectedAndTheRestGoesOn) {
    writeFile(at("page.htm"), "a file, not a folder");
    m_fake.setDefaultImageReply("bytes");
    const QString reply = fileBlock("page.htm/a.css", "x") + fileBlock("ok.css", "fine") +
                          fileBlock("page.htm/deeper/b.js", "y") + imageBlock("path=\"page.htm/pic.png\"", "p");
    const Result result = run(reply);

    EXPECT_THAT(result.writtenRelativePaths, ElementsAre("ok.css"));
    ASSERT_TRUE(result.errorMessage);
    const QStringList lines = result.errorMessage->split('\n');
    ASSERT_EQ(lines.size(), 3); // two lines, each ending in a line feed
    EXPECT_TRUE(lines[0].startsWith("Write failed for page.htm/a.css: ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith("Write failed for page.htm/deeper/b.js: ")) << lines[1].toStdString();
    EXPECT_EQ(lines[2], "");
    ASSERT_EQ(result.imageErrors.size(), 1);
    EXPECT_EQ(result.imageErrors[0].path, "page.htm/pic.png");
    EXPECT_EQ(m_fake.http().requestCount(), 0); // the folder failed before the image was asked for
    EXPECT_EQ(result.gitExitCode, 0);
}

// Root ignores directory modes, so as root the write is tried as an ordinary user.
TEST_F(ProjectMaterializerTest, readOnlyWebsiteDirectoryReportsWriteFailures) {
    QFile::setPermissions(root(), QFile::ReadOwner | QFile::ExeOwner);
    const auto outcome = test::withoutRootPrivileges(root(), [&] {
        const Result result = materialize(fileBlock("index.htm", "x"), root(), QStringLiteral("sk-test"), m_openAI);
        return (result.errorMessage.value_or(QStringLiteral("no error")) +
                (result.gitExitCode ? QStringLiteral(" (git ran)") : QString()))
            .toUtf8();
    });
    QFile::setPermissions(root(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(outcome);
    EXPECT_TRUE(outcome->startsWith("Write failed for index.htm: ")) << outcome->toStdString();
    EXPECT_FALSE(outcome->endsWith(" (git ran)"));
    EXPECT_FALSE(QFileInfo::exists(at("index.htm")));
}

TEST_F(ProjectMaterializerTest, fiveHundredFilesLandInOneCommit) {
    QString reply;
    for (int i = 0; i < 500; ++i) {
        reply += fileBlock(QStringLiteral("pages/p%1.htm").arg(i, 3, 10, QLatin1Char('0')), QString::number(i));
    }
    const Result result = run(reply);
    EXPECT_EQ(result.writtenRelativePaths.size(), 500);
    EXPECT_EQ(readFile(at("pages/p499.htm")), "499");
    EXPECT_EQ(result.gitExitCode, 0);
    EXPECT_EQ(gitOutput(root(), {"ls-files"}).split('\n').size(), 500);
    EXPECT_EQ(commitCount(root()), 1);
}

TEST_F(ProjectMaterializerTest, identicalSecondReplyCommitsNothingAndReportsSuccess) {
    const QString reply = fileBlock("index.htm", "same");
    const Result first = run(reply);
    ASSERT_EQ(first.gitExitCode, 0);
    EXPECT_TRUE(first.gitCommitted);
    const Result second = run(reply);
    EXPECT_EQ(second.gitExitCode, 0);
    EXPECT_FALSE(second.gitCommitted);
    EXPECT_TRUE((second.gitStdout + second.gitStderr).toLower().contains("nothing to commit"));
    EXPECT_TRUE(summaryText(second).startsWith("**Files created:** `index.htm`"));
    EXPECT_FALSE(summaryText(second).contains("Git failed"));
    EXPECT_EQ(commitCount(root()), 1);
}

// The check runs while git commits: it still sees every file the turn wrote, and the commit holds
// the same files as without it.
TEST_F(ProjectMaterializerTest, linksAreCheckedAgainstTheFilesTheTurnWrote) {
    const auto materializeChecking = [&](const QString& reply) {
        return materialize(FileGenerationParser::parseReply(reply), root(), "k", m_openAI,
                           QStringLiteral("/usr/bin/git"), {}, LinkCheckRun::WhileCommitting);
    };
    const Result written =
        materializeChecking(fileBlock("index.html", R"(<link href="style.css"><img src="gone.png">)") +
                            fileBlock("style.css", "body{}") + fileBlock("about.html", R"(<a href="index.html">)"));
    ASSERT_EQ(written.gitExitCode, 0) << written.gitStderr.toStdString();
    EXPECT_THAT(written.brokenLinks, ElementsAre(LinkCheck::BrokenLink{"index.html", "gone.png"}));
    EXPECT_EQ(gitOutput(root(), {"ls-files"}), "about.html\nindex.html\nstyle.css");

    // Nothing written: no check, as no commit.
    const Result refused = materializeChecking(fileBlock("../index.html", R"(<img src="gone.png">)"));
    EXPECT_FALSE(refused.gitExitCode);
    EXPECT_THAT(refused.brokenLinks, IsEmpty());
    // Without the option the caller checks, or not.
    EXPECT_THAT(run(fileBlock("more.html", R"(<img src="gone.png">)")).brokenLinks, IsEmpty());
}

TEST_F(ProjectMaterializerTest, gitFailuresReachTheSummary) {
    writeFile(at(".git"), "gitdir: /elsewhere\n");
    const Result refused = run(fileBlock("index.htm", "x"));
    EXPECT_EQ(refused.gitExitCode, -1);
    EXPECT_EQ(summaryText(refused), "**Files created:** `index.htm`\nGit failed (exit -1).\nThe website folder's .git "
                                    "is not a folder (it is a file or a link); no commit was made.");
    EXPECT_EQ(readFile(at("index.htm")), "x"); // no rollback
    QFile::remove(at(".git"));

    gitOutput(root(), {"init", "-b", "main"});
    writeFile(at(".git/config"), "[core\n");
    const Result broken = run(fileBlock("a.htm", "z"));
    EXPECT_EQ(broken.gitExitCode, 128);
    EXPECT_TRUE(summaryText(broken).contains("Git failed (exit 128).\nfatal: bad config line 1"));

    const Result missingGit = run(fileBlock("b.htm", "y"), root() + "/no-git-here");
    EXPECT_EQ(missingGit.gitExitCode, -1);
    EXPECT_TRUE(missingGit.gitStdout.isEmpty());
    EXPECT_TRUE(summaryText(missingGit).contains("Git failed (exit -1).\n" + missingGit.gitStderr.trimmed()));
}

// A website directory two folders deep in a fresh temporary folder, so a link
// climbing out of it lands on a file the test can watch: <base>/a/.bashrc.
class HostileFolder {
public:
    HostileFolder() {
        EXPECT_TRUE(QDir().mkpath(root()));
        writeFile(outside(".bashrc"), "original");
        writeFile(at(".bashrc"), "decoy");
    }
    QString root() const { return m_base.path() + "/a/b/site"; }
    QString at(const QString& relative) const { return root() + '/' + relative; }
    QString outside(const QString& name) const { return m_base.path() + "/a/" + name; }
    // Written by the command a planted git setting names, should it ever run.
    QString marker() const { return outside("command-ran"); }
    QString fsmonitorConfig() const {
        return "[core]\n\trepositoryformatversion = 0\n\tbare = false\n\tfsmonitor = touch '" + marker() + "'; true\n";
    }
    void link(const QString& target, const QString& relative) const {
        ASSERT_TRUE(QFile::link(target, at(relative))) << relative.toStdString();
    }
    QStringList topLevel() const {
        return QDir(root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                      QDir::Name);
    }

private:
    QTemporaryDir m_base;
};

TEST_F(ProjectMaterializerTest, hostileRepliesWriteNothingOutsideNorIntoPrivateFoldersAndRunNoCommand) {
    const QString nul(QChar(0));
    const QString page = fileBlock("index.html", "<p>kept</p>"); // so that every case commits
    m_fake.setDefaultImageReply("image bytes");
    const auto chain = [](const HostileFolder& f) {
        ASSERT_TRUE(QDir().mkpath(f.at("d1/d2/d3")));
        f.link("d1/d2/d3", "X");
        f.link("../../../.bashrc", "d1/d2/d3/a.html");
        f.link("../../../.bashrc", "d1/d2/d3/a.png");
    };
    const auto repository = [](const HostileFolder& f) { gitOutput(f.root(), {"init", "-q", "-b", "main"}); };
    struct Case {
        const char* name;
        std::function<void(const HostileFolder&)> setUp;
        std::function<QString(const HostileFolder&)> reply;
        QString shownUnsafe; // the summary's line, control characters escaped
        QStringList topLevel;
        std::function<void(const HostileFolder&)> check;
        bool commits = true;
    };
    const QList<Case> cases{
        {"NUL blocks planting a repository with an fsmonitor command",
         [](const HostileFolder&) {},
         [&](const HostileFolder& f) {
             return fileBlock("g/HEAD" + nul + ".txt", "ref: refs/heads/main") +
                    fileBlock("g/config" + nul + ".txt", f.fsmonitorConfig()) +
                    fileBlock("g/objects/k" + nul + ".txt", "k") + fileBlock("g/refs/k" + nul + ".txt", "k") +
                    fileBlock(".git" + nul + ".txt", "gitdir: g") + page;
         },
         "g/HEAD\\u0000.txt, g/config\\u0000.txt, g/objects/k\\u0000.txt, g/refs/k\\u0000.txt, .git\\u0000.txt",
         {".bashrc", ".git", "index.html"},
         [](const HostileFolder& f) {
             EXPECT_TRUE(QFileInfo(f.at(".git")).isDir());
             EXPECT_FALSE(QFileInfo(f.at(".git")).isSymLink());
         }},
        {"NUL hiding an extension past the allowlist",
         [](const HostileFolder&) {},
         [&](const HostileFolder&) {
             return fileBlock("shell.php" + nul + ".html", "<?php system($_GET['c']);") + page;
         },
         "shell.php\\u0000.html",
         {".bashrc", ".git", "index.html"},
         {}},
        {"line feed, escape and DEL",
         [](const HostileFolder&) {},
         [&](const HostileFolder&) {
             return fileBlock("a\nb.html", "x") + fileBlock("c\x1b[31m.css", "x") + fileBlock("d\x7f.js", "x") +
                    imageBlock("path=\"e\x1b.png\"", "p") + page;
         },
         "a\\u000ab.html, c\\u001b[31m.css, d\\u007f.js, e\\u001b.png",
         {".bashrc", ".git", "index.html"},
         {}},
        {"a chain of links for a FILE and an IMAGE block",
         chain,
         [&](const HostileFolder&) {
             return fileBlock("X/a.html", "through the chain") + imageBlock("path=\"X/a.png\"", "p");
         },
         {},
         {".bashrc", ".git", "X", "d1"},
         [](const HostileFolder& f) {
             // Confined: both land on the decoy the links really lead to.
             EXPECT_EQ(readFile(f.at(".bashrc")), "image bytes");
             EXPECT_TRUE(QFileInfo(f.at("d1/d2/d3/a.html")).isSymLink());
         }},
        {"links into .git and .kestrion-chats",
         [&](const HostileFolder& f) {
             repository(f);
             writeFile(f.at(".kestrion-chats/chat_history.json"), "{\"chats\":[]}");
             f.link(".git/config", "theme.css");
             f.link(".kestrion-chats/chat_history.json", "x.json");
         },
         [&](const HostileFolder& f) {
             return fileBlock("theme.css", f.fsmonitorConfig()) + fileBlock("x.json", "{\"chats\":\"gone\"}") + page;
         },
         "theme.css, x.json",
         {".bashrc", ".git", ".kestrion-chats", "index.html", "theme.css", "x.json"},
         [](const HostileFolder& f) {
             EXPECT_FALSE(readFile(f.at(".git/config")).contains("fsmonitor"));
             EXPECT_EQ(readFile(f.at(".kestrion-chats/chat_history.json")), "{\"chats\":[]}");
         }},
        // Git itself refuses to add a ".GIT" folder, so this turn's commit fails.
        {"a link into .GIT",
         [&](const HostileFolder& f) {
             writeFile(f.at(".GIT/config"), "[core]\n");
             f.link(".GIT/config", "upper.css");
         },
         [&](const HostileFolder& f) { return fileBlock("upper.css", f.fsmonitorConfig()) + page; },
         "upper.css",
         {".GIT", ".bashrc", ".git", "index.html", "upper.css"},
         [](const HostileFolder& f) { EXPECT_EQ(readFile(f.at(".GIT/config")), "[core]\n"); },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const HostileFolder folder;
        c.setUp(folder);
        const Result result = materialize(c.reply(folder), folder.root(), "k", m_openAI, "/usr/bin/git");
        const QString summary = summaryText(result);

        if (c.shownUnsafe.isEmpty()) {
            EXPECT_THAT(result.skippedUnsafePaths, IsEmpty());
        } else {
            EXPECT_TRUE(summary.split('\n').contains("Skipped unsafe path(s): " + c.shownUnsafe))
                << summary.toStdString();
        }
        for (const QChar character : summary) {
            EXPECT_TRUE(character == '\n' || character.category() != QChar::Other_Control) << summary.toStdString();
        }
        EXPECT_EQ(folder.topLevel(), c.topLevel);
        EXPECT_EQ(readFile(folder.outside(".bashrc")), "original");
        EXPECT_FALSE(QFileInfo::exists(folder.marker()));
        EXPECT_EQ(result.gitExitCode == 0, c.commits) << result.gitStderr.toStdString();
        if (c.check) {
            c.check(folder);
        }
    }
}

TEST(ConvertToJPEGTest, decodesAnyReadableFormatAndRefusesNonImages) {
    const QImage picture = sampleImage();
    for (const char* format : {"PNG", "WEBP", "BMP", "JPEG"}) {
        SCOPED_TRACE(format);
        const std::optional<QByteArray> jpeg = convertToJPEG(encoded(picture, format), 85);
        ASSERT_TRUE(jpeg);
        EXPECT_TRUE(jpeg->startsWith("\xFF\xD8"));
        EXPECT_EQ(QImage::fromData(*jpeg).size(), picture.size());
    }
    EXPECT_FALSE(convertToJPEG(QByteArray(), 85));
    EXPECT_FALSE(convertToJPEG("<svg/> is text", 85));
    EXPECT_FALSE(convertToJPEG(encoded(picture, "PNG").left(40), 85)); // truncated header
}

} // namespace
} // namespace kestrion::ProjectMaterializer
