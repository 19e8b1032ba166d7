// Cost of materializing a large reply (text blocks written atomically, each
// target resolved against symbolic links) and of re-encoding a generated
// picture as JPEG.
#include "generation/ProjectMaterializer.h"
#include "openai/OpenAIService.h"

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

using namespace kestrion;

QString replyWithFiles(int count) {
    QString reply = QStringLiteral("Here is your site.\n");
    for (int i = 0; i < count; ++i) {
        reply += QStringLiteral("<<<FILE path=\"section%1/page%2.htm\">>>\n<h1>Page %2</h1>\n%3\n<<<END_FILE>>>\n")
                     .arg(i % 10)
                     .arg(i)
                     .arg(QString(400, QLatin1Char('x')));
    }
    return reply;
}

// Files only: git replaced by /bin/true so the figure is the writing alone.
void BM_Materialize500FilesWithoutGit(benchmark::State& state) {
    const QString reply = replyWithFiles(500);
    const OpenAIService openAI(QStringLiteral("http://127.0.0.1:9/v1"));
    QTemporaryDir dir;
    for (auto _ : state) {
        const auto result = ProjectMaterializer::materialize(reply, dir.path(), QStringLiteral("k"), openAI,
                                                             QStringLiteral("/bin/true"));
        benchmark::DoNotOptimize(result.writtenRelativePaths.size());
    }
    state.SetItemsProcessed(state.iterations() * 500);
}
BENCHMARK(BM_Materialize500FilesWithoutGit)->Unit(benchmark::kMillisecond);

// The whole turn with real git: the first iteration commits, later ones find
// nothing to commit (the steady state of a repeated identical reply).
void BM_Materialize500FilesWithGit(benchmark::State& state) {
    const QString reply = replyWithFiles(500);
    const OpenAIService openAI(QStringLiteral("http://127.0.0.1:9/v1"));
    QTemporaryDir dir;
    for (auto _ : state) {
        const auto result = ProjectMaterializer::materialize(reply, dir.path(), QStringLiteral("k"), openAI);
        benchmark::DoNotOptimize(result.gitExitCode);
    }
}
BENCHMARK(BM_Materialize500FilesWithGit)->Unit(benchmark::kMillisecond);

void BM_ConvertGeneratedPngToJpeg(benchmark::State& state) {
    QImage image(1024, 1024, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            image.setPixel(x, y, qRgb(x % 256, y % 256, (x ^ y) % 256));
        }
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    for (auto _ : state) {
        benchmark::DoNotOptimize(ProjectMaterializer::convertToJPEG(png, ProjectMaterializer::jpegQuality));
    }
}
BENCHMARK(BM_ConvertGeneratedPngToJpeg)->Unit(benchmark::kMillisecond);

} // namespace
