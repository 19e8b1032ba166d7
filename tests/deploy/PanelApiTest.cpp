#include "deploy/PanelApi.h"

#include "deploy/DeployError.h"
#include "deploy/DeployRun.h"
#include "deploy/DeviceIdentity.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
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

QSettings settingsStore() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kestrion"),
                     QStringLiteral("DuvUDUvadIra"));
}

std::optional<QByteArray> header(const HttpRequest& request, const QByteArray& name) {
    for (const auto& [key, value] : request.headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return std::nullopt;
}

TEST(DeployErrorTest, descriptionsAreTheUserFacingMessages) {
    const QString body600 = QString(600, QLatin1Char('x'));
    const struct {
        DeployError error;
        QString expected;
    } cases[] = {
        {DeployError::gitCommandFailed(QStringLiteral("fatal: nope")), QStringLiteral("Git failed: fatal: nope")},
        {DeployError::httpError(QStringLiteral("prepare"), 401, QString()),
         QStringLiteral("Kestrion API returned HTTP 401. ")},
        {DeployError::httpError(QStringLiteral("finalize"), 500, QStringLiteral("\n  oops \r\n")),
         QStringLiteral("Kestrion API returned HTTP 500. oops")},
        {DeployError::httpError(QStringLiteral("prepare"), 502, QStringLiteral("  ") + body600),
         QStringLiteral("Kestrion API returned HTTP 502. ") + QString(500, QLatin1Char('x'))},
        {DeployError::invalidResponse(QStringLiteral("/api/v1/macos-app/deploy/status")),
         QStringLiteral("Unexpected JSON from /api/v1/macos-app/deploy/status.")},
        {DeployError::invalidResponse(QString()), QStringLiteral("Unexpected JSON from .")},
        {DeployError::missingOutputFolder(),
         QStringLiteral("Choose a website directory with your project files before launching.")},
        {DeployError::missingGit(),
         QStringLiteral("Git is required for Kestrion deploy (/usr/bin/git not found). Install git with your "
                        "package manager.")},
        {DeployError::invalidBaseURL(), QStringLiteral("Could not build Kestrion API URL.")},
        {DeployError::prepareMissingPushUrl(), QStringLiteral("Prepare response missing push_url.")},
        {DeployError::platform(QStringLiteral("Connection refused")), QStringLiteral("Connection refused")},
        {DeployError::answerTooLarge(4 << 20), QStringLiteral("The Kestrion API's answer is larger than 4 MiB.")},
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

class FingerprintTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings settings = settingsStore();
        settings.remove(DeviceIdentity::fingerprintSettingsKey);
        settings.sync();
    }
};

TEST_F(FingerprintTest, createdOnceAsLowercaseUuidAndThenReused) {
    const QString first = DeviceIdentity::fingerprint();
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$"))
            .match(first)
            .hasMatch())
        << first.toStdString();
    EXPECT_EQ(settingsStore().value(DeviceIdentity::fingerprintSettingsKey).toString(), first);
    EXPECT_EQ(DeviceIdentity::fingerprint(), first);
}

TEST_F(FingerprintTest, storedValueIsTrimmedAndLowercasedButNotRewritten) {
    const QString stored = QStringLiteral("  ABCDEF01-2345-4678-9ABC-DEF012345678 \n");
    {
        QSettings settings = settingsStore();
        settings.setValue(DeviceIdentity::fingerprintSettingsKey, stored);
    }
    EXPECT_EQ(DeviceIdentity::fingerprint(), QStringLiteral("abcdef01-2345-4678-9abc-def012345678"));
    EXPECT_EQ(settingsStore().value(DeviceIdentity::fingerprintSettingsKey).toString(), stored);
}

TEST_F(FingerprintTest, blankStoredValueIsReplaced) {
    {
        QSettings settings = settingsStore();
        settings.setValue(DeviceIdentity::fingerprintSettingsKey, QStringLiteral("   "));
    }
    const QString created = DeviceIdentity::fingerprint();
    EXPECT_EQ(created.size(), 36);
    EXPECT_EQ(settingsStore().value(DeviceIdentity::fingerprintSettingsKey).toString(), created);
}

