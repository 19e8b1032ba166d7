#include "openai/OpenAIService.h"

#include "support/FakeOpenAIServer.h"
#include "support/HttpClient.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryFile>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <future>
#include <gmock/gmock.h>
#include <memory>
#include <mutex>

using namespace kestrion;
using namespace kestrion::test;
using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

const QString apiKey = QStringLiteral("sk-test-123");

// The description of a call that should have failed; a success fails the test (and its row) by
// name instead of throwing out of the whole test.
template <typename Result>
QString errorOf(const Result& result) {
    if (result.ok()) {
        ADD_FAILURE() << "the call succeeded";
        return {};
    }
    return result.error().description();
}
const QList<ChatCompletionMessage> conversation{{"system", "You build websites."}, {"user", "Make a page."}};

// A light structural check of a request body against OpenAI's published
// schema: every key sent is one the schema declares, required keys are there,
// and declared scalar types match.
class RequestSchema {
public:
    RequestSchema(const QString& file, const QString& root) {
        QFile schemaFile(QStringLiteral(KESTRION_OPENAI_SCHEMA_DIR) + QLatin1Char('/') + file);
        if (schemaFile.open(QIODevice::ReadOnly)) {
            m_schemas = QJsonDocument::fromJson(schemaFile.readAll())
                            .object()
                            .value("components")
                            .toObject()
                            .value("schemas")
                            .toObject();
        }
        collect(m_schemas.value(root).toObject(), m_properties, m_required);
    }

    bool loaded() const { return !m_properties.isEmpty(); }

    QStringList problems(const QJsonObject& body) const { return problemsFor(body, m_properties, m_required); }

    // The properties of the member of a oneOf list (by reference) whose enum for `key` holds `value`.
    QJsonObject variantProperties(const QString& listSchema, const QString& key, const QString& value,
                                  QStringList* required) const {
        for (const QJsonValue option : m_schemas.value(listSchema).toObject().value("oneOf").toArray()) {
            QJsonObject properties;
            QStringList variantRequired;
            collect(option.toObject(), properties, variantRequired);
            if (properties.value(key).toObject().value("enum").toArray().contains(value)) {
                *required = variantRequired;
                return properties;
            }
        }
        return {};
    }

    static QStringList problemsFor(const QJsonObject& body, const QJsonObject& properties,
                                   const QStringList& required) {
        QStringList found;
        for (const QString& key : required) {
            if (!body.contains(key)) {
                found << "missing required " + key;
            }
        }
        for (auto it = body.begin(); it != body.end(); ++it) {
            if (!properties.contains(it.key())) {
                found << "unknown key " + it.key();
                continue;
            }
            const QString type = properties.value(it.key()).toObject().value("type").toString();
            const QJsonValue value = it.value();
            const bool matches = type.isEmpty() || (type == "string" && value.isString()) ||
                                 (type == "integer" && value.isDouble() && value.toDouble() == value.toInt()) ||
                                 (type == "number" && value.isDouble()) || (type == "array" && value.isArray()) ||
                                 (type == "object" && value.isObject()) || (type == "boolean" && value.isBool());
            if (!matches) {
                found << it.key() + " is not of type " + type;
            }
        }
        return found;
    }

private:
    void collect(const QJsonObject& schema, QJsonObject& properties, QStringList& required) const {
        if (schema.contains("$ref")) {
            collect(m_schemas.value(schema.value("$ref").toString().section('/', -1)).toObject(), properties, required);
        }
        for (const QJsonValue part : schema.value("allOf").toArray()) {
            collect(part.toObject(), properties, required);
        }
        const QJsonObject own = schema.value("properties").toObject();
        for (auto it = own.begin(); it != own.end(); ++it) {
            properties.insert(it.key(), it.value());
        }
        for (const QJsonValue key : schema.value("required").toArray()) {
            required << key.toString();
        }
    }

    QJsonObject m_schemas;
    QJsonObject m_properties;
    QStringList m_required;
};

class OpenAIServiceTest : public ::testing::Test {
protected:
    OpenAIService::Timeouts shortTimeouts() const {
        OpenAIService::Timeouts timeouts;
        timeouts.chat = 5s;
        timeouts.image = 5s;
        timeouts.download = 5s;
        return timeouts;
    }

    OpenAIService service() const { return OpenAIService(server.apiBaseUrl(), shortTimeouts()); }

