#pragma once

#include "deploy/DeployRun.h"

#include <QFuture>
#include <QObject>
#include <QString>
#include <QUrl>
#include <any>
#include <optional>
#include <stop_token>

class QThreadPool;

namespace kestrion {

class AppSettings;

// How a run ended, handed back on the interface thread.
struct DeployReport {
    // The website directory the run published (the one bound when it started).
    QString directory;
    DeployOutcome outcome;
    // The site's web address from a successful run, when the panel gave an http
    // or https one; it has already been remembered for directory.
    std::optional<QUrl> address;
    // Whatever the starter handed to start(), untouched: the run's report goes
    // where the run began even if the user has moved on meanwhile.
    std::any origin;
};

// Owns the deploy of the website directory: one run at a time, started with
// the settings of that moment, its live lines and its report delivered on the
// interface thread in the order the run produced them. The run blocks for
// minutes (git, status polls), so it has a thread of its own.
class DeployController final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeployController)

public:
    explicit DeployController(AppSettings* settings, QObject* parent = nullptr);
    // Cancels a run still going and waits for it to stop; its report is dropped.
    ~DeployController() override;

    // Timing, git and default panel of the runs (tests shorten the waits).
    // The controller cancels its runs itself, when it goes.
    void setContext(DeployRun::DeployContext context) { m_context = std::move(context); }

    bool isRunning() const { return m_running; }

    // Starts publishing directory to the configured panel, to its existing
    // virtual host, with the chat folder as the settings say. False, and no
    // run, while another run is going.
    bool start(const QString& directory, std::any origin = {});

Q_SIGNALS:
    // The run's live status line; an empty line clears it.
    void progress(const QString& line);
    void finished(const kestrion::DeployReport& report);

private:
    void deliver(DeployReport report);

    AppSettings* m_settings;
    DeployRun::DeployContext m_context;
    QThreadPool* m_pool;
    QFuture<void> m_run;
    // The current run's stop source.
    std::stop_source m_stop;
    bool m_running = false;
};

} // namespace kestrion
