#include "support/HttpClient.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <memory>

namespace kestrion {

QString httpTimeoutDescription() {
    return QStringLiteral("The request timed out.");
}

HttpResponse performHttpRequest(const HttpRequest& request, const std::function<bool()>& isCancelled) {
    HttpResponse response;
    if (!request.url.isValid()) {
        response.transportError = QStringLiteral("Invalid URL: %1").arg(request.url.errorString());
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
            response.transportError = QStringLiteral("Invalid HTTP header name.");
            return response;
        }
        if (unsafe(value)) {
            response.transportError =
                QStringLiteral("Invalid value for HTTP header \"%1\": it contains a line break or NUL character.")
                    .arg(QString::fromLatin1(name));
            return response;
        }
    }

    QNetworkAccessManager manager;
    QNetworkRequest networkRequest(request.url);
    networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
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

    QTimer cancelPoll;
    if (isCancelled) {
        cancelPoll.setInterval(50);
        QObject::connect(&cancelPoll, &QTimer::timeout, &loop, [&] {
            if (isCancelled()) {
                response.cancelled = true;
                reply->abort();
            }
        });
        cancelPoll.start();
    }

    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) {
        inactivity.start();
        loop.exec();
    }
    inactivity.stop();
    cancelPoll.stop();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // An aborted reply is closed; reading it would only print a warning.
    if (reply->isOpen()) {
        response.body = reply->readAll();
    }
    if (timedOut) {
        response.transportError = httpTimeoutDescription();
    } else if (response.cancelled) {
        response.transportError = QStringLiteral("The request was cancelled.");
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
