#pragma once

#include "openai/OpenAIError.h"
#include "support/HttpClient.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

// The pure decision steps of the model service client, kept apart from the
// network calls so each rule can be checked on its own.
//
// Decoder messages: a body that is not JSON at all is described by Qt's JSON
// parser (QJsonParseError::errorString(), e.g. "illegal value") followed by
// " at offset N". A body that is JSON but of the wrong shape is described by
// naming the offending key with its path, e.g. "missing key 'choices'" or
// "key 'choices[0].message.role' is not a string".
namespace kestrion::OpenAIResponseDecoding {

// The body of a failed answer as text: strict UTF-8, or "(binary)".
QString bodyText(const QByteArray& body);

// The failure an answer stands for before its body is read: bodyTooLarge with
// the HTTP client's text for an answer past its cap, the transport error
// unchanged, http(-1, "No HTTP response") when the answer is not HTTP, or
// http(status, body text) for a status outside 200-299.
std::optional<OpenAIError> responseFailure(const HttpResponse& response);

// The text of the first choice of a chat completions body, or the failure.
OpenAIResult<QString> decodeChatCompletion(const QByteArray& body);

// The first item of an image generation body. Null keys count as absent.
struct ImageItem {
    std::optional<QString> b64Json;
    std::optional<QString> url;
};
OpenAIResult<ImageItem> decodeFirstImageItem(const QByteArray& body);

// The model names of a models list body ({"data": [{"id": "..."}, ...]}), in the server's order
// without repeats. The body is the server's: an entry that is not an object with a usable "id" (a
// non-empty text of at most maxModelIdLength characters, without surrounding spaces or control
// characters) is skipped, and at
// most maxListedModels names are taken. A body without a "data" array fails.
constexpr qsizetype maxModelIdLength = 200;
constexpr qsizetype maxListedModels = 5000;
OpenAIResult<QStringList> decodeModelList(const QByteArray& body);
// Whether one text is usable as a model name in the picker (see decodeModelList).
bool isUsableModelId(const QString& id);

// Base64 with every character outside the alphabet skipped (line breaks,
// spaces, ...). Nothing when what remains is empty or does not decode.
std::optional<QByteArray> decodeBase64Leniently(const QString& text);

// The image link when it is one the client may fetch: a valid absolute http
// or https URL with a host. Any other scheme (file:, ftp:, data:, ...) is
// refused, so a misbehaving server cannot make the client copy local files
// into the website.
std::optional<QUrl> downloadableImageUrl(const QString& text);

// Whether a failed "gpt-image-1" attempt is worth one more try with "dall-e-3":
// an HTTP 400, 403 or 404 whose body hints at missing access to the model.
bool shouldRetryWithDallE3(const OpenAIError& error, const QString& model);

} // namespace kestrion::OpenAIResponseDecoding
