#include "support/SitePath.h"

#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrion::SitePath {
namespace {

using test::readFile;
using test::writeFile;

void link(const QString& target, const QString& at) {
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()), 0)
        << at.toStdString();
}

TEST(SitePathText, refusesControlCharactersLoneSurrogatesAndEscapesThemForDisplay) {
    struct Case {
        QString path;
        bool safe;
        QString shown;
    };
    const QString nul = QString(QChar(0));
    const QList<Case> cases{
        {QStringLiteral("index.html"), true, QStringLiteral("index.html")},
        {QStringLiteral("img/\U0001F600.png"), true, QStringLiteral("img/\U0001F600.png")},
        {QStringLiteral("shell.php") + nul + QStringLiteral(".html"), false, QStringLiteral("shell.php\\u0000.html")},
        {QStringLiteral(".git") + nul + QStringLiteral(".txt"), false, QStringLiteral(".git\\u0000.txt")},
        {QStringLiteral("a\nb.html"), false, QStringLiteral("a\\u000ab.html")},
        {QStringLiteral("a\x1b[31m.html"), false, QStringLiteral("a\\u001b[31m.html")},
        {QStringLiteral("a\x7f.css"), false, QStringLiteral("a\\u007f.css")},
        {QStringLiteral("a\u0085.css"), false, QStringLiteral("a\\u0085.css")},
        {QStringLiteral("a") + QChar(0xD800) + QStringLiteral(".css"), false, QStringLiteral("a\\ud800.css")},
        {QStringLiteral("a") + QChar(0xDC00) + QStringLiteral(".css"), false, QStringLiteral("a\\udc00.css")},
        {QStringLiteral("../x.html"), false, QStringLiteral("../x.html")},
        {QStringLiteral("a\\..\\x.html"), false, QStringLiteral("a\\..\\x.html")},
        {QStringLiteral("/etc/x.html"), false, QStringLiteral("/etc/x.html")},
        {QStringLiteral("~/x.html"), false, QStringLiteral("~/x.html")},
        {QStringLiteral("  "), false, QStringLiteral("  ")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isSafeRelativePath(c.path), c.safe) << escapedForDisplay(c.path).toStdString();
        EXPECT_EQ(escapedForDisplay(c.path), c.shown);
    }
    for (const char* path : {"", "\n", "a/../b.htm", "\\\\server\\x.htm", " /x.htm", "a/..", ".."}) {
        EXPECT_FALSE(isSafeRelativePath(QString::fromUtf8(path))) << path;
    }
    for (const char* path :
         {"./index.htm", "a//b.css", "...htm", ".", "a/.../b.htm", "C:/x.htm", "my page.htm", "a~/b.htm"}) {
        EXPECT_TRUE(isSafeRelativePath(QString::fromUtf8(path))) << path;
    }
    EXPECT_TRUE(namesPrivateFolder(QStringLiteral("a/.GIT/config")));
    EXPECT_TRUE(namesPrivateFolder(QStringLiteral(".Kestrion-Chats\\x.json")));
    EXPECT_FALSE(namesPrivateFolder(QStringLiteral("a/.github/x.yml")));
}

class SitePathTest : public ::testing::Test {
protected:
    // The site sits two folders deep so a link climbing out of it has
    // somewhere to land that the test can watch.
    QString outside(const QString& name) const { return m_dir.path() + QStringLiteral("/a/") + name; }
    QString root() const { return m_dir.path() + QStringLiteral("/a/b/site"); }
    QString at(const QString& relative) const { return root() + QLatin1Char('/') + relative; }

    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(root()));
        writeFile(outside(QStringLiteral(".bashrc")), "original");
        writeFile(at(QStringLiteral(".bashrc")), "decoy");
        writeFile(at(QStringLiteral(".git/config")), "[core]");
        writeFile(at(QStringLiteral(".kestrion-chats/chat_history.json")), "{}");
    }

    QTemporaryDir m_dir;
};

