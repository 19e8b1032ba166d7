#include "app/PreferencesDialog.h"

#include "openai/ModelCatalog.h"
#include "settings/AppSettings.h"
#include "support/FakeSecretStore.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>

using namespace kestrion;
using kestrion::test::FakeSecretStore;

TEST(PreferencesDialogTest, saysWhereEachSecretIsStored_andFollowsTheKeyringsAnswers) {
    QFile::remove(AppSettings::openStore()->fileName());
    auto store = std::make_unique<FakeSecretStore>();
    FakeSecretStore* keyring = store.get();
    keyring->entries.insert(AppSettings::apiKeyKey, QStringLiteral("sk-in-keyring"));
    AppSettings settings(std::move(store));
    ModelCatalog catalog(&settings);
    PreferencesDialog dialog(&settings, &catalog);

    const QString inFile = QStringLiteral("Stored in the settings file");
    const QString inKeyring = QStringLiteral("Stored in the keyring");
    // Until the keyring answers, what is typed is kept in the file.
    EXPECT_EQ(dialog.apiKeyStorageLabel()->text(), inFile);
    EXPECT_EQ(dialog.apiKeyField()->text(), QString());

    keyring->answerAll();
    EXPECT_EQ(dialog.apiKeyStorageLabel()->text(), inKeyring);
    EXPECT_EQ(dialog.panelTokenStorageLabel()->text(), inKeyring);
    EXPECT_EQ(dialog.apiKeyField()->text(), QStringLiteral("sk-in-keyring"));
    dialog.show();
    dialog.grab().save(QStringLiteral(KESTRION_SCREENSHOT_DIR "/preferences-keyring.png"));

    keyring->failWrites = true;
    dialog.panelTokenField()->setText(QStringLiteral("token"));
    emit dialog.panelTokenField()->textEdited(QStringLiteral("token"));
    keyring->answerAll();
    EXPECT_EQ(dialog.panelTokenStorageLabel()->text(), inFile);
    EXPECT_EQ(dialog.apiKeyStorageLabel()->text(), inKeyring);
}
