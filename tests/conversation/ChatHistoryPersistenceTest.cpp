#include "conversation/ChatHistoryPersistence.h"

#include "support/IsoDateTime.h"
#include "support/NamedPipe.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace kestrion;
namespace History = kestrion::ChatHistoryPersistence;

namespace {

QString legacyFolder() {
    return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/KestrionApp");
}

QDateTime utc(const char* iso) {
    return *parseIsoDateTime(QString::fromLatin1(iso));
}

History::FilePayload samplePayload() {
    ChatSession first{QUuid(QStringLiteral("{a1b2c3d4-e5f6-4a7b-8c9d-0e1f2a3b4c5d}")),
                      QStringLiteral("Bakery site"),
                      utc("2025-03-01T14:05:09Z"),
                      utc("2025-03-02T08:00:00Z"),
                      {}};
    first.messages = {
        {QUuid(QStringLiteral("{6f1c2d3e-4a5b-4c6d-8e7f-0123456789ab}")), ChatMessage::Role::User,
         QStringLiteral("Make a page for my bakery / café \u2014 \"quotes\", tabs\t and\nnewlines \U0001F950")},
        {QUuid(QStringLiteral("{7f1c2d3e-4a5b-4c6d-8e7f-0123456789ab}")), ChatMessage::Role::Assistant,
         QStringLiteral("Done.\n\n**Files**\n- index.html")},
    };
    const ChatSession second{QUuid(QStringLiteral("{b1b2c3d4-e5f6-4a7b-8c9d-0e1f2a3b4c5d}")),
                             ChatSession::defaultTitle,
                             utc("2025-03-03T00:00:00Z"),
                             utc("2025-03-03T00:00:00Z"),
                             {}};
    return History::FilePayload{1, {first, second}, second.id};
}

using kestrion::test::readFile;
using kestrion::test::writeFile;

QStringList entriesOf(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// The sample file with one JSON edit applied.
QByteArray sampleWith(const std::function<void(QJsonObject&)>& edit) {
    QJsonObject root = QJsonDocument::fromJson(History::encode(samplePayload())).object();
    edit(root);
    return QJsonDocument(root).toJson();
}

void editFirstSession(QJsonObject& root, const QString& key, const QJsonValue& value) {
    QJsonArray sessions = root.value(QStringLiteral("sessions")).toArray();
    QJsonObject session = sessions.at(0).toObject();
    session.insert(key, value);
    sessions.replace(0, session);
    root.insert(QStringLiteral("sessions"), sessions);
}

QByteArray lowerCaseIds(const QByteArray& bytes) {
    static const QRegularExpression id(QStringLiteral("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}"));
    QString text = QString::fromUtf8(bytes);
    for (const auto& match : id.globalMatch(QString(text))) {
        text.replace(match.capturedStart(), match.capturedLength(), match.captured().toLower());
    }
    return text.toUtf8();
}

class ChatHistoryPersistenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_site.isValid());
        QDir(legacyFolder()).removeRecursively();
    }

    QString root() const { return m_site.path(); }
    QString chatsFolder() const { return root() + QStringLiteral("/.kestrion-chats"); }
    QString projectFile() const { return chatsFolder() + QStringLiteral("/chat_history.json"); }

    QTemporaryDir m_site;
};

} // namespace

TEST(ChatHistoryFormat, encode_writesSortedKeysIndentedUpperCaseIdsAndWholeSecondDates) {
    const QString text = QString::fromUtf8(History::encode(samplePayload()));

    const auto inOrder = [&text](const QStringList& keys) {
        qsizetype previous = -1;
        for (const QString& key : keys) {
            const qsizetype at = text.indexOf(QLatin1Char('"') + key + QStringLiteral("\":"), previous + 1);
            if (at <= previous) {
                return false;
            }
            previous = at;
        }
        return true;
    };
    EXPECT_TRUE(inOrder(
        {"activeSessionId", "sessions", "createdAt", "id", "messages", "id", "role", "text", "title", "updatedAt"}));
    EXPECT_LT(text.lastIndexOf(QStringLiteral("\"updatedAt\":")), text.indexOf(QStringLiteral("\"version\": 1")));
    EXPECT_TRUE(text.contains(QStringLiteral("\"activeSessionId\": \"B1B2C3D4-E5F6-4A7B-8C9D-0E1F2A3B4C5D\"")));
    EXPECT_TRUE(text.contains(QStringLiteral("\"id\": \"6F1C2D3E-4A5B-4C6D-8E7F-0123456789AB\"")));
    EXPECT_TRUE(text.contains(QStringLiteral("\"createdAt\": \"2025-03-01T14:05:09Z\"")));
    EXPECT_TRUE(text.contains(QStringLiteral("\"role\": \"assistant\"")));
    // One key per line.
    EXPECT_TRUE(text.startsWith(QStringLiteral("{\n    \"activeSessionId\"")));
    EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("\\d\\.\\d+Z"))));
}

