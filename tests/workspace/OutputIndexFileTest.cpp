#include "workspace/OutputIndexFile.h"

#include "TreeFixture.h"

#include <QFile>
#include <QStringList>
#include <gmock/gmock.h>

using namespace kestrion;
using kestrion::test::TreeFixture;

namespace {

std::string str(const std::optional<QString>& text) {
    return text ? text->toStdString() : std::string("<nothing>");
}

} // namespace

TEST(OutputIndexFileIndexPage, prefersHtmThenHtmlAndNeedsAReadableFile) {
    EXPECT_FALSE(OutputIndexFile::url(std::nullopt));

    TreeFixture tree;
    EXPECT_FALSE(OutputIndexFile::url(tree.root()));
    tree.writeFile(QStringLiteral("index.html"), "<p>html</p>");
    EXPECT_EQ(str(OutputIndexFile::url(tree.root())), str(tree.path(QStringLiteral("index.html"))));
    tree.writeFile(QStringLiteral("index.htm"), "<p>htm</p>");
    EXPECT_EQ(str(OutputIndexFile::url(tree.root())), str(tree.path(QStringLiteral("index.htm"))));
    EXPECT_EQ(str(OutputIndexFile::url(tree.root() + QLatin1Char('/'))), str(tree.path(QStringLiteral("index.htm"))));
}

TEST(OutputIndexFileIndexPage, aFolderNamedLikeTheIndexIsNoPage) {
    TreeFixture tree;
    tree.makeFolder(QStringLiteral("index.htm"));
    EXPECT_FALSE(OutputIndexFile::url(tree.root()));
    tree.writeFile(QStringLiteral("index.html"));
    EXPECT_EQ(str(OutputIndexFile::url(tree.root())), str(tree.path(QStringLiteral("index.html"))));
}

TEST(OutputIndexFileIndexPage, skipsAnUnreadableIndexHtm) {
    if (test::runningAsRoot()) {
        GTEST_SKIP() << "running as root, which reads files whatever their permissions";
    }
    TreeFixture tree;
    tree.writeFile(QStringLiteral("index.htm"));
    tree.writeFile(QStringLiteral("index.html"));
    ASSERT_TRUE(QFile::setPermissions(tree.path(QStringLiteral("index.htm")), QFileDevice::Permissions()));
    EXPECT_EQ(str(OutputIndexFile::url(tree.root())), str(tree.path(QStringLiteral("index.html"))));
}

TEST(OutputIndexFileResolve, keepsPathsStrictlyInsideTheRoot) {
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
        EXPECT_EQ(str(OutputIndexFile::absoluteFileURLIfUnderRoot(root, c.relative)), str(c.expected))
            << c.relative.toStdString();
    }
    EXPECT_EQ(str(OutputIndexFile::absoluteFileURLIfUnderRoot(QStringLiteral("/srv/./x/../site/"), "a.css")),
              "/srv/site/a.css");
}

TEST(OutputIndexFileResolve, strictSubpathNeedsASeparatorAfterTheRoot) {
    struct Case {
        const char* root;
        const char* candidate;
        bool expected;
    };
    const Case cases[] = {
        {"/site", "/site/x", true},
        {"/site/", "/site/x", true},
        {"/site", "/site/a/../x", true},
        {"/site", "/site", false},
        {"/site", "/site/", false},
        {"/site", "/site/.", false},
        {"/site", "/site2/x", false},
        {"/site", "/sit", false},
        {"/site", "/site/../site2/x", false},
        {"/", "/x", true},
        {"/", "/", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OutputIndexFile::isStrictFileSubpath(QString::fromUtf8(c.root), QString::fromUtf8(c.candidate)),
                  c.expected)
            << c.candidate << " under " << c.root;
    }
}

