#pragma once

#include <QObject>
#include <QSettings>
#include <QString>
#include <memory>
#include <optional>

namespace kestrion {

class SecretStore;

// The user's settings: the OpenAI key, model and base URL, the website directory, the hosting
// panel's base URL and token, and whether a deploy publishes the chats. Loaded from the per-user store when constructed
// (loading writes nothing) and written back the moment a value changes; setting a value equal to the current one does
// nothing. Lives on the interface thread.
//
// Given a secret store (the desktop keyring), the two secrets live there instead of the settings file whenever it
// answers. Their getters return a cached value at once; the store is asked in the background and a changed signal
// follows its answer. A secret found in the settings file was written while no keyring answered, so it is the newer
// one: it moves into the keyring, and leaves the file only once the keyring confirmed the write. When the keyring
// does not answer or fails a write, the secret stays in (or returns to) the settings file.
class AppSettings final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppSettings)
    Q_PROPERTY(QString apiKey READ apiKey WRITE setApiKey NOTIFY apiKeyChanged)
    Q_PROPERTY(QString model READ model WRITE setModel NOTIFY modelChanged)
    Q_PROPERTY(QString kestrionPanelBaseURL READ kestrionPanelBaseURL WRITE setKestrionPanelBaseURL NOTIFY
                   kestrionPanelBaseURLChanged)
    Q_PROPERTY(QString kestrionApiToken READ kestrionApiToken WRITE setKestrionApiToken NOTIFY kestrionApiTokenChanged)
    Q_PROPERTY(QString openAIBaseURL READ openAIBaseURL WRITE setOpenAIBaseURL NOTIFY openAIBaseURLChanged)
    Q_PROPERTY(
        bool deployIncludeChats READ deployIncludeChats WRITE setDeployIncludeChats NOTIFY deployIncludeChatsChanged)
    Q_PROPERTY(bool streamReplies READ streamReplies WRITE setStreamReplies NOTIFY streamRepliesChanged)

public:
    // Where a secret is kept right now.
    enum class SecretStorage { SettingsFile, Keyring };
    Q_ENUM(SecretStorage)

    // Keys of the per-user store.
    static inline const QString apiKeyKey = QStringLiteral("openai_api_key");
    static inline const QString modelKey = QStringLiteral("openai_model");
    static inline const QString outputDirectoryKey = QStringLiteral("output_directory_path");
    static inline const QString kestrionPanelBaseURLKey = QStringLiteral("kestrion_panel_base_url");
    static inline const QString kestrionApiTokenKey = QStringLiteral("kestrion_api_token");
    static inline const QString openAIBaseURLKey = QStringLiteral("openai_base_url");
    static inline const QString deployIncludeChatsKey = QStringLiteral("deploy_include_chats");
    static inline const QString streamRepliesKey = QStringLiteral("stream_replies");
    // The preview's device width per website directory: a JSON object from the
    // directory's path to "tablet" or "phone" (absent: "desktop").
    static inline const QString previewDevicesKey = QStringLiteral("preview_devices");
    static inline const QString migratedLegacyChatsKey =
        QStringLiteral("DuvUDUvadIra.migrated_legacy_chats_to_project");

    static inline const QString defaultModel = QStringLiteral("gpt-4o-mini");
    static inline const QString defaultOpenAIBaseURL = QStringLiteral("https://api.openai.com/v1");
    // No public panel exists: an unconfigured deploy fails with "host not found" instead of reaching
    // someone else's server (.invalid never resolves).
    static inline const QString defaultKestrionPanelBaseURL = QStringLiteral("https://panel.kestrion.invalid");

    // Secrets in the settings file only.
    explicit AppSettings(QObject* parent = nullptr);
    // Secrets in secrets when it answers (see above); the store becomes a child of the settings.
    explicit AppSettings(std::unique_ptr<SecretStore> secrets, QObject* parent = nullptr);
    ~AppSettings() override;

    // The per-user store ($XDG_CONFIG_HOME/Kestrion/DuvUDUvadIra.conf). Every part of the application
    // that keeps a per-user value opens it through here so they all share one file.
    static std::unique_ptr<QSettings> openStore();
    // Writes a store opened above to disk. The file holds the API key and the panel token, so it is
    // created readable by its owner only (0600), and a file found with wider rights is narrowed.
    static void saveStore(QSettings& store);

    // The one-time move of the per-user chat history into a website directory; absent reads as false.
    // Static because the conversation controller uses it without holding the settings object.
    static bool migratedLegacyChatsToProject();
    static void setMigratedLegacyChatsToProject(bool migrated);

    QString apiKey() const { return m_apiKey.value; }
    QString model() const { return m_model; }
    // The website directory's path; none when no folder is chosen.
    std::optional<QString> outputDirectoryPath() const { return m_outputDirectory; }
    QString kestrionPanelBaseURL() const { return m_kestrionPanelBaseURL; }
    QString kestrionApiToken() const { return m_kestrionApiToken.value; }
    QString openAIBaseURL() const { return m_openAIBaseURL; }
    // Whether a deploy publishes the site's ".kestrion-chats" folder with the site; true when absent.
    bool deployIncludeChats() const { return m_deployIncludeChats; }
    // Whether replies are asked for as they are written and shown while they arrive; false when absent.
    bool streamReplies() const { return m_streamReplies; }

    SecretStorage apiKeyStorage() const { return m_apiKey.storage; }
    SecretStorage kestrionApiTokenStorage() const { return m_kestrionApiToken.storage; }
    // True while the secret store has not answered every question asked of it.
    bool secretsPending() const { return m_apiKey.busy || m_kestrionApiToken.busy; }

    void setApiKey(const QString& apiKey);
    void setModel(const QString& model);
    // None removes the stored path, so the next start uses the Desktop again.
    void setOutputDirectoryPath(const std::optional<QString>& directory);
    void setKestrionPanelBaseURL(const QString& baseURL);
    void setKestrionApiToken(const QString& token);
    void setOpenAIBaseURL(const QString& baseURL);
    void setDeployIncludeChats(bool include);
    void setStreamReplies(bool stream);

    // The preview's device for a website directory: "desktop", "tablet" or "phone".
    QString previewDevice(const QString& directory) const;
    // Remembers it (anything unknown counts as "desktop", which is stored as nothing).
    void setPreviewDevice(const QString& directory, const QString& device);

    // The key used for requests: the settings key trimmed, else the first of the bundled key, the
    // environment and the key file; possibly empty. Evaluated on every call.
    QString resolvedAPIKey() const;
    // The panel origin without surrounding whitespace or slashes, else the default; never empty.
    QString resolvedKestrionPanelBaseURL() const;
    // The setting, resolved by openAIBaseURLFrom().
    QString resolvedOpenAIBaseURL() const;
    // The given base URL, else OPENAI_BASE_URL, else the public API; trimmed, never ending in "/".
    static QString openAIBaseURLFrom(const QString& configured);

    // The website directory used when none is stored: the Desktop folder in the user's home.
    static QString defaultOutputDirectory();

