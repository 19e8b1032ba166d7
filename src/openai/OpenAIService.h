#pragma once

#include "openai/OpenAIError.h"

#include <QByteArray>
#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>

namespace kestrion {

// One (role, content) pair of a chat completions request.
struct ChatCompletionMessage {
    QString role;
    QString content;
};

// The request time-outs of OpenAIService (declared outside it so the
// constructor can default it). Each is an inactivity limit: a request fails
// when nothing moves for this long. Tests shorten them.
struct OpenAIServiceTimeouts {
    std::chrono::milliseconds chat{std::chrono::seconds(60)};
    std::chrono::milliseconds image{std::chrono::seconds(180)};
    std::chrono::milliseconds download{std::chrono::seconds(60)};
    // The models list is a small answer; a server that does not give it soon is not one to wait for.
    std::chrono::milliseconds models{std::chrono::seconds(20)};
};

// The largest answers OpenAIService reads. A server could otherwise send
// without end until memory runs out; an answer past its cap is abandoned as
// soon as it passes it (or at once when its Content-Length says it will).
struct OpenAIServiceBodyCaps {
    static constexpr qint64 chatAnswer = qint64(32) << 20;
    static constexpr qint64 imageAnswer = qint64(64) << 20; // Base64 of a large picture fits
    static constexpr qint64 imageDownload = qint64(64) << 20;
    static constexpr qint64 modelList = qint64(4) << 20; // thousands of entries
};

// How one chat request is sent beyond its messages.
struct ChatRequestOptions {
    // A stop asked for here aborts the request at once; it then fails as cancelled.
    std::stop_token stop;
    // Asks for the answer as server-sent events ("stream": true in the request) and reads them as
    // they arrive; the request body is otherwise unchanged.
    bool stream = false;
    // With stream: gets each new piece of the reply's text as it arrives, on the requesting thread.
    std::function<void(const QString&)> onText;
};

// The application's client of the OpenAI HTTP API: chat completions and
// image generation.
//
// Threading: the client is immutable after construction, so every method is
// const and safe to call from any thread at the same time; it is shared as
// std::shared_ptr<const OpenAIService>. There are two ways in:
//  - completeChat() is for the interface thread. It returns at once; the
//    request and the decoding of the answer run on the global pool, whose
//    limit the waiting request does not count against. Continue with
//    QFuture::then(context, ...) to get the result back on that thread.
//  - completeChatBlocking() and generateImage() block the calling thread until
//    the answer is in. They are for worker threads (the materializer's
//    background task) and must never be called on the interface thread.
//
// Address: the configured base URL ("https://api.openai.com/v1" by default);
// "/chat/completions", "/images/generations" and "/models" are appended to its path.
class OpenAIService {
public:
    using Timeouts = OpenAIServiceTimeouts;
    using BodyCaps = OpenAIServiceBodyCaps;

    // baseUrl: the configured "openai_base_url", resolved as the settings
    // resolve it (AppSettings::openAIBaseURLFrom).
    explicit OpenAIService(const QString& baseUrl = {}, Timeouts timeouts = {});

    // The base URL in use, valid or not: an unusable one makes every call fail
    // with invalidURL.
    QString baseUrl() const;
    const Timeouts& timeouts() const;

    // Sends the whole conversation and returns the text of the first choice,
    // unchanged. Returns at once; see the class comment.
    QFuture<OpenAIResult<QString>> completeChat(const QString& model, const QString& apiKey,
                                                const QList<ChatCompletionMessage>& messages) const;
    // The same call, blocking the calling worker thread.
    OpenAIResult<QString> completeChatBlocking(const QString& model, const QString& apiKey,
                                               const QList<ChatCompletionMessage>& messages) const;
    // The same, stoppable and optionally streamed.
    OpenAIResult<QString> completeChatBlocking(const QString& model, const QString& apiKey,
                                               const QList<ChatCompletionMessage>& messages,
                                               const ChatRequestOptions& options) const;

    // Generates one picture and returns its bytes as received (decoded from
    // Base64 or downloaded from an http/https link). When "gpt-image-1" is
    // refused for lack of access, tries once more with "dall-e-3". Blocks the
    // calling worker thread.
    OpenAIResult<QByteArray> generateImage(const QString& prompt, const QString& size, const QString& model,
                                           const QString& apiKey, std::stop_token stop = {}) const;

    // The names of the models the server offers (GET {base}/models with the
    // key), as OpenAIResponseDecoding::decodeModelList reads them. Returns at
    // once, like completeChat().
    QFuture<OpenAIResult<QStringList>> listModels(const QString& apiKey) const;
    // The same call, blocking the calling worker thread.
    OpenAIResult<QStringList> listModelsBlocking(const QString& apiKey) const;

    // The size to request from the model: the requested size lowercased and
    // trimmed if the model accepts it (or its nearest equivalent), else "1024x1024".
    static QString normalizedSize(const QString& size, const QString& model);

private:
    // One chat request, unlogged: completeChatBlocking() logs its failure.
    OpenAIResult<QString> sendChat(const QString& model, const QString& apiKey,
                                   const QList<ChatCompletionMessage>& messages,
                                   const ChatRequestOptions& options) const;
    // One image attempt with one model, without the fallback.
    OpenAIResult<QByteArray> callImageAPI(const QString& prompt, const QString& size, const QString& model,
                                          const QString& apiKey, std::stop_token stop) const;
    // Where a request with apiKey goes: the base URL with the path appended. An
    // error, and no request, without a key or with an unusable base.
    OpenAIResult<QUrl> endpoint(const QString& apiKey, const QString& path) const;

    QString m_baseUrl;
    Timeouts m_timeouts;
};

} // namespace kestrion
