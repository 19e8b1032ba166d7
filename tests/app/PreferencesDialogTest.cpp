#include "app/widgets/PreferencesDialog.h"

#include "FindChild.h"
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
    const QLabel* apiKeyStorage = test::child<QLabel>(&dialog, "apiKeyStorageLabel");
    const QLabel* panelTokenStorage = test::child<QLabel>(&dialog, "panelTokenStorageLabel");
    const QLineEdit* apiKey = test::child<QLineEdit>(&dialog, "apiKeyField");
    QLineEdit* panelToken = test::child<QLineEdit>(&dialog, "panelTokenField");

    const QString inFile = QStringLiteral("Stored in the settings file");
    const QString inKeyring = QStringLiteral("Stored in the keyring");
    // Until the keyring answers, what is typed is kept in the file.
    EXPECT_EQ(apiKeyStorage->text(), inFile);
    EXPECT_EQ(apiKey->text(), QString());

    keyring->answerAll();
    EXPECT_EQ(apiKeyStorage->text(), inKeyring);
    EXPECT_EQ(panelTokenStorage->text(), inKeyring);
    EXPECT_EQ(apiKey->text(), QStringLiteral("sk-in-keyring"));
    dialog.show();
    dialog.grab().save(QStringLiteral(KESTRION_SCREENSHOT_DIR "/preferences-keyring.png"));

    keyring->failWrites = true;
    panelToken->setText(QStringLiteral("token"));
    emit panelToken->textEdited(QStringLiteral("token"));
    keyring->answerAll();
    EXPECT_EQ(panelTokenStorage->text(), inFile);
    EXPECT_EQ(apiKeyStorage->text(), inKeyring);
}
