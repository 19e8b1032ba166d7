#pragma once

#include "conversation/ChatRecords.h"
#include "generation/TurnProgress.h"

#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

namespace kestrion {

class OpenAIService;

// One turn of a chat, from the conversation as asked to the text the chat shows, on a pool
// thread: snapshot of the website directory, prompt, model request, files written and
// committed, display text. The reply is parsed once. Nothing here touches the interface.
namespace TurnRunner {

struct Request {
    QString model;
    QString apiKey;
    // The website directory; none: nothing is read or written and the raw reply is shown.
    std::optional<QString> outputRoot;
    // The chat's messages, the user's new one last.
    QList<ChatMessage> conversation;
    std::shared_ptr<const OpenAIService> openAI;
    // A stop before the reply is in ends the turn with nothing written; during the images it
    // cancels those not yet made.
    std::stop_token stop;
    // Hears of each step, on the worker thread.
    std::function<void(const TurnProgress&)> progress;
    // Asks for the reply as it is written; streamedText gets each new piece, on the worker thread.
    bool stream = false;
    std::function<void(const QString&)> streamedText;
};

struct Result {
    // The assistant message: the reply as shown, or "Error: <description>".
    QString text;
    // The failed request's description (the chat's error line); none when the reply arrived.
    std::optional<QString> error;
    // Files written into the website directory, as the reply named them.
    QStringList writtenPaths;
    // The user stopped the turn before its reply arrived: nothing was written and no
    // assistant message is due.
    bool stopped = false;
    // The id the assistant message gets.
    QUuid messageId = QUuid::createUuid();
    // The commit the turn made, recorded for that message in the folder's turn log.
    std::optional<QString> commit;
};

// Starts the turn on the global pool; the future always ends with a result.
QFuture<Result> run(Request request);

// The assistant message of a failed request, "Error: <description>" in the user's language.
QString errorText(const QString& description);
// Whether an assistant message is such an error line: in English (as older chats and an untranslated
// app store it) or in the language in use now.
bool isErrorText(const QString& text);

// The whole turn on the calling thread (blocking).
Result runBlocking(const Request& request);

} // namespace TurnRunner

} // namespace kestrion
