#pragma once

#include "context/ProjectContextBuilder.h"
#include "openai/OpenAIService.h"

#include <QList>
#include <QString>
#include <optional>

// The request a turn sends: the system prompt (the opening sentence, the file protocol and
// the project workspace block) followed by the conversation as asked.
namespace kestrion::PromptBuilder {

// The system prompt; without a snapshot it has no workspace block.
QString systemPrompt(const std::optional<ProjectContextBuilder::Snapshot>& snapshot);

// The system message followed by the conversation's turns, in order.
QList<ChatCompletionMessage> requestMessages(const std::optional<ProjectContextBuilder::Snapshot>& snapshot,
                                             const QList<ChatCompletionMessage>& conversation);

} // namespace kestrion::PromptBuilder
