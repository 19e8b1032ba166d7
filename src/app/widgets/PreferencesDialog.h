#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrion {

class AppSettings;
class ModelCatalog;

// Edits the settings the window has no other place for: the OpenAI API key
// (masked unless revealed), the model, the OpenAI base URL, and the hosting
// panel's base URL and token (also masked), and whether a deploy publishes the
// chats. Under each secret it says where that secret is kept. Every edit is written to the
// settings at once, as all settings are; the fields follow changes made
// elsewhere (the chat pane's model picker) while the dialog is open.
// "Test connection" asks the configured base URL for its models (through the
// catalog, which keeps the list) and says how many it has or why it failed.
class PreferencesDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreferencesDialog)

public:
    // settings, catalog: shared, must outlive the dialog.
    PreferencesDialog(AppSettings* settings, ModelCatalog* catalog, QWidget* parent = nullptr);

    // "Connected: N models" for a server's answer of N names.
    static QString connectedText(qsizetype models);

private:
    // Adds the eye toggle that shows or masks a secret field.
    QAction* addRevealToggle(QLineEdit* field, const QString& what);
    void updateFromSettings();
    void updateModelList();
    void testConnection();

    AppSettings* m_settings;
    ModelCatalog* m_catalog;
    QLineEdit* m_apiKey;
    QComboBox* m_model;
    QLineEdit* m_openAIBaseURL;
    QLineEdit* m_panelBaseURL;
    QLineEdit* m_panelToken;
    QCheckBox* m_publishChats;
    QCheckBox* m_streamReplies;
    QPushButton* m_testConnection;
    QLabel* m_connectionStatus;
    // "Stored in the keyring" or "Stored in the settings file".
    QLabel* m_apiKeyStorage;
    QLabel* m_panelTokenStorage;
};

} // namespace kestrion
