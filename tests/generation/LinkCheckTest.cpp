#include "generation/LinkCheck.h"

#include "generation/LinkTarget.h"
#include "generation/PageReferences.h"
#include "generation/ProjectMaterializer.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

using kestrion::test::writeFile;

void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace kestrion::LinkCheck {

void PrintTo(const BrokenLink& link, std::ostream* os) {
    *os << link.page.toStdString() << " -> " << link.target.toStdString();
}

namespace {

struct TargetCase {
    const char* page;
    const char* link;
    std::optional<QString> expected;
};

TEST(LinkCheckTarget, resolvesWhatTheLinkNamesInTheSite) {
    const TargetCase cases[] = {
        {"index.html", "team.jpg", QStringLiteral("team.jpg")},
        {"blog/post.html", "img/a.png", QStringLiteral("blog/img/a.png")},
        {"blog/post.html", "../style.css", QStringLiteral("style.css")},
        {"blog/deep/post.html", "/img/a.png", QStringLiteral("img/a.png")},
        {"index.html", "  img/a.png\n", QStringLiteral("img/a.png")},
        {"index.html", "a.css?v=3#top", QStringLiteral("a.css")},
        {"index.html", "my%20photo%C3%A9.jpg", QString::fromUtf8("my photo\u00e9.jpg")},
        {"index.html", "./x//y.png", QStringLiteral("x/y.png")},
        {"index.html", "about/", QStringLiteral("about")},
        {"index.html", "/", QString()},
        {"blog/post.html", "..", QString()},
        {"index.html", "../outside.png", QStringLiteral("..")},
        {"index.html", "/../../etc/passwd", QStringLiteral("..")},
        // Not checked: other schemes, network paths, fragments, the page itself.
        {"index.html", "https://example.com/a.png", std::nullopt},
        {"index.html", "HTTP://example.com/a.png", std::nullopt},
        {"index.html", "//cdn.example.com/a.js", std::nullopt},
        {"index.html", "mailto:a@b.c", std::nullopt},
        {"index.html", "tel:+123", std::nullopt},
        {"index.html", "data:image/png;base64,AAAA", std::nullopt},
        {"index.html", "javascript:void(0)", std::nullopt},
        {"index.html", "#contact", std::nullopt},
        {"index.html", "?page=2", std::nullopt},
        {"index.html", "", std::nullopt},
    };
    for (const TargetCase& c : cases) {
        EXPECT_EQ(siteTarget(QString::fromUtf8(c.page), QString::fromUtf8(c.link)), c.expected)
            << c.page << " -> " << c.link;
    }
}

TEST(LinkCheckReferences, srcsetListsEveryCandidateUrl) {
    EXPECT_EQ(srcsetUrls(u"a.jpg 1x, b.jpg 2x"), (QStringList{"a.jpg", "b.jpg"}));
    EXPECT_EQ(srcsetUrls(u"  small.png 480w,big.png   1024w  "), (QStringList{"small.png", "big.png"}));
    EXPECT_EQ(srcsetUrls(u"a.jpg 1x,b.jpg 2x"), (QStringList{"a.jpg", "b.jpg"}));
    // A comma inside a URL belongs to it, as browsers read it.
    EXPECT_EQ(srcsetUrls(u"a,b.jpg"), (QStringList{"a,b.jpg"}));
    EXPECT_EQ(srcsetUrls(u"a.jpg, b.jpg,"), (QStringList{"a.jpg", "b.jpg"}));
    EXPECT_EQ(srcsetUrls(u"only.webp"), (QStringList{"only.webp"}));
    EXPECT_EQ(srcsetUrls(u""), QStringList());
}

TEST(LinkCheckReferences, cssFindsUrlsAndImportsButNotCommentsOrOtherStrings) {
    const QString css = QStringLiteral("@import \"base.css\";\n@import url(print.css) print;\n"
                                       "/* url(commented.png) */\n"
                                       "body { background: URL( 'bg.png' ) no-repeat; }\n"
                                       ".a::after { content: \"url(not-a-link.png)\"; }\n"
                                       "@font-face { src: url(\"f.woff2\") format('woff2'), url(f.woff); }\n"
                                       ".b { mask: myurl(x.png); }\n");
    EXPECT_EQ(cssReferences(css), (QStringList{"base.css", "print.css", "bg.png", "f.woff2", "f.woff"}));
}

TEST(LinkCheckReferences, htmlTakesLinkAttributesInlineStylesAndStyleElements) {
    const QByteArray html = "<!doctype html><html><head><link rel=stylesheet href='s.css'>"
                            "<style>h1 { background: url(h.png) }</style>"
                            "<script src=\"app.js\"></script></head><body>"
                            "<img src=a.png srcset=\"a1.png 1x, a2.png 2x\">"
                            "<video poster=\"p.jpg\"><source src=\"v.mp4\"></video>"
                            "<div style=\"background-image: url('d.png')\">"
                            "<a href=\"about.html\">About</a></div>"
                            "<p data-src=\"ignored.png\">url(not-css.png)</p></body></html>";
    EXPECT_EQ(htmlReferences(html), (QStringList{"s.css", "h.png", "app.js", "a.png", "a1.png", "a2.png", "p.jpg",
                                                 "v.mp4", "d.png", "about.html"}));
}

TEST(LinkCheckReferences, brokenMarkupAndDeepNestingStillParse) {
    QByteArray nested;
    for (int i = 0; i < 2000; ++i) {
        nested += "<div><img src=a.png><br/>";
    }
    nested += "<img src=deep.png>";
    EXPECT_EQ(htmlReferences(nested).last(), QStringLiteral("deep.png"));
    // Far deeper than any real page: read as far as the limit, quickly.
    QByteArray deep = "<img src=first.png>";
    for (int i = 0; i < 1000000; ++i) {
        deep += "<div>";
    }
    deep += "<img src=deep.png>";
    EXPECT_EQ(htmlReferences(deep), QStringList{"first.png"});
    EXPECT_TRUE(htmlReferences(QByteArray("\xff\xfe<a href=\"x\0y\">", 16)).size() <= 1);
}

class LinkCheckSiteTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString path(const QString& relative) const { return m_dir.filePath(relative); }
    void write(const char* relative, const QByteArray& bytes = "x") {
        writeFile(path(QString::fromUtf8(relative)), bytes);
    }

    QTemporaryDir m_dir;
};

TEST_F(LinkCheckSiteTest, reportsExactlyTheLinksToMissingSiteFiles) {
    write("img/team.jpg");
    write("img/logo one.png");
    write("css/site.css", "@import 'reset.css';\nbody { background: url(../img/team.jpg) }\n"
                          ".x { background: url('../img/gone.png') }\n");
    write("about/index.html", "<a href=\"../index.html\">home</a>");
    write("blog/post.html", "<img src=\"../img/team.jpg\"><img src=\"/img/team.jpg?v=2#x\">"
                            "<a href=\"/about/\">about</a><a href=\"../about\">about</a><a href=\"/nothing/\">n</a>");
    write("index.html", "<link rel=stylesheet href=\"css/site.css\">"
                        "<img src=\"img/logo%20one.png\"><img src=\"img/Team.JPG\">"
                        "<img srcset=\"img/team.jpg 1x, img/team@2x.jpg 2x\">"
                        "<a href=\".git/config\">git</a><a href=\".kestrion-chats/chat_history.json\">chats</a>"
                        "<a href=\"https://example.com/x.png\">web</a><a href=\"#top\">top</a>"
                        "<a href=\"mailto:a@b.c\">mail</a><img src=\"../outside.png\">"
                        "<img src=\"img/team.jpg\"><img src=\"img/Team.JPG\">");
    write(".git/config", "[core]");
    write(".kestrion-chats/chat_history.json", "{}");
    write("notes.txt", "<a href=\"missing.html\">not a page</a>");

    const QList<BrokenLink> expected = {
        {"blog/post.html", "/nothing/"}, {"css/site.css", "../img/gone.png"},
        {"css/site.css", "reset.css"},   {"index.html", "../outside.png"},
        {"index.html", ".git/config"},   {"index.html", ".kestrion-chats/chat_history.json"},
        {"index.html", "img/Team.JPG"},  {"index.html", "img/team@2x.jpg"},
    };
    EXPECT_EQ(check(m_dir.path()), expected);
}

TEST_F(LinkCheckSiteTest, linksThroughSymlinksCountOnlyWhenTheyStayInside) {
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    writeFile(outside.filePath(QStringLiteral("secret.png")), "s");
    write("real.png");
    ASSERT_TRUE(QFile::link(path(QStringLiteral("real.png")), path(QStringLiteral("alias.png"))));
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("secret.png")), path(QStringLiteral("escape.png"))));
    ASSERT_TRUE(QFile::link(outside.path(), path(QStringLiteral("elsewhere"))));
    // A page that is a link out of the site is not read.
    writeFile(outside.filePath(QStringLiteral("foreign.html")), "<img src=\"foreign-missing.png\">");
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("foreign.html")), path(QStringLiteral("foreign.html"))));
    write("index.html", "<img src=alias.png><img src=escape.png><img src=elsewhere/secret.png>");

    const QList<BrokenLink> expected = {{"index.html", "elsewhere/secret.png"}, {"index.html", "escape.png"}};
    EXPECT_EQ(check(m_dir.path()), expected);
}

