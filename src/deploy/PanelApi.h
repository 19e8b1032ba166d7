#pragma once

#include "deploy/DeployError.h"
#include "support/HttpClient.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QSet>
#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>
#include <optional>

namespace kestrion::PanelApi {

// The panel's deploy endpoints, appended to the panel base URL by apiURL.
inline const QString preparePath = QStringLiteral("/api/v1/macos-app/deploy/prepare");
inline const QString finalizePath = QStringLiteral("/api/v1/macos-app/deploy/finalize");
inline const QString statusPath = QStringLiteral("/api/v1/macos-app/deploy/status");

// The client id the panel knows this application by.
inline const QString clientId = QStringLiteral("macos_app");

// Path components never copied into a deploy (exact, case-sensitive).
inline const QSet<QString> ignorePathSegments{QStringLiteral("node_modules"), QStringLiteral(".git")};

// Every panel request may take long (a first deploy can build for minutes).
inline constexpr std::chrono::seconds requestTimeout{1800};

// The largest panel answer read (its answers are small JSON objects); a
// longer one is abandoned as soon as it passes this and ends the run.
inline constexpr qint64 maxAnswerBytes = qint64(4) << 20;

// base trimmed of white space and of every "/" at both ends, then path
// (which starts with "/") appended. Throws invalidBaseURL when nothing is left
// or the result is not an absolute URL with a host.
QUrl apiURL(const QString& base, const QString& path);

// A request with "Accept: application/json", "Authorization: Bearer <token>"
// unless the trimmed token is empty, and, only when there is a body,
// "Content-Type: application/json" and the compact JSON body. Its answer is
// capped at maxAnswerBytes.
HttpRequest jsonRequest(const QUrl& url, const QByteArray& method, const QString& token,
                        const std::optional<QJsonObject>& body = std::nullopt);

// One answer of the panel, whatever its status.
struct DataResponse {
    int statusCode = 0;
    QByteArray body;
};

// Sends the request and returns the whole answer; the status is the caller's
// business. A transport failure throws a platform error with the client's own
// text (a cancellation throws cancelled, an answer past the request's cap
// answerTooLarge); a response that is not HTTP throws invalidResponse with the
// request's path.
DataResponse performDataRequest(const HttpRequest& request, std::stop_token cancellation = {});

// A readable validation message: a non-empty "message" string as it stands,
// else "field: text" lines from an "errors" object of string arrays joined by
// " · ". Nothing otherwise, also when any "errors" value is not a string array.
std::optional<QString> messageFromJsonObject(const std::optional<QJsonObject>& object);

// Integer fields the panel sends sometimes as numbers, sometimes as strings:
// an integral number as it is, another number truncated toward zero, a string
// of decimal digits with an optional sign. Everything else, and any value that
// does not fit in 64 bits, is unreadable.
std::optional<qint64> lenientInteger(const QJsonValue& value);

// The value when it is a JSON string, else nothing.
std::optional<QString> stringField(const QJsonObject& object, const QString& key);

} // namespace kestrion::PanelApi
