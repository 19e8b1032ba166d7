#pragma once

#include <QUrl>
#include <QWebEnginePage>
#include <functional>

namespace kestrion {

// The preview's page. A click on a link to an http or https page opens it in
// the user's browser instead of replacing the preview; so do links that ask
// for a new window. Other navigation stays in the preview (and under the
// request interceptor's watch).
class PreviewWebPage final : public QWebEnginePage {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreviewWebPage)

public:
    using ExternalOpener = std::function<void(const QUrl&)>;

    explicit PreviewWebPage(QWebEngineProfile* profile, QObject* parent = nullptr);

    // Replaces the system browser (QDesktopServices) as the handler of outside links.
    void setExternalOpener(ExternalOpener opener) { m_openExternally = std::move(opener); }
    static bool opensExternally(const QUrl& url);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;

private:
    friend class NewWindowRequestPage;
    void openExternally(const QUrl& url);
    ExternalOpener m_openExternally;
};

} // namespace kestrion
