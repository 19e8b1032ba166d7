#include "deploy/DeployRun.h"

#include "deploy/DeviceIdentity.h"
#include "deploy/PanelApi.h"
#include "support/GraphemeText.h"
#include "support/JsonValues.h"
#include "support/Logging.h"
#include "support/TextDecoding.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QUrlQuery>
#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace kestrion::DeployRun {

namespace {

const QString fallbackProjectLabel = QStringLiteral("macos-app-project");
constexpr qsizetype projectLabelCharacters = 80;
constexpr qsizetype statusValidationCharacters = 400;
const QString pollSeparator = QStringLiteral(" \u00B7 ");
QString checkingStatusLine() {
    return QCoreApplication::translate("kestrion::DeployRun", "Checking deploy status\u2026");
}
QString waitingForFirstStatusLine() {
    return QCoreApplication::translate("kestrion::DeployRun", "Waiting for first status from Kestrion\u2026");
}
QString deployFailedMessage() {
    return QCoreApplication::translate("kestrion::DeployRun", "Deploy failed.");
}

const QString prepareEndpoint = QStringLiteral("prepare");
const QString finalizeEndpoint = QStringLiteral("finalize");

void throwIfCancelled(const std::stop_token& cancellation) {
    if (cancellation.stop_requested()) {
        throw DeployError::cancelled();
    }
}

std::chrono::milliseconds now(const DeployTiming& timing) {
    if (timing.clock) {
        return timing.clock();
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

void waitBeforeNextPoll(const DeployTiming& timing, const std::stop_token& cancellation) {
    if (timing.sleep) {
        timing.sleep(timing.pollInterval);
    } else {
        // Nothing notifies the variable: the wait ends at the deadline or when a stop is requested.
        std::mutex mutex;
        std::condition_variable_any wake;
        std::unique_lock lock(mutex);
        wake.wait_for(lock, cancellation, timing.pollInterval, [] { return false; });
    }
    throwIfCancelled(cancellation);
}

QString lowercasedState(const std::optional<QJsonObject>& answer) {
    if (!answer) {
        return {};
    }
    return PanelApi::stringField(*answer, QStringLiteral("state")).value_or(QString()).toLower();
}

// The validation text of a 422: the panel's structured message, else the raw body.
QString validationText(const std::optional<QJsonObject>& answer, const QString& bodyText) {
    const std::optional<QString> message = PanelApi::messageFromJsonObject(answer);
    if (message && !message->isEmpty()) {
        return *message;
    }
    return bodyText;
}

QJsonObject deployBody(const QString& workspaceKey, const std::optional<QString>& projectName, VirtualHost host) {
    QJsonObject body{{QStringLiteral("workspace_key"), workspaceKey},
                     {QStringLiteral("ide_deploy_client"), PanelApi::clientId}};
    if (projectName) {
        body.insert(QStringLiteral("project_name"), *projectName);
    }
    if (host == VirtualHost::provisionNew) {
        body.insert(QStringLiteral("provision_new_virtual_host"), true);
    }
    return body;
}

DeployResult resultFromFields(const std::optional<QJsonObject>& answer) {
    if (!answer) {
        return {};
    }
    return DeployResult{PanelApi::stringField(*answer, QStringLiteral("domain")),
                        PanelApi::stringField(*answer, QStringLiteral("https_url")),
                        PanelApi::stringField(*answer, QStringLiteral("panel_url")),
                        PanelApi::stringField(*answer, QStringLiteral("message"))};
}

// The strict reading of a finalize answer that names no public address: it must
// be a JSON object whose four fields are strings or null when present.
DeployResult decodeDeployResult(const QByteArray& body) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        throw DeployError::platform(
            QCoreApplication::translate("kestrion::DeployRun", "The finalize answer could not be read as JSON: %1.")
                .arg(parseError.errorString()));
    }
    if (!document.isObject()) {
        throw DeployError::platform(
            QCoreApplication::translate("kestrion::DeployRun", "The finalize answer is not a JSON object."));
    }
    const QJsonObject object = document.object();
    const auto field = [&object](const QString& key) -> std::optional<QString> {
        const QJsonValue value = object.value(key);
        if (value.isUndefined() || value.isNull()) {
            return std::nullopt;
        }
        if (!value.isString()) {
            throw DeployError::platform(
                QCoreApplication::translate("kestrion::DeployRun",
                                            "The finalize answer's \u201c%1\u201d is not a string.")
                    .arg(key));
        }
        return value.toString();
    };
    DeployResult result;
    result.domain = field(QStringLiteral("domain"));
    result.httpsUrl = field(QStringLiteral("https_url"));
    result.panelUrl = field(QStringLiteral("panel_url"));
    result.message = field(QStringLiteral("message"));
    return result;
}

struct Answer {
    int statusCode = 0;
    QByteArray body;
    QString text;
    std::optional<QJsonObject> object;
};

Answer send(const HttpRequest& request, const std::stop_token& cancellation) {
    const PanelApi::DataResponse response = PanelApi::performDataRequest(request, cancellation);
    return Answer{response.statusCode, response.body, decodeUtf8OrEmpty(response.body), parseJsonObject(response.body)};
}

// 401 and 422 read the same for prepare and finalize.
void throwForRejection(const QString& endpoint, const Answer& answer) {
    if (answer.statusCode == 401) {
        throw DeployError::httpError(endpoint, 401, answer.text);
    }
    if (answer.statusCode == 422) {
        throw DeployError::httpError(endpoint, 422, validationText(answer.object, answer.text));
    }
}

void report(const ProgressCallback& onProgress, const QString& line) {
    if (onProgress) {
        onProgress(DeployProgress{line});
    }
}

DeployResult runDeploy(const QString& projectRoot, const QString& panelBaseURL, const QString& apiToken,
                       VirtualHost host, const ProgressCallback& onProgress, const DeployContext& context) {
    if (!QFileInfo(projectRoot).isDir()) {
        throw DeployError::missingOutputFolder();
    }
    const std::optional<QString> git = GitRunner::findGit(context.gitSearchList);
    if (!git) {
        throw DeployError::missingGit();
    }

    QString baseURL = panelBaseURL.trimmed();
    while (baseURL.startsWith(QLatin1Char('/'))) {
        baseURL.remove(0, 1);
    }
    while (baseURL.endsWith(QLatin1Char('/'))) {
        baseURL.chop(1);
    }
    if (baseURL.isEmpty()) {
        baseURL = context.defaultPanelBaseURL;
    }

    const QString workspaceKey = DeviceIdentity::workspaceKey(projectRoot);
    const QString label = projectLabel(projectRoot);

    // Prepare: the panel names the git remote and branch to push to.
    const Answer prepared = send(PanelApi::jsonRequest(PanelApi::apiURL(baseURL, PanelApi::preparePath), "POST",
                                                       apiToken, deployBody(workspaceKey, label, host)),
                                 context.cancellation);
    throwForRejection(prepareEndpoint, prepared);
    if (prepared.statusCode != 200) {
        throw DeployError::httpError(prepareEndpoint, prepared.statusCode, prepared.text);
    }
    const QJsonObject prepareFields = prepared.object.value_or(QJsonObject());
    const QString pushURL = PanelApi::stringField(prepareFields, QStringLiteral("push_url")).value_or(QString());
    if (pushURL.isEmpty()) {
        throw DeployError::prepareMissingPushUrl();
    }
    QString branch = PanelApi::stringField(prepareFields, QStringLiteral("branch")).value_or(QString());
    if (branch.isEmpty()) {
        branch = QStringLiteral("main");
    }

    // git cannot be interrupted midway; at least do not start it for a cancelled run.
    throwIfCancelled(context.cancellation);
    WorkspaceGitPush::gitPushWorkspaceToRemote(*git, projectRoot, pushURL, branch, context.chats);

    const Answer finalized = send(PanelApi::jsonRequest(PanelApi::apiURL(baseURL, PanelApi::finalizePath), "POST",
                                                        apiToken, deployBody(workspaceKey, std::nullopt, host)),
                                  context.cancellation);
    throwForRejection(finalizeEndpoint, finalized);
    if (finalized.statusCode != 200 && finalized.statusCode != 201) {
        throw DeployError::httpError(finalizeEndpoint, finalized.statusCode, finalized.text);
    }

    const DeployResult fields = resultFromFields(finalized.object);
    if (!fields.httpsUrl || fields.httpsUrl->isEmpty()) {
        return decodeDeployResult(finalized.body);
    }

    const QJsonObject finalizeFields = *finalized.object; // https_url was read from it
    const QString state = lowercasedState(finalized.object);
    const QJsonValue pollStatus = finalizeFields.value(QStringLiteral("poll_status"));
    const bool pollingDeclined = pollStatus.isBool() && !pollStatus.toBool();
    const qint64 virtualHostId =
        PanelApi::lenientInteger(finalizeFields.value(QStringLiteral("virtual_host_id"))).value_or(0);

    if (pollingDeclined && (state == QStringLiteral("failed") || state == QStringLiteral("completed"))) {
        if (state == QStringLiteral("completed")) {
            report(onProgress, QString());
            return fields;
        }
        const QJsonValue redeploy = finalizeFields.value(QStringLiteral("redeploy"));
        const QString errorMessage = redeploy.isObject()
                                         ? PanelApi::stringField(redeploy.toObject(), QStringLiteral("error_message"))
                                               .value_or(QString())
                                               .trimmed()
                                         : QString();
        // A finished, failed redeploy without a reason is still a failure: it
        // reads like a status poll that failed without a message, so the user
        // sees the same "Git failed: Deploy failed." either way.
        throw DeployError::gitCommandFailed(errorMessage.isEmpty() ? deployFailedMessage() : errorMessage);
    }

    if (virtualHostId >= 1) {
        report(onProgress, waitingForFirstStatusLine());
        const DeployPollResult polled = pollUntilTerminal(
            baseURL, apiToken, workspaceKey, virtualHostId,
            [&onProgress](const QString& line) { report(onProgress, line); }, context.timing, context.cancellation);
        if (polled.outcome == DeployPollResult::Outcome::failed) {
            throw DeployError::gitCommandFailed(polled.serverMessage.value_or(deployFailedMessage()));
        }
        // A timeout counts as success: the panel keeps deploying on its own.
        report(onProgress, QString());
        return fields;
    }
    return fields;
}

} // namespace