    // generateImage blocks, so it runs where the materializer runs it: on a worker thread.
    OpenAIResult<QByteArray> generate(const OpenAIService& client, const QString& prompt, const QString& size,
                                      const QString& model, const QString& key = apiKey) {
        return QtConcurrent::run(&workers, [&] { return client.generateImage(prompt, size, model, key); }).result();
    }
    OpenAIResult<QByteArray> generate(const QString& model = "gpt-image-1", const QString& size = "1024x1024") {
        return generate(service(), "A red fox", size, model);
    }

    OpenAIResult<QString> chat(const OpenAIService& client, const QString& key = apiKey) {
        return client.completeChat("gpt-4o-mini", key, conversation).result();
    }
    OpenAIResult<QString> chat() { return chat(service()); }

    FakeOpenAIServer server;
    QThreadPool workers;
};

// ---------------------------------------------------------------- chat

TEST_F(OpenAIServiceTest, chatRequestHasExactlyTheDeclaredShape) {
    server.replyWithChat("Done.");
    ASSERT_TRUE(chat().ok());

    ASSERT_EQ(server.chatRequests().size(), 1);
    const RecordedRequest request = server.chatRequests().front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/v1/chat/completions");
    EXPECT_EQ(request.header("Content-Type"), "application/json");
    EXPECT_EQ(request.header("Authorization"), "Bearer sk-test-123");

    // The body's exact bytes are pinned by the streaming test; here it is held against the published schema.
    const QJsonObject body = request.jsonBody();
    const QJsonArray messages = body.value("messages").toArray();
    ASSERT_EQ(messages.size(), 2);
    const RequestSchema schema("CreateChatCompletionRequest.json", "CreateChatCompletionRequest");
    ASSERT_TRUE(schema.loaded());
    EXPECT_THAT(schema.problems(body), ::testing::IsEmpty());
    for (const QJsonValue message : messages) {
        QStringList required;
        const QJsonObject properties = schema.variantProperties("ChatCompletionRequestMessage", "role",
                                                                message.toObject().value("role").toString(), &required);
        ASSERT_FALSE(properties.isEmpty());
        EXPECT_THAT(RequestSchema::problemsFor(message.toObject(), properties, required), ::testing::IsEmpty());
    }
}

TEST_F(OpenAIServiceTest, chatSendsTheKeyAndMessagesUnchanged) {
    server.replyWithChat("ok");
    const QList<ChatCompletionMessage> messages{
        {"system", "  padded\n"}, {"user", "Ünïcödé ✓ \"quoted\" <b>"}, {"assistant", ""}, {"user", "again"}};
    ASSERT_TRUE(service().completeChat("my-model", " sk-padded ", messages).result().ok());

    const RecordedRequest request = server.chatRequests().front();
    // The blank test trims; the header carries the key as given (the server's parser drops trailing spaces).
    EXPECT_EQ(request.header("Authorization"), "Bearer  sk-padded");
    const QJsonArray sent = request.jsonBody().value("messages").toArray();
    ASSERT_EQ(sent.size(), messages.size());
    for (qsizetype i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(sent.at(i).toObject().value("role").toString(), messages.at(i).role);
        EXPECT_EQ(sent.at(i).toObject().value("content").toString(), messages.at(i).content);
    }
    EXPECT_EQ(request.jsonBody().value("model").toString(), "my-model");
}

TEST_F(OpenAIServiceTest, chatReturnsTheFirstChoiceUnchanged) {
    for (const QString& content : {QString("Hello <b>world</b>\n"), QString("   \n\t "), QString("ünï ✓")}) {
        server.replyWithChat(content);
        const auto result = chat();
        ASSERT_TRUE(result.ok()) << result.error().description().toStdString();
        EXPECT_EQ(result.value(), content);
    }
    server.replyToChat(ScriptedResponse::json(
        200, R"({"choices":[{"message":{"role":"assistant","content":"first"}},)"
             R"({"message":{"role":"assistant","content":"second"}}],"usage":{"total_tokens":3}})"));
    EXPECT_EQ(chat().value(), "first");
}

