#include "deploy/DeployRun.h"

#include "GitRemoteFixture.h"
#include "deploy/DeviceIdentity.h"
#include "deploy/PanelApi.h"
#include "deploy/WorkspaceGitPush.h"
#include "support/FakePanelServer.h"
#include "support/ProcessRunner.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <atomic>
#include <functional>
#include <gmock/gmock.h>

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kestrion {
namespace {

using test::FakePanelServer;
using test::RecordedRequest;
using test::ScriptedResponse;
using Kind = DeployError::Kind;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;
using namespace std::chrono_literals;

const QString git = QStringLiteral("/usr/bin/git");
const QString waitingLine = QStringLiteral("Waiting for first status from Kestrion\u2026");

using test::writeFile;

QJsonObject parseObject(const char* json) {
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

QByteArray json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// A fake panel, a website directory and a real bare repository the panel names
// as its git remote. Time between polls is simulated: each wait advances the
// clock by the wait's length without sleeping.
class DeployRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_site = m_dir.filePath(QStringLiteral("My Site"));
        m_remote = m_dir.filePath(QStringLiteral("remote.git"));
        writeFile(m_site + QStringLiteral("/index.html"), "<h1>hello</h1>");
        ASSERT_NO_FATAL_FAILURE(test::createBareRepository(m_remote));
        m_areasBefore = test::workingAreasLeft();
    }
    void TearDown() override { EXPECT_EQ(test::workingAreasLeft(), m_areasBefore) << "a working area was left behind"; }

    DeployRun::DeployContext context() {
        DeployRun::DeployContext context;
        context.defaultPanelBaseURL = QStringLiteral("http://default.invalid");
        context.timing.clock = [this] { return std::chrono::milliseconds(m_now.load()); };
        context.timing.sleep = [this](std::chrono::milliseconds wait) {
            m_waits.push_back(wait);
            m_now += wait.count();
        };
        return context;
    }

    DeployOutcome run(const DeployRun::DeployContext& deployContext, const QString& token = "tok",
                      DeployRun::VirtualHost host = DeployRun::VirtualHost::existing,
                      std::optional<QString> base = std::nullopt, std::optional<QString> site = std::nullopt) {
        m_lines.clear();
        m_waits.clear();
        return DeployRun::deploy(
            site.value_or(m_site), base.value_or(m_panel.baseUrl()), token, host,
            [this](const DeployProgress& update) { m_lines.append(update.line); }, deployContext);
    }
    DeployOutcome run() { return run(context()); }

    void preparePushesToRemote() { m_panel.prepareWithPushUrl(m_remote); }
    void finalizeWith(const QJsonObject& body, int status = 200) {
        m_panel.replyToFinalize(ScriptedResponse::json(status, json(body)));
    }
    QString workspaceKey() const { return DeviceIdentity::workspaceKey(m_site); }
    int remoteCommits(const QString& branch = QStringLiteral("main")) const {
        const ProcessOutcome outcome =
            runProcess(git, {QStringLiteral("rev-list"), QStringLiteral("--count"), branch}, m_remote);
        return outcome.exitCode == 0 ? QString::fromUtf8(outcome.standardOutput).trimmed().toInt() : 0;
    }

    FakePanelServer m_panel;
    QTemporaryDir m_dir;
    QString m_site;
    QString m_remote;
    QStringList m_areasBefore;
    std::atomic<qint64> m_now{1000};
    std::vector<std::chrono::milliseconds> m_waits;
    QStringList m_lines;
};

const QJsonObject liveSite{{QStringLiteral("domain"), QStringLiteral("site.example")},
                           {QStringLiteral("https_url"), QStringLiteral("https://site.example")},
                           {QStringLiteral("panel_url"), QStringLiteral("https://panel.example/vh/42")},
                           {QStringLiteral("message"), QStringLiteral("Deploy queued")}};
const DeployResult liveResult{QStringLiteral("site.example"), QStringLiteral("https://site.example"),
                              QStringLiteral("https://panel.example/vh/42"), QStringLiteral("Deploy queued")};

QJsonObject with(QJsonObject object, const QJsonObject& extra) {
    for (auto it = extra.begin(); it != extra.end(); ++it) {
        object.insert(it.key(), it.value());
    }
    return object;
}

TEST_F(DeployRunTest, fullRunPreparesPushesFinalizesAndPollsUntilCompleted) {
    preparePushesToRemote();
    finalizeWith(with(liveSite, {{QStringLiteral("virtual_host_id"), QStringLiteral("42")}}), 201);
    m_panel.replyToStatus(ScriptedResponse::text(503, "busy"));
    m_panel.replyToStatus(ScriptedResponse::json(
        200, R"({"state":"building","current_step_label":"Copying files","step_number":2,"step_total":5})"));
    m_panel.replyToStatusWithState(QStringLiteral("Completed"));

    const DeployOutcome outcome = run();

    ASSERT_TRUE(outcome.succeeded()) << outcome.error().description().toStdString();
    EXPECT_EQ(outcome.result(), liveResult);
    EXPECT_THAT(m_lines,
                ElementsAre(waitingLine, QStringLiteral("State: building \u00B7 Copying files \u00B7 Step 2 of 5"),
                            QStringLiteral("State: Completed"), QString()));
    EXPECT_THAT(m_waits, ElementsAre(6s, 6s));
    EXPECT_EQ(remoteCommits(), 1);
    EXPECT_THAT(m_panel.requestLog(),
                ElementsAre("POST " + FakePanelServer::preparePath, "POST " + FakePanelServer::finalizePath,
                            "GET " + FakePanelServer::statusPath, "GET " + FakePanelServer::statusPath,
                            "GET " + FakePanelServer::statusPath));

    const RecordedRequest prepare = m_panel.prepareRequests().value(0);
    EXPECT_EQ(prepare.jsonBody(), QJsonObject({{QStringLiteral("workspace_key"), workspaceKey()},
                                               {QStringLiteral("project_name"), QStringLiteral("My Site")},
                                               {QStringLiteral("ide_deploy_client"), QStringLiteral("macos_app")}}));
    const RecordedRequest finalize = m_panel.finalizeRequests().value(0);
    EXPECT_EQ(finalize.jsonBody(), QJsonObject({{QStringLiteral("workspace_key"), workspaceKey()},
                                                {QStringLiteral("ide_deploy_client"), QStringLiteral("macos_app")}}));
    for (const RecordedRequest& request : {prepare, finalize}) {
        EXPECT_EQ(request.header("Authorization"), QByteArray("Bearer tok"));
        EXPECT_EQ(request.header("Accept"), QByteArray("application/json"));
        EXPECT_EQ(request.header("Content-Type"), QByteArray("application/json"));
    }
    for (const RecordedRequest& status : m_panel.statusRequests()) {
        EXPECT_THAT(FakePanelServer::queryItems(status),
                    ElementsAre(Pair(QStringLiteral("virtual_host_id"), QStringLiteral("42")),
                                Pair(QStringLiteral("workspace_key"), workspaceKey())));
        EXPECT_FALSE(status.hasHeader("Content-Type"));
        EXPECT_TRUE(status.body.isEmpty());
        EXPECT_EQ(status.header("Authorization"), QByteArray("Bearer tok"));
    }
}

TEST_F(DeployRunTest, provisionFlagBlankTokenAndBlankBaseURL) {
    m_panel.prepareWithPushUrl(m_remote, QStringLiteral(""));
    finalizeWith(liveSite);
    DeployRun::DeployContext deployContext = context();
    deployContext.defaultPanelBaseURL = m_panel.baseUrl();

    const DeployOutcome outcome =
        run(deployContext, QStringLiteral(" \n\t "), DeployRun::VirtualHost::provisionNew, QStringLiteral(" /// \n"));

    ASSERT_TRUE(outcome.succeeded()) << outcome.error().description().toStdString();
    EXPECT_EQ(remoteCommits(QStringLiteral("main")), 1) << "an empty branch name pushes to main";
    ASSERT_EQ(m_panel.http().requestCount(), 2);
    for (const RecordedRequest& request : m_panel.http().requests()) {
        EXPECT_FALSE(request.hasHeader("Authorization"));
        EXPECT_EQ(request.jsonBody().value(QStringLiteral("provision_new_virtual_host")), QJsonValue(true));
    }
    EXPECT_FALSE(m_panel.finalizeRequests().value(0).jsonBody().contains(QStringLiteral("project_name")));
}

TEST_F(DeployRunTest, prepareAnswersThatEndTheRunBeforeAnyPush) {
    const QByteArray long600(600, 'e');
    const struct {
        const char* name;
        ScriptedResponse reply;
        QString description;
    } cases[] = {
        {"401", ScriptedResponse::text(401, "  Unauthorized\n"),
         QStringLiteral("Kestrion API returned HTTP 401. Unauthorized")},
        {"401 empty", ScriptedResponse::text(401, ""), QStringLiteral("Kestrion API returned HTTP 401. ")},
        {"422 validation", ScriptedResponse::json(422, R"({"message":"","errors":{"name":["is taken"]}})"),
         QStringLiteral("Kestrion API returned HTTP 422. name: is taken")},
        {"422 plain", ScriptedResponse::text(422, "bad input"),
         QStringLiteral("Kestrion API returned HTTP 422. bad input")},
        {"201", ScriptedResponse::json(201, R"({"push_url":"x"})"),
         QStringLiteral(R"(Kestrion API returned HTTP 201. {"push_url":"x"})")},
        {"500 long, blanks first", ScriptedResponse::text(500, "  " + long600),
         QStringLiteral("Kestrion API returned HTTP 500. ") + QString(500, QLatin1Char('e'))},
        {"500 not utf-8", ScriptedResponse::bytes(500, "\xff\xfe", "text/plain"),
         QStringLiteral("Kestrion API returned HTTP 500. ")},
        {"no push_url", ScriptedResponse::json(200, "{}"), QStringLiteral("Prepare response missing push_url.")},
        {"empty push_url", ScriptedResponse::json(200, R"({"push_url":""})"),
         QStringLiteral("Prepare response missing push_url.")},
        {"numeric push_url", ScriptedResponse::json(200, R"({"push_url":5})"),
         QStringLiteral("Prepare response missing push_url.")},
        {"not json", ScriptedResponse::text(200, "<html>"), QStringLiteral("Prepare response missing push_url.")},
        {"array", ScriptedResponse::json(200, R"(["push_url"])"), QStringLiteral("Prepare response missing push_url.")},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        m_panel.http().clearRequests();
        m_panel.replyToPrepare(testCase.reply);

        const DeployOutcome outcome = run();

        ASSERT_FALSE(outcome.succeeded());
        EXPECT_EQ(outcome.error().description(), testCase.description);
        EXPECT_EQ(m_panel.http().requestCount(), 1);
    }
    EXPECT_EQ(remoteCommits(), 0);
}

TEST_F(DeployRunTest, finalizeStatusesAfterThePush) {
    const struct {
        const char* name;
        ScriptedResponse reply;
        QString description;
    } cases[] = {
        {"401", ScriptedResponse::text(401, "token expired"),
         QStringLiteral("Kestrion API returned HTTP 401. token expired")},
        {"422", ScriptedResponse::json(422, R"({"message":"Virtual host limit reached"})"),
         QStringLiteral("Kestrion API returned HTTP 422. Virtual host limit reached")},
        {"422 bad errors", ScriptedResponse::json(422, R"({"errors":{"plan":3}})"),
         QStringLiteral(R"(Kestrion API returned HTTP 422. {"errors":{"plan":3}})")},
        {"500", ScriptedResponse::text(500, "oops"), QStringLiteral("Kestrion API returned HTTP 500. oops")},
        {"202", ScriptedResponse::json(202, "{}"), QStringLiteral("Kestrion API returned HTTP 202. {}")},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        preparePushesToRemote();
        m_panel.replyToFinalize(testCase.reply);

        const DeployOutcome outcome = run();

        ASSERT_FALSE(outcome.succeeded());
        EXPECT_EQ(outcome.error().kind(), Kind::httpError);
        EXPECT_EQ(outcome.error().endpoint(), QStringLiteral("finalize"));
        EXPECT_EQ(outcome.error().description(), testCase.description);
    }
    EXPECT_THAT(m_panel.statusRequests(), IsEmpty());
}

TEST_F(DeployRunTest, finalizeAnswersThatNeedNoPolling) {
    const std::optional<QString> none;
    const struct {
        const char* name;
        QByteArray body;
        std::optional<DeployResult> result; // none: the run fails
        QString failure;
        QStringList lines;
    } cases[] = {
        {"no https_url: decoded whole",
         R"({"domain":"d.example","panel_url":null,"state":"failed"})",
         DeployResult{QStringLiteral("d.example"), none, none, none},
         {},
         {}},
        {"empty https_url: decoded whole",
         R"({"https_url":"","message":"m","virtual_host_id":4})",
         DeployResult{none, QString(""), none, QStringLiteral("m")},
         {},
         {}},
        {"no https_url and not an object",
         R"(["d.example"])",
         std::nullopt,
         QStringLiteral("The finalize answer is not a JSON object."),
         {}},
        {"no https_url and a number field",
         R"({"domain":5})",
         std::nullopt,
         QStringLiteral("The finalize answer's \u201cdomain\u201d is not a string."),
         {}},
        {"already completed",
         json(with(liveSite, {{"poll_status", false}, {"state", "COMPLETED"}, {"virtual_host_id", 9}})),
         liveResult,
         {},
         {QString()}},
        {"already failed with a reason",
         json(with(liveSite, {{"poll_status", false},
                              {"state", "failed"},
                              {"virtual_host_id", 9},
                              {"redeploy", QJsonObject{{"error_message", "  npm build failed \n"}}}})),
         std::nullopt,
         QStringLiteral("Git failed: npm build failed"),
         {}},
        {"already failed without a reason",
         json(with(liveSite,
                   {{"poll_status", false}, {"state", "failed"}, {"redeploy", QJsonObject{{"error_message", " "}}}})),
         std::nullopt,
         QStringLiteral("Git failed: Deploy failed."),
         {}},
        {"no virtual host", json(liveSite), liveResult, {}, {}},
        {"virtual host 0", json(with(liveSite, {{"virtual_host_id", 0}})), liveResult, {}, {}},
        {"negative virtual host", json(with(liveSite, {{"virtual_host_id", -3}})), liveResult, {}, {}},
        {"unreadable virtual host", json(with(liveSite, {{"virtual_host_id", "4x2"}})), liveResult, {}, {}},
        {"overflowing virtual host",
         json(with(liveSite, {{"virtual_host_id", "9223372036854775808"}})),
         liveResult,
         {},
         {}},
        {"poll_status as text is no refusal",
         json(with(liveSite, {{"poll_status", "false"}, {"state", "completed"}})),
         liveResult,
         {},
         {}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        preparePushesToRemote();
        m_panel.replyToFinalize(ScriptedResponse::json(200, testCase.body));

        const DeployOutcome outcome = run();

        if (testCase.result) {
            ASSERT_TRUE(outcome.succeeded()) << outcome.error().description().toStdString();
            EXPECT_EQ(outcome.result(), *testCase.result);
        } else {
            ASSERT_FALSE(outcome.succeeded());
            EXPECT_EQ(outcome.error().description(), testCase.failure);
        }
        EXPECT_EQ(m_lines, testCase.lines);
    }
    EXPECT_THAT(m_panel.statusRequests(), IsEmpty());
}

TEST_F(DeployRunTest, lenientVirtualHostIdsArePolled) {
    const struct {
        QJsonValue id;
        QString polled;
    } cases[] = {{QJsonValue(QStringLiteral("42")), QStringLiteral("42")},
                 {QJsonValue(QStringLiteral("+7")), QStringLiteral("7")},
                 {QJsonValue(42.9), QStringLiteral("42")}};
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.polled.toStdString());
        m_panel.http().clearRequests();
        preparePushesToRemote();
        finalizeWith(with(liveSite, {{QStringLiteral("virtual_host_id"), testCase.id}}));
        m_panel.replyToStatusWithState(QStringLiteral("completed"));

        const DeployOutcome outcome = run();

        ASSERT_TRUE(outcome.succeeded()) << outcome.error().description().toStdString();
        ASSERT_EQ(m_panel.statusRequests().size(), 1);
        EXPECT_EQ(FakePanelServer::queryItems(m_panel.statusRequests().value(0)).value(0).second, testCase.polled);
    }
}