QString projectLabel(const QString& projectRoot) {
    const QString name = QFileInfo(QDir::cleanPath(projectRoot)).fileName().trimmed();
    const QString label = firstCharacters(name, projectLabelCharacters);
    return label.isEmpty() ? fallbackProjectLabel : label;
}

QString humanReadableStatusPollLine(const std::optional<QJsonObject>& answer) {
    if (!answer) {
        return checkingStatusLine();
    }
    const QString state =
        PanelApi::stringField(*answer, QStringLiteral("state")).value_or(QStringLiteral("?")).trimmed();
    const QString label =
        PanelApi::stringField(*answer, QStringLiteral("current_step_label")).value_or(QString()).trimmed();
    const std::optional<qint64> number = PanelApi::lenientInteger(answer->value(QStringLiteral("step_number")));
    const std::optional<qint64> total = PanelApi::lenientInteger(answer->value(QStringLiteral("step_total")));

    QStringList parts;
    if (!state.isEmpty()) {
        parts.append(QCoreApplication::translate("kestrion::DeployRun", "State: ") + state);
    }
    if (!label.isEmpty()) {
        parts.append(label);
    }
    if (number && total && *total >= 1) {
        parts.append(QCoreApplication::translate("kestrion::DeployRun", "Step %1 of %2").arg(*number).arg(*total));
    }
    return parts.isEmpty() ? checkingStatusLine() : parts.join(pollSeparator);
}

