#include "settings/AppSettings.h"

#include "settings/OpenAIKeyResolver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPoint>
#include <QSignalSpy>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace kestrion;

namespace {

QString storePath() {
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Kestrion/DuvUDUvadIra.conf");
}

QString keyFilePath() {
    return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/DuvUDUvadIra/openai_api_key");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

class AppSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }

    static void reset() {
        QFile::remove(storePath());
        QFile::remove(keyFilePath());
        qunsetenv("OPENAI_API_KEY");
        qunsetenv("OPENAI_BASE_URL");
    }
};

// One text setting: how to write it, read it, which signal announces it and under which key it is stored.
struct TextSetting {
    const char* name;
    QString key;
    std::function<void(AppSettings&, const QString&)> set;
    std::function<QString(const AppSettings&)> get;
    void (AppSettings::*signal)();
};

QList<TextSetting> textSettings() {
    return {
        {"apiKey", AppSettings::apiKeyKey, &AppSettings::setApiKey, &AppSettings::apiKey, &AppSettings::apiKeyChanged},
        {"model", AppSettings::modelKey, &AppSettings::setModel, &AppSettings::model, &AppSettings::modelChanged},
        {"kestrionPanelBaseURL", AppSettings::kestrionPanelBaseURLKey, &AppSettings::setKestrionPanelBaseURL,
         &AppSettings::kestrionPanelBaseURL, &AppSettings::kestrionPanelBaseURLChanged},
        {"kestrionApiToken", AppSettings::kestrionApiTokenKey, &AppSettings::setKestrionApiToken,
         &AppSettings::kestrionApiToken, &AppSettings::kestrionApiTokenChanged},
        {"openAIBaseURL", AppSettings::openAIBaseURLKey, &AppSettings::setOpenAIBaseURL, &AppSettings::openAIBaseURL,
         &AppSettings::openAIBaseURLChanged},
    };
}

// The store's permission bits, or -1 when it does not exist.
int storeMode() {
    struct stat info {};
    if (::stat(QFile::encodeName(storePath()).constData(), &info) != 0) {
        return -1;
    }
    return static_cast<int>(info.st_mode & 07777);
}

// Runs the test body under the usual desktop umask, whatever the test runner was started with.
class UsualUmask {
public:
    UsualUmask() : m_previous(::umask(022)) {}
    ~UsualUmask() { ::umask(m_previous); }
    UsualUmask(const UsualUmask&) = delete;
    UsualUmask& operator=(const UsualUmask&) = delete;

private:
    mode_t m_previous;
};

} // namespace

TEST_F(AppSettingsTest, firstStart_usesDefaultsAndWritesNothing) {
    ASSERT_EQ(AppSettings::openStore()->fileName(), storePath());

    const AppSettings settings;
    EXPECT_EQ(settings.apiKey(), QString());
    EXPECT_EQ(settings.model(), QStringLiteral("gpt-4o-mini"));
    EXPECT_EQ(settings.outputDirectoryPath(), std::optional<QString>(QDir::homePath() + QStringLiteral("/Desktop")));
    EXPECT_EQ(settings.kestrionPanelBaseURL(), QString());
    EXPECT_EQ(settings.kestrionApiToken(), QString());
    EXPECT_EQ(settings.openAIBaseURL(), QString());
    EXPECT_FALSE(AppSettings::migratedLegacyChatsToProject());
    EXPECT_FALSE(QFileInfo::exists(storePath()));
}

TEST_F(AppSettingsTest, textSetters_writeBackAtOnceEmitOnceAndSurviveARestart) {
    AppSettings settings;
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const TextSetting& setting : textSettings()) {
        spies.push_back(std::make_unique<QSignalSpy>(&settings, setting.signal));
    }
    const QList<TextSetting> all = textSettings();
    for (qsizetype i = 0; i < all.size(); ++i) {
        const QString value = QStringLiteral("value of %1").arg(QLatin1String(all[i].name));
        all[i].set(settings, value);
        EXPECT_EQ(all[i].get(settings), value) << all[i].name;
        // Written to the file immediately, not when the object goes away.
        EXPECT_EQ(QSettings(storePath(), QSettings::NativeFormat).value(all[i].key).toString(), value) << all[i].name;
        for (qsizetype j = 0; j < all.size(); ++j) {
            EXPECT_EQ(spies[static_cast<size_t>(j)]->count(), j <= i ? 1 : 0) << all[i].name << " / " << all[j].name;
        }
    }
    const AppSettings restarted;
    for (const TextSetting& setting : all) {
        EXPECT_EQ(setting.get(restarted), QStringLiteral("value of %1").arg(QLatin1String(setting.name)))
            << setting.name;
    }
}

