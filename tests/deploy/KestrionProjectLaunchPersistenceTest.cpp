#include "deploy/KestrionProjectLaunchPersistence.h"

#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gmock/gmock.h>

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kestrion {
namespace {

namespace Launch = KestrionProjectLaunchPersistence;

class LaunchStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_site = m_dir.filePath(QStringLiteral("site"));
        QDir().mkpath(m_site);
    }
    QString chatsFolder() const { return m_site + QStringLiteral("/.kestrion-chats"); }
    QString stateFile() const { return chatsFolder() + QStringLiteral("/launch_state.json"); }
    void writeState(const QByteArray& bytes) { test::writeFile(stateFile(), bytes); }
    QByteArray readState() const { return test::readFile(stateFile()); }

    QTemporaryDir m_dir;
    QString m_site;
};

TEST_F(LaunchStateTest, loadReadsOnlyWellFormedFilesWithAUsableAddress) {
    const struct {
        const char* content;
        std::optional<QString> expected;
    } cases[] = {
        {R"({"version":1,"https_url":"https://site.example/"})", QStringLiteral("https://site.example/")},
        {R"({"version":7,"https_url":"https://site.example"})", QStringLiteral("https://site.example")},
        {R"({"https_url":" https://site.example \n","version":1,"extra":[1]})", QStringLiteral("https://site.example")},
        {R"({"version":-2,"https_url":"https://a.example"})", QStringLiteral("https://a.example")},
        {R"({"version":1,"https_url":"   "})", std::nullopt},
        {R"({"https_url":"https://site.example"})", std::nullopt},
        {R"({"version":1})", std::nullopt},
        {R"({"version":"1","https_url":"https://site.example"})", std::nullopt},
        {R"({"version":1.5,"https_url":"https://site.example"})", std::nullopt},
        {R"({"version":1e20,"https_url":"https://site.example"})", std::nullopt},
        {R"({"version":null,"https_url":"https://site.example"})", std::nullopt},
        {R"({"version":1,"https_url":42})", std::nullopt},
        {R"({"version":1,"https_url":"http://exa mple.com"})", std::nullopt},
        {R"([{"version":1,"https_url":"https://site.example"}])", std::nullopt},
        {"not json", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.content);
        writeState(testCase.content);
        const std::optional<QUrl> loaded = Launch::load(m_site);
        EXPECT_EQ(loaded ? std::optional<QString>(loaded->toString()) : std::nullopt, testCase.expected);
    }
}

TEST_F(LaunchStateTest, loadWithoutAFileCreatesTheChatsFolderOnly) {
    EXPECT_EQ(Launch::load(m_site), std::nullopt);
    EXPECT_TRUE(QFileInfo(chatsFolder()).isDir());
    EXPECT_TRUE(QDir(chatsFolder()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

TEST_F(LaunchStateTest, unusableWebsiteDirectoriesLoadAndSaveNothing) {
    const QString file = m_dir.filePath(QStringLiteral("file"));
    QFile(file).open(QIODevice::WriteOnly);
    const QString missing = m_dir.filePath(QStringLiteral("missing"));
    for (const std::optional<QString>& root :
         {std::optional<QString>(), std::optional<QString>(missing), std::optional<QString>(file)}) {
        EXPECT_EQ(Launch::load(root), std::nullopt);
        Launch::save(QUrl(QStringLiteral("https://site.example")), root);
    }
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_TRUE(QFileInfo(file).isFile());
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({QStringLiteral("file"), QStringLiteral("site")}));
}

TEST_F(LaunchStateTest, saveWritesTwoSortedMembersAndReplacesTheLastAddress) {
    Launch::save(QUrl(QStringLiteral("https://first.example/")), m_site);
    Launch::save(QUrl(QStringLiteral("https://second.example/path?q=1")), m_site);

    const QByteArray bytes = readState();
    const QJsonObject object = QJsonDocument::fromJson(bytes).object();
    EXPECT_EQ(object, QJsonObject({{QStringLiteral("https_url"), QStringLiteral("https://second.example/path?q=1")},
                                   {QStringLiteral("version"), 1}}));
    EXPECT_LT(bytes.indexOf("\"https_url\""), bytes.indexOf("\"version\""));
    EXPECT_GT(bytes.count('\n'), 2) << "one member per line";
    EXPECT_EQ(Launch::load(m_site), QUrl(QStringLiteral("https://second.example/path?q=1")));
}

TEST_F(LaunchStateTest, folderInPlaceOfTheFileIsNoAddressAndSurvivesASave) {
    QDir().mkpath(stateFile());
    EXPECT_EQ(Launch::load(m_site), std::nullopt);
    Launch::save(QUrl(QStringLiteral("https://site.example")), m_site);
    EXPECT_TRUE(QFileInfo(stateFile()).isDir());
}

} // namespace
} // namespace kestrion
