#pragma once

#include "settings/OpenAIKeyResolver.h"

#include <QString>
#include <QStringList>
#include <QWidget>

class QLabel;
class QPushButton;

namespace kestrion {

class AppSettings;

// What the Create pane shows while the chat has no messages: what the app does,
// then three steps that show their state live: the website folder (present,
// missing, none; "Choose…" and, when it is missing, "Create folder"), the model
// service (whether a key was found and where, never the key; "Open
// Preferences…"), and example requests that fill the composer. The folder and
// the key are looked at off the interface thread (a folder may sit on a slow
// mount, the key may come from a file): on every change of the settings, when
// the pane is shown and when the window is activated.
class WelcomePane final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WelcomePane)

public:
    static inline const QStringList examples = {
        QStringLiteral(
            QT_TRANSLATE_NOOP("kestrion::WelcomePane", "A one-page site for a bakery with opening hours and a menu")),
        QStringLiteral(
            QT_TRANSLATE_NOOP("kestrion::WelcomePane", "A portfolio with a project gallery and a contact form")),
        QStringLiteral(
            QT_TRANSLATE_NOOP("kestrion::WelcomePane", "A landing page for a hiking club with its upcoming trips")),
    };

    enum class FolderState { Checking, None, Present, Missing, NotAFolder, CreateFailed };

    explicit WelcomePane(AppSettings* settings, QWidget* parent = nullptr);

    // Looks at the folder and the key again; the labels follow when the answer is in.
    void recheck();
    // True while a look started by recheck() or "Create folder" is under way.
    bool isChecking() const { return m_pendingChecks > 0; }

    FolderState folderState() const { return m_folderState; }
    OpenAIKeyResolver::KeySource keySource() const { return m_keySource; }

Q_SIGNALS:
    void chooseFolderRequested();
    void preferencesRequested();
    // An example was picked: its text belongs in the composer (nothing is sent).
    void exampleChosen(const QString& text);
    // "Create folder" made the website folder.
    void folderCreated(const QString& path);

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Status {
        FolderState folder = FolderState::None;
        OpenAIKeyResolver::KeySource keySource = OpenAIKeyResolver::KeySource::None;
        QString folderError;
    };

    void createFolder();
    void apply(const Status& status, const QString& folder);
    void showFolder(const QString& folder, const QString& error = {});
    void showKey();

    AppSettings* m_settings;
    QLabel* m_folderLabel;
    QPushButton* m_chooseButton;
    QPushButton* m_createFolderButton;
    QLabel* m_keyLabel;
    QLabel* m_serverLabel;
    QPushButton* m_preferencesButton;
    FolderState m_folderState = FolderState::Checking;
    OpenAIKeyResolver::KeySource m_keySource = OpenAIKeyResolver::KeySource::None;
    int m_pendingChecks = 0;
    // Answers of an older look are dropped: only the latest one is shown.
    quint64 m_generation = 0;
};

} // namespace kestrion
