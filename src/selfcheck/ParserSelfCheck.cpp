#include "selfcheck/ParserSelfCheck.h"

#include "context/ProjectContextBuilder.h"
#include "generation/FileGenerationParser.h"
#include "selfcheck/SelfCheckReplies.h"
#include "support/AtomicFile.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QUuid>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>

namespace kestrion::ParserSelfCheck {

namespace {

namespace Parser = FileGenerationParser;
namespace Context = ProjectContextBuilder;
namespace Replies = SelfCheckReplies;

// The separator of every failure message: an em dash with one space each side.
const QString dash = QStringLiteral(" — ");

[[noreturn]] void fail(const QString& message) {
    throw CheckFailure{message};
}

// Written and flushed at once, so the lines of both streams keep the order in
// which they were produced even when they go to the same terminal or file.
void writeLine(std::FILE* stream, const QString& text) {
    const QByteArray bytes = (text + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

QString describe(const std::optional<QString>& value) {
    return value ? QStringLiteral("Optional(\"%1\")").arg(*value) : QStringLiteral("nil");
}

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

std::optional<QString> firstPath(const QList<Parser::FallbackBlock>& blocks) {
    if (blocks.isEmpty()) {
        return std::nullopt;
    }
    return blocks.first().path;
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

const QByteArray pngSignature("\x89\x50\x4E\x47", 4);

void expectOneBlockAt(const QString& reply, const QString& countMessage, const QString& path,
                      const QString& pathMessage) {
    const QList<Parser::FallbackBlock> blocks = Parser::parseFallbackBlocks(reply);
    assertEqual(blocks.size(), 1, countMessage);
    assertEqual(firstPath(blocks), path, pathMessage);
}

// --- cases 1 to 9: fallback recovery ---

void rawDoctypeWithIndexHtmMention() {
    const QList<Parser::FallbackBlock> blocks = Parser::parseFallbackBlocks(Replies::text(Replies::replyA));
    assertEqual(blocks.size(), 1, QStringLiteral("expected exactly one fallback block"));
    if (blocks.isEmpty()) {
        fail(QStringLiteral("no fallback block returned"));
    }
    assertEqual(blocks.first().path, QStringLiteral("index.htm"),
                QStringLiteral("inferred path should match prose mention"));
    assertContains(blocks.first().content, QStringLiteral("<!DOCTYPE html>"),
                   QStringLiteral("block should retain doctype"));
    assertContains(blocks.first().content, QStringLiteral("</html>"),
                   QStringLiteral("block should retain closing tag"));
}

void strippingFallbackContent() {
    const QString reply = Replies::text(Replies::replyB);
    const QList<Parser::FallbackBlock> blocks = Parser::parseFallbackBlocks(reply);
    assertEqual(blocks.size(), 1, QStringLiteral("expected one fallback block"));
    // The chat's display rule for recovered code: spans removed, blank runs
    // squeezed to one empty line, the ends trimmed.
    QString display = reply;
    for (const Parser::FallbackBlock& block : blocks) {
        if (!block.rawSpan.isEmpty()) {
            display.remove(block.rawSpan, Qt::CaseSensitive);
        }
    }
    static const QRegularExpression blankRuns(QStringLiteral("\n{3,}"));
    display = display.replace(blankRuns, QStringLiteral("\n\n")).trimmed();
    assertNotContains(display, QStringLiteral("<!DOCTYPE html>"),
                      QStringLiteral("doctype should be stripped from chat display"));
    assertNotContains(display, QStringLiteral("</html>"),
                      QStringLiteral("closing tag should be stripped from chat display"));
    assertContains(display, QStringLiteral("Here's the updated index.htm file:"),
                   QStringLiteral("intro prose should remain"));
    assertContains(display, QStringLiteral("Let me know if you need any further changes!"),
                   QStringLiteral("outro prose should remain"));
}

void fencedHtmlWithFilenameMention() {
    expectOneBlockAt(Replies::text(Replies::replyC), QStringLiteral("expected one fallback block"),
                     QStringLiteral("about.htm"), QStringLiteral("filename mentioned in prose should win"));
}

void fencedCssWithoutFilename() {
    expectOneBlockAt(Replies::text(Replies::replyD), QStringLiteral("expected one fallback block"),
                     QStringLiteral("styles.css"), QStringLiteral("default CSS path should be styles.css"));
}

void smallFencedSnippet() {
    assertEqual(Parser::parseFallbackBlocks(Replies::text(Replies::replyE)).size(), 0,
                QStringLiteral("tiny snippet must not be materialized"));
}

void explicitFileWrapper() {
    assertEqual(Parser::parseFallbackBlocks(Replies::text(Replies::replyF)).size(), 0,
                QStringLiteral("fallback must not run when <<<FILE>>> wrappers are present"));
}

void unsafeAbsolutePathHint() {
    expectOneBlockAt(Replies::text(Replies::replyG), QStringLiteral("expected one fallback block"),
                     QStringLiteral("index.htm"),
                     QStringLiteral("absolute path hint must be rejected; default index.htm should win"));
}

void dotDotPathHint() {
    expectOneBlockAt(Replies::text(Replies::replyH), QStringLiteral("expected one fallback block"),
                     QStringLiteral("index.htm"),
                     QStringLiteral("dot-dot path must be rejected; default index.htm should win"));
}

void untaggedFenceWithDoctype() {
    expectOneBlockAt(Replies::text(Replies::replyI),
                     QStringLiteral("untagged fence containing doctype should still be recovered"),
                     QStringLiteral("index.htm"), QStringLiteral("should infer path from prose mention"));
}

// --- cases 10 to 19: project context ---

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
                      {QStringLiteral(".kestrion-chats/chat_history.json"), "{}"},
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
        const Context::FileEntry* png = nullptr;
        for (const Context::FileEntry& file : snapshot.files) {
            if (file.relativePath == u"images/logo.png") {
                png = &file;
                break;
            }
        }
        if (!png) {
            fail(QStringLiteral("PNG entry missing"));
        }
        if (png->isText) {
            fail(QStringLiteral("PNG entry should be flagged non-text"));
        }
        const Context::EmbeddedFile* index = nullptr;
        for (const Context::EmbeddedFile& file : snapshot.embeddedFiles) {
            if (file.relativePath == u"index.htm") {
                index = &file;
                break;
            }
        }
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
        const Context::EmbeddedFile* big = nullptr;
        for (const Context::EmbeddedFile& file : snapshot.embeddedFiles) {
            if (file.relativePath == u"assets/big.js") {
                big = &file;
                break;
            }
        }
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

void nilSnapshotReturnsEmptyString() {
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

bool isRequested(int argc, const char* const* argv) {
    for (int i = 0; i < argc; ++i) {
        if (argv[i] && std::strcmp(argv[i], requestFlag) == 0) {
            return true;
        }
    }
    return false;
}

void runIfRequestedAndExit(int argc, char** argv) {
    if (!isRequested(argc, argv)) {
        return;
    }
    std::exit(runCases(cases(), stdout, stderr));
}

QList<Case> cases() {
    return {
        {QStringLiteral("rawDoctypeWithIndexHtmMention_isRecoveredAsIndexHtm"), rawDoctypeWithIndexHtmMention},
        {QStringLiteral("strippingFallbackContent_removesRawHtmlFromDisplayedBody"), strippingFallbackContent},
        {QStringLiteral("fencedHtmlWithFilenameMention_recoveredAsThatFile"), fencedHtmlWithFilenameMention},
        {QStringLiteral("fencedCss_withoutFilename_fallsBackToStylesCss"), fencedCssWithoutFilename},
        {QStringLiteral("smallFencedSnippet_isIgnored"), smallFencedSnippet},
        {QStringLiteral("explicitFileWrapper_disablesFallback"), explicitFileWrapper},
        {QStringLiteral("unsafeAbsolutePathHint_isRejected"), unsafeAbsolutePathHint},
        {QStringLiteral("dotDotPathHint_isRejected"), dotDotPathHint},
        {QStringLiteral("untaggedFenceWithDoctype_isRecovered"), untaggedFenceWithDoctype},
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
        {QStringLiteral("projectContext_nilSnapshotReturnsEmptyString"), nilSnapshotReturnsEmptyString},
        {QStringLiteral("projectContext_systemPromptAppendixReferencesProjectAwareness"),
         systemPromptAppendixReferencesProjectAwareness},
    };
}

int runCases(const QList<Case>& cases, std::FILE* out, std::FILE* err) {
    int passed = 0;
    QStringList failed;
    for (const Case& check : cases) {
        std::optional<QString> failure;
        try {
            check.body();
        } catch (const CheckFailure& error) {
            failure = error.message;
        } catch (const std::exception& error) {
            failure = QString::fromUtf8(error.what());
        } catch (...) {
            failure = QStringLiteral("unknown error");
        }
        if (failure) {
            writeLine(err, QStringLiteral("FAIL ") + check.name + QStringLiteral(": ") + *failure);
            failed << check.name;
        } else {
            writeLine(out, QStringLiteral("ok  ") + check.name);
            ++passed;
        }
    }
    writeLine(out, QStringLiteral("\nParserSelfCheck: %1 passed, %2 failed.").arg(passed).arg(failed.size()));
    if (failed.isEmpty()) {
        return 0;
    }
    for (const QString& name : failed) {
        writeLine(err, QStringLiteral("FAILED: ") + name);
    }
    return 1;
}

void assertEqual(qint64 actual, qint64 expected, const QString& message) {
    if (actual != expected) {
        fail(message + dash + QStringLiteral("expected %1, got %2").arg(expected).arg(actual));
    }
}

void assertEqual(const QString& actual, const QString& expected, const QString& message) {
    if (actual != expected) {
        fail(message + dash + QStringLiteral("expected ") + expected + QStringLiteral(", got ") + actual);
    }
}

void assertEqual(const std::optional<QString>& actual, const std::optional<QString>& expected, const QString& message) {
    if (actual != expected) {
        fail(message + dash + QStringLiteral("expected ") + describe(expected) + QStringLiteral(", got ") +
             describe(actual));
    }
}

void assertContains(const QString& haystack, const QString& needle, const QString& message) {
    if (!haystack.contains(needle, Qt::CaseSensitive)) {
        fail(message + QStringLiteral(" — '") + needle + QStringLiteral("' not found in:\n") + haystack);
    }
}

void assertNotContains(const QString& haystack, const QString& needle, const QString& message) {
    if (haystack.contains(needle, Qt::CaseSensitive)) {
        fail(message + QStringLiteral(" — unexpected '") + needle + QStringLiteral("' found in:\n") + haystack);
    }
}

void withSandbox(const std::function<void(const QString& sandbox)>& body) {
    const QString sandbox = QDir::tempPath() + QStringLiteral("/kestrion-ctx-check-") +
                            QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const WriteResult created = makeDirectories(sandbox);
    if (!created.ok()) {
        throw std::runtime_error(created.error.toStdString());
    }
    try {
        body(sandbox);
    } catch (...) {
        QDir(sandbox).removeRecursively();
        throw;
    }
    QDir(sandbox).removeRecursively();
}

void writeBytes(const QString& relativePath, const QByteArray& data, const QString& directory) {
    const WriteResult written = writeFileAtomically(directory + u'/' + relativePath, data, true);
    if (!written.ok()) {
        throw std::runtime_error(written.error.toStdString());
    }
}

} // namespace kestrion::ParserSelfCheck