TEST_F(LinkCheckSiteTest, aSiteWithoutBrokenLinksOrFolderReportsNothing) {
    write("index.html", "<img src=a.png><a href=\"\">self</a><a href=\"./\">self</a>");
    write("a.png");
    EXPECT_TRUE(check(m_dir.path()).isEmpty());
    EXPECT_TRUE(check(path(QStringLiteral("missing"))).isEmpty());
}

// The cache never changes an answer: after each step, a check with the kept
// cache says what a check with none says.
TEST_F(LinkCheckSiteTest, aKeptCacheAnswersLikeAFreshCheckThroughEveryChange) {
    write("index.html", "<img src=a.jpg><a href=about/>about</a><link rel=stylesheet href=site.css>");
    write("site.css", "body { background: url(bg.png) }");
    for (int i = 0; i < 12; ++i) { // enough pages to be parsed on several threads
        write(QStringLiteral("p/page%1.html").arg(i).toUtf8().constData(),
              QStringLiteral("<img src=../img/%1.png>").arg(i).toUtf8());
    }
    PageLinksCache kept;
    const auto sameAsFresh = [&](const char* step) {
        PageLinksCache fresh;
        const QList<BrokenLink> expected = check(m_dir.path(), fresh);
        EXPECT_EQ(check(m_dir.path(), kept), expected) << step;
        EXPECT_EQ(check(m_dir.path(), kept), expected) << step << ", read from the cache";
        // Only a linked page, which has no stamp of its own, is read again.
        EXPECT_EQ(kept.lastParsed(), QFileInfo(path("p/page2.html")).isSymLink() ? 1 : 0) << step;
    };
    const struct {
        const char* step;
        std::function<void()> change;
    } steps[] = {
        {"first check", [] {}},
        {"a target appears", [&] { write("a.jpg"); }},
        {"a folder gets its index", [&] { write("about/index.html", "<a href=../missing.html>x</a>"); }},
        {"a target goes", [&] { QFile::remove(path("a.jpg")); }},
        {"several images appear", [&] { write("img/3.png"), write("img/7.png"); }},
        {"a page is rewritten", [&] { write("site.css", "body { background: url(bg2.png) }"); }},
        {"a page goes", [&] { QFile::remove(path("p/page0.html")); }},
        {"a page is renamed", [&] { QFile::rename(path("p/page1.html"), path("p/renamed.html")); }},
        {"a page becomes a link to another",
         [&] {
             QFile::remove(path("p/page2.html"));
             QFile::link(path("index.html"), path("p/page2.html"));
         }},
        {"the linked-to page changes", [&] { write("index.html", "<img src=other.jpg>"); }},
    };
    for (const auto& step : steps) {
        step.change();
        sameAsFresh(step.step);
    }
}

