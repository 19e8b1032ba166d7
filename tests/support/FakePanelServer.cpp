#include "support/FakePanelServer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

namespace kestrion::test {

void FakePanelServer::replyToPrepare(ScriptedResponse response) {
    m_server.enqueue("POST", preparePath, std::move(response));
}

void FakePanelServer::replyToFinalize(ScriptedResponse response) {
    m_server.enqueue("POST", finalizePath, std::move(response));
}

void FakePanelServer::replyToStatus(ScriptedResponse response) {
    m_server.enqueue("GET", statusPath, std::move(response));
}

void FakePanelServer::setDefaultStatusReply(ScriptedResponse response) {
    m_server.setDefaultResponse("GET", statusPath, std::move(response));
}

void FakePanelServer::prepareWithPushUrl(const QString& pushUrl, const std::optional<QString>& branch) {
    QJsonObject body{{QStringLiteral("push_url"), pushUrl}};
    if (branch) {
        body.insert(QStringLiteral("branch"), *branch);
    }
    replyToPrepare(ScriptedResponse::json(200, QJsonDocument(body).toJson(QJsonDocument::Compact)));
}

void FakePanelServer::replyToStatusWithState(const QString& state, const std::optional<QString>& message) {
    QJsonObject body{{QStringLiteral("state"), state}};
    if (message) {
        body.insert(QStringLiteral("message"), *message);
    }
    replyToStatus(ScriptedResponse::json(200, QJsonDocument(body).toJson(QJsonDocument::Compact)));
}

QList<RecordedRequest> FakePanelServer::prepareRequests() const {
    return m_server.requests("POST", preparePath);
}

QList<RecordedRequest> FakePanelServer::finalizeRequests() const {
    return m_server.requests("POST", finalizePath);
}

QList<RecordedRequest> FakePanelServer::statusRequests() const {
    return m_server.requests("GET", statusPath);
}

QStringList FakePanelServer::requestLog() const {
    QStringList log;
    for (const RecordedRequest& request : m_server.requests()) {
        log.append(QString::fromLatin1(request.method) + QLatin1Char(' ') + request.path);
    }
    return log;
}

QList<std::pair<QString, QString>> FakePanelServer::queryItems(const RecordedRequest& request) {
    QList<std::pair<QString, QString>> items;
    const QUrlQuery query(request.query);
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        items.append({key, value});
    }
    return items;
}

} // namespace kestrion::test
