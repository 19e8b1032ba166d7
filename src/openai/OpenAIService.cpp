#include "openai/OpenAIService.h"

#include "openai/ChatStreamReader.h"
#include "openai/OpenAIResponseDecoding.h"
#include "settings/AppSettings.h"
#include "support/HttpClient.h"
#include "support/Logging.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtConcurrent/QtConcurrentRun>

namespace kestrion {

namespace decoding = OpenAIResponseDecoding;

namespace {

bool isBlank(const QString& text) {
    return text.trimmed().isEmpty();
}

HttpRequest jsonPost(const QUrl& url, const QString& apiKey, const QJsonObject& body, std::chrono::milliseconds timeout,
                     qint64 maxAnswerBytes) {
    HttpRequest request;
    request.method = "POST";
    request.url = url;
    request.headers = {
        {"Content-Type", "application/json"},
        {"Authorization", "Bearer " + apiKey.toUtf8()},
    };
    request.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    request.timeout = timeout;
    request.maxBodyBytes = maxAnswerBytes;
    return request;
}

// What failed and how, from the error's kind and status alone: the body the
// server answered may echo the request, and the request carries the key and
// the chat text, so neither the body nor a header is ever logged.
void logFailure(const char* request, const OpenAIError& error) {
    switch (error.kind) {
    case OpenAIError::Kind::Http:
        qCWarning(lcOpenAI) << request << "failed: HTTP status" << error.statusCode;
        return;
    case OpenAIError::Kind::Decoding:
        qCWarning(lcOpenAI) << request << "failed: the answer could not be read";
        return;
    case OpenAIError::Kind::MissingAPIKey:
        qCWarning(lcOpenAI) << request << "not sent: no API key";
        return;
    case OpenAIError::Kind::InvalidURL:
        qCWarning(lcOpenAI) << request << "not sent: invalid API address";
        return;
    case OpenAIError::Kind::Transport:
        // Qt's own network error text: it names the failure, never the request's contents.
        qCWarning(lcOpenAI) << request << "failed in transport:" << error.message;
        return;
    case OpenAIError::Kind::BodyTooLarge:
        qCWarning(lcOpenAI) << request << "failed: the answer was too large";
        return;
    }
}

template <typename T>
OpenAIResult<T> logged(const char* request, OpenAIResult<T> result) {
    if (!result.ok()) {
        logFailure(request, result.error());
    }
    return result;
}

} // namespace

OpenAIService::OpenAIService(const QString& baseUrl, Timeouts timeouts)
    : m_baseUrl(AppSettings::openAIBaseURLFrom(baseUrl)), m_timeouts(timeouts) {}

QString OpenAIService::baseUrl() const {
    return m_baseUrl;
}

const OpenAIService::Timeouts& OpenAIService::timeouts() const {
    return m_timeouts;
}

OpenAIResult<QUrl> OpenAIService::endpoint(const QString& apiKey, const QString& path) const {
    if (isBlank(apiKey)) {
        return OpenAIError::missingAPIKey();
    }
    QUrl url(m_baseUrl, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        return OpenAIError::invalidURL();
    }
    // Append to the path so a query the base carries (some proxies want one) stays a query.
    QString basePath = url.path();
    while (basePath.endsWith(QLatin1Char('/'))) {
        basePath.chop(1);
    }
    url.setPath(basePath + path);
    url.setFragment(QString());
    if (!url.isValid()) {
        return OpenAIError::invalidURL();
    }
    return url;
}

QFuture<OpenAIResult<QString>> OpenAIService::completeChat(const QString& model, const QString& apiKey,
                                                           const QList<ChatCompletionMessage>& messages) const {
    // The copy keeps the call independent of the caller's client object.
    // It runs on the global pool: while it waits for the answer its thread
    // does not count against the pool's limit (see performHttpRequest), so a
    // slow answer keeps no scan or snapshot waiting.
    return QtConcurrent::run(
        [service = *this, model, apiKey, messages] { return service.completeChatBlocking(model, apiKey, messages); });
}

OpenAIResult<QString> OpenAIService::completeChatBlocking(const QString& model, const QString& apiKey,
                                                          const QList<ChatCompletionMessage>& messages) const {
    return completeChatBlocking(model, apiKey, messages, {});
}

OpenAIResult<QString> OpenAIService::completeChatBlocking(const QString& model, const QString& apiKey,
                                                          const QList<ChatCompletionMessage>& messages,
                                                          const ChatRequestOptions& options) const {
    return logged("Chat request", sendChat(model, apiKey, messages, options));
}

OpenAIResult<QString> OpenAIService::sendChat(const QString& model, const QString& apiKey,
                                              const QList<ChatCompletionMessage>& messages,
                                              const ChatRequestOptions& options) const {
    const OpenAIResult<QUrl> url = endpoint(apiKey, QStringLiteral("/chat/completions"));
    if (!url.ok()) {
        return url.error();
    }

    QJsonArray encodedMessages;
    for (const ChatCompletionMessage& message : messages) {
        encodedMessages.append(
            QJsonObject{{QStringLiteral("role"), message.role}, {QStringLiteral("content"), message.content}});
    }
    QJsonObject body{
        {QStringLiteral("model"), model},
        {QStringLiteral("messages"), encodedMessages},
        {QStringLiteral("temperature"), 0.4},
    };
    if (options.stream) {
        body.insert(QStringLiteral("stream"), true);
    }

    HttpRequest request = jsonPost(url.value(), apiKey, body, m_timeouts.chat, BodyCaps::chatAnswer);
    ChatStreamReader stream;
    if (options.stream) {
        request.onBodyBytes = [&stream, &options, shown = qsizetype(0)](QByteArrayView bytes) mutable {
            if (stream.feed(bytes) && options.onText) {
                options.onText(stream.text().sliced(shown));
                shown = stream.text().size();
            }
        };
    }
    const HttpResponse response = performHttpRequest(request, options.stop);
    if (auto failure = decoding::responseFailure(response)) {
        return *failure;
    }
    if (!options.stream) {
        return decoding::decodeChatCompletion(response.body);
    }
    // A server that ignores the stream flag answers with one plain completion.
    if (!stream.finished() && !stream.failure() && stream.text().isEmpty() &&
        !response.body.trimmed().startsWith("data:")) {
        return decoding::decodeChatCompletion(response.body);
    }
    return stream.result();
}

QFuture<OpenAIResult<QStringList>> OpenAIService::listModels(const QString& apiKey) const {
    return QtConcurrent::run([service = *this, apiKey] { return service.listModelsBlocking(apiKey); });
}

OpenAIResult<QStringList> OpenAIService::listModelsBlocking(const QString& apiKey) const {
    const auto list = [&]() -> OpenAIResult<QStringList> {
        const OpenAIResult<QUrl> url = endpoint(apiKey, QStringLiteral("/models"));
        if (!url.ok()) {
            return url.error();
        }
        HttpRequest request;
        request.url = url.value();
        request.headers = {{"Authorization", "Bearer " + apiKey.toUtf8()}};
        request.timeout = m_timeouts.models;
        request.maxBodyBytes = BodyCaps::modelList;
        const HttpResponse response = performHttpRequest(request);
        if (auto failure = decoding::responseFailure(response)) {
            return *failure;
        }
        return decoding::decodeModelList(response.body);
    };
    return logged("Models request", list());
}

OpenAIResult<QByteArray> OpenAIService::generateImage(const QString& prompt, const QString& size, const QString& model,
                                                      const QString& apiKey, std::stop_token stop) const {
    OpenAIResult<QByteArray> first = callImageAPI(prompt, size, model, apiKey, stop);
    if (first.ok() || !decoding::shouldRetryWithDallE3(first.error(), model)) {
        return logged("Image request", std::move(first));
    }
    return logged("Image request", callImageAPI(prompt, size, QStringLiteral("dall-e-3"), apiKey, stop));
}

OpenAIResult<QByteArray> OpenAIService::callImageAPI(const QString& prompt, const QString& size, const QString& model,
                                                     const QString& apiKey, std::stop_token stop) const {
    const OpenAIResult<QUrl> url = endpoint(apiKey, QStringLiteral("/images/generations"));
    if (!url.ok()) {
        return url.error();
    }

    QJsonObject body{
        {QStringLiteral("model"), model},
        {QStringLiteral("prompt"), prompt},
        {QStringLiteral("n"), 1},
        {QStringLiteral("size"), normalizedSize(size, model)},
    };
    if (model == QLatin1String("dall-e-3") || model == QLatin1String("dall-e-2")) {
        body.insert(QStringLiteral("response_format"), QStringLiteral("b64_json"));
    }

    const HttpResponse response =
        performHttpRequest(jsonPost(url.value(), apiKey, body, m_timeouts.image, BodyCaps::imageAnswer), stop);
    if (auto failure = decoding::responseFailure(response)) {
        return *failure;
    }
    const OpenAIResult<decoding::ImageItem> item = decoding::decodeFirstImageItem(response.body);
    if (!item.ok()) {
        return item.error();
    }

    if (item.value().b64Json) {
        if (auto bytes = decoding::decodeBase64Leniently(*item.value().b64Json)) {
            return *bytes;
        }
    }
    const std::optional<QUrl> link =
        item.value().url ? decoding::downloadableImageUrl(*item.value().url) : std::nullopt;
    if (!link) {
        return OpenAIError::decoding(
            QCoreApplication::translate("kestrion::OpenAIService", "Image response had neither b64_json nor url"));
    }

    HttpRequest download;
    download.url = *link;
    download.timeout = m_timeouts.download;
    download.maxBodyBytes = BodyCaps::imageDownload;
    const HttpResponse downloaded = performHttpRequest(download, stop);
    if (downloaded.bodyTooLarge) {
        return OpenAIError::bodyTooLarge(
            QCoreApplication::translate("kestrion::OpenAIService", "The generated image is larger than %1.")
                .arg(byteCountText(BodyCaps::imageDownload)));
    }
    if (downloaded.transportFailed()) {
        return OpenAIError::transport(downloaded.transportError);
    }
    const int status = downloaded.isHttp ? downloaded.statusCode : -1;
    if (status < 200 || status > 299) {
        return OpenAIError::http(
            status, QCoreApplication::translate("kestrion::OpenAIService", "Failed to download generated image"));
    }
    return downloaded.body;
}

QString OpenAIService::normalizedSize(const QString& size, const QString& model) {
    const QString requested = size.trimmed().toLower();
    const auto oneOf = [&requested](std::initializer_list<const char*> sizes) {
        for (const char* candidate : sizes) {
            if (requested == QLatin1String(candidate)) {
                return true;
            }
        }
        return false;
    };
    const QString fallback = QStringLiteral("1024x1024");

    if (model == QLatin1String("dall-e-3")) {
        if (oneOf({"1024x1024", "1024x1792", "1792x1024"})) {
            return requested;
        }
        if (requested == QLatin1String("1024x1536")) {
            return QStringLiteral("1024x1792");
        }
        if (requested == QLatin1String("1536x1024")) {
            return QStringLiteral("1792x1024");
        }
        return fallback;
    }
    if (model == QLatin1String("dall-e-2")) {
        return oneOf({"256x256", "512x512", "1024x1024"}) ? requested : fallback;
    }
    if (oneOf({"1024x1024", "1024x1536", "1536x1024", "auto"})) {
        return requested;
    }
    if (requested == QLatin1String("1024x1792")) {
        return QStringLiteral("1024x1536");
    }
    if (requested == QLatin1String("1792x1024")) {
        return QStringLiteral("1536x1024");
    }
    return fallback;
}

} // namespace kestrion
