#pragma once

#include <QString>
#include <utility>
#include <variant>

namespace kestrion {

// A failed call to the model service. The cases come in a fixed order: an HTTP
// failure (status and body text), an unreadable response, a missing key, an
// unusable API address, a transport failure that carries the HTTP client's
// own description unchanged (no connection, time-out, TLS, cancelled), and an
// answer larger than the client accepts (abandoned as soon as it passed the cap).
struct OpenAIError {
    enum class Kind { Http, Decoding, MissingAPIKey, InvalidURL, Transport, BodyTooLarge };

    Kind kind = Kind::Transport;
    int statusCode = 0; // Http only; -1 when the answer was not HTTP at all
    // Http: the body text; Decoding: what could not be read; Transport: its
    // description; BodyTooLarge: the whole sentence, naming the cap.
    QString message;

    static OpenAIError http(int statusCode, QString body);
    static OpenAIError decoding(QString message);
    static OpenAIError missingAPIKey();
    static OpenAIError invalidURL();
    static OpenAIError transport(QString description);
    static OpenAIError bodyTooLarge(QString description);

    // The exact text the user sees (after "Error: " in the chat).
    QString description() const;

    // Whether the key is what to look at: none was given, or the server refused it (HTTP 401).
    bool concernsTheKey() const;
    // The same, told from a description() alone (what the chat keeps of a failed send).
    static bool descriptionConcernsTheKey(const QString& description);

    friend bool operator==(const OpenAIError&, const OpenAIError&) = default;
};

// The outcome of one call: a value of type T or an OpenAIError.
template <typename T>
class OpenAIResult {
public:
    OpenAIResult(T value) : m_outcome(std::in_place_index<0>, std::move(value)) {}
    OpenAIResult(OpenAIError error) : m_outcome(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return m_outcome.index() == 0; }
    // Only when ok().
    const T& value() const& { return std::get<0>(m_outcome); }
    T&& value() && { return std::get<0>(std::move(m_outcome)); }
    // Only when !ok().
    const OpenAIError& error() const { return std::get<1>(m_outcome); }

private:
    std::variant<T, OpenAIError> m_outcome;
};

} // namespace kestrion
