#include "support/AtomicFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace kestrion {

WriteResult makeDirectories(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir()) {
        return {};
    }
    if (info.exists() || info.isSymLink()) {
        return {QCoreApplication::translate("kestrion::AtomicFile", "\u201c%1\u201d exists and is not a folder.")
                    .arg(path)};
    }
    if (!QDir().mkpath(path)) {
        return {QCoreApplication::translate("kestrion::AtomicFile", "Could not create the folder \u201c%1\u201d.")
                    .arg(path)};
    }
    return {};
}

WriteResult writeFileAtomically(const QString& path, const QByteArray& bytes, bool createParents) {
    if (createParents) {
        if (auto made = makeDirectories(QFileInfo(path).absolutePath()); !made.ok()) {
            return made;
        }
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return {file.errorString()};
    }
    if (file.write(bytes) != bytes.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return {error};
    }
    if (!file.commit()) {
        return {file.errorString()};
    }
    return {};
}

} // namespace kestrion
