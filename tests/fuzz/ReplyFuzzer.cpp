// A model reply goes through everything the conversation does with it before
// anything touches the disk: the FILE and IMAGE parsers, the fallback recovery
// of pasted documents, the stripping for display and the summary of the result.

#include "FuzzCheck.h"
#include "generation/FileGenerationParser.h"
#include "generation/ProjectMaterializer.h"
#include "openai/OpenAIService.h"
#include "support/SitePath.h"

#include <QSet>
#include <QString>
#include <cstddef>
#include <cstdint>

using namespace kestrion;
namespace Parser = kestrion::FileGenerationParser;

namespace {

bool allowedBy(const QSet<QString>& allowlist, const QString& path) {
    const QString extension = Parser::materializationExtension(path);
    return !extension.isEmpty() && allowlist.contains(extension);
}

// The record the materializer would make if every allowed write succeeded,
// so the summary sees each kind of line the parsers can lead to.
ProjectMaterializer::Result plannedResult(const QList<Parser::FileBlock>& files,
                                          const QList<Parser::ImageBlock>& images,
                                          const QList<Parser::FallbackBlock>& fallback) {
    ProjectMaterializer::Result result;
    const auto planText = [&result](const QString& path) {
        if (!SitePath::isSafeRelativePath(path)) {
            result.skippedUnsafePaths.append(path);
        } else if (!allowedBy(Parser::allowedFileMaterializationExtensions(), path)) {
            result.skippedNonFrontEndFilePaths.append(path);
        } else {
            result.writtenRelativePaths.append(path);
            return true;
        }
        return false;
    };
    for (const Parser::FileBlock& block : files) {
        if (allowedBy(Parser::allowedRasterImageMaterializationExtensions(), block.path)) {
            result.skippedBinaryFileBlocks.append(block.path);
        } else {
            planText(block.path);
        }
    }
    for (const Parser::FallbackBlock& block : fallback) {
        if (planText(block.path)) {
            result.fallbackRecoveredPaths.append(block.path);
            result.fallbackBlocksMaterialized.append(block);
        }
    }
    for (const Parser::ImageBlock& block : images) {
        if (!SitePath::isSafeRelativePath(block.path)) {
            result.skippedUnsafePaths.append(block.path);
        } else if (!allowedBy(Parser::allowedRasterImageMaterializationExtensions(), block.path)) {
            result.skippedNonFrontEndImagePaths.append(block.path);
        } else if (block.prompt.size() % 2 == 0) {
            result.writtenRelativePaths.append(block.path);
            result.generatedImagePaths.append(block.path);
        } else {
            result.imageErrors.append({block.path, block.prompt.left(40)});
        }
    }
    if (!result.writtenRelativePaths.isEmpty()) {
        result.gitExitCode = files.size() % 3 == 0 ? 0 : 1;
        result.gitStderr = files.isEmpty() ? QString() : files.first().content.left(80);
    }
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString reply = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const Parser::ParsedReply parsed = Parser::parseReply(reply);
    const QList<Parser::FileBlock>& files = parsed.files;
    for (const Parser::FileBlock& block : files) {
        FUZZ_CHECK(!block.path.isEmpty());
        FUZZ_CHECK(reply.contains(block.path));
        FUZZ_CHECK(reply.contains(block.content));
    }
    const QList<Parser::ImageBlock>& images = parsed.images;
    for (const Parser::ImageBlock& block : images) {
        FUZZ_CHECK(!block.prompt.isEmpty());
        FUZZ_CHECK(block.prompt == block.prompt.trimmed());
        FUZZ_CHECK(reply.contains(block.prompt));
        const QString model = block.model.value_or(QStringLiteral("gpt-image-1"));
        OpenAIService::normalizedSize(block.size.value_or(QString()), model);
    }

    // Pasted documents are recovered only from a reply that holds no protocol block at all.
    const QList<Parser::FallbackBlock> fallback = Parser::parseFallbackBlocks(reply);
    if (!files.isEmpty() || !images.isEmpty()) {
        FUZZ_CHECK(fallback.isEmpty());
    }
    FUZZ_CHECK(parsed.fallback == fallback);
    QSet<QString> fallbackPaths;
    for (const Parser::FallbackBlock& block : fallback) {
        FUZZ_CHECK(reply.contains(block.rawSpan));
        FUZZ_CHECK(SitePath::isSafeRelativePath(block.path));
        FUZZ_CHECK(allowedBy(Parser::allowedFileMaterializationExtensions(), block.path));
        FUZZ_CHECK(!fallbackPaths.contains(block.path));
        fallbackPaths.insert(block.path);
    }

    // What the chat shows: the stripped reply, the recovered code taken out, then the summary.
    QString display = parsed.prose;
    const ProjectMaterializer::Result result = plannedResult(files, images, fallback);
    for (const Parser::FallbackBlock& block : result.fallbackBlocksMaterialized) {
        if (!block.rawSpan.isEmpty()) {
            display.remove(block.rawSpan, Qt::CaseSensitive);
        }
    }
    const QString summary = ProjectMaterializer::summaryText(result);
    FUZZ_CHECK(summary.isEmpty() ==
               (result.writtenRelativePaths.isEmpty() && result.skippedUnsafePaths.isEmpty() &&
                result.skippedNonFrontEndFilePaths.isEmpty() && result.skippedNonFrontEndImagePaths.isEmpty() &&
                result.skippedBinaryFileBlocks.isEmpty() && result.imageErrors.isEmpty()));
    return 0;
}
