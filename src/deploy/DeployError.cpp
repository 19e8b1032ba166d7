#include "deploy/DeployError.h"

#include "support/GraphemeText.h"
#include "support/HttpClient.h"

#include <QCoreApplication>
#include <utility>

namespace kestrion {

namespace {

// Panels sometimes answer with a whole HTML error page; the first 500
// characters say what went wrong without flooding the chat.
constexpr qsizetype maximumBodyCharacters = 500;

} // namespace

DeployError::DeployError(Kind kind, QString message, QString endpoint, int code, QString body)
    : m_kind(kind), m_message(std::move(message)), m_endpoint(std::move(endpoint)), m_code(code),
      m_body(std::move(body)), m_what(description().toUtf8()) {}

DeployError DeployError::gitCommandFailed(QString message) {
    return DeployError(Kind::gitCommandFailed, std::move(message));
}

DeployError DeployError::httpError(QString endpoint, int code, QString body) {
    return DeployError(Kind::httpError, {}, std::move(endpoint), code, std::move(body));
}

DeployError DeployError::invalidResponse(QString endpoint) {
    return DeployError(Kind::invalidResponse, {}, std::move(endpoint));
}

DeployError DeployError::missingOutputFolder() {
    return DeployError(Kind::missingOutputFolder);
}

DeployError DeployError::missingGit() {
    return DeployError(Kind::missingGit);
}

DeployError DeployError::invalidBaseURL() {
    return DeployError(Kind::invalidBaseURL);
}

DeployError DeployError::prepareMissingPushUrl() {
    return DeployError(Kind::prepareMissingPushUrl);
}

DeployError DeployError::platform(QString description) {
    return DeployError(Kind::platform, std::move(description));
}

DeployError DeployError::cancelled() {
    return DeployError(Kind::cancelled);
}

DeployError DeployError::answerTooLarge(qint64 maxAnswerBytes) {
    return DeployError(Kind::answerTooLarge, byteCountText(maxAnswerBytes));
}

QString DeployError::description() const {
    switch (m_kind) {
    case Kind::gitCommandFailed:
        return QCoreApplication::translate("kestrion::DeployError", "Git failed: ") + m_message;
    case Kind::httpError:
        return QCoreApplication::translate("kestrion::DeployError", "Kestrion API returned HTTP %1. ").arg(m_code) +
               firstCharacters(m_body.trimmed(), maximumBodyCharacters);
    case Kind::invalidResponse:
        return QCoreApplication::translate("kestrion::DeployError", "Unexpected JSON from ") + m_endpoint +
               QLatin1Char('.');
    case Kind::missingOutputFolder:
        return QCoreApplication::translate("kestrion::DeployError",
                                           "Choose a website directory with your project files before launching.");
    case Kind::missingGit:
        return QCoreApplication::translate(
            "kestrion::DeployError",
            "Git is required for Kestrion deploy (/usr/bin/git not found). Install git with your package manager.");
    case Kind::invalidBaseURL:
        return QCoreApplication::translate("kestrion::DeployError", "Could not build Kestrion API URL.");
    case Kind::prepareMissingPushUrl:
        return QCoreApplication::translate("kestrion::DeployError", "Prepare response missing push_url.");
    case Kind::platform:
        return m_message;
    case Kind::cancelled:
        return QCoreApplication::translate("kestrion::DeployError", "The deploy was cancelled.");
    case Kind::answerTooLarge:
        return QCoreApplication::translate("kestrion::DeployError", "The Kestrion API's answer is larger than %1.")
            .arg(m_message);
    }
    return {};
}

} // namespace kestrion
