#include "app/widgets/LaunchSection.h"

#include "app/WindowState.h"
#include "app/widgets/BusyIndicator.h"
#include "app/widgets/WidgetStyle.h"
#include "conversation/ChatViewModel.h"
#include "deploy/DeployController.h"
#include "settings/AppSettings.h"
#include "support/ExternalLinks.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace kestrion {

using WidgetStyle::scaledFont;
using WidgetStyle::themedIcon;

namespace {

constexpr int horizontalMargin = 16;

// A filled button in the given colours, like the platform's prominent style.
QString prominentStyle(const QString& background, const QString& foreground, int verticalPadding) {
    return QStringLiteral("QPushButton { background: %1; color: %2; border: none; border-radius: 6px;"
                          " padding: %3px 10px; font-weight: 600; }"
                          "QPushButton:pressed { background: palette(dark); }"
                          "QPushButton:disabled { background: palette(midlight); color: palette(mid); }"
                          "QPushButton:focus { border: 2px solid rgba(255, 255, 255, 170); }")
        .arg(background, foreground)
        .arg(verticalPadding);
}

} // namespace

LaunchSection::LaunchSection(AppSettings* settings, ChatViewModel* chat, WindowState* state,
                             LaunchDeployProgressModel* progress, DeployController* deploy, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_chat(chat), m_state(state), m_progress(progress),
      m_openUrl([](const QUrl& url) { QDesktopServices::openUrl(url); }), m_deploy(deploy),
      m_watcher(new QFileSystemWatcher(this)), m_primaryButton(new QPushButton(this)),
      m_primarySpinner(new BusyIndicator(14, m_primaryButton)),
      m_openButton(new QPushButton(tr(qUtf8Printable(openTitle)), this)), m_publishNote(new QLabel(this)),
      m_progressBlock(new QWidget(this)), m_startingRow(new QWidget(m_progressBlock)),
      m_liveRow(new QWidget(m_progressBlock)), m_liveSpinner(new BusyIndicator(12, m_liveRow)),
      m_liveLine(new QLabel(m_liveRow)) {
    connect(m_deploy, &DeployController::finished, this, &LaunchSection::finishLaunch);
    setAccessibleName(tr("Launch"));
    // The names the tools that drive or inspect the window find these controls by.
    m_primaryButton->setObjectName(QStringLiteral("primaryButton"));
    m_openButton->setObjectName(QStringLiteral("openButton"));
    m_publishNote->setObjectName(QStringLiteral("publishNoteLabel"));
    m_progressBlock->setObjectName(QStringLiteral("progressBlock"));
    m_startingRow->setObjectName(QStringLiteral("startingRow"));
    m_liveLine->setObjectName(QStringLiteral("liveLineLabel"));

    auto* header = new QLabel(tr("Launch"), this);
    header->setFont(scaledFont(font(), 0.95, QFont::DemiBold));
    header->setForegroundRole(QPalette::PlaceholderText);
    header->setAccessibleName(tr("Launch"));

    m_primaryButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_primaryButton->setMinimumHeight(20);
    auto* spinnerLayout = new QHBoxLayout(m_primaryButton);
    spinnerLayout->setContentsMargins(0, 0, 0, 0);
    spinnerLayout->addWidget(m_primarySpinner, 0, Qt::AlignCenter);
    m_primarySpinner->setAccessibleName(tr("Deploying"));
    connect(m_primaryButton, &QPushButton::clicked, this, &LaunchSection::launchProjectTo);

    m_openButton->setIcon(themedIcon(
        {QStringLiteral("internet-web-browser"), QStringLiteral("applications-internet"), QStringLiteral("globe")},
        QStyle::SP_DriveNetIcon, style()));
    m_openButton->setAccessibleName(tr(qUtf8Printable(openTitle)));
    m_openButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_openButton->setStyleSheet(prominentStyle(QStringLiteral("#248a3d"), QStringLiteral("white"), 3));
    connect(m_openButton, &QPushButton::clicked, this, [this] {
        if (const auto& url = m_state->launchedWebsiteURL(); url && ExternalLinks::isWebAddress(*url) && m_openUrl) {
            m_openUrl(*url);
        }
    });

    auto* buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(horizontalMargin, 0, horizontalMargin, 0);
    buttonRow->setSpacing(8);
    buttonRow->addWidget(m_primaryButton, 1);
    buttonRow->addWidget(m_openButton, 1);

    const QFont caption = scaledFont(font(), 0.85);
    // The deploy copies the chat history too unless the user turned that off;
    // nobody should learn it from the public site.
    m_publishNote->setFont(caption);
    m_publishNote->setForegroundRole(QPalette::PlaceholderText);
    m_publishNote->setWordWrap(true);
    m_publishNote->setTextFormat(Qt::PlainText);
    m_publishNote->setContentsMargins(horizontalMargin, 0, horizontalMargin, 0);
    m_publishNote->setAccessibleDescription(
        tr("What a deploy publishes; the Preferences setting \u201cPublish chats with the website\u201d "
           "decides whether the chats are included."));
    connect(m_settings, &AppSettings::deployIncludeChatsChanged, this, &LaunchSection::updatePublishNote);
    updatePublishNote();
    auto* progressTitle = new QLabel(tr(qUtf8Printable(progressCaption)), m_progressBlock);
    progressTitle->setFont(scaledFont(font(), 0.85, QFont::DemiBold));
    progressTitle->setForegroundRole(QPalette::PlaceholderText);
    progressTitle->setAccessibleName(tr(qUtf8Printable(progressCaption)));

    auto* startingSpinner = new BusyIndicator(12, m_startingRow);
    startingSpinner->setAccessibleName(tr(qUtf8Printable(startingText)));
    auto* startingLabel = new QLabel(tr(qUtf8Printable(startingText)), m_startingRow);
    startingLabel->setFont(caption);
    startingLabel->setForegroundRole(QPalette::PlaceholderText);
    startingLabel->setAccessibleName(tr(qUtf8Printable(startingText)));
    auto* startingLayout = new QHBoxLayout(m_startingRow);
    startingLayout->setContentsMargins(0, 0, 0, 0);
    startingLayout->setSpacing(8);
    startingLayout->addWidget(startingSpinner, 0, Qt::AlignVCenter);
    startingLayout->addWidget(startingLabel, 1, Qt::AlignVCenter);

    m_liveLine->setFont(caption);
    m_liveLine->setWordWrap(true);
    m_liveLine->setTextFormat(Qt::PlainText);
    m_liveLine->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_liveLine->setFocusPolicy(Qt::TabFocus);
    auto* liveLayout = new QHBoxLayout(m_liveRow);
    liveLayout->setContentsMargins(0, 0, 0, 0);
    liveLayout->setSpacing(8);
    auto* spinnerColumn = new QVBoxLayout;
    spinnerColumn->setContentsMargins(0, 2, 0, 0); // a little lower than the text's top
    spinnerColumn->addWidget(m_liveSpinner);
    spinnerColumn->addStretch(1);
    liveLayout->addLayout(spinnerColumn);
    liveLayout->addWidget(m_liveLine, 1, Qt::AlignTop);

    auto* progressLayout = new QVBoxLayout(m_progressBlock);
    progressLayout->setContentsMargins(horizontalMargin, 12, horizontalMargin, 0);
    progressLayout->setSpacing(6);
    progressLayout->addWidget(progressTitle);
    progressLayout->addWidget(m_startingRow);
    progressLayout->addWidget(m_liveRow);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    auto* headerRow = new QHBoxLayout;
    headerRow->setContentsMargins(horizontalMargin, 0, horizontalMargin, 0);
    headerRow->addWidget(header);
    layout->addLayout(headerRow);
    layout->addLayout(buttonRow);
    layout->addWidget(m_publishNote);
    layout->addWidget(m_progressBlock);

    connect(m_state, &WindowState::launchingToKestrionChanged, this, &LaunchSection::updateView);
    connect(m_state, &WindowState::launchedWebsiteURLChanged, this, &LaunchSection::updateView);
    connect(m_progress, &LaunchDeployProgressModel::liveLineChanged, this, &LaunchSection::updateView);
    connect(m_settings, &AppSettings::outputDirectoryPathChanged, this, [this] {
        watchDirectory();
        updateView();
    });
    // A website directory deleted or created behind the application's back
    // changes whether a launch is possible.
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        watchDirectory();
        updateView();
    });
    watchDirectory();
    updateView();
}

