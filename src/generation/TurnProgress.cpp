#include "generation/TurnProgress.h"

#include "support/SitePath.h"

namespace kestrion {

QString turnProgressText(const TurnProgress& progress, qint64 waitedSeconds) {
    switch (progress.stage) {
    case TurnProgress::Stage::Waiting:
        return QStringLiteral("Waiting for the model\u2026 %1 s").arg(waitedSeconds);
    case TurnProgress::Stage::Writing:
        return progress.count == 1 ? QStringLiteral("Writing 1 file\u2026")
                                   : QStringLiteral("Writing %1 files\u2026").arg(progress.count);
    case TurnProgress::Stage::GeneratingImage:
        // The path comes from the model's reply: control characters are shown escaped.
        return QStringLiteral("Generating image %1 of %2: %3\u2026")
            .arg(progress.index)
            .arg(progress.count)
            .arg(SitePath::escapedForDisplay(progress.path));
    case TurnProgress::Stage::Committing:
        return QStringLiteral("Committing\u2026");
    }
    return {};
}

} // namespace kestrion
