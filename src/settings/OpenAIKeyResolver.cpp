#include "settings/OpenAIKeyResolver.h"

#include "settings/BundledDefaultKey.h"
#include "support/TextDecoding.h"

#include <QFile>
#include <QStandardPaths>

namespace kestrion::OpenAIKeyResolver {

namespace {
// A key is a few hundred bytes. The file is read on the interface thread whenever the key is resolved,
// so anything far larger (a mistaken file, a device node) is ignored rather than read.
constexpr qint64 maximumKeyFileBytes = 64 * 1024;
} // namespace

std::optional<QString> trimmedNonEmpty(const QString& text) {
    QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        return std::nullopt;
    }
    return trimmed;
}

ResolvedKey resolve(const QString& preferencesKey) {
    if (auto key = trimmedNonEmpty(preferencesKey)) {
        return {*key, KeySource::Preferences};
    }
    if (auto key = readBundledDefaultAPIKey()) {
        return {*key, KeySource::BuiltIn};
    }
    if (auto key = readEnvironmentKey()) {
        return {*key, KeySource::Environment};
    }
    if (auto key = readApplicationSupportKeyFile()) {
        return {*key, KeySource::KeyFile};
    }
    return {};
}

std::optional<QString> readBundledDefaultAPIKey() {
    return trimmedNonEmpty(QString::fromUtf8(detail::bundledDefaultOpenAIApiKey));
}

std::optional<QString> readEnvironmentKey() {
    return trimmedNonEmpty(qEnvironmentVariable("OPENAI_API_KEY"));
}

std::optional<QString> applicationSupportKeyFilePath() {
    const QStringList bases = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    if (bases.isEmpty() || bases.first().isEmpty()) {
        return std::nullopt;
    }
    return bases.first() + QStringLiteral("/DuvUDUvadIra/openai_api_key");
}

std::optional<QString> readApplicationSupportKeyFile() {
    const auto path = applicationSupportKeyFilePath();
    if (!path) {
        return std::nullopt;
    }
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray bytes = file.read(maximumKeyFileBytes + 1);
    if (bytes.size() > maximumKeyFileBytes || file.error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    const auto text = decodeUtf8Strict(bytes);
    if (!text) {
        return std::nullopt;
    }
    return trimmedNonEmpty(*text);
}

} // namespace kestrion::OpenAIKeyResolver