TEST(OutputIndexFileClassification, comparesLowerCasedExtensions) {
    struct Case {
        const char* path;
        bool image;
        bool previewable;
        bool editable;
    };
    const Case cases[] = {
        {"logo.SVG", true, true, false},           {"a/b/photo.jpeg", true, true, false},
        {"pic.avif", true, true, false},           {"scan.TIFF", true, true, false},
        {"icon.bmp", true, true, false},           {"style.CSS", false, true, true},
        {"index.htm", false, true, true},          {"Page.HTML", false, true, true},
        {"site.webmanifest", false, false, false}, {"app.js", false, false, false},
        {"README", false, false, false},           {"folder.png/file", false, false, false},
        {"archive.html.gz", false, false, false},  {"trailing.", false, false, false},
    };
    for (const auto& c : cases) {
        const QString path = QString::fromUtf8(c.path);
        EXPECT_EQ(OutputIndexFile::isImageFile(path), c.image) << c.path;
        EXPECT_EQ(OutputIndexFile::isPreviewableWebFile(path), c.previewable) << c.path;
        EXPECT_EQ(OutputIndexFile::isSourceEditableFileURL(QStringLiteral("/site/") + path), c.editable) << c.path;
    }
}

TEST(OutputIndexFileReadText, fallsBackFromUtf8ToUtf16ToLossyUtf8) {
    TreeFixture tree;
    struct Case {
        const char* name;
        QByteArray bytes;
        QString expected;
    };
    const Case cases[] = {
        {"utf8.css", QByteArray("body { content: \"\xc3\xa9\"; }"), QStringLiteral("body { content: \"é\"; }")},
        {"bom8.css", QByteArray("\xef\xbb\xbfp{}"), QStringLiteral("p{}")},
        {"utf16le.htm",
         QByteArray("\xff\xfe"
                    "h\0i\0",
                    6),
         QStringLiteral("hi")},
        {"utf16be.htm", QByteArray("\xfe\xff\0h\0i", 6), QStringLiteral("hi")},
        // Odd length cannot be UTF-16: the invalid byte becomes U+FFFD.
        {"latin1.htm", QByteArray("caf\xe9!"), QStringLiteral("caf\uFFFD!")},
        {"empty.css", QByteArray(), QString()},
    };
    for (const auto& c : cases) {
        const QString name = QString::fromUtf8(c.name);
        tree.writeFile(name, c.bytes);
        const auto text = OutputIndexFile::readTextFile(tree.path(name));
        ASSERT_TRUE(text.has_value()) << c.name;
        EXPECT_EQ(text->toStdString(), c.expected.toStdString()) << c.name;
    }
    EXPECT_FALSE(OutputIndexFile::readTextFile(tree.path(QStringLiteral("missing.css"))));
    tree.makeFolder(QStringLiteral("folder.css"));
    EXPECT_FALSE(OutputIndexFile::readTextFile(tree.path(QStringLiteral("folder.css"))));
}

TEST(OutputIndexFileStylesheetPage, escapesTheTextInsideTheFixedMonospacedPage) {
    TreeFixture tree;
    tree.writeFile(QStringLiteral("site.css"), "ul > li::after { content: \"<b> & &lt;\"; }\n");
    const auto page = OutputIndexFile::htmlDocumentShowingCSSFile(tree.path(QStringLiteral("site.css")));
    ASSERT_TRUE(page.has_value());
    const QString expected =
        QStringLiteral("<!DOCTYPE html>\n"
                       "<html><head><meta charset=\"utf-8\">\n"
                       "<style>\n"
                       "  body { font-family: ui-monospace, Menlo, monospace; font-size: 13px; margin: 12px;\n"
                       "         color: #111; background: #fff; }\n"
                       "  pre { white-space: pre-wrap; word-break: break-word; margin: 0; }\n"
                       "</style></head><body><pre>"
                       "ul &gt; li::after { content: &quot;&lt;b&gt; &amp; &amp;lt;&quot;; }\n"
                       "</pre></body></html>");
    EXPECT_EQ(page->toStdString(), expected.toStdString());
    EXPECT_FALSE(OutputIndexFile::htmlDocumentShowingCSSFile(tree.path(QStringLiteral("absent.css"))));
}

