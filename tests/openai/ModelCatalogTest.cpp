#include "openai/ModelCatalog.h"

#include "settings/AppSettings.h"
#include "support/Eventually.h"
#include "support/FakeOpenAIServer.h"

#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace kestrion;
using namespace kestrion::test;
using namespace std::chrono_literals;

namespace {

const QStringList defaults = ModelCatalog::defaultModels;

TEST(ModelCatalogListTest, defaultsThenTheStoredModelThenTheServersOwnSorted) {
    struct Row {
        const char* stored;
        QStringList server;
        QStringList expected;
    };
    const Row rows[] = {
        {"gpt-4o-mini", {}, defaults},
        {"", {}, defaults},
        {"gpt-4o", {"gpt-4o", "gpt-4o-mini"}, defaults},
        {"llama3", {}, defaults + QStringList{"llama3"}},
        {"llama3",
         {"qwen2", "llama3", "Mistral", "gpt-4o", "alpha"},
         defaults + QStringList{"llama3", "alpha", "Mistral", "qwen2"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored);
        EXPECT_EQ(ModelCatalog::pickerModels(QString::fromUtf8(row.stored), row.server), row.expected);
    }
}

TEST(ModelCatalogListTest, keptListsReadFromTheFileAreCheckedLikeAServersAnswer) {
    const QString eightServers = [] {
        ModelCatalog::ServerLists lists;
        for (int i = 0; i < ModelCatalog::maxCachedServers + 2; ++i) {
            lists.append({QStringLiteral("http://h%1/v1").arg(i), {QStringLiteral("m%1").arg(i)}});
        }
        return ModelCatalog::encodeServerLists(lists);
    }();
    struct Row {
        QString text;
        ModelCatalog::ServerLists expected;
    };
    const Row rows[] = {
        {"", {}},
        {"not json", {}},
        {R"({"base_url":"http://a/v1","models":["x"]})", {}},
        {R"([1, null, {"base_url":7,"models":["x"]}, {"base_url":"","models":["x"]}, {"base_url":"http://a/v1"}])", {}},
        {R"([{"base_url":"http://a/v1","models":["x","x",3,"","line\nbreak","y"]},)"
         R"({"base_url":"http://a/v1","models":["shadowed"]},{"base_url":"http://b/v1","models":[]}])",
         {{"http://a/v1", {"x", "y"}}, {"http://b/v1", {}}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        EXPECT_EQ(ModelCatalog::decodeServerLists(row.text), row.expected);
    }
    const ModelCatalog::ServerLists kept = ModelCatalog::decodeServerLists(eightServers);
    ASSERT_EQ(kept.size(), ModelCatalog::maxCachedServers);
    EXPECT_EQ(kept.first().first, QStringLiteral("http://h0/v1"));
}

class ModelCatalogTest : public ::testing::Test {
protected:
    void SetUp() override {
        QFile::remove(AppSettings::openStore()->fileName());
        settings = std::make_unique<AppSettings>();
        settings->setOpenAIBaseURL(server.apiBaseUrl());
        settings->setApiKey(QStringLiteral("sk-local"));
        catalog = std::make_unique<ModelCatalog>(settings.get(), timeouts());
    }

    static OpenAIService::Timeouts timeouts() {
        OpenAIService::Timeouts shortened;
        shortened.models = 1s;
        return shortened;
    }

    OpenAIResult<QStringList> refresh() {
        QFuture<OpenAIResult<QStringList>> future = catalog->refresh();
        EXPECT_TRUE(eventually([&] { return future.isFinished(); }));
        return future.result();
    }

    FakeOpenAIServer server;
    std::unique_ptr<AppSettings> settings;
    std::unique_ptr<ModelCatalog> catalog;
};

TEST_F(ModelCatalogTest, aServersListIsKeptPerBaseUrlAcrossStarts) {
    server.replyWithModels({"llama3", "qwen2"});
    QSignalSpy changed(catalog.get(), &ModelCatalog::modelsChanged);
    ASSERT_TRUE(refresh().ok());
    EXPECT_EQ(changed.size(), 1);
    EXPECT_EQ(catalog->models(), (defaults + QStringList{"llama3", "qwen2"}));

    // Another server has its own list; the first one's comes back with its URL.
    FakeOpenAIServer other;
    other.replyWithModels({"phi3"});
    settings->setOpenAIBaseURL(other.apiBaseUrl() + QStringLiteral("/"));
    EXPECT_EQ(catalog->models(), defaults);
    ASSERT_TRUE(refresh().ok());
    EXPECT_EQ(catalog->serverModels(), QStringList{"phi3"});
    settings->setOpenAIBaseURL(server.apiBaseUrl());
    EXPECT_EQ(catalog->serverModels(), (QStringList{"llama3", "qwen2"}));

    // A new start reads the lists back, and the other settings are as they were.
    catalog.reset();
    settings = std::make_unique<AppSettings>();
    catalog = std::make_unique<ModelCatalog>(settings.get());
    EXPECT_EQ(catalog->serverModels(), (QStringList{"llama3", "qwen2"}));
    EXPECT_EQ(settings->apiKey(), QStringLiteral("sk-local"));
    EXPECT_EQ(settings->openAIBaseURL(), server.apiBaseUrl());
    EXPECT_EQ(settings->model(), AppSettings::defaultModel);
}

TEST_F(ModelCatalogTest, aFailedRefreshKeepsTheLastListAndSaysWhy) {
    server.replyWithModels({"llama3"});
    ASSERT_TRUE(refresh().ok());
    const struct {
        ScriptedResponse answer;
        OpenAIError::Kind kind;
    } failures[] = {
        {ScriptedResponse::json(401, R"({"error":"bad key"})"), OpenAIError::Kind::Http},
        {ScriptedResponse::neverAnswers(), OpenAIError::Kind::Transport},
        {ScriptedResponse::json(200, "[]"), OpenAIError::Kind::Decoding},
    };
    for (const auto& failure : failures) {
        server.replyToModels(failure.answer);
        const auto result = refresh();
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error().kind, failure.kind);
        EXPECT_EQ(catalog->serverModels(), QStringList{"llama3"});
    }
    // An empty list is an answer: the server has no models now.
    server.replyWithModels({});
    ASSERT_TRUE(refresh().ok());
    EXPECT_EQ(catalog->models(), defaults);
}

TEST_F(ModelCatalogTest, theKeyComesFromItsFallbacksAndNoKeySendsNothing) {
    settings->setApiKey(QString());
    const auto result = refresh();
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), OpenAIError::missingAPIKey());
    EXPECT_TRUE(server.modelsRequests().isEmpty());

    qputenv("OPENAI_API_KEY", "sk-from-env");
    server.replyWithModels({"m"});
    EXPECT_TRUE(refresh().ok());
    qunsetenv("OPENAI_API_KEY");
    ASSERT_EQ(server.modelsRequests().size(), 1);
    EXPECT_EQ(server.modelsRequests().first().header("Authorization"), "Bearer sk-from-env");
}

} // namespace
