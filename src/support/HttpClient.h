#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>
#include <utility>

namespace kestrion {

// One HTTP request. The timeout is an inactivity limit: the request fails when
// no bytes move in either direction for that long (a slow but steady download
// is not cut off).
struct HttpRequest {
    QByteArray method = "GET";
    QUrl url;
    QList<std::pair<QByteArray, QByteArray>> headers;
    std::optional<QByteArray> body;
    std::chrono::milliseconds timeout{std::chrono::seconds(60)};
};

// What came back. A transport failure (no connection, time-out, TLS, cancel)
// leaves transportError set with the HTTP client's own description; otherwise
// the whole body is here and, for an HTTP response, its status code.
struct HttpResponse {
    QString transportError;
    bool cancelled = false;
    bool isHttp = false;
    int statusCode = -1;
    QByteArray body;

    bool transportFailed() const { return !transportError.isEmpty(); }
};

// Sends the request and blocks the calling thread until the whole body has
// arrived or the request failed. Must not be called on the interface thread
// (it runs a local event loop). isCancelled, when given, is polled while the
// request runs; returning true aborts it.
HttpResponse performHttpRequest(const HttpRequest& request, const std::function<bool()>& isCancelled = {});

// The text every request uses when it times out.
QString httpTimeoutDescription();

} // namespace kestrion
