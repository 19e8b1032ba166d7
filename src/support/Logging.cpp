#include "support/Logging.h"

// Debug messages are off unless QT_LOGGING_RULES turns them on; warnings and
// information are on.
namespace kestrion {

Q_LOGGING_CATEGORY(lcSupport, "kestrion.support", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSettings, "kestrion.settings", QtInfoMsg)
Q_LOGGING_CATEGORY(lcConversation, "kestrion.conversation", QtInfoMsg)
Q_LOGGING_CATEGORY(lcOpenAI, "kestrion.openai", QtInfoMsg)
Q_LOGGING_CATEGORY(lcGeneration, "kestrion.generation", QtInfoMsg)
Q_LOGGING_CATEGORY(lcContext, "kestrion.context", QtInfoMsg)
Q_LOGGING_CATEGORY(lcWorkspace, "kestrion.workspace", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDeploy, "kestrion.deploy", QtInfoMsg)
Q_LOGGING_CATEGORY(lcApp, "kestrion.app", QtInfoMsg)

} // namespace kestrion
