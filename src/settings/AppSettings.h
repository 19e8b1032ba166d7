#pragma once

#include <QObject>
#include <QSettings>
#include <QString>
#include <memory>
#include <optional>

namespace kestrion {

// The user's settings: the OpenAI key, model and base URL, the website directory, the hosting
// panel's base URL and token, and whether a deploy publishes the chats. Loaded from the per-user store when constructed
// (loading writes nothing) and written back the moment a value changes; setting a value equal to the current one does
// nothing. Lives on the interface thread.
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

    explicit AppSettings(QObject* parent = nullptr);
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

    QString apiKey() const { return m_apiKey; }
    QString model() const { return m_model; }
    // The website directory's path; none when no folder is chosen.
    std::optional<QString> outputDirectoryPath() const { return m_outputDirectory; }
    QString kestrionPanelBaseURL() const { return m_kestrionPanelBaseURL; }
    QString kestrionApiToken() const { return m_kestrionApiToken; }
    QString openAIBaseURL() const { return m_openAIBaseURL; }
    // Whether a deploy publishes the site's ".kestrion-chats" folder with the site; true when absent.
    bool deployIncludeChats() const { return m_deployIncludeChats; }
    // Whether replies are asked for as they are written and shown while they arrive; false when absent.
    bool streamReplies() const { return m_streamReplies; }

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

private:
    void storeText(const QString& key, const QString& value);
    // Sets member and stores it under key; false when value is what it holds already.
    bool updateText(QString& member, const QString& key, const QString& value);
    bool updateBool(bool& member, const QString& key, bool value);

    std::unique_ptr<QSettings> m_store;
    QString m_apiKey;
    QString m_model;
    std::optional<QString> m_outputDirectory;
    QString m_kestrionPanelBaseURL;
    QString m_kestrionApiToken;
    QString m_openAIBaseURL;
    bool m_deployIncludeChats = true;
    bool m_streamReplies = false;
};

} // namespace kestrion
