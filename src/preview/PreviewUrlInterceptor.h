#pragma once

#include "support/SitePath.h"

#include <QString>
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>

namespace kestrion {

// Keeps the preview's reads inside the website directory: every file: request
// (page, frame, image, script, style, fetch) is resolved fully, links
// included, and refused when it leads outside the directory or into its .git
// or .kestrion-chats folder (a page's script could otherwise read the git
// credentials or the whole chat history and send them anywhere). Other schemes
// pass, so a site's CDN styles and fonts still load.
class PreviewUrlInterceptor final : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreviewUrlInterceptor)

public:
    explicit PreviewUrlInterceptor(QObject* parent = nullptr);

    // The directory file: requests must stay inside, resolved here once for all
    // the requests of a load; empty refuses every file: request.
    void setAllowedRoot(const QString& root);
    const QString& allowedRoot() const { return m_site.root(); }

    // Whether a request for url may go ahead in the site.
    static bool isAllowed(const QUrl& url, const SitePath::Site& site);

    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

Q_SIGNALS:
    void requestBlocked(const QUrl& url);
    // A file: request inside the site for a file that is not there (emitted on the engine's thread).
    void missingFile(const QUrl& url);

private:
    SitePath::Site m_site{QString()};
};

} // namespace kestrion
