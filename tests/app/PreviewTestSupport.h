#pragma once

#include "app/IndexPreviewWebView.h"
#include "app/PreviewWorkspace.h"
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

// Waits until the preview has made its web view and shows the fully loaded page with this title.
inline ::testing::AssertionResult previewShowsPageTitled(PreviewWorkspace* preview, const QString& title) {
    if (!eventually([&] { return preview->webView() != nullptr; })) {
        return ::testing::AssertionFailure() << "no web view";
    }
    if (auto titled = becomes([&] { return preview->webView()->view()->title(); }, title, pageTimeoutMs); !titled) {
        return titled;
    }
    return becomes(
        [&] { return evaluate(preview->webView()->view()->page(), QStringLiteral("document.readyState")).toString(); },
        QStringLiteral("complete"), pageTimeoutMs);
}

} // namespace kestrion::test
