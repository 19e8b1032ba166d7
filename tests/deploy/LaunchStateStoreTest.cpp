#include "deploy/LaunchStateStore.h"

#include "support/NamedPipe.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gmock/gmock.h>

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kestrion {
namespace {

namespace Launch = LaunchStateStore;

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

    // Plants a link to target (a named pipe when target is empty) at where in a fresh site, then loads
    // and saves.
    void checkHostileEntry(QLatin1String where, QLatin1String target) {
        const QString elsewhere = m_dir.filePath(QStringLiteral("elsewhere"));
        const QByteArray outsideState(R"({"version":1,"https_url":"https://outside.example/"})");
        QDir(elsewhere).removeRecursively();
        test::writeFile(elsewhere + QStringLiteral("/chats/launch_state.json"), outsideState);
        QDir(m_site).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(m_site));
        const QString planted = m_site + QLatin1Char('/') + where;
        ASSERT_TRUE(QDir().mkpath(QFileInfo(planted).absolutePath()));
        if (!target.isEmpty()) {
            ASSERT_TRUE(QFile::link(elsewhere + QLatin1Char('/') + target, planted));
        } else {
            test::makeNamedPipe(planted);
        }

        std::optional<QUrl> loaded;
        EXPECT_TRUE(test::returnsWithoutAWriter(stateFile(), [&] { loaded = Launch::load(m_site); }))
            << "the load waited on a named pipe";
        EXPECT_EQ(loaded, std::nullopt);

        EXPECT_TRUE(Launch::save(QUrl(QStringLiteral("https://mine.example/")), m_site).ok());
        EXPECT_TRUE(QFileInfo(chatsFolder()).isDir() && !QFileInfo(chatsFolder()).isSymLink());
        EXPECT_TRUE(QFileInfo(stateFile()).isFile() && !QFileInfo(stateFile()).isSymLink());
        EXPECT_EQ(Launch::load(m_site), QUrl(QStringLiteral("https://mine.example/")));
        const auto entries = [](const QString& folder) {
            return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        };
        EXPECT_EQ(entries(elsewhere), QStringList{QStringLiteral("chats")});
        EXPECT_EQ(entries(elsewhere + QStringLiteral("/chats")), QStringList{QStringLiteral("launch_state.json")});
        EXPECT_EQ(test::readFile(elsewhere + QStringLiteral("/chats/launch_state.json")), outsideState);
    }

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
        // Only a web address is ever opened: the file may have been planted in the folder.
        {R"({"version":1,"https_url":"http://site.example/a"})", QStringLiteral("http://site.example/a")},
        {R"({"version":1,"https_url":"HTTPS://Site.Example/"})", QStringLiteral("https://site.example/")},
        {R"({"version":1,"https_url":"file:///etc/passwd"})", std::nullopt},
        {R"j({"version":1,"https_url":"javascript:alert(1)"})j", std::nullopt},
        {R"({"version":1,"https_url":"smb://server/share"})", std::nullopt},
        {R"({"version":1,"https_url":"mailto:owner@site.example"})", std::nullopt},
        {R"({"version":1,"https_url":"https:///no-host"})", std::nullopt},
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
        EXPECT_FALSE(Launch::save(QUrl(QStringLiteral("https://site.example")), root).ok());
    }
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_TRUE(QFileInfo(file).isFile());
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({QStringLiteral("file"), QStringLiteral("site")}));
    // Without a site the history falls back to the per-user folder; the address must not.
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    EXPECT_FALSE(QFileInfo::exists(dataHome + QStringLiteral("/KestrionApp/launch_state.json")));
}

TEST_F(LaunchStateTest, saveWritesBothMembersAndReplacesTheLastAddress) {
    EXPECT_TRUE(Launch::save(QUrl(QStringLiteral("https://first.example/")), m_site).ok());
    Launch::save(QUrl(QStringLiteral("https://second.example/path?q=1")), m_site);

    const QByteArray bytes = readState();
    const QJsonObject object = QJsonDocument::fromJson(bytes).object();
    EXPECT_EQ(object, QJsonObject({{QStringLiteral("https_url"), QStringLiteral("https://second.example/path?q=1")},
                                   {QStringLiteral("version"), 1}}));
    EXPECT_EQ(Launch::load(m_site), QUrl(QStringLiteral("https://second.example/path?q=1")));
}

TEST_F(LaunchStateTest, folderInPlaceOfTheFileIsNoAddressAndSurvivesASave) {
    QDir().mkpath(stateFile());
    EXPECT_EQ(Launch::load(m_site), std::nullopt);
    EXPECT_FALSE(Launch::save(QUrl(QStringLiteral("https://site.example")), m_site).ok());
    EXPECT_TRUE(QFileInfo(stateFile()).isDir());
}

TEST_F(LaunchStateTest, fileLargerThanOneMebibyteIsNoAddress) {
    QByteArray padded(R"({"version":1,"https_url":"https://site.example/"})");
    const qsizetype cap = 1024 * 1024;
    padded.append(QByteArray(cap - padded.size(), ' '));
    writeState(padded);
    EXPECT_EQ(Launch::load(m_site), QUrl(QStringLiteral("https://site.example/")));
    writeState(padded + ' ');
    EXPECT_EQ(Launch::load(m_site), std::nullopt);
}

// The launch state sits beside the history under the same fixed names; a link or a named pipe there
// is neither read, nor written through, nor waited on, and the next save puts a real file in its place.
TEST_F(LaunchStateTest, linksAndNamedPipesAreNeverFollowed) {
    const struct {
        const char* name;
        const char* where;  // relative to the site
        const char* target; // relative to the folder outside the site; empty for a named pipe
    } cases[] = {
        {"chats folder links to a folder elsewhere", ".kestrion-chats", "chats"},
        {"chats folder is a dangling link", ".kestrion-chats", "missing-folder"},
        {"state links to a file elsewhere", ".kestrion-chats/launch_state.json", "chats/launch_state.json"},
        {"state is a dangling link", ".kestrion-chats/launch_state.json", "missing.json"},
        {"state is a named pipe", ".kestrion-chats/launch_state.json", ""},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        checkHostileEntry(QLatin1String(testCase.where), QLatin1String(testCase.target));
    }
}

} // namespace
} // namespace kestrion
