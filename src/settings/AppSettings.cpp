#include "settings/AppSettings.h"

#include "settings/OpenAIKeyResolver.h"
#include "settings/SecretStore.h"
#include "settings/StoredValues.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace kestrion {

namespace {

// A stored relative path would otherwise mean different folders depending on where the process was
// started; it is taken relative to the working directory once, as a file URL of that path would be.
QString absolutePath(const QString& path) {
    return QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path);
}

std::optional<QString> directoryFromPath(const QString& path) {
    if (path.isEmpty()) {
        return std::nullopt;
    }
    return absolutePath(path);
}

constexpr QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// QSettings saves through a temporary file that takes over the permissions of the file it replaces,
// and creates a missing one under the umask (usually world-readable). So the file is made to exist,
// private, before the save; making it exclusively never follows a link planted in its place.
void prepareStoreFile(const QString& path) {
    if (path.isEmpty()) {
        return;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, ownerOnly)) {
        QFile::setPermissions(path, ownerOnly); // it exists already
    }
}

QString withoutTrailingSlashes(QString text) {
    while (text.endsWith(QLatin1Char('/'))) {
        text.chop(1);
    }
    return text;
}

} // namespace

AppSettings::AppSettings(QObject* parent) : AppSettings(nullptr, parent) {}

AppSettings::AppSettings(std::unique_ptr<SecretStore> secrets, QObject* parent)
    : QObject(parent), m_store(openStore()), m_secrets(secrets.release()) {
    if (m_secrets) {
        m_secrets->setParent(this);
    }
    m_apiKey.value = StoredValues::readText(*m_store, apiKeyKey).value_or(QString());
    m_model = StoredValues::readText(*m_store, modelKey).value_or(defaultModel);
    // An empty stored path names no folder; like an absent one it means the Desktop.
    const auto storedDirectory = StoredValues::readText(*m_store, outputDirectoryKey);
    m_outputDirectory = directoryFromPath(storedDirectory.value_or(QString())).value_or(defaultOutputDirectory());
    m_kestrionPanelBaseURL = StoredValues::readText(*m_store, kestrionPanelBaseURLKey).value_or(QString());
    m_kestrionApiToken.value = StoredValues::readText(*m_store, kestrionApiTokenKey).value_or(QString());
    m_openAIBaseURL = StoredValues::readText(*m_store, openAIBaseURLKey).value_or(QString());
    m_deployIncludeChats = StoredValues::readBool(*m_store, deployIncludeChatsKey, true);
    m_streamReplies = StoredValues::readBool(*m_store, streamRepliesKey, false);
    loadSecret(m_apiKey);
    loadSecret(m_kestrionApiToken);
}

AppSettings::~AppSettings() = default;

std::unique_ptr<QSettings> AppSettings::openStore() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kestrion"),
                                       QStringLiteral("DuvUDUvadIra"));
}

void AppSettings::saveStore(QSettings& store) {
    const QString path = store.fileName();
    prepareStoreFile(path);
    store.sync();
    // Also when preparing failed or something replaced the file in between, the save leaves it private.
    if (QFileInfo::exists(path)) {
        QFile::setPermissions(path, ownerOnly);
    }
}

bool AppSettings::migratedLegacyChatsToProject() {
    return StoredValues::readBool(*openStore(), migratedLegacyChatsKey);
}

void AppSettings::setMigratedLegacyChatsToProject(bool migrated) {
    const auto store = openStore();
    store->setValue(migratedLegacyChatsKey, migrated);
    saveStore(*store);
}

QString AppSettings::defaultOutputDirectory() {
    return QDir::homePath() + QStringLiteral("/Desktop");
}

void AppSettings::storeText(const QString& key, const QString& value) {
    m_store->setValue(key, value);
    saveStore(*m_store);
}

bool AppSettings::updateText(QString& member, const QString& key, const QString& value) {
    if (value == member) {
        return false;
    }
    member = value;
    storeText(key, value);
    return true;
}