// Chat and image failures read the same way: HTTP errors with their body, and
// answers of the wrong shape as unreadable.
TEST_F(OpenAIServiceTest, failuresReadExactly) {
    const QByteArray errorJson = R"({"error": {"message": "Incorrect API key provided", "code": "invalid_api_key"}})";
    const QString noImage = "Could not read response: Image response had neither b64_json nor url";
    const QString emptyMessage = "Could not read response: Empty assistant message";
    struct Row {
        const char* name;
        bool image;
        ScriptedResponse response;
        QString description;
    };
    const Row rows[] = {
        {"chat 401 json", false, ScriptedResponse::json(401, errorJson), "HTTP 401: " + QString::fromUtf8(errorJson)},
        {"image 401 json", true, ScriptedResponse::json(401, errorJson), "HTTP 401: " + QString::fromUtf8(errorJson)},
        {"chat 500 binary", false,
         ScriptedResponse::bytes(500, QByteArray("\xff\xfe\x80 oops", 8), "application/octet-stream"),
         "HTTP 500: (binary)"},
        {"image 500 binary", true, ScriptedResponse::bytes(500, QByteArray("\xc3\x28", 2), "application/octet-stream"),
         "HTTP 500: (binary)"},
        {"chat 429 text", false, ScriptedResponse::text(429, "Rate limit ✓"), "HTTP 429: Rate limit ✓"},
        {"chat 404 empty", false, ScriptedResponse::text(404, ""), "HTTP 404: "},
        {"empty choices", false, ScriptedResponse::json(200, R"({"choices":[]})"), emptyMessage},
        {"null content", false,
         ScriptedResponse::json(200, R"({"choices":[{"message":{"role":"assistant","content":null}}]})"), emptyMessage},
        {"absent content", false, ScriptedResponse::json(200, R"({"choices":[{"message":{"role":"assistant"}}]})"),
         emptyMessage},
        {"empty content", false,
         ScriptedResponse::json(200, R"({"choices":[{"message":{"role":"assistant","content":""}}]})"), emptyMessage},
        {"empty data", true, ScriptedResponse::json(200, R"({"created":1,"data":[]})"),
         "Could not read response: No image data in response"},
        {"missing data", true, ScriptedResponse::json(200, R"({"created":1})"),
         "Could not read response: missing key 'data'"},
        {"item without image", true, ScriptedResponse::json(200, R"({"data":[{"revised_prompt":"a fox"}]})"), noImage},
        {"null keys", true, ScriptedResponse::json(200, R"({"data":[{"b64_json":null,"url":null}]})"), noImage},
        {"bad base64, no url", true, ScriptedResponse::json(200, R"({"data":[{"b64_json":"%%%"}]})"), noImage},
        {"url with a space", true, ScriptedResponse::json(200, R"({"data":[{"url":"http://exa mple.com/a.png"}]})"),
         noImage},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.image ? server.replyToImage(row.response) : server.replyToChat(row.response);
        EXPECT_EQ(row.image ? errorOf(generate()) : errorOf(chat()), row.description);
    }

    server.replyToImage(ScriptedResponse::text(200, "not json"));
    EXPECT_THAT(generate().error().description().toStdString(), StartsWith("Could not read response: "));

    server.replyToImage(ScriptedResponse::dropped());
    EXPECT_EQ(generate().error().kind, OpenAIError::Kind::Transport);
}

// Collects every message logged while it lives; requests log from worker threads.
class LogCapture {
public:
    LogCapture() { m_previous = qInstallMessageHandler(&LogCapture::handle); }
    ~LogCapture() {
        qInstallMessageHandler(m_previous);
        const std::lock_guard lock(mutex());
        lines().clear();
    }
    QStringList captured() const {
        const std::lock_guard lock(mutex());
        return lines();
    }

private:
    static std::mutex& mutex() {
        static std::mutex instance;
        return instance;
    }
    static QStringList& lines() {
        static QStringList instance;
        return instance;
    }
    static void handle(QtMsgType, const QMessageLogContext& context, const QString& message) {
        const std::lock_guard lock(mutex());
        lines().append(QString::fromUtf8(context.category) + QLatin1Char(' ') + message);
    }
    QtMessageHandler m_previous = nullptr;
};

TEST_F(OpenAIServiceTest, failedRequestsAreLoggedWithoutKeyOrText) {
    // The server quotes the key back, as OpenAI's own 401 answer does.
    const QString key = QStringLiteral("sk-log-canary-9f3b");
    const QByteArray quoting = R"({"error": {"message": "Incorrect API key provided: sk-log-canary-9f3b"}})";
    server.replyToChat(ScriptedResponse::json(401, quoting));
    server.replyToImage(ScriptedResponse::json(401, quoting));

    const LogCapture log;
    ASSERT_FALSE(chat(service(), key).ok());
    ASSERT_FALSE(generate(service(), "A red fox", "1024x1024", "dall-e-3", key).ok());

    const QStringList lines = log.captured();
    ASSERT_EQ(lines.size(), 2) << lines.join(u'\n').toStdString();
    EXPECT_THAT(lines.at(0).toStdString(), HasSubstr("kestrion.openai Chat request failed: HTTP status 401"));
    EXPECT_THAT(lines.at(1).toStdString(), HasSubstr("kestrion.openai Image request failed: HTTP status 401"));
    for (const QString& line : lines) {
        for (const QString& secret : {key, QStringLiteral("canary"), QStringLiteral("Make a page"),
                                      QStringLiteral("You build websites"), QStringLiteral("red fox")}) {
            EXPECT_FALSE(line.contains(secret)) << line.toStdString();
        }
    }
}

TEST_F(OpenAIServiceTest, blankKeyFailsBeforeAnyRequest) {
    server.setDefaultChatReply("should not be asked");
    for (const QString& key : {QString(), QString("   "), QString(" \n\t\r\n")}) {
        const auto chatResult = chat(service(), key);
        ASSERT_FALSE(chatResult.ok());
        EXPECT_EQ(chatResult.error().description(), "Add an OpenAI API key in Settings.");
        const auto imageResult = generate(service(), "A fox", "1024x1024", "gpt-image-1", key);
        ASSERT_FALSE(imageResult.ok());
        EXPECT_EQ(imageResult.error().description(), "Add an OpenAI API key in Settings.");
    }
    // Even with an unusable address, the key is checked first.
    EXPECT_EQ(chat(OpenAIService("ftp://nowhere"), " ").error(), OpenAIError::missingAPIKey());
    EXPECT_EQ(server.http().requestCount(), 0);
}

TEST_F(OpenAIServiceTest, unusableBaseUrlIsInvalidUrlAndSendsNothing) {
    for (const char* base : {"file:///tmp/api/v1", "ftp://127.0.0.1/v1", "mailto:api@example.com", "not a url",
                             "http://", "https:///v1", "127.0.0.1:8080/v1", "http://exa mple.com/v1"}) {
        SCOPED_TRACE(base);
        const OpenAIService client(base, shortTimeouts());
        EXPECT_EQ(chat(client).error().description(), "Invalid API URL.");
        EXPECT_EQ(generate(client, "A fox", "auto", "gpt-image-1").error().description(), "Invalid API URL.");
    }
    EXPECT_EQ(server.http().requestCount(), 0);
}

TEST_F(OpenAIServiceTest, baseUrlComesFromSettingThenEnvironmentThenDefault) {
    struct Case {
        const char* configured;
        const char* environment; // nullptr: unset
        const char* expected;
    };
    const Case cases[] = {
        {"", nullptr, "https://api.openai.com/v1"},
        {" \t", nullptr, "https://api.openai.com/v1"},
        {"", " http://127.0.0.1:8080/v1/ ", "http://127.0.0.1:8080/v1"},
        {"  ", "http://127.0.0.1:8080/v1", "http://127.0.0.1:8080/v1"},
        {"https://proxy.example/openai//", "http://127.0.0.1:8080/v1", "https://proxy.example/openai"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.configured);
        c.environment ? qputenv("OPENAI_BASE_URL", c.environment) : qunsetenv("OPENAI_BASE_URL");
        EXPECT_EQ(OpenAIService(c.configured).baseUrl(), c.expected);
    }

    qputenv("OPENAI_BASE_URL", (server.apiBaseUrl() + "/").toUtf8());
    const OpenAIService fromEnvironment;
    qunsetenv("OPENAI_BASE_URL");

    // A trailing slash on the base does not double the separator.
    server.replyWithChat("via environment");
    EXPECT_EQ(chat(fromEnvironment).value(), "via environment");
    ASSERT_EQ(server.chatRequests().size(), 1);
}

TEST_F(OpenAIServiceTest, transportFailuresPassThroughWithTheClientsDescription) {
    server.replyToChat(ScriptedResponse::dropped());
    const auto dropped = chat();
    ASSERT_FALSE(dropped.ok());
    EXPECT_EQ(dropped.error().kind, OpenAIError::Kind::Transport);
    EXPECT_FALSE(dropped.error().description().isEmpty());

    int closedPort = 0;
    {
        HttpTestServer closed;
        closedPort = closed.port();
    }
    const auto refused = chat(OpenAIService(QStringLiteral("http://127.0.0.1:%1/v1").arg(closedPort)));
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().kind, OpenAIError::Kind::Transport);
    EXPECT_THAT(refused.error().description().toStdString(), HasSubstr("refused"));
}

