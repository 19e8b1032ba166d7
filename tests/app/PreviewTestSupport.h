#pragma once

#include "FindChild.h"
#include "preview/IndexPreviewWebView.h"
#include "preview/WebPreview.h"
#include "support/Eventually.h"

#include <QByteArray>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <gtest/gtest.h>
#include <optional>

namespace kestrion::test {

// The web engine under Xvfb on a busy machine can take long to start and lay out a page.
inline constexpr int pageTimeoutMs = 30000;

// A small page of the site with this title.
inline QByteArray page(const QByteArray& title, const QByteArray& body = {}, const QByteArray& head = {}) {
    return "<!doctype html><html><head><meta charset=\"utf-8\"><title>" + title + "</title>" + head + "</head><body>" +
           body + "</body></html>\n";
}

// Runs a script in the page (in the page's own world unless another is named) and waits for its value.
inline QVariant evaluate(QWebEnginePage* page, const QString& script, quint32 world = 0) {
    std::optional<QVariant> result;
    page->runJavaScript(script, world, [&result](const QVariant& value) { result = value; });
    EXPECT_TRUE(QTest::qWaitFor([&result] { return result.has_value(); }, pageTimeoutMs)) << script.toStdString();
    return result.value_or(QVariant());
}

// Whether the Preview tab has made its page yet (it does the first time it shows a file).
inline bool hasWebPreview(const QObject* preview) {
    return preview->findChild<WebPreview*>(QStringLiteral("webPreview")) != nullptr;
}

// The browser engine's view of the Preview tab's page, once made.
inline IndexPreviewWebView* webView(const QObject* preview) {
    return child<IndexPreviewWebView>(preview, "previewWebView");
}

inline QWebEnginePage* webPage(const QObject* preview) {
    IndexPreviewWebView* view = webView(preview);
    return view ? view->view()->page() : nullptr;
}

// Waits until the preview has made its web view and shows the fully loaded page with this title.
inline ::testing::AssertionResult previewShowsPageTitled(const QObject* preview, const QString& title) {
    if (!eventually([&] { return hasWebPreview(preview); })) {
        return ::testing::AssertionFailure() << "no web view";
    }
    if (auto titled = becomes([&] { return webView(preview)->view()->title(); }, title, pageTimeoutMs); !titled) {
        return titled;
    }
    return becomes([&] { return evaluate(webPage(preview), QStringLiteral("document.readyState")).toString(); },
                   QStringLiteral("complete"), pageTimeoutMs);
}

} // namespace kestrion::test
