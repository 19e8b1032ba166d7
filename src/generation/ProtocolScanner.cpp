#include "generation/ProtocolScanner.h"

#include "support/IcuRegex.h"

#include <algorithm>
#include <unicode/uchar.h>
#include <unicode/uniset.h>
#include <vector>

namespace kestrion::ProtocolScanner {

namespace {

constexpr QStringView fileOpener = u"<<<FILE path=\"";
constexpr QStringView fileCloser = u"<<<END_FILE>>>";
constexpr QStringView imageOpener = u"<<<IMAGE";
constexpr QStringView imageCloser = u"<<<END_IMAGE>>>";
constexpr QStringView tagEnd = u">>>";
constexpr QStringView fence = u"```";

// The code point at pos: a valid surrogate pair is one code point, a lone
// surrogate stands for itself, as in ICU's UTF-16 iteration.
char32_t codePointAt(QStringView text, qsizetype pos, qsizetype* units = nullptr) {
    const char16_t unit = text[pos].unicode();
    if (QChar::isHighSurrogate(unit) && pos + 1 < text.size() && text[pos + 1].isLowSurrogate()) {
        if (units) {
            *units = 2;
        }
        return QChar::surrogateToUcs4(unit, text[pos + 1].unicode());
    }
    if (units) {
        *units = 1;
    }
    return unit;
}

// Every \s character lies in the BMP, so one code unit decides.
bool isWhiteSpaceUnit(QStringView text, qsizetype pos) {
    return pos < text.size() && isRegexWhiteSpace(text[pos].unicode());
}

qsizetype skipWhiteSpace(QStringView text, qsizetype pos) {
    while (isWhiteSpaceUnit(text, pos)) {
        ++pos;
    }
    return pos;
}

bool isSpaceOrTab(QStringView text, qsizetype pos) {
    return pos < text.size() && (text[pos] == u' ' || text[pos] == u'\t');
}

qsizetype skipSpacesAndTabs(QStringView text, qsizetype pos) {
    while (isSpaceOrTab(text, pos)) {
        ++pos;
    }
    return pos;
}

bool hasAt(QStringView text, qsizetype pos, QStringView literal) {
    return pos >= 0 && pos <= text.size() - literal.size() && text.mid(pos, literal.size()) == literal;
}

// Compares with a lower-case ASCII literal under ICU's case-insensitive matching.
// No character outside ASCII case-folds to one of the letters these literals use
// (only U+212A folds to 'k' and U+017F to 's'), so ASCII folding is exact here.
bool hasAtIgnoringAsciiCase(QStringView text, qsizetype pos, QStringView lowerLiteral) {
    if (pos < 0 || pos > text.size() - lowerLiteral.size()) {
        return false;
    }
    for (qsizetype i = 0; i < lowerLiteral.size(); ++i) {
        char16_t unit = text[pos + i].unicode();
        if (unit >= u'A' && unit <= u'Z') {
            unit = char16_t(unit + (u'a' - u'A'));
        }
        if (unit != lowerLiteral[i].unicode()) {
            return false;
        }
    }
    return true;
}

// ICU's multi-line line terminators: LF, VT, FF, CR, NEL, LS, PS.
bool isLineTerminator(char16_t unit) {
    return (unit >= 0x0a && unit <= 0x0d) || unit == 0x85 || unit == 0x2028 || unit == 0x2029;
}

// Finds a needle at or after a position. The last answer is remembered: a later
// query that starts at or before it (and not before the last query) gets it again
// without searching, and once nothing is found no later query searches. Queries
// that move forward therefore cost one pass over the text in total.
template <typename Needle>
class ForwardFinder {
public:
    ForwardFinder(QStringView text, Needle needle) : m_text(text), m_needle(needle) {}

    qsizetype next(qsizetype from) {
        if (m_searched && from >= m_from && (m_found < 0 || from <= m_found)) {
            return m_found;
        }
        m_searched = true;
        m_from = from;
        m_found = from > m_text.size() ? -1 : m_text.indexOf(m_needle, from);
        return m_found;
    }

private:
    QStringView m_text;
    Needle m_needle;
    bool m_searched = false;
    qsizetype m_from = 0;
    qsizetype m_found = -1;
};

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

bool isFenceLanguageCharacter(QStringView text, qsizetype pos) {
    if (pos >= text.size()) {
        return false;
    }
    const char16_t c = text[pos].unicode();
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_' || c == u'+' ||
           c == u'-';
}

// The end of a closing fence line that starts at pos ([ \t]*```[ \t]*$), or -1.
qsizetype closingFenceLineEnd(QStringView text, qsizetype pos) {
    const qsizetype ticks = skipSpacesAndTabs(text, pos);
    if (!hasAt(text, ticks, fence)) {
        return -1;
    }
    const qsizetype end = skipSpacesAndTabs(text, ticks + fence.size());
    // $ in multi-line mode: the end of the text or a line terminator follows. (The
    // character before is a backtick, space or tab, never the CR of a CR LF pair.)
    if (end == text.size() || isLineTerminator(text[end].unicode())) {
        return end;
    }
    return -1;
}

// The first line feed at or after a position that is followed by a closing fence
// line; remembered like ForwardFinder, since fence bodies are searched left to right.
class ClosingFenceFinder {
public:
    explicit ClosingFenceFinder(QStringView text) : m_text(text) {}

