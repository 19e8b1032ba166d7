#pragma once

#include <QStringList>

namespace kestrion {

// Options given first to every git command the app runs. A repository's hooks
// and its core.fsmonitor setting each name a program git starts on its own
// (on add, commit, checkout, push); the website folder's repository arrives
// with the folder, and a clone's hooks come from whatever template is set, so
// neither is trusted to run anything.
inline QStringList gitProgramsOffOptions() {
    return {QStringLiteral("-c"), QStringLiteral("core.hooksPath=/dev/null"), QStringLiteral("-c"),
            QStringLiteral("core.fsmonitor=false")};
}

} // namespace kestrion
