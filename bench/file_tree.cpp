// Scanning a website tree of 8,000 nodes, beside plain recursive listings of
// the same tree, and the cost of handing a new tree to the item model.

#include "workspace/FileTreeScanner.h"
#include "workspace/OutputFolderFileTreeModel.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace kestrion;

constexpr int topFolders = 20;
constexpr int subFolders = 19;     // per top folder
constexpr int filesPerFolder = 20; // in each sub folder

// 20 folders of 19 sub folders with 20 files each: exactly 8,000 nodes. Kept
// in shared memory when available so the benchmark measures the walk, not
// the disk (the equivalent of a warm page cache).
class Tree {
public:
    Tree() : m_dir(base() + QStringLiteral("/kestrion-bench-XXXXXX")) {
        const auto names = [](const char* prefix, int count) {
            std::vector<QString> list;
            for (int i = 0; i < count; ++i) {
                // Mixed case so the name order has real work to do.
                list.push_back(QStringLiteral("%1%2%3")
                                   .arg(QLatin1String(i % 2 ? prefix : "X"))
                                   .arg(QLatin1String(prefix))
                                   .arg((i * 7919) % 1000));
            }
            return list;
        };
        for (const QString& top : names("Top", topFolders)) {
            for (const QString& sub : names("sub", subFolders)) {
                const QString folder = m_dir.path() + QLatin1Char('/') + top + QLatin1Char('/') + sub;
                QDir().mkpath(folder);
                int n = 0;
                for (const QString& file : names("page", filesPerFolder)) {
                    const QString path =
                        folder + QLatin1Char('/') + file + QStringLiteral(".html") + QString::number(n++ % 3 ? 1 : 2);
                    const int fd = ::open(QFile::encodeName(path).constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
                    ::close(fd);
                }
            }
        }
    }

    QString root() const { return m_dir.path(); }

private:
    static QString base() {
        const QFileInfo shm(QStringLiteral("/dev/shm"));
        return shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
    }

    QTemporaryDir m_dir;
};

const Tree& tree() {
    static const Tree instance;
    return instance;
}

void BM_ScanTree(benchmark::State& state) {
    const QString root = tree().root();
    std::size_t top = 0;
    for (auto _ : state) {
        const auto snapshot = FileTreeScanner::scan(root);
        top = snapshot.nodes.size();
        benchmark::DoNotOptimize(snapshot);
    }
    state.counters["topLevel"] = static_cast<double>(top);
}
BENCHMARK(BM_ScanTree)->Unit(benchmark::kMillisecond);

// The plain walk: every entry's name and whether it is a real folder.
void walkPlain(const fs::path& folder, std::vector<std::string>& names) {
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().native());
        if (entry.is_directory() && !entry.is_symlink()) {
            walkPlain(entry.path(), names);
        }
    }
}

void BM_PlainListingStdFilesystem(benchmark::State& state) {
    const fs::path root(QFile::encodeName(tree().root()).toStdString());
    std::size_t count = 0;
    for (auto _ : state) {
        std::vector<std::string> names;
        walkPlain(root, names);
        count = names.size();
        benchmark::DoNotOptimize(names);
    }
    state.counters["entries"] = static_cast<double>(count);
}
BENCHMARK(BM_PlainListingStdFilesystem)->Unit(benchmark::kMillisecond);

void BM_PlainListingQDirIterator(benchmark::State& state) {
    std::size_t count = 0;
    for (auto _ : state) {
        QStringList names;
        QDirIterator it(tree().root(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            names << it.fileName();
        }
        count = static_cast<std::size_t>(names.size());
        benchmark::DoNotOptimize(names);
    }
    state.counters["entries"] = static_cast<double>(count);
}
BENCHMARK(BM_PlainListingQDirIterator)->Unit(benchmark::kMillisecond);

// Replacing the model's whole tree (reset plus the flat index), alternating two
// different scans so that every apply really replaces the rows.
void BM_ModelReplaceTree(benchmark::State& state) {
    const auto first = FileTreeScanner::scan(tree().root());
    auto second = first;
    second.nodes.pop_back();
    OutputFolderFileTreeModel model;
    bool flip = false;
    for (auto _ : state) {
        model.apply(flip ? first : second);
        flip = !flip;
        benchmark::DoNotOptimize(model.rowCount());
    }
}
BENCHMARK(BM_ModelReplaceTree)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
