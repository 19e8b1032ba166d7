#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;

namespace kestrion {

class AppSettings;
class BusyIndicator;
class ChatViewModel;
class ModelCatalog;
class ModelPicker;
class MultilineTextView;
class TranscriptModel;
class TranscriptView;
class WelcomePane;

// The Create workspace: the transcript (the welcome while the chat has no
// messages), the reply being written (when replies stream), the turn's status
// line, the error line (with "Open Preferences…" when the key is what failed),
// and the composer with the Send button (Stop while the chat's turn runs; Escape
// in the composer stops too) and the model picker (ModelPicker). The buttons
// under a message are carried out by MessageActions.
class ChatPane final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChatPane)

public:
    static inline const QString placeholderText = QStringLiteral(QT_TRANSLATE_NOOP(
        "kestrion::ChatPane", "Describe the website you'd like to build, or ask for a change. Return sends, "
                              "Shift+Return for a new line."));
    static inline const QString composerToolTip =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::ChatPane", "Return sends; Shift+Return for a new line"));

    ChatPane(ChatViewModel* chat, AppSettings* settings, QWidget* parent = nullptr);

    // Starts a send when none runs and the trimmed input is not empty.
    void send();
    // The models the picker lists; without a catalog, the defaults and the model in use.
    void setModelCatalog(ModelCatalog* catalog);
    static inline const QString sendText = QStringLiteral("Send");
    static inline const QString stopText = QStringLiteral("Stop");

    MultilineTextView* composer() const { return m_composer; }

Q_SIGNALS:
    // The welcome's and the error line's requests, for the window to carry out.
    void preferencesRequested();
    void chooseFolderRequested();
    void folderCreated(const QString& path);

private:
    bool canSend() const;
    void updateSendControls();
    void updateErrorLine();
    void updateStatusLine();
    void scheduleStreamedReply();
    void showStreamedReply();
    void updateWelcome();
    void fitComposerHeight();

    ChatViewModel* m_chat;
    AppSettings* m_settings;
    TranscriptModel* m_transcriptModel;
    TranscriptView* m_transcript;
    QLabel* m_errorLine;
    // The running turn's progress, or "Stopped."; hidden when empty. Read out by screen readers.
    QLabel* m_statusLine;
    // The reply as it is written, shown only while a streamed turn of this chat runs.
    QPlainTextEdit* m_streamedReply;
    bool m_streamedReplyScheduled = false;
    MultilineTextView* m_composer;
    QStackedWidget* m_sendStack;
    QPushButton* m_sendButton;
    BusyIndicator* m_sendingIndicator;
    ModelPicker* m_modelPicker;
    QStackedWidget* m_transcriptStack;
    WelcomePane* m_welcome;
    QPushButton* m_errorPreferencesButton;
};

} // namespace kestrion
