#include "generation/ProjectMaterializer.h"

#include "openai/OpenAIService.h"
#include "support/AtomicFile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <algorithm>

namespace kestrion::ProjectMaterializer {

namespace {

const QString defaultImageSize = QStringLiteral("1024x1024");
const QString defaultImageModel = QStringLiteral("gpt-image-1");

bool endsWithAnyLowerCase(const QString& path, std::initializer_list<QLatin1String> suffixes) {
    const QString lower = path.toLower();
    return std::any_of(suffixes.begin(), suffixes.end(),
                       [&lower](QLatin1String suffix) { return lower.endsWith(suffix); });
}

// A text block must never put text into a file that should hold picture bytes.
bool namesRasterImage(const QString& path) {
    return endsWithAnyLowerCase(path, {QLatin1String(".jpg"), QLatin1String(".jpeg"), QLatin1String(".png"),
                                       QLatin1String(".gif"), QLatin1String(".webp")});
}

bool namesJpeg(const QString& path) {
    return endsWithAnyLowerCase(path, {QLatin1String(".jpg"), QLatin1String(".jpeg")});
}

// The repository and the chat history / launch state live inside the website
// directory; a block that writes there could rewrite history or plant a hook.
// Compared without regard to case: on a case-insensitive volume (a FAT stick,
// an SMB share) ".GIT" is the same folder, and no real site needs such names.
bool namesApplicationFolder(const QString& path) {
    QString normalised = path;
    normalised.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QStringList pieces = normalised.trimmed().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return std::any_of(pieces.begin(), pieces.end(), [](const QString& piece) {
        return piece.compare(QLatin1String(".git"), Qt::CaseInsensitive) == 0 ||
               piece.compare(QLatin1String(".kestrion-chats"), Qt::CaseInsensitive) == 0;
    });
}

bool passesPathTests(const QString& path) {
    return FileGenerationParser::isSafeRelativePath(path) && !namesApplicationFolder(path);
}

// The textual safety test cannot see symbolic links: "assets -> /home/me" makes
// "assets/x.txt" a file outside the site. Resolve the target the way the kernel
// will, one existing piece at a time (links included), and require the result
// to stay inside the resolved website directory. A dangling link or a loop
// cannot be resolved and is refused.
bool staysInsideRoot(const QString& canonicalRoot, const QString& relativePath) {
    if (canonicalRoot.isEmpty()) {
        return false; // an unresolvable website directory vouches for nothing
    }
    QString current = canonicalRoot;
    bool walkingExisting = true;
    for (const QString& piece : relativePath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (piece == QLatin1String(".")) {
            continue;
        }
        if (piece == QLatin1String("..")) {
            return false;
        }
        const QString next = current + QLatin1Char('/') + piece;
        if (walkingExisting) {
            const QFileInfo info(next);
            if (info.exists() || info.isSymLink()) {
                current = info.canonicalFilePath();
                if (current.isEmpty()) {
                    return false;
                }
                continue;
            }
            walkingExisting = false; // everything below a missing piece will be created here
        }
        current = next;
    }
    const QString prefix = canonicalRoot.endsWith(QLatin1Char('/')) ? canonicalRoot : canonicalRoot + QLatin1Char('/');
    return current == canonicalRoot || current.startsWith(prefix);
}

QString targetPath(const QString& root, const QString& relativePath) {
    if (root.endsWith(QLatin1Char('/'))) {
        return root + relativePath;
    }
    return root + QLatin1Char('/') + relativePath;
}

QString parentOf(const QString& target) {
    return QFileInfo(target).absolutePath();
}

bool hasAllowedExtension(const QString& path, const QSet<QString>& allowlist) {
    const QString extension = FileGenerationParser::materializationExtension(path);
    return !extension.isEmpty() && allowlist.contains(extension);
}

struct Walk {
    const QString& root;
    QString canonicalRoot;
    Result result;
    QString writeFailures;

    // Steps shared by FILE and fallback blocks once the raster test is behind
    // them. True when the file was written.
    bool writeTextBlock(const QString& path, const QString& content) {
        if (!passesPathTests(path)) {
            result.skippedUnsafePaths.append(path);
            return false;
        }
        if (!hasAllowedExtension(path, FileGenerationParser::allowedFileMaterializationExtensions())) {
            result.skippedNonFrontEndFilePaths.append(path);
            return false;
        }
        if (!staysInsideRoot(canonicalRoot, path)) {
            result.skippedUnsafePaths.append(path);
            return false;
        }
        const QString target = targetPath(root, path);
        WriteResult written = makeDirectories(parentOf(target));
        if (written.ok()) {
            written = writeFileAtomically(target, content.toUtf8());
        }
        if (!written.ok()) {
            writeFailures +=
                QStringLiteral("Write failed for ") + path + QStringLiteral(": ") + written.error + QLatin1Char('\n');
            result.errorMessage = writeFailures;
            return false;
        }
        result.writtenRelativePaths.append(path);
        return true;
    }

    void writeImageBlock(const FileGenerationParser::ImageBlock& block, const QString& apiKey,
                         const OpenAIService& openAI) {
        const QString& path = block.path;
        if (!passesPathTests(path)) {
            result.skippedUnsafePaths.append(path);
            return;
        }
        if (!hasAllowedExtension(path, FileGenerationParser::allowedRasterImageMaterializationExtensions())) {
            result.skippedNonFrontEndImagePaths.append(path);
            return;
        }
        // Checked before the folder is made: creating folders through an
        // outward link would already be a write outside the site.
        if (!staysInsideRoot(canonicalRoot, path)) {
            result.skippedUnsafePaths.append(path);
            return;
        }
        const QString target = targetPath(root, path);
        if (const WriteResult made = makeDirectories(parentOf(target)); !made.ok()) {
            result.imageErrors.append({path, made.error});
            return;
        }
        OpenAIResult<QByteArray> generated = openAI.generateImage(block.prompt, block.size.value_or(defaultImageSize),
                                                                  block.model.value_or(defaultImageModel), apiKey);
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
        if (const WriteResult written = writeFileAtomically(target, bytes); !written.ok()) {
            result.imageErrors.append({path, written.error});
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
    const QList<FileGenerationParser::FileBlock> files = FileGenerationParser::parseFileBlocks(assistantReply);
    const QList<FileGenerationParser::ImageBlock> images = FileGenerationParser::parseImageBlocks(assistantReply);
    QList<FileGenerationParser::FallbackBlock> fallback;
    if (files.isEmpty() && images.isEmpty()) {
        fallback = FileGenerationParser::parseFallbackBlocks(assistantReply);
    }
    if (files.isEmpty() && images.isEmpty() && fallback.isEmpty()) {
        return {};
    }

    const QFileInfo rootInfo(root);
    if (!rootInfo.exists()) {
        Result missing;
        missing.errorMessage = QStringLiteral("Website directory does not exist: ") + root;
        return missing;
    }

    Walk walk{root, rootInfo.canonicalFilePath(), {}, {}};

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
    for (const FileGenerationParser::ImageBlock& block : images) {
        walk.writeImageBlock(block, apiKey, openAI);
    }

    Result result = std::move(walk.result);
    if (result.writtenRelativePaths.isEmpty()) {
        return result;
    }
    const GitOutcome git = runGitSequence(root, gitPath);
    result.gitStdout = git.standardOutput;
    result.gitStderr = git.standardError;
    result.gitExitCode = git.code;
    return result;
}

} // namespace kestrion::ProjectMaterializer
