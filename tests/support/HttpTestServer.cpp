#include "support/HttpTestServer.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <httplib.h>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

namespace kestrion::test {

QByteArray RecordedRequest::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

bool RecordedRequest::hasHeader(const QByteArray& name) const {
    return std::any_of(headers.begin(), headers.end(),
                       [&name](const auto& entry) { return entry.first.compare(name, Qt::CaseInsensitive) == 0; });
}

QJsonObject RecordedRequest::jsonBody() const {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    return error.error == QJsonParseError::NoError ? document.object() : QJsonObject();
}

ScriptedResponse ScriptedResponse::json(int status, QByteArray body) {
    return bytes(status, std::move(body), "application/json");
}

ScriptedResponse ScriptedResponse::text(int status, QByteArray body) {
    return bytes(status, std::move(body), "text/plain; charset=utf-8");
}

ScriptedResponse ScriptedResponse::bytes(int status, QByteArray body, QByteArray contentType) {
    ScriptedResponse response;
    response.status = status;
    response.body = std::move(body);
    response.contentType = std::move(contentType);
    return response;
}

ScriptedResponse ScriptedResponse::dropped() {
    ScriptedResponse response;
    response.body = R"({"choices": [{"message": {"role": "assistant", "content": "never delivered"}}]})";
    response.dropConnection = true;
    return response;
}

ScriptedResponse ScriptedResponse::neverAnswers() {
    ScriptedResponse response;
    response.delay = std::chrono::hours(24);
    return response;
}

ScriptedResponse ScriptedResponse::endless(qint64 streamBytes) {
    // Not a text type: the library gzips chunked text bodies for clients that
    // accept it, and the bytes the client counts must be the bytes sent.
    ScriptedResponse response = bytes(200, {}, "application/octet-stream");
    response.streamBytes = streamBytes;
    return response;
}

ScriptedResponse ScriptedResponse::announcingLength(qint64 announced) {
    ScriptedResponse response = endless();
    response.announcedLength = announced;
    response.streamPause = std::chrono::milliseconds(10);
    return response;
}

namespace {

constexpr size_t streamChunkBytes = 64 * 1024;
constexpr size_t tricklePieceBytes = 16;

struct Route {
    std::deque<ScriptedResponse> queue;
    HttpTestServer::Handler handler;
    std::optional<ScriptedResponse> defaultResponse;
};

QByteArray normalizedMethod(const QByteArray& method) {
    return method.trimmed().toUpper();
}

} // namespace

struct HttpTestServer::State {
    httplib::Server server;
    std::thread thread;
    int port = 0;

    mutable std::mutex mutex;
    std::condition_variable stopSignal;
    mutable std::condition_variable streamEnded;
    bool stopping = false;
    bool keepAlive = false;
    std::map<std::pair<QByteArray, QString>, Route> routes;
    QList<RecordedRequest> requests;
    QList<StreamReport> streams;

    // Finds the answer for one request; called without the lock held.
    ScriptedResponse respond(const RecordedRequest& request) {
        std::unique_lock lock(mutex);
        if (auto found = routes.find({request.method, request.path}); found != routes.end()) {
            Route& route = found->second;
            if (!route.queue.empty()) {
                ScriptedResponse response = std::move(route.queue.front());
                route.queue.pop_front();
                return response;
            }
            if (route.handler) {
                // The handler may call back into the server (requests(), enqueue()).
                const Handler handler = route.handler;
                lock.unlock();
                return handler(request);
            }
            if (route.defaultResponse) {
                return *route.defaultResponse;
            }
        }
        return ScriptedResponse::text(404, "No scripted response for " + request.method + ' ' + request.path.toUtf8());
    }

    bool keepingAlive() const {
        std::lock_guard lock(mutex);
        return keepAlive;
    }

    // Returns false when the server began shutting down during the wait.
    bool waitFor(std::chrono::milliseconds delay) {
        if (delay <= std::chrono::milliseconds::zero()) {
            return true;
        }
        std::unique_lock lock(mutex);
        return !stopSignal.wait_for(lock, delay, [this] { return stopping; });
    }

    void serve(const httplib::Request& incoming, httplib::Response& outgoing) {
        RecordedRequest request;
        request.method = normalizedMethod(QByteArray::fromStdString(incoming.method));
        request.path = QString::fromStdString(incoming.path);
        const auto queryStart = incoming.target.find('?');
        if (queryStart != std::string::npos) {
            request.query = QString::fromStdString(incoming.target.substr(queryStart + 1));
        }
        for (const auto& [name, value] : incoming.headers) {
            // The library files the peer's addresses among the headers; they were never sent.
            if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT") {
                continue;
            }
            request.headers.append({QByteArray::fromStdString(name), QByteArray::fromStdString(value)});
        }
        request.body = QByteArray::fromStdString(incoming.body);
        request.clientPort = incoming.remote_port;
        {
            std::lock_guard lock(mutex);
            requests.append(request);
        }

        const ScriptedResponse response = respond(request);
        if (!waitFor(response.delay)) {
            // Shutting down: give up on the connection rather than answer late.
            dropAfterHeaders(outgoing, {});
            return;
        }

        outgoing.status = response.status;
        if (!keepingAlive()) {
            outgoing.set_header("Connection", "close");
        }
        for (const auto& [name, value] : response.headers) {
            outgoing.set_header(name.toStdString(), value.toStdString());
        }
        if (response.dropConnection) {
            dropAfterHeaders(outgoing, response.body.left(response.body.size() / 2));
            return;
        }
        if (response.streamBytes) {
            stream(outgoing, response);
            return;
        }
        if (response.body.isEmpty()) {
            outgoing.set_content(std::string(), response.contentType.toStdString());
            return;
        }
        // A content provider sends the bytes exactly as scripted: the library
        // compresses plain bodies for clients that accept gzip, but never these.
        auto body = std::make_shared<const QByteArray>(response.body);
        outgoing.set_content_provider(static_cast<size_t>(body->size()), response.contentType.toStdString(),
                                      [body](size_t offset, size_t length, httplib::DataSink& sink) {
                                          const auto available = static_cast<size_t>(body->size()) - offset;
                                          return sink.write(body->constData() + offset, std::min(length, available));
                                      });
    }

    void endStream(qsizetype index, StreamReport::End end) {
        {
            std::lock_guard lock(mutex);
            if (streams[index].end != StreamReport::End::streaming) {
                return;
            }
            streams[index].end = end;
        }
        streamEnded.notify_all();
    }

    // Sends filler bytes until the client goes away or the stream's own bound
    // is reached; the report says which happened and how much went out.
    void stream(httplib::Response& outgoing, const ScriptedResponse& response) {
        qsizetype index = 0;
        {
            std::lock_guard lock(mutex);
            index = streams.size();
            streams.append(StreamReport{});
        }
        const bool chunked = !response.announcedLength;
        const qint64 limit = *response.streamBytes;
        const auto deadline = std::chrono::steady_clock::now() + ScriptedResponse::streamTimeLimit;
        const std::chrono::milliseconds pause = response.streamPause;
        auto filler = std::make_shared<const std::string>(
            pause > std::chrono::milliseconds::zero() ? tricklePieceBytes : streamChunkBytes, 'x');
        auto provide = [this, index, chunked, limit, deadline, pause, filler](size_t offset, size_t room,
                                                                              httplib::DataSink& sink) {
            const auto sent = static_cast<qint64>(offset);
            if (sent >= limit || std::chrono::steady_clock::now() >= deadline) {
                endStream(index, StreamReport::End::ownLimit);
                if (chunked) {
                    sink.done();
                    return true;
                }
                return false; // cuts a response that announced more
            }
            const size_t length = std::min({filler->size(), room, static_cast<size_t>(limit - sent)});
            if (!sink.write(filler->data(), length)) {
                endStream(index, StreamReport::End::clientClosed);
                return false;
            }
            {
                std::lock_guard lock(mutex);
                streams[index].bytesSent = sent + static_cast<qint64>(length);
            }
            if (pause > std::chrono::milliseconds::zero()) {
                std::this_thread::sleep_for(pause);
            }
            return true;
        };
        // Runs when the library is done with the response, however it ended.
        // Short of the stream's own end and with the server still up, the
        // library only gives up on a connection the client has closed (a
        // failed write, or a socket no longer writable).
        const std::optional<qint64> announced = response.announcedLength;
        auto released = [this, index, announced](bool success) {
            bool shuttingDown = false;
            bool complete = false;
            {
                std::lock_guard lock(mutex);
                shuttingDown = stopping;
                complete = success && announced && streams[index].bytesSent >= *announced;
            }
            endStream(index, shuttingDown ? StreamReport::End::serverStopped
                             : complete   ? StreamReport::End::ownLimit
                                          : StreamReport::End::clientClosed);
        };
        if (chunked) {
            outgoing.set_chunked_content_provider(
                response.contentType.toStdString(),
                [provide](size_t offset, httplib::DataSink& sink) {
                    return provide(offset, std::numeric_limits<size_t>::max(), sink);
                },
                released);
        } else {
            outgoing.set_content_provider(static_cast<size_t>(*response.announcedLength),
                                          response.contentType.toStdString(), provide, released);
        }
    }

