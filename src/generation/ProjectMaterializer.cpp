#include "generation/ProjectMaterializer.h"

#include "openai/OpenAIService.h"
#include "support/Logging.h"
#include "support/SitePath.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <algorithm>
#include <thread>

namespace kestrion::ProjectMaterializer {

namespace {

const QString defaultImageSize = QStringLiteral("1024x1024");
const QString defaultImageModel = QStringLiteral("gpt-image-1");

bool endsWithExtension(const QString& lowerPath, const QString& extension) {
    return lowerPath.endsWith(extension) && lowerPath.size() > extension.size() &&
           lowerPath.at(lowerPath.size() - extension.size() - 1) == u'.';
}

// A text block must never put text into a file that should hold picture bytes.
// Judged on the path as written, before any safety test, so "../logo.png"
// still counts.
bool namesRasterImage(const QString& path) {
    const QString lower = path.toLower();
    const QSet<QString>& raster = FileGenerationParser::allowedRasterImageMaterializationExtensions();
    return std::any_of(raster.begin(), raster.end(),
                       [&lower](const QString& extension) { return endsWithExtension(lower, extension); });
}

bool namesJpeg(const QString& path) {
    const QString lower = path.toLower();
    return endsWithExtension(lower, QStringLiteral("jpg")) || endsWithExtension(lower, QStringLiteral("jpeg"));
}

// The textual half of the path test, made before the allowlists. The
// repository and the chat history / launch state live inside the website
// directory; a block naming them could rewrite history or plant a hook, so
// such a path is refused before anything else is said about it.
bool passesTextualTest(const QString& path) {
    return SitePath::isSafeRelativePath(path) && !SitePath::namesPrivateFolder(path);
}

// The path resolved on disk (every link followed) leads outside the site or
// into its private folders. A website directory that cannot be resolved says
// nothing about the path: writing there then fails with its own message.
bool leadsSomewhereUnsafe(const SitePath::Resolution& target) {
    return !target.ok() && target.refusal != SitePath::Refusal::RootMissing;
}

bool hasAllowedExtension(const QString& path, const QSet<QString>& allowlist) {
    const QString extension = FileGenerationParser::materializationExtension(path);
    return !extension.isEmpty() && allowlist.contains(extension);
}

const char* refusalName(SitePath::Refusal refusal) {
    switch (refusal) {
    case SitePath::Refusal::None:
        return "none";
    case SitePath::Refusal::UnsafeText:
        return "unsafe text";
    case SitePath::Refusal::RootMissing:
        return "website folder missing";
    case SitePath::Refusal::Outside:
        return "outside the website folder";
    case SitePath::Refusal::Private:
        return "private folder";
    case SitePath::Refusal::Unresolvable:
        return "unresolvable";
    }
    return "unknown";
}

// A path from the reply may carry control characters, so it is logged escaped.
void logRefusedPath(const QString& path, SitePath::Refusal refusal) {
    qCWarning(lcGeneration, "Refused path (%s): %s", refusalName(refusal),
              qUtf8Printable(SitePath::escapedForDisplay(path)));
}

SitePath::Refusal textualRefusal(const QString& path) {
    return SitePath::isSafeRelativePath(path) ? SitePath::Refusal::Private : SitePath::Refusal::UnsafeText;
}

void logFailure(const char* what, const QString& path, const QString& error) {
    qCWarning(lcGeneration, "%s %s: %s", what, qUtf8Printable(SitePath::escapedForDisplay(path)),
              qUtf8Printable(SitePath::escapedForDisplay(error)));
}

struct Walk {
    SitePath::Site site;
    Result result;
    QString writeFailures;

    void refuse(const QString& path, SitePath::Refusal refusal) {
        logRefusedPath(path, refusal);
        result.skippedUnsafePaths.append(path);
    }

    void recordWriteFailure(const QString& path, const QString& error) {
        // The error may quote a resolved location, which a link's text can
        // fill with control characters.
        logFailure("Write failed for", path, error);
        writeFailures += QCoreApplication::translate("kestrion::ProjectMaterializer", "Write failed for %1: %2")
                             .arg(path, SitePath::escapedForDisplay(error)) +
                         QLatin1Char('\n');
        result.errorMessage = writeFailures;
    }

    // Steps shared by FILE and fallback blocks once the raster test is behind
    // them. True when the file was written.
    bool writeTextBlock(const QString& path, const QString& content) {
        if (!passesTextualTest(path)) {
            refuse(path, textualRefusal(path));
            return false;
        }
        if (!hasAllowedExtension(path, FileGenerationParser::allowedFileMaterializationExtensions())) {
            result.skippedNonFrontEndFilePaths.append(path);
            return false;
        }
        const SitePath::Resolution target = site.resolve(path);
        if (leadsSomewhereUnsafe(target)) {
            refuse(path, target.refusal);
            return false;
        }
        if (const WriteResult written = site.write(target, content.toUtf8()); !written.ok()) {
            recordWriteFailure(path, written.error);
            return false;
        }
        result.writtenRelativePaths.append(path);
        return true;
    }

