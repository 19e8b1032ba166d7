#include "support/HttpClient.h"

#include "support/HttpTestServer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <future>
#include <gmock/gmock.h>
#include <memory>
#include <optional>
#include <stop_token>
#include <thread>

using namespace kestrion;
using namespace kestrion::test;
using namespace std::chrono_literals;
using ::testing::HasSubstr;

namespace {

// performHttpRequest blocks, so every test calls it from a worker thread of its own pool.
HttpResponse send(const HttpRequest& request) {
    QThreadPool pool;
    return QtConcurrent::run(&pool, [&request] { return performHttpRequest(request); }).result();
}

HttpRequest get(const QString& url, std::chrono::milliseconds timeout = 10s) {
    HttpRequest request;
    request.url = QUrl(url);
    request.timeout = timeout;
    return request;
}

} // namespace

TEST(HttpClientTest, returnsScriptedStatusAndExactBytesAndRecordsTheRequest) {
    HttpTestServer server;
    const QByteArray bytes("\xff\xfe\x00binary", 9);
    server.enqueue("GET", "/thing", ScriptedResponse::bytes(201, bytes, "application/octet-stream"));
    HttpRequest request = get(server.baseUrl() + "/thing?x=1&y=two");
    request.method = "PUT";
    request.body = QByteArray("payload");
    request.headers = {{"X-Probe", "yes"}};
    server.enqueue("PUT", "/thing", ScriptedResponse::bytes(201, bytes, "application/octet-stream"));

    const HttpResponse response = send(request);

    EXPECT_FALSE(response.transportFailed()) << response.transportError.toStdString();
    EXPECT_TRUE(response.isHttp);
    EXPECT_EQ(response.statusCode, 201);
    EXPECT_EQ(response.body, bytes);
    ASSERT_EQ(server.requestCount(), 1);
    const RecordedRequest recorded = server.requests().front();
    EXPECT_EQ(recorded.method, "PUT");
    EXPECT_EQ(recorded.path, "/thing");
    EXPECT_EQ(recorded.query, "x=1&y=two");
    EXPECT_EQ(recorded.body, "payload");
    EXPECT_EQ(recorded.header("x-probe"), "yes");
}

TEST(HttpClientTest, errorStatusesAreAnswersWithTheirBodies) {
    HttpTestServer server;
    server.enqueue("GET", "/missing", ScriptedResponse::text(404, "nothing here"));
    const HttpResponse missing = send(get(server.baseUrl() + "/missing"));
    EXPECT_FALSE(missing.transportFailed());
    EXPECT_EQ(missing.statusCode, 404);
    EXPECT_EQ(missing.body, "nothing here");
}

