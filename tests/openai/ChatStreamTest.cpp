#include "openai/ChatStreamReader.h"
#include "openai/OpenAIService.h"
#include "support/FakeOpenAIServer.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <gtest/gtest.h>

using namespace kestrion;
using kestrion::test::FakeOpenAIServer;

namespace {

// Feeds the bytes one piece after another and returns the outcome.
OpenAIResult<QString> readInPieces(const QList<QByteArray>& pieces) {
    ChatStreamReader reader;
    for (const QByteArray& piece : pieces) {
        reader.feed(piece);
    }
    return reader.result();
}

QByteArray chunk(const QString& content) {
    return FakeOpenAIServer::streamedChunk(content);
}

TEST(ChatStreamReaderTest, readsTheTextWhateverTheEventsAroundIt) {
    struct Case {
        const char* name;
        QList<QByteArray> pieces;
        QString text;
    };
    const QByteArray e = chunk(QStringLiteral("\u00e9t\u00e9"));
    const qsizetype insideE = e.indexOf("\xc3") + 1; // between the two bytes of "é"
    const QList<Case> cases = {
        {"plain", {chunk("Hello "), chunk("world"), "data: [DONE]\n\n"}, "Hello world"},
        {"comments and empty events",
         {": keep-alive\n\n", "data:\n\n", "\n\n", chunk("A"), ": ping\n", "event: message\n", chunk("B"),
          "data: [DONE]\n\n"},
         "AB"},
        {"carriage returns",
         {"data: {\"choices\":[{\"delta\":{\"content\":\"x\"}}]}\r\n\r\n", "data: [DONE]\r\n\r\n"},
         "x"},
        {"split inside a character", {e.first(insideE), e.sliced(insideE), "data: [DO", "NE]\n\n"}, "\u00e9t\u00e9"},
        {"a chunk without choices",
         {"data: {\"usage\":{\"total_tokens\":3}}\n\n", chunk("z"), "data: [DONE]\n\n"},
         "z"},
        {"anything after DONE is ignored", {chunk("a"), "data: [DONE]\n\n", "data: junk\n\n"}, "a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const OpenAIResult<QString> result = readInPieces(c.pieces);
        ASSERT_TRUE(result.ok()) << result.error().description().toStdString();
        EXPECT_EQ(result.value(), c.text);
    }
}

TEST(ChatStreamReaderTest, failuresOfTheStream) {
    struct Case {
        const char* name;
        QList<QByteArray> pieces;
        OpenAIError::Kind kind;
        QString contains;
    };
    const QList<Case> cases = {
        {"error event",
         {chunk("a"), "data: {\"error\":{\"message\":\"Rate limit reached\"}}\n\n"},
         OpenAIError::Kind::Http,
         "Rate limit reached"},
        {"cut before DONE", {chunk("a"), chunk("b")}, OpenAIError::Kind::Decoding, "ended before"},
        {"not JSON", {"data: {nope\n\n"}, OpenAIError::Kind::Decoding, "offset"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const OpenAIResult<QString> result = readInPieces(c.pieces);
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error().kind, c.kind);
        EXPECT_TRUE(result.error().description().contains(c.contains)) << result.error().description().toStdString();
    }
}

class ChatRequestBodyTest : public ::testing::Test {
protected:
    OpenAIResult<QString> ask(const ChatRequestOptions& options) {
        const OpenAIService client(server.apiBaseUrl());
        return QtConcurrent::run([&] {
                   return client.completeChatBlocking(QStringLiteral("gpt-4o-mini"), QStringLiteral("sk-test"),
                                                      {{QStringLiteral("user"), QStringLiteral("hi")}}, options);
               })
            .result();
    }

    FakeOpenAIServer server;
};

// Everyone who leaves replies unstreamed sends exactly the bytes the app always sent.
TEST_F(ChatRequestBodyTest, withoutStreamingTheBodyIsTheUsualOne_withItOnlyTheFlagIsAdded) {
    server.replyWithChat(QStringLiteral("plain"));
    server.replyWithStreamedChat({QStringLiteral("str"), QStringLiteral("eamed")});
    ASSERT_EQ(ask({}).value(), QStringLiteral("plain"));
    QStringList pieces;
    ChatRequestOptions streamed;
    streamed.stream = true;
    streamed.onText = [&pieces](const QString& piece) { pieces << piece; };
    ASSERT_EQ(ask(streamed).value(), QStringLiteral("streamed"));

    ASSERT_EQ(server.chatRequests().size(), 2);
    EXPECT_EQ(server.chatRequests()[0].body,
              QByteArray(R"({"messages":[{"content":"hi","role":"user"}],"model":"gpt-4o-mini","temperature":0.4})"));
    EXPECT_EQ(
        server.chatRequests()[1].body,
        QByteArray(
            R"({"messages":[{"content":"hi","role":"user"}],"model":"gpt-4o-mini","stream":true,"temperature":0.4})"));
    EXPECT_EQ(pieces.join(QString()), QStringLiteral("streamed"));
}

TEST_F(ChatRequestBodyTest, aServerThatIgnoresTheFlagStillGivesItsReply) {
    server.replyWithChat(QStringLiteral("whole"));
    ChatRequestOptions streamed;
    streamed.stream = true;
    const OpenAIResult<QString> result = ask(streamed);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value(), QStringLiteral("whole"));
}

} // namespace
