#include "preview/IndexPreviewWebView.h"

#include "preview/PreviewUrlInterceptor.h"
#include "preview/PreviewWebPage.h"
#include "support/FileExtension.h"
#include "workspace/OutputIndexFile.h"

#include <QDir>
#include <QFileInfo>
#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace kestrion {

IndexPreviewWebView::IndexPreviewWebView(QWidget* parent)
    : QWidget(parent), m_view(new QWebEngineView(this)), m_interceptor(new PreviewUrlInterceptor(this)),
      m_page(new PreviewWebPage(QWebEngineProfile::defaultProfile(), m_view)) {
    // A site's own pages may use fonts and styles from the web, as they will once published.
    m_page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    m_page->setBackgroundColor(Qt::white);
    m_page->setUrlRequestInterceptor(m_interceptor);
    m_view->setPage(m_page);
    m_page->watchUserInput(m_view);
    m_view->setAccessibleName(tr("Website preview"));
    m_view->setFocusPolicy(Qt::StrongFocus);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
}

bool IndexPreviewWebView::apply(const QString& fileURL, const QString& readAccessDirectory, qint64 reloadNonce) {
    const QString file = QDir::cleanPath(QFileInfo(fileURL).absoluteFilePath());
    const QString key = OutputIndexFile::previewLoadKey(file, reloadNonce);
    if (key == m_lastLoadKey) {
        return false;
    }
    m_lastLoadKey = key;
    m_interceptor->setAllowedRoot(readAccessDirectory);

    if (lowerCasedExtension(file) == QLatin1String("css")) {
        const auto html = OutputIndexFile::htmlDocumentShowingCSSFile(readAccessDirectory, file);
        if (html && html->size() * 3 < maximumInlineHtmlBytes) { // worst case: 3 UTF-8 bytes per unit
            m_page->setHtml(*html, QUrl::fromLocalFile(QFileInfo(file).absolutePath() + QLatin1Char('/')));
            return true;
        }
    }
    m_page->load(QUrl::fromLocalFile(file));
    return true;
}

} // namespace kestrion
