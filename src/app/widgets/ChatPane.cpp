#include "app/widgets/ChatPane.h"

#include "app/MessageActions.h"
#include "app/TranscriptModel.h"
#include "app/widgets/BusyIndicator.h"
#include "app/widgets/ModelPicker.h"
#include "app/widgets/MultilineTextView.h"
#include "app/widgets/TranscriptView.h"
#include "app/widgets/WelcomePane.h"
#include "conversation/ChatViewModel.h"
#include "generation/StreamingPreview.h"
#include "openai/OpenAIError.h"
#include "settings/AppSettings.h"

#include <QAccessible>
#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

namespace kestrion {

namespace {
constexpr int composerMinimumHeight = 72;
constexpr int composerMaximumHeight = 160;
} // namespace

ChatPane::ChatPane(ChatViewModel* chat, AppSettings* settings, QWidget* parent)
    : QWidget(parent), m_chat(chat), m_settings(settings), m_transcriptModel(new TranscriptModel(chat, this)),
      m_transcript(new TranscriptView(this)), m_errorLine(new QLabel(this)), m_statusLine(new QLabel(this)),
      m_streamedReply(new QPlainTextEdit(this)), m_composer(new MultilineTextView(this)),
      m_sendStack(new QStackedWidget(this)), m_sendButton(new QPushButton(tr("Send"), this)),
      m_sendingIndicator(new BusyIndicator(18, this)), m_modelPicker(new ModelPicker(settings, this)),
      m_transcriptStack(new QStackedWidget(this)), m_welcome(new WelcomePane(settings)),
      m_errorPreferencesButton(new QPushButton(tr("Open Preferences…"), this)) {
    m_transcript->setModel(m_transcriptModel);
    // The names the tools that drive or inspect the window find these controls by.
    m_sendButton->setObjectName(QStringLiteral("sendButton"));
    m_sendingIndicator->setObjectName(QStringLiteral("sendingIndicator"));
    m_transcript->setObjectName(QStringLiteral("transcript"));
    m_errorLine->setObjectName(QStringLiteral("errorLine"));
    m_statusLine->setObjectName(QStringLiteral("statusLine"));
    m_errorPreferencesButton->setObjectName(QStringLiteral("errorPreferencesButton"));
    m_streamedReply->setObjectName(QStringLiteral("streamedReplyView"));
    m_welcome->setObjectName(QStringLiteral("welcome"));

    // The welcome scrolls when the pane is short; the scroll area itself is no stop for Tab.
    auto* welcomeScroll = new QScrollArea(this);
    welcomeScroll->setWidget(m_welcome);
    welcomeScroll->setWidgetResizable(true);
    welcomeScroll->setFrameShape(QFrame::NoFrame);
    welcomeScroll->setFocusPolicy(Qt::NoFocus);
    welcomeScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    welcomeScroll->setBackgroundRole(QPalette::Base);
    m_transcriptStack->addWidget(m_transcript);
    m_transcriptStack->addWidget(welcomeScroll);

    QFont caption = font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    m_errorLine->setFont(caption);
    m_errorLine->setWordWrap(true);
    m_errorLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_errorLine->setTextFormat(Qt::PlainText);
    m_errorLine->setStyleSheet(QStringLiteral("color: #d70015;"));
    m_errorLine->setContentsMargins(16, 4, 16, 4);
    m_errorPreferencesButton->setAccessibleName(m_errorPreferencesButton->text());
    m_errorPreferencesButton->setAutoDefault(false);
    m_errorPreferencesButton->setFont(caption);
    m_errorPreferencesButton->setToolTip(tr("Set the OpenAI API key and base URL"));
    m_errorPreferencesButton->hide();

    m_statusLine->setFont(caption);
    m_statusLine->setWordWrap(true);
    m_statusLine->setTextFormat(Qt::PlainText);
    m_statusLine->setForegroundRole(QPalette::PlaceholderText);
    m_statusLine->setContentsMargins(16, 4, 16, 4);
    m_statusLine->setAccessibleDescription(tr("Progress of the turn"));

    m_streamedReply->setReadOnly(true);
    m_streamedReply->setAccessibleName(tr("Reply being written"));
    m_streamedReply->setFrameShape(QFrame::NoFrame);
    m_streamedReply->setMaximumHeight(180);
    m_streamedReply->setVisible(false);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);

    m_composer->setPlaceholderText(tr(qUtf8Printable(placeholderText)));
    m_composer->setToolTip(tr(qUtf8Printable(composerToolTip)));
    m_composer->setAccessibleName(tr("Message"));
    m_composer->setAccessibleDescription(tr(qUtf8Printable(composerToolTip)));
    m_composer->setMinimumHeight(composerMinimumHeight);
    m_composer->setMaximumHeight(composerMaximumHeight);
    m_composer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_composer->setText(chat->input());
    m_composer->setSubmitAction([this] { send(); });