void AppSettings::setModel(const QString& model) {
    if (updateText(m_model, modelKey, model)) {
        emit modelChanged();
    }
}

void AppSettings::setOutputDirectoryPath(const std::optional<QString>& directory) {
    const std::optional<QString> normalized = directoryFromPath(directory.value_or(QString()));
    if (normalized == m_outputDirectory) {
        return;
    }
    m_outputDirectory = normalized;
    if (normalized) {
        storeText(outputDirectoryKey, *normalized);
    } else {
        m_store->remove(outputDirectoryKey);
        saveStore(*m_store);
    }
    emit outputDirectoryPathChanged();
}

void AppSettings::setKestrionPanelBaseURL(const QString& baseURL) {
    if (updateText(m_kestrionPanelBaseURL, kestrionPanelBaseURLKey, baseURL)) {
        emit kestrionPanelBaseURLChanged();
    }
}

void AppSettings::setOpenAIBaseURL(const QString& baseURL) {
    if (updateText(m_openAIBaseURL, openAIBaseURLKey, baseURL)) {
        emit openAIBaseURLChanged();
    }
}

bool AppSettings::updateBool(bool& member, const QString& key, bool value) {
    if (value == member) {
        return false;
    }
    member = value;
    m_store->setValue(key, value);
    saveStore(*m_store);
    return true;
}

void AppSettings::setDeployIncludeChats(bool include) {
    if (updateBool(m_deployIncludeChats, deployIncludeChatsKey, include)) {
        emit deployIncludeChatsChanged();
    }
}

void AppSettings::setStreamReplies(bool stream) {
    if (updateBool(m_streamReplies, streamRepliesKey, stream)) {
        emit streamRepliesChanged();
    }
}

namespace {

bool isKnownNarrowDevice(const QString& device) {
    return device == QLatin1String("tablet") || device == QLatin1String("phone");
}

QJsonObject readPreviewDevices(const QSettings& store) {
    const auto text = StoredValues::readText(store, AppSettings::previewDevicesKey);
    return text ? QJsonDocument::fromJson(text->toUtf8()).object() : QJsonObject();
}

} // namespace

QString AppSettings::previewDevice(const QString& directory) const {
    const QString device = readPreviewDevices(*m_store).value(absolutePath(directory)).toString();
    return isKnownNarrowDevice(device) ? device : QStringLiteral("desktop");
}

void AppSettings::setPreviewDevice(const QString& directory, const QString& device) {
    if (directory.isEmpty() || previewDevice(directory) == device) {
        return;
    }
    QJsonObject devices = readPreviewDevices(*m_store);
    if (isKnownNarrowDevice(device)) {
        devices.insert(absolutePath(directory), device);
    } else {
        devices.remove(absolutePath(directory));
    }
    storeText(previewDevicesKey, QString::fromUtf8(QJsonDocument(devices).toJson(QJsonDocument::Compact)));
}

QString AppSettings::resolvedAPIKey() const {
    return OpenAIKeyResolver::resolve(m_apiKey.value).key;
}

QString AppSettings::resolvedKestrionPanelBaseURL() const {
    QString url = m_kestrionPanelBaseURL.trimmed();
    qsizetype start = 0;
    while (start < url.size() && url.at(start) == QLatin1Char('/')) {
        ++start;
    }
    url = withoutTrailingSlashes(url.mid(start));
    return url.isEmpty() ? defaultKestrionPanelBaseURL : url;
}

QString AppSettings::resolvedOpenAIBaseURL() const {
    return openAIBaseURLFrom(m_openAIBaseURL);
}

QString AppSettings::openAIBaseURLFrom(const QString& configured) {
    for (const QString& candidate : {configured, qEnvironmentVariable("OPENAI_BASE_URL")}) {
        const QString url = withoutTrailingSlashes(candidate.trimmed());
        if (!url.isEmpty()) {
            return url;
        }
    }
    return defaultOpenAIBaseURL;
}

} // namespace kestrion
