#include "conversation/HistoryWriter.h"

#include "settings/AppSettings.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

using namespace kestrion;

namespace {

ChatHistoryPersistence::FilePayload payloadTitled(const QString& title) {
    ChatSession session = ChatSession::makeFresh();
    session.title = title;
    return {1, {session}, session.id};
}

QString storedTitle(const QTemporaryDir& site) {
    const auto stored = ChatHistoryPersistence::load(site.path());
    return stored ? stored->sessions.value(0).title : QString();
}

} // namespace

// Saves land in the order asked, the newest state of a folder wins, and every caller of a
// save that was replaced in the queue still hears that its state was written.
TEST(HistoryWriterTest, savesLandInOrderAndTheNewestStateOfAFolderWins) {
    QTemporaryDir first;
    QTemporaryDir second;
    HistoryWriter writer;
    QStringList heard;
    const auto note = [&](const QString& name) {
        return [&heard, name](const HistoryWriter::Outcome& outcome) {
            EXPECT_TRUE(outcome.result.ok()) << outcome.result.error.toStdString();
            heard << name;
        };
    };
    for (int i = 0; i < 50; ++i) {
        writer.save(first.path(), payloadTitled(QStringLiteral("first %1").arg(i)), false,
                    note(QStringLiteral("first %1").arg(i)));
    }
    writer.save(second.path(), payloadTitled(QStringLiteral("second")), false, note(QStringLiteral("second")));
    writer.save(first.path(), payloadTitled(QStringLiteral("first last")), false, note(QStringLiteral("first last")));
    writer.flush();

    EXPECT_EQ(storedTitle(first), QStringLiteral("first last"));
    EXPECT_EQ(storedTitle(second), QStringLiteral("second"));
    ASSERT_EQ(heard.size(), 52);
    EXPECT_LT(heard.indexOf(QStringLiteral("first 49")), heard.indexOf(QStringLiteral("second")));
    EXPECT_EQ(heard.last(), QStringLiteral("first last"));
}

// A change of a stored history reads what the saves queued before it wrote.
TEST(HistoryWriterTest, aChangeSeesEverySaveQueuedBeforeIt) {
    QTemporaryDir site;
    HistoryWriter writer;
    const auto saved = payloadTitled(QStringLiteral("saved"));
    writer.save(site.path(), saved);
    QUuid changed;
    writer.change(
        site.path(),
        [](ChatHistoryPersistence::FilePayload& payload) {
            payload.sessions[0].messages.append(ChatMessage::make(ChatMessage::Role::Assistant, QStringLiteral("r")));
            return payload.sessions[0].id;
        },
        [&](const HistoryWriter::Outcome& outcome) { changed = outcome.changedSessionId; });
    writer.flush();

    EXPECT_EQ(changed, saved.sessions[0].id);
    const auto stored = ChatHistoryPersistence::load(site.path());
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->sessions[0].title, QStringLiteral("saved"));
    EXPECT_EQ(stored->sessions[0].messages.size(), 1);
}

// A load reads what the saves queued before it wrote; a folder without a history opens on the
// per-user one only until a save has moved that into a folder.
TEST(HistoryWriterTest, aLoadSeesEverySaveQueuedBeforeIt) {
    QTemporaryDir site;
    QTemporaryDir empty;
    AppSettings::setMigratedLegacyChatsToProject(false);
    HistoryWriter writer;
    std::vector<HistoryWriter::Outcome> loads;
    const auto collect = [&](const HistoryWriter::Outcome& outcome) { loads.push_back(outcome); };
    writer.save(site.path(), payloadTitled(QStringLiteral("saved")));
    writer.load(site.path(), collect);
    writer.save(std::nullopt, payloadTitled(QStringLiteral("per-user")));
    writer.load(empty.path(), collect);
    writer.save(site.path(), payloadTitled(QStringLiteral("moved")), true);
    writer.load(empty.path(), collect);
    writer.flush();

    ASSERT_EQ(loads.size(), 3u);
    ASSERT_TRUE(loads[0].loaded.has_value());
    EXPECT_EQ(loads[0].loaded->sessions.value(0).title, QStringLiteral("saved"));
    EXPECT_FALSE(loads[0].adoptsLegacy);
    ASSERT_TRUE(loads[1].loaded.has_value());
    EXPECT_EQ(loads[1].loaded->sessions.value(0).title, QStringLiteral("per-user"));
    EXPECT_TRUE(loads[1].adoptsLegacy);
    EXPECT_FALSE(loads[2].loaded.has_value()) << "the per-user history went with the move";
    EXPECT_TRUE(AppSettings::migratedLegacyChatsToProject());
}

// Nothing queued is lost when the writer goes (the app quits).
TEST(HistoryWriterTest, everythingQueuedIsWrittenBeforeTheWriterGoes) {
    QTemporaryDir site;
    auto writer = std::make_unique<HistoryWriter>();
    for (int i = 0; i < 20; ++i) {
        writer->save(site.path(), payloadTitled(QStringLiteral("state %1").arg(i)));
    }
    writer.reset();
    EXPECT_EQ(storedTitle(site), QStringLiteral("state 19"));
}
