// One whole turn against the loopback fake model server answering at once: a reply of ten
// files (about 100 KiB) and one image, on a 400-file site, from Send until the history is
// saved. Next to it, the part no implementation can skip, measured in the same run: writing
// those files and `git add -A && git commit` through the git CLI. Last, the longest stall of
// the interface thread during a send, and on a change of website directory, while the chat
// history is about 10 MiB.

#include "conversation/ChatHistoryPersistence.h"
#include "conversation/ChatViewModel.h"
#include "openai/OpenAIService.h"
#include "support/FakeOpenAIServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <chrono>
#include <memory>

using namespace kestrion;
using kestrion::test::FakeOpenAIServer;

namespace {

constexpr int siteFileCount = 400;
constexpr int replyFileCount = 10;
constexpr qsizetype replyFileBytes = 10 * 1024;
const QString git = QStringLiteral("/usr/bin/git");
const QString imagePath = QStringLiteral("images/hero.png");

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

bool runGit(const QString& root, const QStringList& arguments) {
    QProcess process;
    process.setWorkingDirectory(root);
    process.start(git, QStringList{QStringLiteral("-c"), QStringLiteral("user.name=Bench"), QStringLiteral("-c"),
                                   QStringLiteral("user.email=bench@localhost")} +
                           arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// A site of 400 files (pages, styles, scripts in a few folders), committed once.
void makeSite(const QString& root) {
    for (int i = 0; i < siteFileCount; ++i) {
        const QString folder = QStringLiteral("section%1/").arg(i % 8);
        const QString name = i % 4 == 0   ? QStringLiteral("style%1.css").arg(i)
                             : i % 4 == 1 ? QStringLiteral("script%1.js").arg(i)
                                          : QStringLiteral("page%1.html").arg(i);
        writeFile(root + u'/' + folder + name,
                  QByteArray("<p>content of file ") + QByteArray::number(i) + QByteArray("</p>\n").repeated(40));
    }
    runGit(root, {QStringLiteral("init"), QStringLiteral("-q")});
    runGit(root, {QStringLiteral("add"), QStringLiteral("-A")});
    runGit(root, {QStringLiteral("commit"), QStringLiteral("-q"), QStringLiteral("-m"), QStringLiteral("site")});
}

// The body of reply file i in round n: about 10 KiB of HTML that differs every round.
QByteArray fileBody(int round, int i) {
    const QByteArray head = "<!-- round " + QByteArray::number(round) + " file " + QByteArray::number(i) + " -->\n";
    QByteArray body = head;
    const QByteArray line = "<div class=\"card\"><h2>Fresh bread</h2><p>Baked every morning.</p></div>\n";
    while (body.size() < replyFileBytes) {
        body += line;
    }
    return body;
}

QString pathOf(int i) {
    return QStringLiteral("pages/generated%1.html").arg(i);
}

QString replyText(int round) {
    QString reply = QStringLiteral("Here is the updated site.\n\n");
    for (int i = 0; i < replyFileCount; ++i) {
        reply += QStringLiteral("<<<FILE path=\"%1\">>>\n").arg(pathOf(i)) + QString::fromUtf8(fileBody(round, i)) +
                 QStringLiteral("\n<<<END_FILE>>>\n\n");
    }
    reply += QStringLiteral("<<<IMAGE path=\"%1\" size=\"1024x1024\">>>\nA loaf of bread on a table.\n"
                            "<<<END_IMAGE>>>\n\nEnjoy.")
                 .arg(imagePath);
    return reply;
}

const QByteArray& imageBytes() {
    static const QByteArray bytes = FakeOpenAIServer::samplePng(256, 256);
    return bytes;
}

// About 10 MiB of chats: 20 sessions of 100 messages of about 5 KiB.
ChatHistoryPersistence::FilePayload largeHistory() {
    ChatHistoryPersistence::FilePayload payload;
    const QString body =
        QStringLiteral("<section class=\"hero\">\n  <h1>Caf\u00e9 \u2014 fresh bread</h1>\n  <p>Open daily.</p>\n"
                       "</section>\n")
            .repeated(52);
    for (int s = 0; s < 20; ++s) {
        ChatSession session = ChatSession::makeFresh();
        session.title = QStringLiteral("Site %1").arg(s);
        for (int m = 0; m < 100; ++m) {
            const auto role = m % 2 == 0 ? ChatMessage::Role::User : ChatMessage::Role::Assistant;
            session.messages.append(ChatMessage::make(role, QStringLiteral("Message %1\n").arg(m) + body));
        }
        payload.sessions.append(session);
    }
    payload.activeSessionId = payload.sessions.first().id;
    return payload;
}

FakeOpenAIServer& server() {
    static FakeOpenAIServer instance;
    return instance;
}

// Runs the event loop until stop() quits it, after calling start(), and returns the longest gap
// between two ticks of a 1 ms timer on this thread meanwhile.
template <typename Start>
std::chrono::nanoseconds longestGapWhile(QEventLoop& loop, Start start) {
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - lastTick);
        lastTick = now;
    });
    ticker.start(1);
    clock.start();
    start();
    loop.exec();
    longest = std::max(longest, clock.nsecsElapsed() - lastTick);
    return std::chrono::nanoseconds(longest);
}

