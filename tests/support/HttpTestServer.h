#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace kestrion::test {

// One request as the server received it.
struct RecordedRequest {
    QByteArray method;                                // "GET", "POST", ...
    QString path;                                     // decoded path without the query, e.g. "/v1/chat/completions"
    QString query;                                    // the raw query after '?', empty when there is none
    QList<std::pair<QByteArray, QByteArray>> headers; // as received, in order
    QByteArray body;
    // The client's port: requests that share one came over one kept-alive connection.
    int clientPort = -1;

    // Value of the first header with that name (compared case-insensitively), or a null QByteArray.
    QByteArray header(const QByteArray& name) const;
    bool hasHeader(const QByteArray& name) const;
    // The body parsed as a JSON object; an empty object when it is not one.
    QJsonObject jsonBody() const;
};

// How a streamed body (ScriptedResponse::endless() or announcingLength()) went out.
struct StreamReport {
    enum class End {
        streaming,     // still sending
        clientClosed,  // a write failed: the client closed the connection
        ownLimit,      // the server reached its own byte or time bound
        serverStopped, // the server shut down
    };
    qint64 bytesSent = 0;
    End end = End::streaming;
};

// What the server answers to one request.
struct ScriptedResponse {
    int status = 200;
    QByteArray body; // any bytes, UTF-8 or not
    QByteArray contentType = "application/json";
    QList<std::pair<QByteArray, QByteArray>> headers; // extra response headers
    // Waited before answering. The wait ends early when the server shuts down,
    // so a test that scripts a server that never answers still ends promptly.
    std::chrono::milliseconds delay{0};
    // Sends the status line and headers promising the body, then at most the
    // first half of the body, then closes the connection: a response that
    // never completes.
    bool dropConnection = false;
    // Set by endless() and announcingLength(): instead of `body`, filler
    // bytes are streamed, at most streamBytes of them and for at most
    // streamTimeLimit, so even a client that reads everything ends. Without
    // announcedLength the body is chunked and ends cleanly at that bound; with
    // it, the response carries that Content-Length and trickles small pieces
    // with streamPause between them, so only a client that believes the
    // header can end early on its own.
    std::optional<qint64> streamBytes;
    std::optional<qint64> announcedLength;
    std::chrono::milliseconds streamPause{0};

    static ScriptedResponse json(int status, QByteArray body);
    static ScriptedResponse text(int status, QByteArray body);
    static ScriptedResponse bytes(int status, QByteArray body, QByteArray contentType);
    static ScriptedResponse dropped();
    // Holds the request until the server is destroyed (clients time out first).
    static ScriptedResponse neverAnswers();
    // A 200 whose chunked body goes on until the client closes the
    // connection (bounded by streamBytes, default defaultStreamBytes).
    static ScriptedResponse endless(qint64 streamBytes = defaultStreamBytes);
    // A 200 whose Content-Length announces `announced` bytes, then trickles
    // a few bytes at a time until the client closes the connection.
    static ScriptedResponse announcingLength(qint64 announced = qint64(1) << 40);

    // Several times the largest body any client of the app accepts.
    static constexpr qint64 defaultStreamBytes = qint64(256) << 20;
    static constexpr std::chrono::seconds streamTimeLimit{20};
};

// A real HTTP/1.1 server on 127.0.0.1 on a free port, serving from its own
// threads, scripted per test. All members are thread-safe.
//
// Answers are looked up per (method, path), in this order:
//   1. the oldest response queued with enqueue() (each is used once),
//   2. the handler set with handle(),
//   3. the response set with setDefaultResponse(),
//   4. otherwise 404 with a text naming the unscripted route.
class HttpTestServer {
public:
    using Handler = std::function<ScriptedResponse(const RecordedRequest&)>;

    HttpTestServer();
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    // "http://127.0.0.1:<port>" (no trailing slash).
    QString baseUrl() const;
    int port() const;

    // Off by default: every answer closes its connection, since a client's
    // idle kept-alive connection would hold the server's shutdown for the
    // keep-alive timeout. Tests of connection reuse turn it on.
    void setKeepAlive(bool on);

    void enqueue(const QByteArray& method, const QString& path, ScriptedResponse response);
    void handle(const QByteArray& method, const QString& path, Handler handler);
    void setDefaultResponse(const QByteArray& method, const QString& path, ScriptedResponse response);

    // Every request received so far, in arrival order. A request is recorded as
    // soon as it arrives, before any scripted delay.
    QList<RecordedRequest> requests() const;
    QList<RecordedRequest> requests(const QByteArray& method, const QString& path) const;
    int requestCount() const;
    void clearRequests();

    // One report per streamed body, in the order they started.
    QList<StreamReport> streams() const;
    // Waits until the latest streamed body has ended (at most `timeout`) and
    // returns its report; a default report when no body was streamed.
    StreamReport waitForStreamEnd(std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace kestrion::test
