#include "generation/FileGenerationParser.h"

#include "generation/ProtocolScanner.h"
#include "support/FileExtension.h"

#include <QMap>
#include <algorithm>

namespace kestrion::FileGenerationParser {

namespace {

using ProtocolScanner::Span;

QStringView slice(QStringView text, const Span& span) {
    return text.mid(span.start, span.length());
}

// Orders texts by Unicode code point (UTF-16 order differs for characters above
// the surrogate range).
bool precedesByCodePoint(const QString& left, const QString& right) {
    return left.toUcs4() < right.toUcs4();
}

// Removes the matched ranges from the text.
QString removingSpans(QStringView text, const QList<Span>& spans) {
    QString result;
    result.reserve(text.size());
    qsizetype copied = 0;
    for (const Span& span : spans) {
        result.append(text.mid(copied, span.start - copied));
        copied = span.end;
    }
    result.append(text.mid(copied));
    return result;
}

QMap<QString, QString> parseAttributeString(QStringView attributes) {
    QMap<QString, QString> result;
    for (const auto& match : ProtocolScanner::findAttributes(attributes)) {
        // A later attribute with the same key replaces the earlier one.
        result.insert(slice(attributes, match.key).toString().toLower(), slice(attributes, match.value).toString());
    }
    return result;
}

// The FILE blocks of the reply from the scanner's matches.
template <typename Matches>
QList<FileBlock> fileBlocksOf(const QString& reply, const Matches& matches) {
    QList<FileBlock> blocks;
    for (const auto& match : matches) {
        QStringView content = slice(reply, match.body);
        // One line feed after the opener and one before the closer belong to the
        // delimiters; a CR LF is kept whole so the file's own line ends survive.
        if (content.startsWith(u'\n')) {
            content = content.mid(1);
        }
        if (content.endsWith(u'\n') && !content.endsWith(u"\r\n")) {
            content.chop(1);
        }
        blocks.append({slice(reply, match.path).toString(), content.toString()});
    }
    return blocks;
}

// The reply without the matched FILE blocks and then without its IMAGE blocks.
template <typename Matches>
QString proseOf(const QString& reply, const Matches& fileMatches) {
    QList<Span> fileSpans;
    for (const auto& match : fileMatches) {
        fileSpans.append(match.whole);
    }
    // Image blocks are removed from what is left, so a FILE block that quotes an
    // IMAGE tag cannot pair it with a closer outside the file.
    const QString withoutFiles = removingSpans(reply, fileSpans);
    QList<Span> imageSpans;
    for (const auto& match : ProtocolScanner::findImageBlocks(withoutFiles)) {
        imageSpans.append(match.whole);
    }
    return collapsingBlankLineRuns(removingSpans(withoutFiles, imageSpans)).trimmed();
}

} // namespace

const QSet<QString>& allowedFileMaterializationExtensions() {
    // Function-local statics are initialised once, safely under concurrent first use.
    static const QSet<QString> extensions{
        QStringLiteral("htm"), QStringLiteral("html"), QStringLiteral("xhtml"), QStringLiteral("css"),
        QStringLiteral("js"),  QStringLiteral("svg"),  QStringLiteral("json"),  QStringLiteral("webmanifest"),
        QStringLiteral("txt"), QStringLiteral("xml"),  QStringLiteral("map"),   QStringLiteral("md"),
    };
    return extensions;
}

const QSet<QString>& allowedRasterImageMaterializationExtensions() {
    static const QSet<QString> extensions{QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("png"),
                                          QStringLiteral("gif"), QStringLiteral("webp")};
    return extensions;
}

QStringList sortedExtensions(const QSet<QString>& set) {
    QStringList list(set.begin(), set.end());
    std::sort(list.begin(), list.end(), precedesByCodePoint);
    return list;
}

namespace {

QList<ImageBlock> imageBlocksOf(const QString& reply) {
    QList<ImageBlock> blocks;
    for (const auto& match : ProtocolScanner::findImageBlocks(reply)) {
        const QMap<QString, QString> attributes = parseAttributeString(slice(reply, match.attributes));
        const auto path = attributes.constFind(QStringLiteral("path"));
        if (path == attributes.cend() || path->isEmpty()) {
            continue;
        }
        const QString prompt = slice(reply, match.body).trimmed().toString();
        if (prompt.isEmpty()) {
            continue;
        }
        ImageBlock block{*path, prompt, std::nullopt, std::nullopt};
        if (const auto size = attributes.constFind(QStringLiteral("size")); size != attributes.cend()) {
            block.size = *size;
        }
        if (const auto model = attributes.constFind(QStringLiteral("model")); model != attributes.cend()) {
            block.model = *model;
        }
        blocks.append(std::move(block));
    }
    return blocks;
}

} // namespace

QString collapsingBlankLineRuns(const QString& text) {
    if (!text.contains(QStringLiteral("\n\n\n"))) {
        return text;
    }
    QString result;
    result.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i] != u'\n') {
            result.append(text[i++]);
            continue;
        }
        qsizetype run = i;
        while (run < text.size() && text[run] == u'\n') {
            ++run;
        }
        result.append(run - i >= 3 ? QStringLiteral("\n\n") : text.mid(i, run - i));
        i = run;
    }
    return result;
}

ParsedReply parseReply(const QString& reply) {
    const auto fileMatches = ProtocolScanner::findFileBlocks(reply);
    ParsedReply parsed;
    parsed.files = fileBlocksOf(reply, fileMatches);
    parsed.images = imageBlocksOf(reply);
    if (parsed.files.isEmpty() && parsed.images.isEmpty()) {
        parsed.fallback = parseFallbackBlocks(reply);
    }
    parsed.prose = proseOf(reply, fileMatches);
    return parsed;
}

QString materializationExtension(const QString& path) {
    QString normalized = path;
    normalized.replace(u'\\', u'/');
    return lowerCasedExtension(normalized, LeadingDot::StartsName);
}

} // namespace kestrion::FileGenerationParser