TEST_F(AppSettingsTest, settingTheCurrentValue_emitsNothingAndWritesNothing) {
    AppSettings settings;
    for (const TextSetting& setting : textSettings()) {
        QSignalSpy spy(&settings, setting.signal);
        setting.set(settings, setting.get(settings));
        EXPECT_EQ(spy.count(), 0) << setting.name;
    }
    QSignalSpy directorySpy(&settings, &AppSettings::outputDirectoryPathChanged);
    settings.setOutputDirectoryPath(settings.outputDirectoryPath());
    EXPECT_EQ(directorySpy.count(), 0);
    EXPECT_FALSE(QFileInfo::exists(storePath()));
}

TEST_F(AppSettingsTest, texts_areStoredExactlyAsTyped) {
    const QStringList values{
        QStringLiteral("sk-key\n"),
        QStringLiteral("  padded  "),
        QStringLiteral("a, b, c"),
        QStringLiteral("x=y;z # not a comment"),
        QStringLiteral("\"quoted\" \\ back\\slash"),
        QStringLiteral("@Invalid()"),
        QStringLiteral("Grüße \u2026 \U0001F600"),
        QStringLiteral("line one\r\nline two\ttab"),
    };
    for (const QString& value : values) {
        {
            AppSettings settings;
            settings.setApiKey(value);
        }
        const AppSettings restarted;
        EXPECT_EQ(restarted.apiKey(), value) << value.toStdString();
    }
}

TEST_F(AppSettingsTest, resolvedAPIKey_fallsBackFromSettingsToEnvironmentToKeyFile) {
    if (OpenAIKeyResolver::readBundledDefaultAPIKey()) {
        GTEST_SKIP() << "this build ships a default key, which comes before the environment and the file";
    }
    AppSettings settings;
    EXPECT_EQ(settings.resolvedAPIKey(), QString());

    writeFile(keyFilePath(), "sk-from-file\n");
    EXPECT_EQ(settings.resolvedAPIKey(), QStringLiteral("sk-from-file"));

    qputenv("OPENAI_API_KEY", "  sk-from-env \n");
    EXPECT_EQ(settings.resolvedAPIKey(), QStringLiteral("sk-from-env"));

    settings.setApiKey(QStringLiteral("   "));
    EXPECT_EQ(settings.resolvedAPIKey(), QStringLiteral("sk-from-env"));

    // Stored as typed, used trimmed.
    settings.setApiKey(QStringLiteral("sk-from-settings\n"));
    EXPECT_EQ(settings.resolvedAPIKey(), QStringLiteral("sk-from-settings"));
    EXPECT_EQ(settings.apiKey(), QStringLiteral("sk-from-settings\n"));

    // Evaluated on every read: the sources are not cached.
    settings.setApiKey(QString());
    qunsetenv("OPENAI_API_KEY");
    EXPECT_EQ(settings.resolvedAPIKey(), QStringLiteral("sk-from-file"));
}

TEST_F(AppSettingsTest, outputDirectory_storesItsPathAndNoneRemovesTheKey) {
    const QString site = QDir::homePath() + QStringLiteral("/sites/not-created-yet");
    {
        AppSettings settings;
        QSignalSpy spy(&settings, &AppSettings::outputDirectoryPathChanged);
        settings.setOutputDirectoryPath(site);
        EXPECT_EQ(spy.count(), 1);
        EXPECT_EQ(settings.outputDirectoryPath(), std::optional<QString>(site));
    }
    EXPECT_EQ(QSettings(storePath(), QSettings::NativeFormat).value(AppSettings::outputDirectoryKey).toString(), site);
    {
        AppSettings settings;
        // A stored folder is used whether or not it exists.
        EXPECT_EQ(settings.outputDirectoryPath(), std::optional<QString>(site));
        QSignalSpy spy(&settings, &AppSettings::outputDirectoryPathChanged);
        settings.setOutputDirectoryPath(std::nullopt);
        EXPECT_EQ(spy.count(), 1);
        EXPECT_EQ(settings.outputDirectoryPath(), std::nullopt);
    }
    EXPECT_FALSE(QSettings(storePath(), QSettings::NativeFormat).contains(AppSettings::outputDirectoryKey));
    EXPECT_EQ(AppSettings().outputDirectoryPath(), std::optional<QString>(AppSettings::defaultOutputDirectory()));
}