    void writeImageBlock(const FileGenerationParser::ImageBlock& block, const QString& apiKey,
                         const OpenAIService& openAI, const TurnObserver& observer) {
        const QString& path = block.path;
        if (observer.stopRequested()) {
            result.imageErrors.append({path, stoppedImageReason});
            return;
        }
        if (!passesTextualTest(path)) {
            refuse(path, textualRefusal(path));
            return;
        }
        if (!hasAllowedExtension(path, FileGenerationParser::allowedRasterImageMaterializationExtensions())) {
            result.skippedNonFrontEndImagePaths.append(path);
            return;
        }
        // Decided before the request, so a refused path costs no image; the
        // bytes then go to this very resolution, never to a fresh one.
        const SitePath::Resolution target = site.resolve(path);
        if (leadsSomewhereUnsafe(target)) {
            refuse(path, target.refusal);
            return;
        }
        if (const WriteResult made = site.makeFolders(target); !made.ok()) {
            logFailure("Folders could not be made for", path, made.error);
            result.imageErrors.append({path, SitePath::escapedForDisplay(made.error)});
            return;
        }
        OpenAIResult<QByteArray> generated =
            openAI.generateImage(block.prompt, block.size.value_or(defaultImageSize),
                                 block.model.value_or(defaultImageModel), apiKey, observer.stop);
        if (!generated.ok() && observer.stopRequested()) {
            result.imageErrors.append({path, stoppedImageReason});
            return;
        }
        if (!generated.ok()) {
            result.imageErrors.append({path, generated.error().description()});
            return;
        }
        QByteArray bytes = std::move(generated).value();
        if (namesJpeg(path)) {
            if (std::optional<QByteArray> jpeg = convertToJPEG(bytes, jpegQuality)) {
                bytes = std::move(*jpeg);
            }
        }
        if (const WriteResult written = site.write(target, bytes); !written.ok()) {
            logFailure("Write failed for", path, written.error);
            result.imageErrors.append({path, SitePath::escapedForDisplay(written.error)});
            return;
        }
        result.writtenRelativePaths.append(path);
        result.generatedImagePaths.append(path);
    }
};

} // namespace

std::optional<QByteArray> convertToJPEG(const QByteArray& sourceBytes, int quality) {
    const QImage image = QImage::fromData(sourceBytes);
    if (image.isNull()) {
        return std::nullopt;
    }
    QByteArray encoded;
    QBuffer buffer(&encoded);
    if (!buffer.open(QIODevice::WriteOnly)) {
        return std::nullopt;
    }
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    if (!writer.write(image)) {
        return std::nullopt;
    }
    return encoded;
}

Result materialize(const QString& assistantReply, const QString& root, const QString& apiKey,
                   const OpenAIService& openAI) {
    return materialize(assistantReply, root, apiKey, openAI, QString::fromLatin1(defaultGitPath));
}

Result materialize(const QString& assistantReply, const QString& root, const QString& apiKey,
                   const OpenAIService& openAI, const QString& gitPath) {
    return materialize(FileGenerationParser::parseReply(assistantReply), root, apiKey, openAI, gitPath);
}

Result materialize(const FileGenerationParser::ParsedReply& reply, const QString& root, const QString& apiKey,
                   const OpenAIService& openAI, const QString& gitPath, const TurnObserver& observer,
                   LinkCheckRun linkCheck) {
    const QList<FileGenerationParser::FileBlock>& files = reply.files;
    const QList<FileGenerationParser::ImageBlock>& images = reply.images;
    const QList<FileGenerationParser::FallbackBlock>& fallback = reply.fallback;
    if (files.isEmpty() && images.isEmpty() && fallback.isEmpty()) {
        return {};
    }

    const QFileInfo rootInfo(root);
    if (!rootInfo.exists()) {
        Result missing;
        missing.errorMessage =
            QCoreApplication::translate("kestrion::ProjectMaterializer", "Website directory does not exist: ") + root;
        return missing;
    }

    Walk walk{SitePath::Site(root), {}, {}};

    if (!files.isEmpty() || !fallback.isEmpty()) {
        observer.report({TurnProgress::Stage::Writing, 0, static_cast<int>(files.size() + fallback.size()), {}});
    }
    for (const FileGenerationParser::FileBlock& block : files) {
        // Before the safety test, so "../logo.png" is still reported as a binary path.
        if (namesRasterImage(block.path)) {
            walk.result.skippedBinaryFileBlocks.append(block.path);
            continue;
        }
        walk.writeTextBlock(block.path, block.content);
    }

    for (const FileGenerationParser::FallbackBlock& block : fallback) {
        if (walk.writeTextBlock(block.path, block.content)) {
            walk.result.fallbackRecoveredPaths.append(block.path);
            walk.result.fallbackBlocksMaterialized.append(block);
        }
    }

    // One at a time: each request is answered before the next is made.
    for (qsizetype i = 0; i < images.size(); ++i) {
        if (!observer.stopRequested()) {
            observer.report({TurnProgress::Stage::GeneratingImage, static_cast<int>(i + 1),
                             static_cast<int>(images.size()), images[i].path});
        }
        walk.writeImageBlock(images[i], apiKey, openAI, observer);
    }

    Result result = std::move(walk.result);
    if (result.writtenRelativePaths.isEmpty()) {
        return result;
    }
    observer.report({TurnProgress::Stage::Committing, 0, 0, {}});
    // git only reads the site's files and writes under .git, which the link check never reads, so
    // each finds what it would find alone; the check runs while the turn's thread waits for git.
    // A thread of its own (not a pool's): the check is never queued behind the turns that wait for
    // it, and it is joined before this returns.
    std::jthread checker;
    if (linkCheck == LinkCheckRun::WhileCommitting) {
        checker = std::jthread([&result, &root] { result.brokenLinks = LinkCheck::check(root); });
    }
    const GitOutcome git = runGitSequence(root, gitPath);
    if (checker.joinable()) {
        checker.join();
    }
    result.gitStdout = git.standardOutput;
    result.gitStderr = git.standardError;
    result.gitExitCode = git.code;
    result.gitCommitted = git.committed;
    return result;
}

} // namespace kestrion::ProjectMaterializer
