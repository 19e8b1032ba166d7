#include "generation/FileGenerationParser.h"
#include "generation/ProtocolScanner.h"
#include "support/GraphemeText.h"
#include "support/SitePath.h"

#include <QTextBoundaryFinder>
#include <algorithm>
#include <optional>
#include <unicode/uchar.h>

// Best-effort recovery of whole files that a reply pasted outside the block
// protocol: Markdown code fences and raw HTML documents. Small snippets must not
// become files and an inferred name must never leave the website directory.
//
// "Characters" here are user-perceived characters (grapheme clusters) throughout:
// the 60-character substantial test, the first 200 characters an untagged fence is
// sniffed in, and the 600-character window of prose searched for a file name.

namespace kestrion::FileGenerationParser {

namespace {

using ProtocolScanner::Span;

constexpr qsizetype substantialLength = 60;
constexpr qsizetype untaggedSniffLength = 200;
constexpr qsizetype pathHintWindowLength = 600;

bool containsIgnoringCase(QStringView text, QStringView needle) {
    return text.contains(needle, Qt::CaseInsensitive);
}

// Long enough to be a file, and for HTML a whole document rather than a
// fragment such as a lone <div> section.
bool isSubstantialFallbackBody(QStringView body, const QString& ext) {
    const QStringView trimmed = body.trimmed();
    // A cluster holds at least one code unit, so a shorter text cannot qualify.
    if (trimmed.size() < substantialLength || !graphemePrefixLength(trimmed, substantialLength)) {
        return false;
    }
    if (ext != u"htm") {
        return true;
    }
    return containsIgnoringCase(trimmed, u"<html") || containsIgnoringCase(trimmed, u"<!doctype html") ||
           containsIgnoringCase(trimmed, u"<body");
}

// The extension a fence's language tag (already in lower case) stands for; an
// untagged fence is a page when its first characters open an HTML document.
std::optional<QString> fileExtension(const QString& language, QStringView body) {
    static const QHash<QString, QString> byLanguage{
        {QStringLiteral("html"), QStringLiteral("htm")},      {QStringLiteral("htm"), QStringLiteral("htm")},
        {QStringLiteral("xhtml"), QStringLiteral("htm")},     {QStringLiteral("css"), QStringLiteral("css")},
        {QStringLiteral("js"), QStringLiteral("js")},         {QStringLiteral("javascript"), QStringLiteral("js")},
        {QStringLiteral("mjs"), QStringLiteral("js")},        {QStringLiteral("jsx"), QStringLiteral("js")},
        {QStringLiteral("svg"), QStringLiteral("svg")},       {QStringLiteral("xml"), QStringLiteral("xml")},
        {QStringLiteral("json"), QStringLiteral("json")},     {QStringLiteral("txt"), QStringLiteral("txt")},
        {QStringLiteral("text"), QStringLiteral("txt")},      {QStringLiteral("plain"), QStringLiteral("txt")},
        {QStringLiteral("plaintext"), QStringLiteral("txt")}, {QStringLiteral("md"), QStringLiteral("md")},
        {QStringLiteral("markdown"), QStringLiteral("md")},
    };
    if (language.isEmpty()) {
        const QStringView head = body.first(graphemePrefixLength(body, untaggedSniffLength).value_or(body.size()));
        if (containsIgnoringCase(head, u"<!doctype html") || containsIgnoringCase(head, u"<html")) {
            return QStringLiteral("htm");
        }
        return std::nullopt;
    }
    const auto it = byLanguage.constFind(language);
    if (it == byLanguage.cend()) {
        return std::nullopt;
    }
    return *it;
}

QString defaultPath(const QString& ext) {
    if (ext == u"htm" || ext == u"html") {
        return QStringLiteral("index.htm");
    }
    static const QHash<QString, QString> byExtension{
        {QStringLiteral("css"), QStringLiteral("styles.css")}, {QStringLiteral("js"), QStringLiteral("app.js")},
        {QStringLiteral("svg"), QStringLiteral("image.svg")},  {QStringLiteral("xml"), QStringLiteral("data.xml")},
        {QStringLiteral("json"), QStringLiteral("data.json")}, {QStringLiteral("txt"), QStringLiteral("notes.txt")},
        {QStringLiteral("md"), QStringLiteral("README.md")},
    };
    return byExtension.value(ext, QStringLiteral("file.") + ext);
}

// A letter or a digit in the Unicode sense, judged by the cluster's first code point.
bool isLetterOrDigit(char32_t codePoint) {
    return u_hasBinaryProperty(UChar32(codePoint), UCHAR_ALPHABETIC) ||
           u_getIntPropertyValue(UChar32(codePoint), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

// Pulls prefixes such as "/", "../" and "~/" into the candidate so that the
// safety test sees them.
qsizetype walkBackThroughPathPrefix(const QString& window, std::optional<QTextBoundaryFinder>& clusters,
                                    qsizetype start) {
    while (start > 0) {
        qsizetype previous = start - 1;
        // An ASCII character preceded by another (or by nothing) is a cluster of its own
        // (CR LF aside, which is no path character either way).
        if (window[previous].unicode() >= 0x80 || (previous > 0 && window[previous - 1].unicode() >= 0x80)) {
            if (!clusters) {
                clusters.emplace(QTextBoundaryFinder::Grapheme, window);
            }
            clusters->setPosition(start);
            previous = clusters->toPreviousBoundary();
            if (previous < 0) {
                break;
            }
        }
        const QChar lead = window[previous];
        const char32_t first = lead.isHighSurrogate() && previous + 1 < start && window[previous + 1].isLowSurrogate()
                                   ? QChar::surrogateToUcs4(lead, window[previous + 1])
                                   : char32_t(lead.unicode());
        const bool pathCharacter =
            first == U'/' || first == U'.' || first == U'~' || first == U'_' || first == U'-' || isLetterOrDigit(first);
        if (!pathCharacter) {
            break;
        }
        start = previous;
    }
    return start;
}

// The file name the prose before the code mentions, preferring one of the
// code's own kind; names that fail the safety test or the allowlist are passed over.
std::optional<QString> inferPathHint(const QString& window, const QString& defaultExtension) {
    const QList<ProtocolScanner::Span> mentions = ProtocolScanner::findPathMentions(window);
    if (mentions.isEmpty()) {
        return std::nullopt;
    }
    std::optional<QTextBoundaryFinder> clusters;
    QStringList candidates;
    for (const ProtocolScanner::Span& mention : mentions) {
        const qsizetype start = walkBackThroughPathPrefix(window, clusters, mention.start);
        QString candidate = window.mid(start, mention.end - start);
        candidate.replace(u'\\', u'/');
        if (candidate.startsWith(QStringLiteral("./"))) {
            candidate.remove(0, 2);
        }
        const QString ext = materializationExtension(candidate);
        if (!SitePath::isSafeRelativePath(candidate) || ext.isEmpty() ||
            !allowedFileMaterializationExtensions().contains(ext)) {
            continue;
        }
        candidates.append(candidate);
    }
    if (candidates.isEmpty()) {
        return std::nullopt;
    }
    const bool wantsPage = defaultExtension == u"htm" || defaultExtension == u"html";
    // The preferred name mentioned closest before the code wins.
    for (auto it = candidates.crbegin(); it != candidates.crend(); ++it) {
        const QString ext = materializationExtension(*it);
        const bool preferred =
            wantsPage ? (ext == u"htm" || ext == u"html" || ext == u"xhtml") : ext == defaultExtension;
        if (preferred) {
            return *it;
        }
    }
    return candidates.last();
}

// The prose before each recovered block, limited to its last 600 characters. The
// cluster boundaries of the whole reply are computed once, on first need, and shared
// by every block: a boundary before a position never depends on the text after it.
class ProseWindows {
public:
    explicit ProseWindows(const QString& reply) : m_reply(reply) {}

    QString before(qsizetype position) {
        qsizetype start = position;
        qsizetype remaining = pathHintWindowLength;
        // ASCII prose steps back one character per cluster, a CR LF pair counting as
        // one; the Unicode tables are built only when other text comes into the window.
        while (remaining > 0 && start > 0) {
            const char16_t last = m_reply[start - 1].unicode();
            const char16_t beforeLast = start >= 2 ? m_reply[start - 2].unicode() : u'\0';
            if (last >= 0x80 || beforeLast >= 0x80) {
                break;
            }
            start -= (last == u'\n' && beforeLast == u'\r') ? 2 : 1;
            --remaining;
        }
        if (remaining > 0 && start > 0) {
            if (!m_clusters) {
                m_clusters.emplace(QTextBoundaryFinder::Grapheme, m_reply);
            }
            m_clusters->setPosition(start);
            for (; remaining > 0 && start > 0; --remaining) {
                const qsizetype previous = m_clusters->toPreviousBoundary();
                if (previous < 0) {
                    start = 0;
                    break;
                }
                start = previous;
            }
        }
        return m_reply.mid(start, position - start);
    }

private:
    const QString& m_reply;
    std::optional<QTextBoundaryFinder> m_clusters;
};

struct FencedBlock {
    FallbackBlock block;
    Span span;
};

// Whole files inside Markdown code fences.
QList<FencedBlock> parseFencedFallbackBlocks(const QString& reply, ProseWindows& windows) {
    QList<FencedBlock> blocks;
    for (const auto& match : ProtocolScanner::findFences(reply)) {
        const QString language = reply.mid(match.language.start, match.language.length()).toLower();
        const QStringView body = QStringView(reply).mid(match.body.start, match.body.length());
        const std::optional<QString> ext = fileExtension(language, body);
        if (!ext || !isSubstantialFallbackBody(body, *ext)) {
            continue;
        }
        const QString path = inferPathHint(windows.before(match.whole.start), *ext).value_or(defaultPath(*ext));
        const QString origin =
            QStringLiteral("fenced ```") + (language.isEmpty() ? *ext : language) + QStringLiteral(" block");
        blocks.append(
            {{path, body.toString(), reply.mid(match.whole.start, match.whole.length()), origin}, match.whole});
    }
    return blocks;
}

// Whole HTML documents pasted into the prose, except those inside a fence the
// fenced recovery already took.
QList<FallbackBlock> parseRawHtmlDoctypeFallbackBlocks(const QString& reply, const QList<Span>& skipping,
                                                       ProseWindows& windows) {
    QList<FallbackBlock> blocks;
    // Both the documents and the skipped fences come in text order.
    qsizetype skip = 0;
    for (const Span& match : ProtocolScanner::findRawHtmlDocuments(reply)) {
        while (skip < skipping.size() && skipping[skip].end <= match.start) {
            ++skip;
        }
        if (skip < skipping.size() && skipping[skip].start <= match.start) {
            continue;
        }
        const QStringView document = QStringView(reply).mid(match.start, match.length());
        if (!isSubstantialFallbackBody(document, QStringLiteral("htm"))) {
            continue;
        }
        const QString path =
            inferPathHint(windows.before(match.start), QStringLiteral("htm")).value_or(QStringLiteral("index.htm"));
        const QString text = document.toString();
        blocks.append({path, text, text, QStringLiteral("raw <!DOCTYPE> block")});
    }
    return blocks;
}

} // namespace

QList<FallbackBlock> parseFallbackBlocks(const QString& reply) {
    // Any protocol block means the model followed the protocol; guessing on top of
    // it could overwrite what it asked for.
    if (reply.contains(u"<<<FILE path=") || reply.contains(u"<<<END_FILE>>>") ||
        ProtocolScanner::containsImageOpener(reply)) {
        return {};
    }
    ProseWindows windows(reply);
    QSet<QString> taken;
    QList<Span> skipping;
    QList<FallbackBlock> kept;
    for (FencedBlock& fenced : parseFencedFallbackBlocks(reply, windows)) {
        // The fence's own range is skipped, taken or not, so the raw step does not
        // recover the document inside it a second time.
        skipping.append(fenced.span);
        if (!taken.contains(fenced.block.path)) {
            taken.insert(fenced.block.path);
            kept.append(std::move(fenced.block));
        }
    }
    for (FallbackBlock& raw : parseRawHtmlDoctypeFallbackBlocks(reply, skipping, windows)) {
        if (!taken.contains(raw.path)) {
            taken.insert(raw.path);
            kept.append(std::move(raw));
        }
    }
    return kept;
}

} // namespace kestrion::FileGenerationParser
