#include "generation/FileGenerationParser.h"
#include "selfcheck/SelfCheckCases.h"
#include "selfcheck/SelfCheckReplies.h"

#include <QRegularExpression>

namespace kestrion::ParserSelfCheck {

namespace {

namespace Parser = FileGenerationParser;
namespace Replies = SelfCheckReplies;

std::optional<QString> firstPath(const QList<Parser::FallbackBlock>& blocks) {
    if (blocks.isEmpty()) {
        return std::nullopt;
    }
    return blocks.first().path;
}

void expectOneBlockAt(const QString& reply, const QString& countMessage, const QString& path,
                      const QString& pathMessage) {
    const QList<Parser::FallbackBlock> blocks = Parser::parseFallbackBlocks(reply);
    assertEqual(blocks.size(), 1, countMessage);
    assertEqual(firstPath(blocks), path, pathMessage);
}

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

} // namespace

QList<Case> recoveryCases() {
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
    };
}

} // namespace kestrion::ParserSelfCheck
