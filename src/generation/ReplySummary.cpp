#include "generation/ProjectMaterializer.h"
#include "support/SitePath.h"

#include <QCoreApplication>
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

// One line of the summary in the user's language. The pieces are put in in one pass, so a "%2" inside a
// path from the model stays as it is.
template <typename... Pieces>
QString summaryLine(const char* text, const Pieces&... pieces) {
    return QCoreApplication::translate("kestrion::ReplySummary", text).arg(pieces...);
}

QString allowlistText(const QSet<QString>& extensions) {
    return FileGenerationParser::sortedExtensions(extensions).join(QStringLiteral(", "));
}

} // namespace

QString summaryText(const Result& result) {
    QStringList lines;
    if (!result.writtenRelativePaths.isEmpty()) {
        lines.append(summaryLine(QT_TRANSLATE_NOOP("kestrion::ReplySummary", "**Files created:** %1"),
                                 codeList(sortedByCodePoint(result.writtenRelativePaths))));
    }
    if (!result.fallbackRecoveredPaths.isEmpty()) {
        lines.append(summaryLine(
            QT_TRANSLATE_NOOP(
                "kestrion::ReplySummary",
                "Note: the model returned raw code instead of `<<<FILE>>>` blocks; the app saved %1 anyway."),
            codeList(sortedByCodePoint(result.fallbackRecoveredPaths))));
    }
    if (!result.generatedImagePaths.isEmpty()) {
        lines.append(summaryLine(QT_TRANSLATE_NOOP("kestrion::ReplySummary", "**Images generated:** %1"),
                                 codeList(sortedByCodePoint(result.generatedImagePaths))));
    }
    if (!result.skippedBinaryFileBlocks.isEmpty()) {
        lines.append(summaryLine(
            QT_TRANSLATE_NOOP("kestrion::ReplySummary",
                              "Skipped text `<<<FILE>>>` for binary image path(s) %1 \u2014 ask me to regenerate "
                              "using `<<<IMAGE>>>` so real bytes get written."),
            codeList(result.skippedBinaryFileBlocks)));
    }
    if (!result.skippedNonFrontEndFilePaths.isEmpty()) {
        lines.append(summaryLine(
            QT_TRANSLATE_NOOP("kestrion::ReplySummary",
                              "Skipped non front-end `<<<FILE>>>` path(s) %1. This app only materializes static "
                              "client files with extensions: %2."),
            codeList(result.skippedNonFrontEndFilePaths),
            allowlistText(FileGenerationParser::allowedFileMaterializationExtensions())));
    }
    if (!result.skippedNonFrontEndImagePaths.isEmpty()) {
        lines.append(summaryLine(QT_TRANSLATE_NOOP("kestrion::ReplySummary",
                                                   "Skipped `<<<IMAGE>>>` path(s) %1. Allowed raster extensions: %2."),
                                 codeList(result.skippedNonFrontEndImagePaths),
                                 allowlistText(FileGenerationParser::allowedRasterImageMaterializationExtensions())));
    }
    for (const ImageError& error : result.imageErrors) {
        lines.append(summaryLine(QT_TRANSLATE_NOOP("kestrion::ReplySummary", "Image generation failed for `%1`: %2"),
                                 shown(error.path), error.message));
    }
    if (!result.skippedUnsafePaths.isEmpty()) {
        lines.append(summaryLine(QT_TRANSLATE_NOOP("kestrion::ReplySummary", "Skipped unsafe path(s): %1"),
                                 plainList(result.skippedUnsafePaths)));
    }
    if (result.errorMessage && !result.errorMessage->isEmpty()) {
        lines.append(result.errorMessage->trimmed());
    }
    if (result.gitExitCode && *result.gitExitCode != 0) {
        lines.append(summaryLine(QT_TRANSLATE_NOOP("kestrion::ReplySummary", "Git failed (exit %1)."),
                                 QString::number(*result.gitExitCode)));
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
