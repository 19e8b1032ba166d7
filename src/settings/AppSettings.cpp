#include "settings/AppSettings.h"

#include "settings/OpenAIKeyResolver.h"
#include "settings/SecretStore.h"
#include "support/TextDecoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>

namespace kestrion {

namespace {

// A value placed in the file by hand or by another program can be of any type QSettings knows: a list
// when the text has unquoted commas, a byte array, a serialized variant. Text-like scalars are taken
// as their text; anything else counts as absent, so a damaged entry falls back to its default
// instead of becoming an odd string.
std::optional<QString> readText(const QSettings& store, const QString& key) {
    if (!store.contains(key)) {
        return std::nullopt;
    }
    const QVariant value = store.value(key);
    switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::QChar:
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return value.toString();
    case QMetaType::QByteArray:
        return decodeUtf8Strict(value.toByteArray());
    default:
        return std::nullopt;
    }
}

// Like a boolean user default: absent reads as the fallback; present, true for a true boolean, a
// non-zero number, the texts "true" and "yes" in any case, or the text of a non-zero integer.
// Everything else (a list, garbage, "off") is false, so a damaged entry never claims a migration that
// did not happen nor publishes chats the user may have meant to keep private.
bool readBool(const QSettings& store, const QString& key, bool fallback = false) {
    if (!store.contains(key)) {
        return fallback;
    }
    const QVariant value = store.value(key);
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return value.toDouble() != 0.0;
    case QMetaType::QString: {
        const QString text = value.toString().trimmed();
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
            text.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0) {
            return true;
        }
        bool isNumber = false;
        const qlonglong number = text.toLongLong(&isNumber);
        return isNumber && number != 0;
    }
    default:
        return false;
    }
}

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
    m_apiKey.value = readText(*m_store, apiKeyKey).value_or(QString());
    m_model = readText(*m_store, modelKey).value_or(defaultModel);
    // An empty stored path names no folder; like an absent one it means the Desktop.
    const auto storedDirectory = readText(*m_store, outputDirectoryKey);
    m_outputDirectory = directoryFromPath(storedDirectory.value_or(QString())).value_or(defaultOutputDirectory());
    m_kestrionPanelBaseURL = readText(*m_store, kestrionPanelBaseURLKey).value_or(QString());
    m_kestrionApiToken.value = readText(*m_store, kestrionApiTokenKey).value_or(QString());
    m_openAIBaseURL = readText(*m_store, openAIBaseURLKey).value_or(QString());
    m_deployIncludeChats = readBool(*m_store, deployIncludeChatsKey, true);
    m_streamReplies = readBool(*m_store, streamRepliesKey, false);
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
    return readBool(*openStore(), migratedLegacyChatsKey);
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

void AppSettings::setApiKey(const QString& apiKey) {
    setSecret(m_apiKey, apiKey);
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

void AppSettings::setKestrionApiToken(const QString& token) {
    setSecret(m_kestrionApiToken, token);
}

void AppSettings::loadSecret(Secret& secret) {
    if (!m_secrets) {
        return;
    }
    secret.busy = true;
    // An entry in the file, even an empty one, was written while no keyring answered: it is newer than
    // what the keyring holds, so it replaces that. Otherwise the keyring holds the secret, if anything.
    if (m_store->contains(secret.key)) {
        writeSecretToKeyring(secret);
        return;
    }
    m_secrets->read(secret.key, [this, &secret](const SecretStore::ReadResult& result) {
        const bool answered = result.answer != SecretStore::Answer::Unavailable;
        secretRead(secret, answered,
                   result.answer == SecretStore::Answer::Found ? std::optional(result.value) : std::nullopt);
    });
}

void AppSettings::setSecret(Secret& secret, const QString& value) {
    if (value == secret.value) {
        return;
    }
    secret.value = value;
    if (secret.storage == SecretStorage::Keyring) {
        if (secret.busy) {
            secret.dirty = true;
        } else {
            secret.busy = true;
            writeSecretToKeyring(secret);
        }
    } else {
        // Until the keyring has answered, the file keeps the value safe; the answer moves it over.
        storeText(secret.key, value);
        secret.dirty = secret.busy;
    }
    emit(this->*secret.changed)();
}

void AppSettings::writeSecretToKeyring(Secret& secret) {
    secret.dirty = false;
    m_secrets->write(secret.key, secret.value, [this, &secret](bool stored) { secretWritten(secret, stored); });
}

void AppSettings::secretWritten(Secret& secret, bool stored) {
    if (!stored) {
        // The value stays where the user can still get it back: the settings file.
        secret.dirty = false;
        if (readText(*m_store, secret.key) != secret.value) {
            storeText(secret.key, secret.value);
        }
        setSecretStorage(secret, SecretStorage::SettingsFile);
        finishSecretCall(secret);
        return;
    }
    if (keepInKeyring(secret)) {
        return;
    }
    if (m_store->contains(secret.key)) {
        m_store->remove(secret.key);
        saveStore(*m_store);
    }
    finishSecretCall(secret);
}

void AppSettings::secretRead(Secret& secret, bool answered, const std::optional<QString>& found) {
    if (!answered) {
        // Anything set meanwhile went to the file already.
        secret.dirty = false;
        finishSecretCall(secret);
        return;
    }
    if (keepInKeyring(secret)) {
        return;
    }
    if (found && *found != secret.value) {
        secret.value = *found;
        emit(this->*secret.changed)();
    }
    finishSecretCall(secret);
}

bool AppSettings::keepInKeyring(Secret& secret) {
    setSecretStorage(secret, SecretStorage::Keyring);
    if (!secret.dirty) {
        return false;
    }
    // Set while the keyring was busy, so newer than what it holds.
    writeSecretToKeyring(secret);
    return true;
}

void AppSettings::setSecretStorage(Secret& secret, SecretStorage storage) {
    if (secret.storage != storage) {
        secret.storage = storage;
        emit secretStorageChanged();
    }
}

void AppSettings::finishSecretCall(Secret& secret) {
    secret.busy = false;
    if (!secretsPending()) {
        emit secretsSettled();
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
    const auto text = readText(store, AppSettings::previewDevicesKey);
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
