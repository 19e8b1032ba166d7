#include "context/ProjectContextBuilder.h"
#include "generation/FileGenerationParser.h"
#include "selfcheck/SelfCheckCases.h"
#include "support/SitePath.h"

#include <QSet>
#include <QStringList>
#include <QStringView>
#include <algorithm>

namespace kestrion::ParserSelfCheck {

namespace {

namespace Parser = FileGenerationParser;
namespace Context = ProjectContextBuilder;

// ["a", "b"]: the form in which the inventory cases print path lists.
QString quotedList(const QStringList& paths) {
    QStringList quoted;
    for (const QString& path : paths) {
        quoted << u'"' + path + u'"';
    }
    return u'[' + quoted.join(QStringLiteral(", ")) + u']';
}

QStringList relativePaths(const QList<Context::FileEntry>& files) {
    QStringList paths;
    for (const Context::FileEntry& file : files) {
        paths << file.relativePath;
    }
    return paths;
}

qint64 utf8Length(const QString& text) {
    return text.toUtf8().size();
}

// Cases 10 to 17: a sandbox holding the given files, walked synchronously.
using Files = QList<std::pair<QString, QByteArray>>;

void withProject(const Files& files, const std::function<void(const Context::Snapshot&)>& checks) {
    withSandbox([&](const QString& sandbox) {
        for (const auto& [relativePath, data] : files) {
            writeBytes(relativePath, data, sandbox);
        }
        checks(Context::buildSync(sandbox));
    });
}

// The entry of the list whose relativePath is path, or nullptr.
template <typename Entry>
const Entry* entryAt(const QList<Entry>& entries, QStringView path) {
    const auto it =
        std::find_if(entries.begin(), entries.end(), [path](const Entry& entry) { return entry.relativePath == path; });
    return it == entries.end() ? nullptr : &*it;
}

const QByteArray pngSignature("\x89\x50\x4E\x47", 4);

void listsEveryFileIncludingNestedDirectories() {
    const Files files{{QStringLiteral("index.htm"), "<html><body>hi</body></html>"},
                      {QStringLiteral("styles.css"), "body{background:#fff}"},
                      {QStringLiteral("assets/app.js"), "console.log('x')"},
                      {QStringLiteral("assets/sub/helper.js"), "// nested helper"}};
    withProject(files, [&](const Context::Snapshot& snapshot) {
        QStringList expected;
        for (const auto& file : files) {
            expected << file.first;
        }
        const QStringList actual = relativePaths(snapshot.files);
        if (QSet<QString>(expected.begin(), expected.end()) != QSet<QString>(actual.begin(), actual.end())) {
            fail(QStringLiteral("inventory mismatch") + dash + QStringLiteral("expected ") + quotedList(expected) +
                 QStringLiteral(", got ") + quotedList(actual));
        }
    });
}

void skipsGitAndKestrionChatsAndNodeModules() {
    const Files files{{QStringLiteral("index.htm"), "<html></html>"},
                      {QStringLiteral(".git/HEAD"), "ref: refs/heads/main"},
                      {SitePath::chatsFolderName + QStringLiteral("/chat_history.json"), "{}"},
                      {QStringLiteral("node_modules/foo/package.json"), "{}"},
                      {QStringLiteral(".DS_Store"), "binary junk"}};
    withProject(files, [](const Context::Snapshot& snapshot) {
        const QStringList actual = relativePaths(snapshot.files);
        if (actual != QStringList{QStringLiteral("index.htm")}) {
            fail(QStringLiteral("hidden-dir filter failed") + dash + QStringLiteral("got ") + quotedList(actual));
        }
    });
}

void embedsTextFilesAndMarksBinaryAsNotEmbedded() {
    const Files files{{QStringLiteral("index.htm"), "<!DOCTYPE html><html><body>hello</body></html>"},
                      {QStringLiteral("styles.css"), "body{color:red}"},
                      {QStringLiteral("images/logo.png"), pngSignature}};
    withProject(files, [](const Context::Snapshot& snapshot) {
        QStringList embeddedPaths;
        for (const Context::EmbeddedFile& file : snapshot.embeddedFiles) {
            embeddedPaths << file.relativePath;
        }
        const QString joined = embeddedPaths.join(u'|');
        assertContains(joined, QStringLiteral("index.htm"), QStringLiteral("index.htm should be embedded"));
        assertContains(joined, QStringLiteral("styles.css"), QStringLiteral("styles.css should be embedded"));
        if (embeddedPaths.contains(QStringLiteral("images/logo.png"))) {
            fail(QStringLiteral("PNG must not be embedded as text"));
        }
        const Context::FileEntry* png = entryAt(snapshot.files, u"images/logo.png");
        if (!png) {
            fail(QStringLiteral("PNG entry missing"));
        }
        if (png->isText) {
            fail(QStringLiteral("PNG entry should be flagged non-text"));
        }
        const Context::EmbeddedFile* index = entryAt(snapshot.embeddedFiles, u"index.htm");
        if (!index) {
            fail(QStringLiteral("index.htm embed missing"));
        }
        assertContains(index->body, QStringLiteral("hello"),
                       QStringLiteral("index.htm embed should include body text"));
        if (index->truncated) {
            fail(QStringLiteral("small index.htm should not be marked truncated"));
        }
    });
}

void indexHtmSortsBeforeOtherPages() {
    const Files files{{QStringLiteral("about.htm"), "<html></html>"},
                      {QStringLiteral("zebra.css"), QByteArray()},
                      {QStringLiteral("index.htm"), "<html><body>home</body></html>"},
                      {QStringLiteral("assets/app.js"), QByteArray()}};
    withProject(files, [](const Context::Snapshot& snapshot) {
        const std::optional<QString> first =
            snapshot.files.isEmpty() ? std::nullopt : std::optional<QString>(snapshot.files.first().relativePath);
        assertEqual(first, QStringLiteral("index.htm"), QStringLiteral("index.htm should sort first"));
    });
}

void truncatesFilesLargerThanPerFileCap() {
    withProject({{QStringLiteral("assets/big.js"), QByteArray(16'385, 'a')}}, [](const Context::Snapshot& snapshot) {
        const Context::EmbeddedFile* big = entryAt(snapshot.embeddedFiles, u"assets/big.js");
        if (!big) {
            fail(QStringLiteral("big.js embed missing"));
        }
        if (!big->truncated) {
            fail(QStringLiteral("oversized file should be truncated"));
        }
        assertContains(big->body, QStringLiteral("file truncated"), QStringLiteral("truncation marker should appear"));
        const qint64 length = utf8Length(big->body);
        if (length > 16'584) {
            fail(QStringLiteral("truncated body %1 bytes exceeds cap+slack").arg(length));
        }
    });
}

void totalBudgetCapOmitsLaterFiles() {
    Files files;
    for (int i = 0; i < 10; ++i) {
        files.append({QStringLiteral("pages/page-%1.js").arg(i, 3, 10, QChar(u'0')), QByteArray(16'384, 'b')});
    }
    withProject(files, [](const Context::Snapshot& snapshot) {
        if (snapshot.omittedForBudget.isEmpty()) {
            fail(QStringLiteral("expected omittedForBudget to be non-empty when total exceeds cap"));
        }
        qint64 sum = 0;
        for (const Context::EmbeddedFile& file : snapshot.embeddedFiles) {
            sum += utf8Length(file.body);
        }
        if (sum > 139'264) {
            fail(QStringLiteral("embedded sum %1 bytes exceeds budget+slack").arg(sum));
        }
        assertEqual(snapshot.files.size(), 10, QStringLiteral("all files should still appear in the inventory"));
    });
}

void systemPromptSectionMentionsInventory() {
    const Files files{{QStringLiteral("index.htm"), "<html><body>home</body></html>"},
                      {QStringLiteral("styles.css"), "body{}"},
                      {QStringLiteral("images/logo.png"), pngSignature}};
    withProject(files, [](const Context::Snapshot& snapshot) {
        const QString section = Context::systemPromptSection(snapshot);
        assertContains(section, QStringLiteral("Current project workspace"),
                       QStringLiteral("workspace header missing"));
        assertContains(section, QStringLiteral("index.htm"), QStringLiteral("index.htm missing from inventory"));
        assertContains(section, QStringLiteral("styles.css"), QStringLiteral("styles.css missing from inventory"));
        assertContains(section, QStringLiteral("images/logo.png"), QStringLiteral("png missing from inventory"));
        assertContains(section, QStringLiteral("(binary)"), QStringLiteral("png should be tagged binary"));
        assertContains(section, QStringLiteral("<<<PROJECT_FILE path=\"index.htm\">>>"),
                       QStringLiteral("project-file delimiter missing"));
        assertContains(section, QStringLiteral("<<<END_PROJECT_FILE>>>"),
                       QStringLiteral("project-file closing delimiter missing"));
        assertContains(section, QStringLiteral("home"), QStringLiteral("embedded body text missing"));
    });
}

void emptyFolderAnnouncesWorkspace() {
    withProject({}, [](const Context::Snapshot& snapshot) {
        const QString section = Context::systemPromptSection(snapshot);
        assertContains(section, QStringLiteral("Current project workspace"),
                       QStringLiteral("workspace header missing for empty folder"));
        assertContains(section, QStringLiteral("empty"), QStringLiteral("empty-folder note missing"));
    });
}

void noSnapshotGivesAnEmptySection() {
    // Reported as ok whatever the text: the block for no snapshot is only
    // looked at, as the controller relies on it being empty.
    (void)Context::systemPromptSection(std::nullopt);
}

void systemPromptAppendixReferencesProjectAwareness() {
    const QString appendix = Parser::systemPromptAppendix();
    assertContains(appendix, QStringLiteral("Project awareness"),
                   QStringLiteral("appendix should point model at the project context block"));
    assertContains(appendix, QStringLiteral("Current project workspace"),
                   QStringLiteral("appendix should reference the injected project section header"));
}

} // namespace

QList<Case> contextCases() {
    return {
        {QStringLiteral("projectContext_listsEveryFileIncludingNestedDirectories"),
         listsEveryFileIncludingNestedDirectories},
        {QStringLiteral("projectContext_skipsGitAndKestrionChatsAndNodeModules"),
         skipsGitAndKestrionChatsAndNodeModules},
        {QStringLiteral("projectContext_embedsTextFilesAndMarksBinaryAsNotEmbedded"),
         embedsTextFilesAndMarksBinaryAsNotEmbedded},
        {QStringLiteral("projectContext_indexHtmSortsBeforeOtherPages"), indexHtmSortsBeforeOtherPages},
        {QStringLiteral("projectContext_truncatesFilesLargerThanPerFileCap"), truncatesFilesLargerThanPerFileCap},
        {QStringLiteral("projectContext_totalBudgetCapOmitsLaterFiles"), totalBudgetCapOmitsLaterFiles},
        {QStringLiteral("projectContext_systemPromptSectionMentionsInventory"), systemPromptSectionMentionsInventory},
        {QStringLiteral("projectContext_emptyFolderAnnouncesWorkspace"), emptyFolderAnnouncesWorkspace},
        {QStringLiteral("projectContext_nilSnapshotReturnsEmptyString"), noSnapshotGivesAnEmptySection},
        {QStringLiteral("projectContext_systemPromptAppendixReferencesProjectAwareness"),
         systemPromptAppendixReferencesProjectAwareness},
    };
}

} // namespace kestrion::ParserSelfCheck
