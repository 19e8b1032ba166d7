#include "generation/TurnProgress.h"

#include "support/SitePath.h"

#include <QCoreApplication>

namespace kestrion {

QString turnProgressText(const TurnProgress& progress, qint64 waitedSeconds) {
    switch (progress.stage) {
    case TurnProgress::Stage::Waiting:
        return QCoreApplication::translate("kestrion::TurnProgress", "Waiting for the model\u2026 %1 s")
            .arg(waitedSeconds);
    case TurnProgress::Stage::Writing:
        return progress.count == 1 ? QCoreApplication::translate("kestrion::TurnProgress", "Writing 1 file\u2026")
                                   : QCoreApplication::translate("kestrion::TurnProgress", "Writing %1 files\u2026")
                                         .arg(progress.count);
    case TurnProgress::Stage::GeneratingImage:
        // The path comes from the model's reply: control characters are shown escaped.
        return QCoreApplication::translate("kestrion::TurnProgress", "Generating image %1 of %2: %3\u2026")
            .arg(QString::number(progress.index), QString::number(progress.count),
                 SitePath::escapedForDisplay(progress.path));
    case TurnProgress::Stage::Committing:
        return QCoreApplication::translate("kestrion::TurnProgress", "Committing\u2026");
    }
    return {};
}

} // namespace kestrion