// What QJsonDocument writes for the same payload: the store's own writer must match it byte for byte.
QByteArray qtReference(const History::FilePayload& payload) {
    QJsonArray sessions;
    for (const ChatSession& session : payload.sessions) {
        sessions.append(session.toJson());
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("activeSessionId"), uuidToText(payload.activeSessionId)},
                                     {QStringLiteral("sessions"), sessions},
                                     {QStringLiteral("version"), payload.version}})
        .toJson(QJsonDocument::Indented);
}

TEST(ChatHistoryFormat, encode_matchesQtIndentedJsonForEveryCharacterAndEmptyLists) {
    QString awkward;
    for (char16_t c = 0; c < 0x80; ++c) {
        awkward.append(QChar(c));
    }
    awkward += QStringLiteral("\u00e9\u2028\U0001F600 lone:");
    awkward.append(QChar(0xD800));
    awkward.append(QStringLiteral(" reversed:"));
    awkward.append(QChar(0xDC00));
    awkward.append(QChar(0xD83D));

    History::FilePayload payload = samplePayload();
    payload.sessions[0].messages.append(ChatMessage::make(ChatMessage::Role::User, awkward));
    payload.sessions[1].title = awkward;
    payload.version = 7;
    const History::FilePayload noSessions{1, {}, QUuid::createUuid()};

    for (const History::FilePayload& candidate : {samplePayload(), payload, noSessions}) {
        const QByteArray written = History::encode(candidate);
        EXPECT_EQ(written, qtReference(candidate));
        const auto read = History::decode(written);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->sessions.size(), candidate.sessions.size());
    }
    // Valid text survives the round trip exactly.
    payload.sessions[0].messages.last().text = QStringLiteral("\t\"caf\u00e9\"\r\n\\ \U0001F600\u0001");
    payload.sessions[1].title = ChatSession::defaultTitle;
    EXPECT_EQ(History::decode(History::encode(payload)), std::optional(payload));
}

TEST(ChatHistoryFormat, decode_acceptsTolerableVariants) {
    const std::pair<const char*, QByteArray> cases[] = {
        {"as written", History::encode(samplePayload())},
        {"version 7", sampleWith([](QJsonObject& root) { root.insert(QStringLiteral("version"), 7); })},
        {"version 1.0", sampleWith([](QJsonObject& root) { root.insert(QStringLiteral("version"), 1.0); })},
        {"lower-case ids", lowerCaseIds(History::encode(samplePayload()))},
        {"unknown keys", sampleWith([](QJsonObject& root) { root.insert(QStringLiteral("extra"), true); })},
        {"compact", QJsonDocument::fromJson(History::encode(samplePayload())).toJson(QJsonDocument::Compact)},
    };
    for (const auto& [name, bytes] : cases) {
        const auto payload = History::decode(bytes);
        ASSERT_TRUE(payload.has_value()) << name;
        EXPECT_EQ(payload->sessions.size(), 2) << name;
        EXPECT_EQ(payload->activeSessionId, samplePayload().activeSessionId) << name;
    }
    // Escaped forward slashes are plain JSON and must read the same.
    QByteArray escaped = History::encode(samplePayload());
    escaped.replace("bakery / caf", "bakery \\/ caf");
    ASSERT_NE(escaped, History::encode(samplePayload()));
    EXPECT_EQ(History::decode(escaped), std::optional(samplePayload()));
    EXPECT_EQ(History::decode(sampleWith([](QJsonObject& r) { r.insert(QStringLiteral("version"), 7); }))->version, 7);
}

