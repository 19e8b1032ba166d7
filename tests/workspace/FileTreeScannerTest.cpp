#include "workspace/FileTreeScanner.h"

#include "TreeFixture.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <filesystem>
#include <gmock/gmock.h>

using namespace kestrion;
using kestrion::test::TreeFixture;
using ::testing::ElementsAre;
using ::testing::StartsWith;

namespace {

namespace fs = std::filesystem;

// Top-level names of a node list, in order.
QStringList namesOf(const FileTreeNodes& nodes) {
    QStringList names;
    for (const auto& node : nodes) {
        names << node.name;
    }
    return names;
}

const FileTreeNode* find(const FileTreeNodes& nodes, const QString& id) {
    for (const auto& node : nodes) {
        if (node.id == id) {
            return &node;
        }
        if (node.children) {
            if (const FileTreeNode* found = find(*node.children, id)) {
                return found;
            }
        }
    }
    return nullptr;
}

int depthOf(const FileTreeNodes& nodes) {
    int deepest = 0;
    for (const auto& node : nodes) {
        deepest = std::max(deepest, 1 + (node.children ? depthOf(*node.children) : 0));
    }
    return deepest;
}

std::string str(const QString& text) {
    return text.toStdString();
}

} // namespace

TEST(FileTreeScannerStatus, wordsCountWithSingularPluralAndTruncationNote) {
    struct Case {
        int count;
        bool truncated;
        QString expected;
    };
    const Case cases[] = {
        {0, false, QStringLiteral("0 items")},
        {1, false, QStringLiteral("1 item")},
        {2, false, QStringLiteral("2 items")},
        {1, true, QStringLiteral("1 item \u2014 tree truncated (limit 8000 nodes, depth 28)")},
        {8000, true, QStringLiteral("8000 items \u2014 tree truncated (limit 8000 nodes, depth 28)")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(str(FileTreeScanner::statusLine(c.count, c.truncated)), str(c.expected)) << c.count;
    }
}

TEST(FileTreeScannerIcons, chooseByLowerCasedExtensionOfTheLastComponent) {
    // The table itself is data; these pin how a name is looked up in it.
    const std::pair<const char*, const char*> cases[] = {
        {"x.TSX", "chevron.left.forwardslash.chevron.right"},
        {"Readme.MD", "doc.richtext"},
        {".env", "gearshape"},
        {".gitignore", "arrow.triangle.branch"},
        {"Makefile", "doc"},
        {"archive.tar.gz", "doc"},
        {"trailingdot.", "doc"},
        {"dir.css/plain", "doc"},
        {"dir/site.css/", "paintbrush"},
    };
    for (const auto& [name, icon] : cases) {
        EXPECT_EQ(str(FileTreeScanner::iconFor(QString::fromUtf8(name))), icon) << name;
    }
}

TEST(FileTreeScannerRelativePath, stripsTheRootOnlyAtAComponentBoundary) {
    struct Case {
        const char* path;
        const char* root;
        const char* expected;
    };
    const Case cases[] = {
        {"/site/assets/sub/helper.js", "/site", "assets/sub/helper.js"},
        {"/site/a", "/site/", "a"},
        {"/site/./a/../b", "/site", "b"},
        {"/a", "/", "a"},
        {"/", "/", "."},
        {"/site", "/site", "site"}, // the root itself: its own name
        {"/site2/x", "/site", "x"}, // a sibling sharing the prefix is not below /site
        {"/elsewhere/y", "/site", "y"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(str(FileTreeScanner::relativePath(QString::fromUtf8(c.path), QString::fromUtf8(c.root))), c.expected)
            << c.path << " in " << c.root;
    }
}

TEST(FileTreeScannerScan, missingOrNonFolderRootGivesEmptyTreeAndMessage) {
    TreeFixture tree;
    tree.writeFile(QStringLiteral("plain.txt"), "x");
    for (const QString& root :
         {tree.path(QStringLiteral("absent")), tree.path(QStringLiteral("plain.txt")), QString()}) {
        const auto snapshot = FileTreeScanner::scan(root);
        EXPECT_TRUE(snapshot.nodes.empty()) << str(root);
        EXPECT_EQ(str(snapshot.statusLine), "Folder does not exist.") << str(root);
    }
}

TEST(FileTreeScannerScan, countsItemsOfEmptyAndOneFileFolders) {
    TreeFixture tree;
    EXPECT_EQ(str(FileTreeScanner::scan(tree.root()).statusLine), "0 items");
    tree.writeFile(QStringLiteral("only.txt"));
    const auto snapshot = FileTreeScanner::scan(tree.root());
    EXPECT_EQ(str(snapshot.statusLine), "1 item");
    ASSERT_EQ(snapshot.nodes.size(), 1u);
    EXPECT_EQ(snapshot.nodes[0], (FileTreeNode{QStringLiteral("only.txt"), QStringLiteral("only.txt"),
                                               QStringLiteral("doc"), std::nullopt}));
}

TEST(FileTreeScannerScan, ordersFoldersFirstCaseInsensitivelyAndSkipsOnlyGitAndChats) {
    TreeFixture tree;
    tree.writeFile(QStringLiteral("zeta.txt"));
    tree.writeFile(QStringLiteral("Alpha.TXT"));
    tree.writeFile(QStringLiteral("beta.txt"));
    tree.writeFile(QStringLiteral(".hidden"));
    tree.writeFile(QStringLiteral("with space.HTML"));
    tree.writeFile(QStringLiteral("new\nline.css"));
    tree.writeFile(QStringLiteral("Ünïcode.md"));
    tree.makeFolder(QStringLiteral("Zoo"));
    tree.makeFolder(QStringLiteral("apps"));
    tree.makeFolder(QStringLiteral("node_modules/pkg"));
    tree.writeFile(QStringLiteral(".git/HEAD"));
    tree.writeFile(QStringLiteral(".kestrion-chats/chat_history.json"));
    tree.writeFile(QStringLiteral(".GIT/kept")); // the skip is case-sensitive
    tree.writeFile(QStringLiteral("apps/.git/config"));
    tree.writeFile(QStringLiteral("apps/Main.js"));
    tree.writeFile(QStringLiteral("apps/lib/a.json"));

    const auto snapshot = FileTreeScanner::scan(tree.root());

    EXPECT_EQ(namesOf(snapshot.nodes),
              (QStringList{QStringLiteral(".GIT"), QStringLiteral("apps"), QStringLiteral("node_modules"),
                           QStringLiteral("Zoo"), QStringLiteral(".hidden"), QStringLiteral("Alpha.TXT"),
                           QStringLiteral("beta.txt"), QStringLiteral("new\nline.css"), QStringLiteral("Ünïcode.md"),
                           QStringLiteral("with space.HTML"), QStringLiteral("zeta.txt")}));
    const FileTreeNode* apps = find(snapshot.nodes, QStringLiteral("apps"));
    ASSERT_NE(apps, nullptr);
    ASSERT_TRUE(apps->isFolder());
    EXPECT_EQ(apps->systemImage, QStringLiteral("folder.fill"));
    EXPECT_EQ(namesOf(*apps->children), (QStringList{QStringLiteral("lib"), QStringLiteral("Main.js")}));
    const FileTreeNode* json = find(snapshot.nodes, QStringLiteral("apps/lib/a.json"));
    ASSERT_NE(json, nullptr);
    EXPECT_EQ(json->systemImage, QStringLiteral("curlybraces.square"));
    EXPECT_FALSE(json->isFolder());

    const FileTreeNode* zoo = find(snapshot.nodes, QStringLiteral("Zoo"));
    ASSERT_NE(zoo, nullptr);
    ASSERT_TRUE(zoo->children.has_value()); // an empty folder still reads as a folder
    EXPECT_TRUE(zoo->children->empty());
    EXPECT_NE(find(snapshot.nodes, QStringLiteral("new\nline.css")), nullptr);
    EXPECT_EQ(find(snapshot.nodes, QStringLiteral("with space.HTML"))->systemImage,
              QStringLiteral("doc.richtext.fill"));

    // .GIT, its file, apps, lib, a.json, Main.js, node_modules, pkg, Zoo, and the seven top-level files.
    EXPECT_EQ(str(snapshot.statusLine), "16 items");
}

TEST(FileTreeScannerScan, showsLinksToFoldersAsFilesWithoutEnteringThem) {
    TreeFixture tree;
    tree.writeFile(QStringLiteral("real/inside.txt"));
    tree.makeLink(tree.path(QStringLiteral("real")), QStringLiteral("alias"));
    tree.makeLink(tree.root(), QStringLiteral("real/loop")); // would recurse forever if followed
    tree.makeLink(QStringLiteral("/nonexistent/target"), QStringLiteral("dangling.css"));

    const auto snapshot = FileTreeScanner::scan(tree.root());

    EXPECT_EQ(namesOf(snapshot.nodes),
              (QStringList{QStringLiteral("real"), QStringLiteral("alias"), QStringLiteral("dangling.css")}));
    const FileTreeNode* alias = find(snapshot.nodes, QStringLiteral("alias"));
    ASSERT_NE(alias, nullptr);
    EXPECT_FALSE(alias->isFolder());
    EXPECT_EQ(alias->systemImage, QStringLiteral("doc"));
    EXPECT_EQ(find(snapshot.nodes, QStringLiteral("dangling.css"))->systemImage, QStringLiteral("paintbrush"));
    const FileTreeNode* loop = find(snapshot.nodes, QStringLiteral("real/loop"));
    ASSERT_NE(loop, nullptr);
    EXPECT_FALSE(loop->isFolder());
    EXPECT_EQ(str(snapshot.statusLine), "5 items");
}

TEST(FileTreeScannerScan, showsTheDeepestLevelClosedWithoutTruncationNote) {
    TreeFixture tree;
    const auto folders = [](int depth) { return QStringList(depth, QStringLiteral("d")).join(u'/'); };
    tree.writeFile(folders(40) + QStringLiteral("/deep.txt"));

    const auto snapshot = FileTreeScanner::scan(tree.root());

    EXPECT_EQ(depthOf(snapshot.nodes), 28);
    EXPECT_EQ(str(snapshot.statusLine), "28 items");
    const FileTreeNode* deepest = find(snapshot.nodes, folders(28));
    ASSERT_NE(deepest, nullptr);
    ASSERT_TRUE(deepest->isFolder());
    EXPECT_TRUE(deepest->children->empty());
}

TEST(FileTreeScannerScan, stopsAtTheNodeLimitAndSaysSo) {
    TreeFixture tree(test::fastTemporaryBase());
    tree.writeEmptyFiles(QStringLiteral("."), QStringLiteral("f%1.txt"), 8001);
    const auto snapshot = FileTreeScanner::scan(tree.root());
    ASSERT_EQ(snapshot.nodes.size(), 8000u);
    EXPECT_EQ(snapshot.nodes.back().name, QStringLiteral("f07999.txt")); // the last in order is the one left out
    EXPECT_EQ(str(snapshot.statusLine), "8000 items \u2014 tree truncated (limit 8000 nodes, depth 28)");
}

TEST(FileTreeScannerScan, theLimitStopsEveryEnclosingFolderToo) {
    TreeFixture tree(test::fastTemporaryBase());
    tree.writeFile(QStringLiteral("a/zz/inner"));
    tree.writeEmptyFiles(QStringLiteral("a"), QStringLiteral("f%1"), 7998);
    tree.writeFile(QStringLiteral("b/late"));
    tree.writeFile(QStringLiteral("top.txt"));

    const auto snapshot = FileTreeScanner::scan(tree.root());

    // a (1) + zz (1) + its file (1) + 7997 of a's files = 8000; b and top.txt never appear.
    EXPECT_EQ(namesOf(snapshot.nodes), QStringList{QStringLiteral("a")});
    ASSERT_NE(find(snapshot.nodes, QStringLiteral("a/zz/inner")), nullptr);
    EXPECT_EQ(snapshot.nodes[0].children->size(), 7998u);
    EXPECT_NE(find(snapshot.nodes, QStringLiteral("a/f07996")), nullptr);
    EXPECT_EQ(find(snapshot.nodes, QStringLiteral("a/f07997")), nullptr);
    EXPECT_EQ(str(snapshot.statusLine), "8000 items \u2014 tree truncated (limit 8000 nodes, depth 28)");
}

TEST(FileTreeScannerScan, folderVanishingBeforeItIsReadBecomesAnErrorNode) {
    TreeFixture tree;
    tree.writeFile(QStringLiteral("gone/file.txt"));
    tree.writeFile(QStringLiteral("kept.txt"));
    // The real lister, except that the folder is deleted right after its parent
    // was listed: the race a scan meets when files change under it.
    const QString gone = tree.path(QStringLiteral("gone"));
    const FileTreeScanner::DirectoryLister racingLister = [&](const fs::path& folder) {
        auto listing = FileTreeScanner::listDirectory(folder);
        if (QDir::cleanPath(QFile::decodeName(QByteArray::fromStdString(folder.native()))) == tree.root()) {
            QDir(gone).removeRecursively();
        }
        return listing;
    };

    const auto snapshot = FileTreeScanner::scan(tree.root(), racingLister);

    const FileTreeNode* folder = find(snapshot.nodes, QStringLiteral("gone"));
    ASSERT_NE(folder, nullptr);
    ASSERT_TRUE(folder->isFolder());
    ASSERT_EQ(folder->children->size(), 1u);
    const FileTreeNode& error = folder->children->front();
    EXPECT_EQ(error.id, QStringLiteral("gone/<error>"));
    EXPECT_THAT(str(error.name), StartsWith("(could not read: "));
    EXPECT_THAT(str(error.name), ::testing::EndsWith(")"));
    EXPECT_EQ(error.systemImage, QStringLiteral("exclamationmark.triangle"));
    EXPECT_FALSE(error.isFolder());
    EXPECT_EQ(str(snapshot.statusLine), "2 items"); // the error node is not counted
}

TEST(FileTreeScannerScan, aStopRequestEndsTheWalkBeforeTheNextFolder) {
    TreeFixture tree;
    tree.writeFile(QStringLiteral("a/one.txt"));
    tree.writeFile(QStringLiteral("b/two.txt"));
    std::stop_source stop;
    int listed = 0;
    const FileTreeScanner::DirectoryLister stopAfterTheRoot = [&](const fs::path& folder) {
        ++listed;
        stop.request_stop();
        return FileTreeScanner::listDirectory(folder);
    };

    FileTreeScanner::scan(tree.root(), stopAfterTheRoot, stop.get_token());

    EXPECT_EQ(listed, 1);
    EXPECT_EQ(FileTreeScanner::scan(tree.root(), std::stop_token()).statusLine, QStringLiteral("4 items"));
}

TEST(FileTreeScannerScan, unreadableRootGivesOneTopLevelErrorNodeNamedAfterTheRoot) {
    TreeFixture tree;
    const FileTreeScanner::DirectoryLister failing = [](const fs::path&) {
        return FileTreeScanner::Listing{{}, QStringLiteral("Permission denied")};
    };
    const auto snapshot = FileTreeScanner::scan(tree.root(), failing);
    const QString rootName = QDir(tree.root()).dirName();
    ASSERT_EQ(snapshot.nodes.size(), 1u);
    EXPECT_EQ(snapshot.nodes[0], (FileTreeNode{rootName + QStringLiteral("/<error>"),
                                               QStringLiteral("(could not read: Permission denied)"),
                                               QStringLiteral("exclamationmark.triangle"), std::nullopt}));
    EXPECT_EQ(str(snapshot.statusLine), "0 items");
}

TEST(FileTreeScannerScan, unreadableSubfolderBecomesAnErrorNode) {
    if (test::runningAsRoot()) {
        GTEST_SKIP() << "running as root, which reads folders whatever their permissions; "
                        "folderVanishingBeforeItIsReadBecomesAnErrorNode covers the error node instead";
    }
    TreeFixture tree;
    tree.writeFile(QStringLiteral("locked/secret.txt"));
    ASSERT_TRUE(QFile::setPermissions(tree.path(QStringLiteral("locked")), QFileDevice::Permissions()));
    const auto snapshot = FileTreeScanner::scan(tree.root());
    QFile::setPermissions(tree.path(QStringLiteral("locked")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const FileTreeNode* error = find(snapshot.nodes, QStringLiteral("locked/<error>"));
    ASSERT_NE(error, nullptr);
    EXPECT_THAT(str(error->name), StartsWith("(could not read: "));
    EXPECT_EQ(str(snapshot.statusLine), "1 item");
}
