#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

// The text protocol in which the model returns website files and image requests:
// its announcement in the system prompt, the extension allowlists, the block
// parsers, display stripping, and the best-effort recovery
// of whole documents pasted outside the protocol. Every operation is a pure
// function of its arguments and safe to call from any thread.
namespace kestrion::FileGenerationParser {

// One text file requested by a reply.
struct FileBlock {
    QString path; // exactly as written between the quotes
    QString content;
    bool operator==(const FileBlock&) const = default;
};

// One image requested by a reply. Defaults for size and model are the materializer's.
struct ImageBlock {
    QString path;
    QString prompt; // trimmed, never empty
    std::optional<QString> size;
    std::optional<QString> model;
    bool operator==(const ImageBlock&) const = default;
};

// One whole file recovered from code outside the protocol.
struct FallbackBlock {
    QString path;    // project-relative path to write
    QString content; // the file body
    QString rawSpan; // the exact stretch of the reply it came from
    QString origin;  // "fenced ```html block" or "raw <!DOCTYPE> block"
    bool operator==(const FallbackBlock&) const = default;
};

// Everything one reply asks for, read in one pass over it.
struct ParsedReply {
    QList<FileBlock> files;
    QList<ImageBlock> images;
    // Only when the reply holds neither files nor images.
    QList<FallbackBlock> fallback;
    // The reply without its FILE and IMAGE blocks, for display in the chat.
    QString prose;
};

// Lower-case extensions that may be written from text (12 entries).
const QSet<QString>& allowedFileMaterializationExtensions();
// Lower-case extensions image blocks may produce and text blocks must never target (5 entries).
const QSet<QString>& allowedRasterImageMaterializationExtensions();
// The entries in ascending code-point order, as shown to the model and the user.
QStringList sortedExtensions(const QSet<QString>& set);

// The protocol announcement joined into the system prompt.
QString systemPromptAppendix();

// Runs of three or more line feeds shortened to two.
QString collapsingBlankLineRuns(const QString& text);

// The blocks, the fallback documents and the prose of one reply: every
// well-formed FILE block and every usable IMAGE block, in reply order.
ParsedReply parseReply(const QString& reply);

// Whole documents pasted as raw markup or fenced code, with inferred paths; none
// when the reply holds any protocol block.
QList<FallbackBlock> parseFallbackBlocks(const QString& reply);

// The lower-cased extension of a path as the allowlists use it: backslashes count
// as '/', and a name whose only dot is its first character (".htaccess") has
// none; otherwise as lowerCasedExtension.
QString materializationExtension(const QString& path);

} // namespace kestrion::FileGenerationParser
