#include "openai/OpenAIError.h"
#include "openai/OpenAIResponseDecoding.h"
#include "openai/OpenAIService.h"

#include <gmock/gmock.h>

using namespace kestrion;
namespace decoding = kestrion::OpenAIResponseDecoding;
using ::testing::StartsWith;

TEST(OpenAIErrorTest, describesEachCaseExactly) {
    EXPECT_EQ(OpenAIError::http(401, R"({"error":{"message":"bad key"}})").description(),
              R"(HTTP 401: {"error":{"message":"bad key"}})");
    EXPECT_EQ(OpenAIError::http(-1, "No HTTP response").description(), "HTTP -1: No HTTP response");
    EXPECT_EQ(OpenAIError::decoding("Empty assistant message").description(),
              "Could not read response: Empty assistant message");
    EXPECT_EQ(OpenAIError::missingAPIKey().description(), "Add an OpenAI API key in Settings.");
    EXPECT_EQ(OpenAIError::invalidURL().description(), "Invalid API URL.");
    EXPECT_EQ(OpenAIError::transport("Connection refused").description(), "Connection refused");
}

TEST(OpenAIServiceSizeTest, normalizesRequestedSizePerModelFamily) {
    struct Row {
        const char* size;
        const char* gptImage;
        const char* dallE3;
        const char* dallE2;
    };
    const Row rows[] = {
        {"1024x1024", "1024x1024", "1024x1024", "1024x1024"}, {"1024x1536", "1024x1536", "1024x1792", "1024x1024"},
        {"1536x1024", "1536x1024", "1792x1024", "1024x1024"}, {"1024x1792", "1024x1536", "1024x1792", "1024x1024"},
        {"1792x1024", "1536x1024", "1792x1024", "1024x1024"}, {"auto", "auto", "1024x1024", "1024x1024"},
        {"AUTO", "auto", "1024x1024", "1024x1024"},           {"256x256", "1024x1024", "1024x1024", "256x256"},
        {"512x512", "1024x1024", "1024x1024", "512x512"},     {" 1536X1024 ", "1536x1024", "1792x1024", "1024x1024"},
        {"\n512X512\t", "1024x1024", "1024x1024", "512x512"}, {"", "1024x1024", "1024x1024", "1024x1024"},
        {"banner", "1024x1024", "1024x1024", "1024x1024"},    {"1024 x 1024", "1024x1024", "1024x1024", "1024x1024"},
        {"2048x2048", "1024x1024", "1024x1024", "1024x1024"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.size);
        EXPECT_EQ(OpenAIService::normalizedSize(row.size, "gpt-image-1"), row.gptImage);
        // Every model other than the two DALL-E names follows the gpt-image table.
        EXPECT_EQ(OpenAIService::normalizedSize(row.size, "some-future-model"), row.gptImage);
        EXPECT_EQ(OpenAIService::normalizedSize(row.size, "dall-e-3"), row.dallE3);
        EXPECT_EQ(OpenAIService::normalizedSize(row.size, "dall-e-2"), row.dallE2);
    }
    // Model names are compared exactly.
    EXPECT_EQ(OpenAIService::normalizedSize("1792x1024", "DALL-E-3"), "1536x1024");
    EXPECT_EQ(OpenAIService::normalizedSize("512x512", "dall-e-2 "), "1024x1024");
}

TEST(OpenAIResponseDecodingTest, answerWithoutHttpStatusIsHttpMinusOne) {
    HttpResponse notHttp;
    notHttp.isHttp = false;
    notHttp.body = "bytes from somewhere";
    const auto failure = decoding::responseFailure(notHttp);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->description(), "HTTP -1: No HTTP response");

    HttpResponse transport;
    transport.transportError = "Host unreachable";
    ASSERT_TRUE(decoding::responseFailure(transport));
    EXPECT_EQ(*decoding::responseFailure(transport), OpenAIError::transport("Host unreachable"));

    for (int status : {200, 201, 299}) {
        HttpResponse ok;
        ok.isHttp = true;
        ok.statusCode = status;
        EXPECT_FALSE(decoding::responseFailure(ok)) << status;
    }
    for (int status : {199, 300, 304, 404}) {
        HttpResponse failed;
        failed.isHttp = true;
        failed.statusCode = status;
        failed.body = "text";
        EXPECT_EQ(decoding::responseFailure(failed), OpenAIError::http(status, "text")) << status;
    }
}

