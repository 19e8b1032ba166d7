#include "deploy/PanelApi.h"

#include "deploy/DeployError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gmock/gmock.h>

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kestrion {
namespace {

using Kind = DeployError::Kind;

QJsonObject parseObject(const char* json) {
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

std::optional<QByteArray> header(const HttpRequest& request, const QByteArray& name) {
    for (const auto& [key, value] : request.headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return std::nullopt;
}

// The messages a deploy run produces are checked word for word where the run produces them
// (DeployRunTest); these are the ones no run there ends with.
TEST(DeployErrorTest, descriptionsAreTheUserFacingMessages) {
    const struct {
        DeployError error;
        QString expected;
    } cases[] = {
        {DeployError::invalidResponse(QStringLiteral("/api/v1/macos-app/deploy/status")),
         QStringLiteral("Unexpected JSON from /api/v1/macos-app/deploy/status.")},
        {DeployError::invalidResponse(QString()), QStringLiteral("Unexpected JSON from .")},
        {DeployError::missingOutputFolder(),
         QStringLiteral("Choose a website directory with your project files before launching.")},
        {DeployError::invalidBaseURL(), QStringLiteral("Could not build Kestrion API URL.")},
        {DeployError::platform(QStringLiteral("Connection refused")), QStringLiteral("Connection refused")},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(testCase.error.description(), testCase.expected);
        EXPECT_EQ(QString::fromUtf8(testCase.error.what()), testCase.expected);
    }
}

TEST(DeployErrorTest, httpBodyCutNeverSplitsACharacter) {
    // 499 ASCII characters then an emoji (a surrogate pair): the cut keeps it whole.
    const QString body = QString(499, QLatin1Char('a')) + QStringLiteral("\U0001F600") + QStringLiteral("tail");
    const QString text = DeployError::httpError(QStringLiteral("prepare"), 500, body).description();
    EXPECT_TRUE(text.endsWith(QStringLiteral("\U0001F600")));
}

TEST(ApiUrlTest, trimsBlanksAndSlashesAroundTheBase) {
    const QString path = PanelApi::preparePath;
    const QUrl bare = PanelApi::apiURL(QStringLiteral("https://panel.example"), path);
    EXPECT_EQ(bare.toString(), QStringLiteral("https://panel.example/api/v1/macos-app/deploy/prepare"));
    for (const char* base :
         {"  https://panel.example/  ", "https://panel.example///", "\n\thttps://panel.example/\n"}) {
        EXPECT_EQ(PanelApi::apiURL(QString::fromUtf8(base), path), bare) << base;
    }
    EXPECT_EQ(PanelApi::apiURL(QStringLiteral("http://127.0.0.1:8080/panel/"), PanelApi::statusPath).toString(),
              QStringLiteral("http://127.0.0.1:8080/panel/api/v1/macos-app/deploy/status"));
}

TEST(ApiUrlTest, unusableBasesThrowInvalidBaseURL) {
    for (const char* base : {"", "   ", " / // ", "\n/\n", "not a url", "panel.example", "localhost:8080", "http://"}) {
        try {
            PanelApi::apiURL(QString::fromUtf8(base), PanelApi::preparePath);
            ADD_FAILURE() << "accepted " << base;
        } catch (const DeployError& error) {
            EXPECT_EQ(error.kind(), Kind::invalidBaseURL) << base;
        }
    }
}

TEST(JsonRequestTest, postWithBodyCarriesEveryHeaderAndCompactJson) {
    const QUrl url(QStringLiteral("https://panel.example/x"));
    const HttpRequest request =
        PanelApi::jsonRequest(url, "POST", QStringLiteral("  tok\n"), QJsonObject{{QStringLiteral("a"), 1}});
    EXPECT_EQ(request.method, QByteArray("POST"));
    EXPECT_EQ(request.url, url);
    EXPECT_EQ(request.timeout, std::chrono::seconds(1800));
    EXPECT_EQ(header(request, "Accept"), QByteArray("application/json"));
    EXPECT_EQ(header(request, "Authorization"), QByteArray("Bearer tok"));
    EXPECT_EQ(header(request, "Content-Type"), QByteArray("application/json"));
    EXPECT_EQ(request.body, QByteArray(R"({"a":1})"));
}

TEST(JsonRequestTest, blankTokenOmitsAuthorizationAndNoBodyOmitsContentType) {
    const HttpRequest request =
        PanelApi::jsonRequest(QUrl(QStringLiteral("https://panel.example/x")), "GET", QStringLiteral(" \t\r\n "));
    EXPECT_EQ(header(request, "Authorization"), std::nullopt);
    EXPECT_EQ(header(request, "Content-Type"), std::nullopt);
    EXPECT_EQ(header(request, "Accept"), QByteArray("application/json"));
    EXPECT_FALSE(request.body.has_value());
}

TEST(MessageFromJsonObjectTest, picksMessageOrJoinsValidationErrors) {
    const struct {
        const char* json;
        std::optional<QString> expected;
    } cases[] = {
        {R"({"message":"","errors":{"name":["is taken"]}})", QStringLiteral("name: is taken")},
        {R"({"message":"  Bad token ","errors":{"name":[1]}})", QStringLiteral("  Bad token ")},
        {R"({"errors":{"a":["x","y"],"b":["z"]}})", QStringLiteral("a: x \u00B7 a: y \u00B7 b: z")},
        {R"({"errors":{"name":7}})", std::nullopt},
        {R"({"errors":{"a":["x"],"b":"not an array"}})", std::nullopt},
        {R"({"errors":{"a":["x", 3]}})", std::nullopt},
        {R"({"errors":{"a":[]}})", std::nullopt},
        {R"({"errors":["a"]})", std::nullopt},
        {R"({"message":42})", std::nullopt},
        {R"({})", std::nullopt},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(PanelApi::messageFromJsonObject(parseObject(testCase.json)), testCase.expected) << testCase.json;
    }
    EXPECT_EQ(PanelApi::messageFromJsonObject(std::nullopt), std::nullopt);
}

TEST(LenientIntegerTest, readsNumbersAndDigitStringsOnly) {
    const struct {
        const char* json; // the value of "v"
        std::optional<qint64> expected;
    } cases[] = {
        {"42", 42},
        {"-7", -7},
        {"42.9", 42},
        {"-42.9", -42},
        {"0.5", 0},
        {"9007199254740993", 9007199254740993LL}, // beyond double precision: kept exact
        {"9223372036854775807", std::numeric_limits<qint64>::max()},
        {"9223372036854775808", std::nullopt}, // one past the largest
        {"1e300", std::nullopt},
        {R"("42")", 42},
        {R"("+42")", 42},
        {R"("-42")", -42},
        {R"("4x2")", std::nullopt},
        {R"(" 42")", std::nullopt},
        {R"("42 ")", std::nullopt},
        {R"("42.0")", std::nullopt},
        {R"("+")", std::nullopt},
        {R"("+-4")", std::nullopt},
        {R"("")", std::nullopt},
        {R"("99999999999999999999")", std::nullopt},
        {R"("٤٢")", std::nullopt}, // non-ASCII digits
        {"null", std::nullopt},
        {"true", std::nullopt},
        {"[1]", std::nullopt},
        {R"({"a":1})", std::nullopt},
    };
    for (const auto& testCase : cases) {
        const QJsonObject object = parseObject((QByteArray(R"({"v":)") + testCase.json + "}").constData());
        ASSERT_TRUE(object.contains(QStringLiteral("v"))) << testCase.json;
        EXPECT_EQ(PanelApi::lenientInteger(object.value(QStringLiteral("v"))), testCase.expected) << testCase.json;
    }
    EXPECT_EQ(PanelApi::lenientInteger(QJsonValue(QJsonValue::Undefined)), std::nullopt);
}

} // namespace
} // namespace kestrion