TEST_F(DeployRunTest, pollFailuresEndTheRun) {
    const QByteArray long600(600, 'v');
    const struct {
        const char* name;
        ScriptedResponse reply;
        QString description;
        QStringList lines;
    } cases[] = {
        {"401",
         ScriptedResponse::text(401, "nope"),
         QStringLiteral("Git failed: Status poll failed (401). Check API token."),
         {waitingLine}},
        {"422 validation",
         ScriptedResponse::json(422, R"({"errors":{"workspace_key":["is unknown"]}})"),
         QStringLiteral("Git failed: workspace_key: is unknown"),
         {waitingLine}},
        {"422 long text",
         ScriptedResponse::text(422, " " + long600),
         QStringLiteral("Git failed:  ") + QString(399, QLatin1Char('v')),
         {waitingLine}},
        {"failed with a message",
         ScriptedResponse::json(200, R"({"state":"FAILED","message":"Build broke"})"),
         QStringLiteral("Git failed: Build broke"),
         {waitingLine, QStringLiteral("State: FAILED")}},
        {"failed with an empty message",
         ScriptedResponse::json(200, R"({"state":"failed","message":""})"),
         QStringLiteral("Git failed: "),
         {waitingLine, QStringLiteral("State: failed")}},
        {"failed without a message",
         ScriptedResponse::json(200, R"({"state":"failed","message":7})"),
         QStringLiteral("Git failed: Deploy failed."),
         {waitingLine, QStringLiteral("State: failed")}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        preparePushesToRemote();
        finalizeWith(with(liveSite, {{QStringLiteral("virtual_host_id"), 5}}));
        m_panel.replyToStatus(testCase.reply);

        const DeployOutcome outcome = run();

        ASSERT_FALSE(outcome.succeeded());
        EXPECT_EQ(outcome.error().description(), testCase.description);
        EXPECT_EQ(m_lines, testCase.lines);
        EXPECT_THAT(m_waits, IsEmpty());
    }
}

TEST_F(DeployRunTest, panelThatNeverFinishesTimesOutIntoSuccess) {
    preparePushesToRemote();
    finalizeWith(with(liveSite, {{QStringLiteral("virtual_host_id"), 5}}));
    m_panel.setDefaultStatusReply(ScriptedResponse::json(200, R"({"state":"queued"})"));
    DeployRun::DeployContext deployContext = context();
    deployContext.timing.pollLimit = 30s; // polls at 0, 6, 12, 18 and 24 s; at 30 s the limit has passed

    const DeployOutcome outcome = run(deployContext);

    ASSERT_TRUE(outcome.succeeded()) << outcome.error().description().toStdString();
    EXPECT_EQ(outcome.result(), liveResult);
    EXPECT_EQ(m_panel.statusRequests().size(), 5);
    EXPECT_EQ(m_waits.size(), 5U);
    EXPECT_EQ(m_lines.size(), 7);
    EXPECT_EQ(m_lines.last(), QString());
}

TEST_F(DeployRunTest, transportFailureMidPollEndsTheRun) {
    preparePushesToRemote();
    finalizeWith(with(liveSite, {{QStringLiteral("virtual_host_id"), 5}}));
    m_panel.replyToStatusWithState(QStringLiteral("building"));
    m_panel.replyToStatus(ScriptedResponse::dropped());

    const DeployOutcome outcome = run();

    ASSERT_FALSE(outcome.succeeded());
    EXPECT_EQ(outcome.error().kind(), Kind::platform);
    EXPECT_FALSE(outcome.error().description().isEmpty());
    EXPECT_THAT(m_lines, ElementsAre(waitingLine, QStringLiteral("State: building")));
    EXPECT_EQ(m_panel.statusRequests().size(), 2);
}

TEST_F(DeployRunTest, cancellationEndsTheWaitAndARunningRequest) {
    // Cancelled while waiting between polls: the product's 6 s wait ends at once.
    preparePushesToRemote();
    finalizeWith(with(liveSite, {{QStringLiteral("virtual_host_id"), 5}}));
    m_panel.setDefaultStatusReply(ScriptedResponse::json(200, R"({"state":"building"})"));
    std::stop_source stopWaiting;
    DeployRun::DeployContext waiting;
    waiting.cancellation = stopWaiting.get_token();
    m_lines.clear();
    const DeployOutcome whileWaiting = DeployRun::deploy(
        m_site, m_panel.baseUrl(), QStringLiteral("tok"), DeployRun::VirtualHost::existing,
        [&](const DeployProgress& update) {
            m_lines.append(update.line);
            if (update.line.startsWith(QStringLiteral("State:"))) {
                stopWaiting.request_stop();
            }
        },
        waiting);
    ASSERT_FALSE(whileWaiting.succeeded());
    EXPECT_EQ(whileWaiting.error().kind(), Kind::cancelled);
    EXPECT_EQ(m_panel.statusRequests().size(), 1);

    // Cancelled while a status request hangs: the request is abandoned.
    m_panel.http().clearRequests();
    preparePushesToRemote();
    finalizeWith(with(liveSite, {{QStringLiteral("virtual_host_id"), 5}}));
    // Stopped from the server's thread once the request is in.
    std::stop_source stopRequesting;
    m_panel.http().handle("GET", FakePanelServer::statusPath, [&stopRequesting](const RecordedRequest&) {
        stopRequesting.request_stop();
        return ScriptedResponse::neverAnswers();
    });
    DeployRun::DeployContext requesting = context();
    requesting.cancellation = stopRequesting.get_token();
    const DeployOutcome whileRequesting = run(requesting);
    ASSERT_FALSE(whileRequesting.succeeded());
    EXPECT_EQ(whileRequesting.error().kind(), Kind::cancelled);
}

TEST_F(DeployRunTest, websiteDirectoryProblems) {
    writeFile(m_dir.filePath(QStringLiteral("file.html")), "x");
    for (const QString& site :
         {m_dir.filePath(QStringLiteral("absent")), m_dir.filePath(QStringLiteral("file.html")), QString()}) {
        const DeployOutcome outcome =
            run(context(), QStringLiteral("tok"), DeployRun::VirtualHost::existing, std::nullopt, site);
        ASSERT_FALSE(outcome.succeeded());
        EXPECT_EQ(outcome.error().kind(), Kind::missingOutputFolder) << site.toStdString();
    }
    EXPECT_EQ(m_panel.http().requestCount(), 0);

    // Only node_modules and .git: prepared, but nothing is pushed or finalized.
    const QString ignoredOnly = m_dir.filePath(QStringLiteral("ignored-only"));
    writeFile(ignoredOnly + QStringLiteral("/node_modules/a/index.js"), "a");
    writeFile(ignoredOnly + QStringLiteral("/.git/HEAD"), "ref");
    preparePushesToRemote();
    const DeployOutcome outcome =
        run(context(), QStringLiteral("tok"), DeployRun::VirtualHost::existing, std::nullopt, ignoredOnly);
    ASSERT_FALSE(outcome.succeeded());
    EXPECT_EQ(outcome.error().description(),
              QStringLiteral("Git failed: No files to deploy after excluding node_modules and .git."));
    EXPECT_THAT(m_panel.finalizeRequests(), IsEmpty());
    EXPECT_EQ(remoteCommits(), 0);
}

TEST_F(DeployRunTest, setupFailuresBeforeAnyRequest) {
    DeployRun::DeployContext noGit = context();
    noGit.gitSearchList = {m_dir.filePath(QStringLiteral("bin/git"))};
    EXPECT_EQ(run(noGit).error().description(),
              QStringLiteral("Git is required for Kestrion deploy (/usr/bin/git not found). Install git with your "
                             "package manager."));

    EXPECT_EQ(run(context(), QStringLiteral("tok"), DeployRun::VirtualHost::existing, QStringLiteral("panel.example"))
                  .error()
                  .kind(),
              Kind::invalidBaseURL);
    EXPECT_EQ(m_panel.http().requestCount(), 0);
}

TEST_F(DeployRunTest, wrongRemoteFailsWithGitsTextAndSkipsFinalize) {
    m_panel.prepareWithPushUrl(m_dir.filePath(QStringLiteral("missing.git")));

    const DeployOutcome outcome = run();

    ASSERT_FALSE(outcome.succeeded());
    EXPECT_EQ(outcome.error().kind(), Kind::gitCommandFailed);
    EXPECT_TRUE(outcome.error().description().startsWith(QStringLiteral("Git failed: ")))
        << outcome.error().description().toStdString();
    EXPECT_TRUE(outcome.error().message().contains(QStringLiteral("missing.git")));
    EXPECT_THAT(m_panel.finalizeRequests(), IsEmpty());
}

TEST_F(DeployRunTest, panelAnswersPastTheCapEndTheRunWithAPlainMessage) {
    // An endless answer is stopped by counting, one announcing a huge
    // Content-Length (and then trickling) by the header check alone.
    const struct {
        const char* name;
        std::function<void()> script;
        int finalizeRequests;
    } rows[] = {
        {"endless prepare answer", [this] { m_panel.replyToPrepare(ScriptedResponse::endless()); }, 0},
        {"prepare answer announcing 1 TiB", [this] { m_panel.replyToPrepare(ScriptedResponse::announcingLength()); },
         0},
        {"status answer announcing 4 MiB + 1",
         [this] {
             preparePushesToRemote();
             finalizeWith(with(liveSite, {{QStringLiteral("virtual_host_id"), 5}}));
             m_panel.replyToStatus(ScriptedResponse::announcingLength((4 << 20) + 1));
         },
         1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        m_panel.http().clearRequests();
        row.script();

        const DeployOutcome outcome = run();

        ASSERT_FALSE(outcome.succeeded());
        EXPECT_EQ(outcome.error().description(), QStringLiteral("The Kestrion API's answer is larger than 4 MiB."));
        EXPECT_EQ(m_panel.finalizeRequests().size(), row.finalizeRequests);
        const test::StreamReport stream = m_panel.http().waitForStreamEnd();
        EXPECT_EQ(stream.end, test::StreamReport::End::clientClosed);
        EXPECT_LT(stream.bytesSent, ScriptedResponse::defaultStreamBytes);
    }
}

TEST_F(DeployRunTest, transportFailureAtPrepareIsReportedWithItsOwnText) {
    const QString unreachable = QStringLiteral("http://127.0.0.1:1");

    const DeployOutcome outcome = run(context(), QStringLiteral("tok"), DeployRun::VirtualHost::existing, unreachable);

    ASSERT_FALSE(outcome.succeeded());
    EXPECT_EQ(outcome.error().kind(), Kind::platform);
    EXPECT_FALSE(outcome.error().description().isEmpty());
}

TEST(StatusPollLineTest, wordsEachAnswer) {
    const struct {
        std::optional<const char*> json;
        QString expected;
    } cases[] = {
        {std::nullopt, QStringLiteral("Checking deploy status\u2026")},
        {R"({"state":"building","current_step_label":"Copying files","step_number":2,"step_total":5})",
         QStringLiteral("State: building \u00B7 Copying files \u00B7 Step 2 of 5")},
        {R"({})", QStringLiteral("State: ?")},
        {R"({"state":"  "})", QStringLiteral("Checking deploy status\u2026")},
        {R"({"state":" Queued\n"})", QStringLiteral("State: Queued")},
        {R"({"state":7,"current_step_label":" Install "})", QStringLiteral("State: ? \u00B7 Install")},
        {R"({"state":"","step_number":"3","step_total":"4"})", QStringLiteral("Step 3 of 4")},
        {R"({"state":"","step_number":3,"step_total":0})", QStringLiteral("Checking deploy status\u2026")},
        {R"({"state":"","step_number":3})", QStringLiteral("Checking deploy status\u2026")},
        {R"({"state":"","step_number":"x","step_total":4})", QStringLiteral("Checking deploy status\u2026")},
        {R"({"state":"","current_step_label":5,"step_number":1.7,"step_total":2.2})", QStringLiteral("Step 1 of 2")},
    };
    for (const auto& testCase : cases) {
        const std::optional<QJsonObject> answer =
            testCase.json ? std::optional<QJsonObject>(parseObject(*testCase.json)) : std::nullopt;
        EXPECT_EQ(DeployRun::humanReadableStatusPollLine(answer), testCase.expected) << testCase.json.value_or("none");
    }
}

TEST(ProjectLabelTest, lastComponentTrimmedAndCut) {
    EXPECT_EQ(DeployRun::projectLabel(QStringLiteral("/home/u/My Site")), QStringLiteral("My Site"));
    EXPECT_EQ(DeployRun::projectLabel(QStringLiteral("/home/u/My Site/")), QStringLiteral("My Site"));
    EXPECT_EQ(DeployRun::projectLabel(QStringLiteral("/home/u/  padded  ")), QStringLiteral("padded"));
    EXPECT_EQ(DeployRun::projectLabel(QStringLiteral("/home/u/") + QString(90, QLatin1Char('n'))),
              QString(80, QLatin1Char('n')));
    EXPECT_EQ(DeployRun::projectLabel(QStringLiteral("/")), QStringLiteral("macos-app-project"));
    EXPECT_EQ(DeployRun::projectLabel(QStringLiteral("/home/u/   ")), QStringLiteral("macos-app-project"));
}

} // namespace
} // namespace kestrion
