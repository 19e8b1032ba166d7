#include "context/ProjectContextBuilder.h"

#include "context/EmbeddedText.h"
#include "context/ProjectWalk.h"
#include "support/SitePath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <filesystem>
#include <utility>

namespace fs = std::filesystem;

namespace kestrion::ProjectContextBuilder {

namespace {

QString lastPathComponent(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    // The file system root has no name of its own; show it as itself.
    return name.isEmpty() ? path : name;
}

} // namespace

QFuture<std::optional<Snapshot>> build(const std::optional<QString>& root) {
    const std::optional<QString> standardized = SitePath::existingDirectory(root);
    if (!standardized) {
        return QtFuture::makeReadyFuture(std::optional<Snapshot>());
    }
    return QtConcurrent::run([root = *standardized]() -> std::optional<Snapshot> { return buildSync(root); });
}

std::optional<Snapshot> buildBlocking(const std::optional<QString>& root) {
    const std::optional<QString> standardized = SitePath::existingDirectory(root);
    if (!standardized) {
        return std::nullopt;
    }
    return buildSync(*standardized);
}

Snapshot buildSync(const QString& root) {
    Snapshot snapshot;
    snapshot.rootPath = root;
    snapshot.rootName = lastPathComponent(root);

    const WalkedProject walk = walkProject(fs::path(QFile::encodeName(root).toStdString()));
    snapshot.listingTruncated = walk.truncated;

    const SitePath::Site site(root);
    QByteArray buffer(perFileCap + 1, Qt::Uninitialized);
    qint64 remaining = embeddedTextBudget;
    snapshot.files.reserve(qsizetype(walk.files.size()));
    for (const WalkedFile& file : walk.files) {
        snapshot.files.append({file.relativePath, file.sizeBytes, file.isText});
        if (!file.isText) {
            continue;
        }
        if (remaining <= 0) {
            snapshot.omittedForBudget.append(file.relativePath);
            continue;
        }
        const qint64 cap = std::min(remaining, perFileCap);
        std::optional<EmbeddedText> text = readEmbeddedText(file, cap, buffer, site);
        if (!text) {
            // Unreadable (or outside the website directory): listed, but
            // neither embedded nor named as left out.
            continue;
        }
        remaining -= utf8Length(text->body);
        snapshot.embeddedFiles.append({file.relativePath, std::move(text->body), text->truncated});
    }
    return snapshot;
}

} // namespace kestrion::ProjectContextBuilder