DeployPollResult pollUntilTerminal(const QString& baseURL, const QString& token, const QString& workspaceKey,
                                   qint64 virtualHostId, const LineCallback& onLine, const DeployTiming& timing,
                                   std::stop_token cancellation) {
    QUrl url = PanelApi::apiURL(baseURL, PanelApi::statusPath);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("virtual_host_id"), QString::number(virtualHostId));
    query.addQueryItem(QStringLiteral("workspace_key"), workspaceKey);
    url.setQuery(query);
    const HttpRequest request = PanelApi::jsonRequest(url, "GET", token);

    const std::chrono::milliseconds start = now(timing);
    while (true) {
        if (now(timing) - start >= timing.pollLimit) {
            return {DeployPollResult::Outcome::timeout, std::nullopt};
        }
        const Answer answer = send(request, cancellation);
        if (answer.statusCode == 401) {
            return {DeployPollResult::Outcome::failed,
                    QCoreApplication::translate("kestrion::DeployRun", "Status poll failed (401). Check API token.")};
        }
        if (answer.statusCode == 422) {
            const std::optional<QString> message = PanelApi::messageFromJsonObject(answer.object);
            return {DeployPollResult::Outcome::failed, message && !message->isEmpty()
                                                           ? *message
                                                           : firstCharacters(answer.text, statusValidationCharacters)};
        }
        if (answer.statusCode == 200) {
            if (onLine) {
                onLine(humanReadableStatusPollLine(answer.object));
            }
            const QString state = lowercasedState(answer.object);
            if (state == QStringLiteral("failed")) {
                const std::optional<QString> message =
                    answer.object ? PanelApi::stringField(*answer.object, QStringLiteral("message")) : std::nullopt;
                return {DeployPollResult::Outcome::failed, message.value_or(deployFailedMessage())};
            }
            if (state == QStringLiteral("completed")) {
                return {DeployPollResult::Outcome::completed, std::nullopt};
            }
        }
        waitBeforeNextPoll(timing, cancellation);
    }
}

