// Benchmarks drive the real code, which reads and writes the settings, the
// per-user chat history and the web engine's caches under the user's home. Each
// benchmark program therefore runs with a temporary HOME and XDG folders, the
// same the tests get, set up before main() and before any static object of the
// program can read the environment. Probe children inherit it.

#include "support/TestEnvironment.h"

namespace {

[[gnu::constructor(101)]] void isolateBenchmarkFromUserFiles() {
    kestrion::test::isolateUserEnvironment();
}

} // namespace
