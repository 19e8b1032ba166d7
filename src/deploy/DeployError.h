#pragma once

#include <QString>
#include <exception>

namespace kestrion {

// The one error type of the deploy subsystem. Its description() is the exact
// text the launch section shows after "Launch failed: ".
//
// Besides the deploy's own cases it carries failures of the platform
// (transport, file system, JSON decoding) with their own description, and a
// cancellation, so a run can report every way it ends through one type.
// Deploy steps throw it; DeployRun::deploy turns it into a value.
class DeployError final : public std::exception {
public:
    enum class Kind {
        gitCommandFailed,
        httpError,
        invalidResponse,
        missingOutputFolder,
        missingGit,
        invalidBaseURL,
        prepareMissingPushUrl,
        platform,       // a failure of the HTTP transport, the file system or the JSON decoder
        cancelled,      // the run was cancelled by its owner
        answerTooLarge, // a panel answer passed the size cap and was abandoned
    };

    static DeployError gitCommandFailed(QString message);
    static DeployError httpError(QString endpoint, int code, QString body);
    static DeployError invalidResponse(QString endpoint);
    static DeployError missingOutputFolder();
    static DeployError missingGit();
    static DeployError invalidBaseURL();
    static DeployError prepareMissingPushUrl();
    static DeployError platform(QString description);
    static DeployError cancelled();
    static DeployError answerTooLarge(qint64 maxAnswerBytes);

    Kind kind() const { return m_kind; }
    // gitCommandFailed: git's (or the panel's) text; platform: its description;
    // answerTooLarge: the cap as text ("4 MiB").
    const QString& message() const { return m_message; }
    // httpError: "prepare" or "finalize"; invalidResponse: the request path.
    const QString& endpoint() const { return m_endpoint; }
    // httpError only.
    int code() const { return m_code; }
    const QString& body() const { return m_body; }

    // The user-visible message.
    QString description() const;
    const char* what() const noexcept override { return m_what.constData(); }

    friend bool operator==(const DeployError& a, const DeployError& b) {
        return a.m_kind == b.m_kind && a.m_message == b.m_message && a.m_endpoint == b.m_endpoint &&
               a.m_code == b.m_code && a.m_body == b.m_body;
    }

private:
    explicit DeployError(Kind kind, QString message = {}, QString endpoint = {}, int code = 0, QString body = {});

    Kind m_kind;
    QString m_message;
    QString m_endpoint;
    int m_code;
    QString m_body;
    QByteArray m_what;
};

} // namespace kestrion
