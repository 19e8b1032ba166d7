#include "preview/PreviewUrlInterceptor.h"

#include <QFileInfo>

namespace kestrion {

PreviewUrlInterceptor::PreviewUrlInterceptor(QObject* parent) : QWebEngineUrlRequestInterceptor(parent) {}

void PreviewUrlInterceptor::setAllowedRoot(const QString& root) {
    // Resolved again for every load: the folder may have been created, or its
    // link pointed elsewhere, since the last one.
    m_site = SitePath::Site(root.isEmpty() ? QString() : QFileInfo(root).absoluteFilePath());
}

bool PreviewUrlInterceptor::isAllowed(const QUrl& url, const SitePath::Site& site) {
    if (url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) != 0) {
        return true;
    }
    // A host names a file on another machine (a network share).
    if (!url.host().isEmpty()) {
        return false;
    }
    // A missing file inside is fine: there is nothing to read and the load fails on its own.
    return site.resolveLocation(url.toLocalFile()).ok();
}

void PreviewUrlInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
    const QUrl url = info.requestUrl();
    if (!isAllowed(url, m_site)) {
        info.block(true);
        Q_EMIT requestBlocked(url);
    } else if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile())) {
        Q_EMIT missingFile(url);
    }
}

} // namespace kestrion