TEST_F(OpenAIServiceTest, silentServerTimesOutWithTheInjectedLimit) {
    OpenAIService::Timeouts timeouts;
    timeouts.chat = 1s;
    timeouts.image = 1s;
    const OpenAIService client(server.apiBaseUrl(), timeouts);

    server.replyToChat(ScriptedResponse::neverAnswers());
    EXPECT_EQ(chat(client).error(), OpenAIError::transport(httpTimeoutDescription()));

    // A transport failure is shown with the client's own words, nothing added.
    server.replyToImage(ScriptedResponse::neverAnswers());
    EXPECT_EQ(generate(client, "A fox", "auto", "gpt-image-1").error().description(), httpTimeoutDescription());
}

TEST_F(OpenAIServiceTest, largeErrorBodyUnderTheCapIsCarriedWhole) {
    const QByteArray large(16 * 1024 * 1024, 'x');
    server.replyToChat(ScriptedResponse::text(500, large));
    const auto result = chat();
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().statusCode, 500);
    EXPECT_EQ(result.error().message.size(), large.size());
    EXPECT_EQ(result.error().description().size(), QStringLiteral("HTTP 500: ").size() + large.size());
}

TEST_F(OpenAIServiceTest, answersPastTheirCapAreAbandonedWithAPlainMessage) {
    // Each answer is either endless (only counting stops it) or announces a
    // huge Content-Length and then trickles (only the header check stops it).
    ScriptedResponse endlessError = ScriptedResponse::endless();
    endlessError.status = 500;
    const QString chatTooLarge = "The server's answer is larger than 32 MiB.";
    const QString imageTooLarge = "The server's answer is larger than 64 MiB.";
    const QString downloadTooLarge = "The generated image is larger than 64 MiB.";
    enum class Call { chat, image, download };
    struct Row {
        const char* name;
        Call call;
        ScriptedResponse response;
        QString description;
    };
    const Row rows[] = {
        {"endless chat answer", Call::chat, ScriptedResponse::endless(), chatTooLarge},
        {"endless chat error answer", Call::chat, endlessError, chatTooLarge},
        {"chat answer announcing 1 TiB", Call::chat, ScriptedResponse::announcingLength(), chatTooLarge},
        {"chat answer announcing 32 MiB + 1", Call::chat, ScriptedResponse::announcingLength((32 << 20) + 1),
         chatTooLarge},
        {"endless image answer", Call::image, ScriptedResponse::endless(), imageTooLarge},
        {"image answer announcing 1 TiB", Call::image, ScriptedResponse::announcingLength(), imageTooLarge},
        {"endless image download", Call::download, ScriptedResponse::endless(), downloadTooLarge},
        {"image download announcing 1 TiB", Call::download, ScriptedResponse::announcingLength(), downloadTooLarge},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.call == Call::chat) {
            server.replyToChat(row.response);
        } else if (row.call == Call::image) {
            server.replyToImage(row.response);
        } else {
            server.replyToImage(
                ScriptedResponse::json(200, FakeOpenAIServer::imageUrlBody(server.serveFile(row.response))));
        }
        EXPECT_EQ(row.call == Call::chat ? errorOf(chat()) : errorOf(generate()), row.description);
        const StreamReport stream = server.http().waitForStreamEnd();
        EXPECT_EQ(stream.end, StreamReport::End::clientClosed);
        EXPECT_LT(stream.bytesSent, ScriptedResponse::defaultStreamBytes);
    }
    EXPECT_EQ(server.http().streams().size(), std::size(rows));
}

