#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kestrion::test {

// Writes bytes to path, creating the folders above it first. A file that cannot
// be opened fails the current test. An executable file is runnable by its owner,
// which is all a script standing in for a program needs.
void writeFile(const QString& path, const QByteArray& bytes, bool executable = false);

// The whole content of path, or nothing when it cannot be read.
QByteArray readFile(const QString& path);

// Runs the real git in directory for a test's own bookkeeping, fails the current
// test when git exits with anything but 0, and returns its standard output
// without the final line breaks (names that start with a space keep it).
QString gitOutput(const QString& directory, const QStringList& arguments);

} // namespace kestrion::test