TEST(SitePathText, aTreePathBecomesALocationOnlyStrictlyInsideTheRoot) {
    const QString root = QStringLiteral("/srv/site");
    struct Case {
        QString relative;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {QStringLiteral("index.htm"), QStringLiteral("/srv/site/index.htm")},
        {QStringLiteral("  about.html \n"), QStringLiteral("/srv/site/about.html")},
        {QStringLiteral("a//./b.htm"), QStringLiteral("/srv/site/a/b.htm")},
        {QStringLiteral("assets/sub/helper.js"), QStringLiteral("/srv/site/assets/sub/helper.js")},
        {QStringLiteral("dir/"), QStringLiteral("/srv/site/dir")},
        {QStringLiteral("ünï côde.css"), QStringLiteral("/srv/site/ünï côde.css")},
        {QStringLiteral("...hidden"), QStringLiteral("/srv/site/...hidden")},
        {QStringLiteral("/etc/passwd"), std::nullopt},
        {QStringLiteral("  /etc/passwd"), std::nullopt},
        {QString(), std::nullopt},
        {QStringLiteral("   "), std::nullopt},
        {QStringLiteral("."), std::nullopt},
        {QStringLiteral("./."), std::nullopt}, // standardizes to the root itself
        {QStringLiteral(".//"), std::nullopt},
        {QStringLiteral(".."), std::nullopt},
        {QStringLiteral("a/../b.htm"), std::nullopt}, // stays inside, but any ".." piece is refused
        {QStringLiteral("../site2/x.htm"), std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(locationOf(root, c.relative), c.expected) << c.relative.toStdString();
    }
    EXPECT_EQ(locationOf(QStringLiteral("/srv/./x/../site/"), QStringLiteral("a.css")),
              QStringLiteral("/srv/site/a.css"));
    EXPECT_EQ(locationOf(QStringLiteral("/"), QStringLiteral("a.css")), QStringLiteral("/a.css"));
}

TEST(SitePathText, strictlyBelowNeedsASeparatorAfterTheRoot) {
    struct Case {
        const char* root;
        const char* candidate;
        std::optional<QString> relative;
    };
    const Case cases[] = {
        {"/site", "/site/x", QStringLiteral("x")},
        {"/site/", "/site/x/y", QStringLiteral("x/y")},
        {"/site", "/site/a/../x", QStringLiteral("x")},
        {"/site", "/site", std::nullopt},
        {"/site", "/site/", std::nullopt},
        {"/site", "/site/.", std::nullopt},
        {"/site", "/site2/x", std::nullopt},
        {"/site", "/sit", std::nullopt},
        {"/site", "/site/../site2/x", std::nullopt},
        {"/", "/x", QStringLiteral("x")},
        {"/", "/", std::nullopt},
    };
    for (const auto& c : cases) {
        const QString root = QString::fromUtf8(c.root);
        const QString candidate = QString::fromUtf8(c.candidate);
        EXPECT_EQ(relativeBelow(root, candidate), c.relative) << c.candidate << " under " << c.root;
        EXPECT_EQ(isStrictlyBelow(root, candidate), c.relative.has_value()) << c.candidate << " under " << c.root;
    }
}

TEST_F(SitePathTest, decidesOnTheFullyResolvedLocation) {
    ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("d1/d2/d3"))));
    ASSERT_TRUE(QDir().mkpath(at(QStringLiteral(".GIT"))));
    // The chain: X/a.html leads to the decoy inside, not to the text
    // "../../../.bashrc" read against X/.
    link(QStringLiteral("d1/d2/d3"), at(QStringLiteral("X")));
    link(QStringLiteral("../../../.bashrc"), at(QStringLiteral("d1/d2/d3/a.html")));
    link(QStringLiteral(".git/config"), at(QStringLiteral("theme.css")));
    link(QStringLiteral(".kestrion-chats/chat_history.json"), at(QStringLiteral("x.json")));
    link(QStringLiteral(".GIT/config"), at(QStringLiteral("upper.css")));
    link(QStringLiteral("d1/../.git"), at(QStringLiteral("gitdir")));
    link(outside(QStringLiteral(".bashrc")), at(QStringLiteral("abs.html")));
    link(QStringLiteral("../../nowhere/x.html"), at(QStringLiteral("dangling.html")));
    link(QStringLiteral("/dev/zero"), at(QStringLiteral("zero.html")));
    link(QStringLiteral("loop2.html"), at(QStringLiteral("loop1.html")));
    link(QStringLiteral("loop1.html"), at(QStringLiteral("loop2.html")));
    link(QStringLiteral("d1"), at(QStringLiteral("inside")));
    link(QStringLiteral("."), at(QStringLiteral("self")));

    struct Case {
        QString path;
        Refusal refusal;
        QString resolved;
    };
    const QList<Case> cases{
        {QStringLiteral("X/a.html"), Refusal::None, QStringLiteral(".bashrc")},
        {QStringLiteral("inside/new/page.html"), Refusal::None, QStringLiteral("d1/new/page.html")},
        {QStringLiteral("self/self/index.html"), Refusal::None, QStringLiteral("index.html")},
        {QStringLiteral("theme.css"), Refusal::Private, {}},
        {QStringLiteral("x.json"), Refusal::Private, {}},
        {QStringLiteral("upper.css"), Refusal::Private, {}},
        {QStringLiteral("gitdir/hooks/pre-commit"), Refusal::Private, {}},
        {QStringLiteral(".git/config"), Refusal::Private, {}},
        {QStringLiteral("abs.html"), Refusal::Outside, {}},
        {QStringLiteral("dangling.html"), Refusal::Outside, {}},
        {QStringLiteral("zero.html"), Refusal::Outside, {}},
        {QStringLiteral("loop1.html"), Refusal::Unresolvable, {}},
        {QStringLiteral("self"), Refusal::Outside, {}},
        {QStringLiteral("a") + QChar(0) + QStringLiteral(".html"), Refusal::UnsafeText, {}},
    };
    const Site site(root());
    for (const Case& c : cases) {
        const Resolution r = site.resolve(c.path);
        EXPECT_EQ(r.refusal, c.refusal) << c.path.toStdString();
        if (c.refusal == Refusal::None) {
            EXPECT_EQ(r.relativePath, c.resolved) << c.path.toStdString();
        }
    }
    EXPECT_EQ(site.resolveLocation(at(QStringLiteral("X/a.html"))).relativePath, QStringLiteral(".bashrc"));
    EXPECT_EQ(site.resolveLocation(outside(QStringLiteral("x.html"))).refusal, Refusal::Outside);
    EXPECT_EQ(Site(m_dir.path() + QStringLiteral("/missing")).resolve(QStringLiteral("a.html")).refusal,
              Refusal::RootMissing);

    // Writing through the chain lands on the decoy; the file outside is untouched.
    ASSERT_TRUE(site.write(QStringLiteral("X/a.html"), "written").ok());
    EXPECT_EQ(readFile(outside(QStringLiteral(".bashrc"))), "original");
    EXPECT_EQ(readFile(at(QStringLiteral(".bashrc"))), "written");
    EXPECT_TRUE(QFileInfo(at(QStringLiteral("d1/d2/d3/a.html"))).isSymLink());
}