TEST_F(OpenAIServiceTest, completeChatLeavesTheInterfaceThreadResponsive) {
    // The server holds the answer until the interface thread has run a timer
    // while the request is in flight: a blocking call would never get there.
    auto released = std::make_shared<std::promise<void>>();
    auto release = released->get_future().share();
    server.http().handle("POST", FakeOpenAIServer::chatPath, [release](const RecordedRequest&) {
        release.wait_for(10s);
        return ScriptedResponse::json(200, FakeOpenAIServer::chatCompletionBody("answer after release"));
    });

    const OpenAIService client = service();
    QFuture<OpenAIResult<QString>> pending = client.completeChat("gpt-4o-mini", apiKey, conversation);
    EXPECT_FALSE(pending.isFinished());

    int ticksWhileWaiting = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (server.http().requestCount() > 0 && ticksWhileWaiting++ == 3) {
            released->set_value();
        }
    });
    ticker.start();

    QObject context;
    std::optional<OpenAIResult<QString>> delivered;
    Qt::HANDLE deliveredOn = nullptr;
    pending.then(&context, [&](const OpenAIResult<QString>& result) {
        deliveredOn = QThread::currentThreadId();
        delivered = result;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return delivered.has_value(); }, 15000));

    EXPECT_GE(ticksWhileWaiting, 4);
    EXPECT_EQ(deliveredOn, QThread::currentThreadId());
    ASSERT_TRUE(delivered->ok());
    EXPECT_EQ(delivered->value(), "answer after release");
}

