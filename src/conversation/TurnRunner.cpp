#include "conversation/TurnRunner.h"

#include "context/ProjectContextBuilder.h"
#include "conversation/TurnLog.h"
#include "generation/FileGenerationParser.h"
#include "generation/ProjectMaterializer.h"
#include "generation/PromptBuilder.h"
#include "generation/TurnGit.h"
#include "openai/OpenAIService.h"

#include <QCoreApplication>
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
    const TurnObserver observer{request.stop, request.progress};
    observer.report({TurnProgress::Stage::Waiting, 0, 0, {}});
    ChatRequestOptions options;
    options.stop = request.stop;
    options.stream = request.stream;
    options.onText = request.streamedText;
    const OpenAIResult<QString> reply =
        request.openAI->completeChatBlocking(request.model, request.apiKey, prompt, options);
    if (request.stop.stop_requested()) {
        Result stopped;
        stopped.stopped = true;
        return stopped;
    }
    if (!reply.ok()) {
        const QString description = reply.error().description();
        Result failed;
        failed.text = errorText(description);
        failed.error = description;
        return failed;
    }
    if (!request.outputRoot) {
        Result shown;
        shown.text = reply.value();
        return shown;
    }
    const FileGenerationParser::ParsedReply parsed = FileGenerationParser::parseReply(reply.value());
    // The site as this turn left it: what its pages name that is not there goes into the
    // summary, and with it into the history the model reads next time.
    const ProjectMaterializer::Result written =
        ProjectMaterializer::materialize(parsed, *request.outputRoot, request.apiKey, *request.openAI,
                                         QString::fromLatin1(ProjectMaterializer::defaultGitPath), observer,
                                         ProjectMaterializer::LinkCheckRun::WhileCommitting);
    Result result;
    result.text = displayText(parsed, written);
    result.writtenPaths = written.writtenRelativePaths;
    // A commit that found nothing new made no commit, and the turn records none.
    if (written.gitCommitted) {
        if (const std::optional<QString> after = TurnGit::headCommit(*request.outputRoot)) {
            result.commit = after;
            TurnLog::record(*request.outputRoot, result.messageId, {*after, TurnLog::Entry::Kind::Turn});
        }
    }
    return result;
}

QString errorText(const QString& description) {
    return QCoreApplication::translate("kestrion::TurnRunner", "Error: %1").arg(description);
}

bool isErrorText(const QString& text) {
    if (text.startsWith(QLatin1String("Error: "))) {
        return true;
    }
    // Only what the translation puts before the description marks the line; a translation
    // that starts with the description marks nothing.
    const QString translated = errorText(QStringLiteral("%1"));
    const qsizetype at = translated.indexOf(QLatin1String("%1"));
    return at > 0 && text.startsWith(QStringView(translated).left(at));
}

QFuture<Result> run(Request request) {
    return QtConcurrent::run([request = std::move(request)] { return runBlocking(request); });
}

} // namespace kestrion::TurnRunner