signals:
    void apiKeyChanged();
    void modelChanged();
    void outputDirectoryPathChanged();
    void kestrionPanelBaseURLChanged();
    void kestrionApiTokenChanged();
    void openAIBaseURLChanged();
    void deployIncludeChatsChanged();
    void streamRepliesChanged();
    void secretStorageChanged();
    // The secret store answered the last question asked of it (secretsPending() is false).
    void secretsSettled();

private:
    // A secret setting: its cached value and where it is kept.
    struct Secret {
        Secret(QString settingKey, void (AppSettings::*changedSignal)())
            : key(std::move(settingKey)), changed(changedSignal) {}

        QString key; // in the settings file, and the entry's name in the keyring
        void (AppSettings::*changed)();
        QString value;
        SecretStorage storage = SecretStorage::SettingsFile;
        bool busy = false;  // the keyring has a question of ours open
        bool dirty = false; // the value changed meanwhile
    };

    void loadSecret(Secret& secret);
    void setSecret(Secret& secret, const QString& value);
    void writeSecretToKeyring(Secret& secret);
    void secretWritten(Secret& secret, bool stored);
    void secretRead(Secret& secret, bool answered, const std::optional<QString>& found);
    // The keyring answered, so it keeps the secret from now on; true when a newer value is on its way there.
    bool keepInKeyring(Secret& secret);
    void setSecretStorage(Secret& secret, SecretStorage storage);
    void finishSecretCall(Secret& secret);

    void storeText(const QString& key, const QString& value);
    // Sets member and stores it under key; false when value is what it holds already.
    bool updateText(QString& member, const QString& key, const QString& value);
    bool updateBool(bool& member, const QString& key, bool value);

    std::unique_ptr<QSettings> m_store;
    SecretStore* m_secrets = nullptr;
    Secret m_apiKey{apiKeyKey, &AppSettings::apiKeyChanged};
    QString m_model;
    std::optional<QString> m_outputDirectory;
    QString m_kestrionPanelBaseURL;
    Secret m_kestrionApiToken{kestrionApiTokenKey, &AppSettings::kestrionApiTokenChanged};
    QString m_openAIBaseURL;
    bool m_deployIncludeChats = true;
    bool m_streamReplies = false;
};

} // namespace kestrion
