#include "generation/ProtocolScanner.h"
#include "generation/ScanText.h"
#include "support/IcuRegex.h"

#include <algorithm>
#include <vector>

// The matchers the fallback recovery uses on code pasted outside the protocol:
// Markdown fences, raw HTML documents and file names mentioned in prose.
namespace kestrion::ProtocolScanner {

namespace {

using namespace scan;

constexpr QStringView fence = u"```";

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

} // namespace kestrion::ProtocolScanner