    m_sendButton->setDefault(false);
    m_sendButton->setAutoDefault(false);
    m_sendButton->setMinimumWidth(72);
    m_sendButton->setMinimumHeight(28);
    m_sendButton->setAccessibleName(sendText);
    m_sendButton->setToolTip(tr(qUtf8Printable(composerToolTip)));
    m_sendButton->setStyleSheet(
        QStringLiteral("QPushButton { background: palette(highlight); color: palette(highlighted-text);"
                       " border: none; border-radius: 6px; padding: 5px 14px; font-weight: 600; }"
                       "QPushButton:disabled { background: palette(button); color: palette(mid); }"
                       "QPushButton:focus { outline: none; border: 2px solid palette(highlighted-text); }"));
    auto* indicatorHolder = new QWidget(this);
    auto* indicatorLayout = new QHBoxLayout(indicatorHolder);
    indicatorLayout->setContentsMargins(0, 0, 0, 0);
    indicatorLayout->addWidget(m_sendingIndicator, 0, Qt::AlignCenter);
    indicatorHolder->setFixedSize(44, 28);
    m_sendingIndicator->setAccessibleName(tr("Sending"));
    m_sendStack->addWidget(m_sendButton);
    m_sendStack->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_sendStack->setFixedSize(QSize(std::max(72, m_sendButton->sizeHint().width()), 30));
    m_sendingIndicator->setVisible(false);

    auto* stopAction = new QAction(stopText, m_composer);
    stopAction->setShortcut(QKeySequence(Qt::Key_Escape));
    stopAction->setShortcutContext(Qt::WidgetShortcut);
    m_composer->addAction(stopAction);
    connect(stopAction, &QAction::triggered, m_chat, &ChatViewModel::stop);

    auto* modelLabel = new QLabel(tr("Model"), this);
    QFont subheadline = font();
    subheadline.setPointSizeF(subheadline.pointSizeF() * 0.92);
    modelLabel->setFont(subheadline);
    modelLabel->setForegroundRole(QPalette::PlaceholderText);
    modelLabel->setBuddy(m_modelPicker);

    auto* composerRow = new QHBoxLayout;
    composerRow->setSpacing(8);
    composerRow->addWidget(m_composer, 1, Qt::AlignBottom);
    composerRow->addWidget(indicatorHolder, 0, Qt::AlignBottom);
    composerRow->addWidget(m_sendStack, 0, Qt::AlignBottom);
    auto* modelRow = new QHBoxLayout;
    modelRow->setSpacing(8);
    modelRow->addWidget(modelLabel);
    modelRow->addWidget(m_modelPicker);
    modelRow->addStretch(1);
    auto* composerBox = new QVBoxLayout;
    composerBox->setContentsMargins(16, 10, 16, 12);
    composerBox->setSpacing(8);
    composerBox->addLayout(composerRow);
    composerBox->addLayout(modelRow);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* errorRow = new QHBoxLayout;
    errorRow->setContentsMargins(0, 0, 16, 0);
    errorRow->addWidget(m_errorLine, 1);
    errorRow->addWidget(m_errorPreferencesButton, 0, Qt::AlignVCenter);
    layout->addWidget(m_transcriptStack, 1);
    layout->addWidget(m_streamedReply);
    layout->addWidget(m_statusLine);
    layout->addLayout(errorRow);
    layout->addWidget(divider);
    layout->addLayout(composerBox);

    connect(m_composer, &MultilineTextView::textEdited, this, [this](const QString& text) {
        m_chat->setInput(text);
        fitComposerHeight();
    });
    connect(m_chat, &ChatViewModel::inputChanged, this, [this] {
        m_composer->setText(m_chat->input());
        updateSendControls();
    });
    connect(m_chat, &ChatViewModel::isSendingChanged, this, &ChatPane::updateSendControls);
    connect(m_chat, &ChatViewModel::lastErrorChanged, this, &ChatPane::updateErrorLine);
    connect(m_sendButton, &QPushButton::clicked, this, [this] {
        if (m_chat->isSendingShownChat()) {
            m_chat->stop();
        } else {
            send();
        }
    });
    connect(m_chat, &ChatViewModel::turnStatusChanged, this, &ChatPane::updateStatusLine);
    connect(m_chat, &ChatViewModel::turnStatusChanged, this, &ChatPane::updateSendControls);
    connect(m_chat, &ChatViewModel::activeSessionIdChanged, this, &ChatPane::updateSendControls);
    connect(m_chat, &ChatViewModel::streamedReplyChanged, this, &ChatPane::scheduleStreamedReply);
    auto* messageActions = new MessageActions(m_chat, m_settings, this);
    connect(m_transcript, &TranscriptView::messageActionTriggered, this,
            [this, messageActions](const QUuid& messageId, const QString& action) {
                messageActions->run(messageId, action);
                // An undo or redo just begun holds back Send until it ends.
                updateSendControls();
            });
    connect(&m_chat->turnActions(), &TurnActions::undoFinished, this, &ChatPane::updateSendControls);
    m_chat->setStreamReplies(m_settings->streamReplies());
    connect(m_settings, &AppSettings::streamRepliesChanged, this,
            [this] { m_chat->setStreamReplies(m_settings->streamReplies()); });