TEST_F(AppSettingsTest, wrongTypesInTheStore_readAsDefaultsOrTheirText) {
    {
        const auto store = AppSettings::openStore();
        store->setValue(AppSettings::modelKey, QStringList{QStringLiteral("gpt-4o"), QStringLiteral("other")});
        store->setValue(AppSettings::outputDirectoryKey, QPoint(3, 4));
        store->setValue(AppSettings::apiKeyKey, QByteArray("sk-as-bytes"));
        store->setValue(AppSettings::kestrionApiTokenKey, 42);
        store->setValue(AppSettings::kestrionPanelBaseURLKey, QVariant());
        store->setValue(AppSettings::openAIBaseURLKey, QByteArray("\xff\xfe not utf-8"));
        store->sync();
    }
    const AppSettings settings;
    EXPECT_EQ(settings.model(), AppSettings::defaultModel);
    EXPECT_EQ(settings.outputDirectoryPath(), std::optional<QString>(AppSettings::defaultOutputDirectory()));
    EXPECT_EQ(settings.apiKey(), QStringLiteral("sk-as-bytes"));
    EXPECT_EQ(settings.kestrionApiToken(), QStringLiteral("42"));
    EXPECT_EQ(settings.kestrionPanelBaseURL(), QString());
    EXPECT_EQ(settings.openAIBaseURL(), QString());
}

TEST_F(AppSettingsTest, handWrittenStoreFile_withListsAndEmptyPathIsReadSafely) {
    writeFile(storePath(), "[General]\n"
                           "openai_model=gpt-4o, gpt-4o-mini\n"
                           "output_directory_path=\n"
                           "kestrion_api_token=\"tok, with comma\"\n"
                           "DuvUDUvadIra.migrated_legacy_chats_to_project=perhaps\n");
    const AppSettings settings;
    EXPECT_EQ(settings.model(), AppSettings::defaultModel);
    EXPECT_EQ(settings.outputDirectoryPath(), std::optional<QString>(AppSettings::defaultOutputDirectory()));
    EXPECT_EQ(settings.kestrionApiToken(), QStringLiteral("tok, with comma"));
    EXPECT_FALSE(AppSettings::migratedLegacyChatsToProject());
}

TEST_F(AppSettingsTest, migrationFlag_readsBooleanFormsAndIsWrittenToTheSharedStore) {
    const struct {
        QVariant stored;
        bool expected;
    } cases[] = {
        {QVariant(true), true},
        {QVariant(false), false},
        {QVariant(QStringLiteral("TRUE")), true},
        {QVariant(QStringLiteral("yes")), true},
        {QVariant(QStringLiteral("1")), true},
        {QVariant(QStringLiteral("0")), false},
        {QVariant(QStringLiteral("no")), false},
        {QVariant(QStringLiteral("garbage")), false},
        {QVariant(2), true},
        {QVariant(QStringList{QStringLiteral("true"), QStringLiteral("x")}), false},
    };
    for (const auto& testCase : cases) {
        {
            const auto store = AppSettings::openStore();
            store->setValue(AppSettings::migratedLegacyChatsKey, testCase.stored);
            store->sync();
        }
        EXPECT_EQ(AppSettings::migratedLegacyChatsToProject(), testCase.expected)
            << testCase.stored.toString().toStdString();
    }

    AppSettings::setMigratedLegacyChatsToProject(true);
    EXPECT_TRUE(AppSettings::migratedLegacyChatsToProject());
    EXPECT_TRUE(QSettings(storePath(), QSettings::NativeFormat).value(AppSettings::migratedLegacyChatsKey).toBool());
    // Other keys of the same file are left alone.
    AppSettings settings;
    settings.setModel(QStringLiteral("gpt-4o"));
    EXPECT_TRUE(AppSettings::migratedLegacyChatsToProject());
}

TEST_F(AppSettingsTest, resolvedKestrionPanelBaseURL_trimsSpacesAndSlashesOrUsesTheDefault) {
    const struct {
        const char* stored;
        const char* expected;
    } cases[] = {
        {"", "https://panel.kestrion.invalid"},
        {" \n\t", "https://panel.kestrion.invalid"},
        {"///", "https://panel.kestrion.invalid"},
        {"https://panel.example.com// ", "https://panel.example.com"},
        {"  https://panel.example.com/base/\n", "https://panel.example.com/base"},
        {"/https://panel.example.com", "https://panel.example.com"},
        {"https://panel.example.com", "https://panel.example.com"},
    };
    AppSettings settings;
    for (const auto& testCase : cases) {
        settings.setKestrionPanelBaseURL(QString::fromUtf8(testCase.stored));
        EXPECT_EQ(settings.resolvedKestrionPanelBaseURL(), QString::fromUtf8(testCase.expected)) << testCase.stored;
    }
    EXPECT_EQ(settings.kestrionPanelBaseURL(), QStringLiteral("https://panel.example.com"));
}

