// What collecting a page's problems costs a page load, both measured in the
// same run. Run under a display (e.g. `xvfb-run -a build/bench/bench_preview_load`).
//
// Two previews side by side in one window, each the preview's own page (its
// rules, its request interceptor): one with nothing listening, one with the
// problems strip, the picker's injected script and web channel wired as the
// Preview tab wires them. Each loads a clean page and a broken one (1,000
// missing images, a missing stylesheet, a script error on load and one on
// every animation frame); the time is from load() to loadFinished.

#include "WebEngineBenchmarks.h"
#include "app/widgets/PreviewProblemsStrip.h"
#include "preview/IndexPreviewWebView.h"
#include "preview/PreviewPicker.h"
#include "preview/PreviewUrlInterceptor.h"
#include "preview/PreviewWebPage.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHBoxLayout>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineView>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

using namespace kestrion;

class Previews {
public:
    Previews() {
        QByteArray broken = "<!doctype html><html><head><title>Broken</title>"
                            "<link rel=stylesheet href=missing.css></head><body>\n";
        for (int i = 0; i < 1000; ++i) {
            broken += "<img src=\"img/missing" + QByteArray::number(i) + ".jpg\" width=4 height=4>";
        }
        broken += "<script>requestAnimationFrame(function tick() { requestAnimationFrame(tick);"
                  " throw new Error('every frame'); });</script>"
                  "<script>throw new Error('on load');</script></body></html>\n";
        QByteArray clean = "<!doctype html><html><head><title>Clean</title></head><body>\n";
        for (int i = 0; i < 200; ++i) {
            clean += "<section><h2>Heading</h2><p>Fresh bread every morning at the harbour.</p></section>\n";
        }
        clean += "</body></html>\n";
        write(QStringLiteral("broken.html"), broken);
        write(QStringLiteral("clean.html"), clean);

        auto* layout = new QHBoxLayout(&m_window);
        m_plain = new IndexPreviewWebView;
        layout->addWidget(m_plain, 1);
        auto* column = new QVBoxLayout;
        m_collecting = new IndexPreviewWebView;
        m_strip = new PreviewProblemsStrip;
        column->addWidget(m_collecting, 1);
        column->addWidget(m_strip);
        layout->addLayout(column, 1);

        PreviewWebPage* page = m_collecting->page();
        QObject::connect(page, &PreviewWebPage::pageNavigationAccepted, m_strip,
                         [this] { m_strip->reset(m_dir.path(), QStringLiteral("page")); });
        QObject::connect(page, &PreviewWebPage::consoleError, m_strip, &PreviewProblemsStrip::addConsoleError);
        QObject::connect(m_collecting->interceptor(), &PreviewUrlInterceptor::missingFile, m_strip,
                         [this](const QUrl& url) { m_strip->add(PageProblems::Kind::Missing, url); });
        QObject::connect(m_collecting->interceptor(), &PreviewUrlInterceptor::requestBlocked, m_strip,
                         [this](const QUrl& url) { m_strip->add(PageProblems::Kind::Refused, url); });
        m_picker = std::make_unique<PreviewPicker>(page, m_collecting->view(), [this] { return m_dir.path(); });
        QObject::connect(m_picker.get(), &PreviewPicker::resourceFailed, m_strip,
                         [this](const QUrl& url) { m_strip->add(PageProblems::Kind::Failed, url); });

        m_window.resize(1400, 800);
        m_window.show();
    }

    // Milliseconds from the start of the load to its end; negative when it never ended.
    double load(bool collecting, const QString& file) {
        IndexPreviewWebView* view = collecting ? m_collecting : m_plain;
        QEventLoop loop;
        const auto finished = QObject::connect(view->page(), &QWebEnginePage::loadFinished, &loop, &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        QElapsedTimer timer;
        timer.start();
        view->apply(m_dir.filePath(file), m_dir.path(), ++m_nonce);
        loop.exec();
        QObject::disconnect(finished);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        return view->page()->isLoading() ? -1 : ms;
    }

    int problemsCollected() const { return m_strip->problems().total(); }

private:
    void write(const QString& name, const QByteArray& bytes) {
        QFile file(m_dir.filePath(name));
        if (file.open(QIODevice::WriteOnly)) {
            file.write(bytes);
        }
    }

    QTemporaryDir m_dir;
    QWidget m_window;
    IndexPreviewWebView* m_plain;
    IndexPreviewWebView* m_collecting;
    PreviewProblemsStrip* m_strip;
    std::unique_ptr<PreviewPicker> m_picker;
    qint64 m_nonce = 0;
};

Previews& previews() {
    static Previews instance;
    return instance;
}

void loadPage(benchmark::State& state, bool collecting, const QString& file) {
    // A first load of each kind warms the engine's processes and the file cache.
    previews().load(collecting, file);
    for (auto _ : state) {
        const double ms = previews().load(collecting, file);
        if (ms < 0) {
            state.SkipWithError("the page never finished loading");
            return;
        }
        state.SetIterationTime(ms / 1000.0);
    }
    if (collecting) {
        state.counters["problems"] = previews().problemsCollected();
    }
}

void BM_PreviewLoad_Clean_WithoutCollection(benchmark::State& state) {
    loadPage(state, false, QStringLiteral("clean.html"));
}
void BM_PreviewLoad_Clean_WithCollection(benchmark::State& state) {
    loadPage(state, true, QStringLiteral("clean.html"));
}
void BM_PreviewLoad_Broken_WithoutCollection(benchmark::State& state) {
    loadPage(state, false, QStringLiteral("broken.html"));
}
void BM_PreviewLoad_Broken_WithCollection(benchmark::State& state) {
    loadPage(state, true, QStringLiteral("broken.html"));
}
BENCHMARK(BM_PreviewLoad_Clean_WithoutCollection)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_PreviewLoad_Clean_WithCollection)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_PreviewLoad_Broken_WithoutCollection)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_PreviewLoad_Broken_WithCollection)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char** argv) {
    return kestrion::bench::runInWidgetsApplication(argc, argv);
}