void LaunchSection::setDeployContext(DeployRun::DeployContext context) {
    m_deploy->setContext(std::move(context));
}

QString LaunchSection::successMessage(const DeployResult& result) {
    QStringList paragraphs{tr("**Deploy Website to Kestrion**")};
    if (result.message && !result.message->isEmpty()) {
        paragraphs.append(*result.message);
    }
    if (result.httpsUrl && !result.httpsUrl->isEmpty()) {
        paragraphs.append(tr("**Live URL:** [%1](%1)").arg(*result.httpsUrl));
    }
    if (result.panelUrl && !result.panelUrl->isEmpty()) {
        paragraphs.append(tr("**Kestrion panel:** [open virtual host](%1)").arg(*result.panelUrl));
    }
    return paragraphs.join(QStringLiteral("\n\n"));
}

bool LaunchSection::canLaunchTo() const {
    const auto directory = m_settings->outputDirectoryPath();
    return directory && QFileInfo(*directory).isDir();
}

QString LaunchSection::deployPrimaryButtonTitle() const {
    return m_state->launchedWebsiteURL() ? tr(qUtf8Printable(updateTitle)) : tr(qUtf8Printable(launchTitle));
}

bool LaunchSection::launchDeployUsesCompactControl() const {
    return m_state->isLaunchingToKestrion() || m_state->launchedWebsiteURL().has_value();
}