TEST(OutputIndexFilePreviewKey, isTheStandardizedPathALineFeedAndTheCounter) {
    EXPECT_EQ(OutputIndexFile::previewLoadKey(QStringLiteral("/site/./a/../b.css"), 3),
              QStringLiteral("/site/b.css\n3"));
    EXPECT_EQ(OutputIndexFile::previewLoadKey(QStringLiteral("/site/b.css/"), -2), QStringLiteral("/site/b.css\n-2"));
    EXPECT_NE(OutputIndexFile::previewLoadKey(QStringLiteral("/site/b.css"), 1),
              OutputIndexFile::previewLoadKey(QStringLiteral("/site/b.css"), 2));
    EXPECT_NE(OutputIndexFile::previewLoadKey(QStringLiteral("/site/a.css"), 1),
              OutputIndexFile::previewLoadKey(QStringLiteral("/site/b.css"), 1));
}

TEST(OutputIndexFileWritable, resolvesLinksOfTheFileTheParentAndTheRoot) {
    TreeFixture outside;
    outside.writeFile(QStringLiteral("passwd"), "secret");
    TreeFixture tree;
    tree.makeFolder(QStringLiteral("site/sub"));
    tree.writeFile(QStringLiteral("site/index.html"));
    tree.makeFolder(QStringLiteral("site2"));
    tree.makeLink(outside.root(), QStringLiteral("site/notes"));
    tree.makeLink(outside.path(QStringLiteral("passwd")), QStringLiteral("site/evil.css"));
    tree.makeLink(outside.path(QStringLiteral("new.css")), QStringLiteral("site/dangling.css"));
    tree.makeLink(QStringLiteral("index.html"), QStringLiteral("site/alias.html"));
    tree.makeLink(QStringLiteral("../site2/x.css"), QStringLiteral("site/sideways.css"));
    tree.makeLink(QStringLiteral("loop.css"), QStringLiteral("site/loop.css"));
    tree.makeLink(tree.path(QStringLiteral("site")), QStringLiteral("linkedsite"));
    const QString root = tree.path(QStringLiteral("site"));

    struct Case {
        QString file;
        QString root;
        bool expected;
    };
    const Case cases[] = {
        {tree.path(QStringLiteral("site/index.html")), root, true},
        {tree.path(QStringLiteral("site/sub/new.css")), root, true},      // not written yet
        {tree.path(QStringLiteral("site/alias.html")), root, true},       // link that stays inside
        {tree.path(QStringLiteral("linkedsite/index.html")), root, true}, // same files reached through a link
        {tree.path(QStringLiteral("site/index.html")), tree.path(QStringLiteral("linkedsite")), true},
        {tree.path(QStringLiteral("site/notes/passwd")), root, false}, // folder link leading out
        {tree.path(QStringLiteral("site/notes/fresh.css")), root, false},
        {tree.path(QStringLiteral("site/evil.css")), root, false},     // file link leading out
        {tree.path(QStringLiteral("site/dangling.css")), root, false}, // would create a file outside
        {tree.path(QStringLiteral("site/sideways.css")), root, false}, // sibling sharing the prefix
        {tree.path(QStringLiteral("site2/x.css")), root, false},
        {tree.path(QStringLiteral("site/../site2/x.css")), root, false},
        {tree.path(QStringLiteral("site/loop.css")), root, false},
        {tree.path(QStringLiteral("site/missing/new.css")), root, false}, // parent does not exist
        {tree.path(QStringLiteral("site/sub")), root, false},             // a folder is not a file
        {root, root, false},
        {tree.path(QStringLiteral("site/index.html")), tree.path(QStringLiteral("absent")), false},
        {QString(), root, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OutputIndexFile::isWritableLocationUnderRoot(c.file, c.root), c.expected)
            << c.file.toStdString() << " under " << c.root.toStdString();
    }
}

TEST(OutputIndexFileWritable, textualResolutionStillReadsThroughInnerLinks) {
    // Reading keeps its textual contract; only writing resolves links.
    TreeFixture tree;
    tree.makeFolder(QStringLiteral("site"));
    tree.makeLink(QStringLiteral("/etc"), QStringLiteral("site/notes"));
    const auto resolved = OutputIndexFile::absoluteFileURLIfUnderRoot(tree.path(QStringLiteral("site")),
                                                                      QStringLiteral("notes/hostname"));
    ASSERT_TRUE(resolved.has_value());
    EXPECT_FALSE(OutputIndexFile::isWritableLocationUnderRoot(*resolved, tree.path(QStringLiteral("site"))));
}