// ---------------------------------------------------------------- images

TEST_F(OpenAIServiceTest, imageRequestShapeFollowsTheModel) {
    struct Row {
        const char* model;
        const char* size;
        const char* sentSize;
        bool responseFormat;
    };
    const Row rows[] = {
        {"gpt-image-1", " 1536X1024 ", "1536x1024", false},
        {"dall-e-3", " 1536X1024 ", "1792x1024", true},
        {"dall-e-2", " 1536X1024 ", "1024x1024", true},
        {"gpt-image-1", "auto", "auto", false},
        {"dall-e-3", "auto", "1024x1024", true},
        {"gpt-image-1-mini", "1024x1792", "1024x1536", false},
    };
    const RequestSchema schema("CreateImageRequest.json", "CreateImageRequest");
    ASSERT_TRUE(schema.loaded());
    const QByteArray png = FakeOpenAIServer::samplePng();
    const QString prompt = "  A red fox\nin snow  ";
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.model) + " " + row.size);
        server.http().clearRequests();
        server.replyWithImageB64(png);
        const auto result = generate(service(), prompt, row.size, row.model);
        ASSERT_TRUE(result.ok()) << result.error().description().toStdString();
        EXPECT_EQ(result.value(), png);

        ASSERT_EQ(server.imageRequests().size(), 1);
        const RecordedRequest request = server.imageRequests().front();
        EXPECT_EQ(request.header("Content-Type"), "application/json");
        EXPECT_EQ(request.header("Authorization"), "Bearer sk-test-123");
        const QJsonObject body = request.jsonBody();
        QJsonObject expected{{"model", row.model}, {"prompt", prompt}, {"n", 1}, {"size", row.sentSize}};
        if (row.responseFormat) {
            expected.insert("response_format", "b64_json");
        }
        EXPECT_EQ(body, expected);
        EXPECT_THAT(schema.problems(body), ::testing::IsEmpty());
    }
}

TEST_F(OpenAIServiceTest, imageFromBase64WithLineBreaksAndSpaces) {
    const QByteArray png = FakeOpenAIServer::samplePng(16, 16);
    QString wrapped;
    const QString encoded = QString::fromLatin1(png.toBase64());
    for (qsizetype i = 0; i < encoded.size(); i += 60) {
        wrapped += encoded.mid(i, 60) + "\r\n ";
    }
    server.replyToImage(ScriptedResponse::json(
        200, QJsonDocument(QJsonObject{{"data", QJsonArray{QJsonObject{{"b64_json", wrapped}}}}}).toJson()));
    const auto result = generate();
    ASSERT_TRUE(result.ok()) << result.error().description().toStdString();
    EXPECT_EQ(result.value(), png);
    EXPECT_TRUE(server.fileRequests().isEmpty());
}

TEST_F(OpenAIServiceTest, imageLinkIsDownloadedWithAPlainGet) {
    const QByteArray bytes("\x89PNG not really, but returned unchecked", 39);
    server.replyWithImageUrl(bytes);
    const auto result = generate();
    ASSERT_TRUE(result.ok()) << result.error().description().toStdString();
    EXPECT_EQ(result.value(), bytes);

    ASSERT_EQ(server.fileRequests().size(), 1);
    const RecordedRequest download = server.fileRequests().front();
    EXPECT_EQ(download.method, "GET");
    EXPECT_FALSE(download.hasHeader("Authorization"));
    EXPECT_TRUE(download.body.isEmpty());
}

TEST_F(OpenAIServiceTest, undecodableBase64FallsThroughToTheLink) {
    const QByteArray bytes = FakeOpenAIServer::samplePng();
    for (const char* badBase64 : {"", "!!!", "QQ==QQ=A"}) {
        SCOPED_TRACE(badBase64);
        server.http().clearRequests();
        const QString url = server.serveFile(ScriptedResponse::bytes(200, bytes, "image/png"));
        server.replyToImage(ScriptedResponse::json(
            200, QJsonDocument(QJsonObject{{"data", QJsonArray{QJsonObject{{"b64_json", badBase64}, {"url", url}}}}})
                     .toJson()));
        const auto result = generate();
        ASSERT_TRUE(result.ok()) << result.error().description().toStdString();
        EXPECT_EQ(result.value(), bytes);
        EXPECT_EQ(server.fileRequests().size(), 1);
    }
}

