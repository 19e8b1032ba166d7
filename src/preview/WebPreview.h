#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>

namespace kestrion {

// The page of the Preview tab as the tab sees it: it shows a file of the site,
// tells what the page does, and runs point and ask. The browser engine behind
// it is heavy to link and to start, so the window knows only this and the
// program hands it the real one (src/preview); a window made without one shows
// no pages.
class WebPreview : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebPreview)

public:
    // Loads fileURL unless the same file with the same counter is already
    // shown; reads are confined to readAccessDirectory. True when it loaded.
    virtual bool apply(const QString& fileURL, const QString& readAccessDirectory, qint64 reloadNonce) = 0;
    // Scales the page: a device wider than the pane still lays out at its own width.
    virtual void setZoomFactor(qreal factor) = 0;
    // While on, a click picks the element under the pointer instead of reaching the page.
    virtual void setPickerActive(bool active) = 0;

Q_SIGNALS:
    // The main frame goes to url (a load, a reload, a link followed), before anything of it runs.
    void pageNavigationAccepted(const QUrl& url);
    void loadFinished(bool ok);
    // A message of error level on the page's console, with the source it names.
    void consoleError(const QString& message, int line, const QString& sourceId);
    // A request of the page for a file of the site that is not there.
    void missingFile(const QUrl& url);
    // A request the preview's rules refused (outside the site, its private folders).
    void requestBlocked(const QUrl& url);
    void pickerActiveChanged(bool active);
    // The reference to a picked element, for the start of the composer.
    void picked(const QString& reference);
    // An http(s) resource of the page that failed to load.
    void resourceFailed(const QUrl& url);

protected:
    explicit WebPreview(QWidget* parent) : QWidget(parent) {}
};

// Makes the Preview tab's page under parent; siteRoot gives the website
// directory, to name a picked page relative to it.
using WebPreviewFactory = std::function<WebPreview*(QWidget* parent, std::function<QString()> siteRoot)>;

} // namespace kestrion