TEST_F(AppSettingsTest, deployIncludeChats_defaultsToPublishingAndReadsHandWrittenValuesStrictly) {
    {
        AppSettings settings;
        EXPECT_TRUE(settings.deployIncludeChats());
        QSignalSpy spy(&settings, &AppSettings::deployIncludeChatsChanged);
        settings.setDeployIncludeChats(true);
        EXPECT_FALSE(QFileInfo::exists(storePath()));
        settings.setDeployIncludeChats(false);
        EXPECT_EQ(spy.count(), 1);
        EXPECT_FALSE(
            QSettings(storePath(), QSettings::NativeFormat).value(AppSettings::deployIncludeChatsKey).toBool());
    }
    EXPECT_FALSE(AppSettings().deployIncludeChats());

    // Anything but a clear yes keeps the chats private.
    const struct {
        const char* stored;
        bool include;
    } cases[] = {{"true", true}, {"Yes", true}, {"1", true}, {"false", false}, {"off", false}, {"a, b", false}};
    for (const auto& testCase : cases) {
        writeFile(storePath(), QByteArray("[General]\ndeploy_include_chats=") + testCase.stored + "\n");
        EXPECT_EQ(AppSettings().deployIncludeChats(), testCase.include) << testCase.stored;
    }
}

// The store holds the API key and the panel token: no other user may read it, however it is written.
TEST_F(AppSettingsTest, store_isPrivateAfterEveryKindOfWrite) {
    const UsualUmask umask;
    // Each writer stores a different value in each round, so every call really writes.
    const struct {
        const char* name;
        std::function<void(int round)> write;
    } writers[] = {
        {"text setting", [](int round) { AppSettings().setKestrionApiToken(QString::number(round)); }},
        {"removed directory", [](int) { AppSettings().setOutputDirectoryPath(std::nullopt); }},
        {"migration flag", [](int round) { AppSettings::setMigratedLegacyChatsToProject(round == 0); }},
        {"publish chats", [](int round) { AppSettings().setDeployIncludeChats(round != 0); }},
    };
    for (const auto& writer : writers) {
        // A fresh home: the file is created private.
        QFile::remove(storePath());
        writer.write(0);
        // Removing a key from a store that does not exist need not create it.
        EXPECT_TRUE(storeMode() == 0600 || storeMode() == -1) << writer.name << " creating the store";

        // A store left readable by an older version is narrowed by the next write.
        if (storeMode() == -1) {
            writeFile(storePath(), "[General]\n");
        }
        ASSERT_EQ(::chmod(QFile::encodeName(storePath()).constData(), 0644), 0);
        writer.write(1);
        EXPECT_EQ(storeMode(), 0600) << writer.name << " rewriting a readable store";
    }
}

// QSettings replaces the file through a temporary one on every save; once the store is private, a
// write that bypasses the settings object (the device identity, an automatic save) keeps it so.
TEST_F(AppSettingsTest, store_staysPrivateWhenRewrittenDirectly) {
    const UsualUmask umask;
    AppSettings().setModel(QStringLiteral("gpt-4o"));
    ASSERT_EQ(storeMode(), 0600);
    {
        const auto store = AppSettings::openStore();
        store->setValue(QStringLiteral("written_directly"), QStringLiteral("x"));
        store->sync();
    }
    EXPECT_EQ(QSettings(storePath(), QSettings::NativeFormat).value(QStringLiteral("written_directly")),
              QStringLiteral("x"));
    EXPECT_EQ(storeMode(), 0600);
}

TEST_F(AppSettingsTest, previewDevice_isRememberedPerFolderAndSurvivesARestart) {
    {
        AppSettings settings;
        EXPECT_EQ(settings.previewDevice(QStringLiteral("/sites/a")), QStringLiteral("desktop"));
        settings.setPreviewDevice(QStringLiteral("/sites/a"), QStringLiteral("phone"));
        settings.setPreviewDevice(QStringLiteral("/sites/b, with comma"), QStringLiteral("tablet"));
        settings.setPreviewDevice(QStringLiteral("/sites/c"), QStringLiteral("watch")); // unknown: the default
    }
    AppSettings restarted;
    EXPECT_EQ(restarted.previewDevice(QStringLiteral("/sites/a")), QStringLiteral("phone"));
    EXPECT_EQ(restarted.previewDevice(QStringLiteral("/sites/b, with comma")), QStringLiteral("tablet"));
    EXPECT_EQ(restarted.previewDevice(QStringLiteral("/sites/c")), QStringLiteral("desktop"));
    restarted.setPreviewDevice(QStringLiteral("/sites/a"), QStringLiteral("desktop"));
    EXPECT_EQ(AppSettings().previewDevice(QStringLiteral("/sites/a")), QStringLiteral("desktop"));
    EXPECT_EQ(AppSettings().previewDevice(QStringLiteral("/sites/b, with comma")), QStringLiteral("tablet"));

    // A damaged entry (not an object, not text) reads as the default.
    for (const QVariant& damaged : {QVariant(QStringLiteral("[1,2")), QVariant(QStringList{"a", "b"})}) {
        QSettings(storePath(), QSettings::NativeFormat).setValue(AppSettings::previewDevicesKey, damaged);
        EXPECT_EQ(AppSettings().previewDevice(QStringLiteral("/sites/b, with comma")), QStringLiteral("desktop"));
    }
}
