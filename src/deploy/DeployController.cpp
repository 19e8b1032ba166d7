#include "deploy/DeployController.h"

#include "deploy/LaunchStateStore.h"
#include "settings/AppSettings.h"
#include "support/ExternalLinks.h"
#include "support/Logging.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace kestrion {

namespace {

// An http or https address such as https://example.com/; anything else the
// panel answers is not remembered, since "Open" hands it to the desktop.
std::optional<QUrl> parsedAddress(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    if (!ExternalLinks::isWebAddress(url)) {
        return std::nullopt;
    }
    return url;
}

} // namespace

DeployController::DeployController(AppSettings* settings, QObject* parent)
    : QObject(parent), m_settings(settings), m_pool(new QThreadPool(this)) {
    // One run at a time, on a thread of its own: a run waits minutes on git and
    // the panel and must not hold the shared pool's few threads.
    m_pool->setMaxThreadCount(1);
}

DeployController::~DeployController() {
    m_stop.request_stop();
    m_pool->waitForDone();
}

bool DeployController::start(const QString& directory, std::any origin) {
    if (m_running) {
        return false;
    }
    m_running = true;
    const QString baseURL = m_settings->resolvedKestrionPanelBaseURL();
    const QString token = m_settings->kestrionApiToken();
    DeployRun::DeployContext context = m_context;
    context.chats =
        m_settings->deployIncludeChats() ? WorkspaceGitPush::Chats::published : WorkspaceGitPush::Chats::leftOut;
    // Each run has its own stop source: a stop ends the run's request or wait at once.
    m_stop = std::stop_source();
    context.cancellation = m_stop.get_token();
    // The controller outlives the run (its destructor waits for it), so the
    // worker may post to it; posted calls reach it in the order sent.
    m_run = QtConcurrent::run(m_pool, [this, directory, origin = std::move(origin), baseURL, token, context] {
        const auto onProgress = [this](const DeployProgress& update) {
            QMetaObject::invokeMethod(
                this, [this, line = update.line] { Q_EMIT progress(line); }, Qt::QueuedConnection);
        };
        DeployReport report{
            directory,
            DeployRun::deploy(directory, baseURL, token, DeployRun::VirtualHost::existing, onProgress, context),
            std::nullopt, origin};
        if (report.outcome.succeeded()) {
            report.address = parsedAddress(report.outcome.result().httpsUrl.value_or(QString()));
        }
        if (report.address) {
            // The address is still reported for this run; only the next start will not know it.
            if (const WriteResult saved = LaunchStateStore::save(*report.address, directory); !saved.ok()) {
                qCWarning(lcDeploy) << "The launch address could not be remembered:" << saved.error;
            }
        }
        QMetaObject::invokeMethod(
            this, [this, report = std::move(report)]() mutable { deliver(std::move(report)); }, Qt::QueuedConnection);
    });
    return true;
}

void DeployController::deliver(DeployReport report) {
    m_running = false;
    Q_EMIT finished(report);
}

} // namespace kestrion
