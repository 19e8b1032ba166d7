#include "openai/OpenAIError.h"

#include <QCoreApplication>

namespace kestrion {

OpenAIError OpenAIError::http(int statusCode, QString body) {
    return {Kind::Http, statusCode, std::move(body)};
}

OpenAIError OpenAIError::decoding(QString message) {
    return {Kind::Decoding, 0, std::move(message)};
}

OpenAIError OpenAIError::missingAPIKey() {
    return {Kind::MissingAPIKey, 0, {}};
}

OpenAIError OpenAIError::invalidURL() {
    return {Kind::InvalidURL, 0, {}};
}

OpenAIError OpenAIError::transport(QString description) {
    return {Kind::Transport, 0, std::move(description)};
}

OpenAIError OpenAIError::bodyTooLarge(QString description) {
    return {Kind::BodyTooLarge, 0, std::move(description)};
}

QString OpenAIError::description() const {
    switch (kind) {
    case Kind::Http:
        return QStringLiteral("HTTP ") + QString::number(statusCode) + QStringLiteral(": ") + message;
    case Kind::Decoding:
        return QCoreApplication::translate("kestrion::OpenAIError", "Could not read response: ") + message;
    case Kind::MissingAPIKey:
        return QCoreApplication::translate("kestrion::OpenAIError", "Add an OpenAI API key in Settings.");
    case Kind::InvalidURL:
        return QCoreApplication::translate("kestrion::OpenAIError", "Invalid API URL.");
    case Kind::Transport:
    case Kind::BodyTooLarge:
        return message;
    }
    return message;
}

bool OpenAIError::concernsTheKey() const {
    return kind == Kind::MissingAPIKey || (kind == Kind::Http && statusCode == 401);
}

bool OpenAIError::descriptionConcernsTheKey(const QString& description) {
    return description == missingAPIKey().description() || description.startsWith(QLatin1String("HTTP 401: "));
}

} // namespace kestrion