TEST_F(LinkCheckSiteTest, aPageWrittenInPlaceIsReadAgainEvenWithItsSizeAndTimeKept) {
    write("index.html", "<img src=a.jpg>");
    PageLinksCache cache;
    EXPECT_EQ(check(m_dir.path(), cache), (QList<BrokenLink>{{"index.html", "a.jpg"}}));
    const QString index = path("index.html");
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(index).constData(), &before), 0);
    {
        QFile file(index);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.write("<img src=b.jpg>");
    }
    // Same inode, same size, and the modification time set back.
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(index).constData(), times, 0), 0);
    EXPECT_EQ(check(m_dir.path(), cache), (QList<BrokenLink>{{"index.html", "b.jpg"}}));
    EXPECT_EQ(cache.lastParsed(), 1);
}

TEST_F(LinkCheckSiteTest, theCacheStaysWithinItsBoundAndForgetsRemovedPages) {
    for (int i = 0; i < 40; ++i) {
        write(QStringLiteral("page%1.html").arg(i).toUtf8().constData(),
              QStringLiteral("<img src=missing%1-with-a-long-enough-name.jpg>").arg(i).toUtf8());
    }
    PageLinksCache small(2000);
    PageLinksCache fresh;
    const QList<BrokenLink> expected = check(m_dir.path(), fresh);
    EXPECT_EQ(expected.size(), 40);
    EXPECT_EQ(check(m_dir.path(), small), expected);
    EXPECT_LE(small.bytes(), 2000);
    EXPECT_GT(small.size(), 0);
    EXPECT_LT(small.size(), 40);
    EXPECT_EQ(check(m_dir.path(), small), expected);
    EXPECT_GT(small.lastParsed(), 0); // what did not fit is read again

    for (int i = 0; i < 40; ++i) {
        QFile::remove(path(QStringLiteral("page%1.html").arg(i)));
    }
    EXPECT_TRUE(check(m_dir.path(), fresh).isEmpty());
    EXPECT_EQ(fresh.size(), 0);
    EXPECT_EQ(fresh.bytes(), 0);
}

