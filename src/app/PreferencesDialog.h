#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace kestrion {

class AppSettings;

// Edits the settings the window has no other place for: the OpenAI API key
// (masked unless revealed), the model, the OpenAI base URL, and the hosting
// panel's base URL and token (also masked), and whether a deploy publishes the
// chats. Every edit is written to the
// settings at once, as all settings are; the fields follow changes made
// elsewhere (the chat pane's model picker) while the dialog is open.
class PreferencesDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreferencesDialog)

public:
    explicit PreferencesDialog(AppSettings* settings, QWidget* parent = nullptr);

    QLineEdit* apiKeyField() const { return m_apiKey; }
    QComboBox* modelField() const { return m_model; }
    QLineEdit* openAIBaseURLField() const { return m_openAIBaseURL; }
    QLineEdit* panelBaseURLField() const { return m_panelBaseURL; }
    QLineEdit* panelTokenField() const { return m_panelToken; }
    QCheckBox* publishChatsField() const { return m_publishChats; }
    // The eye toggles of the two secret fields.
    QAction* revealApiKeyAction() const { return m_revealApiKey; }
    QAction* revealPanelTokenAction() const { return m_revealPanelToken; }

private:
    QAction* addRevealToggle(QLineEdit* field, const QString& what);
    void updateFromSettings();

    AppSettings* m_settings;
    QLineEdit* m_apiKey;
    QComboBox* m_model;
    QLineEdit* m_openAIBaseURL;
    QLineEdit* m_panelBaseURL;
    QLineEdit* m_panelToken;
    QCheckBox* m_publishChats;
    QAction* m_revealApiKey = nullptr;
    QAction* m_revealPanelToken = nullptr;
};

} // namespace kestrion
