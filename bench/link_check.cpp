// The link check after a turn, on a site of 400 files (300 HTML and CSS
// pages, about 2 MiB), beside reading those pages alone through the same
// path module: the check should stay within twice the reading. A first
// check parses every page; the check after a turn parses only the pages the
// turn wrote.

#include "generation/LinkCheck.h"
#include "support/SitePath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

using namespace kestrion;

constexpr int htmlPages = 240;
constexpr int stylesheets = 60;
constexpr int images = 100;

QString base() {
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
}

void write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(bytes);
    }
}

// Pages of about 7 KiB with some 40 links each (a tenth of them broken),
// stylesheets with url() and @import, images the pages name.
class Site {
public:
    Site() : m_dir(base() + QStringLiteral("/kestrion-bench-XXXXXX")) {
        for (int i = 0; i < images; ++i) {
            write(path(QStringLiteral("img/photo%1.jpg").arg(i)), "jpeg");
        }
        for (int i = 0; i < stylesheets; ++i) {
            QByteArray css = "@import 'base.css';\n";
            while (css.size() < 6000) {
                css += QStringLiteral(".c%1 { background: url(../img/photo%2.jpg) no-repeat; color: #123; }\n")
                           .arg(css.size())
                           .arg(css.size() % (images + 10))
                           .toUtf8();
            }
            write(path(QStringLiteral("css/s%1.css").arg(i)), css);
        }
        for (int i = 0; i < htmlPages; ++i) {
            QByteArray html = "<!doctype html><html><head><meta charset=utf-8><title>Page</title>"
                              "<link rel=stylesheet href=\"../css/s" +
                              QByteArray::number(i % stylesheets) + ".css\"></head><body>\n";
            int n = 0;
            while (html.size() < 7000) {
                html += QStringLiteral("<section class=\"card\"><h2>Heading %1</h2><p>Some text about the "
                                       "harbour and the bakery, fresh every morning.</p>"
                                       "<img src=\"../img/photo%2.jpg\" srcset=\"../img/photo%2.jpg 1x\" alt=\"\">"
                                       "<a href=\"page%3.html#top\">next</a><a href=\"https://example.com/\">web</a>"
                                       "</section>\n")
                            .arg(n)
                            .arg(n % (images + 10))
                            .arg((i + n) % (htmlPages + 10))
                            .toUtf8();
                ++n;
            }
            html += "</body></html>\n";
            write(path(QStringLiteral("pages/page%1.html").arg(i)), html);
        }
    }

    QString root() const { return m_dir.path(); }

private:
    QString path(const QString& relative) const { return m_dir.filePath(relative); }

    QTemporaryDir m_dir;
};

const Site& site() {
    static const Site instance;
    return instance;
}

// A first check: every page parsed (on a few threads). CPU time is the whole process's.
void BM_LinkCheckCold(benchmark::State& state) {
    std::size_t broken = 0;
    for (auto _ : state) {
        LinkCheck::PageLinksCache cache;
        broken = LinkCheck::check(site().root(), cache).size();
        benchmark::DoNotOptimize(broken);
    }
    state.counters["broken"] = double(broken);
}
BENCHMARK(BM_LinkCheckCold)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// The check after a turn that wrote 10 pages: only those are parsed again.
void BM_LinkCheckAfterTenFileTurn(benchmark::State& state) {
    LinkCheck::PageLinksCache cache;
    LinkCheck::check(site().root(), cache);
    std::size_t broken = 0;
    int turn = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ++turn;
        for (int i = 0; i < 10; ++i) {
            const QString page = site().root() + QStringLiteral("/pages/page%1.html").arg((turn * 10 + i) % htmlPages);
            QFile file(page);
            if (file.open(QIODevice::ReadWrite)) {
                QByteArray bytes = file.readAll();
                bytes.replace("Heading", turn % 2 ? "Headinh" : "Heading");
                file.seek(0);
                file.write(bytes);
            }
        }
        state.ResumeTiming();
        broken = LinkCheck::check(site().root(), cache).size();
        benchmark::DoNotOptimize(broken);
    }
    state.counters["broken"] = double(broken);
    state.counters["parsed"] = double(cache.lastParsed());
}
BENCHMARK(BM_LinkCheckAfterTenFileTurn)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// The floor: listing the site and reading its pages, nothing parsed.
void BM_ReadPagesOnly(benchmark::State& state) {
    qint64 bytes = 0;
    for (auto _ : state) {
        const LinkCheck::SiteFiles files = LinkCheck::listSite(site().root());
        const SitePath::Site resolved(site().root());
        bytes = 0;
        for (const QString& page : files.pages) {
            bytes += resolved.read(resolved.resolve(page), LinkCheck::maxPageBytes).bytes.size();
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_ReadPagesOnly)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

} // namespace

BENCHMARK_MAIN();
