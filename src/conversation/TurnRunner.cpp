#include "conversation/TurnRunner.h"

#include "context/ProjectContextBuilder.h"
#include "generation/FileGenerationParser.h"
#include "generation/ProjectMaterializer.h"
#include "generation/PromptBuilder.h"
#include "openai/OpenAIService.h"

#include <QtConcurrent/QtConcurrentRun>

namespace kestrion::TurnRunner {

namespace {

QList<ChatCompletionMessage> promptFor(const std::optional<ProjectContextBuilder::Snapshot>& snapshot,
                                       const QList<ChatMessage>& conversation) {
    QList<ChatCompletionMessage> turns;
    turns.reserve(conversation.size());
    for (const ChatMessage& message : conversation) {
        turns.append({ChatMessage::roleName(message.role), message.text});
    }
    return PromptBuilder::requestMessages(snapshot, turns);
}

// The reply as shown in the chat: protocol blocks removed and, when the fallback wrote
// files, the code it took out of the prose removed too; then the summary of the work.
QString displayText(const FileGenerationParser::ParsedReply& reply, const ProjectMaterializer::Result& result) {
    QString display = reply.prose;
    if (!result.fallbackBlocksMaterialized.isEmpty()) {
        for (const auto& block : result.fallbackBlocksMaterialized) {
            if (!block.rawSpan.isEmpty()) {
                display.remove(block.rawSpan, Qt::CaseSensitive);
            }
        }
        display = FileGenerationParser::collapsingBlankLineRuns(display).trimmed();
    }
    const QString summary = ProjectMaterializer::summaryText(result);
    if (summary.isEmpty()) {
        return display;
    }
    if (display.isEmpty()) {
        return summary;
    }
    return display + QStringLiteral("\n\n") + summary;
}

} // namespace

Result runBlocking(const Request& request) {
    const auto snapshot = ProjectContextBuilder::buildBlocking(request.outputRoot);
    const QList<ChatCompletionMessage> prompt = promptFor(snapshot, request.conversation);
    const OpenAIResult<QString> reply = request.openAI->completeChatBlocking(request.model, request.apiKey, prompt);
    if (!reply.ok()) {
        const QString description = reply.error().description();
        return {QStringLiteral("Error: ") + description, description, {}};
    }
    if (!request.outputRoot) {
        return {reply.value(), std::nullopt, {}};
    }
    const FileGenerationParser::ParsedReply parsed = FileGenerationParser::parseReply(reply.value());
    const ProjectMaterializer::Result written =
        ProjectMaterializer::materialize(parsed, *request.outputRoot, request.apiKey, *request.openAI);
    return {displayText(parsed, written), std::nullopt, written.writtenRelativePaths};
}

QFuture<Result> run(Request request) {
    return QtConcurrent::run([request = std::move(request)] { return runBlocking(request); });
}

} // namespace kestrion::TurnRunner
