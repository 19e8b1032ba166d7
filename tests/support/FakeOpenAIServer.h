#pragma once

#include "support/HttpTestServer.h"

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>

namespace kestrion::test {

// A stand-in for the OpenAI API on 127.0.0.1, built on HttpTestServer.
// Point the client at apiBaseUrl(); its requests then land on
// "/v1/chat/completions", "/v1/images/generations" and "/v1/models".
//
// Replies are queued per endpoint and used once each, in order; when the
// queue is empty an endpoint answers with its default reply (set with
// setDefaultChatReply()/setDefaultImageReply()), else with 404.
class FakeOpenAIServer {
public:
    static inline const QString chatPath = QStringLiteral("/v1/chat/completions");
    static inline const QString imagePath = QStringLiteral("/v1/images/generations");
    static inline const QString modelsPath = QStringLiteral("/v1/models");

    FakeOpenAIServer();

    // "http://127.0.0.1:<port>/v1"
    QString apiBaseUrl() const;
    // The underlying server, for scripting anything the helpers below do not cover.
    HttpTestServer& http() { return m_server; }

    // Chat completions: a 200 whose first choice holds this content.
    void replyWithChat(const QString& content);
    // Any scripted answer for the next chat request (errors, delays, drops).
    void replyToChat(ScriptedResponse response);
    void setDefaultChatReply(const QString& content);
    // A streamed answer: one server-sent event per piece, then "[DONE]".
    void replyWithStreamedChat(const QStringList& pieces);
    // An answer whose headers come at once and whose body then trickles without end (until the
    // client closes the connection): a server that is mid-body.
    void replyWithSlowBody();

    // Image generation: a 200 carrying the bytes as Base64 in "b64_json".
    void replyWithImageB64(const QByteArray& imageBytes);
    // A 200 carrying only a "url" that this server serves with the bytes;
    // returns that URL.
    QString replyWithImageUrl(const QByteArray& imageBytes);
    void replyToImage(ScriptedResponse response);
    void setDefaultImageReply(const QByteArray& imageBytes);

    // Models list (GET): a 200 listing these names in the real API's shape.
    void replyWithModels(const QStringList& names);
    void replyToModels(ScriptedResponse response);

    // Serves the response at "/files/<n>" (a fresh name each call), for every
    // request to it; returns the absolute URL.
    QString serveFile(ScriptedResponse response);

    QList<RecordedRequest> chatRequests() const;
    QList<RecordedRequest> imageRequests() const;
    QList<RecordedRequest> modelsRequests() const;
    // Requests for files served with serveFile()/replyWithImageUrl().
    QList<RecordedRequest> fileRequests() const;

    // Bodies in the shape the real API sends.
    static QByteArray chatCompletionBody(const QString& content);
    // The server-sent events of a streamed completion: a role chunk, one chunk per piece, a
    // finishing chunk and "data: [DONE]".
    static QByteArray streamedChatBody(const QStringList& pieces);
    // One "data:" event carrying a chat chunk with this content.
    static QByteArray streamedChunk(const QString& content);
    static QByteArray imageB64Body(const QByteArray& imageBytes);
    static QByteArray imageUrlBody(const QString& url);
    static QByteArray modelListBody(const QStringList& names);
    // "model-001" ... "model-<count>", for lists of a given length.
    static QStringList numberedModels(int count);
    // A small valid PNG of one colour, for tests that need real image bytes.
    static QByteArray samplePng(int width = 8, int height = 8, QColor color = QColor(200, 40, 40));

private:
    HttpTestServer m_server;
    int m_fileCounter = 0;
};

} // namespace kestrion::test