TEST(HttpClientTest, droppedRefusedOrNonHttpAreTransportFailuresNotAnswers) {
    HttpTestServer server;
    server.enqueue("GET", "/drop", ScriptedResponse::dropped());
    int closedPort = 0;
    {
        HttpTestServer closed;
        closedPort = closed.port();
    }
    QTemporaryDir dir;
    QFile file(dir.filePath("page.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("local bytes");
    file.close();

    // A dropped answer may keep the bytes that came before the drop; the others have none to give.
    const std::pair<QString, bool> cases[] = {{server.baseUrl() + "/drop", false},
                                              {QStringLiteral("http://127.0.0.1:%1/").arg(closedPort), true},
                                              {QUrl::fromLocalFile(file.fileName()).toString(), true}};
    for (const auto& [url, bodyless] : cases) {
        SCOPED_TRACE(url.toStdString());
        const HttpResponse response = send(get(url));
        EXPECT_TRUE(response.transportFailed());
        EXPECT_FALSE(response.isHttp);
        EXPECT_TRUE(response.body.isEmpty() || !bodyless);
    }
}

TEST(HttpClientTest, silentServerTimesOutAndTheServerStillShutsDownPromptly) {
    auto server = std::make_unique<HttpTestServer>();
    server->enqueue("GET", "/silent", ScriptedResponse::neverAnswers());
    const HttpResponse response = send(get(server->baseUrl() + "/silent", 300ms));
    EXPECT_EQ(response.transportError, httpTimeoutDescription());
    EXPECT_FALSE(response.isHttp);
    // The held request must not keep the destructor waiting (ctest's timeout would catch a hang).
    server.reset();
}

TEST(HttpClientTest, headerValueWithLineBreakIsRefusedBeforeAnythingIsSent) {
    HttpTestServer server;
    for (const QByteArray& value : {QByteArray("Bearer abc\r\nX-Injected: 1"), QByteArray("Bearer abc\nX: 1"),
                                    QByteArray("Bearer abc\rX: 1"), QByteArray("Bearer abc\0def", 15)}) {
        HttpRequest request = get(server.baseUrl() + "/h");
        request.headers = {{"Authorization", value}};
        const HttpResponse response = send(request);
        EXPECT_EQ(response.transportError,
                  R"(Invalid value for HTTP header "Authorization": it contains a line break or NUL character.)");
        EXPECT_FALSE(response.isHttp);
    }
    EXPECT_EQ(server.requestCount(), 0);
}

TEST(HttpClientTest, serverPicksQueuedThenHandlerThenDefaultThenNotFound) {
    HttpTestServer server;
    server.setDefaultResponse("GET", "/route", ScriptedResponse::text(200, "default"));
    server.enqueue("GET", "/route", ScriptedResponse::text(200, "first"));
    server.enqueue("GET", "/route", ScriptedResponse::text(200, "second"));
    // A handler is asked before the default answer.
    server.setDefaultResponse("GET", "/item", ScriptedResponse::text(200, "default"));
    server.handle("GET", "/item", [](const RecordedRequest& request) {
        return ScriptedResponse::text(200, "item " + request.query.toUtf8());
    });

    EXPECT_EQ(send(get(server.baseUrl() + "/route")).body, "first");
    EXPECT_EQ(send(get(server.baseUrl() + "/route")).body, "second");
    EXPECT_EQ(send(get(server.baseUrl() + "/route")).body, "default");
    EXPECT_EQ(send(get(server.baseUrl() + "/route")).body, "default");
    EXPECT_EQ(send(get(server.baseUrl() + "/item?42")).body, "item 42");
    const HttpResponse unscripted = send(get(server.baseUrl() + "/elsewhere"));
    EXPECT_EQ(unscripted.statusCode, 404);
    EXPECT_THAT(unscripted.body.toStdString(), HasSubstr("GET /elsewhere"));
    EXPECT_EQ(server.requests("GET", "/route").size(), 4);
}

TEST(HttpClientTest, bodyCapAcceptsUpToTheCapAndAbortsPastIt) {
    // Bodies with a Content-Length, chunked bodies (counted as they come),
    // endless ones and huge announced lengths; the cap holds for any status.
    constexpr qint64 cap = 1000;
    ScriptedResponse endlessError = ScriptedResponse::endless();
    endlessError.status = 503;
    const struct {
        const char* name;
        ScriptedResponse response;
        std::optional<qint64> maxBodyBytes;
        bool tooLarge;
        qint64 bodySize;
    } rows[] = {
        {"exactly the cap", ScriptedResponse::bytes(200, QByteArray(cap, 'a'), "text/plain"), cap, false, cap},
        {"exactly the cap, chunked", ScriptedResponse::endless(cap), cap, false, cap},
        {"one byte over", ScriptedResponse::bytes(200, QByteArray(cap + 1, 'a'), "text/plain"), cap, true, 0},
        {"one byte over, chunked", ScriptedResponse::endless(cap + 1), cap, true, 0},
        {"error status over", ScriptedResponse::text(500, QByteArray(cap + 1, 'e')), cap, true, 0},
        {"endless", ScriptedResponse::endless(), cap, true, 0},
        {"endless error", endlessError, cap, true, 0},
        {"announcing one byte over", ScriptedResponse::announcingLength(cap + 1), cap, true, 0},
        {"no cap", ScriptedResponse::endless(3 * cap), std::nullopt, false, 3 * cap},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HttpTestServer server;
        server.enqueue("GET", "/body", row.response);
        HttpRequest request = get(server.baseUrl() + "/body");
        request.maxBodyBytes = row.maxBodyBytes;

        const HttpResponse response = send(request);

        EXPECT_EQ(response.bodyTooLarge, row.tooLarge);
        EXPECT_EQ(response.body.size(), row.bodySize);
        if (row.tooLarge) {
            EXPECT_EQ(response.transportError, "The server's answer is larger than 1000 bytes.");
            EXPECT_FALSE(response.isHttp);
        } else {
            EXPECT_FALSE(response.transportFailed()) << response.transportError.toStdString();
        }
        // Streams that would outlast any client (not the short chunked ones) must be cut by it.
        if (row.response.streamBytes == ScriptedResponse::defaultStreamBytes) {
            const StreamReport stream = server.waitForStreamEnd();
            EXPECT_EQ(stream.end, StreamReport::End::clientClosed);
            EXPECT_LT(stream.bytesSent, *row.response.streamBytes);
            if (row.response.announcedLength) {
                // Refused on the header, long before the trickle could pass the cap.
                EXPECT_LT(stream.bytesSent, cap);
            }
        }
    }
}

TEST(HttpClientTest, capsReadAsWholeUnits) {
    EXPECT_EQ(httpBodyTooLargeDescription(32 << 20), "The server's answer is larger than 32 MiB.");
    EXPECT_EQ(byteCountText(4 << 20), "4 MiB");
    EXPECT_EQ(byteCountText(1536), "1536 bytes");
    EXPECT_EQ(byteCountText(2048), "2 KiB");
    EXPECT_EQ(byteCountText(0), "0 bytes");
}

TEST(HttpClientTest, requestsFromOneThreadShareAConnectionButNoCookies) {
    // One client per thread keeps connections alive between calls; it must
    // not carry anything else over from one call to the next.
    HttpTestServer server;
    server.setKeepAlive(true);
    ScriptedResponse withCookie = ScriptedResponse::text(200, "first");
    withCookie.headers = {{"Set-Cookie", "session=secret; Path=/"}};
    server.enqueue("GET", "/first", withCookie);
    server.enqueue("POST", "/second", ScriptedResponse::text(200, "second"));
    server.enqueue("GET", "/third", ScriptedResponse::endless());
    HttpRequest post = get(server.baseUrl() + "/second");
    post.method = "POST";
    post.body = QByteArray("payload");
    post.maxBodyBytes = 100;
    HttpRequest capped = get(server.baseUrl() + "/third");
    capped.maxBodyBytes = 1000;

    QThreadPool pool;
    const QList<HttpResponse> responses = QtConcurrent::run(&pool, [&] {
                                              return QList<HttpResponse>{
                                                  performHttpRequest(get(server.baseUrl() + "/first")),
                                                  performHttpRequest(post),
                                                  performHttpRequest(capped),
                                              };
                                          }).result();

    EXPECT_EQ(responses[0].body, "first");
    EXPECT_EQ(responses[1].body, "second");
    // The caps hold on a connection in reuse.
    EXPECT_TRUE(responses[2].bodyTooLarge);
    EXPECT_EQ(server.waitForStreamEnd().end, StreamReport::End::clientClosed);
    const QList<RecordedRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 3);
    for (const RecordedRequest& request : requests) {
        EXPECT_EQ(request.clientPort, requests.front().clientPort) << request.path.toStdString();
        EXPECT_FALSE(request.hasHeader("Cookie")) << request.path.toStdString();
    }
}

TEST(HttpClientTest, aStopFromAnotherThreadEndsTheRequestAndAnEarlierOneSendsNothing) {
    // The server would answer after its own limit; only the stop can end the
    // call before that, and the outcome says which happened.
    HttpTestServer server;
    std::stop_source stop;
    server.handle("GET", "/slow", [&stop](const RecordedRequest&) {
        stop.request_stop();
        ScriptedResponse late = ScriptedResponse::text(200, "too late");
        late.delay = ScriptedResponse::streamTimeLimit;
        return late;
    });
    HttpRequest slow = get(server.baseUrl() + "/slow", 10min);

    QThreadPool pool;
    const HttpResponse stopped =
        QtConcurrent::run(&pool, [&] { return performHttpRequest(slow, stop.get_token()); }).result();
    const HttpResponse notSent =
        QtConcurrent::run(&pool, [&] { return performHttpRequest(slow, stop.get_token()); }).result();

    for (const HttpResponse& response : {stopped, notSent}) {
        EXPECT_TRUE(response.cancelled);
        EXPECT_EQ(response.transportError, "The request was cancelled.");
        EXPECT_FALSE(response.isHttp);
        EXPECT_TRUE(response.body.isEmpty());
    }
    EXPECT_EQ(server.requestCount(), 1);
}

TEST(HttpClientTest, aThreadNotStartedByQtEndsCleanlyAfterARequest) {
    // Its client is released when it ends, like a pool thread's.
    HttpTestServer server;
    server.setDefaultResponse("GET", "/ping", ScriptedResponse::text(200, "pong"));
    HttpResponse response;
    std::thread([&] { response = performHttpRequest(get(server.baseUrl() + "/ping")); }).join();
    EXPECT_EQ(response.body, "pong");
}

TEST(HttpClientTest, aRequestWaitingOnTheGlobalPoolLeavesItsSlotToOtherWork) {
    // With one slot, work queued behind the waiting request runs at once, or
    // only after the server's own limit, which the answer then tells.
    QThreadPool& global = *QThreadPool::globalInstance();
    const int limit = global.maxThreadCount();
    global.setMaxThreadCount(1);
    HttpTestServer server;
    std::promise<void> otherWorkRan;
    server.handle("GET", "/held", [&](const RecordedRequest&) {
        global.start([&otherWorkRan] { otherWorkRan.set_value(); });
        const bool ran =
            otherWorkRan.get_future().wait_for(ScriptedResponse::streamTimeLimit) == std::future_status::ready;
        return ScriptedResponse::text(200, ran ? "other work ran" : "other work waited");
    });

    const HttpResponse response =
        QtConcurrent::run(&global, [&] { return performHttpRequest(get(server.baseUrl() + "/held", 1min)); }).result();
    ASSERT_TRUE(global.waitForDone(10000));
    global.setMaxThreadCount(limit);

    EXPECT_EQ(response.body.toStdString(), "other work ran");
    // The slot was taken back: nothing counts as running once all is done.
    EXPECT_EQ(global.activeThreadCount(), 0);
}