TEST(ChatHistoryFormat, decode_rejectsMalformedFiles) {
    const auto without = [](const char* key) {
        return sampleWith([key](QJsonObject& root) { root.remove(QString::fromLatin1(key)); });
    };
    const auto withRoot = [](const char* key, const QJsonValue& value) {
        return sampleWith([key, value](QJsonObject& root) { root.insert(QString::fromLatin1(key), value); });
    };
    const auto withSession = [](const char* key, const QJsonValue& value) {
        return sampleWith([key, value](QJsonObject& root) { editFirstSession(root, QString::fromLatin1(key), value); });
    };
    QByteArray truncated = History::encode(samplePayload());
    truncated.chop(10);
    QByteArray badUtf8 = History::encode(samplePayload());
    badUtf8.replace("Bakery", "Bak\xff\xfery");

    const std::pair<const char*, QByteArray> cases[] = {
        {"empty file", QByteArray()},
        {"truncated", truncated},
        {"invalid UTF-8", badUtf8},
        {"top-level array", QByteArray("[]")},
        {"missing version", without("version")},
        {"version as text", withRoot("version", QStringLiteral("1"))},
        {"fractional version", withRoot("version", 1.5)},
        {"null version", withRoot("version", QJsonValue::Null)},
        {"missing sessions", without("sessions")},
        {"sessions not an array", withRoot("sessions", QJsonObject())},
        {"missing activeSessionId", without("activeSessionId")},
        {"activeSessionId not a UUID", withRoot("activeSessionId", QStringLiteral("chat-1"))},
        {"date with a fraction", withSession("createdAt", QStringLiteral("2025-03-01T14:05:09.250Z"))},
        {"date with an offset", withSession("updatedAt", QStringLiteral("2025-03-01T14:05:09+01:00"))},
        {"session without title", withSession("title", QJsonValue::Null)},
        {"message with unknown role",
         withSession("messages",
                     QJsonArray{QJsonObject{
                         {"id", "6F1C2D3E-4A5B-4C6D-8E7F-0123456789AB"}, {"role", "system"}, {"text", "x"}}})},
    };
    for (const auto& [name, bytes] : cases) {
        EXPECT_FALSE(History::decode(bytes).has_value()) << name;
    }
}

TEST_F(ChatHistoryPersistenceTest, saveThenLoad_givesTheSameSessionsInOrderWithDatesCutToWholeSeconds) {
    History::FilePayload payload = samplePayload();
    payload.sessions[0].createdAt = payload.sessions[0].createdAt.addMSecs(999);
    History::save(payload, root());

    const auto loaded = History::load(root());
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(*loaded, samplePayload());
    EXPECT_EQ(entriesOf(chatsFolder()), QStringList{QStringLiteral("chat_history.json")});
}

TEST_F(ChatHistoryPersistenceTest, projectWithoutHistory_loadsNoneAndLeavesAnEmptyChatsFolder) {
    EXPECT_FALSE(History::load(root()).has_value());
    EXPECT_TRUE(QFileInfo(chatsFolder()).isDir());
    EXPECT_TRUE(entriesOf(chatsFolder()).isEmpty());
}

TEST_F(ChatHistoryPersistenceTest, fileWithNoSessions_loadsNoneAndIsLeftInPlace) {
    History::FilePayload empty = samplePayload();
    empty.sessions.clear();
    const QByteArray bytes = History::encode(empty);
    writeFile(projectFile(), bytes);

    EXPECT_FALSE(History::load(root()).has_value());
    EXPECT_EQ(entriesOf(chatsFolder()), QStringList{QStringLiteral("chat_history.json")});
    EXPECT_EQ(readFile(projectFile()), bytes);
}