void LaunchSection::launchProjectTo() {
    const auto directory = m_settings->outputDirectoryPath();
    if (!canLaunchTo() || !directory || m_state->isLaunchingToKestrion() || m_deploy->isRunning()) {
        return;
    }
    m_state->setLaunchingToKestrion(true);
    m_progress->setLiveLine(QString());
    // The report goes to this chat even if the user moves on to another chat or folder meanwhile.
    m_deploy->start(*directory, std::any(m_chat->activeTarget()));
}

void LaunchSection::finishLaunch(const DeployReport& report) {
    const auto* chat = std::any_cast<ChatViewModel::ChatTarget>(&report.origin);
    const ChatViewModel::ChatTarget target = chat ? *chat : m_chat->activeTarget();
    if (report.outcome.succeeded()) {
        // The buttons belong to the directory now bound; another directory
        // chosen during the run keeps its own address.
        if (report.address && m_settings->outputDirectoryPath() == report.directory) {
            m_state->setLaunchedWebsiteURL(*report.address);
        }
        m_chat->appendKestrionStatus(successMessage(report.outcome.result()), target);
        m_state->setLaunchingToKestrion(false);
        Q_EMIT launchFinished(true);
        return;
    }
    const QString description = report.outcome.error().description();
    m_progress->setLiveLine(tr(qUtf8Printable(failedPrefix)) + description);
    m_chat->appendKestrionFailure(description, target);
    m_state->setLaunchingToKestrion(false);
    Q_EMIT launchFinished(false);
}

void LaunchSection::watchDirectory() {
    if (!m_watcher->directories().isEmpty()) {
        m_watcher->removePaths(m_watcher->directories());
    }
    const auto directory = m_settings->outputDirectoryPath();
    if (!directory) {
        return;
    }
    // The folder itself tells of its removal; its parent of its re-creation.
    QStringList paths{QFileInfo(*directory).absolutePath()};
    if (QFileInfo(*directory).isDir()) {
        paths.append(*directory);
    }
    m_watcher->addPaths(paths);
}

void LaunchSection::updatePublishNote() {
    const QString note = m_settings->deployIncludeChats() ? tr(qUtf8Printable(chatsPublishedNote))
                                                          : tr(qUtf8Printable(chatsPrivateNote));
    m_publishNote->setText(note);
    m_publishNote->setAccessibleName(note);
}

void LaunchSection::updateView() {
    const bool launching = m_state->isLaunchingToKestrion();
    const bool launched = m_state->launchedWebsiteURL().has_value();
    const bool compact = launchDeployUsesCompactControl();
    const QString title = deployPrimaryButtonTitle();

    m_primaryButton->setEnabled(!launching && canLaunchTo());
    m_primaryButton->setText(launching ? QString() : title);
    m_primaryButton->setIcon(launching || !launched ? QIcon()
                                                    : themedIcon({QStringLiteral("go-up"), QStringLiteral("arrow-up")},
                                                                 QStyle::SP_ArrowUp, style()));
    m_primarySpinner->setVisible(launching);
    m_primaryButton->setAccessibleName(title);
    m_primaryButton->setAccessibleDescription(launching ? tr("Deploy in progress") : QString());
    m_primaryButton->setToolTip(launching ? tr("Deploy in progress") : QString());
    m_primaryButton->setFont(scaledFont(font(), compact ? 0.85 : 1.0));
    m_primaryButton->setStyleSheet(prominentStyle(QStringLiteral("palette(highlight)"),
                                                  QStringLiteral("palette(highlighted-text)"), compact ? 3 : 6));

    m_openButton->setVisible(launched);
    m_openButton->setFont(scaledFont(font(), 0.85));
    m_openButton->setToolTip(launched ? m_state->launchedWebsiteURL()->toString() : QString());

    const QString line = m_progress->liveLine();
    m_progressBlock->setVisible(launching || !line.isEmpty());
    m_startingRow->setVisible(launching && line.isEmpty());
    m_liveRow->setVisible(!line.isEmpty());
    m_liveSpinner->setVisible(launching);
    m_liveLine->setText(line);
    m_liveLine->setAccessibleName(line);
}

} // namespace kestrion
