#pragma once

#include <QLoggingCategory>

// One category per module, so a user filing a bug can turn on exactly the part
// that misbehaves, e.g. QT_LOGGING_RULES="kestrion.openai.debug=true".
// Nothing logged under these may carry a key, a token or chat message text.
namespace kestrion {

Q_DECLARE_LOGGING_CATEGORY(lcSupport)
Q_DECLARE_LOGGING_CATEGORY(lcSettings)
Q_DECLARE_LOGGING_CATEGORY(lcConversation)
Q_DECLARE_LOGGING_CATEGORY(lcOpenAI)
Q_DECLARE_LOGGING_CATEGORY(lcGeneration)
Q_DECLARE_LOGGING_CATEGORY(lcContext)
Q_DECLARE_LOGGING_CATEGORY(lcWorkspace)
Q_DECLARE_LOGGING_CATEGORY(lcDeploy)
Q_DECLARE_LOGGING_CATEGORY(lcApp)

} // namespace kestrion
