#include "openai/OpenAIError.h"
#include "openai/OpenAIResponseDecoding.h"
#include "openai/OpenAIService.h"

#include <gmock/gmock.h>

using namespace kestrion;
namespace decoding = kestrion::OpenAIResponseDecoding;
using ::testing::StartsWith;

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

TEST(OpenAIResponseDecodingTest, modelListTakesUsableNamesFromAHostileBody) {
    struct Row {
        const char* body;
        QStringList names;
    };
    const QString longName(decoding::maxModelIdLength + 1, QLatin1Char('m'));
    const QString longestName(decoding::maxModelIdLength, QLatin1Char('m'));
    const QByteArray withLongNames =
        QStringLiteral(R"({"data":[{"id":"%1"},{"id":"%2"}]})").arg(longName, longestName).toUtf8();
    const Row rows[] = {
        {R"({"data":[]})", {}},
        {R"({"object":"list","data":[{"id":"b"},{"id":"a"},{"id":"b"}]})", {"b", "a"}},
        // Entries of the wrong shape are skipped, not fatal.
        {R"({"data":[1,"x",null,{},{"id":7},{"id":null},{"name":"n"},{"id":"ok"}]})", {"ok"}},
        // Names that could not be shown or sent as they are.
        {R"({"data":[{"id":""},{"id":"  "},{"id":" padded"},{"id":"line\nbreak"},{"id":"nul\u0000"},)"
         R"({"id":"bidi\u202e"},{"id":"llama3:8b-instruct"}]})",
         {"llama3:8b-instruct"}},
        {withLongNames.constData(), {longestName}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.body);
        const auto result = decoding::decodeModelList(row.body);
        ASSERT_TRUE(result.ok()) << result.error().description().toStdString();
        EXPECT_EQ(result.value(), row.names);
    }
    EXPECT_EQ(decoding::decodeModelList(R"({"data":{"id":"a"}})").error(),
              OpenAIError::decoding("key 'data' is not an array"));
    EXPECT_EQ(decoding::decodeModelList(R"([{"id":"a"}])").error(),
              OpenAIError::decoding("the response is not a JSON object"));
    EXPECT_EQ(decoding::decodeModelList("").error().kind, OpenAIError::Kind::Decoding);
}

TEST(OpenAIResponseDecodingTest, modelListStopsAtItsCap) {
    QByteArray body = R"({"data":[)";
    for (qsizetype i = 0; i < decoding::maxListedModels + 10; ++i) {
        body += (i ? "," : "") + QStringLiteral(R"({"id":"m%1"})").arg(i).toUtf8();
    }
    body += "]}";
    const auto result = decoding::decodeModelList(body);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value().size(), decoding::maxListedModels);
    EXPECT_EQ(result.value().last(), QStringLiteral("m%1").arg(decoding::maxListedModels - 1));
}

TEST(OpenAIErrorTest, onlyAMissingOrRefusedKeyPointsToTheKey) {
    const OpenAIError errors[] = {
        OpenAIError::missingAPIKey(),        OpenAIError::http(401, "bad key"),
        OpenAIError::http(403, "forbidden"), OpenAIError::http(500, "HTTP 401: quoted"),
        OpenAIError::transport("timed out"), OpenAIError::decoding("x"),
        OpenAIError::invalidURL(),           OpenAIError::bodyTooLarge("big"),
    };
    const bool expected[] = {true, true, false, false, false, false, false, false};
    for (size_t i = 0; i < std::size(errors); ++i) {
        SCOPED_TRACE(errors[i].description().toStdString());
        EXPECT_EQ(errors[i].concernsTheKey(), expected[i]);
        EXPECT_EQ(OpenAIError::descriptionConcernsTheKey(errors[i].description()), expected[i]);
    }
    EXPECT_FALSE(OpenAIError::descriptionConcernsTheKey("Launch failed: HTTP 401: no token"));
}
