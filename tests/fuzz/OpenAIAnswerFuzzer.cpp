// A body from the model service, read as a chat completion, as an image answer
// and as the text of a failure, with the image item followed to its bytes or link.

#include "FuzzCheck.h"
#include "openai/OpenAIResponseDecoding.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

using namespace kestrion;
namespace Decoding = kestrion::OpenAIResponseDecoding;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const OpenAIResult<QString> reply = Decoding::decodeChatCompletion(body);
    if (reply.ok()) {
        FUZZ_CHECK(!reply.value().isEmpty());
    } else {
        FUZZ_CHECK(reply.error().kind == OpenAIError::Kind::Decoding);
        FUZZ_CHECK(!reply.error().description().isEmpty());
    }

    const OpenAIResult<Decoding::ImageItem> image = Decoding::decodeFirstImageItem(body);
    if (image.ok()) {
        if (image.value().b64Json) {
            const std::optional<QByteArray> bytes = Decoding::decodeBase64Leniently(*image.value().b64Json);
            FUZZ_CHECK(!bytes || !bytes->isEmpty());
        }
        if (image.value().url) {
            if (const std::optional<QUrl> link = Decoding::downloadableImageUrl(*image.value().url)) {
                const QString scheme = link->scheme().toLower();
                FUZZ_CHECK(scheme == QLatin1String("http") || scheme == QLatin1String("https"));
                FUZZ_CHECK(!link->host().isEmpty());
            }
        }
    } else {
        FUZZ_CHECK(image.error().kind == OpenAIError::Kind::Decoding);
    }

    // The same bytes as the body of a refused request; the first byte picks the status.
    HttpResponse response;
    response.isHttp = true;
    response.statusCode = size == 0 ? 200 : 100 + data[0] * 2;
    response.body = body;
    const std::optional<OpenAIError> failure = Decoding::responseFailure(response);
    FUZZ_CHECK(failure.has_value() == (response.statusCode < 200 || response.statusCode > 299));
    if (failure) {
        FUZZ_CHECK(failure->message == Decoding::bodyText(body));
        Decoding::shouldRetryWithDallE3(*failure, QStringLiteral("gpt-image-1"));
        FUZZ_CHECK(!Decoding::shouldRetryWithDallE3(*failure, QStringLiteral("dall-e-3")));
    }
    return 0;
}
