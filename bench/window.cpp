// Window start-up and long-transcript measurements. Run under a display
// (e.g. `xvfb-run -a build/bench/bench_window`).
//
// Start-up: the benchmark starts this same program as a child in one of two
// modes and times process start to the first paint of its window:
//   --probe bare    a plain QWidget window (the baseline);
//   --probe window  the application's start-up sequence and main window.
// Both children link the same libraries as the application (web engine included), and the
// window gets the same web preview.
//
// Transcript: a history of 1,000 messages (every tenth a 20 KiB Markdown
// reply) is bound, and the time from creating the window to its first paint
// with the newest message shown is measured in-process, with the RSS after it.

#include "WebEngineBenchmarks.h"
#include "app/AppContext.h"
#include "app/MainWindow.h"
#include "app/widgets/TranscriptView.h"
#include "conversation/ChatHistoryPersistence.h"
#include "conversation/ChatViewModel.h"
#include "preview/WebEnginePreview.h"
#include "settings/AppSettings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>

namespace {

// Prints one line and ends the process at the first paint of the watched window.
class FirstPaintWatcher final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            std::puts("painted");
            std::fflush(stdout);
            QMetaObject::invokeMethod(
                qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        }
        return false;
    }
};

int runProbe(int argc, char** argv, const char* mode) {
    kestrion::bench::prepareWebEngine();
    QApplication app(argc, argv);
    FirstPaintWatcher watcher;
    if (std::strcmp(mode, "bare") == 0) {
        QWidget window;
        window.resize(900, 700);
        window.installEventFilter(&watcher);
        window.show();
        return QApplication::exec();
    }
    QApplication::setApplicationName(QStringLiteral("DuvUDUvadIra"));
    QApplication::setOrganizationName(QStringLiteral("Kestrion"));
    kestrion::AppSettings settings;
    kestrion::AppContext context(&settings);
    kestrion::MainWindow window(context, kestrion::WebEnginePreview::factory());
    window.installEventFilter(&watcher);
    window.show();
    return QApplication::exec();
}

void timeChildToFirstPaint(benchmark::State& state, const char* mode) {
    const QString self = QCoreApplication::applicationFilePath();
    for (auto _ : state) {
        QProcess child;
        QElapsedTimer clock;
        clock.start();
        child.start(self, {QStringLiteral("--probe"), QString::fromLatin1(mode)});
        if (!child.waitForReadyRead(30000) || !child.readAll().contains("painted")) {
            state.SkipWithError("the probe did not paint");
            break;
        }
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        child.waitForFinished(10000);
    }
}

void BM_StartupToFirstPaint_BareWidget(benchmark::State& state) {
    timeChildToFirstPaint(state, "bare");
}
void BM_StartupToFirstPaint_MainWindow(benchmark::State& state) {
    timeChildToFirstPaint(state, "window");
}
BENCHMARK(BM_StartupToFirstPaint_BareWidget)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_StartupToFirstPaint_MainWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    return -1;
}

QString longMarkdown(int index) {
    QString text = QStringLiteral("## Changes %1\n\n").arg(index);
    int section = 0;
    while (text.size() < 20 * 1024) {
        text +=
            QStringLiteral("### Section %1\n\nThe **hero** now uses a *softer* gradient and the [pricing page](https://"
                           "example.com/p%1) links back. Some `inline code` and a list:\n\n- first item\n- second "
                           "item with more words to wrap across the bubble\n\n```css\n.hero { color: teal; }\n```\n\n")
                .arg(++section);
    }
    return text;
}

void BM_Transcript1000Messages_TimeToShow(benchmark::State& state) {
    QTemporaryDir site;
    kestrion::ChatHistoryPersistence::FilePayload payload;
    payload.version = 1;
    kestrion::ChatSession session = kestrion::ChatSession::makeFresh();
    for (int i = 0; i < 1000; ++i) {
        const bool isUser = i % 2 == 0;
        const QString text =
            isUser ? QStringLiteral("Please change item %1 on the page.").arg(i)
                   : (i % 10 == 1 ? longMarkdown(i) : QStringLiteral("Done: updated **item %1**.").arg(i));
        session.messages.append(kestrion::ChatMessage::make(
            isUser ? kestrion::ChatMessage::Role::User : kestrion::ChatMessage::Role::Assistant, text));
    }
    payload.sessions = {session};
    payload.activeSessionId = session.id;
    kestrion::ChatHistoryPersistence::save(payload, site.path());

    kestrion::AppSettings settings;
    settings.setOutputDirectoryPath(site.path());
    const long rssBefore = residentKiB();
    long rssAfter = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        auto context = std::make_unique<kestrion::AppContext>(&settings);
        auto window = std::make_unique<kestrion::MainWindow>(*context, kestrion::WebEnginePreview::factory());
        bool painted = false;
        struct Watch final : QObject {
            bool* flag;
            explicit Watch(bool* f) : flag(f) {}
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::Paint) {
                    *flag = true;
                }
                return false;
            }
        } watch(&painted);
        kestrion::TranscriptView* transcript =
            window->findChild<kestrion::TranscriptView*>(QStringLiteral("transcript"));
        transcript->viewport()->installEventFilter(&watch);
        window->show();
        while (!painted || transcript->model()->rowCount() < 1000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        rssAfter = residentKiB();
        // Scrolling through the whole transcript once, a page at a time.
        QScrollBar* bar = transcript->verticalScrollBar();
        QElapsedTimer scroll;
        scroll.start();
        int pages = 0;
        for (int value = 0; value <= bar->maximum(); value += transcript->viewport()->height()) {
            bar->setValue(value);
            transcript->viewport()->repaint();
            ++pages;
        }
        state.counters["scroll_ms_per_page"] = static_cast<double>(scroll.elapsed()) / std::max(1, pages);
        transcript->viewport()->removeEventFilter(&watch);
    }
    state.counters["rss_before_MiB"] = static_cast<double>(rssBefore) / 1024.0;
    state.counters["rss_after_show_MiB"] = static_cast<double>(rssAfter) / 1024.0;
}
BENCHMARK(BM_Transcript1000Messages_TimeToShow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--probe") == 0) {
            return runProbe(argc, argv, argv[i + 1]);
        }
    }
    return kestrion::bench::runInWidgetsApplication(argc, argv);
}
