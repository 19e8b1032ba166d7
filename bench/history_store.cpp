// Saving and loading a large chat history (2,000 messages, about 10 MiB), against a plain QSaveFile
// write of the same number of bytes as the floor a save cannot beat.

#include "conversation/ChatHistoryPersistence.h"

#include <QSaveFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace kestrion;
namespace History = kestrion::ChatHistoryPersistence;

namespace {

constexpr int sessionCount = 20;
constexpr int messagesPerSession = 100;

// Messages look like real replies: HTML with quotes, newlines and some non-ASCII text, about 5 KiB each.
const History::FilePayload& largePayload() {
    static const History::FilePayload payload = [] {
        History::FilePayload built;
        const QString body =
            QStringLiteral("<section class=\"hero\">\n  <h1>Caf\u00e9 \u2014 fresh bread</h1>\n  <p>Open daily.</p>\n"
                           "</section>\n")
                .repeated(52);
        for (int s = 0; s < sessionCount; ++s) {
            ChatSession session = ChatSession::makeFresh();
            session.title = QStringLiteral("Site %1").arg(s);
            for (int m = 0; m < messagesPerSession; ++m) {
                const auto role = m % 2 == 0 ? ChatMessage::Role::User : ChatMessage::Role::Assistant;
                session.messages.append(ChatMessage::make(role, QStringLiteral("Message %1\n").arg(m) + body));
            }
            built.sessions.append(session);
        }
        built.activeSessionId = built.sessions.first().id;
        return built;
    }();
    return payload;
}

QString websiteRoot() {
    static QTemporaryDir dir;
    return dir.path();
}

void BM_SaveHistory(benchmark::State& state) {
    const History::FilePayload& payload = largePayload();
    const QString root = websiteRoot();
    for (auto _ : state) {
        History::save(payload, root);
    }
    state.SetBytesProcessed(state.iterations() * History::encode(payload).size());
}

void BM_LoadHistory(benchmark::State& state) {
    const QString root = websiteRoot();
    History::save(largePayload(), root);
    for (auto _ : state) {
        auto loaded = History::load(root);
        if (!loaded || loaded->sessions.size() != sessionCount) {
            state.SkipWithError("history did not load");
            break;
        }
        benchmark::DoNotOptimize(loaded);
    }
    state.SetBytesProcessed(state.iterations() * History::encode(largePayload()).size());
}

// The floor: the same number of bytes through QSaveFile, with no encoding at all.
void BM_PlainSaveFileWrite(benchmark::State& state) {
    const QByteArray bytes(History::encode(largePayload()).size(), 'x');
    const QString path = websiteRoot() + QStringLiteral("/plain.bin");
    for (auto _ : state) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
            state.SkipWithError("plain write failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void BM_EncodeHistory(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(History::encode(largePayload()));
    }
}

void BM_DecodeHistory(benchmark::State& state) {
    const QByteArray bytes = History::encode(largePayload());
    for (auto _ : state) {
        benchmark::DoNotOptimize(History::decode(bytes));
    }
}

} // namespace

BENCHMARK(BM_PlainSaveFileWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveHistory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadHistory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeHistory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeHistory)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