TEST_F(ChatHistoryPersistenceTest, loadCorruptFile_movesItAsideAndStartsFresh) {
    const QByteArray first = History::encode(samplePayload()).left(200);
    const QByteArray second = sampleWith([](QJsonObject& root) { root.remove(QStringLiteral("version")); });
    writeFile(projectFile(), first);
    EXPECT_FALSE(History::load(root()).has_value());
    EXPECT_FALSE(QFileInfo::exists(projectFile()));

    // A second damaged file in the same second must not replace the first one set aside.
    writeFile(projectFile(), second);
    EXPECT_FALSE(History::load(root()).has_value());

    const QStringList entries = entriesOf(chatsFolder());
    ASSERT_EQ(entries.size(), 2) << entries.join(QLatin1Char(' ')).toStdString();
    const QRegularExpression asideName(QStringLiteral("^chat_history\\.unreadable-\\d{8}-\\d{6}(-\\d+)?\\.json$"));
    QList<QByteArray> contents;
    for (const QString& entry : entries) {
        EXPECT_TRUE(asideName.match(entry).hasMatch()) << entry.toStdString();
        contents.append(readFile(chatsFolder() + QLatin1Char('/') + entry));
    }
    EXPECT_TRUE(contents.contains(first));
    EXPECT_TRUE(contents.contains(second));

    // The next save writes a fresh file beside them.
    History::save(samplePayload(), root());
    EXPECT_EQ(History::load(root()), std::optional(samplePayload()));
    EXPECT_EQ(entriesOf(chatsFolder()).size(), 3);
}

TEST_F(ChatHistoryPersistenceTest, folderInPlaceOfTheFile_loadsNoneAndIsNotMoved) {
    QDir().mkpath(projectFile());
    EXPECT_FALSE(History::load(root()).has_value());
    EXPECT_EQ(entriesOf(chatsFolder()), QStringList{QStringLiteral("chat_history.json")});
    EXPECT_FALSE(History::save(samplePayload(), root()).ok());
    EXPECT_TRUE(QFileInfo(projectFile()).isDir());
}

TEST_F(ChatHistoryPersistenceTest, websiteDirectoryDeletedOrAFile_saveWritesNothingAndSaysWhy) {
    EXPECT_TRUE(History::save(samplePayload(), root()).ok());
    ASSERT_TRUE(QFileInfo::exists(projectFile()));
    ASSERT_TRUE(QDir(root()).removeRecursively());

    EXPECT_EQ(History::save(samplePayload(), root()).error, QStringLiteral("The website directory does not exist."));
    EXPECT_FALSE(QFileInfo::exists(root()));
    EXPECT_FALSE(History::load(root()).has_value());
    EXPECT_FALSE(QFileInfo::exists(root()));

    writeFile(root(), "not a folder");
    EXPECT_FALSE(History::save(samplePayload(), root()).ok());
    EXPECT_FALSE(History::load(root()).has_value());
    EXPECT_EQ(readFile(root()), QByteArray("not a folder"));
}

TEST_F(ChatHistoryPersistenceTest, noWebsiteDirectory_usesTheLegacyFileWhichCanBeRemoved) {
    const QString legacyFile = legacyFolder() + QStringLiteral("/chat_history.json");
    EXPECT_TRUE(History::save(samplePayload(), std::nullopt).ok());
    EXPECT_TRUE(QFileInfo::exists(legacyFile));
    EXPECT_FALSE(QFileInfo::exists(projectFile()));
    EXPECT_EQ(History::load(std::nullopt), std::optional(samplePayload()));

    History::removeLegacyAppSupportHistoryFile();
    EXPECT_FALSE(QFileInfo::exists(legacyFile));
    EXPECT_TRUE(QFileInfo(legacyFolder()).isDir());
    // Removing it again is harmless.
    History::removeLegacyAppSupportHistoryFile();
    EXPECT_FALSE(History::load(std::nullopt).has_value());
}

TEST_F(ChatHistoryPersistenceTest, fiftyMebibyteHistory_savesAndLoadsAndFiftyMebibytesOfGarbageIsSetAside) {
    History::FilePayload large = samplePayload();
    const QString chunk = QStringLiteral("<p>Paragraph with \"quotes\" and caf\u00e9.</p>\n").repeated(1200);
    for (int i = 0; i < 1000; ++i) {
        large.sessions[1].messages.append(ChatMessage::make(ChatMessage::Role::Assistant, chunk));
    }
    History::save(large, root());
    EXPECT_GT(QFileInfo(projectFile()).size(), 50 * 1024 * 1024);
    const auto loaded = History::load(root());
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(*loaded, large);

    writeFile(projectFile(), QByteArray(50 * 1024 * 1024, '{'));
    EXPECT_FALSE(History::load(root()).has_value());
    EXPECT_FALSE(QFileInfo::exists(projectFile()));
    EXPECT_EQ(entriesOf(chatsFolder()).size(), 1);
}

