#pragma once

#include "support/HttpTestServer.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <utility>

namespace kestrion::test {

// A stand-in for the hosting panel's deploy API on 127.0.0.1, built on
// HttpTestServer. Point the deploy run at baseUrl().
//
// Each endpoint answers with its queued replies in order, then with its
// default reply, else 404. Every request is recorded.
class FakePanelServer {
public:
    static inline const QString preparePath = QStringLiteral("/api/v1/macos-app/deploy/prepare");
    static inline const QString finalizePath = QStringLiteral("/api/v1/macos-app/deploy/finalize");
    static inline const QString statusPath = QStringLiteral("/api/v1/macos-app/deploy/status");

    FakePanelServer() = default;

    // "http://127.0.0.1:<port>"
    QString baseUrl() const { return m_server.baseUrl(); }
    HttpTestServer& http() { return m_server; }

    void replyToPrepare(ScriptedResponse response);
    void replyToFinalize(ScriptedResponse response);
    void replyToStatus(ScriptedResponse response);
    void setDefaultStatusReply(ScriptedResponse response);

    // A 200 prepare answer naming the git remote (and the branch, when given).
    void prepareWithPushUrl(const QString& pushUrl, const std::optional<QString>& branch = std::nullopt);
    // A status answer of 200 with this state (and the other fields, when given).
    void replyToStatusWithState(const QString& state, const std::optional<QString>& message = std::nullopt);

    QList<RecordedRequest> prepareRequests() const;
    QList<RecordedRequest> finalizeRequests() const;
    QList<RecordedRequest> statusRequests() const;
    // Every request to the panel, in arrival order, as "METHOD path".
    QStringList requestLog() const;

    // The query items of a request, in order, decoded.
    static QList<std::pair<QString, QString>> queryItems(const RecordedRequest& request);

private:
    HttpTestServer m_server;
};

} // namespace kestrion::test
