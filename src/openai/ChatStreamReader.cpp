#include "openai/ChatStreamReader.h"

#include "openai/OpenAIResponseDecoding.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

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
    QByteArray data = std::exchange(m_data, {});
    m_hasData = false;
    if (data.trimmed() == "[DONE]") {
        m_finished = true;
        return false;
    }
    if (data.trimmed().isEmpty()) {
        return false;
    }
    // A reply arrives as thousands of small events: RapidJSON reads one in place of building a
    // QJsonDocument, which cost more than the rest of the turn together.
    // Read in a copy, in place; text that is not UTF-8 becomes replacement characters below.
    QByteArray parsed = data;
    rapidjson::Document event;
    event.ParseInsitu(parsed.data());
    if (event.HasParseError() || !event.IsObject()) {
        m_failure = OpenAIError::decoding(event.HasParseError()
                                              ? QString::fromUtf8(rapidjson::GetParseError_En(event.GetParseError())) +
                                                    QStringLiteral(" at offset %1").arg(event.GetErrorOffset())
                                              : QStringLiteral("a stream event is not an object"));
        return false;
    }
    if (event.HasMember("error")) {
        // The same text a refused request shows; the stream itself came with status 200.
        m_failure = OpenAIError::http(200, OpenAIResponseDecoding::bodyText(data));
        return false;
    }
    const auto choices = event.FindMember("choices");
    if (choices == event.MemberEnd() || !choices->value.IsArray() || choices->value.Empty() ||
        !choices->value[0].IsObject()) {
        return false; // usage or keep-alive chunks carry no choice
    }
    const auto delta = choices->value[0].FindMember("delta");
    if (delta == choices->value[0].MemberEnd() || !delta->value.IsObject()) {
        return false;
    }
    const auto content = delta->value.FindMember("content");
    if (content == delta->value.MemberEnd() || !content->value.IsString() || content->value.GetStringLength() == 0) {
        return false;
    }
    m_text += QString::fromUtf8(content->value.GetString(), content->value.GetStringLength());
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