    // Promises more bytes than it sends, then makes the library close the connection.
    static void dropAfterHeaders(httplib::Response& outgoing, QByteArray partialBody) {
        auto partial = std::make_shared<const QByteArray>(std::move(partialBody));
        const size_t promised = static_cast<size_t>(partial->size()) + 1024;
        outgoing.set_content_provider(promised, "application/octet-stream",
                                      [partial](size_t offset, size_t, httplib::DataSink& sink) {
                                          if (offset == 0 && !partial->isEmpty()) {
                                              sink.write(partial->constData(), static_cast<size_t>(partial->size()));
                                          }
                                          return false;
                                      });
    }
};

HttpTestServer::HttpTestServer() : m_state(std::make_shared<State>()) {
    State* state = m_state.get();
    // Enough workers that requests held by long delays never starve the others.
    state->server.new_task_queue = [] { return new httplib::ThreadPool(32); };
    // Idle keep-alive connections hold a worker; keep them short so shutdown is quick.
    state->server.set_keep_alive_timeout(1);
    // The library writes the headers and the body apart; without this, the
    // body of an answer on a kept-alive connection waits for the client's
    // delayed acknowledgement (tens of milliseconds), which real servers avoid.
    state->server.set_tcp_nodelay(true);
    const auto dispatch = [state](const httplib::Request& request, httplib::Response& response) {
        state->serve(request, response);
    };
    const char* everything = ".*";
    state->server.Get(everything, dispatch);
    state->server.Post(everything, dispatch);
    state->server.Put(everything, dispatch);

    state->port = state->server.bind_to_any_port("127.0.0.1");
    if (state->port <= 0) {
        throw std::runtime_error("HttpTestServer: cannot bind a port on 127.0.0.1");
    }
    // The socket already listens, so requests made before the thread runs wait in the backlog.
    state->thread = std::thread([state] { state->server.listen_after_bind(); });
    // stop() is a no-op until the loop runs, so a server destroyed right away
    // would otherwise leave the thread listening forever.
    while (!state->server.is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

HttpTestServer::~HttpTestServer() {
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stopping = true;
    }
    m_state->stopSignal.notify_all();
    m_state->server.stop();
    if (m_state->thread.joinable()) {
        m_state->thread.join();
    }
}

QString HttpTestServer::baseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(m_state->port);
}

int HttpTestServer::port() const {
    return m_state->port;
}

void HttpTestServer::setKeepAlive(bool on) {
    std::lock_guard lock(m_state->mutex);
    m_state->keepAlive = on;
}

void HttpTestServer::enqueue(const QByteArray& method, const QString& path, ScriptedResponse response) {
    std::lock_guard lock(m_state->mutex);
    m_state->routes[{normalizedMethod(method), path}].queue.push_back(std::move(response));
}

void HttpTestServer::handle(const QByteArray& method, const QString& path, Handler handler) {
    std::lock_guard lock(m_state->mutex);
    m_state->routes[{normalizedMethod(method), path}].handler = std::move(handler);
}

void HttpTestServer::setDefaultResponse(const QByteArray& method, const QString& path, ScriptedResponse response) {
    std::lock_guard lock(m_state->mutex);
    m_state->routes[{normalizedMethod(method), path}].defaultResponse = std::move(response);
}

QList<RecordedRequest> HttpTestServer::requests() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->requests;
}

QList<RecordedRequest> HttpTestServer::requests(const QByteArray& method, const QString& path) const {
    const QByteArray wanted = normalizedMethod(method);
    QList<RecordedRequest> matching;
    std::lock_guard lock(m_state->mutex);
    for (const RecordedRequest& request : m_state->requests) {
        if (request.method == wanted && request.path == path) {
            matching.append(request);
        }
    }
    return matching;
}

int HttpTestServer::requestCount() const {
    std::lock_guard lock(m_state->mutex);
    return static_cast<int>(m_state->requests.size());
}

void HttpTestServer::clearRequests() {
    std::lock_guard lock(m_state->mutex);
    m_state->requests.clear();
}

QList<StreamReport> HttpTestServer::streams() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->streams;
}

StreamReport HttpTestServer::waitForStreamEnd(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_state->mutex);
    m_state->streamEnded.wait_for(lock, timeout, [this] {
        return m_state->streams.isEmpty() || m_state->streams.last().end != StreamReport::End::streaming;
    });
    return m_state->streams.isEmpty() ? StreamReport{} : m_state->streams.last();
}

} // namespace kestrion::test