TEST_F(OpenAIServiceTest, linksOtherThanHttpAreNeverFetched) {
    // A misbehaving server must not make the client read local files into the website.
    QTemporaryFile secret;
    ASSERT_TRUE(secret.open());
    secret.write("private key material");
    secret.flush();
    for (const QString& link : {QUrl::fromLocalFile(secret.fileName()).toString(), QString("ftp://127.0.0.1/a.png"),
                                QString("data:image/png;base64,iVBORw0KGgo="), QString("/files/image-1.png")}) {
        SCOPED_TRACE(link.toStdString());
        server.replyToImage(ScriptedResponse::json(200, FakeOpenAIServer::imageUrlBody(link)));
        const auto result = generate();
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error().description(), "Could not read response: Image response had neither b64_json nor url");
    }
    EXPECT_TRUE(server.fileRequests().isEmpty());
}

TEST_F(OpenAIServiceTest, failedDownloadReadsAsHttpWithItsStatus) {
    const QString missing = server.serveFile(ScriptedResponse::text(404, "gone"));
    server.replyToImage(ScriptedResponse::json(200, FakeOpenAIServer::imageUrlBody(missing)));
    EXPECT_EQ(generate().error().description(), "HTTP 404: Failed to download generated image");

    const QString dropped = server.serveFile(ScriptedResponse::dropped());
    server.replyToImage(ScriptedResponse::json(200, FakeOpenAIServer::imageUrlBody(dropped)));
    EXPECT_EQ(generate().error().kind, OpenAIError::Kind::Transport);

    OpenAIService::Timeouts timeouts = shortTimeouts();
    timeouts.download = 1s;
    const QString silent = server.serveFile(ScriptedResponse::neverAnswers());
    server.replyToImage(ScriptedResponse::json(200, FakeOpenAIServer::imageUrlBody(silent)));
    EXPECT_EQ(generate(OpenAIService(server.apiBaseUrl(), timeouts), "A fox", "auto", "gpt-image-1").error(),
              OpenAIError::transport(httpTimeoutDescription()));
}

// ---------------------------------------------------------------- fallback to dall-e-3

TEST_F(OpenAIServiceTest, refusedGptImageIsRetriedOnceWithDallE3) {
    const char* markers[] = {"must be verified", "organization",    "not allowed",    "verify",
                             "unsupported",      "not have access", "model_not_found"};
    const QByteArray png = FakeOpenAIServer::samplePng();
    for (int status : {400, 403, 404}) {
        for (const char* marker : markers) {
            SCOPED_TRACE(std::to_string(status) + " " + marker);
            server.http().clearRequests();
            // Upper case in the body still counts.
            server.replyToImage(ScriptedResponse::json(status, R"({"error":{"message":"Sorry: )" +
                                                                   QByteArray(marker).toUpper() + R"(."}})"));
            server.replyWithImageB64(png);

            const auto result = generate(service(), "A fox", "1536x1024", "gpt-image-1");

            ASSERT_TRUE(result.ok()) << result.error().description().toStdString();
            EXPECT_EQ(result.value(), png);
            const auto requests = server.imageRequests();
            ASSERT_EQ(requests.size(), 2);
            EXPECT_EQ(requests.at(0).jsonBody().value("model").toString(), "gpt-image-1");
            EXPECT_EQ(requests.at(0).jsonBody().value("size").toString(), "1536x1024");
            const QJsonObject retry = requests.at(1).jsonBody();
            EXPECT_EQ(retry, (QJsonObject{{"model", "dall-e-3"},
                                          {"prompt", "A fox"},
                                          {"n", 1},
                                          {"size", "1792x1024"},
                                          {"response_format", "b64_json"}}));
            EXPECT_EQ(requests.at(1).header("Authorization"), "Bearer sk-test-123");
        }
    }
}

TEST_F(OpenAIServiceTest, retryOutcomeIsFinalEvenWhenItFails) {
    const QByteArray refusal = R"({"error":{"message":"Your organization must be verified"}})";
    server.replyToImage(ScriptedResponse::json(403, refusal));
    server.replyToImage(ScriptedResponse::json(400, R"({"error":{"message":"unsupported for this organization"}})"));
    const auto result = generate();
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().description(), R"(HTTP 400: {"error":{"message":"unsupported for this organization"}})");
    EXPECT_EQ(server.imageRequests().size(), 2);
}

