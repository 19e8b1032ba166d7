#include "generation/ProtocolScanner.h"

#include "generation/ScanText.h"

#include <unicode/uchar.h>
#include <unicode/uniset.h>

namespace kestrion::ProtocolScanner {

namespace {

using namespace scan;

constexpr QStringView fileOpener = u"<<<FILE path=\"";
constexpr QStringView fileCloser = u"<<<END_FILE>>>";
constexpr QStringView imageOpener = u"<<<IMAGE";
constexpr QStringView imageCloser = u"<<<END_IMAGE>>>";
constexpr QStringView tagEnd = u">>>";

// What follows a FILE or IMAGE opener up to its body: the span of the part the
// caller captures and where the body starts; or that this opener does not match
// (the search goes on after it), or that no later opener can (the search ends).
struct BlockHead {
    enum class Outcome { Match, Skip, Stop };
    Outcome outcome = Outcome::Match;
    Span captured;
    qsizetype bodyStart = 0;

    static BlockHead match(Span captured, qsizetype bodyStart) { return {Outcome::Match, captured, bodyStart}; }
    static BlockHead skip() { return {Outcome::Skip, {}, 0}; }
    static BlockHead stop() { return {Outcome::Stop, {}, 0}; }
};

// The FILE and IMAGE blocks: an opener, a head read by readHead, then the body up
// to the first closer after it. No closer after one body means none after a later
// one either, so the search ends there.
template <typename Match, typename ReadHead>
QList<Match> findClosedBlocks(QStringView text, QStringView opener, QStringView closer, ReadHead readHead) {
    QList<Match> matches;
    ForwardFinder<QStringView> closers(text, closer);
    qsizetype pos = 0;
    qsizetype start;
    while ((start = text.indexOf(opener, pos)) >= 0) {
        const BlockHead head = readHead(start);
        if (head.outcome == BlockHead::Outcome::Stop) {
            break;
        }
        if (head.outcome == BlockHead::Outcome::Skip) {
            pos = start + 1;
            continue;
        }
        const qsizetype closerStart = closers.next(head.bodyStart);
        if (closerStart < 0) {
            break;
        }
        const qsizetype end = closerStart + closer.size();
        matches.append(Match{{start, end}, head.captured, {head.bodyStart, closerStart}});
        pos = end;
    }
    return matches;
}

} // namespace

bool isRegexWhiteSpace(char32_t codePoint) {
    return u_hasBinaryProperty(UChar32(codePoint), UCHAR_WHITE_SPACE);
}

bool isRegexWordCharacter(char32_t codePoint) {
    // The set ICU's regex engine uses for \w (and for \b without UREGEX_UWORD).
    static const icu::UnicodeSet* const wordSet = [] {
        UErrorCode status = U_ZERO_ERROR;
        auto* set =
            new icu::UnicodeSet(icu::UnicodeString(u"[\\p{Alphabetic}\\p{M}\\p{Nd}\\p{Pc}\\u200c\\u200d]"), status);
        set->freeze(); // frozen sets are safe to read from any thread
        return set;
    }();
    return wordSet->contains(UChar32(codePoint));
}

bool isIgnoredByWordBoundary(char32_t codePoint) {
    return u_hasBinaryProperty(UChar32(codePoint), UCHAR_GRAPHEME_EXTEND) ||
           u_charType(UChar32(codePoint)) == U_FORMAT_CHAR;
}

QList<FileMatch> findFileBlocks(QStringView text) {
    ForwardFinder<QChar> quotes(text, u'"');
    return findClosedBlocks<FileMatch>(text, fileOpener, fileCloser, [&](qsizetype opener) {
        // [^"]+ runs to the next quote, which must be followed by ">>>".
        const qsizetype pathStart = opener + fileOpener.size();
        const qsizetype quote = quotes.next(pathStart);
        if (quote < 0) {
            return BlockHead::stop(); // no later opener has a closing quote either
        }
        if (quote == pathStart || !hasAt(text, quote + 1, tagEnd)) {
            return BlockHead::skip();
        }
        return BlockHead::match({pathStart, quote}, quote + 1 + tagEnd.size());
    });
}

QList<ImageMatch> findImageBlocks(QStringView text) {
    ForwardFinder<QChar> angles(text, u'>');
    return findClosedBlocks<ImageMatch>(text, imageOpener, imageCloser, [&](qsizetype opener) {
        const qsizetype spaceStart = opener + imageOpener.size();
        if (!isWhiteSpaceUnit(text, spaceStart)) {
            return BlockHead::skip();
        }
        // \s+ is greedy, and [^>]+? ends at the first '>', so the attribute text runs
        // from the end of the white space to that '>'. When nothing but white space
        // precedes it, \s+ gives back its last character to the attribute text.
        const qsizetype spaceEnd = skipWhiteSpace(text, spaceStart);
        const qsizetype angle = angles.next(spaceEnd);
        if (angle < 0) {
            return BlockHead::stop();
        }
        if (angle - spaceStart < 2 || !hasAt(text, angle, tagEnd)) {
            return BlockHead::skip();
        }
        const qsizetype attributesStart = angle > spaceEnd ? spaceEnd : angle - 1;
        return BlockHead::match({attributesStart, angle}, angle + tagEnd.size());
    });
}

QList<AttributeMatch> findAttributes(QStringView text) {
    QList<AttributeMatch> matches;
    ForwardFinder<QChar> quotes(text, u'"');
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype units = 1;
        if (!isRegexWordCharacter(codePointAt(text, pos, &units))) {
            pos += units;
            continue;
        }
        // \w+ takes the whole run of word characters; giving any back cannot help, as
        // a word character matches neither \s nor '='. A match starting later in the
        // same run would fail the same way, so a failure skips the whole run.
        const qsizetype keyStart = pos;
        qsizetype keyEnd = pos + units;
        while (keyEnd < text.size() && isRegexWordCharacter(codePointAt(text, keyEnd, &units))) {
            keyEnd += units;
        }
        pos = keyEnd;
        qsizetype cursor = skipWhiteSpace(text, keyEnd);
        if (cursor >= text.size() || text[cursor] != u'=') {
            continue;
        }
        cursor = skipWhiteSpace(text, cursor + 1);
        if (cursor >= text.size() || text[cursor] != u'"') {
            continue;
        }
        const qsizetype closingQuote = quotes.next(cursor + 1);
        if (closingQuote < 0) {
            break;
        }
        matches.append(AttributeMatch{{keyStart, closingQuote + 1}, {keyStart, keyEnd}, {cursor + 1, closingQuote}});
        pos = closingQuote + 1;
    }
    return matches;
}

bool containsImageOpener(QStringView text) {
    qsizetype pos = 0;
    qsizetype opener;
    while ((opener = text.indexOf(imageOpener, pos)) >= 0) {
        if (isWhiteSpaceUnit(text, opener + imageOpener.size())) {
            return true;
        }
        pos = opener + 1;
    }
    return false;
}

} // namespace kestrion::ProtocolScanner
