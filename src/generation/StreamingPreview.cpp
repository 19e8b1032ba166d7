#include "generation/StreamingPreview.h"

#include "support/SitePath.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace kestrion {

namespace {

const QLatin1StringView markerOpen("<<<");
const QLatin1StringView markerClose(">>>");
const QLatin1StringView fileEnd("<<<END_FILE>>>");
const QLatin1StringView imageEnd("<<<END_IMAGE>>>");

QString pathIn(QStringView header) {
    static const QRegularExpression path(QStringLiteral(R"(path\s*=\s*"([^"]*)\")"));
    const QRegularExpressionMatch match = path.match(header.toString());
    return match.hasMatch() ? SitePath::escapedForDisplay(match.capturedView(1))
                            : QCoreApplication::translate("kestrion::StreamingPreview", "a file");
}

QString sizeText(QStringView content) {
    const qsizetype bytes = content.toUtf8().size();
    return QCoreApplication::translate("kestrion::StreamingPreview", "%1 KB")
        .arg(QString::number(static_cast<double>(bytes) / 1024.0, 'f', 1));
}

} // namespace

QString streamingPreviewText(const QString& partialReply) {
    const QStringView text(partialReply);
    QString shown;
    qsizetype position = 0;
    while (position < text.size()) {
        const qsizetype open = text.indexOf(markerOpen, position);
        if (open < 0) {
            shown += text.sliced(position);
            break;
        }
        shown += text.sliced(position, open - position);
        const qsizetype close = text.indexOf(markerClose, open + markerOpen.size());
        // Held back: the marker, or what follows it, has not fully arrived.
        if (close < 0) {
            break;
        }
        const QStringView header = text.sliced(open + markerOpen.size(), close - open - markerOpen.size());
        const bool isFile = header.startsWith(QLatin1String("FILE"));
        const bool isImage = header.startsWith(QLatin1String("IMAGE"));
        if (!isFile && !isImage) {
            shown += markerOpen;
            position = open + markerOpen.size();
            continue;
        }
        const qsizetype contentStart = close + markerClose.size();
        const QLatin1StringView end = isFile ? fileEnd : imageEnd;
        const qsizetype contentEnd = text.indexOf(end, contentStart);
        const QStringView content =
            text.sliced(contentStart, (contentEnd < 0 ? text.size() : contentEnd) - contentStart);
        shown += isFile
                     ? QCoreApplication::translate("kestrion::StreamingPreview", "Writing %1\u2026 %2")
                           .arg(pathIn(header), sizeText(content))
                     : QCoreApplication::translate("kestrion::StreamingPreview", "Image %1\u2026").arg(pathIn(header));
        if (contentEnd < 0) {
            break;
        }
        position = contentEnd + end.size();
    }
    return shown;
}

} // namespace kestrion