TEST_F(SitePathTest, aSiteReachedThroughALinkIsResolvedOnce) {
    link(root(), m_dir.path() + QStringLiteral("/alias"));
    const Site site(m_dir.path() + QStringLiteral("/alias"));
    ASSERT_TRUE(site.write(QStringLiteral("css/site.css"), "body{}").ok());
    EXPECT_EQ(readFile(at(QStringLiteral("css/site.css"))), "body{}");
    EXPECT_TRUE(site.resolveLocation(m_dir.path() + QStringLiteral("/alias/css/site.css")).ok());
    EXPECT_TRUE(site.resolveLocation(at(QStringLiteral("css/site.css"))).ok());
}

TEST_F(SitePathTest, locationsCountOnlyStrictlyBelowTheRootAsGivenOrResolved) {
    ASSERT_TRUE(QDir().mkpath(root() + QStringLiteral("2")));
    link(QStringLiteral("../site2/x.css"), at(QStringLiteral("sideways.css")));
    link(root(), m_dir.path() + QStringLiteral("/linkedsite"));
    const Site site(root());
    const Site linked(m_dir.path() + QStringLiteral("/linkedsite"));
    struct Case {
        const Site& site;
        QString location;
        Refusal refusal;
    };
    const QList<Case> cases{
        {site, at(QStringLiteral("sub/new.css")), Refusal::None},
        {linked, at(QStringLiteral("index.html")), Refusal::None},
        {linked, m_dir.path() + QStringLiteral("/linkedsite/index.html"), Refusal::None},
        {site, root() + QStringLiteral("2/x.css"), Refusal::Outside}, // a sibling sharing the prefix
        {site, at(QStringLiteral("../site2/x.css")), Refusal::Outside},
        {site, at(QStringLiteral("sideways.css")), Refusal::Outside},
        {site, root(), Refusal::Outside},
        {site, at(QStringLiteral(".kestrion-chats/chat_history.json")), Refusal::Private},
        {site, at(QStringLiteral("a")) + QChar(0) + QStringLiteral(".css"), Refusal::UnsafeText},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.site.resolveLocation(c.location).refusal, c.refusal) << escapedForDisplay(c.location).toStdString();
    }
}