    qsizetype next(qsizetype from) {
        if (m_exhausted) {
            return -1;
        }
        if (m_found >= from) {
            return m_found;
        }
        qsizetype pos = std::max(from, m_scanned);
        while (true) {
            const qsizetype lineFeed = m_text.indexOf(u'\n', pos);
            if (lineFeed < 0) {
                m_exhausted = true;
                return -1;
            }
            if (closingFenceLineEnd(m_text, lineFeed + 1) >= 0) {
                m_found = lineFeed;
                m_scanned = lineFeed;
                return lineFeed;
            }
            pos = lineFeed + 1;
            m_scanned = pos;
        }
    }

private:
    QStringView m_text;
    qsizetype m_found = -1;
    qsizetype m_scanned = 0;
    bool m_exhausted = false;
};

// The next position at or after pos where ^ holds in multi-line mode: the start of
// the text or just after a line terminator.
qsizetype nextLineStart(QStringView text, qsizetype pos) {
    if (pos == 0) {
        return 0;
    }
    for (qsizetype i = pos - 1; i < text.size(); ++i) {
        if (isLineTerminator(text[i].unicode())) {
            return i + 1;
        }
    }
    return -1;
}

struct HtmlCloser {
    qsizetype start = 0;
    qsizetype end = 0;
};

// Every </html\s*> in the text, case-insensitively, in order. They cannot overlap
// (each starts with '<' and holds no other), and the raw document search asks for
// the first one after positions that do not always move forward, so they are
// collected once and looked up by binary search.
std::vector<HtmlCloser> findHtmlClosers(QStringView text) {
    std::vector<HtmlCloser> closers;
    qsizetype pos = 0;
    while ((pos = text.indexOf(u'<', pos)) >= 0) {
        if (hasAtIgnoringAsciiCase(text, pos, u"</html")) {
            const qsizetype gt = skipWhiteSpace(text, pos + 6);
            if (gt < text.size() && text[gt] == u'>') {
                closers.push_back({pos, gt + 1});
                pos = gt + 1;
                continue;
            }
        }
        ++pos;
    }
    return closers;
}

// \b just after a word character (the 'l' of "<html"), as ICU decides it: a
// combining mark or format character there is no boundary, the end of the text is.
bool isBoundaryAfterWordCharacter(QStringView text, qsizetype pos) {
    if (pos >= text.size()) {
        return true;
    }
    const char32_t c = codePointAt(text, pos);
    if (isIgnoredByWordBoundary(c)) {
        return false;
    }
    return !isRegexWordCharacter(c);
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

QList<FenceMatch> findFences(QStringView text) {
    QList<FenceMatch> matches;
    ClosingFenceFinder closers(text);
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype lineStart = nextLineStart(text, pos);
        if (lineStart < 0 || lineStart >= text.size()) {
            break;
        }
        pos = lineStart + 1;
        // Each step below is greedy over a class the next step cannot match, so no
        // backtracking could find another way through the opening line.
        const qsizetype ticks = skipSpacesAndTabs(text, lineStart);
        if (!hasAt(text, ticks, fence)) {
            continue;
        }
        const qsizetype languageStart = ticks + fence.size();
        qsizetype languageEnd = languageStart;
        while (isFenceLanguageCharacter(text, languageEnd)) {
            ++languageEnd;
        }
        const qsizetype lineEnd = skipSpacesAndTabs(text, languageEnd);
        qsizetype bodyStart;
        if (hasAt(text, lineEnd, u"\r\n")) {
            bodyStart = lineEnd + 2;
        } else if (hasAt(text, lineEnd, u"\n")) {
            bodyStart = lineEnd + 1;
        } else {
            continue;
        }
        // The lazy body ends before the first line feed (or CR LF) that starts a
        // closing fence line.
        const qsizetype lineFeed = closers.next(bodyStart);
        if (lineFeed < 0) {
            break; // later openers start later still, so none of them can close
        }
        const qsizetype bodyEnd = (lineFeed - 1 >= bodyStart && text[lineFeed - 1] == u'\r') ? lineFeed - 1 : lineFeed;
        const qsizetype end = closingFenceLineEnd(text, lineFeed + 1);
        matches.append(FenceMatch{{lineStart, end}, {languageStart, languageEnd}, {bodyStart, bodyEnd}});
        pos = end;
    }
    return matches;
}

QList<Span> findRawHtmlDocuments(QStringView text) {
    QList<Span> matches;
    std::vector<HtmlCloser> closers;
    bool closersCollected = false;
    auto firstCloserFrom = [&](qsizetype from) -> const HtmlCloser* {
        if (!closersCollected) {
            closers = findHtmlClosers(text);
            closersCollected = true;
        }
        const auto it = std::lower_bound(closers.begin(), closers.end(), from,
                                         [](const HtmlCloser& closer, qsizetype p) { return closer.start < p; });
        return it == closers.end() ? nullptr : &*it;
    };
    ForwardFinder<QChar> angles(text, u'>');
    qsizetype pos = 0;
    qsizetype open;
    while ((open = text.indexOf(u'<', pos)) >= 0) {
        pos = open + 1;
        qsizetype bodyStart = -1;
        if (hasAtIgnoringAsciiCase(text, open, u"<!doctype")) {
            // <!DOCTYPE\s+html[^>]*> : the header ends at the first '>' after "html".
            const qsizetype spaceStart = open + 9;
            const qsizetype html = skipWhiteSpace(text, spaceStart);
            if (html > spaceStart && hasAtIgnoringAsciiCase(text, html, u"html")) {
                const qsizetype angle = angles.next(html + 4);
                if (angle >= 0) {
                    bodyStart = angle + 1;
                }
            }
        } else if (hasAtIgnoringAsciiCase(text, open, u"<html") && isBoundaryAfterWordCharacter(text, open + 5)) {
            bodyStart = open + 5;
        }
        if (bodyStart < 0) {
            continue;
        }
        const HtmlCloser* closer = firstCloserFrom(bodyStart);
        if (!closer) {
            continue;
        }
        matches.append(Span{open, closer->end});
        pos = closer->end;
    }
    return matches;
}

namespace {

// The name classes under case-insensitive matching: ICU closes [A-Za-z0-9_] over
// case, which adds U+017F (long s) and U+212A (Kelvin sign).
bool isPathStartCharacter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_' ||
           c == 0x017f || c == 0x212a;
}

bool isPathCharacter(char16_t c) {
    return isPathStartCharacter(c) || c == u'.' || c == u'/' || c == u'-';
}

} // namespace

QList<Span> findPathMentions(QStringView text) {
    // In a backtracking engine the name pattern tries every start in a run of name
    // characters and walks the run back from its end each time. But whether an
    // extension ends the name at a given dot does not depend on where the name
    // starts, so the extensions are found once, by ICU, which keeps the exact meaning
    // of case-insensitive matching (ß matches "ss", ﬆ matches "st") and of \b. Then a
    // run's match starts at its first possible start character and ends at the last
    // extension found inside the run, which is where the greedy walk-back stops first;
    // any later start in the run could only reach the same or no extension.
    static const IcuRegex extensionPattern(
        QStringLiteral(R"re(\.(?:htm|html|xhtml|css|js|mjs|svg|xml|json|webmanifest|txt|md|map)\b)re"),
        IcuRegex::CaseInsensitive);
    QList<Span> matches;
    const QList<IcuRegex::Match> extensions = extensionPattern.findAll(text);
    if (extensions.isEmpty()) {
        return matches;
    }
    qsizetype next = 0; // the first extension not yet behind the search position
    qsizetype pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && !isPathStartCharacter(text[pos].unicode())) {
            ++pos;
        }
        if (pos >= text.size()) {
            break;
        }
        const qsizetype start = pos;
        qsizetype runEnd = start + 1;
        while (runEnd < text.size() && isPathCharacter(text[runEnd].unicode())) {
            ++runEnd;
        }
        // The last extension whose dot lies inside (start, runEnd).
        while (next < extensions.size() && extensions[next].groups[0].start <= start) {
            ++next;
        }
        qsizetype last = -1;
        for (qsizetype i = next; i < extensions.size() && extensions[i].groups[0].start < runEnd; ++i) {
            last = i;
        }
        if (last < 0) {
            pos = runEnd;
            continue;
        }
        const qsizetype end = extensions[last].groups[0].end();
        matches.append(Span{start, end});
        pos = end;
        next = last + 1;
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
