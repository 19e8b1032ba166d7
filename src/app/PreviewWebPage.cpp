#include "app/PreviewWebPage.h"

#include <QDesktopServices>

namespace kestrion {

// Stands in for the window a link with target="_blank" asks for: it sees the
// first navigation, hands it on and goes away without ever being shown.
class NewWindowRequestPage final : public QWebEnginePage {
public:
    NewWindowRequestPage(QWebEngineProfile* profile, PreviewWebPage* opener)
        : QWebEnginePage(profile, opener), m_opener(opener) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        if (PreviewWebPage::opensExternally(url)) {
            m_opener->openExternally(url);
        } else {
            m_opener->setUrl(url);
        }
        deleteLater();
        return false;
    }

private:
    PreviewWebPage* m_opener;
};

PreviewWebPage::PreviewWebPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent), m_openExternally([](const QUrl& url) { QDesktopServices::openUrl(url); }) {}

bool PreviewWebPage::opensExternally(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

bool PreviewWebPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    if (type == NavigationTypeLinkClicked && opensExternally(url)) {
        openExternally(url);
        return false;
    }
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

QWebEnginePage* PreviewWebPage::createWindow(WebWindowType) {
    return new NewWindowRequestPage(profile(), this);
}

void PreviewWebPage::openExternally(const QUrl& url) {
    if (m_openExternally) {
        m_openExternally(url);
    }
}

} // namespace kestrion