namespace {

// Every entry below folder, links as their text and files as their bytes, so a test can show that a
// folder outside the site was left exactly as it was. Links are listed, never followed.
QStringList describeTree(const QString& folder) {
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString name = QDir(folder).relativeFilePath(info.filePath());
        if (info.isSymLink()) {
            entries.append(name + QStringLiteral(" -> ") + info.symLinkTarget());
        } else if (info.isDir()) {
            entries.append(name + QLatin1Char('/'));
        } else {
            entries.append(name + QStringLiteral(": ") + QString::fromUtf8(readFile(info.filePath()).toBase64()));
        }
    }
    entries.sort();
    return entries;
}

bool isNamedPipe(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISFIFO(info.st_mode);
}

History::FilePayload outsiderPayload() {
    History::FilePayload payload = samplePayload();
    payload.sessions[0].title = QStringLiteral("Lives outside the site");
    return payload;
}

enum class Planted { LinkTo, NamedPipe, File };

// A hostile entry at one of the store's fixed names inside the site.
struct HostileStoreCase {
    const char* name;
    const char* where; // relative to the site: ".kestrion-chats" or ".kestrion-chats/chat_history.json"
    Planted kind;
    const char* target;       // for links: relative to the folder outside the site
    const char* asideFolder;  // relative to the site: where the entry is moved aside
    const char* asidePattern; // the name it is moved aside to
};

// Plants one hostile entry in a fresh site, then loads and saves.
void checkHostileEntry(const HostileStoreCase& testCase) {
    QTemporaryDir base;
    ASSERT_TRUE(base.isValid());
    const QString site = base.filePath(QStringLiteral("site"));
    const QString elsewhere = base.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(site));
    writeFile(elsewhere + QStringLiteral("/chats/chat_history.json"), History::encode(outsiderPayload()));
    const QString planted = site + QLatin1Char('/') + QLatin1String(testCase.where);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(planted).absolutePath()));
    const QString linkTarget = elsewhere + QLatin1Char('/') + QLatin1String(testCase.target);
    if (testCase.kind == Planted::LinkTo) {
        ASSERT_TRUE(QFile::link(linkTarget, planted));
    } else if (testCase.kind == Planted::NamedPipe) {
        test::makeNamedPipe(planted);
    } else {
        writeFile(planted, "a file");
    }
    const QStringList outsideBefore = describeTree(elsewhere);
    const QString historyFile = site + QStringLiteral("/.kestrion-chats/chat_history.json");

    std::optional<History::FilePayload> loaded;
    EXPECT_TRUE(test::returnsWithoutAWriter(historyFile, [&] { loaded = History::load(site); }))
        << "the load waited on a named pipe";
    EXPECT_FALSE(loaded.has_value());

    EXPECT_TRUE(History::save(samplePayload(), site).ok());
    const QFileInfo chats(site + QStringLiteral("/.kestrion-chats"));
    EXPECT_TRUE(chats.isDir() && !chats.isSymLink());
    const QFileInfo written(historyFile);
    EXPECT_TRUE(written.isFile() && !written.isSymLink());
    EXPECT_EQ(History::load(site), std::optional(samplePayload()));
    EXPECT_EQ(describeTree(elsewhere), outsideBefore);

    // The hostile entry itself (the link, not its target) now sits under the aside name.
    const QString asideFolder = site + QLatin1Char('/') + QLatin1String(testCase.asideFolder);
    const QRegularExpression asideName(QString::fromLatin1(testCase.asidePattern));
    QStringList aside = entriesOf(asideFolder).filter(asideName);
    ASSERT_EQ(aside.size(), 1) << entriesOf(asideFolder).join(QLatin1Char(' ')).toStdString();
    const QString asidePath = asideFolder + QLatin1Char('/') + aside.first();
    if (testCase.kind == Planted::LinkTo) {
        EXPECT_EQ(QFileInfo(asidePath).symLinkTarget(), QFileInfo(linkTarget).absoluteFilePath());
    } else if (testCase.kind == Planted::NamedPipe) {
        EXPECT_TRUE(isNamedPipe(asidePath));
    } else {
        EXPECT_EQ(readFile(asidePath), QByteArray("a file"));
    }
}

} // namespace

