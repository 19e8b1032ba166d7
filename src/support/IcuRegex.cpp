#include "support/IcuRegex.h"

#include <limits>
#include <unicode/regex.h>
#include <unicode/unistr.h>

namespace kestrion {

struct IcuRegex::Compiled {
    std::unique_ptr<icu::RegexPattern> pattern;
    int groupCount = 0;
};

QStringView IcuRegex::Match::captured(QStringView text, qsizetype group) const {
    if (group < 0 || group >= groups.size() || !groups[group].isValid()) {
        return {};
    }
    return text.mid(groups[group].start, groups[group].length);
}

IcuRegex::IcuRegex(const QString& pattern, unsigned options) {
    uint32_t flags = 0;
    if (options & CaseInsensitive) {
        flags |= UREGEX_CASE_INSENSITIVE;
    }
    if (options & DotMatchesAll) {
        flags |= UREGEX_DOTALL;
    }
    if (options & MultiLine) {
        flags |= UREGEX_MULTILINE;
    }
    const icu::UnicodeString source(reinterpret_cast<const UChar*>(pattern.utf16()), int32_t(pattern.size()));
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(source, flags, parseError, status));
    if (U_FAILURE(status) || !compiled) {
        return;
    }
    // The pattern knows its groups only through a matcher.
    const std::unique_ptr<icu::RegexMatcher> probe(compiled->matcher(status));
    if (U_FAILURE(status) || !probe) {
        return;
    }
    auto result = std::make_unique<Compiled>();
    result->groupCount = probe->groupCount();
    result->pattern = std::move(compiled);
    m_compiled = std::move(result);
}

IcuRegex::~IcuRegex() = default;

bool IcuRegex::isValid() const {
    return m_compiled != nullptr;
}

int IcuRegex::captureGroupCount() const {
    return m_compiled ? m_compiled->groupCount : 0;
}

QList<IcuRegex::Match> IcuRegex::findAll(QStringView text) const {
    QList<Match> matches;
    // ICU indexes texts with 32-bit integers; longer texts cannot be matched.
    if (!m_compiled || text.size() > std::numeric_limits<int32_t>::max()) {
        return matches;
    }
    // A read-only alias: ICU reads the QString's UTF-16 buffer without copying it.
    const icu::UnicodeString input(false, reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()));
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(m_compiled->pattern->matcher(input, status));
    if (U_FAILURE(status) || !matcher) {
        return matches;
    }
    const int groupCount = m_compiled->groupCount;
    while (matcher->find(status) && U_SUCCESS(status)) {
        Match match;
        match.groups.reserve(groupCount + 1);
        bool mapped = true;
        for (int group = 0; group <= groupCount && mapped; ++group) {
            const int32_t start = matcher->start(group, status);
            const int32_t end = matcher->end(group, status);
            if (U_FAILURE(status) || (start >= 0 && (end < start || end > text.size()))) {
                mapped = false;
                break;
            }
            match.groups.append(start < 0 ? Capture{} : Capture{start, end - start});
        }
        if (mapped) {
            matches.append(std::move(match));
        }
        status = U_ZERO_ERROR;
    }
    return matches;
}

QString IcuRegex::replaceAll(QStringView text, QStringView replacement) const {
    const QList<Match> matches = findAll(text);
    if (matches.isEmpty()) {
        return text.toString();
    }
    QString result;
    result.reserve(text.size());
    qsizetype copied = 0;
    for (const Match& match : matches) {
        const Capture& whole = match.groups.front();
        result.append(text.mid(copied, whole.start - copied));
        result.append(replacement);
        copied = whole.end();
    }
    result.append(text.mid(copied));
    return result;
}

} // namespace kestrion
