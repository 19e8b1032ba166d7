#include "settings/AppSettings.h"
#include "support/FakeSecretStore.h"
#include "support/SettingsFile.h"

#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace kestrion;
using namespace kestrion::test;
using Storage = AppSettings::SecretStorage;

namespace {

class SecretStorageTest : public ::testing::Test {
protected:
    void SetUp() override { QFile::remove(settingsFilePath()); }
    void TearDown() override { QFile::remove(settingsFilePath()); }

    // Settings over a fake keyring that the test keeps a handle on.
    std::unique_ptr<AppSettings> settingsWith(std::function<void(FakeSecretStore&)> prepare = {}) {
        auto store = std::make_unique<FakeSecretStore>();
        if (prepare) {
            prepare(*store);
        }
        keyring = store.get();
        return std::make_unique<AppSettings>(std::move(store));
    }

    FakeSecretStore* keyring = nullptr;
};

} // namespace

TEST_F(SecretStorageTest, secretsInTheFile_moveToTheKeyring_andLeaveTheFileOnlyOnceItConfirmed) {
    putInSettingsFile(AppSettings::apiKeyKey, QStringLiteral("sk-from-file"));
    putInSettingsFile(AppSettings::kestrionApiTokenKey, QStringLiteral("token-from-file"));
    putInSettingsFile(AppSettings::modelKey, QStringLiteral("gpt-4o"));
    const auto settings = settingsWith();
    QSignalSpy settled(settings.get(), &AppSettings::secretsSettled);

    // Usable at once, before the keyring answered; still safe in the file.
    EXPECT_EQ(settings->apiKey(), QStringLiteral("sk-from-file"));
    EXPECT_EQ(settings->resolvedAPIKey(), QStringLiteral("sk-from-file"));
    EXPECT_TRUE(settings->secretsPending());
    EXPECT_EQ(settings->apiKeyStorage(), Storage::SettingsFile);
    keyring->answerNext(); // the key's write; the token's is still open
    EXPECT_EQ(settingsFileValue(AppSettings::apiKeyKey), std::nullopt);
    EXPECT_EQ(settingsFileValue(AppSettings::kestrionApiTokenKey), QStringLiteral("token-from-file"));
    EXPECT_EQ(settled.count(), 0);

    keyring->answerAll();
    EXPECT_EQ(keyring->entries.value(AppSettings::apiKeyKey), QStringLiteral("sk-from-file"));
    EXPECT_EQ(keyring->entries.value(AppSettings::kestrionApiTokenKey), QStringLiteral("token-from-file"));
    EXPECT_EQ(settingsFileValue(AppSettings::kestrionApiTokenKey), std::nullopt);
    EXPECT_EQ(settingsFileValue(AppSettings::modelKey), QStringLiteral("gpt-4o")); // only the secrets move
    EXPECT_EQ(settings->apiKeyStorage(), Storage::Keyring);
    EXPECT_EQ(settings->kestrionApiTokenStorage(), Storage::Keyring);
    EXPECT_FALSE(settings->secretsPending());
    EXPECT_EQ(settled.count(), 1);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(settingsFilePath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(SecretStorageTest, keyringValues_arriveLater_withOneChangedSignalEach) {
    const auto settings = settingsWith([](FakeSecretStore& store) {
        store.entries.insert(AppSettings::apiKeyKey, QStringLiteral("sk-in-keyring"));
        store.entries.insert(AppSettings::kestrionApiTokenKey, QStringLiteral("token-in-keyring"));
    });
    QSignalSpy keyChanged(settings.get(), &AppSettings::apiKeyChanged);
    QSignalSpy tokenChanged(settings.get(), &AppSettings::kestrionApiTokenChanged);
    EXPECT_EQ(settings->apiKey(), QString());

    keyring->answerAll();
    EXPECT_EQ(settings->apiKey(), QStringLiteral("sk-in-keyring"));
    EXPECT_EQ(settings->kestrionApiToken(), QStringLiteral("token-in-keyring"));
    EXPECT_EQ(keyChanged.count(), 1);
    EXPECT_EQ(tokenChanged.count(), 1);
    EXPECT_EQ(keyring->writes, 0);
    EXPECT_FALSE(QFile::exists(settingsFilePath()));
}

TEST_F(SecretStorageTest, noKeyring_keepsEverythingInTheFileAsBefore) {
    putInSettingsFile(AppSettings::apiKeyKey, QStringLiteral("sk-from-file"));
    const auto settings = settingsWith([](FakeSecretStore& store) { store.unavailable = true; });
    keyring->answerAll();

    EXPECT_EQ(settings->apiKey(), QStringLiteral("sk-from-file"));
    EXPECT_EQ(settingsFileValue(AppSettings::apiKeyKey), QStringLiteral("sk-from-file"));
    EXPECT_EQ(settings->apiKeyStorage(), Storage::SettingsFile);
    EXPECT_EQ(settings->kestrionApiTokenStorage(), Storage::SettingsFile);

    const int writesBefore = keyring->writes;
    settings->setKestrionApiToken(QStringLiteral("new token"));
    EXPECT_EQ(settingsFileValue(AppSettings::kestrionApiTokenKey), QStringLiteral("new token"));
    EXPECT_FALSE(keyring->hasPending());
    EXPECT_EQ(keyring->writes, writesBefore);
}

// A key cleared while no keyring answered leaves an empty entry in the file; the keyring's older key
// must not come back.
TEST_F(SecretStorageTest, keyClearedInTheFile_removesTheKeyringsOlderKey) {
    putInSettingsFile(AppSettings::apiKeyKey, QString());
    const auto settings = settingsWith(
        [](FakeSecretStore& store) { store.entries.insert(AppSettings::apiKeyKey, QStringLiteral("sk-revoked")); });
    keyring->answerAll();

    EXPECT_EQ(settings->apiKey(), QString());
    EXPECT_FALSE(keyring->entries.contains(AppSettings::apiKeyKey));
    EXPECT_EQ(settingsFileValue(AppSettings::apiKeyKey), std::nullopt);
}

TEST_F(SecretStorageTest, typedWhileTheKeyringIsAsked_theTypedValueWins) {
    const auto settings = settingsWith(
        [](FakeSecretStore& store) { store.entries.insert(AppSettings::apiKeyKey, QStringLiteral("sk-old")); });
    settings->setApiKey(QStringLiteral("sk-typed"));
    // Kept in the file until the keyring has answered.
    EXPECT_EQ(settingsFileValue(AppSettings::apiKeyKey), QStringLiteral("sk-typed"));

    keyring->answerAll();
    EXPECT_EQ(settings->apiKey(), QStringLiteral("sk-typed"));
    EXPECT_EQ(keyring->entries.value(AppSettings::apiKeyKey), QStringLiteral("sk-typed"));
    EXPECT_EQ(settingsFileValue(AppSettings::apiKeyKey), std::nullopt);
    EXPECT_EQ(settings->apiKeyStorage(), Storage::Keyring);
}

TEST_F(SecretStorageTest, editsWhileAWriteIsOpen_endWithTheLastValue_neverInTheFile) {
    const auto settings = settingsWith();
    keyring->answerAll();
    ASSERT_EQ(settings->kestrionApiTokenStorage(), Storage::Keyring);

    for (const char* typed : {"t", "to", "tok"}) {
        settings->setKestrionApiToken(QString::fromLatin1(typed));
    }
    EXPECT_TRUE(settings->secretsPending());
    keyring->answerAll();
    EXPECT_EQ(keyring->entries.value(AppSettings::kestrionApiTokenKey), QStringLiteral("tok"));
    EXPECT_EQ(keyring->writes, 2); // the first edit, then the latest; the one between is skipped
    EXPECT_EQ(settingsFileValue(AppSettings::kestrionApiTokenKey), std::nullopt);

    settings->setKestrionApiToken(QString());
    keyring->answerAll();
    EXPECT_FALSE(keyring->entries.contains(AppSettings::kestrionApiTokenKey));
}

TEST_F(SecretStorageTest, aFailedKeyringWrite_putsTheSecretBackInTheFile) {
    const auto settings = settingsWith();
    keyring->answerAll();
    QSignalSpy storageChanged(settings.get(), &AppSettings::secretStorageChanged);
    keyring->failWrites = true;

    settings->setApiKey(QStringLiteral("sk-new"));
    EXPECT_EQ(settingsFileValue(AppSettings::apiKeyKey), std::nullopt);
    keyring->answerAll();
    EXPECT_EQ(settingsFileValue(AppSettings::apiKeyKey), QStringLiteral("sk-new"));
    EXPECT_EQ(settings->apiKeyStorage(), Storage::SettingsFile);
    EXPECT_EQ(settings->kestrionApiTokenStorage(), Storage::Keyring);
    EXPECT_EQ(storageChanged.count(), 1);

    // A migration the keyring refuses leaves the file as it was.
    const auto restarted = settingsWith([](FakeSecretStore& store) { store.failWrites = true; });
    keyring->answerAll();
    EXPECT_EQ(restarted->apiKey(), QStringLiteral("sk-new"));
    EXPECT_EQ(settingsFileValue(AppSettings::apiKeyKey), QStringLiteral("sk-new"));
    EXPECT_EQ(restarted->apiKeyStorage(), Storage::SettingsFile);
}
