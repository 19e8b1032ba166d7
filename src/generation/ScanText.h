#pragma once

#include "generation/ProtocolScanner.h"

#include <QStringView>

// Text primitives the protocol matchers share: ICU's character classes at a
// position, literal tests, and a remembering forward search.
namespace kestrion::ProtocolScanner::scan {

// The code point at pos: a valid surrogate pair is one code point, a lone
// surrogate stands for itself, as in ICU's UTF-16 iteration.
inline char32_t codePointAt(QStringView text, qsizetype pos, qsizetype* units = nullptr) {
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
inline bool isWhiteSpaceUnit(QStringView text, qsizetype pos) {
    return pos < text.size() && isRegexWhiteSpace(text[pos].unicode());
}

inline qsizetype skipWhiteSpace(QStringView text, qsizetype pos) {
    while (isWhiteSpaceUnit(text, pos)) {
        ++pos;
    }
    return pos;
}

inline bool isSpaceOrTab(QStringView text, qsizetype pos) {
    return pos < text.size() && (text[pos] == u' ' || text[pos] == u'\t');
}

inline qsizetype skipSpacesAndTabs(QStringView text, qsizetype pos) {
    while (isSpaceOrTab(text, pos)) {
        ++pos;
    }
    return pos;
}

inline bool hasAt(QStringView text, qsizetype pos, QStringView literal) {
    return pos >= 0 && pos <= text.size() - literal.size() && text.mid(pos, literal.size()) == literal;
}

// Compares with a lower-case ASCII literal under ICU's case-insensitive matching.
// No character outside ASCII case-folds to one of the letters these literals use
// (only U+212A folds to 'k' and U+017F to 's'), so ASCII folding is exact here.
inline bool hasAtIgnoringAsciiCase(QStringView text, qsizetype pos, QStringView lowerLiteral) {
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
inline bool isLineTerminator(char16_t unit) {
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

} // namespace kestrion::ProtocolScanner::scan
