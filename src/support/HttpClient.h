#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>
#include <utility>

namespace kestrion {

// One HTTP request. The timeout is an inactivity limit: the request fails when
// no bytes move in either direction for that long (a slow but steady download
// is not cut off).
//
// maxBodyBytes caps the answer's body (of any status, after decompression):
// a server could otherwise send without end until memory runs out. The
// request is aborted as soon as the body passes the cap, or at once when its
// Content-Length announces more; the response then reports bodyTooLarge.
// Unset means no cap; every request the application sends sets one.
struct HttpRequest {
    QByteArray method = "GET";
    QUrl url;
    QList<std::pair<QByteArray, QByteArray>> headers;
    std::optional<QByteArray> body;
    std::chrono::milliseconds timeout{std::chrono::seconds(60)};
    std::optional<qint64> maxBodyBytes;
    // Called on the calling thread with each piece of the body as it is taken (a streamed answer
    // is read while it arrives); the whole body still ends up in the response.
    std::function<void(QByteArrayView)> onBodyBytes;
};

// What came back. A transport failure (no connection, time-out, TLS, cancel,
// a body past the cap) leaves transportError set with the HTTP client's own
// description; otherwise the whole body is here and, for an HTTP response,
// its status code.
struct HttpResponse {
    QString transportError;
    bool cancelled = false;
    // The body passed request.maxBodyBytes: the request was aborted, body is
    // empty and transportError holds httpBodyTooLargeDescription().
    bool bodyTooLarge = false;
    bool isHttp = false;
    int statusCode = -1;
    QByteArray body;

    bool transportFailed() const { return !transportError.isEmpty(); }
};

// Sends the request and blocks the calling thread until the whole body has
// arrived or the request failed. Must not be called on the interface thread
// (it runs a local event loop).
//
// Cancellation: a stop requested on `cancellation`, from any thread, aborts
// the request at once (the abort is queued to the calling thread's loop); the
// response then reports cancelled. A stop requested before the call sends
// nothing.
//
// Each thread keeps one network access manager for all its requests, made on
// its first request and deleted when the thread ends, so a thread that calls
// again reuses the kept-alive connection. Nothing else carries over from one
// request to the next: no cookies are sent or stored.
//
// On a thread of the global pool the call does not count against the pool's
// limit while it waits: the limit is sized for work that keeps a core busy,
// and a thread waiting on the network keeps none busy, so the wait holds up
// no scan or snapshot queued behind it.
HttpResponse performHttpRequest(const HttpRequest& request, std::stop_token cancellation = {});

// The text every request uses when it times out.
QString httpTimeoutDescription();

// A byte count as people read a cap: "32 MiB", "4 KiB", or "1000 bytes" when
// it is not a whole number of either.
QString byteCountText(qint64 bytes);

// The text a request fails with when its body passes the cap:
// "The server's answer is larger than 32 MiB."
QString httpBodyTooLargeDescription(qint64 maxBodyBytes);

} // namespace kestrion
