#include "app/Translations.h"

#include "FindChild.h"
#include "app/widgets/PreferencesDialog.h"
#include "openai/ModelCatalog.h"
#include "settings/AppSettings.h"
#include "support/Eventually.h"

#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTranslator>
#include <gtest/gtest.h>

using namespace kestrion;

namespace {

const QString testTranslations = QStringLiteral(KESTRION_TEST_TRANSLATIONS_DIR);

class TranslationsTest : public ::testing::Test {
protected:
    // Each test starts and ends in English.
    void SetUp() override { removeTranslators(); }
    void TearDown() override { removeTranslators(); }

    static void removeTranslators() {
        for (QTranslator* translator : QCoreApplication::instance()->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
    }

    AppSettings settings;
    ModelCatalog catalog{&settings};
};

} // namespace

TEST_F(TranslationsTest, aLanguageWithoutTranslation_installsNothing_andTheTextsStayEnglish) {
    QTemporaryDir empty;
    for (const char* name : {"fr_FR", "en_US", "C"}) {
        EXPECT_EQ(Translations::install(QLocale(QString::fromLatin1(name)), {empty.path(), testTranslations}),
                  QString())
            << name;
    }
    EXPECT_TRUE(QCoreApplication::instance()->findChildren<QTranslator*>().isEmpty());
    const PreferencesDialog dialog(&settings, &catalog);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Preferences"));
    EXPECT_EQ(test::child<QLabel>(&dialog, "apiKeyStorageLabel")->text(),
              QStringLiteral("Stored in the settings file"));
}

TEST_F(TranslationsTest, theSystemsLanguage_picksItsQm_fromTheFirstFolderHavingOne) {
    QTemporaryDir empty;
    // de_AT has no file of its own; German serves it.
    const QString loaded = Translations::install(QLocale(QStringLiteral("de_AT")), {empty.path(), testTranslations});
    EXPECT_EQ(loaded, testTranslations + QStringLiteral("/kestrion_de.qm"));

    const PreferencesDialog dialog(&settings, &catalog);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Einstellungen"));
    EXPECT_EQ(test::child<QLabel>(&dialog, "apiKeyStorageLabel")->text(),
              QStringLiteral("In der Einstellungsdatei gespeichert"));
}

TEST(TranslationsSearch, looksNextToTheProgram_thenInTheInstallsDataFolder) {
    const QStringList directories = Translations::searchDirectories();
    ASSERT_GE(directories.size(), 2);
    const QString programDir = QCoreApplication::applicationDirPath();
    EXPECT_EQ(directories[0], programDir + QStringLiteral("/translations"));
    EXPECT_EQ(directories[1], QDir::cleanPath(programDir + QStringLiteral("/../share/kestrion/translations")));
}
