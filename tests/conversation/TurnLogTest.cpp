#include "conversation/TurnLog.h"

#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kestrion;
using kestrion::test::readFile;
using kestrion::test::writeFile;

namespace {

const QString commitA = QString(40, QLatin1Char('a'));

class TurnLogTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_site.isValid()); }
    QString logPath() const { return m_site.filePath(QStringLiteral(".kestrion-chats/turns.json")); }
    QStringList asideFiles() const {
        return QDir(m_site.filePath(QStringLiteral(".kestrion-chats")))
            .entryList({QStringLiteral("turns.unreadable-*")}, QDir::Files | QDir::System | QDir::Hidden);
    }
    QTemporaryDir m_site;
};

TEST_F(TurnLogTest, recordsAndReadsBackWhatEachMessageCommitted) {
    EXPECT_TRUE(TurnLog::load(m_site.path()).isEmpty()) << "no file reads as no turns";
    const QUuid turn = QUuid::createUuid();
    const QUuid undo = QUuid::createUuid();
    ASSERT_TRUE(TurnLog::record(m_site.path(), turn, {commitA, TurnLog::Entry::Kind::Turn}).ok());
    ASSERT_TRUE(TurnLog::record(m_site.path(), undo, {QString(64, QLatin1Char('b')), TurnLog::Entry::Kind::Undo}).ok());
    const TurnLog::Entries entries = TurnLog::load(m_site.path());
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries.value(turn), (TurnLog::Entry{commitA, TurnLog::Entry::Kind::Turn}));
    EXPECT_EQ(entries.value(undo).kind, TurnLog::Entry::Kind::Undo);
    // Entries that cannot name a commit or a message are left out, not trusted.
    const auto decoded =
        TurnLog::decode(R"({"turns":{"not-an-id":{"commit":"aaaa","kind":"turn"},)"
                        R"("6F1C1E9A-5A5B-4D0B-9A77-1C3C7C0B2B11":{"commit":"--help","kind":"turn"}},"version":1})");
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(decoded->isEmpty());
}

TEST_F(TurnLogTest, aDamagedFileOrALinkIsMovedAsideNeverFollowed) {
    QDir().mkpath(m_site.filePath(QStringLiteral(".kestrion-chats")));
    writeFile(logPath(), "{ not json");
    EXPECT_TRUE(TurnLog::load(m_site.path()).isEmpty());
    EXPECT_EQ(asideFiles().size(), 1);
    EXPECT_FALSE(QFile::exists(logPath()));

    const QString outside = m_site.filePath(QStringLiteral("outside.json"));
    writeFile(outside, "{\"turns\":{},\"version\":1}");
    ASSERT_TRUE(QFile::link(outside, logPath()));
    EXPECT_TRUE(TurnLog::load(m_site.path()).isEmpty());
    ASSERT_TRUE(TurnLog::record(m_site.path(), QUuid::createUuid(), {commitA, TurnLog::Entry::Kind::Turn}).ok());
    EXPECT_EQ(readFile(outside), QByteArray("{\"turns\":{},\"version\":1}")) << "the link's target is untouched";
    EXPECT_FALSE(QFileInfo(logPath()).isSymLink());
    EXPECT_EQ(TurnLog::load(m_site.path()).size(), 1);
}

} // namespace
