#include "support/FakeOpenAIServer.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace kestrion::test {

namespace {
const QString filesPrefix = QStringLiteral("/files/");
} // namespace

FakeOpenAIServer::FakeOpenAIServer() = default;

QString FakeOpenAIServer::apiBaseUrl() const {
    return m_server.baseUrl() + QStringLiteral("/v1");
}

void FakeOpenAIServer::replyWithChat(const QString& content) {
    replyToChat(ScriptedResponse::json(200, chatCompletionBody(content)));
}

void FakeOpenAIServer::replyToChat(ScriptedResponse response) {
    m_server.enqueue("POST", chatPath, std::move(response));
}

void FakeOpenAIServer::setDefaultChatReply(const QString& content) {
    m_server.setDefaultResponse("POST", chatPath, ScriptedResponse::json(200, chatCompletionBody(content)));
}

void FakeOpenAIServer::replyWithStreamedChat(const QStringList& pieces) {
    replyToChat(ScriptedResponse::bytes(200, streamedChatBody(pieces), "text/event-stream"));
}

void FakeOpenAIServer::replyWithSlowBody() {
    ScriptedResponse slow = ScriptedResponse::announcingLength(qint64(4) << 20);
    slow.streamPause = std::chrono::milliseconds(20);
    replyToChat(std::move(slow));
}

void FakeOpenAIServer::replyWithImageB64(const QByteArray& imageBytes) {
    replyToImage(ScriptedResponse::json(200, imageB64Body(imageBytes)));
}

QString FakeOpenAIServer::replyWithImageUrl(const QByteArray& imageBytes) {
    const QString url = serveFile(ScriptedResponse::bytes(200, imageBytes, "image/png"));
    replyToImage(ScriptedResponse::json(200, imageUrlBody(url)));
    return url;
}

void FakeOpenAIServer::replyToImage(ScriptedResponse response) {
    m_server.enqueue("POST", imagePath, std::move(response));
}

void FakeOpenAIServer::setDefaultImageReply(const QByteArray& imageBytes) {
    m_server.setDefaultResponse("POST", imagePath, ScriptedResponse::json(200, imageB64Body(imageBytes)));
}

void FakeOpenAIServer::replyWithModels(const QStringList& names) {
    replyToModels(ScriptedResponse::json(200, modelListBody(names)));
}

void FakeOpenAIServer::replyToModels(ScriptedResponse response) {
    m_server.enqueue("GET", modelsPath, std::move(response));
}

QString FakeOpenAIServer::serveFile(ScriptedResponse response) {
    const QString path = filesPrefix + QStringLiteral("image-%1.png").arg(++m_fileCounter);
    m_server.setDefaultResponse("GET", path, std::move(response));
    return m_server.baseUrl() + path;
}

QList<RecordedRequest> FakeOpenAIServer::chatRequests() const {
    return m_server.requests("POST", chatPath);
}

QList<RecordedRequest> FakeOpenAIServer::imageRequests() const {
    return m_server.requests("POST", imagePath);
}

QList<RecordedRequest> FakeOpenAIServer::modelsRequests() const {
    return m_server.requests("GET", modelsPath);
}

QList<RecordedRequest> FakeOpenAIServer::fileRequests() const {
    QList<RecordedRequest> files;
    for (const RecordedRequest& request : m_server.requests()) {
        if (request.path.startsWith(filesPrefix)) {
            files.append(request);
        }
    }
    return files;
}

QByteArray FakeOpenAIServer::chatCompletionBody(const QString& content) {
    const QJsonObject message{{QStringLiteral("role"), QStringLiteral("assistant")},
                              {QStringLiteral("content"), content}};
    const QJsonObject choice{{QStringLiteral("index"), 0},
                             {QStringLiteral("message"), message},
                             {QStringLiteral("finish_reason"), QStringLiteral("stop")}};
    const QJsonObject body{{QStringLiteral("id"), QStringLiteral("chatcmpl-fake")},
                           {QStringLiteral("object"), QStringLiteral("chat.completion")},
                           {QStringLiteral("created"), 1700000000},
                           {QStringLiteral("model"), QStringLiteral("gpt-4o-mini")},
                           {QStringLiteral("choices"), QJsonArray{choice}}};
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

QByteArray FakeOpenAIServer::streamedChunk(const QString& content) {
    const QJsonObject delta{{QStringLiteral("content"), content}};
    const QJsonObject choice{{QStringLiteral("index"), 0}, {QStringLiteral("delta"), delta}};
    const QJsonObject chunk{{QStringLiteral("id"), QStringLiteral("chatcmpl-fake")},
                            {QStringLiteral("object"), QStringLiteral("chat.completion.chunk")},
                            {QStringLiteral("choices"), QJsonArray{choice}}};
    return "data: " + QJsonDocument(chunk).toJson(QJsonDocument::Compact) + "\n\n";
}

QByteArray FakeOpenAIServer::streamedChatBody(const QStringList& pieces) {
    const QJsonObject role{{QStringLiteral("role"), QStringLiteral("assistant")}};
    const QJsonObject first{{QStringLiteral("choices"),
                             QJsonArray{QJsonObject{{QStringLiteral("index"), 0}, {QStringLiteral("delta"), role}}}}};
    QByteArray body = "data: " + QJsonDocument(first).toJson(QJsonDocument::Compact) + "\n\n";
    for (const QString& piece : pieces) {
        body += streamedChunk(piece);
    }
    const QJsonObject last{{QStringLiteral("choices"),
                            QJsonArray{QJsonObject{{QStringLiteral("index"), 0},
                                                   {QStringLiteral("delta"), QJsonObject{}},
                                                   {QStringLiteral("finish_reason"), QStringLiteral("stop")}}}}};
    body += "data: " + QJsonDocument(last).toJson(QJsonDocument::Compact) + "\n\ndata: [DONE]\n\n";
    return body;
}

QByteArray FakeOpenAIServer::imageB64Body(const QByteArray& imageBytes) {
    const QJsonObject item{{QStringLiteral("b64_json"), QString::fromLatin1(imageBytes.toBase64())}};
    const QJsonObject body{{QStringLiteral("created"), 1700000000}, {QStringLiteral("data"), QJsonArray{item}}};
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

QByteArray FakeOpenAIServer::imageUrlBody(const QString& url) {
    const QJsonObject item{{QStringLiteral("url"), url}};
    const QJsonObject body{{QStringLiteral("created"), 1700000000}, {QStringLiteral("data"), QJsonArray{item}}};
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

QByteArray FakeOpenAIServer::modelListBody(const QStringList& names) {
    QJsonArray data;
    for (const QString& name : names) {
        data.append(QJsonObject{{QStringLiteral("id"), name},
                                {QStringLiteral("object"), QStringLiteral("model")},
                                {QStringLiteral("created"), 1700000000},
                                {QStringLiteral("owned_by"), QStringLiteral("fake")}});
    }
    const QJsonObject body{{QStringLiteral("object"), QStringLiteral("list")}, {QStringLiteral("data"), data}};
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

QStringList FakeOpenAIServer::numberedModels(int count) {
    QStringList names;
    for (int i = 1; i <= count; ++i) {
        names.append(QStringLiteral("model-%1").arg(i, 3, 10, QLatin1Char('0')));
    }
    return names;
}

QByteArray FakeOpenAIServer::samplePng(int width, int height, QColor color) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace kestrion::test
