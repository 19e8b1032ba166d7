#pragma once

#include <QString>
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>

namespace kestrion {

// Keeps the preview's reads inside the website directory: every file: request
// (page, frame, image, script, style) outside it is refused, also when a link
// inside the directory leads elsewhere. Other schemes pass, so a site's CDN
// styles and fonts still load.
class PreviewUrlInterceptor final : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreviewUrlInterceptor)

public:
    explicit PreviewUrlInterceptor(QObject* parent = nullptr);

    // The directory file: requests must stay inside; empty refuses every file: request.
    void setAllowedRoot(const QString& root);
    const QString& allowedRoot() const { return m_root; }

    // Whether a request for url may go ahead under root.
    static bool isAllowed(const QUrl& url, const QString& root);

    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

Q_SIGNALS:
    void requestBlocked(const QUrl& url);

private:
    QString m_root;
};

} // namespace kestrion
