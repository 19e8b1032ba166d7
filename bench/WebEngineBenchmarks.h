#pragma once

// Shared by the benchmarks that start the web engine in a widgets application.

#include <QApplication>
#include <benchmark/benchmark.h>
#include <unistd.h>

namespace kestrion::bench {

// Before the application exists: the engine refuses its sandbox as root, and
// shares GL contexts with the widgets.
inline void prepareWebEngine() {
    if (::geteuid() == 0) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

// Runs the registered benchmarks inside a widgets application.
inline int runInWidgetsApplication(int argc, char** argv) {
    prepareWebEngine();
    QApplication app(argc, argv);
    ::benchmark::Initialize(&argc, argv);
    ::benchmark::RunSpecifiedBenchmarks();
    ::benchmark::Shutdown();
    return 0;
}

} // namespace kestrion::bench