namespace {

// Endpoint and status are what a bug report needs. A panel's answer body or
// git's text is never logged: either may quote the push address, which can
// carry credentials.
void logFailure(const DeployError& error) {
    using Kind = DeployError::Kind;
    switch (error.kind()) {
    case Kind::cancelled:
        qCInfo(lcDeploy) << "Deploy cancelled";
        return;
    case Kind::httpError:
        qCWarning(lcDeploy) << "Deploy failed: the panel answered" << error.endpoint() << "with status" << error.code();
        return;
    case Kind::invalidResponse:
        qCWarning(lcDeploy) << "Deploy failed: unreadable panel answer from" << error.endpoint();
        return;
    case Kind::gitCommandFailed:
        qCWarning(lcDeploy) << "Deploy failed: a git step or the panel's deployment failed";
        return;
    case Kind::missingOutputFolder:
        qCWarning(lcDeploy) << "Deploy failed: the website folder is missing";
        return;
    case Kind::missingGit:
        qCWarning(lcDeploy) << "Deploy failed: git was not found";
        return;
    case Kind::invalidBaseURL:
        qCWarning(lcDeploy) << "Deploy failed: invalid panel address";
        return;
    case Kind::prepareMissingPushUrl:
        qCWarning(lcDeploy) << "Deploy failed: the prepare answer named no push address";
        return;
    case Kind::platform:
        // Qt's transport text names the panel's address, never the token
        // (which travels in a header); git's push goes through gitCommandFailed.
        qCWarning(lcDeploy) << "Deploy failed:" << error.message();
        return;
    case Kind::answerTooLarge:
        qCWarning(lcDeploy) << "Deploy failed: a panel answer passed" << error.message();
        return;
    }
}

} // namespace

DeployOutcome deploy(const QString& projectRoot, const QString& panelBaseURL, const QString& apiToken, VirtualHost host,
                     const ProgressCallback& onProgress, const DeployContext& context) {
    try {
        return DeployOutcome(runDeploy(projectRoot, panelBaseURL, apiToken, host, onProgress, context));
    } catch (const DeployError& error) {
        logFailure(error);
        return DeployOutcome(error);
    }
}

} // namespace kestrion::DeployRun
