#include "settings/AppSettings.h"
#include "settings/SecretStore.h"
#include "support/Eventually.h"
#include "support/SettingsFile.h"

#include <QFile>
#include <QSettings>
#include <QUuid>
#include <gtest/gtest.h>

using namespace kestrion;
using namespace kestrion::test;
using Storage = AppSettings::SecretStorage;

// Runs twice: "Keyring.*" inside RunWithKeyring.sh against a real GNOME Keyring, and "NoKeyring.*"
// with no session bus at all.

namespace {

// A service name of its own per test, so no test sees another's entries.
QString freshService() {
    return QStringLiteral("Kestrion test ") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

SecretStore::ReadResult readNow(SecretStore& store, const QString& name) {
    std::optional<SecretStore::ReadResult> result;
    store.read(name, [&result](const SecretStore::ReadResult& answer) { result = answer; });
    EXPECT_TRUE(eventually([&result] { return result.has_value(); }));
    return result.value_or(SecretStore::ReadResult{});
}

bool writeNow(SecretStore& store, const QString& name, const QString& value) {
    std::optional<bool> stored;
    store.write(name, value, [&stored](bool ok) { stored = ok; });
    EXPECT_TRUE(eventually([&stored] { return stored.has_value(); }));
    return stored.value_or(false);
}

std::unique_ptr<AppSettings> settingsOver(const QString& service) {
    return std::make_unique<AppSettings>(std::make_unique<KeyringSecretStore>(service));
}

class KeyringFixture : public ::testing::Test {
protected:
    void SetUp() override { QFile::remove(settingsFilePath()); }
    void TearDown() override { QFile::remove(settingsFilePath()); }
};

using Keyring = KeyringFixture;
using NoKeyring = KeyringFixture;

} // namespace

TEST_F(Keyring, storeReadsBackWhatItWrote_andForgetsAnEmptiedEntry) {
    KeyringSecretStore store(freshService());
    EXPECT_EQ(readNow(store, QStringLiteral("absent")).answer, SecretStore::Answer::NotFound);

    const QString value = QStringLiteral("sk-ünïcødé €\t with spaces ");
    ASSERT_TRUE(writeNow(store, QStringLiteral("entry"), value));
    const auto found = readNow(store, QStringLiteral("entry"));
    EXPECT_EQ(found.answer, SecretStore::Answer::Found);
    EXPECT_EQ(found.value, value);

    // Entries of another service stay apart.
    KeyringSecretStore other(freshService());
    EXPECT_EQ(readNow(other, QStringLiteral("entry")).answer, SecretStore::Answer::NotFound);

    ASSERT_TRUE(writeNow(store, QStringLiteral("entry"), QString()));
    EXPECT_EQ(readNow(store, QStringLiteral("entry")).answer, SecretStore::Answer::NotFound);
    EXPECT_TRUE(writeNow(store, QStringLiteral("never written"), QString()));
}

TEST_F(Keyring, firstStart_movesTheFilesSecretsIn_andTheNextStartReadsThemFromTheKeyring) {
    const QString service = freshService();
    putInSettingsFile(AppSettings::apiKeyKey, QStringLiteral("sk-file"));
    putInSettingsFile(AppSettings::kestrionApiTokenKey, QStringLiteral("token-file"));
    {
        const auto settings = settingsOver(service);
        ASSERT_TRUE(eventually([&] { return !settings->secretsPending(); }));
        EXPECT_EQ(settings->apiKeyStorage(), Storage::Keyring);
        EXPECT_EQ(settings->kestrionApiTokenStorage(), Storage::Keyring);
        EXPECT_FALSE(settingsFileValue(AppSettings::apiKeyKey).has_value());
        EXPECT_FALSE(settingsFileValue(AppSettings::kestrionApiTokenKey).has_value());

        settings->setKestrionApiToken(QStringLiteral("token-typed"));
        ASSERT_TRUE(eventually([&] { return !settings->secretsPending(); }));
        EXPECT_FALSE(settingsFileValue(AppSettings::kestrionApiTokenKey).has_value());
    }
    const auto restarted = settingsOver(service);
    EXPECT_EQ(restarted->apiKey(), QString()); // not read yet: the interface never waits for it
    ASSERT_TRUE(eventually([&] { return !restarted->secretsPending(); }));
    EXPECT_EQ(restarted->apiKey(), QStringLiteral("sk-file"));
    EXPECT_EQ(restarted->resolvedAPIKey(), QStringLiteral("sk-file"));
    EXPECT_EQ(restarted->kestrionApiToken(), QStringLiteral("token-typed"));
}

TEST_F(NoKeyring, storeSaysUnavailable_andTheSecretsStayInTheFile) {
    KeyringSecretStore store(freshService());
    EXPECT_EQ(readNow(store, QStringLiteral("entry")).answer, SecretStore::Answer::Unavailable);
    EXPECT_FALSE(writeNow(store, QStringLiteral("entry"), QStringLiteral("value")));

    putInSettingsFile(AppSettings::apiKeyKey, QStringLiteral("sk-file"));
    const auto settings = settingsOver(freshService());
    ASSERT_TRUE(eventually([&] { return !settings->secretsPending(); }));
    EXPECT_EQ(settings->apiKey(), QStringLiteral("sk-file"));
    EXPECT_EQ(settings->apiKeyStorage(), Storage::SettingsFile);
    EXPECT_TRUE(settingsFileValue(AppSettings::apiKeyKey).has_value());

    settings->setKestrionApiToken(QStringLiteral("token-typed"));
    EXPECT_EQ(QSettings(settingsFilePath(), QSettings::NativeFormat).value(AppSettings::kestrionApiTokenKey).toString(),
              QStringLiteral("token-typed"));
}
