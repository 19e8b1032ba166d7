// Decoding costs of model service answers: a long chat reply, and a picture
// delivered inline as Base64 (the largest bodies the client reads).
#include "openai/OpenAIResponseDecoding.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <benchmark/benchmark.h>

using namespace kestrion;

namespace {

QByteArray randomBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(42);
    for (char& byte : bytes) {
        byte = static_cast<char>(generator.bounded(256));
    }
    return bytes;
}

// Base64 wrapped at 76 columns, as some servers send it.
QString wrappedBase64(const QByteArray& bytes) {
    const QString encoded = QString::fromLatin1(bytes.toBase64());
    QString wrapped;
    wrapped.reserve(encoded.size() + encoded.size() / 38);
    for (qsizetype i = 0; i < encoded.size(); i += 76) {
        wrapped += encoded.mid(i, 76);
        wrapped += QLatin1String("\r\n");
    }
    return wrapped;
}

void decodeChatCompletion(benchmark::State& state) {
    const QString content(state.range(0), QLatin1Char('a'));
    const QJsonObject message{{"role", "assistant"}, {"content", content}};
    const QByteArray body =
        QJsonDocument(QJsonObject{{"choices", QJsonArray{QJsonObject{{"message", message}}}}}).toJson();
    for (auto _ : state) {
        benchmark::DoNotOptimize(OpenAIResponseDecoding::decodeChatCompletion(body));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * body.size());
}
BENCHMARK(decodeChatCompletion)->Arg(4 << 10)->Arg(256 << 10)->Unit(benchmark::kMicrosecond);

void decodeWrappedBase64(benchmark::State& state) {
    const QString text = wrappedBase64(randomBytes(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(OpenAIResponseDecoding::decodeBase64Leniently(text));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * text.size());
}
BENCHMARK(decodeWrappedBase64)->Arg(256 << 10)->Arg(3 << 20)->Unit(benchmark::kMillisecond);

void decodeImageResponse(benchmark::State& state) {
    const QString b64 = QString::fromLatin1(randomBytes(state.range(0)).toBase64());
    const QByteArray body =
        QJsonDocument(QJsonObject{{"data", QJsonArray{QJsonObject{{"b64_json", b64}}}}}).toJson(QJsonDocument::Compact);
    for (auto _ : state) {
        auto item = OpenAIResponseDecoding::decodeFirstImageItem(body);
        benchmark::DoNotOptimize(OpenAIResponseDecoding::decodeBase64Leniently(*item.value().b64Json));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * body.size());
}
BENCHMARK(decodeImageResponse)->Arg(3 << 20)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