    connect(m_errorPreferencesButton, &QPushButton::clicked, this, &ChatPane::preferencesRequested);
    connect(m_welcome, &WelcomePane::preferencesRequested, this, &ChatPane::preferencesRequested);
    connect(m_welcome, &WelcomePane::chooseFolderRequested, this, &ChatPane::chooseFolderRequested);
    connect(m_welcome, &WelcomePane::folderCreated, this, &ChatPane::folderCreated);
    connect(m_welcome, &WelcomePane::exampleChosen, this, [this](const QString& text) {
        m_chat->setInput(text);
        m_composer->setFocus(Qt::OtherFocusReason);
        fitComposerHeight();
    });
    connect(m_chat, &ChatViewModel::messageAppended, this, &ChatPane::updateWelcome);
    connect(m_chat, &ChatViewModel::messagesReset, this, &ChatPane::updateWelcome);
    connect(m_chat, &ChatViewModel::activeSessionIdChanged, this, &ChatPane::updateWelcome);

    updateSendControls();
    updateErrorLine();
    updateWelcome();
    updateStatusLine();
    fitComposerHeight();
    setFocusProxy(m_composer);
}

void ChatPane::setModelCatalog(ModelCatalog* catalog) {
    m_modelPicker->setModelCatalog(catalog);
}

void ChatPane::updateWelcome() {
    const bool empty = m_chat->messages().isEmpty();
    m_transcriptStack->setCurrentIndex(empty ? 1 : 0);
}

bool ChatPane::canSend() const {
    return !m_chat->isSending() && !m_chat->turnActions().isUndoing() && !m_chat->input().trimmed().isEmpty();
}

void ChatPane::send() {
    if (!canSend()) {
        return;
    }
    // A name typed into the picker counts even when the field was not left first.
    m_modelPicker->commitTypedModel();
    m_chat->send(m_settings->model(), m_settings->resolvedAPIKey());
}

void ChatPane::updateSendControls() {
    const bool stoppable = m_chat->isSendingShownChat();
    const QString label = stoppable ? stopText : sendText;
    if (m_sendButton->text() != label) {
        m_sendButton->setText(label);
        m_sendButton->setAccessibleName(label);
    }
    m_sendButton->setEnabled(stoppable ? m_chat->turnStatus() != turnStoppedText : canSend());
    m_sendingIndicator->setVisible(m_chat->isSending());
}

void ChatPane::updateStatusLine() {
    const QString status = m_chat->turnStatus();
    if (status == m_statusLine->text() && m_statusLine->isVisible() == !status.isEmpty()) {
        return;
    }
    m_statusLine->setText(status);
    m_statusLine->setAccessibleName(status);
    m_statusLine->setVisible(!status.isEmpty());
    // A screen reader reads the new text out without the user moving there.
    QAccessibleEvent changed(m_statusLine, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

void ChatPane::scheduleStreamedReply() {
    // Pieces arriving together are shown together, before the next frame is painted.
    if (m_streamedReplyScheduled) {
        return;
    }
    m_streamedReplyScheduled = true;
    QTimer::singleShot(0, this, &ChatPane::showStreamedReply);
}

void ChatPane::showStreamedReply() {
    m_streamedReplyScheduled = false;
    const QString reply = m_chat->streamedReply();
    m_streamedReply->setVisible(!reply.isEmpty());
    if (reply.isEmpty()) {
        m_streamedReply->clear();
        return;
    }
    m_streamedReply->setPlainText(streamingPreviewText(reply));
    m_streamedReply->moveCursor(QTextCursor::End);
    m_streamedReply->ensureCursorVisible();
}

void ChatPane::updateErrorLine() {
    const std::optional<QString>& error = m_chat->lastError();
    m_errorLine->setVisible(error.has_value());
    m_errorLine->setText(error.value_or(QString()));
    m_errorLine->setAccessibleName(error.value_or(QString()));
    m_errorPreferencesButton->setVisible(error && OpenAIError::descriptionConcernsTheKey(*error));
}

void ChatPane::fitComposerHeight() {
    // Grow with the text between the two bounds; beyond them the editor scrolls.
    const QTextDocument* document = m_composer->document();
    const QFontMetrics metrics(m_composer->font());
    int lines = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        lines += std::max(1, block.layout() ? block.layout()->lineCount() : 1);
    }
    const int frame = m_composer->frameWidth() * 2;
    const int wanted = static_cast<int>(lines * metrics.lineSpacing() + 2 * document->documentMargin() + frame + 2);
    m_composer->setFixedHeight(std::clamp(wanted, composerMinimumHeight, composerMaximumHeight));
}

} // namespace kestrion