TEST_F(SitePathTest, resolvedContainmentFollowsLinksAndNamesWhatDoesNotExistYet) {
    ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("real/deeper"))));
    ASSERT_TRUE(QDir().mkpath(root() + QStringLiteral("2")));
    link(root(), m_dir.path() + QStringLiteral("/alias"));
    link(QStringLiteral("real"), at(QStringLiteral("shortcut")));
    link(QStringLiteral("../../.."), at(QStringLiteral("real/up")));
    const QString alias = m_dir.path() + QStringLiteral("/alias");
    struct Case {
        QString root;
        QString path;
        std::optional<QString> relative;
    };
    const QList<Case> cases{
        {root(), at(QStringLiteral("real/deeper")), QStringLiteral("real/deeper")},
        {root(), at(QStringLiteral("not/yet/made")), QStringLiteral("not/yet/made")},
        {root(), alias + QStringLiteral("/new"), QStringLiteral("new")},
        {alias, at(QStringLiteral("new")), QStringLiteral("new")},
        // A link is followed before the ".." after it.
        {root(), at(QStringLiteral("shortcut/deeper")), QStringLiteral("real/deeper")},
        {root(), at(QStringLiteral("shortcut/../real")), QStringLiteral("real")},
        {root(), at(QStringLiteral("real/up/new")), std::nullopt},
        {root(), at(QStringLiteral("real/up/b/site/new")), QStringLiteral("new")},
        {root(), root(), std::nullopt},
        {root(), alias, std::nullopt},
        {root(), root() + QStringLiteral("2/x"), std::nullopt},
        {root(), outside(QStringLiteral("x")), std::nullopt},
        {m_dir.path() + QStringLiteral("/missing"), m_dir.path() + QStringLiteral("/missing/x"), std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(resolvedRelativeBelow(c.root, c.path), c.relative)
            << c.path.toStdString() << " under " << c.root.toStdString();
    }
    EXPECT_EQ(resolvedPath(at(QStringLiteral("shortcut/new/../x"))), at(QStringLiteral("real/x")));
}

TEST_F(SitePathTest, aFolderSwappedForALinkAfterTheDecisionIsNotWrittenThrough) {
    ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("sub"))));
    const Site site(root());
    const Resolution decided = site.resolve(QStringLiteral("sub/.bashrc"));
    ASSERT_TRUE(decided.ok());
    ASSERT_TRUE(QDir(at(QStringLiteral("sub"))).removeRecursively());
    link(outside(QString()), at(QStringLiteral("sub")));
    EXPECT_FALSE(site.write(decided, "evil").ok());
    EXPECT_EQ(readFile(outside(QStringLiteral(".bashrc"))), "original");
}

TEST_F(SitePathTest, writesAreAtomicKeepTheModeAndReportFolderProblems) {
    const Site site(root());
    writeFile(at(QStringLiteral("run.html")), "old");
    ASSERT_EQ(::chmod(QFile::encodeName(at(QStringLiteral("run.html"))).constData(), 0640), 0);
    ASSERT_TRUE(site.write(QStringLiteral("run.html"), "new").ok());
    EXPECT_EQ(readFile(at(QStringLiteral("run.html"))), "new");
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(at(QStringLiteral("run.html"))).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(QDir(root()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral(".tmp-")).size(), 0);

    const WriteResult underFile = site.write(QStringLiteral("run.html/deeper/x.css"), "x");
    EXPECT_TRUE(underFile.error.contains(QStringLiteral("exists and is not a folder")))
        << underFile.error.toStdString();
    ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("folder.html"))));
    EXPECT_FALSE(site.write(QStringLiteral("folder.html"), "x").ok());

    // Folders made ahead of a slow step are the ones the write then uses.
    const Resolution later = site.resolve(QStringLiteral("img/big/pic.png"));
    ASSERT_TRUE(site.makeFolders(later).ok());
    EXPECT_TRUE(QFileInfo(at(QStringLiteral("img/big"))).isDir());
    EXPECT_FALSE(QFileInfo::exists(at(QStringLiteral("img/big/pic.png"))));
    ASSERT_TRUE(site.write(later, "png").ok());
    EXPECT_EQ(readFile(at(QStringLiteral("img/big/pic.png"))), "png");
    EXPECT_FALSE(site.makeFolders(site.resolve(QStringLiteral("run.html/x/pic.png"))).ok());
}