// A check takes its directory's cache out while it runs, so a second check at
// once starts cold instead of sharing it; only the latest directories are kept.
TEST(LinkCheckSiteCaches, keepTheLatestDirectoriesAndLendEachCacheToOneCheck) {
    SiteCaches caches;
    const auto site = [](std::size_t i) { return QStringLiteral("/site%1").arg(i); };
    // Each cache is told apart by a mark a new one does not have.
    const auto mark = [](const std::unique_ptr<PageLinksCache>& cache) { return cache->lastParsed(); };
    for (std::size_t i = 0; i < SiteCaches::maxSites; ++i) {
        std::unique_ptr<PageLinksCache> cache = caches.take(site(i));
        EXPECT_EQ(mark(cache), 0);
        cache->setLastParsed(int(i) + 1);
        caches.put(site(i), std::move(cache));
    }
    std::unique_ptr<PageLinksCache> lent = caches.take(site(0));
    EXPECT_EQ(mark(lent), 1);
    EXPECT_EQ(mark(caches.take(site(0))), 0); // lent out: a check meanwhile starts cold
    caches.put(site(0), std::move(lent));     // the latest again

    caches.put(QStringLiteral("/other"), std::make_unique<PageLinksCache>());
    EXPECT_EQ(mark(caches.take(site(0))), 1);
    EXPECT_EQ(mark(caches.take(site(1))), 0); // the oldest was forgotten
    EXPECT_EQ(mark(caches.take(site(2))), 3);
}

TEST(LinkCheckSummary, rowIsSortedCappedAndEscaped) {
    EXPECT_EQ(summaryRow({}), QString());
    EXPECT_EQ(summaryRow({{"index.html", "team.jpg"}, {"a\nb.html", "x.css"}}),
              QString::fromUtf8("**Broken links:** `index.html` \u2192 `team.jpg`, `a\\u000ab.html` \u2192 `x.css`"));

    QList<BrokenLink> many;
    for (int i = 0; i < 23; ++i) {
        many.append({QStringLiteral("p.html"), QStringLiteral("%1.png").arg(i, 2, 10, QLatin1Char('0'))});
    }
    const QString row = summaryRow(many);
    EXPECT_TRUE(row.contains(QStringLiteral("`19.png`, and 3 more"))) << row.toStdString();
    EXPECT_FALSE(row.contains(QStringLiteral("`20.png`")));
    EXPECT_TRUE(row.endsWith(QStringLiteral("and 3 more")));
}

TEST(LinkCheckSummary, isTheLastRowOfTheTurnSummaryOnlyWhenSomethingIsBroken) {
    ProjectMaterializer::Result result;
    result.writtenRelativePaths = {QStringLiteral("index.html")};
    result.skippedUnsafePaths = {QStringLiteral("../x")};
    const QString without = ProjectMaterializer::summaryText(result);
    result.brokenLinks = {{QStringLiteral("index.html"), QStringLiteral("team.jpg")}};
    EXPECT_EQ(ProjectMaterializer::summaryText(result),
              without + QString::fromUtf8("\n**Broken links:** `index.html` \u2192 `team.jpg`"));
}

} // namespace
} // namespace kestrion::LinkCheck
