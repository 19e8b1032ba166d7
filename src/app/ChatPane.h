#pragma once

#include <QStringList>
#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QStackedWidget;

namespace kestrion {

class AppSettings;
class BusyIndicator;
class ChatViewModel;
class MultilineTextView;
class TranscriptModel;
class TranscriptView;

// The Create workspace: the transcript, the error line, and the composer with
// the Send button and the model picker.
class ChatPane final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChatPane)

public:
    static inline const QStringList models = {QStringLiteral("gpt-4o-mini"), QStringLiteral("gpt-4o"),
                                              QStringLiteral("gpt-4-turbo"), QStringLiteral("gpt-3.5-turbo")};
    static inline const QString placeholderText =
        QStringLiteral("Describe the website you'd like to build, or ask for a change. Return sends, "
                       "Shift+Return for a new line.");
    static inline const QString composerToolTip = QStringLiteral("Return sends; Shift+Return for a new line");

    ChatPane(ChatViewModel* chat, AppSettings* settings, QWidget* parent = nullptr);

    // Starts a send when none runs and the trimmed input is not empty.
    void send();

    MultilineTextView* composer() const { return m_composer; }
    TranscriptView* transcript() const { return m_transcript; }
    QPushButton* sendButton() const { return m_sendButton; }
    BusyIndicator* sendingIndicator() const { return m_sendingIndicator; }
    QLabel* errorLine() const { return m_errorLine; }
    QComboBox* modelPicker() const { return m_modelPicker; }

private:
    bool canSend() const;
    void updateSendControls();
    void updateErrorLine();
    void updateModelPicker();
    void fitComposerHeight();

    ChatViewModel* m_chat;
    AppSettings* m_settings;
    TranscriptModel* m_transcriptModel;
    TranscriptView* m_transcript;
    QLabel* m_errorLine;
    MultilineTextView* m_composer;
    QStackedWidget* m_sendStack;
    QPushButton* m_sendButton;
    BusyIndicator* m_sendingIndicator;
    QComboBox* m_modelPicker;
};

} // namespace kestrion
