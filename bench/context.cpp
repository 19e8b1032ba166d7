// The project snapshot of a website of 400 text files (about 200 KiB) that sits
// next to a node_modules folder of 50,000 files, beside a plain recursive walk
// that lists and reads the same 400 files and never enters node_modules. Both
// run on a warm cache. The tree is made once per run under
// KESTRION_BENCH_DIR, else /dev/shm when present (creating 50,000 files on a
// journalling disk takes minutes), else the temporary folder. A last case
// walks one flat folder of 100,000 entries.

#include "context/ProjectContextBuilder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace kestrion;

constexpr int siteFolders = 20;
constexpr int siteFilesPerFolder = 20;   // 400 files
constexpr qsizetype siteFileBytes = 512; // 200 KiB in all
constexpr int modulePackages = 500;
constexpr int moduleFilesPerPackage = 100; // 50,000 files

QString benchParent() {
    const QString configured = qEnvironmentVariable("KESTRION_BENCH_DIR");
    if (!configured.isEmpty()) {
        return configured;
    }
    if (QFileInfo(QStringLiteral("/dev/shm")).isDir()) {
        return QStringLiteral("/dev/shm");
    }
    return QDir::tempPath();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

// Tens of thousands of empty files: straight system calls, as QFile's
// bookkeeping per file would dominate making the tree.
void createEmptyFile(const QByteArray& path) {
    const int descriptor = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        qFatal("cannot create %s", path.constData());
    }
    ::close(descriptor);
}

class Website {
public:
    Website() : m_dir(benchParent() + QStringLiteral("/kestrion-bench-context-XXXXXX")) {
        if (!m_dir.isValid()) {
            qFatal("cannot create the benchmark folder");
        }
        const char* extensions[] = {"html", "css", "js", "json", "svg"};
        for (int folder = 0; folder < siteFolders; ++folder) {
            const QString dir = root() + QStringLiteral("/section%1").arg(folder);
            QDir().mkpath(dir);
            for (int file = 0; file < siteFilesPerFolder; ++file) {
                const char* extension = extensions[file % 5];
                writeFile(dir + QStringLiteral("/file%1.%2").arg(file).arg(QLatin1StringView(extension)),
                          QByteArray(siteFileBytes, char('a' + file % 26)));
            }
        }
        for (int package = 0; package < modulePackages; ++package) {
            const QByteArray dir = QFile::encodeName(root() + QStringLiteral("/node_modules/pkg%1").arg(package));
            QDir().mkpath(QFile::decodeName(dir));
            for (int file = 0; file < moduleFilesPerPackage; ++file) {
                createEmptyFile(dir + "/m" + QByteArray::number(file) + ".js");
            }
        }
    }

    QString root() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// One flat folder of 100,000 empty pages: the walk must list and order them
// all before it can take the first 400.
class CrowdedFolder {
public:
    CrowdedFolder() : m_dir(benchParent() + QStringLiteral("/kestrion-bench-crowded-XXXXXX")) {
        if (!m_dir.isValid()) {
            qFatal("cannot create the benchmark folder");
        }
        const QByteArray root = QFile::encodeName(m_dir.path());
        for (int file = 0; file < crowdedEntries; ++file) {
            createEmptyFile(root + "/page" + QByteArray::number(file) + ".html");
        }
    }

    QString root() const { return m_dir.path(); }

private:
    static constexpr int crowdedEntries = 100'000;
    QTemporaryDir m_dir;
};

Website& website() {
    static Website site;
    return site;
}

// The baseline: list recursively (node_modules pruned) and read every file whole.
qint64 plainWalk(const fs::path& root) {
    qint64 bytes = 0;
    std::error_code error;
    std::vector<char> buffer(64 * 1024);
    for (fs::recursive_directory_iterator it(root, error), end; it != end; it.increment(error)) {
        if (it->is_directory() && it->path().filename() == "node_modules") {
            it.disable_recursion_pending();
            continue;
        }
        if (!it->is_regular_file()) {
            continue;
        }
        const int descriptor = ::open(it->path().c_str(), O_RDONLY | O_CLOEXEC);
        if (descriptor < 0) {
            continue;
        }
        ssize_t count = 0;
        while ((count = ::read(descriptor, buffer.data(), buffer.size())) > 0) {
            bytes += count;
        }
        ::close(descriptor);
    }
    return bytes;
}

void BM_PlainWalkOf400Files(benchmark::State& state) {
    const fs::path root(QFile::encodeName(website().root()).toStdString());
    qint64 bytes = 0;
    for (auto _ : state) {
        bytes = plainWalk(root);
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["bytesRead"] = double(bytes);
}

void BM_BuildSyncBesideNodeModules(benchmark::State& state) {
    const QString root = website().root();
    ProjectContextBuilder::Snapshot snapshot;
    for (auto _ : state) {
        snapshot = ProjectContextBuilder::buildSync(root);
        benchmark::DoNotOptimize(snapshot);
    }
    state.counters["files"] = double(snapshot.files.size());
    state.counters["embedded"] = double(snapshot.embeddedFiles.size());
    state.counters["omitted"] = double(snapshot.omittedForBudget.size());
}

void BM_BuildSyncAndSection(benchmark::State& state) {
    const QString root = website().root();
    qsizetype length = 0;
    for (auto _ : state) {
        const QString section = ProjectContextBuilder::systemPromptSection(ProjectContextBuilder::buildSync(root));
        length = section.size();
        benchmark::DoNotOptimize(length);
    }
    state.counters["sectionChars"] = double(length);
}

void BM_BuildSyncOfFolderWith100000Entries(benchmark::State& state) {
    static CrowdedFolder folder;
    ProjectContextBuilder::Snapshot snapshot;
    for (auto _ : state) {
        snapshot = ProjectContextBuilder::buildSync(folder.root());
        benchmark::DoNotOptimize(snapshot);
    }
    state.counters["files"] = double(snapshot.files.size());
    state.counters["truncated"] = snapshot.listingTruncated ? 1 : 0;
}

} // namespace

BENCHMARK(BM_PlainWalkOf400Files)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildSyncBesideNodeModules)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildSyncAndSection)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildSyncOfFolderWith100000Entries)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
