#pragma once

#include "generation/FileGenerationParser.h"
#include "generation/GitCommitSequence.h"
#include "generation/LinkCheck.h"
#include "generation/TurnProgress.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace kestrion {
class OpenAIService;
}

// Turns one assistant reply into files in the website directory, generates the
// requested images, commits the directory with git and words a summary of it.
// Work on model output never fails: every problem lands in the Result.
namespace kestrion::ProjectMaterializer {

struct ImageError {
    QString path;
    QString message;

    bool operator==(const ImageError&) const = default;
};

// The record of one materialization. Paths are kept exactly as the reply gave them.
struct Result {
    QStringList writtenRelativePaths;         // text files and images, in the order written
    QStringList generatedImagePaths;          // images written, in order
    QStringList skippedUnsafePaths;           // failed the path safety test (any block kind)
    QStringList skippedNonFrontEndFilePaths;  // FILE / fallback paths outside the text allowlist
    QStringList skippedNonFrontEndImagePaths; // IMAGE paths outside the raster allowlist
    QStringList skippedBinaryFileBlocks;      // FILE paths naming a raster image
    QList<ImageError> imageErrors;            // one per image not produced or not written
    QString gitStdout;
    QString gitStderr;
    std::optional<int> gitExitCode;      // absent when git did not run
    bool gitCommitted = false;           // git made a new commit
    std::optional<QString> errorMessage; // missing directory, or "Write failed for" lines
    QStringList fallbackRecoveredPaths;  // paths written from fallback blocks
    QList<FileGenerationParser::FallbackBlock> fallbackBlocksMaterialized;
    // Links of the site's pages to missing site files, as found once the turn's files are written.
    QList<LinkCheck::BrokenLink> brokenLinks;
};

// Quality used when an image for a .jpg/.jpeg path is re-encoded (0–100 scale).
inline constexpr int jpegQuality = 85;

// Blocking; the caller runs it on a background thread. Never throws. Image
// requests go to openAI one at a time with apiKey passed through unchanged.
Result materialize(const QString& assistantReply, const QString& root, const QString& apiKey,
                   const OpenAIService& openAI);

// Same, with the git executable named (tests use it to name a missing one).
Result materialize(const QString& assistantReply, const QString& root, const QString& apiKey,
                   const OpenAIService& openAI, const QString& gitPath);

// Same, for a reply already parsed (a turn reads its reply once). The observer hears of each step
// (writing, each image, committing); a stop asked for there cancels the images not yet made (each
// then fails with the reason "stopped") while what was written is still committed. With
// LinkCheckRun::WhileCommitting, once files are written the site's broken links go into brokenLinks,
// found while git commits.
enum class LinkCheckRun { No, WhileCommitting };
Result materialize(const FileGenerationParser::ParsedReply& reply, const QString& root, const QString& apiKey,
                   const OpenAIService& openAI, const QString& gitPath = QString::fromLatin1(defaultGitPath),
                   const TurnObserver& observer = {}, LinkCheckRun linkCheck = LinkCheckRun::No);

// The reason an image cancelled by a stop is listed with.
inline const QString stoppedImageReason = QStringLiteral("stopped");

// Decodes the first image in the bytes and re-encodes it as JPEG at the given
// quality (0–100). Nothing when the bytes hold no decodable image.
std::optional<QByteArray> convertToJPEG(const QByteArray& sourceBytes, int quality);

// A short Markdown account of what was written, skipped or failed; empty when
// there is nothing to report.
QString summaryText(const Result& result);

} // namespace kestrion::ProjectMaterializer
