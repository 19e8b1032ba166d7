#include "deploy/KestrionIdeDeployError.h"

#include "deploy/KestrionMacOSAppDeployAPI.h"
#include "support/HttpClient.h"

#include <utility>

namespace kestrion {

namespace {

// Panels sometimes answer with a whole HTML error page; the first 500
// characters say what went wrong without flooding the chat.
constexpr qsizetype maximumBodyCharacters = 500;

} // namespace

KestrionIdeDeployError::KestrionIdeDeployError(Kind kind, QString message, QString endpoint, int code, QString body)
    : m_kind(kind), m_message(std::move(message)), m_endpoint(std::move(endpoint)), m_code(code),
      m_body(std::move(body)), m_what(description().toUtf8()) {}

KestrionIdeDeployError KestrionIdeDeployError::gitCommandFailed(QString message) {
    return KestrionIdeDeployError(Kind::gitCommandFailed, std::move(message));
}

KestrionIdeDeployError KestrionIdeDeployError::httpError(QString endpoint, int code, QString body) {
    return KestrionIdeDeployError(Kind::httpError, {}, std::move(endpoint), code, std::move(body));
}

KestrionIdeDeployError KestrionIdeDeployError::invalidResponse(QString endpoint) {
    return KestrionIdeDeployError(Kind::invalidResponse, {}, std::move(endpoint));
}

KestrionIdeDeployError KestrionIdeDeployError::missingOutputFolder() {
    return KestrionIdeDeployError(Kind::missingOutputFolder);
}

KestrionIdeDeployError KestrionIdeDeployError::missingGit() {
    return KestrionIdeDeployError(Kind::missingGit);
}

KestrionIdeDeployError KestrionIdeDeployError::invalidBaseURL() {
    return KestrionIdeDeployError(Kind::invalidBaseURL);
}

KestrionIdeDeployError KestrionIdeDeployError::prepareMissingPushUrl() {
    return KestrionIdeDeployError(Kind::prepareMissingPushUrl);
}

KestrionIdeDeployError KestrionIdeDeployError::platform(QString description) {
    return KestrionIdeDeployError(Kind::platform, std::move(description));
}

KestrionIdeDeployError KestrionIdeDeployError::cancelled() {
    return KestrionIdeDeployError(Kind::cancelled);
}

KestrionIdeDeployError KestrionIdeDeployError::answerTooLarge(qint64 maxAnswerBytes) {
    return KestrionIdeDeployError(Kind::answerTooLarge, byteCountText(maxAnswerBytes));
}

QString KestrionIdeDeployError::description() const {
    switch (m_kind) {
    case Kind::gitCommandFailed:
        return QStringLiteral("Git failed: ") + m_message;
    case Kind::httpError:
        return QStringLiteral("Kestrion API returned HTTP %1. ").arg(m_code) +
               KestrionMacOSAppDeployAPI::firstCharacters(m_body.trimmed(), maximumBodyCharacters);
    case Kind::invalidResponse:
        return QStringLiteral("Unexpected JSON from ") + m_endpoint + QLatin1Char('.');
    case Kind::missingOutputFolder:
        return QStringLiteral("Choose a website directory with your project files before launching.");
    case Kind::missingGit:
        return QStringLiteral(
            "Git is required for Kestrion deploy (/usr/bin/git not found). Install git with your package manager.");
    case Kind::invalidBaseURL:
        return QStringLiteral("Could not build Kestrion API URL.");
    case Kind::prepareMissingPushUrl:
        return QStringLiteral("Prepare response missing push_url.");
    case Kind::platform:
        return m_message;
    case Kind::cancelled:
        return QStringLiteral("The deploy was cancelled.");
    case Kind::answerTooLarge:
        return QStringLiteral("The Kestrion API's answer is larger than %1.").arg(m_message);
    }
    return {};
}

} // namespace kestrion
