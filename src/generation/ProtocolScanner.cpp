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

// Shared shape of the FILE and IMAGE block: an opener found by the caller, then the
// body up to the first closer after it.
class ClosedBlockFinder {
public:
    ClosedBlockFinder(QStringView text, QStringView closer) : m_closer(closer), m_finder(text, closer) {}
    qsizetype closerFrom(qsizetype bodyStart) { return m_finder.next(bodyStart); }
    qsizetype closerLength() const { return m_closer.size(); }

private:
    QStringView m_closer;
    ForwardFinder<QStringView> m_finder;
};

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
    QList<FileMatch> matches;
    ForwardFinder<QChar> quotes(text, u'"');
    ClosedBlockFinder closers(text, fileCloser);
    qsizetype pos = 0;
    qsizetype opener;
    while ((opener = text.indexOf(fileOpener, pos)) >= 0) {
        // [^"]+ runs to the next quote, which must be followed by ">>>".
        const qsizetype pathStart = opener + fileOpener.size();
        const qsizetype quote = quotes.next(pathStart);
        if (quote < 0) {
            break; // no later opener has a closing quote either
        }
        if (quote == pathStart || !hasAt(text, quote + 1, tagEnd)) {
            pos = opener + 1;
            continue;
        }
        const qsizetype bodyStart = quote + 1 + tagEnd.size();
        const qsizetype closer = closers.closerFrom(bodyStart);
        if (closer < 0) {
            break; // no later opener can be closed either
        }
        const qsizetype end = closer + closers.closerLength();
        matches.append(FileMatch{{opener, end}, {pathStart, quote}, {bodyStart, closer}});
        pos = end;
    }
    return matches;
}

QList<ImageMatch> findImageBlocks(QStringView text) {
    QList<ImageMatch> matches;
    ForwardFinder<QChar> angles(text, u'>');
    ClosedBlockFinder closers(text, imageCloser);
    qsizetype pos = 0;
    qsizetype opener;
    while ((opener = text.indexOf(imageOpener, pos)) >= 0) {
        const qsizetype spaceStart = opener + imageOpener.size();
        if (!isWhiteSpaceUnit(text, spaceStart)) {
            pos = opener + 1;
            continue;
        }
        // \s+ is greedy, and [^>]+? ends at the first '>', so the attribute text runs
        // from the end of the white space to that '>'. When nothing but white space
        // precedes it, \s+ gives back its last character to the attribute text.
        const qsizetype spaceEnd = skipWhiteSpace(text, spaceStart);
        const qsizetype angle = angles.next(spaceEnd);
        if (angle < 0) {
            break;
        }
        if (angle - spaceStart < 2 || !hasAt(text, angle, tagEnd)) {
            pos = opener + 1;
            continue;
        }
        const qsizetype attributesStart = angle > spaceEnd ? spaceEnd : angle - 1;
        const qsizetype bodyStart = angle + tagEnd.size();
        const qsizetype closer = closers.closerFrom(bodyStart);
        if (closer < 0) {
            break;
        }
        const qsizetype end = closer + closers.closerLength();
        matches.append(ImageMatch{{opener, end}, {attributesStart, angle}, {bodyStart, closer}});
        pos = end;
    }
    return matches;
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