TEST(OpenAIResponseDecodingTest, chatBodiesOfTheWrongShapeNameTheProblem) {
    struct Row {
        const char* body;
        const char* message;
    };
    const Row rows[] = {
        {R"({"id":"x"})", "missing key 'choices'"},
        {R"({"choices":{}})", "key 'choices' is not an array"},
        {R"([1,2])", "the response is not a JSON object"},
        {R"({"choices":[{"index":0}]})", "missing key 'choices[0].message'"},
        {R"({"choices":[{"message":{"content":"hi"}}]})", "missing key 'choices[0].message.role'"},
        {R"({"choices":[{"message":{"role":7,"content":"hi"}}]})", "key 'choices[0].message.role' is not a string"},
        {R"({"choices":[{"message":{"role":"assistant","content":["a"]}}]})",
         "key 'choices[0].message.content' is not a string"},
        // A later malformed choice spoils the whole answer, as a typed decoder would.
        {R"({"choices":[{"message":{"role":"assistant","content":"hi"}},{"message":{}}]})",
         "missing key 'choices[1].message.role'"},
    };
    for (const Row& row : rows) {
        const auto result = decoding::decodeChatCompletion(row.body);
        ASSERT_FALSE(result.ok()) << row.body;
        EXPECT_EQ(result.error(), OpenAIError::decoding(row.message)) << row.body;
    }

    const auto notJson = decoding::decodeChatCompletion("<html>busy</html>");
    ASSERT_FALSE(notJson.ok());
    EXPECT_THAT(notJson.error().description().toStdString(), StartsWith("Could not read response: illegal value"));
    EXPECT_THAT(notJson.error().message.toStdString(), ::testing::HasSubstr(" at offset "));
}

TEST(OpenAIResponseDecodingTest, base64SkipsCharactersOutsideTheAlphabet) {
    const QByteArray bytes("\x89PNG\r\n\x1a\n\x00\x01\x02\xff", 12);
    const QString encoded = QString::fromLatin1(bytes.toBase64());
    QString wrapped;
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        wrapped += encoded.at(i);
        if (i % 4 == 3) {
            wrapped += QStringLiteral("\r\n \t-_*");
        }
    }
    EXPECT_EQ(decoding::decodeBase64Leniently(encoded), bytes);
    EXPECT_EQ(decoding::decodeBase64Leniently(wrapped), bytes);
    EXPECT_EQ(decoding::decodeBase64Leniently(QStringLiteral("  ") + encoded + QStringLiteral("\n")), bytes);
    // Nothing usable left, or not Base64 at all.
    EXPECT_FALSE(decoding::decodeBase64Leniently(""));
    EXPECT_FALSE(decoding::decodeBase64Leniently("!!! ###"));
    EXPECT_FALSE(decoding::decodeBase64Leniently("===="));
    EXPECT_FALSE(decoding::decodeBase64Leniently("QQ==QQ=A"));
}

TEST(OpenAIResponseDecodingTest, onlyHttpAndHttpsImageLinksAreDownloadable) {
    EXPECT_TRUE(decoding::downloadableImageUrl("https://files.example.com/img.png?sig=a%2Bb"));
    EXPECT_TRUE(decoding::downloadableImageUrl("http://127.0.0.1:8080/files/1.png"));
    EXPECT_TRUE(decoding::downloadableImageUrl("HTTPS://files.example.com/img.png"));
    for (const char* refused : {"file:///etc/passwd", "file://localhost/home/user/.ssh/id_rsa",
                                "ftp://example.com/a.png", "data:image/png;base64,iVBORw0KGgo=", "javascript:alert(1)",
                                "/files/1.png", "files/1.png", "http://", "https:///no-host.png", "not a url", ""}) {
        EXPECT_FALSE(decoding::downloadableImageUrl(refused)) << refused;
    }
}
