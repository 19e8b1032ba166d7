#include "generation/ProtocolScanner.h"

#include "generation/FileGenerationParser.h"
#include "support/IcuRegex.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <unicode/regex.h>

using namespace kestrion;
using namespace kestrion::ProtocolScanner;

namespace {

// The protocol's patterns as written, run by ICU: the reference the scanners must equal.
const IcuRegex& filePattern() {
    static const IcuRegex regex(QStringLiteral(R"re(<<<FILE path="([^"]+)">>>([\s\S]*?)<<<END_FILE>>>)re"));
    return regex;
}
const IcuRegex& imagePattern() {
    static const IcuRegex regex(QStringLiteral(R"re(<<<IMAGE\s+([^>]+?)>>>([\s\S]*?)<<<END_IMAGE>>>)re"));
    return regex;
}
const IcuRegex& attributePattern() {
    static const IcuRegex regex(QStringLiteral(R"re((\w+)\s*=\s*"([^"]*)")re"));
    return regex;
}
const IcuRegex& fencePattern() {
    static const IcuRegex regex(
        QStringLiteral(R"re((?m)^[ \t]*```([A-Za-z0-9_+\-]*)[ \t]*\r?\n([\s\S]*?)\r?\n[ \t]*```[ \t]*$)re"));
    return regex;
}
const IcuRegex& rawDocumentPattern() {
    static const IcuRegex regex(
        QStringLiteral(R"re((?is)(<!DOCTYPE\s+html[^>]*>[\s\S]*?</html\s*>|<html\b[\s\S]*?</html\s*>))re"));
    return regex;
}
const IcuRegex& pathMentionPattern() {
    static const IcuRegex regex(
        QStringLiteral(
            R"re(([A-Za-z0-9_][A-Za-z0-9_./\-]*\.(?:htm|html|xhtml|css|js|mjs|svg|xml|json|webmanifest|txt|md|map))\b)re"),
        IcuRegex::CaseInsensitive);
    return regex;
}
const IcuRegex& imageOpenerPattern() {
    static const IcuRegex regex(QStringLiteral(R"re(<<<IMAGE\s)re"));
    return regex;
}

Span span(const IcuRegex::Match& match, int group) {
    return {match.groups[group].start, match.groups[group].end()};
}

// Renders matches as group ranges so a mismatch prints readably.
template <typename Scanned>
std::string describe(const QList<Scanned>& matches) {
    std::string out;
    for (const auto& match : matches) {
        out += "[" + std::to_string(match.whole.start) + "," + std::to_string(match.whole.end) + ")";
    }
    return out;
}

std::string printable(const QString& text) {
    std::string out;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u < 0x7f) {
            out += char(u);
        } else {
            char buffer[12];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", unsigned(u));
            out += buffer;
        }
    }
    return out;
}

// Fragments of the protocol and of the characters the patterns treat specially.
const QStringList& fragments() {
    static const QStringList list = [] {
        QStringList l{"<<<FILE path=\"",
                      "<<<FILE path=\"a\">>>",
                      "\">>>",
                      "<<<END_FILE>>>",
                      "<<<END_FILE",
                      "<<<FILE",
                      "<<<IMAGE",
                      "<<<IMAGE ",
                      "<<<IMAGE path=\"p.png\">>>",
                      "<<<END_IMAGE>>>",
                      ">>>",
                      ">",
                      ">>",
                      "\"",
                      "=",
                      " = ",
                      "path",
                      "size=\"1\"",
                      "k",
                      "_",
                      " ",
                      "\t",
                      "\n",
                      "\r",
                      "\r\n",
                      "\n\n\n",
                      "```",
                      "```html",
                      "```css ",
                      "\n```\n",
                      "  ```",
                      "`",
                      "<html",
                      "<HTML",
                      "<html>",
                      "</html>",
                      "</html >",
                      "</HTML\n>",
                      "</html",
                      "<!DOCTYPE html",
                      "<!doctype",
                      "<!DOCTYPE",
                      "HTML",
                      "html",
                      "<",
                      "/",
                      "a",
                      "x",
                      "-",
                      ".",
                      "htm",
                      "\u00e9",
                      "\u0301",
                      "\u200d",
                      "\u017f",
                      "\u212a",
                      "\u00a0",
                      "\u000b",
                      "\u000c",
                      "\u0085",
                      "\u2028",
                      "\u2029",
                      "\u3000",
                      "\U0001F600",
                      "\U00010400"};
        l.append(QString(QChar(0)));
        l.append(QString(QChar(0xD800))); // lone high surrogate
        l.append(QString(QChar(0xDC00))); // lone low surrogate
        return l;
    }();
    return list;
}

QString randomReply(QRandomGenerator& random, int maxFragments) {
    QString reply;
    const int count = int(random.bounded(maxFragments + 1));
    for (int i = 0; i < count; ++i) {
        reply += fragments()[random.bounded(int(fragments().size()))];
    }
    return reply;
}

// Replies biased towards one pattern's fragments, so its interesting cases are common.
QString biasedReply(QRandomGenerator& random, const QStringList& favourites, int maxFragments) {
    QString reply;
    const int count = int(random.bounded(maxFragments + 1));
    for (int i = 0; i < count; ++i) {
        reply += random.bounded(2) ? favourites[random.bounded(int(favourites.size()))]
                                   : fragments()[random.bounded(int(fragments().size()))];
    }
    return reply;
}

// One scanner's three-part matches against the pattern's first three groups.
template <typename Scanned>
void expectThreeGroupsAsIcu(const char* what, const IcuRegex& pattern, const QList<Scanned>& actual,
                            const QString& reply) {
    QList<Scanned> expected;
    for (const auto& m : pattern.findAll(reply)) {
        expected.append({span(m, 0), span(m, 1), span(m, 2)});
    }
    ASSERT_EQ(actual, expected) << what << " in " << printable(reply) << " got " << describe(actual) << " want "
                                << describe(expected);
}

// A scanner for a pattern whose one group is the whole match.
void expectSpansAsIcu(const char* what, const IcuRegex& pattern, const QList<Span>& actual, const QString& reply) {
    QList<Span> expected;
    for (const auto& m : pattern.findAll(reply)) {
        ASSERT_EQ(span(m, 0), span(m, 1));
        expected.append(span(m, 0));
    }
    ASSERT_EQ(actual, expected) << what << " in " << printable(reply);
}

void expectSameAsIcu(const QString& reply) {
    ASSERT_NO_FATAL_FAILURE(expectThreeGroupsAsIcu("FILE", filePattern(), findFileBlocks(reply), reply));
    ASSERT_NO_FATAL_FAILURE(expectThreeGroupsAsIcu("IMAGE", imagePattern(), findImageBlocks(reply), reply));
    ASSERT_NO_FATAL_FAILURE(expectThreeGroupsAsIcu("attributes", attributePattern(), findAttributes(reply), reply));
    ASSERT_NO_FATAL_FAILURE(expectThreeGroupsAsIcu("fences", fencePattern(), findFences(reply), reply));
    ASSERT_NO_FATAL_FAILURE(
        expectSpansAsIcu("raw documents", rawDocumentPattern(), findRawHtmlDocuments(reply), reply));
    ASSERT_NO_FATAL_FAILURE(expectSpansAsIcu("path mentions", pathMentionPattern(), findPathMentions(reply), reply));
    ASSERT_EQ(containsImageOpener(reply), !imageOpenerPattern().findAll(reply).isEmpty()) << printable(reply);
}

// Display stripping written directly with the protocol's patterns.
QString referenceStripping(const QString& reply) {
    static const IcuRegex files(QStringLiteral(R"re(<<<FILE path="[^"]+">>>[\s\S]*?<<<END_FILE>>>)re"));
    static const IcuRegex images(QStringLiteral(R"re(<<<IMAGE\s+[^>]+?>>>[\s\S]*?<<<END_IMAGE>>>)re"));
    static const IcuRegex blankRuns(QStringLiteral(R"re(\n{3,})re"));
    const QString withoutFiles = files.replaceAll(reply, u"");
    const QString withoutImages = images.replaceAll(withoutFiles, u"");
    return blankRuns.replaceAll(withoutImages, u"\n\n").trimmed();
}

} // namespace

TEST(ProtocolScanner, characterClassesAgreeWithIcuForEveryCodePoint) {
    UErrorCode status = U_ZERO_ERROR;
    icu::RegexMatcher space(u"\\s", 0, status);
    icu::RegexMatcher word(u"\\w", 0, status);
    icu::RegexMatcher boundary(u"l\\b", 0, status); // \b after a word character
    ASSERT_TRUE(U_SUCCESS(status));
    int mismatches = 0;
    for (UChar32 c = 0; c <= 0x10FFFF && mismatches < 10; ++c) {
        const icu::UnicodeString one(c);
        space.reset(one);
        word.reset(one);
        const bool icuSpace = space.matches(status);
        const bool icuWord = word.matches(status);
        icu::UnicodeString after(u"l");
        after.append(c);
        boundary.reset(after);
        const bool icuBoundary = boundary.lookingAt(status);
        const bool scannerBoundary = !isIgnoredByWordBoundary(char32_t(c)) && !isRegexWordCharacter(char32_t(c));
        if (icuSpace != isRegexWhiteSpace(char32_t(c)) || icuWord != isRegexWordCharacter(char32_t(c)) ||
            icuBoundary != scannerBoundary) {
            ADD_FAILURE() << "code point " << std::hex << c << " space " << icuSpace << " word " << icuWord
                          << " boundary " << icuBoundary;
            ++mismatches;
        }
    }
    EXPECT_TRUE(U_SUCCESS(status));
}

TEST(ProtocolScanner, pathMentionsFollowIcuCaseFoldingAndBoundaries) {
    struct Case {
        const char* text;
        int matches;
    };
    // Full case folding lets "ß" stand for "ss" and "ﬆ" for "st"; a combining
    // mark after the extension is no word boundary.
    const Case cases[] = {
        {"a.cß", 1},  {"x.webmanifeﬆ y", 1},    {"ſ.htm", 1}, {"K.MD", 1},   {"a.html.bak", 1}, {"a.htmx.css-b", 1},
        {"a.htḿ", 0}, {"../a/b.json,c.txt", 2}, {".htm", 0},  {"a.mjs.", 1}, {"é.htm", 0},      {"a.htm‍b", 0},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        expectSameAsIcu(text);
        EXPECT_EQ(findPathMentions(text).size(), c.matches) << c.text;
    }
}

TEST(ProtocolScanner, matchesIcuOnGeneratedReplies) {
    QRandomGenerator random(20261206);
    for (int i = 0; i < 30000; ++i) {
        expectSameAsIcu(randomReply(random, 24));
        if (HasFatalFailure()) {
            return;
        }
    }
}

TEST(ProtocolScanner, matchesIcuOnRepliesBiasedTowardsEachPattern) {
    const QList<QStringList> groups{
        {"<<<FILE path=\"", "\">>>", "<<<END_FILE>>>", "\"", "a", ">>>", "\n"},
        {"<<<IMAGE", " ", "\n", "\u0085", "\u000b", "path=\"a\"", ">", ">>>", "<<<END_IMAGE>>>", "x"},
        {"k", "\u00e9", "\u0301", "\U00010400", " ", "=", "\"", "\u3000", "_"},
        {"```", "```js", "\n", "\r", "\r\n", " ", "\t", "\u2028", "\u000c", "x", "`"},
        {"<html", "<HTML", "<!DOCTYPE", " html", "\nHTML", ">", "</html", "</html>", "\u0301", "\u200d", "x", " "},
        {".",      "/",      "-",      "a",   "A9_",  ".htm",       ".HTML",  "l",      ".css",   ".c",
         "\u00df", "\u1e9e", "s",      ".js", "on",   ".webmanife", "\ufb05", "\ufb06", "\u017f", "\u212a",
         "\u0130", "\u0131", "\u0301", " ",   ".mjs", "x",          ".md",    ".map",   "\\"},
    };
    QRandomGenerator random(424242);
    for (const QStringList& favourites : groups) {
        for (int i = 0; i < 6000; ++i) {
            expectSameAsIcu(biasedReply(random, favourites, 30));
            if (HasFatalFailure()) {
                return;
            }
        }
    }
}

TEST(ProtocolScanner, strippingMatchesTheReferenceOnGeneratedReplies) {
    QRandomGenerator random(7);
    for (int i = 0; i < 20000; ++i) {
        const QString reply = randomReply(random, 24);
        ASSERT_EQ(FileGenerationParser::parseReply(reply).prose, referenceStripping(reply)) << printable(reply);
    }
}

TEST(ProtocolScanner, hostileRepliesCompleteWithTheRightResult) {
    using namespace FileGenerationParser;
    const QString opener = QStringLiteral("<<<FILE path=\"a\">>>");
    const QString unclosed = opener.repeated(20000);
    const ParsedReply parsedUnclosed = parseReply(unclosed);
    EXPECT_TRUE(parsedUnclosed.files.isEmpty());
    EXPECT_EQ(parsedUnclosed.prose, unclosed);
    EXPECT_TRUE(parsedUnclosed.fallback.isEmpty());

    // Closed at the very end: one block from the first opener, holding all the others.
    const auto closedOnce = parseReply(unclosed + QStringLiteral("<<<END_FILE>>>")).files;
    ASSERT_EQ(closedOnce.size(), 1);
    EXPECT_EQ(closedOnce[0].content.size(), opener.size() * 19999);

    const QString images = QStringLiteral("<<<IMAGE path=\"a.png\">>>").repeated(20000);
    EXPECT_TRUE(parseReply(images).images.isEmpty());
    const QString longTag = QStringLiteral("<<<IMAGE ") + QString(200000, u'k');
    EXPECT_TRUE(parseReply(longTag + QStringLiteral(">>>x<<<END_IMAGE>>>")).images.isEmpty());

    const QString htmlMentions = QStringLiteral("<html lang=en> ").repeated(20000);
    EXPECT_TRUE(parseFallbackBlocks(htmlMentions).isEmpty());
    const QString doctypes = QStringLiteral("<!DOCTYPE html <html ").repeated(20000) + QStringLiteral(">");
    EXPECT_TRUE(parseFallbackBlocks(doctypes).isEmpty());

    const QString fenceLines = QStringLiteral("```html\n").repeated(20000);
    EXPECT_TRUE(parseFallbackBlocks(fenceLines).isEmpty());
    // Each match takes three lines: an opener, a body of "```" (its own line feed
    // belongs to the opener) and the closing line.
    const QString emptyFences = QStringLiteral("```\n").repeated(20001);
    EXPECT_EQ(ProtocolScanner::findFences(emptyFences).size(), 6667);
}

TEST(ProtocolScanner, tenMebibyteReplyWithNulsAndLoneSurrogatesIsParsed) {
    using namespace FileGenerationParser;
    QString chunk = QStringLiteral("prose ");
    chunk += QChar(0);
    chunk += QChar(0xDC00);
    chunk += QStringLiteral("<<<FILE path=\"a\u0000.htm\">>>\nx");
    chunk += QChar(0xD800);
    chunk += QStringLiteral("\n<<<END_FILE>>>\n");
    const QString reply = chunk.repeated(int(10 * 1024 * 1024 / chunk.size()));
    const ParsedReply parsed = parseReply(reply);
    const auto& blocks = parsed.files;
    ASSERT_EQ(blocks.size(), reply.size() / chunk.size());
    EXPECT_EQ(blocks.back().path, QStringLiteral("a\u0000.htm"));
    EXPECT_EQ(blocks.back().content, QStringLiteral("x") + QChar(0xD800));
    EXPECT_FALSE(parsed.prose.contains(QStringLiteral("<<<FILE")));
    EXPECT_TRUE(parsed.fallback.isEmpty());
}
