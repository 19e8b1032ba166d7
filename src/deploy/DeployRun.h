#pragma once

#include "deploy/DeployError.h"
#include "deploy/WorkspaceGitPush.h"
#include "settings/AppSettings.h"
#include "support/GitRunner.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>
#include <variant>

namespace kestrion {

// What a successful deploy tells the user; each field is absent when the panel gave none.
struct DeployResult {
    std::optional<QString> domain;
    std::optional<QString> httpsUrl;
    std::optional<QString> panelUrl;
    std::optional<QString> message;

    friend bool operator==(const DeployResult&, const DeployResult&) = default;
};

// One progress event of a run: the live status line to show. An empty line
// clears it.
struct DeployProgress {
    QString line;
};

// How a status poll ended. serverMessage comes with failed.
struct DeployPollResult {
    enum class Outcome { completed, failed, timeout };
    Outcome outcome = Outcome::completed;
    std::optional<QString> serverMessage;
};

// The value a run hands back: a result or the error that ended it.
class DeployOutcome {
public:
    explicit DeployOutcome(DeployResult result) : m_value(std::move(result)) {}
    explicit DeployOutcome(DeployError error) : m_value(std::move(error)) {}

    bool succeeded() const { return std::holds_alternative<DeployResult>(m_value); }
    // Only when succeeded().
    const DeployResult& result() const { return std::get<DeployResult>(m_value); }
    // Only when !succeeded().
    const DeployError& error() const { return std::get<DeployError>(m_value); }

private:
    std::variant<DeployResult, DeployError> m_value;
};

namespace DeployRun {

// Whether the panel publishes to the site's existing virtual host or creates a new one.
enum class VirtualHost { existing, provisionNew };

using ProgressCallback = std::function<void(const DeployProgress&)>;
using LineCallback = std::function<void(const QString&)>;

// The status poll's pace. The product waits 6 s between polls and gives up
// after 8,100 s; tests shorten both or drive time themselves.
struct DeployTiming {
    std::chrono::milliseconds pollInterval{6000};
    std::chrono::milliseconds pollLimit{8100000};
    // A monotonic clock; steady_clock when not set.
    std::function<std::chrono::milliseconds()> clock;
    // Waits between polls; when not set, a wait that ends at once when the
    // run is cancelled.
    std::function<void(std::chrono::milliseconds)> sleep;
};

// What a run needs besides its arguments.
struct DeployContext {
    // Used when the given base URL is blank.
    QString defaultPanelBaseURL = AppSettings::defaultKestrionPanelBaseURL;
    DeployTiming timing;
    // A stop requested on it, from any thread, ends the run with a cancelled
    // error: a running request or wait ends at once.
    std::stop_token cancellation;
    QStringList gitSearchList = GitRunner::searchList();
    // Whether the site's chat folder is pushed with it (the user's setting).
    WorkspaceGitPush::Chats chats = WorkspaceGitPush::Chats::published;
};

// The folder's last path component trimmed and cut to 80 characters, or
// "macos-app-project" when nothing is left.
QString projectLabel(const QString& projectRoot);

// One live line for a status answer: "State: …", the step label and
// "Step n of m" joined by " · ", or "Checking deploy status…".
QString humanReadableStatusPollLine(const std::optional<QJsonObject>& answer);

// Polls the deploy status until the panel reports completed or failed, or the
// limit passes (timeout). The first request goes out at once. 401 and 422 end
// as failed; other statuses than 200 are asked again after the wait. Throws
// on transport failure, cancellation or an unusable base URL.
DeployPollResult pollUntilTerminal(const QString& baseURL, const QString& token, const QString& workspaceKey,
                                   qint64 virtualHostId, const LineCallback& onLine, const DeployTiming& timing = {},
                                   std::stop_token cancellation = {});

// Publishes the website directory: prepare, git push, finalize and, when the
// panel asks for it, the status poll. Blocks for the whole run (minutes to
// hours): call it on a worker thread of its own, never on the interface
// thread or a shared pool thread. onProgress is called on that thread.
DeployOutcome deploy(const QString& projectRoot, const QString& panelBaseURL, const QString& apiToken, VirtualHost host,
                     const ProgressCallback& onProgress, const DeployContext& context);

} // namespace DeployRun

} // namespace kestrion
