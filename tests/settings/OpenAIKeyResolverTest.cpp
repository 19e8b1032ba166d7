#include "settings/OpenAIKeyResolver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace kestrion;

namespace {

QString keyFolder() {
    return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/DuvUDUvadIra");
}

class OpenAIKeyResolverTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }

    static void reset() {
        QDir(keyFolder()).removeRecursively();
        qunsetenv("OPENAI_API_KEY");
    }

    static void writeKeyFile(const QByteArray& bytes) {
        QDir().mkpath(keyFolder());
        QFile file(keyFolder() + QStringLiteral("/openai_api_key"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
};

} // namespace

TEST_F(OpenAIKeyResolverTest, keyFile_isTrimmedAndEmptyOrInvalidContentCountsAsAbsent) {
    const struct {
        QByteArray content;
        std::optional<QString> expected;
    } cases[] = {
        {"sk-file-key", QStringLiteral("sk-file-key")},
        {"  sk-file-key\r\n\n", QStringLiteral("sk-file-key")},
        {"\n", std::nullopt},
        {"", std::nullopt},
        {" \t \n ", std::nullopt},
        {"sk-\xff\xfe-broken", std::nullopt},
        {"\xc3", std::nullopt},
        {QByteArray(64 * 1024 + 1, 'k'), std::nullopt},
        {QByteArray(64 * 1024, 'k'), QString(64 * 1024, QLatin1Char('k'))},
    };
    for (const auto& testCase : cases) {
        writeKeyFile(testCase.content);
        EXPECT_EQ(OpenAIKeyResolver::readApplicationSupportKeyFile(), testCase.expected)
            << testCase.content.left(40).toStdString();
    }
}

TEST_F(OpenAIKeyResolverTest, missingKeyFileOrFolderInItsPlace_isAbsentAndNothingIsCreated) {
    EXPECT_EQ(OpenAIKeyResolver::readApplicationSupportKeyFile(), std::nullopt);
    EXPECT_FALSE(QFileInfo::exists(keyFolder()));

    QDir().mkpath(keyFolder() + QStringLiteral("/openai_api_key"));
    EXPECT_EQ(OpenAIKeyResolver::readApplicationSupportKeyFile(), std::nullopt);
}

TEST_F(OpenAIKeyResolverTest, environmentKey_isTrimmedAndBlankCountsAsAbsent) {
    EXPECT_EQ(OpenAIKeyResolver::readEnvironmentKey(), std::nullopt);
    qputenv("OPENAI_API_KEY", "");
    EXPECT_EQ(OpenAIKeyResolver::readEnvironmentKey(), std::nullopt);
    qputenv("OPENAI_API_KEY", " \n ");
    EXPECT_EQ(OpenAIKeyResolver::readEnvironmentKey(), std::nullopt);
    qputenv("OPENAI_API_KEY", "\tsk-env \n");
    EXPECT_EQ(OpenAIKeyResolver::readEnvironmentKey(), std::optional<QString>(QStringLiteral("sk-env")));
}

TEST_F(OpenAIKeyResolverTest, resolve_namesTheFirstSourceThatHoldsAKey) {
    using Source = OpenAIKeyResolver::KeySource;
    // This build ships no key, so the built-in source is passed over.
    ASSERT_EQ(OpenAIKeyResolver::readBundledDefaultAPIKey(), std::nullopt);
    struct Case {
        const char* preferences;
        const char* environment; // nullptr: unset
        const char* keyFile;     // nullptr: no file
        const char* key;
        Source source;
    };
    const Case cases[] = {
        {"", nullptr, nullptr, "", Source::None},
        {" \n", " ", "\n", "", Source::None},
        {" sk-pref ", "sk-env", "sk-file", "sk-pref", Source::Preferences},
        {"  ", "sk-env", "sk-file", "sk-env", Source::Environment},
        {"", nullptr, "sk-file\n", "sk-file", Source::KeyFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        reset();
        if (c.environment) {
            qputenv("OPENAI_API_KEY", c.environment);
        }
        if (c.keyFile) {
            writeKeyFile(c.keyFile);
        }
        const OpenAIKeyResolver::ResolvedKey resolved = OpenAIKeyResolver::resolve(QString::fromUtf8(c.preferences));
        EXPECT_EQ(resolved.key, QString::fromUtf8(c.key));
        EXPECT_EQ(resolved.source, c.source);
    }
}