TEST_F(OpenAIServiceTest, otherFailuresAreNotRetried) {
    const QByteArray refusal = R"({"error":{"message":"Your organization must be verified"}})";
    struct Row {
        const char* name;
        const char* model;
        ScriptedResponse response;
    };
    const Row rows[] = {
        {"dall-e-3 refused", "dall-e-3", ScriptedResponse::json(403, refusal)},
        {"dall-e-2 refused", "dall-e-2", ScriptedResponse::json(403, refusal)},
        {"other gpt image model", "gpt-image-1-mini", ScriptedResponse::json(403, refusal)},
        {"model name in capitals", "GPT-IMAGE-1", ScriptedResponse::json(403, refusal)},
        {"500 mentioning organization", "gpt-image-1", ScriptedResponse::json(500, refusal)},
        {"401 mentioning organization", "gpt-image-1", ScriptedResponse::json(401, refusal)},
        {"429 mentioning organization", "gpt-image-1", ScriptedResponse::json(429, refusal)},
        {"403 without a marker", "gpt-image-1", ScriptedResponse::json(403, R"({"error":"Forbidden"})")},
        {"403 binary body", "gpt-image-1",
         ScriptedResponse::bytes(403, QByteArray("\xff organization", 14), "application/octet-stream")},
        {"200 without image", "gpt-image-1", ScriptedResponse::json(200, R"({"data":[]})")},
        {"dropped", "gpt-image-1", ScriptedResponse::dropped()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        server.http().clearRequests();
        server.replyToImage(row.response);
        server.replyWithImageB64(FakeOpenAIServer::samplePng()); // would be used by a retry

        const auto result = generate(service(), "A fox", "1024x1024", row.model);

        ASSERT_FALSE(result.ok());
        EXPECT_EQ(server.imageRequests().size(), 1);
        if (row.response.status != 200 && !row.response.dropConnection) {
            EXPECT_EQ(result.error().kind, OpenAIError::Kind::Http);
            EXPECT_EQ(result.error().statusCode, row.response.status);
        }
        // Consume the unused reply so the next row starts clean.
        ASSERT_TRUE(generate(service(), "drain", "1024x1024", "dall-e-2").ok());
    }
}

} // namespace

// ---------------------------------------------------------------- models list

class OpenAIModelsTest : public OpenAIServiceTest {
protected:
    OpenAIResult<QStringList> listModels(const OpenAIService& client, const QString& key = apiKey) {
        return client.listModels(key).result();
    }
    OpenAIResult<QStringList> listModels() { return listModels(service()); }
};

TEST_F(OpenAIModelsTest, listsTheServersModelsWithAGetCarryingTheKey) {
    for (const int count : {0, 3, 500}) {
        SCOPED_TRACE(count);
        server.http().clearRequests();
        server.replyWithModels(FakeOpenAIServer::numberedModels(count));
        const auto result = listModels();
        ASSERT_TRUE(result.ok()) << result.error().description().toStdString();
        EXPECT_EQ(result.value(), FakeOpenAIServer::numberedModels(count));
        ASSERT_EQ(server.modelsRequests().size(), 1);
        const RecordedRequest request = server.modelsRequests().front();
        EXPECT_EQ(request.header("Authorization"), "Bearer " + apiKey.toUtf8());
        EXPECT_TRUE(request.body.isEmpty());
    }
}

TEST_F(OpenAIModelsTest, failuresReadAsTheChatsDo) {
    server.replyToModels(ScriptedResponse::json(401, R"({"error":{"message":"Incorrect API key provided"}})"));
    const auto refused = listModels();
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().description(), R"(HTTP 401: {"error":{"message":"Incorrect API key provided"}})");
    EXPECT_TRUE(refused.error().concernsTheKey());

    server.replyToModels(ScriptedResponse::json(200, R"({"object":"list"})"));
    EXPECT_EQ(listModels().error(), OpenAIError::decoding("missing key 'data'"));

    EXPECT_EQ(listModels(service(), "  ").error(), OpenAIError::missingAPIKey());
    EXPECT_EQ(listModels(OpenAIService("ftp://example.invalid/v1")).error(), OpenAIError::invalidURL());
    EXPECT_EQ(server.modelsRequests().size(), 2);
}

TEST_F(OpenAIModelsTest, silentOrEndlessServersEndTheCall) {
    OpenAIService::Timeouts timeouts = shortTimeouts();
    timeouts.models = 1s;
    server.replyToModels(ScriptedResponse::neverAnswers());
    EXPECT_EQ(listModels(OpenAIService(server.apiBaseUrl(), timeouts)).error(),
              OpenAIError::transport(httpTimeoutDescription()));

    server.replyToModels(ScriptedResponse::endless());
    const auto endless = listModels();
    ASSERT_FALSE(endless.ok());
    EXPECT_EQ(endless.error().kind, OpenAIError::Kind::BodyTooLarge);
    EXPECT_EQ(endless.error().description(), "The server's answer is larger than 4 MiB.");
}
