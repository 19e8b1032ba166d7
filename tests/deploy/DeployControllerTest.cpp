#include "deploy/DeployController.h"

#include "GitRemoteFixture.h"
#include "deploy/LaunchStateStore.h"
#include "settings/AppSettings.h"
#include "support/Eventually.h"
#include "support/FakePanelServer.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kestrion {
namespace {

using test::ScriptedResponse;

// A panel that takes the push and answers finalize with a finished site, so
// the run ends without polling.
class DeployControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_site = m_dir.filePath(QStringLiteral("Site"));
        test::writeFile(m_site + QStringLiteral("/index.html"), "<h1>hello</h1>");
        const QString remote = m_dir.filePath(QStringLiteral("remote.git"));
        ASSERT_NO_FATAL_FAILURE(test::createBareRepository(remote));
        m_panel.prepareWithPushUrl(remote);
        m_panel.replyToFinalize(ScriptedResponse::json(
            200,
            R"({"https_url":"https://site.example/","state":"completed","poll_status":false,"virtual_host_id":9})"));
        m_settings.setKestrionPanelBaseURL(m_panel.baseUrl());
        m_settings.setKestrionApiToken(QStringLiteral("tok"));
        QObject::connect(&m_controller, &DeployController::progress,
                         [this](const QString& line) { m_events.append(QStringLiteral("progress:") + line); });
        QObject::connect(&m_controller, &DeployController::finished, [this](const DeployReport& report) {
            m_events.append(QStringLiteral("finished"));
            m_reports.push_back(report);
        });
    }

    QTemporaryDir m_dir;
    QString m_site;
    test::FakePanelServer m_panel;
    AppSettings m_settings;
    DeployController m_controller{&m_settings};
    QStringList m_events;
    std::vector<DeployReport> m_reports;
};

TEST_F(DeployControllerTest, oneRunAtATimeReportsWhereItStartedAndRemembersTheAddress) {
    ASSERT_TRUE(m_controller.start(m_site, std::any(42)));
    EXPECT_TRUE(m_controller.isRunning());
    EXPECT_FALSE(m_controller.start(m_site, std::any(7)));

    ASSERT_TRUE(test::becomes([&] { return m_reports.size(); }, size_t(1), 60000));
    EXPECT_FALSE(m_controller.isRunning());
    EXPECT_EQ(m_events, QStringList({QStringLiteral("progress:"), QStringLiteral("finished")}));
    const DeployReport& report = m_reports.front();
    EXPECT_EQ(report.directory, m_site);
    ASSERT_TRUE(report.outcome.succeeded());
    EXPECT_EQ(report.address, QUrl(QStringLiteral("https://site.example/")));
    EXPECT_EQ(std::any_cast<int>(report.origin), 42);
    EXPECT_EQ(LaunchStateStore::load(m_site), QUrl(QStringLiteral("https://site.example/")));
}

TEST_F(DeployControllerTest, aFailedRunRemembersNothingAndAllowsTheNext) {
    const QString missing = m_dir.filePath(QStringLiteral("gone"));
    ASSERT_TRUE(m_controller.start(missing, std::any(1)));
    ASSERT_TRUE(test::becomes([&] { return m_reports.size(); }, size_t(1), 60000));
    const DeployReport& report = m_reports.front();
    ASSERT_FALSE(report.outcome.succeeded());
    EXPECT_EQ(report.outcome.error().kind(), DeployError::Kind::missingOutputFolder);
    EXPECT_EQ(report.address, std::nullopt);
    EXPECT_EQ(std::any_cast<int>(report.origin), 1);
    EXPECT_FALSE(LaunchStateStore::load(missing).has_value());

    EXPECT_TRUE(m_controller.start(m_site));
    ASSERT_TRUE(test::becomes([&] { return m_reports.size(); }, size_t(2), 60000));
    EXPECT_TRUE(m_reports.back().outcome.succeeded());
}

} // namespace
} // namespace kestrion
