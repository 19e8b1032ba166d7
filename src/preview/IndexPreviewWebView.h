#pragma once

#include <QString>
#include <QWidget>
#include <optional>

class QWebEngineView;

namespace kestrion {

class PreviewUrlInterceptor;
class PreviewWebPage;

// The embedded browser of the Preview tab. apply() shows a page, an image or a
// stylesheet (as a readable page) from the website directory and loads again
// only when the file or the reload counter differs from the last load, so
// rebuilding the view state never reloads a page by itself. Created the first
// time the Preview tab is shown: the browser engine is heavy to start.
class IndexPreviewWebView final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IndexPreviewWebView)

public:
    // Chromium refuses to show HTML handed over as a string above this size.
    static constexpr qsizetype maximumInlineHtmlBytes = 2 * 1024 * 1024 - 4096;

    explicit IndexPreviewWebView(QWidget* parent = nullptr);

    // Loads fileURL unless the same file with the same counter is already
    // shown; reads are confined to readAccessDirectory. True when it loaded.
    bool apply(const QString& fileURL, const QString& readAccessDirectory, qint64 reloadNonce);
    const std::optional<QString>& lastLoadKey() const { return m_lastLoadKey; }

    QWebEngineView* view() const { return m_view; }
    PreviewWebPage* page() const { return m_page; }
    PreviewUrlInterceptor* interceptor() const { return m_interceptor; }

private:
    QWebEngineView* m_view;
    PreviewUrlInterceptor* m_interceptor;
    PreviewWebPage* m_page;
    std::optional<QString> m_lastLoadKey;
};

} // namespace kestrion