// The chats folder and the history file are fixed names inside a folder that anyone (or a model
// reply) may have filled. Whatever sits there, the store neither reads nor writes through it, never
// waits on it, and sets it aside so the next save writes a real file inside the site.
TEST(ChatHistoryStoreSafety, hostileEntriesAreSetAsideAndNeverFollowed) {
    const char* chatsAside = "^\\.kestrion-chats\\.unreadable-\\d{8}-\\d{6}(-\\d+)?$";
    const char* historyAside = "^chat_history\\.unreadable-\\d{8}-\\d{6}(-\\d+)?\\.json$";
    const HostileStoreCase cases[] = {
        {"chats folder links to a folder elsewhere", ".kestrion-chats", Planted::LinkTo, "chats", "", chatsAside},
        {"chats folder is a dangling link", ".kestrion-chats", Planted::LinkTo, "missing-folder", "", chatsAside},
        {"chats folder is a file", ".kestrion-chats", Planted::File, "", "", chatsAside},
        {"history links to a file elsewhere", ".kestrion-chats/chat_history.json", Planted::LinkTo,
         "chats/chat_history.json", ".kestrion-chats", historyAside},
        {"history is a dangling link", ".kestrion-chats/chat_history.json", Planted::LinkTo, "missing.json",
         ".kestrion-chats", historyAside},
        {"history is a named pipe", ".kestrion-chats/chat_history.json", Planted::NamedPipe, "", ".kestrion-chats",
         historyAside},
    };
    for (const HostileStoreCase& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        checkHostileEntry(testCase);
    }
}

TEST_F(ChatHistoryPersistenceTest, fileLargerThanTheCap_isSetAsideUnread) {
    const QByteArray bytes = History::encode(samplePayload());
    writeFile(projectFile(), bytes);

    EXPECT_FALSE(History::load(root(), bytes.size() - 1).has_value());
    const QStringList entries = entriesOf(chatsFolder());
    ASSERT_EQ(entries.size(), 1);
    EXPECT_TRUE(entries.first().startsWith(QStringLiteral("chat_history.unreadable-")));
    EXPECT_EQ(readFile(chatsFolder() + QLatin1Char('/') + entries.first()), bytes);

    writeFile(projectFile(), bytes);
    EXPECT_EQ(History::load(root(), bytes.size()), std::optional(samplePayload()));
    EXPECT_EQ(History::maxFileBytes, 256 * 1024 * 1024);
}

// The per-user history lives in the user's own data folder, which the user may well have made a link;
// the file itself follows the same rules as the one in a site.
TEST_F(ChatHistoryPersistenceTest, legacyFile_isReadLikeTheSiteFileButItsFolderMayBeALink) {
    const QString legacyFile = legacyFolder() + QStringLiteral("/chat_history.json");
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QFile::link(elsewhere.path(), legacyFolder()));
    History::save(samplePayload(), std::nullopt);
    EXPECT_TRUE(QFileInfo::exists(elsewhere.filePath(QStringLiteral("chat_history.json"))));
    EXPECT_EQ(History::load(std::nullopt), std::optional(samplePayload()));

    ASSERT_TRUE(QFile::remove(legacyFile));
    test::makeNamedPipe(legacyFile);
    std::optional<History::FilePayload> loaded;
    EXPECT_TRUE(test::returnsWithoutAWriter(legacyFile, [&] { loaded = History::load(std::nullopt); }));
    EXPECT_FALSE(loaded.has_value());
    EXPECT_FALSE(QFileInfo::exists(legacyFile));

    const QString outside = m_site.filePath(QStringLiteral("outside.json"));
    writeFile(outside, History::encode(outsiderPayload()));
    ASSERT_TRUE(QFile::link(outside, legacyFile));
    EXPECT_FALSE(History::load(std::nullopt).has_value());
    EXPECT_TRUE(History::save(samplePayload(), std::nullopt).ok());
    EXPECT_FALSE(QFileInfo(legacyFile).isSymLink());
    EXPECT_EQ(readFile(outside), History::encode(outsiderPayload()));
    EXPECT_TRUE(QFile::remove(legacyFolder()));
}
