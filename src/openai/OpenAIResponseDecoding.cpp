#include "openai/OpenAIResponseDecoding.h"

#include "support/TextDecoding.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QSet>
#include <array>

namespace kestrion::OpenAIResponseDecoding {

namespace {

// Reads the body as a JSON object; on failure returns the description of what is wrong.
std::variant<QJsonObject, QString> parseJsonObject(const QByteArray& body) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        return error.errorString() + QStringLiteral(" at offset ") + QString::number(error.offset);
    }
    if (!document.isObject()) {
        return QStringLiteral("the response is not a JSON object");
    }
    return document.object();
}

QString missingKey(const QString& path) {
    return QStringLiteral("missing key '%1'").arg(path);
}

QString wrongType(const QString& path, const char* expected) {
    return QStringLiteral("key '%1' is not %2").arg(path, QLatin1String(expected));
}

// An optional string key: absent and null both mean "none".
std::variant<std::optional<QString>, QString> optionalString(const QJsonObject& object, const QString& key,
                                                             const QString& path) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull()) {
        return std::optional<QString>();
    }
    if (!value.isString()) {
        return wrongType(path, "a string");
    }
    return std::optional<QString>(value.toString());
}

// The "data" array that image and models answers carry, or what is wrong with the body.
std::variant<QJsonArray, OpenAIError> dataArray(const QByteArray& body) {
    const auto parsed = parseJsonObject(body);
    if (const auto* problem = std::get_if<QString>(&parsed)) {
        return OpenAIError::decoding(*problem);
    }
    const QJsonValue dataValue = std::get<QJsonObject>(parsed).value(QLatin1String("data"));
    if (dataValue.isUndefined() || dataValue.isNull()) {
        return OpenAIError::decoding(missingKey(QStringLiteral("data")));
    }
    if (!dataValue.isArray()) {
        return OpenAIError::decoding(wrongType(QStringLiteral("data"), "an array"));
    }
    return dataValue.toArray();
}

} // namespace

QString bodyText(const QByteArray& body) {
    return decodeUtf8Strict(body).value_or(QStringLiteral("(binary)"));
}

std::optional<OpenAIError> responseFailure(const HttpResponse& response) {
    if (response.bodyTooLarge) {
        return OpenAIError::bodyTooLarge(response.transportError);
    }
    if (response.transportFailed()) {
        return OpenAIError::transport(response.transportError);
    }
    if (!response.isHttp) {
        return OpenAIError::http(-1, QCoreApplication::translate("kestrion::OpenAIService", "No HTTP response"));
    }
    if (response.statusCode < 200 || response.statusCode > 299) {
        return OpenAIError::http(response.statusCode, bodyText(response.body));
    }
    return std::nullopt;
}

OpenAIResult<QString> decodeChatCompletion(const QByteArray& body) {
    const auto parsed = parseJsonObject(body);
    if (const auto* problem = std::get_if<QString>(&parsed)) {
        return OpenAIError::decoding(*problem);
    }
    const QJsonValue choicesValue = std::get<QJsonObject>(parsed).value(QLatin1String("choices"));
    if (choicesValue.isUndefined()) {
        return OpenAIError::decoding(missingKey(QStringLiteral("choices")));
    }
    if (!choicesValue.isArray()) {
        return OpenAIError::decoding(wrongType(QStringLiteral("choices"), "an array"));
    }

    // Every choice must have the declared shape, even though only the first is used.
    const QJsonArray choices = choicesValue.toArray();
    std::optional<QString> firstContent;
    for (qsizetype index = 0; index < choices.size(); ++index) {
        const QString choicePath = QStringLiteral("choices[%1]").arg(index);
        if (!choices.at(index).isObject()) {
            return OpenAIError::decoding(wrongType(choicePath, "an object"));
        }
        const QJsonValue messageValue = choices.at(index).toObject().value(QLatin1String("message"));
        const QString messagePath = choicePath + QStringLiteral(".message");
        if (messageValue.isUndefined() || messageValue.isNull()) {
            return OpenAIError::decoding(missingKey(messagePath));
        }
        if (!messageValue.isObject()) {
            return OpenAIError::decoding(wrongType(messagePath, "an object"));
        }
        const QJsonObject message = messageValue.toObject();
        const QJsonValue role = message.value(QLatin1String("role"));
        if (role.isUndefined() || role.isNull()) {
            return OpenAIError::decoding(missingKey(messagePath + QStringLiteral(".role")));
        }
        if (!role.isString()) {
            return OpenAIError::decoding(wrongType(messagePath + QStringLiteral(".role"), "a string"));
        }
        auto content = optionalString(message, QStringLiteral("content"), messagePath + QStringLiteral(".content"));
        if (const auto* problem = std::get_if<QString>(&content)) {
            return OpenAIError::decoding(*problem);
        }
        if (index == 0) {
            firstContent = std::get<std::optional<QString>>(content);
        }
    }

    // Whitespace-only content is a real answer and is returned as is.
    if (!firstContent || firstContent->isEmpty()) {
        return OpenAIError::decoding(QCoreApplication::translate("kestrion::OpenAIService", "Empty assistant message"));
    }
    return *firstContent;
}

