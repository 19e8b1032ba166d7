#include "app/PreviewFileActions.h"

#include "support/SitePath.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>

namespace kestrion {

namespace {

void showWithFileManager(const QUrl& file, std::function<void()> fallback) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        fallback();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{file.toString(QUrl::FullyEncoded)} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [fallback = std::move(fallback)](QDBusPendingCallWatcher* finished) {
                         if (finished->isError()) {
                             fallback();
                         }
                         finished->deleteLater();
                     });
}

} // namespace

PreviewFileActions::PreviewFileActions(QObject* parent)
    : QObject(parent), m_open([](const QUrl& url) { QDesktopServices::openUrl(url); }), m_show(&showWithFileManager) {}

std::optional<QString> PreviewFileActions::checkedLocation(const QString& root, const QString& file) {
    if (root.isEmpty() || file.isEmpty()) {
        return std::nullopt;
    }
    const SitePath::Site site(QFileInfo(root).absoluteFilePath());
    const SitePath::Resolution resolved = site.resolveLocation(QFileInfo(file).absoluteFilePath());
    if (!resolved.ok() || !resolved.exists || !QFileInfo(resolved.absolutePath()).isFile()) {
        return std::nullopt;
    }
    return resolved.absolutePath();
}

bool PreviewFileActions::openInBrowser(const QString& root, const QString& file) {
    const auto location = checkedLocation(root, file);
    if (!location) {
        return false;
    }
    m_open(QUrl::fromLocalFile(*location));
    return true;
}

bool PreviewFileActions::showInFolder(const QString& root, const QString& file) {
    const auto location = checkedLocation(root, file);
    if (!location) {
        return false;
    }
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(*location).absolutePath());
    m_show(QUrl::fromLocalFile(*location), [open = m_open, folder] { open(folder); });
    return true;
}

} // namespace kestrion
