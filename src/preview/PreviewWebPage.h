#pragma once

#include <QElapsedTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <chrono>
#include <functional>

class QWebEngineNewWindowRequest;
class QWidget;

namespace kestrion {

// The preview's page. A page of the site may be hostile (the model wrote it,
// perhaps under a prompt injection hidden in another page), so the desktop
// gets only what the user asked for with a click or a key: a link to an http,
// https or mailto address opens in the user's browser or mail program instead
// of replacing the preview, from this window or a new one. What a page starts
// on its own (a window opened on load, a script leaving for another address)
// is refused, and so is every other scheme (network shares, files handed to
// the desktop, custom handlers). The preview shows the site only: links inside
// it stay in the preview, under the request interceptor's watch, and web
// content loads only embedded in a page of the site.
class PreviewWebPage final : public QWebEnginePage {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreviewWebPage)

public:
    using ExternalOpener = std::function<void(const QUrl&)>;

    enum class Navigation { Load, OpenExternally, Refuse };

    // The page reacts to a click or key press a moment later; a navigation
    // starting within this long counts as the user's. Each input is spent on
    // one navigation.
    static constexpr std::chrono::milliseconds userGestureLifetime{2000};

    explicit PreviewWebPage(QWebEngineProfile* profile, QObject* parent = nullptr);

    // Replaces the system browser (QDesktopServices) as the handler of outside links.
    void setExternalOpener(ExternalOpener opener) { m_openExternally = std::move(opener); }

    // Watches the view showing this page (and the widget inside it that
    // receives the input) for the user's own clicks and key presses.
    void watchUserInput(QWidget* view);

    // What becomes of a navigation, given whether the user just clicked or typed.
    static Navigation decide(const QUrl& url, NavigationType type, bool isMainFrame, bool userGesture);

Q_SIGNALS:
    // A message of error level on the page's console (a script error, a
    // resource that failed to load), with the source it names.
    void consoleError(const QString& message, int line, const QString& sourceId);
    // The main frame goes to url (a load, a reload, a link followed), before anything of it runs.
    void pageNavigationAccepted(const QUrl& url);

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int line,
                                  const QString& sourceId) override;
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void handleNewWindow(QWebEngineNewWindowRequest& request);
    bool hasUserGesture() const;
    void openExternally(const QUrl& url);

    ExternalOpener m_openExternally;
    // Since the last click or key press on the view; invalid once spent.
    QElapsedTimer m_sinceUserInput;
};

} // namespace kestrion
