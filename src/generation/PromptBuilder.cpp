#include "generation/PromptBuilder.h"

#include "generation/FileGenerationParser.h"

namespace kestrion::PromptBuilder {

namespace {

const QString systemPromptOpening =
    QStringLiteral("You are a helpful coding assistant running inside a macOS website builder. ");

} // namespace

QString systemPrompt(const std::optional<ProjectContextBuilder::Snapshot>& snapshot) {
    QString prompt = systemPromptOpening + FileGenerationParser::systemPromptAppendix();
    const QString section = ProjectContextBuilder::systemPromptSection(snapshot);
    if (!section.isEmpty()) {
        prompt += QStringLiteral("\n\n") + section;
    }
    return prompt;
}

QList<ChatCompletionMessage> requestMessages(const std::optional<ProjectContextBuilder::Snapshot>& snapshot,
                                             const QList<ChatCompletionMessage>& conversation) {
    QList<ChatCompletionMessage> request;
    request.reserve(conversation.size() + 1);
    request.append({QStringLiteral("system"), systemPrompt(snapshot)});
    request.append(conversation);
    return request;
}

} // namespace kestrion::PromptBuilder
