// Throughput of the reply protocol parser on a realistic 1 MiB reply and on hostile
// replies of the same size that would make a backtracking matcher quadratic.

#include "generation/FileGenerationParser.h"

#include <QString>
#include <benchmark/benchmark.h>

using namespace kestrion::FileGenerationParser;

namespace {

constexpr qsizetype targetSize = 1024 * 1024;

const QString prose = QStringLiteral(
    "Here is the updated landing page. I kept the navigation, moved the hero image to the top and tightened "
    "the copy so the call to action stands out. The stylesheet now uses custom properties for the palette.\n\n");

const QString page = QStringLiteral(
    "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n  <meta charset=\"UTF-8\">\n  <title>Studio</title>\n"
    "  <link rel=\"stylesheet\" href=\"styles.css\">\n</head>\n<body>\n  <header class=\"hero\">\n"
    "    <h1>Handmade ceramics</h1>\n    <p>Small batches, fired in our studio.</p>\n  </header>\n"
    "  <main>\n    <section class=\"grid\">\n      <article><h2>Bowls</h2><p>Stoneware, glazed.</p></article>\n"
    "      <article><h2>Cups</h2><p>Porcelain, thin walls.</p></article>\n    </section>\n  </main>\n"
    "</body>\n</html>");

const QString stylesheet = QStringLiteral(
    ":root { --ink: #222; --paper: #fdfbf7; --accent: #b5562f; }\nbody { margin: 0; color: var(--ink); "
    "background: var(--paper); font-family: system-ui, sans-serif; }\n.hero { padding: 4rem 2rem; }\n"
    ".grid { display: grid; grid-template-columns: repeat(auto-fit, minmax(14rem, 1fr)); gap: 1.5rem; }");

// Repeats the unit until the reply reaches 1 MiB of UTF-16 code units' worth of text.
QString filledWith(const QString& head, const QString& unit, const QString& tail = {}) {
    QString reply = head;
    while (reply.size() + tail.size() < targetSize) {
        reply += unit;
    }
    return reply + tail;
}

QString realisticReply() {
    const QString files = prose + QStringLiteral("<<<FILE path=\"index.htm\">>>\n") + page +
                          QStringLiteral("\n<<<END_FILE>>>\n\n") + prose +
                          QStringLiteral("<<<FILE path=\"styles.css\">>>\n") + stylesheet +
                          QStringLiteral("\n<<<END_FILE>>>\n\n");
    return filledWith(QStringLiteral("<<<IMAGE path=\"images/hero.jpg\" size=\"1536x1024\">>>\nA potter's "
                                     "workbench in morning light.\n<<<END_IMAGE>>>\n\n"),
                      files, prose);
}

QString realisticReplyWithoutBlocks() {
    const QString pasted = prose + QStringLiteral("Save this as about.htm:\n\n```html\n") + page +
                           QStringLiteral("\n```\n\n") + prose + QStringLiteral("```css\n") + stylesheet +
                           QStringLiteral("\n```\n\n") + prose + page + QStringLiteral("\n\n");
    return filledWith({}, pasted);
}

// Interleaves 20,000 copies of a hostile fragment with prose, to 1 MiB.
QString hostileReply(const QString& fragment) {
    const qsizetype count = 20000;
    const QString filler = prose.left(qMax<qsizetype>(0, (targetSize - count * fragment.size()) / count));
    QString reply;
    reply.reserve(targetSize);
    for (qsizetype i = 0; i < count; ++i) {
        reply += fragment;
        reply += filler;
    }
    return reply;
}

void runWholePipeline(benchmark::State& state, const QString& reply) {
    for (auto _ : state) {
        auto parsed = parseReply(reply);
        benchmark::DoNotOptimize(parsed);
    }
    state.SetBytesProcessed(state.iterations() * reply.toUtf8().size());
}

void BM_RealisticReply(benchmark::State& state) {
    runWholePipeline(state, realisticReply());
}

void BM_RealisticReplyFallbackAlwaysRun(benchmark::State& state) {
    // The gate answers at once when blocks exist; this measures the recovery itself.
    const QString reply = realisticReplyWithoutBlocks();
    for (auto _ : state) {
        auto fallback = parseFallbackBlocks(reply);
        benchmark::DoNotOptimize(fallback);
    }
    state.SetBytesProcessed(state.iterations() * reply.toUtf8().size());
}

void BM_RealisticReplyWithoutBlocks(benchmark::State& state) {
    runWholePipeline(state, realisticReplyWithoutBlocks());
}

void BM_UnclosedFileOpeners(benchmark::State& state) {
    runWholePipeline(state, hostileReply(QStringLiteral("<<<FILE path=\"a\">>>")));
}

void BM_HtmlMentionsWithoutClosingTag(benchmark::State& state) {
    runWholePipeline(state, hostileReply(QStringLiteral("<html lang=\"en\"> ")));
}

void BM_FenceLines(benchmark::State& state) {
    runWholePipeline(state, hostileReply(QStringLiteral("\n```html\n")));
}

void BM_UnclosedImageOpeners(benchmark::State& state) {
    runWholePipeline(state, hostileReply(QStringLiteral("<<<IMAGE path=\"a.png\">>>")));
}

void BM_SubstantialFencesAfterLongNameLikeRuns(benchmark::State& state) {
    // Every fence sends the 600 characters before it to the file-name pattern; runs of
    // name characters without an extension are its slowest input.
    const QString run = QString(600, u'a');
    runWholePipeline(state,
                     filledWith({}, run + QStringLiteral("\n```css\n") + stylesheet + QStringLiteral("\n```\n")));
}

void BM_DenselyPackedSmallestSubstantialFences(benchmark::State& state) {
    // About 14,000 recoverable fences, each searching the 600 characters before it.
    runWholePipeline(state, filledWith({}, QStringLiteral("```css\n") + QString(60, u'a') + QStringLiteral("\n```\n")));
}

} // namespace

BENCHMARK(BM_RealisticReply)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RealisticReplyWithoutBlocks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RealisticReplyFallbackAlwaysRun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnclosedFileOpeners)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HtmlMentionsWithoutClosingTag)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FenceLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnclosedImageOpeners)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SubstantialFencesAfterLongNameLikeRuns)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DenselyPackedSmallestSubstantialFences)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
