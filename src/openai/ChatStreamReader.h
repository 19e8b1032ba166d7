#pragma once

#include "openai/OpenAIError.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace kestrion {

// Reads the server-sent events of a streamed chat completion as they arrive and gathers the reply's
// text. Bytes may come in pieces of any size, split anywhere (inside a line, inside a UTF-8
// character): only whole lines are read. Comment lines (":"), other fields and events without data
// are skipped; "data: [DONE]" ends the stream. An event carrying "error" ends it with that failure,
// and an event that is not a chat chunk is an unreadable answer.
class ChatStreamReader {
public:
    // Takes the next piece of the body. Returns true when the reply's text grew.
    bool feed(QByteArrayView bytes);

    // The reply's text so far.
    const QString& text() const { return m_text; }
    // "[DONE]" arrived.
    bool finished() const { return m_finished; }
    // The stream reported a failure, or sent something that is not a chat chunk.
    const std::optional<OpenAIError>& failure() const { return m_failure; }

    // The outcome once the body has ended: the text when the stream finished, its failure, or a
    // decoding failure when it ended before "[DONE]".
    OpenAIResult<QString> result() const;

private:
    bool readLine(QByteArrayView line);
    bool dispatch();

    QByteArray m_pending;
    QByteArray m_data;
    bool m_hasData = false;
    QString m_text;
    bool m_finished = false;
    std::optional<OpenAIError> m_failure;
};

} // namespace kestrion
