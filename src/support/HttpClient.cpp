#include "support/HttpClient.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QThreadPool>
#include <QThreadStorage>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace kestrion {

namespace {

// Qt's read buffer for a request with a body cap: large enough not to slow a
// download, small next to any cap.
constexpr qint64 cappedReadBufferBytes = 1 << 20;

// The calling thread's manager, made on its first request. The storage
// deletes it on that thread when the thread ends (before Qt takes the
// thread's event dispatcher down), and its kept-alive connections close then.
QNetworkAccessManager& threadManager() {
    static QThreadStorage<QNetworkAccessManager*> managers;
    if (!managers.hasLocalData()) {
        managers.setLocalData(new QNetworkAccessManager);
    }
    return *managers.localData();
}

// Hands the calling thread's slot in the global pool back for as long as it
// lives, when the thread is one of that pool's (Qt's documented way for a
// task that is about to sleep), and takes it again at its end.
class GlobalPoolSlotLent {
public:
    GlobalPoolSlotLent() {
        QThreadPool* pool = QThreadPool::globalInstance();
        if (pool && pool->contains(QThread::currentThread())) {
            m_pool = pool;
            m_pool->releaseThread();
        }
    }
    ~GlobalPoolSlotLent() {
        if (m_pool) {
            m_pool->reserveThread();
        }
    }
    GlobalPoolSlotLent(const GlobalPoolSlotLent&) = delete;
    GlobalPoolSlotLent& operator=(const GlobalPoolSlotLent&) = delete;

private:
    QThreadPool* m_pool = nullptr;
};

QString cancelledDescription() {
    return QCoreApplication::translate("kestrion::HttpClient", "The request was cancelled.");
}

} // namespace

QString httpTimeoutDescription() {
    return QCoreApplication::translate("kestrion::HttpClient", "The request timed out.");
}

QString byteCountText(qint64 bytes) {
    constexpr qint64 kibibyte = 1024;
    constexpr qint64 mebibyte = kibibyte * 1024;
    if (bytes > 0 && bytes % mebibyte == 0) {
        return QStringLiteral("%1 MiB").arg(bytes / mebibyte);
    }
    if (bytes > 0 && bytes % kibibyte == 0) {
        return QStringLiteral("%1 KiB").arg(bytes / kibibyte);
    }
    return QStringLiteral("%1 bytes").arg(bytes);
}

QString httpBodyTooLargeDescription(qint64 maxBodyBytes) {
    return QCoreApplication::translate("kestrion::HttpClient", "The server's answer is larger than %1.")
        .arg(byteCountText(maxBodyBytes));
}