OpenAIResult<ImageItem> decodeFirstImageItem(const QByteArray& body) {
    const auto list = dataArray(body);
    if (const auto* problem = std::get_if<OpenAIError>(&list)) {
        return *problem;
    }
    const QJsonArray& data = std::get<QJsonArray>(list);
    std::optional<ImageItem> first;
    for (qsizetype index = 0; index < data.size(); ++index) {
        const QString itemPath = QStringLiteral("data[%1]").arg(index);
        if (!data.at(index).isObject()) {
            return OpenAIError::decoding(wrongType(itemPath, "an object"));
        }
        const QJsonObject item = data.at(index).toObject();
        auto b64 = optionalString(item, QStringLiteral("b64_json"), itemPath + QStringLiteral(".b64_json"));
        if (const auto* problem = std::get_if<QString>(&b64)) {
            return OpenAIError::decoding(*problem);
        }
        auto url = optionalString(item, QStringLiteral("url"), itemPath + QStringLiteral(".url"));
        if (const auto* problem = std::get_if<QString>(&url)) {
            return OpenAIError::decoding(*problem);
        }
        if (index == 0) {
            first = ImageItem{std::get<std::optional<QString>>(b64), std::get<std::optional<QString>>(url)};
        }
    }
    if (!first) {
        return OpenAIError::decoding(
            QCoreApplication::translate("kestrion::OpenAIService", "No image data in response"));
    }
    return *first;
}

bool isUsableModelId(const QString& id) {
    if (id.isEmpty() || id.trimmed() != id || id.size() > maxModelIdLength) {
        return false;
    }
    for (const QChar character : id) {
        if (character.category() == QChar::Other_Control || character.isSurrogate() ||
            character.category() == QChar::Other_Format) {
            return false;
        }
    }
    return true;
}

OpenAIResult<QStringList> decodeModelList(const QByteArray& body) {
    const auto list = dataArray(body);
    if (const auto* problem = std::get_if<OpenAIError>(&list)) {
        return *problem;
    }
    QStringList names;
    QSet<QString> seen;
    for (const QJsonValue& entry : std::get<QJsonArray>(list)) {
        const QJsonValue id = entry.toObject().value(QLatin1String("id"));
        if (!id.isString() || !isUsableModelId(id.toString()) || seen.contains(id.toString())) {
            continue;
        }
        seen.insert(id.toString());
        names.append(id.toString());
        if (names.size() >= maxListedModels) {
            break;
        }
    }
    return names;
}

std::optional<QByteArray> decodeBase64Leniently(const QString& text) {
    QByteArray alphabetOnly(text.size(), Qt::Uninitialized);
    char* out = alphabetOnly.data();
    for (const QChar character : text) {
        const char16_t code = character.unicode();
        const bool inAlphabet = (code >= u'A' && code <= u'Z') || (code >= u'a' && code <= u'z') ||
                                (code >= u'0' && code <= u'9') || code == u'+' || code == u'/' || code == u'=';
        if (inAlphabet) {
            *out++ = static_cast<char>(code);
        }
    }
    alphabetOnly.truncate(out - alphabetOnly.constData());
    const auto decoded = QByteArray::fromBase64Encoding(
        std::move(alphabetOnly), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (decoded.decodingStatus != QByteArray::Base64DecodingStatus::Ok || decoded.decoded.isEmpty()) {
        return std::nullopt;
    }
    return decoded.decoded;
}

std::optional<QUrl> downloadableImageUrl(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty()) {
        return std::nullopt;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        return std::nullopt;
    }
    return url;
}

bool shouldRetryWithDallE3(const OpenAIError& error, const QString& model) {
    if (error.kind != OpenAIError::Kind::Http || model != QLatin1String("gpt-image-1")) {
        return false;
    }
    if (error.statusCode != 400 && error.statusCode != 403 && error.statusCode != 404) {
        return false;
    }
    static constexpr std::array<QLatin1StringView, 7> markers{
        QLatin1StringView("must be verified"), QLatin1StringView("organization"), QLatin1StringView("not allowed"),
        QLatin1StringView("verify"),           QLatin1StringView("unsupported"),  QLatin1StringView("not have access"),
        QLatin1StringView("model_not_found"),
    };
    const QString body = error.message.toLower();
    for (const QLatin1StringView marker : markers) {
        if (body.contains(marker)) {
            return true;
        }
    }
    return false;
}

} // namespace kestrion::OpenAIResponseDecoding
