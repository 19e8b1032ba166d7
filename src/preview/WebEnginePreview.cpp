#include "preview/WebEnginePreview.h"

#include "preview/IndexPreviewWebView.h"
#include "preview/PreviewPicker.h"
#include "preview/PreviewUrlInterceptor.h"
#include "preview/PreviewWebPage.h"

#include <QVBoxLayout>
#include <QWebEngineView>

namespace kestrion {

WebEnginePreview::WebEnginePreview(std::function<QString()> siteRoot, QWidget* parent)
    : WebPreview(parent), m_view(new IndexPreviewWebView(this)) {
    m_view->setObjectName(QStringLiteral("previewWebView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);

    PreviewWebPage* page = m_view->page();
    connect(page, &PreviewWebPage::pageNavigationAccepted, this, &WebPreview::pageNavigationAccepted);
    connect(page, &QWebEnginePage::loadFinished, this, &WebPreview::loadFinished);
    connect(page, &PreviewWebPage::consoleError, this, &WebPreview::consoleError);
    // The interceptor may report from the engine's thread; these connections queue to this one.
    connect(m_view->interceptor(), &PreviewUrlInterceptor::missingFile, this, &WebPreview::missingFile);
    connect(m_view->interceptor(), &PreviewUrlInterceptor::requestBlocked, this, &WebPreview::requestBlocked);

    m_picker = new PreviewPicker(page, m_view->view(), std::move(siteRoot), this);
    m_picker->setObjectName(QStringLiteral("previewPicker"));
    connect(m_picker, &PreviewPicker::activeChanged, this, &WebPreview::pickerActiveChanged);
    connect(m_picker, &PreviewPicker::picked, this, &WebPreview::picked);
    connect(m_picker, &PreviewPicker::resourceFailed, this, &WebPreview::resourceFailed);
}

WebPreviewFactory WebEnginePreview::factory() {
    return [](QWidget* parent, std::function<QString()> siteRoot) {
        return new WebEnginePreview(std::move(siteRoot), parent);
    };
}

bool WebEnginePreview::apply(const QString& fileURL, const QString& readAccessDirectory, qint64 reloadNonce) {
    return m_view->apply(fileURL, readAccessDirectory, reloadNonce);
}

void WebEnginePreview::setZoomFactor(qreal factor) {
    m_view->page()->setZoomFactor(factor);
}

void WebEnginePreview::setPickerActive(bool active) {
    m_picker->setActive(active);
}

} // namespace kestrion
