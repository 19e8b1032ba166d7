#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdio>
#include <functional>
#include <optional>

// The application's built-in regression checks of its two text contracts with
// the model: the fallback recovery of pasted documents and the project context
// block. `kestrion --kestrion-self-check` runs them before any window or
// display exists, prints one line per case and a summary, and exits 0 or 1.
namespace kestrion::ParserSelfCheck {

// The exact argument that asks for the run.
inline constexpr char requestFlag[] = "--kestrion-self-check";

// What a failing check throws; ends only its own case.
struct CheckFailure {
    QString message;
};

struct Case {
    QString name;
    std::function<void()> body;
};

// True when one of the arguments (the program name included) is exactly the flag.
bool isRequested(int argc, const char* const* argv);

// Returns at once, printing nothing, when the flag is absent; otherwise runs
// every case and ends the process with the verdict.
void runIfRequestedAndExit(int argc, char** argv);

// The fixed cases, in the order they run.
QList<Case> cases();

// Runs the cases, writing "ok  <name>" lines and the summary to `out` and
// "FAIL <name>: <message>" and "FAILED: <name>" lines to `err`, each written
// through at once. Returns the exit status: 0 when every case passed, else 1.
int runCases(const QList<Case>& cases, std::FILE* out, std::FILE* err);

// ---- building blocks of the cases ----

void assertEqual(qint64 actual, qint64 expected, const QString& message);
void assertEqual(const QString& actual, const QString& expected, const QString& message);
void assertEqual(const std::optional<QString>& actual, const std::optional<QString>& expected, const QString& message);
// Plain, case-sensitive substring tests.
void assertContains(const QString& haystack, const QString& needle, const QString& message);
void assertNotContains(const QString& haystack, const QString& needle, const QString& message);

// Runs body in a fresh "kestrion-ctx-check-<UUID>" folder under the temporary
// folder and removes it afterwards, also when body throws. Throws (without
// running body) when the folder cannot be created.
void withSandbox(const std::function<void(const QString& sandbox)>& body);

// Writes data atomically below directory, creating parent folders; throws on failure.
void writeBytes(const QString& relativePath, const QByteArray& data, const QString& directory);

} // namespace kestrion::ParserSelfCheck
