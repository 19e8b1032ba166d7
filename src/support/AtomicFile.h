#pragma once

#include <QByteArray>
#include <QString>

namespace kestrion {

// Outcome of a write: empty error text means success.
struct WriteResult {
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// Writes the whole file through a temporary file renamed over the target, so a
// reader never sees half a file. The parent folder must exist unless
// createParents is set.
WriteResult writeFileAtomically(const QString& path, const QByteArray& bytes, bool createParents = false);

// Creates the folder with every missing parent; an existing folder is fine.
WriteResult makeDirectories(const QString& path);

} // namespace kestrion
