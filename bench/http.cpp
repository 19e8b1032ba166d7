// The HTTP client against a loopback server: small requests one after another
// from one worker thread (what a deploy's status polls and a turn's calls
// look like), and how long a cancelled request takes to give up.
#include "support/HttpClient.h"
#include "support/HttpTestServer.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <benchmark/benchmark.h>
#include <chrono>
#include <stop_token>
#include <thread>

using namespace kestrion;
using namespace kestrion::test;

namespace {

// One long-lived worker thread, as the application's pool threads are; made
// in main() so that it ends while the application object still exists.
QThreadPool* workerPool = nullptr;

QThreadPool& worker() {
    return *workerPool;
}

void sequentialRequests(benchmark::State& state) {
    HttpTestServer server;
    server.setKeepAlive(state.range(1) != 0);
    const QByteArray method = state.range(2) != 0 ? "POST" : "GET";
    server.setDefaultResponse(method, "/small", ScriptedResponse::json(200, QByteArray(state.range(0), 'a')));
    HttpRequest request;
    request.method = method;
    if (state.range(2) != 0) {
        request.body = QByteArray(state.range(2), 'q');
    }
    request.url = QUrl(server.baseUrl() + QStringLiteral("/small"));
    request.maxBodyBytes = 1 << 20;
    for (auto _ : state) {
        const HttpResponse response =
            QtConcurrent::run(&worker(), [&request] { return performHttpRequest(request); }).result();
        if (response.statusCode != 200) {
            state.SkipWithError("request failed");
            break;
        }
    }
}
// Arguments: answer bytes; whether the server keeps connections open; bytes
// posted (a GET when 0).
BENCHMARK(sequentialRequests)
    ->Args({1 << 10, 1, 0})
    ->Args({1 << 10, 0, 0})
    ->Args({1 << 10, 1, 16 << 10})
    ->Args({1 << 10, 0, 16 << 10})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// From the cancel to the call's return, for a request the server never answers.
void cancelLatency(benchmark::State& state) {
    HttpTestServer server;
    server.setDefaultResponse("GET", "/silent", ScriptedResponse::neverAnswers());
    HttpRequest request;
    request.url = QUrl(server.baseUrl() + QStringLiteral("/silent"));
    for (auto _ : state) {
        const int before = server.requestCount();
        std::stop_source stop;
        QFuture<HttpResponse> call = QtConcurrent::run(
            &worker(), [&request, token = stop.get_token()] { return performHttpRequest(request, token); });
        while (server.requestCount() == before) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        const auto start = std::chrono::steady_clock::now();
        stop.request_stop();
        const HttpResponse response = call.result();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!response.cancelled) {
            state.SkipWithError("not cancelled");
            break;
        }
    }
}
// Each silent request holds one of the server's 32 workers until it shuts down.
BENCHMARK(cancelLatency)->Iterations(20)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QThreadPool pool;
    pool.setMaxThreadCount(1);
    pool.setExpiryTimeout(-1);
    workerPool = &pool;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
