#include "preview/PreviewWebPage.h"

#include "support/ExternalLinks.h"

#include <QChildEvent>
#include <QDesktopServices>
#include <QTimer>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineSettings>
#include <QWidget>

namespace kestrion {

PreviewWebPage::PreviewWebPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent), m_openExternally([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    // The engine's own popup blocker: window.open without a user's click returns null.
    settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    // A scheme the engine cannot load itself (mailto:, smb:, custom ones)
    // reaches acceptNavigationRequest only after a user's gesture, and the
    // engine hands it to the desktop only if that accepts it, which it never
    // does: the external opener is the one way out.
    settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::AllowUnknownUrlSchemesFromUserInteraction);
    // createWindow() makes no page, so each new window is asked for here; none is ever opened.
    connect(this, &QWebEnginePage::newWindowRequested, this, &PreviewWebPage::handleNewWindow);
}

void PreviewWebPage::watchUserInput(QWidget* view) {
    // The engine shows the page in a widget of its own inside the view, made
    // (and replaced) as it sees fit: watch each one as it arrives.
    view->installEventFilter(this);
    for (QObject* child : view->children()) {
        child->installEventFilter(this);
    }
}

bool PreviewWebPage::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ChildAdded:
        static_cast<QChildEvent*>(event)->child()->installEventFilter(this);
        break;
    case QEvent::MouseButtonRelease:
    case QEvent::KeyPress:
    case QEvent::TouchEnd:
        m_sinceUserInput.start();
        break;
    default:
        break;
    }
    return QWebEnginePage::eventFilter(watched, event);
}

bool PreviewWebPage::hasUserGesture() const {
    return m_sinceUserInput.isValid() && m_sinceUserInput.elapsed() < userGestureLifetime.count();
}

PreviewWebPage::Navigation PreviewWebPage::decide(const QUrl& url, NavigationType type, bool isMainFrame,
                                                  bool userGesture) {
    if (type == NavigationTypeLinkClicked && ExternalLinks::isExternallyOpenable(url)) {
        return userGesture ? Navigation::OpenExternally : Navigation::Refuse;
    }
    // The site's own files (the request interceptor judges which) and what the page made itself.
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("file") || scheme == QLatin1String("data") || scheme == QLatin1String("blob") ||
        scheme == QLatin1String("about")) {
        return Navigation::Load;
    }
    // Embedded web content (a map, a video) loads as it will once published.
    // The preview itself never leaves the site for the web: a script's
    // redirect or a form sent elsewhere shows nothing.
    if (!isMainFrame && ExternalLinks::isWebAddress(url)) {
        return Navigation::Load;
    }
    return Navigation::Refuse;
}

bool PreviewWebPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    switch (decide(url, type, isMainFrame, hasUserGesture())) {
    case Navigation::OpenExternally:
        m_sinceUserInput.invalidate();
        openExternally(url);
        return false;
    case Navigation::Refuse:
        return false;
    case Navigation::Load:
        if (isMainFrame) {
            // The input is spent on this page: the next one cannot use it to leave on load.
            m_sinceUserInput.invalidate();
            Q_EMIT pageNavigationAccepted(url);
        }
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }
    return false;
}

void PreviewWebPage::handleNewWindow(QWebEngineNewWindowRequest& request) {
    // The engine's word that a user's gesture asked for the window, and this view's.
    if (!request.isUserInitiated() || !hasUserGesture()) {
        return;
    }
    const QUrl url = request.requestedUrl();
    if (ExternalLinks::isExternallyOpenable(url)) {
        m_sinceUserInput.invalidate();
        openExternally(url);
    } else if (url.isLocalFile()) {
        // A page of the site asked for in a new window shows in the preview
        // (after the engine is done with the request).
        QTimer::singleShot(0, this, [this, url] { setUrl(url); });
    }
}

void PreviewWebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int line,
                                              const QString& sourceId) {
    if (level == ErrorMessageLevel) {
        Q_EMIT consoleError(message, line, sourceId);
    }
}

void PreviewWebPage::openExternally(const QUrl& url) {
    if (m_openExternally) {
        m_openExternally(url);
    }
}

} // namespace kestrion
