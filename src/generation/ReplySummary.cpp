#include "generation/ProjectMaterializer.h"
#include "support/SitePath.h"

#include <algorithm>

namespace kestrion::ProjectMaterializer {

namespace {

// Code-point order: plain QString comparison works on UTF-16 units, which puts
// characters beyond the Basic Multilingual Plane before U+E000–U+FFFF.
QStringList sortedByCodePoint(const QStringList& paths) {
    QList<std::pair<QList<uint>, QString>> keyed;
    keyed.reserve(paths.size());
    for (const QString& path : paths) {
        keyed.append({path.toUcs4(), path});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList sorted;
    sorted.reserve(keyed.size());
    for (const auto& entry : keyed) {
        sorted.append(entry.second);
    }
    return sorted;
}

// Every path in a summary comes from the model. A control character in one
// (a line feed, an escape sequence, a NUL) would reach the transcript and the
// history as it is, so each is shown as a \u0000-style escape.
QString shown(const QString& path) {
    return SitePath::escapedForDisplay(path);
}

QString codeList(const QStringList& paths) {
    QStringList quoted;
    quoted.reserve(paths.size());
    for (const QString& path : paths) {
        quoted.append(QLatin1Char('`') + shown(path) + QLatin1Char('`'));
    }
    return quoted.join(QStringLiteral(", "));
}

QString plainList(const QStringList& paths) {
    QStringList escaped;
    escaped.reserve(paths.size());
    for (const QString& path : paths) {
        escaped.append(shown(path));
    }
    return escaped.join(QStringLiteral(", "));
}

QString allowlistText(const QSet<QString>& extensions) {
    return FileGenerationParser::sortedExtensions(extensions).join(QStringLiteral(", "));
}

} // namespace

QString summaryText(const Result& result) {
    QStringList lines;
    if (!result.writtenRelativePaths.isEmpty()) {
        lines.append(QStringLiteral("**Files created:** ") + codeList(sortedByCodePoint(result.writtenRelativePaths)));
    }
    if (!result.fallbackRecoveredPaths.isEmpty()) {
        lines.append(
            QStringLiteral("Note: the model returned raw code instead of `<<<FILE>>>` blocks; the app saved ") +
            codeList(sortedByCodePoint(result.fallbackRecoveredPaths)) + QStringLiteral(" anyway."));
    }
    if (!result.generatedImagePaths.isEmpty()) {
        lines.append(QStringLiteral("**Images generated:** ") +
                     codeList(sortedByCodePoint(result.generatedImagePaths)));
    }
    if (!result.skippedBinaryFileBlocks.isEmpty()) {
        lines.append(QStringLiteral("Skipped text `<<<FILE>>>` for binary image path(s) ") +
                     codeList(result.skippedBinaryFileBlocks) +
                     QStringLiteral(" \u2014 ask me to regenerate using `<<<IMAGE>>>` so real bytes get written."));
    }
    if (!result.skippedNonFrontEndFilePaths.isEmpty()) {
        lines.append(QStringLiteral("Skipped non front-end `<<<FILE>>>` path(s) ") +
                     codeList(result.skippedNonFrontEndFilePaths) +
                     QStringLiteral(". This app only materializes static client files with extensions: ") +
                     allowlistText(FileGenerationParser::allowedFileMaterializationExtensions()) + QLatin1Char('.'));
    }
    if (!result.skippedNonFrontEndImagePaths.isEmpty()) {
        lines.append(QStringLiteral("Skipped `<<<IMAGE>>>` path(s) ") + codeList(result.skippedNonFrontEndImagePaths) +
                     QStringLiteral(". Allowed raster extensions: ") +
                     allowlistText(FileGenerationParser::allowedRasterImageMaterializationExtensions()) +
                     QLatin1Char('.'));
    }
    for (const ImageError& error : result.imageErrors) {
        lines.append(QStringLiteral("Image generation failed for `") + shown(error.path) + QStringLiteral("`: ") +
                     error.message);
    }
    if (!result.skippedUnsafePaths.isEmpty()) {
        lines.append(QStringLiteral("Skipped unsafe path(s): ") + plainList(result.skippedUnsafePaths));
    }
    if (result.errorMessage && !result.errorMessage->isEmpty()) {
        lines.append(result.errorMessage->trimmed());
    }
    if (result.gitExitCode && *result.gitExitCode != 0) {
        lines.append(QStringLiteral("Git failed (exit %1).").arg(*result.gitExitCode));
        if (!result.gitStderr.isEmpty()) {
            lines.append(result.gitStderr.trimmed());
        } else if (!result.gitStdout.isEmpty()) {
            lines.append(result.gitStdout.trimmed());
        }
    }
    // Last, and only when something is broken: every other summary stays as it was.
    if (!result.brokenLinks.isEmpty()) {
        lines.append(LinkCheck::summaryRow(result.brokenLinks));
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace kestrion::ProjectMaterializer
