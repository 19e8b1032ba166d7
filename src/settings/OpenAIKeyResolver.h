#pragma once

#include <QString>
#include <optional>

// The fallback sources of the OpenAI API key, consulted in this order when the settings hold no key.
// Every reader trims whitespace and newlines and reports an empty result as nothing.
namespace kestrion::OpenAIKeyResolver {

// The key compiled into this build (CMake cache variable KESTRION_DEFAULT_OPENAI_API_KEY).
std::optional<QString> readBundledDefaultAPIKey();

// The process environment variable OPENAI_API_KEY.
std::optional<QString> readEnvironmentKey();

// The file "DuvUDUvadIra/openai_api_key" in the per-user data folder ($XDG_DATA_HOME). Nothing when
// the file is missing, unreadable, not valid UTF-8 or implausibly large; nothing is ever created there.
std::optional<QString> readApplicationSupportKeyFile();

// Where readApplicationSupportKeyFile() looks; nothing when the platform names no data folder.
std::optional<QString> applicationSupportKeyFilePath();

// Where the key used for requests comes from.
enum class KeySource { None, Preferences, BuiltIn, Environment, KeyFile };

struct ResolvedKey {
    QString key; // empty exactly when source is None
    KeySource source = KeySource::None;
};

// The key used for requests: the preferences' key (trimmed), else the first of the bundled key, the
// environment and the key file. Reads the key file: call it off the interface thread where a wait
// on the disk matters.
ResolvedKey resolve(const QString& preferencesKey);

// The text without surrounding whitespace and newlines, or nothing when that leaves it empty.
std::optional<QString> trimmedNonEmpty(const QString& text);

} // namespace kestrion::OpenAIKeyResolver