TEST_F(SitePathTest, readsOnlyRegularFilesUpToTheirCapWithoutBlocking) {
    const Site site(root());
    writeFile(at(QStringLiteral("index.html")), "<p>hi</p>");
    ASSERT_EQ(::mkfifo(QFile::encodeName(at(QStringLiteral("pipe.html"))).constData(), 0600), 0);
    link(QStringLiteral("/dev/zero"), at(QStringLiteral("zero.html")));

    EXPECT_EQ(site.read(site.resolve(QStringLiteral("index.html")), 100).bytes, "<p>hi</p>");
    EXPECT_EQ(site.read(site.resolve(QStringLiteral("index.html")), 4).status, ReadResult::Status::TooLarge);
    EXPECT_EQ(site.read(site.resolve(QStringLiteral("pipe.html")), 100).status, ReadResult::Status::NotRegular);
    EXPECT_EQ(site.read(site.resolve(QStringLiteral("zero.html")), 100).status, ReadResult::Status::Refused);
    EXPECT_EQ(site.read(site.resolve(QStringLiteral("none.html")), 100).status, ReadResult::Status::Missing);

    // A head read cuts a larger file instead of refusing it, and still never
    // opens a pipe or leaves the site.
    EXPECT_EQ(site.readHead(site.resolve(QStringLiteral("index.html")), 4).bytes, "<p>h");
    EXPECT_EQ(site.readHead(site.resolve(QStringLiteral("index.html")), 100).bytes, "<p>hi</p>");
    EXPECT_EQ(site.readHead(site.resolve(QStringLiteral("pipe.html")), 100).status, ReadResult::Status::NotRegular);
    EXPECT_EQ(site.readHead(site.resolve(QStringLiteral("zero.html")), 100).status, ReadResult::Status::Refused);

    EXPECT_EQ(readRegularFileNoFollow(at(QStringLiteral("pipe.html")), 100).status, ReadResult::Status::NotRegular);
    EXPECT_EQ(readRegularFileNoFollow(at(QStringLiteral("zero.html")), 100).status, ReadResult::Status::Refused);
    EXPECT_EQ(readRegularFileNoFollow(at(QStringLiteral("index.html")), 100).bytes, "<p>hi</p>");
}

TEST_F(SitePathTest, theChatsFolderIsNeverALink) {
    const QString chats = at(QStringLiteral(".kestrion-chats"));
    ASSERT_TRUE(QDir(chats).removeRecursively());
    const QString elsewhere = m_dir.path() + QStringLiteral("/elsewhere");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    for (const QString& target : {elsewhere, m_dir.path() + QStringLiteral("/dangling")}) {
        link(target, chats);
        const PathResult folder = ensureChatsFolder(root());
        ASSERT_TRUE(folder.ok()) << folder.error.toStdString();
        EXPECT_FALSE(QFileInfo(chats).isSymLink());
        EXPECT_TRUE(QFileInfo(chats).isDir());
        ASSERT_TRUE(writeFileNoFollow(chats + QStringLiteral("/chat_history.json"), "{}").ok());
        EXPECT_TRUE(QDir(elsewhere).isEmpty());
        ASSERT_TRUE(QDir(chats).removeRecursively());
    }
    const QStringList aside = QDir(root()).entryList({QStringLiteral(".kestrion-chats.unreadable-*")},
                                                     QDir::AllEntries | QDir::Hidden | QDir::System);
    EXPECT_EQ(aside.size(), 2);

    // A link at a store file's name is replaced by the write, not written through.
    ASSERT_TRUE(ensureChatsFolder(root()).ok());
    link(outside(QStringLiteral(".bashrc")), chats + QStringLiteral("/chat_history.json"));
    ASSERT_TRUE(writeFileNoFollow(chats + QStringLiteral("/chat_history.json"), "{}").ok());
    EXPECT_EQ(readFile(outside(QStringLiteral(".bashrc"))), "original");
    EXPECT_FALSE(ensureChatsFolder(m_dir.path() + QStringLiteral("/missing")).ok());
}

} // namespace
} // namespace kestrion::SitePath
