#include "openai/ChatStreamReader.h"

#include "openai/OpenAIResponseDecoding.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace kestrion {

bool ChatStreamReader::feed(QByteArrayView bytes) {
    if (m_finished || m_failure) {
        return false;
    }
    m_pending.append(bytes.data(), bytes.size());
    bool grew = false;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = m_pending.indexOf('\n', start);
        if (end < 0) {
            break;
        }
        QByteArrayView line(m_pending.constData() + start, end - start);
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        start = end + 1;
        grew = readLine(line) || grew;
        if (m_finished || m_failure) {
            break;
        }
    }
    m_pending.remove(0, start);
    return grew;
}

bool ChatStreamReader::readLine(QByteArrayView line) {
    if (line.isEmpty()) {
        return dispatch();
    }
    if (line.startsWith(':')) {
        return false; // a comment keeps the connection alive
    }
    const qsizetype colon = line.indexOf(':');
    const QByteArrayView field = colon < 0 ? line : line.first(colon);
    if (field != "data") {
        return false;
    }
    QByteArrayView value = colon < 0 ? QByteArrayView() : line.sliced(colon + 1);
    if (value.startsWith(' ')) {
        value = value.sliced(1);
    }
    if (m_hasData) {
        m_data.append('\n');
    }
    m_data.append(value.data(), value.size());
    m_hasData = true;
    return false;
}

bool ChatStreamReader::dispatch() {
    if (!m_hasData) {
        return false;
    }
    const QByteArray data = std::exchange(m_data, {});
    m_hasData = false;
    if (data.trimmed() == "[DONE]") {
        m_finished = true;
        return false;
    }
    if (data.trimmed().isEmpty()) {
        return false;
    }
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        m_failure = OpenAIError::decoding(parseError.error != QJsonParseError::NoError
                                              ? parseError.errorString() +
                                                    QStringLiteral(" at offset %1").arg(parseError.offset)
                                              : QStringLiteral("a stream event is not an object"));
        return false;
    }
    const QJsonObject event = document.object();
    if (event.contains(QStringLiteral("error"))) {
        // The same text a refused request shows; the stream itself came with status 200.
        m_failure = OpenAIError::http(200, OpenAIResponseDecoding::bodyText(data));
        return false;
    }
    const QJsonArray choices = event.value(QStringLiteral("choices")).toArray();
    if (choices.isEmpty()) {
        return false; // usage or keep-alive chunks carry no choice
    }
    const QJsonValue content =
        choices.first().toObject().value(QStringLiteral("delta")).toObject().value(QStringLiteral("content"));
    if (!content.isString() || content.toString().isEmpty()) {
        return false;
    }
    m_text += content.toString();
    return true;
}

OpenAIResult<QString> ChatStreamReader::result() const {
    if (m_failure) {
        return *m_failure;
    }
    if (!m_finished) {
        return OpenAIError::decoding(QStringLiteral("the reply's stream ended before it was complete"));
    }
    return m_text;
}

} // namespace kestrion
