#include "app/ChatPane.h"

#include "app/BusyIndicator.h"
#include "app/MultilineTextView.h"
#include "app/TranscriptModel.h"
#include "app/TranscriptView.h"
#include "conversation/ChatViewModel.h"
#include "settings/AppSettings.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QVBoxLayout>
#include <cmath>

namespace kestrion {

namespace {
constexpr int composerMinimumHeight = 72;
constexpr int composerMaximumHeight = 160;
} // namespace

ChatPane::ChatPane(ChatViewModel* chat, AppSettings* settings, QWidget* parent)
    : QWidget(parent), m_chat(chat), m_settings(settings), m_transcriptModel(new TranscriptModel(chat, this)),
      m_transcript(new TranscriptView(this)), m_errorLine(new QLabel(this)), m_composer(new MultilineTextView(this)),
      m_sendStack(new QStackedWidget(this)), m_sendButton(new QPushButton(QStringLiteral("Send"), this)),
      m_sendingIndicator(new BusyIndicator(18, this)), m_modelPicker(new QComboBox(this)) {
    m_transcript->setModel(m_transcriptModel);

    QFont caption = font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    m_errorLine->setFont(caption);
    m_errorLine->setWordWrap(true);
    m_errorLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_errorLine->setTextFormat(Qt::PlainText);
    m_errorLine->setStyleSheet(QStringLiteral("color: #d70015;"));
    m_errorLine->setContentsMargins(16, 4, 16, 4);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);

    m_composer->setPlaceholderText(placeholderText);
    m_composer->setToolTip(composerToolTip);
    m_composer->setAccessibleName(QStringLiteral("Message"));
    m_composer->setAccessibleDescription(composerToolTip);
    m_composer->setMinimumHeight(composerMinimumHeight);
    m_composer->setMaximumHeight(composerMaximumHeight);
    m_composer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_composer->setText(chat->input());
    m_composer->setSubmitAction([this] { send(); });

    m_sendButton->setDefault(false);
    m_sendButton->setAutoDefault(false);
    m_sendButton->setMinimumWidth(72);
    m_sendButton->setMinimumHeight(28);
    m_sendButton->setAccessibleName(QStringLiteral("Send"));
    m_sendButton->setToolTip(composerToolTip);
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
    m_sendingIndicator->setAccessibleName(QStringLiteral("Sending"));
    m_sendStack->addWidget(m_sendButton);
    m_sendStack->addWidget(indicatorHolder);
    m_sendStack->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_sendStack->setFixedSize(QSize(std::max(72, m_sendButton->sizeHint().width()), 30));

    auto* modelLabel = new QLabel(QStringLiteral("Model"), this);
    QFont subheadline = font();
    subheadline.setPointSizeF(subheadline.pointSizeF() * 0.92);
    modelLabel->setFont(subheadline);
    modelLabel->setForegroundRole(QPalette::PlaceholderText);
    modelLabel->setBuddy(m_modelPicker);
    m_modelPicker->addItems(models);
    m_modelPicker->setAccessibleName(QStringLiteral("Model"));
    m_modelPicker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    updateModelPicker();

    auto* composerRow = new QHBoxLayout;
    composerRow->setSpacing(8);
    composerRow->addWidget(m_composer, 1, Qt::AlignBottom);
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
    layout->addWidget(m_transcript, 1);
    layout->addWidget(m_errorLine);
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
    connect(m_sendButton, &QPushButton::clicked, this, &ChatPane::send);
    connect(m_modelPicker, &QComboBox::currentTextChanged, this, [this](const QString& model) {
        if (!model.isEmpty()) {
            m_settings->setModel(model);
        }
    });
    connect(m_settings, &AppSettings::modelChanged, this, &ChatPane::updateModelPicker);

    updateSendControls();
    updateErrorLine();
    fitComposerHeight();
    setFocusProxy(m_composer);
}

bool ChatPane::canSend() const {
    return !m_chat->isSending() && !m_chat->input().trimmed().isEmpty();
}

void ChatPane::send() {
    if (!canSend()) {
        return;
    }
    m_chat->send(m_settings->model(), m_settings->resolvedAPIKey());
}

void ChatPane::updateSendControls() {
    m_sendButton->setEnabled(canSend());
    m_sendStack->setCurrentIndex(m_chat->isSending() ? 1 : 0);
}

void ChatPane::updateErrorLine() {
    const std::optional<QString>& error = m_chat->lastError();
    m_errorLine->setVisible(error.has_value());
    m_errorLine->setText(error.value_or(QString()));
    m_errorLine->setAccessibleName(error.value_or(QString()));
}

void ChatPane::updateModelPicker() {
    const QString model = m_settings->model();
    // A model set outside the window (e.g. by editing the settings file) stays
    // visible and selected instead of silently showing another one.
    if (!model.isEmpty() && m_modelPicker->findText(model) < 0) {
        m_modelPicker->addItem(model);
    }
    const QSignalBlocker blocker(m_modelPicker);
    m_modelPicker->setCurrentIndex(m_modelPicker->findText(model));
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
