#include "support/HttpClient.h"

#include "support/HttpTestServer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <gmock/gmock.h>
#include <memory>

using namespace kestrion;
using namespace kestrion::test;
using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

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
    server.enqueue("GET", "/broken", ScriptedResponse::json(500, R"({"error":"boom"})"));

    const HttpResponse missing = send(get(server.baseUrl() + "/missing"));
    const HttpResponse broken = send(get(server.baseUrl() + "/broken"));

    EXPECT_FALSE(missing.transportFailed());
    EXPECT_EQ(missing.statusCode, 404);
    EXPECT_EQ(missing.body, "nothing here");
    EXPECT_FALSE(broken.transportFailed());
    EXPECT_EQ(broken.statusCode, 500);
    EXPECT_EQ(broken.body, R"({"error":"boom"})");
}

TEST(HttpClientTest, droppedConnectionIsATransportFailure) {
    HttpTestServer server;
    server.enqueue("GET", "/drop", ScriptedResponse::dropped());
    const HttpResponse response = send(get(server.baseUrl() + "/drop"));
    EXPECT_TRUE(response.transportFailed());
    EXPECT_FALSE(response.isHttp);
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

TEST(HttpClientTest, refusedConnectionCarriesTheClientsDescription) {
    int port = 0;
    {
        HttpTestServer closed;
        port = closed.port();
    }
    const HttpResponse response = send(get(QStringLiteral("http://127.0.0.1:%1/").arg(port)));
    EXPECT_THAT(response.transportError.toStdString(), Not(IsEmpty()));
    EXPECT_FALSE(response.isHttp);
}

TEST(HttpClientTest, nonHttpUrlIsATransportFailureNotAnAnswer) {
    QTemporaryDir dir;
    QFile file(dir.filePath("page.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("local bytes");
    file.close();

    const HttpResponse response = send(get(QUrl::fromLocalFile(file.fileName()).toString()));

    EXPECT_TRUE(response.transportFailed());
    EXPECT_FALSE(response.isHttp);
    EXPECT_TRUE(response.body.isEmpty());
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
    server.handle("GET", "/items/*", [](const RecordedRequest& request) {
        return ScriptedResponse::text(200, "item " + request.path.mid(7).toUtf8());
    });

    EXPECT_EQ(send(get(server.baseUrl() + "/route")).body, "first");
    EXPECT_EQ(send(get(server.baseUrl() + "/route")).body, "second");
    EXPECT_EQ(send(get(server.baseUrl() + "/route")).body, "default");
    EXPECT_EQ(send(get(server.baseUrl() + "/route")).body, "default");
    EXPECT_EQ(send(get(server.baseUrl() + "/items/42")).body, "item 42");
    const HttpResponse unscripted = send(get(server.baseUrl() + "/elsewhere"));
    EXPECT_EQ(unscripted.statusCode, 404);
    EXPECT_THAT(unscripted.body.toStdString(), HasSubstr("GET /elsewhere"));
    EXPECT_EQ(server.requests("GET", "/route").size(), 4);
}