// Sends one message and runs the event loop until the reply is in and the history saved;
// returns the longest stall of this thread meanwhile.
std::chrono::nanoseconds sendAndWait(ChatViewModel& model) {
    QEventLoop loop;
    QObject::connect(&model, &ChatViewModel::sendFinished, &loop, &QEventLoop::quit);
    return longestGapWhile(loop, [&] {
        model.setInput(QStringLiteral("Add ten pages and a hero image."));
        model.send(QStringLiteral("gpt-4o-mini"), QStringLiteral("sk-bench"));
    });
}

// The same measure with nothing to do for a while: what the machine's own scheduling costs.
std::chrono::nanoseconds idleFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    return longestGapWhile(loop, [&] { QTimer::singleShot(duration, &loop, &QEventLoop::quit); });
}

// The longest gap over ten idle stretches: the noise floor the stalls above compare with.
std::chrono::nanoseconds idleLongestGap() {
    std::chrono::nanoseconds idle{0};
    for (int i = 0; i < 10; ++i) {
        idle = std::max(idle, idleFor(std::chrono::milliseconds(250)));
    }
    return idle;
}

// Sends one turn per iteration, each with a fresh reply numbered from firstRound
// on, timing it from Send to the history saved; records the longest stall of the
// interface thread seen in any of them.
void timeTurns(benchmark::State& state, const QString& root, int firstRound) {
    server().setDefaultImageReply(imageBytes());
    ChatViewModel model(std::make_shared<const OpenAIService>(server().apiBaseUrl()));
    model.applyOutputRoot(root);
    model.flushSaves();
    int round = firstRound;
    std::chrono::nanoseconds worst{0};
    for (auto _ : state) {
        server().setDefaultChatReply(replyText(++round));
        const auto start = std::chrono::steady_clock::now();
        worst = std::max(worst, sendAndWait(model));
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["longest_stall_ms"] = std::chrono::duration<double, std::milli>(worst).count();
}

void BM_WholeTurn(benchmark::State& state) {
    QTemporaryDir site;
    makeSite(site.path());
    timeTurns(state, site.path(), 0);
    if (!QFile::exists(site.filePath(pathOf(replyFileCount - 1))) || !QFile::exists(site.filePath(imagePath))) {
        state.SkipWithError("the turn wrote no files");
    }
}
BENCHMARK(BM_WholeTurn)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// The floor of a turn: the same files and image written, then added and committed with git.
void BM_UnavoidablePart(benchmark::State& state) {
    QTemporaryDir site;
    makeSite(site.path());
    int round = 0;
    for (auto _ : state) {
        ++round;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < replyFileCount; ++i) {
            writeFile(site.filePath(pathOf(i)), fileBody(round, i));
        }
        writeFile(site.filePath(imagePath), imageBytes() + QByteArray::number(round));
        if (!runGit(site.path(), {QStringLiteral("add"), QStringLiteral("-A")}) ||
            !runGit(site.path(), {QStringLiteral("commit"), QStringLiteral("-q"), QStringLiteral("-m"),
                                  QStringLiteral("Update website files")})) {
            state.SkipWithError("git failed");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}
BENCHMARK(BM_UnavoidablePart)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// The longest the interface thread is kept from its events during a send while the chat
// history is about 10 MiB (the goal is one frame, 16 ms).
void BM_InterfaceStallDuringSend_10MiBHistory(benchmark::State& state) {
    QTemporaryDir site;
    makeSite(site.path());
    if (!ChatHistoryPersistence::save(largeHistory(), site.path()).ok()) {
        state.SkipWithError("cannot store the history");
        return;
    }
    timeTurns(state, site.path(), 1000);
    state.counters["idle_longest_gap_ms"] = std::chrono::duration<double, std::milli>(idleLongestGap()).count();
}
BENCHMARK(BM_InterfaceStallDuringSend_10MiBHistory)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// The longest the interface thread is kept from its events while the chats move from one website
// directory to another, each holding about 10 MiB of history (the goal is one frame, 16 ms). The
// time is from the change until the other folder's chats are shown.
void BM_InterfaceStallOnFolderChange_10MiBHistory(benchmark::State& state) {
    QTemporaryDir first;
    QTemporaryDir second;
    const ChatHistoryPersistence::FilePayload history = largeHistory();
    if (!ChatHistoryPersistence::save(history, first.path()).ok() ||
        !ChatHistoryPersistence::save(history, second.path()).ok()) {
        state.SkipWithError("cannot store the histories");
        return;
    }
    ChatViewModel model(std::make_shared<const OpenAIService>(server().apiBaseUrl()));
    model.applyOutputRoot(first.path());
    model.flushSaves();
    bool toSecond = true;
    std::chrono::nanoseconds worst{0};
    for (auto _ : state) {
        const auto target = ChatViewModel::normalizedOutputDirectory(toSecond ? second.path() : first.path());
        toSecond = !toSecond;
        QEventLoop loop;
        QTimer shown;
        QObject::connect(&shown, &QTimer::timeout, [&] {
            if (model.persistenceOutputRoot() == target && model.sessions().size() == history.sessions.size()) {
                loop.quit();
            }
        });
        const auto start = std::chrono::steady_clock::now();
        worst = std::max(worst, longestGapWhile(loop, [&] {
                             model.applyOutputRoot(target);
                             shown.start(1);
                         }));
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        // The folder left is written before the next round starts.
        model.flushSaves();
    }
    state.counters["longest_stall_ms"] = std::chrono::duration<double, std::milli>(worst).count();
    state.counters["idle_longest_gap_ms"] = std::chrono::duration<double, std::milli>(idleLongestGap()).count();
}
BENCHMARK(BM_InterfaceStallOnFolderChange_10MiBHistory)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
