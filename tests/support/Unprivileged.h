#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace kestrion::test {

// The user and group a root test process drops to: "nobody" on Debian.
inline constexpr unsigned nobodyId = 65534;

// What work() returned, computed with the permissions an ordinary user has. A root process
// ignores file modes, so for root the work runs in a forked child that first drops to nobody;
// the folder `reachable` and the folders above it are made traversable (and `reachable`
// readable) for it while it runs, and get their modes back afterwards. Any other user runs the
// work here. Nothing when the child could not drop its privileges or did not finish (the
// current test then fails with the reason). The child runs work() alone, with no other thread:
// work must not need the event loop or the thread pool, and its assertions are not seen, so it
// returns what the test then checks.
std::optional<QByteArray> withoutRootPrivileges(const QString& reachable, const std::function<QByteArray()>& work);

} // namespace kestrion::test
