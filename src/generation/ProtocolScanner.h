#pragma once

#include <QList>
#include <QStringView>

// Linear-time matchers for the reply protocol's patterns.
//
// Each function returns exactly the matches that ICU's find() loop yields for the
// pattern named above it (leftmost, non-overlapping, in order, with the same capture
// ranges), but without backtracking: the lazy bodies ("up to the first closer") are
// quadratic in a backtracking engine when a reply holds many openers and no closer,
// as a reply cut off at the token limit or one quoting the protocol does. The tests
// compare every function with ICU on generated replies.
namespace kestrion::ProtocolScanner {

// A half-open range [start, end) of UTF-16 code units.
struct Span {
    qsizetype start = 0;
    qsizetype end = 0;
    qsizetype length() const { return end - start; }
    bool operator==(const Span&) const = default;
};

// <<<FILE path="([^"]+)">>>([\s\S]*?)<<<END_FILE>>>
struct FileMatch {
    Span whole;
    Span path;
    Span body;
    bool operator==(const FileMatch&) const = default;
};
QList<FileMatch> findFileBlocks(QStringView text);

// <<<IMAGE\s+([^>]+?)>>>([\s\S]*?)<<<END_IMAGE>>>
struct ImageMatch {
    Span whole;
    Span attributes;
    Span body;
    bool operator==(const ImageMatch&) const = default;
};
QList<ImageMatch> findImageBlocks(QStringView text);

// (\w+)\s*=\s*"([^"]*)"
struct AttributeMatch {
    Span whole;
    Span key;
    Span value;
    bool operator==(const AttributeMatch&) const = default;
};
QList<AttributeMatch> findAttributes(QStringView text);

// (?m)^[ \t]*```([A-Za-z0-9_+\-]*)[ \t]*\r?\n([\s\S]*?)\r?\n[ \t]*```[ \t]*$
struct FenceMatch {
    Span whole;
    Span language;
    Span body;
    bool operator==(const FenceMatch&) const = default;
};
QList<FenceMatch> findFences(QStringView text);

// (?is)(<!DOCTYPE\s+html[^>]*>[\s\S]*?</html\s*>|<html\b[\s\S]*?</html\s*>)
// Group 1 is the whole match, so only the whole range is returned.
QList<Span> findRawHtmlDocuments(QStringView text);

// (?i)([A-Za-z0-9_][A-Za-z0-9_./\-]*\.(?:htm|html|xhtml|css|js|mjs|svg|xml|json|webmanifest|txt|md|map))\b
// Group 1 is the whole match, so only the whole range is returned.
QList<Span> findPathMentions(QStringView text);

// Whether <<<IMAGE\s matches anywhere.
bool containsImageOpener(QStringView text);

// The character classes of ICU's regex engine: \s, \w, and the characters \b
// passes over (combining marks and format characters).
bool isRegexWhiteSpace(char32_t codePoint);
bool isRegexWordCharacter(char32_t codePoint);
bool isIgnoredByWordBoundary(char32_t codePoint);

} // namespace kestrion::ProtocolScanner
