// Control over a turn: how fast Stop frees the window while the server is mid-body, how long Undo
// of a 10-file turn takes on a 400-file site, how long the changes of such a turn take to read,
// and what a streamed 200 KiB reply costs next to the same reply unstreamed.
#include "conversation/ChatViewModel.h"
#include "generation/GitCommitSequence.h"
#include "generation/TurnGit.h"
#include "openai/OpenAIService.h"
#include "settings/AppSettings.h"
#include "support/FakeOpenAIServer.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent/QtConcurrentRun>
#include <benchmark/benchmark.h>

using namespace kestrion;
using kestrion::test::FakeOpenAIServer;

namespace {

// From the click on Stop to the window idle again (the request aborted, the send over).
void stopWhileTheServerIsMidBody(benchmark::State& state) {
    FakeOpenAIServer server;
    QTemporaryDir site;
    AppSettings::setMigratedLegacyChatsToProject(true);
    ChatViewModel chat(std::make_shared<const OpenAIService>(server.apiBaseUrl()));
    chat.applyOutputRoot(site.path());
    for (auto _ : state) {
        server.replyWithSlowBody();
        const qsizetype before = server.chatRequests().size();
        chat.setInput(QStringLiteral("Build it"));
        chat.send(QStringLiteral("gpt-4o-mini"), QStringLiteral("sk-test"));
        if (!QTest::qWaitFor([&] { return server.chatRequests().size() > before; }, 10000)) {
            state.SkipWithError("the request never arrived");
            break;
        }
        QTest::qWait(30); // the body is flowing
        QElapsedTimer clock;
        clock.start();
        chat.stop();
        while (chat.isSending()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(stopWhileTheServerIsMidBody)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// A 400-file site with a turn that changed 10 of them.
struct TenFileTurn {
    QTemporaryDir site;
    QString commit;

    TenFileTurn() {
        for (int i = 0; i < 400; ++i) {
            test::writeFile(site.filePath(QStringLiteral("pages/page%1.html").arg(i)),
                            QByteArray("<p>page ") + QByteArray::number(i) + QByteArray(2000, 'x') + "</p>\n");
        }
        ProjectMaterializer::runGitSequence(site.path());
        for (int i = 0; i < 10; ++i) {
            test::writeFile(site.filePath(QStringLiteral("pages/page%1.html").arg(i * 7)),
                            QByteArray("<p>changed ") + QByteArray::number(i) + "</p>\n");
        }
        ProjectMaterializer::runGitSequence(site.path());
        commit = *TurnGit::headCommit(site.path());
    }
};

void undoATenFileTurnOnA400FileSite(benchmark::State& state) {
    TenFileTurn turn;
    for (auto _ : state) {
        // Each round takes back the newest commit: undo, then the undo of the undo.
        const QString head = *TurnGit::headCommit(turn.site.path());
        const TurnGit::RevertOutcome outcome =
            TurnGit::revert(turn.site.path(), head, QStringLiteral("Undo"), TurnGit::EditedFiles::Keep);
        if (outcome.status != TurnGit::RevertOutcome::Status::Done) {
            state.SkipWithError("the undo failed");
            break;
        }
    }
}
BENCHMARK(undoATenFileTurnOnA400FileSite)->Unit(benchmark::kMillisecond)->Iterations(10);

void changesOfATenFileTurn(benchmark::State& state) {
    TenFileTurn turn;
    for (auto _ : state) {
        const TurnGit::Changes changes = TurnGit::changesOf(turn.site.path(), turn.commit);
        benchmark::DoNotOptimize(changes.files.size());
    }
}
BENCHMARK(changesOfATenFileTurn)->Unit(benchmark::kMillisecond)->Iterations(10);

// The whole request for a 200 KiB reply, streamed in 100-byte pieces (range 1) or not (range 0).
void replyOf200KiB(benchmark::State& state) {
    FakeOpenAIServer server;
    const bool streamed = state.range(0) != 0;
    QString reply;
    QStringList pieces;
    while (reply.size() < 200 * 1024) {
        pieces << QStringLiteral(
                      "Some prose of the reply, one piece of it, about a hundred characters long, with words: %1.\n")
                      .arg(pieces.size());
        reply += pieces.last();
    }
    const OpenAIService client(server.apiBaseUrl());
    for (auto _ : state) {
        // Building the fake server's body is not part of the turn.
        state.PauseTiming();
        streamed ? server.replyWithStreamedChat(pieces) : server.replyWithChat(reply);
        state.ResumeTiming();
        ChatRequestOptions options;
        options.stream = streamed;
        qsizetype received = 0;
        options.onText = [&received](const QString& piece) { received += piece.size(); };
        const auto result =
            QtConcurrent::run([&] {
                return client.completeChatBlocking(QStringLiteral("gpt-4o-mini"), QStringLiteral("sk"),
                                                   {{QStringLiteral("user"), QStringLiteral("hi")}}, options);
            }).result();
        if (!result.ok() || result.value().size() != reply.size()) {
            state.SkipWithError("the reply did not arrive whole");
            break;
        }
    }
}
BENCHMARK(replyOf200KiB)->Arg(0)->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace
