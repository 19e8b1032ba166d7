#include "deploy/PanelApi.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <charconv>
#include <cmath>
#include <limits>

namespace kestrion::PanelApi {

namespace {

const QString validationSeparator = QStringLiteral(" \u00B7 ");

QString trimSlashes(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char('/')) {
        ++begin;
    }
    while (end > begin && text.at(end - 1) == QLatin1Char('/')) {
        --end;
    }
    return text.mid(begin, end - begin);
}

std::optional<qint64> integerFromText(const QString& text) {
    // Only an optional sign followed by digits: no blanks, no fraction, no
    // exponent, so "4x2" or " 42" are not quietly read as something else.
    const QByteArray latin = text.toLatin1();
    if (latin.size() != text.size() || latin.isEmpty()) {
        return std::nullopt;
    }
    const char* begin = latin.constData();
    const char* end = begin + latin.size();
    if (*begin == '+') {
        ++begin;
        if (begin == end || *begin == '-') {
            return std::nullopt;
        }
    }
    qint64 value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value, 10);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

} // namespace

QUrl apiURL(const QString& base, const QString& path) {
    const QString trimmed = trimSlashes(base.trimmed());
    if (trimmed.isEmpty()) {
        throw DeployError::invalidBaseURL();
    }
    const QUrl url(trimmed + path, QUrl::StrictMode);
    // A base without scheme or host ("example.com", "localhost:8080") would
    // parse as a relative URL or an odd scheme; neither can be requested.
    if (!url.isValid() || url.isRelative() || url.host().isEmpty()) {
        throw DeployError::invalidBaseURL();
    }
    return url;
}

HttpRequest jsonRequest(const QUrl& url, const QByteArray& method, const QString& token,
                        const std::optional<QJsonObject>& body) {
    HttpRequest request;
    request.method = method;
    request.url = url;
    request.timeout = requestTimeout;
    request.maxBodyBytes = maxAnswerBytes;
    request.headers.append({QByteArrayLiteral("Accept"), QByteArrayLiteral("application/json")});
    const QString trimmedToken = token.trimmed();
    if (!trimmedToken.isEmpty()) {
        request.headers.append({QByteArrayLiteral("Authorization"), "Bearer " + trimmedToken.toUtf8()});
    }
    if (body) {
        request.headers.append({QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json")});
        request.body = QJsonDocument(*body).toJson(QJsonDocument::Compact);
    }
    return request;
}

DataResponse performDataRequest(const HttpRequest& request, std::stop_token cancellation) {
    const HttpResponse response = performHttpRequest(request, std::move(cancellation));
    if (response.cancelled) {
        throw DeployError::cancelled();
    }
    if (response.bodyTooLarge) {
        throw DeployError::answerTooLarge(request.maxBodyBytes.value_or(0));
    }
    if (response.transportFailed()) {
        throw DeployError::platform(response.transportError);
    }
    if (!response.isHttp) {
        throw DeployError::invalidResponse(request.url.path());
    }
    return DataResponse{response.statusCode, response.body};
}

std::optional<QString> messageFromJsonObject(const std::optional<QJsonObject>& object) {
    if (!object) {
        return std::nullopt;
    }
    const QJsonValue message = object->value(QStringLiteral("message"));
    if (message.isString() && !message.toString().isEmpty()) {
        return message.toString();
    }
    const QJsonValue errors = object->value(QStringLiteral("errors"));
    if (!errors.isObject()) {
        return std::nullopt;
    }
    QStringList lines;
    const QJsonObject fields = errors.toObject();
    for (auto field = fields.begin(); field != fields.end(); ++field) {
        if (!field.value().isArray()) {
            return std::nullopt;
        }
        const QJsonArray texts = field.value().toArray();
        for (const QJsonValue& text : texts) {
            if (!text.isString()) {
                return std::nullopt;
            }
            lines.append(field.key() + QStringLiteral(": ") + text.toString());
        }
    }
    if (lines.isEmpty()) {
        return std::nullopt;
    }
    return lines.join(validationSeparator);
}

std::optional<qint64> lenientInteger(const QJsonValue& value) {
    if (value.isString()) {
        return integerFromText(value.toString());
    }
    if (!value.isDouble()) {
        return std::nullopt;
    }
    // Integral JSON numbers are kept exactly (a double would round large ids).
    constexpr qint64 sentinelA = 0;
    constexpr qint64 sentinelB = 1;
    const qint64 asIntegerA = value.toInteger(sentinelA);
    if (asIntegerA == value.toInteger(sentinelB)) {
        return asIntegerA;
    }
    const double truncated = std::trunc(value.toDouble());
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(truncated) || truncated >= limit || truncated < -limit) {
        return std::nullopt;
    }
    return static_cast<qint64>(truncated);
}

std::optional<QString> stringField(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isString()) {
        return std::nullopt;
    }
    return value.toString();
}

} // namespace kestrion::PanelApi
