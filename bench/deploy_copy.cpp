// The deploy's filtered copy of a website of 5,000 files (about 100 MiB, a
// large node_modules and a .git among them) beside `cp -a` of the same tree
// without node_modules and .git. Both read a warm page cache and write to
// the same file system, as the deploy's working area does.

#include "deploy/WorkspaceGitPush.h"
#include "support/ProcessRunner.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <filesystem>
#include <random>

namespace {

namespace fs = std::filesystem;
using namespace kestrion;

constexpr int siteFolders = 40;
constexpr int siteFilesPerFolder = 45;         // 1,800 site files
constexpr qsizetype siteFileBytes = 48 * 1024; // about 84 MiB in all
constexpr int modulePackages = 150;
constexpr int moduleFilesPerPackage = 20;       // 3,000 files to skip
constexpr qsizetype moduleFileBytes = 6 * 1024; // about 18 MiB
constexpr int gitObjects = 200;                 // 200 more files to skip

void writeFile(const QString& path, qsizetype size, std::mt19937& random) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes) {
        byte = static_cast<char>(random() & 0x7f);
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != size) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

// Two twins: "full" with node_modules and .git, "pruned" without them.
class Website {
public:
    Website() : m_dir(QDir::tempPath() + QStringLiteral("/kestrion-bench-deploy-XXXXXX")) {
        std::mt19937 random(7);
        const QString full = fullPath();
        for (int folder = 0; folder < siteFolders; ++folder) {
            const QString dir = full + QStringLiteral("/pages/section%1").arg(folder);
            QDir().mkpath(dir);
            for (int file = 0; file < siteFilesPerFolder; ++file) {
                writeFile(dir + QStringLiteral("/page%1.html").arg(file), siteFileBytes, random);
            }
        }
        writeFile(full + QStringLiteral("/.hidden-config"), 100, random);
        for (int package = 0; package < modulePackages; ++package) {
            const QString dir = full + QStringLiteral("/node_modules/pkg%1/lib").arg(package);
            QDir().mkpath(dir);
            for (int file = 0; file < moduleFilesPerPackage; ++file) {
                writeFile(dir + QStringLiteral("/m%1.js").arg(file), moduleFileBytes, random);
            }
        }
        QDir().mkpath(full + QStringLiteral("/.git/objects"));
        for (int object = 0; object < gitObjects; ++object) {
            writeFile(full + QStringLiteral("/.git/objects/o%1").arg(object), 2048, random);
        }
        // The pruned twin holds exactly what the filtered copy keeps.
        fs::create_directories(prunedPath().toStdString());
        for (const auto& entry : fs::directory_iterator(full.toStdString())) {
            const auto name = entry.path().filename();
            if (name != "node_modules" && name != ".git") {
                fs::copy(entry.path(), fs::path(prunedPath().toStdString()) / name, fs::copy_options::recursive);
            }
        }
    }

    QString fullPath() const { return m_dir.path() + QStringLiteral("/full"); }
    QString prunedPath() const { return m_dir.path() + QStringLiteral("/pruned"); }
    QString destination() const { return m_dir.path() + QStringLiteral("/out"); }

private:
    QTemporaryDir m_dir;
};

Website& website() {
    static Website instance;
    return instance;
}

void removeDestination(benchmark::State& state) {
    state.PauseTiming();
    fs::remove_all(website().destination().toStdString());
    state.ResumeTiming();
}

void BM_FilteredCopy(benchmark::State& state) {
    Website& site = website();
    for (auto _ : state) {
        WorkspaceGitPush::copyWorkspaceTreeFiltered(site.fullPath(), site.destination());
        removeDestination(state);
    }
}

void BM_CpArchivePrunedTree(benchmark::State& state) {
    Website& site = website();
    for (auto _ : state) {
        const ProcessOutcome outcome = runProcess(
            QStringLiteral("/bin/cp"), {QStringLiteral("-a"), site.prunedPath(), site.destination()}, QDir::tempPath());
        if (outcome.exitCode != 0) {
            state.SkipWithError("cp -a failed");
            break;
        }
        removeDestination(state);
    }
}

// Run with --benchmark_enable_random_interleaving=true so both see the same
// cache and disk load (the machine is shared).
BENCHMARK(BM_FilteredCopy)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(6)->UseRealTime();
BENCHMARK(BM_CpArchivePrunedTree)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(6)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
