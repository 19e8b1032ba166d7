#include "support/TestEnvironment.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>

namespace kestrion::test {

namespace {
std::unique_ptr<QTemporaryDir>& homeDir() {
    static std::unique_ptr<QTemporaryDir> dir;
    return dir;
}
} // namespace

void isolateUserEnvironment() {
    auto& dir = homeDir();
    dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kestrion-test-home-XXXXXX"));
    const QString home = dir->path();
    QDir(home).mkpath(QStringLiteral(".config"));
    QDir(home).mkpath(QStringLiteral(".local/share"));
    QDir(home).mkpath(QStringLiteral(".cache"));
    QDir(home).mkpath(QStringLiteral("Desktop"));
    QDir(home).mkpath(QStringLiteral("tmp"));
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_DATA_HOME", (home + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/.cache")).toUtf8());
    // A temporary folder per test process, so tests that check what they leave behind in
    // it are not confused by another test running in parallel.
    qputenv("TMPDIR", (home + QStringLiteral("/tmp")).toUtf8());
    qunsetenv("OPENAI_API_KEY");
    qunsetenv("OPENAI_BASE_URL");
    // Loopback test servers must never be reached through a proxy.
    qunsetenv("http_proxy");
    qunsetenv("https_proxy");
    qunsetenv("HTTP_PROXY");
    qunsetenv("HTTPS_PROXY");
    qunsetenv("all_proxy");
    qunsetenv("ALL_PROXY");
}

} // namespace kestrion::test