HttpResponse performHttpRequest(const HttpRequest& request, std::stop_token cancellation) {
    HttpResponse response;
    if (!request.url.isValid()) {
        response.transportError =
            QCoreApplication::translate("kestrion::HttpClient", "Invalid URL: %1").arg(request.url.errorString());
        return response;
    }

    // Qt writes header values to the wire as given, so a line break inside one
    // (say, an API key read from a file with an embedded newline) would inject
    // extra headers. Refuse such requests; the value itself is never echoed,
    // since it is usually a secret.
    for (const auto& [name, value] : request.headers) {
        const auto unsafe = [](const QByteArray& text) {
            return text.contains('\r') || text.contains('\n') || text.contains('\0');
        };
        if (name.isEmpty() || unsafe(name)) {
            response.transportError = QCoreApplication::translate("kestrion::HttpClient", "Invalid HTTP header name.");
            return response;
        }
        if (unsafe(value)) {
            response.transportError =
                QCoreApplication::translate(
                    "kestrion::HttpClient",
                    "Invalid value for HTTP header \"%1\": it contains a line break or NUL character.")
                    .arg(QString::fromLatin1(name));
            return response;
        }
    }

    if (cancellation.stop_requested()) {
        response.cancelled = true;
        response.transportError = cancelledDescription();
        return response;
    }

    QNetworkAccessManager& manager = threadManager();
    QNetworkRequest networkRequest(request.url);
    networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    // The manager serves every request of this thread; a cookie one server
    // sets must not reach the next request.
    networkRequest.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    networkRequest.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    for (const auto& [name, value] : request.headers) {
        networkRequest.setRawHeader(name, value);
    }

    std::unique_ptr<QNetworkReply> reply(request.body
                                             ? manager.sendCustomRequest(networkRequest, request.method, *request.body)
                                             : manager.sendCustomRequest(networkRequest, request.method));

    QEventLoop loop;
    bool timedOut = false;
    QTimer inactivity;
    inactivity.setSingleShot(true);
    inactivity.setInterval(request.timeout);
    QObject::connect(&inactivity, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    const auto touch = [&inactivity] { inactivity.start(); };
    QObject::connect(reply.get(), &QNetworkReply::downloadProgress, &loop, touch);
    QObject::connect(reply.get(), &QNetworkReply::uploadProgress, &loop, touch);

    // The body is taken as it arrives, so a cap is noticed while the server is
    // still sending, and a small read buffer makes Qt stop reading from the
    // socket until the body taken so far is judged: what the server sends
    // past the cap stays in the network, not in memory.
    bool tooLarge = false;
    const auto passesCap = [&request](qint64 bytes) { return request.maxBodyBytes && bytes > *request.maxBodyBytes; };
    const auto refuse = [&] {
        tooLarge = true;
        reply->abort();
    };
    const auto takeArrivedBytes = [&] {
        if (tooLarge || !reply->isOpen()) {
            return;
        }
        // Never take more than one byte past the cap out of Qt's buffer.
        const qint64 room =
            request.maxBodyBytes ? *request.maxBodyBytes + 1 - response.body.size() : reply->bytesAvailable();
        const qsizetype before = response.body.size();
        response.body.append(reply->read(std::min(room, reply->bytesAvailable())));
        if (passesCap(response.body.size())) {
            refuse();
            return;
        }
        if (request.onBodyBytes && response.body.size() > before) {
            request.onBodyBytes(QByteArrayView(response.body).sliced(before));
        }
    };
    if (request.maxBodyBytes) {
        // A request with a body reaches Qt's network thread only once that
        // body is buffered, and a setting made before then is lost; so it is
        // made again as soon as the network thread reports the connection
        // (and, should a connection be reused, the request) under way.
        const auto limitReadBuffer = [&reply] { reply->setReadBufferSize(cappedReadBufferBytes); };
        limitReadBuffer();
        QObject::connect(reply.get(), &QNetworkReply::socketStartedConnecting, &loop, limitReadBuffer);
        QObject::connect(reply.get(), &QNetworkReply::requestSent, &loop, limitReadBuffer);
    }
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, takeArrivedBytes);
    // The announced length is checked as soon as the headers are in (it is
    // never trusted to be the whole story: the counting above still applies).
    // Qt is still handling the headers when it signals them, so the abort
    // waits for the next turn of the loop; nothing is taken meanwhile.
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, [&] {
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        if (!tooLarge && announced.isValid() && passesCap(announced.toLongLong())) {
            tooLarge = true;
            QMetaObject::invokeMethod(&loop, refuse, Qt::QueuedConnection);
        }
    });

    // A stop may be requested on any thread; the abort is queued to this
    // one's loop, where the reply lives. The callback is unregistered (and
    // waited for, should it be running) before the loop and the reply go,
    // and a call still queued then is dropped with the loop.
    const std::stop_callback abortOnStop(cancellation, [&loop, &reply, &response] {
        QMetaObject::invokeMethod(
            &loop,
            [&reply, &response] {
                if (!reply->isFinished()) {
                    response.cancelled = true;
                    reply->abort();
                }
            },
            Qt::QueuedConnection);
    });

    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) {
        inactivity.start();
        const GlobalPoolSlotLent waitingOnTheNetwork;
        loop.exec();
    }
    inactivity.stop();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // An aborted reply is closed; reading it would only print a warning.
    takeArrivedBytes();
    if (tooLarge) {
        response.body.clear();
        response.bodyTooLarge = true;
        response.transportError = httpBodyTooLargeDescription(*request.maxBodyBytes);
    } else if (timedOut) {
        response.transportError = httpTimeoutDescription();
    } else if (response.cancelled) {
        response.transportError = cancelledDescription();
    } else if (reply->error() != QNetworkReply::NoError && !status.isValid()) {
        // Errors with an HTTP status (404, 500, ...) are answers, not transport failures.
        response.transportError = reply->errorString();
    } else if (reply->error() != QNetworkReply::NoError && reply->error() < QNetworkReply::ContentAccessDenied) {
        // Connection-level failures that still carry a stale status attribute.
        response.transportError = reply->errorString();
    }
    if (!response.transportFailed() && status.isValid()) {
        response.isHttp = true;
        response.statusCode = status.toInt();
    }
    return response;
}

} // namespace kestrion
