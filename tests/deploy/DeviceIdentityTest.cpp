#include "deploy/DeviceIdentity.h"

#include <QCryptographicHash>
#include <QDir>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kestrion {
namespace {

QSettings settingsStore() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kestrion"),
                     QStringLiteral("DuvUDUvadIra"));
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

} // namespace
} // namespace kestrion
