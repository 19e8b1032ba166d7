#pragma once

namespace kestrion::test {

// Points HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME and TMPDIR at a fresh
// temporary folder (removed at exit) and clears the variables that would let
// the real user's configuration leak into a test. Call before any Qt object.
void isolateUserEnvironment();

} // namespace kestrion::test