TEST_F(FingerprintTest, workspaceKeyIsStablePerFolderAndMachine) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("Site/sub")));
    const QString site = dir.filePath(QStringLiteral("Site"));

    const QString key = DeviceIdentity::workspaceKey(site);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^ws_[0-9a-f]{40}$")).match(key).hasMatch()) << key.toStdString();
    for (const QString& spelling : {site + QStringLiteral("/"), site + QStringLiteral("/./sub/.."),
                                    dir.filePath(QStringLiteral("SITE")), site.toUpper()}) {
        EXPECT_EQ(DeviceIdentity::workspaceKey(spelling), key) << spelling.toStdString();
    }
    EXPECT_NE(DeviceIdentity::workspaceKey(dir.filePath(QStringLiteral("Site/sub"))), key);

    // The key is the documented digest, so the panel can recognise it across versions.
    const QString fingerprint = DeviceIdentity::fingerprint();
    const QByteArray digest =
        QCryptographicHash::hash((fingerprint + QLatin1Char('|') + QDir::cleanPath(site).toLower()).toUtf8(),
                                 QCryptographicHash::Sha256)
            .toHex();
    EXPECT_EQ(key, QStringLiteral("ws_") + QString::fromLatin1(digest.left(40)));

    // Another machine: another fingerprint, another key.
    {
        QSettings settings = settingsStore();
        settings.setValue(DeviceIdentity::fingerprintSettingsKey,
                          QStringLiteral("11111111-1111-4111-8111-111111111111"));
    }
    EXPECT_NE(DeviceIdentity::workspaceKey(site), key);
}

TEST(StatusPollLineTest, wordsEachAnswer) {
    const struct {
        std::optional<const char*> json;
        QString expected;
    } cases[] = {
        {std::nullopt, QStringLiteral("Checking deploy status\u2026")},
        {R"({"state":"building","current_step_label":"Copying files","step_number":2,"step_total":5})",
         QStringLiteral("State: building \u00B7 Copying files \u00B7 Step 2 of 5")},
        {R"({})", QStringLiteral("State: ?")},
        {R"({"state":"  "})", QStringLiteral("Checking deploy status\u2026")},
        {R"({"state":" Queued\n"})", QStringLiteral("State: Queued")},
        {R"({"state":7,"current_step_label":" Install "})", QStringLiteral("State: ? \u00B7 Install")},
        {R"({"state":"","step_number":"3","step_total":"4"})", QStringLiteral("Step 3 of 4")},
        {R"({"state":"","step_number":3,"step_total":0})", QStringLiteral("Checking deploy status\u2026")},
        {R"({"state":"","step_number":3})", QStringLiteral("Checking deploy status\u2026")},
        {R"({"state":"","step_number":"x","step_total":4})", QStringLiteral("Checking deploy status\u2026")},
        {R"({"state":"","current_step_label":5,"step_number":1.7,"step_total":2.2})", QStringLiteral("Step 1 of 2")},
    };
    for (const auto& testCase : cases) {
        const std::optional<QJsonObject> answer =
            testCase.json ? std::optional<QJsonObject>(parseObject(*testCase.json)) : std::nullopt;
        EXPECT_EQ(DeployRun::humanReadableStatusPollLine(answer), testCase.expected) << testCase.json.value_or("none");
    }
}

TEST(ProjectLabelTest, lastComponentTrimmedAndCut) {
    EXPECT_EQ(DeployRun::projectLabel(QStringLiteral("/home/u/My Site")), QStringLiteral("My Site"));
    EXPECT_EQ(DeployRun::projectLabel(QStringLiteral("/home/u/My Site/")), QStringLiteral("My Site"));
    EXPECT_EQ(DeployRun::projectLabel(QStringLiteral("/home/u/  padded  ")), QStringLiteral("padded"));
    EXPECT_EQ(DeployRun::projectLabel(QStringLiteral("/home/u/") + QString(90, QLatin1Char('n'))),
              QString(80, QLatin1Char('n')));
    EXPECT_EQ(DeployRun::projectLabel(QStringLiteral("/")), QStringLiteral("macos-app-project"));
    EXPECT_EQ(DeployRun::projectLabel(QStringLiteral("/home/u/   ")), QStringLiteral("macos-app-project"));
}

} // namespace
} // namespace kestrion
