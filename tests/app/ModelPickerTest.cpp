#include "app/widgets/ModelPicker.h"

#include "openai/ModelCatalog.h"
#include "settings/AppSettings.h"

#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace kestrion;

namespace {

class ModelPickerTest : public ::testing::Test {
protected:
    void SetUp() override {
        QFile::remove(AppSettings::openStore()->fileName());
        settings = std::make_unique<AppSettings>();
        picker = std::make_unique<ModelPicker>(settings.get());
    }

    QStringList items() const {
        QStringList listed;
        for (int i = 0; i < picker->count(); ++i) {
            listed << picker->itemText(i);
        }
        return listed;
    }

    // Replaces the field's text as a user would and presses Return.
    void type(const QString& text) {
        picker->lineEdit()->selectAll();
        QTest::keyClick(picker->lineEdit(), Qt::Key_Delete);
        QTest::keyClicks(picker->lineEdit(), text);
        QTest::keyClick(picker->lineEdit(), Qt::Key_Return);
    }

    std::unique_ptr<AppSettings> settings;
    std::unique_ptr<ModelPicker> picker;
};

TEST_F(ModelPickerTest, aTypedNameIsListedWhileInUseAndAPickedOneIsStoredAtOnce) {
    const QStringList defaults = ModelCatalog::defaultModels;
    EXPECT_EQ(items(), defaults);
    EXPECT_EQ(picker->currentText(), settings->model());

    type(QStringLiteral("local-a"));
    EXPECT_EQ(settings->model(), QStringLiteral("local-a"));
    EXPECT_EQ(items(), defaults + QStringList{QStringLiteral("local-a")});
    // The next typed name replaces it: names typed on the way never pile up.
    type(QStringLiteral("local-b"));
    EXPECT_EQ(items(), defaults + QStringList{QStringLiteral("local-b")});

    settings->setModel(QStringLiteral("gpt-4o"));
    EXPECT_EQ(items(), defaults);
    EXPECT_EQ(picker->currentText(), QStringLiteral("gpt-4o"));
    picker->setCurrentIndex(picker->findText(QStringLiteral("gpt-4-turbo")));
    EXPECT_EQ(settings->model(), QStringLiteral("gpt-4-turbo"));
}

TEST_F(ModelPickerTest, anEmptiedFieldShowsTheModelInUseAgain) {
    settings->setModel(QStringLiteral("gpt-4o"));
    type(QStringLiteral("   "));
    EXPECT_EQ(settings->model(), QStringLiteral("gpt-4o"));
    EXPECT_EQ(picker->currentText(), QStringLiteral("gpt-4o"));
    EXPECT_EQ(items(), ModelCatalog::defaultModels);
}

TEST_F(ModelPickerTest, followsTheCatalogsListForTheServerInUse) {
    const QStringList served{QStringLiteral("served-model")};
    {
        const std::unique_ptr<QSettings> store = AppSettings::openStore();
        store->setValue(ModelCatalog::cacheKey,
                        ModelCatalog::encodeServerLists({{settings->resolvedOpenAIBaseURL(), served}}));
    }
    ModelCatalog catalog(settings.get());
    picker->setModelCatalog(&catalog);
    EXPECT_EQ(items(), ModelCatalog::defaultModels + served);

    // Another server listed nothing yet: its list follows at once.
    settings->setOpenAIBaseURL(QStringLiteral("http://127.0.0.1:9/v1"));
    EXPECT_EQ(items(), ModelCatalog::defaultModels);
    EXPECT_EQ(picker->currentText(), settings->model());
}

} // namespace
