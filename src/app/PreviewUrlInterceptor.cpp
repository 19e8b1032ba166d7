#include "app/PreviewUrlInterceptor.h"

#include "workspace/OutputIndexFile.h"

#include <QDir>
#include <QFileInfo>

namespace kestrion {

PreviewUrlInterceptor::PreviewUrlInterceptor(QObject* parent) : QWebEngineUrlRequestInterceptor(parent) {}

void PreviewUrlInterceptor::setAllowedRoot(const QString& root) {
    m_root = root.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(root).absoluteFilePath());
}

bool PreviewUrlInterceptor::isAllowed(const QUrl& url, const QString& root) {
    if (url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) != 0) {
        return true;
    }
    if (root.isEmpty() || !url.host().isEmpty()) {
        return false;
    }
    const QString path = QDir::cleanPath(url.toLocalFile());
    if (!OutputIndexFile::isStrictFileSubpath(root, path)) {
        return false;
    }
    // A link inside the directory may point anywhere: compare where it really leads.
    const QString realPath = QFileInfo(path).canonicalFilePath();
    if (realPath.isEmpty()) {
        return true; // nothing there to read; the load fails on its own
    }
    const QString realRoot = QFileInfo(root).canonicalFilePath();
    return !realRoot.isEmpty() && OutputIndexFile::isStrictFileSubpath(realRoot, realPath);
}

void PreviewUrlInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
    if (!isAllowed(info.requestUrl(), m_root)) {
        info.block(true);
        Q_EMIT requestBlocked(info.requestUrl());
    }
}

} // namespace kestrion
