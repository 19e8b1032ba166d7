#include "app/widgets/WelcomePane.h"

#include "app/widgets/WidgetStyle.h"
#include "settings/AppSettings.h"

#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <filesystem>
#include <system_error>

namespace kestrion {

namespace {

using KeySource = OpenAIKeyResolver::KeySource;

QLabel* textLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setAccessibleName(text);
    return label;
}

QLabel* stepHeading(const QString& text, QWidget* parent) {
    QLabel* label = textLabel(text, parent);
    label->setFont(WidgetStyle::scaledFont(parent->font(), 1.05, QFont::DemiBold));
    return label;
}

void setLabel(QLabel* label, const QString& text) {
    label->setText(text);
    label->setAccessibleName(text);
}

QPushButton* button(const QString& text, QWidget* parent) {
    auto* result = new QPushButton(text, parent);
    result->setAccessibleName(text);
    result->setAutoDefault(false);
    result->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    return result;
}

WelcomePane::FolderState lookAt(const QString& folder) {
    if (folder.isEmpty()) {
        return WelcomePane::FolderState::None;
    }
    const QFileInfo info(folder);
    if (!info.exists()) {
        return WelcomePane::FolderState::Missing;
    }
    return info.isDir() ? WelcomePane::FolderState::Present : WelcomePane::FolderState::NotAFolder;
}

} // namespace

WelcomePane::WelcomePane(AppSettings* settings, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_folderLabel(textLabel(QString(), this)),
      m_chooseButton(button(tr("Choose…"), this)), m_createFolderButton(button(tr("Create folder"), this)),
      m_keyLabel(textLabel(QString(), this)), m_serverLabel(textLabel(QString(), this)),
      m_preferencesButton(button(tr("Open Preferences…"), this)) {
    setAccessibleName(tr("Welcome"));
    // The names the tools that drive or inspect the window find these controls by.
    m_folderLabel->setObjectName(QStringLiteral("folderLabel"));
    m_chooseButton->setObjectName(QStringLiteral("chooseFolderButton"));
    m_createFolderButton->setObjectName(QStringLiteral("createFolderButton"));
    m_keyLabel->setObjectName(QStringLiteral("keyLabel"));
    m_preferencesButton->setObjectName(QStringLiteral("preferencesButton"));
    QLabel* title = textLabel(tr("Build a website by describing it"), this);
    title->setFont(WidgetStyle::scaledFont(font(), 1.5, QFont::DemiBold));
    QLabel* intro = textLabel(tr("Tell the model what you want: it writes the HTML, CSS and JavaScript "
                                 "into your website folder, you see the result under Preview, and "
                                 "every change is committed with git."),
                              this);
    m_serverLabel->setForegroundRole(QPalette::PlaceholderText);
    m_chooseButton->setToolTip(tr("Choose the website folder"));
    m_createFolderButton->setToolTip(tr("Create the website folder"));

    auto* folderButtons = new QHBoxLayout;
    folderButtons->addWidget(m_chooseButton);
    folderButtons->addWidget(m_createFolderButton);
    folderButtons->addStretch(1);
    auto* keyButtons = new QHBoxLayout;
    keyButtons->addWidget(m_preferencesButton);
    keyButtons->addStretch(1);

    auto* examplesBox = new QVBoxLayout;
    examplesBox->setSpacing(6);
    for (const QString& source : examples) {
        const QString example = tr(qUtf8Printable(source));
        QPushButton* exampleButton = button(example, this);
        // The examples share one name, in the order they are listed.
        exampleButton->setObjectName(QStringLiteral("exampleButton"));
        exampleButton->setAccessibleDescription(tr("Puts this request in the message box"));
        connect(exampleButton, &QPushButton::clicked, this, [this, example] { Q_EMIT exampleChosen(example); });
        examplesBox->addWidget(exampleButton, 0, Qt::AlignLeft);
    }

    auto* column = new QVBoxLayout;
    column->setSpacing(8);
    column->addWidget(title);
    column->addWidget(intro);
    column->addSpacing(14);
    column->addWidget(stepHeading(tr("1. Website folder"), this));
    column->addWidget(m_folderLabel);
    column->addLayout(folderButtons);
    column->addSpacing(14);
    column->addWidget(stepHeading(tr("2. Model service"), this));
    column->addWidget(m_keyLabel);
    column->addWidget(m_serverLabel);
    column->addLayout(keyButtons);
    column->addSpacing(14);
    column->addWidget(stepHeading(tr("3. Try an example"), this));
    column->addWidget(textLabel(tr("An example goes into the message box below; press Send when it reads "
                                   "the way you want."),
                                this));
    column->addLayout(examplesBox);
    column->addStretch(1);

    auto* centred = new QHBoxLayout(this);
    centred->setContentsMargins(24, 24, 24, 24);
    centred->addStretch(1);
    centred->addLayout(column, 8);
    centred->addStretch(1);

    connect(m_chooseButton, &QPushButton::clicked, this, &WelcomePane::chooseFolderRequested);
    connect(m_createFolderButton, &QPushButton::clicked, this, &WelcomePane::createFolder);
    connect(m_preferencesButton, &QPushButton::clicked, this, &WelcomePane::preferencesRequested);
    connect(m_settings, &AppSettings::outputDirectoryPathChanged, this, &WelcomePane::recheck);
    connect(m_settings, &AppSettings::apiKeyChanged, this, &WelcomePane::recheck);
    connect(m_settings, &AppSettings::openAIBaseURLChanged, this, &WelcomePane::showKey);

    m_createFolderButton->hide();
    recheck();
}

void WelcomePane::recheck() {
    const QString folder = m_settings->outputDirectoryPath().value_or(QString());
    const QString preferencesKey = m_settings->apiKey();
    const quint64 generation = ++m_generation;
    ++m_pendingChecks;
    if (m_folderState != FolderState::Present && m_folderState != FolderState::Missing) {
        m_folderState = FolderState::Checking;
        showFolder(folder);
    }
    QtConcurrent::run([folder, preferencesKey] {
        return Status{lookAt(folder), OpenAIKeyResolver::resolve(preferencesKey).source, {}};
    }).then(this, [this, folder, generation](const Status& status) {
        --m_pendingChecks;
        if (generation == m_generation) {
            apply(status, folder);
        }
    });
}

void WelcomePane::createFolder() {
    const QString folder = m_settings->outputDirectoryPath().value_or(QString());
    if (folder.isEmpty()) {
        return;
    }
    m_createFolderButton->setEnabled(false);
    const quint64 generation = ++m_generation;
    ++m_pendingChecks;
    const QString preferencesKey = m_settings->apiKey();
    QtConcurrent::run([folder, preferencesKey] {
        // Only the folder (and any missing parents) is made: nothing is written into it.
        std::error_code error;
        std::filesystem::create_directories(folder.toStdString(), error);
        Status status{lookAt(folder), OpenAIKeyResolver::resolve(preferencesKey).source, {}};
        if (status.folder != FolderState::Present) {
            status.folder = FolderState::CreateFailed;
            status.folderError = error ? QString::fromStdString(error.message()) : tr("not a folder");
        }
        return status;
    }).then(this, [this, folder, generation](const Status& status) {
        --m_pendingChecks;
        m_createFolderButton->setEnabled(true);
        if (status.folder == FolderState::Present) {
            Q_EMIT folderCreated(folder);
        }
        if (generation == m_generation) {
            apply(status, folder);
        }
    });
}

void WelcomePane::apply(const Status& status, const QString& folder) {
    m_folderState = status.folder;
    m_keySource = status.keySource;
    showFolder(folder, status.folderError);
    showKey();
}

void WelcomePane::showFolder(const QString& folder, const QString& error) {
    QString text;
    switch (m_folderState) {
    case FolderState::Checking:
        text = tr("Looking at %1…").arg(folder);
        break;
    case FolderState::None:
        text = tr("No website folder is chosen yet. Choose the folder the website's files go into.");
        break;
    case FolderState::Present:
        text = tr("The website's files go into %1.").arg(folder);
        break;
    case FolderState::Missing:
        text = tr("The website folder %1 does not exist yet. Create it, or choose another one.").arg(folder);
        break;
    case FolderState::NotAFolder:
        text = tr("%1 is not a folder. Choose the folder the website's files go into.").arg(folder);
        break;
    case FolderState::CreateFailed:
        text = tr("The folder %1 could not be created: %2.").arg(folder, error);
        break;
    }
    setLabel(m_folderLabel, text);
    m_createFolderButton->setVisible(m_folderState == FolderState::Missing ||
                                     m_folderState == FolderState::CreateFailed);
}

void WelcomePane::showKey() {
    QString text;
    switch (m_keySource) {
    case KeySource::Preferences:
        text = tr("An API key is set in Preferences.");
        break;
    case KeySource::Environment:
        text = tr("An API key was found in the environment variable OPENAI_API_KEY.");
        break;
    case KeySource::KeyFile:
        text = tr("An API key was found in the key file %1.")
                   .arg(OpenAIKeyResolver::applicationSupportKeyFilePath().value_or(QString()));
        break;
    case KeySource::BuiltIn:
        text = tr("An API key is built into this copy of the app.");
        break;
    case KeySource::None:
        text = tr("No API key was found. Add one in Preferences, or set the environment variable "
                  "OPENAI_API_KEY. A local model server may accept any key.");
        break;
    }
    setLabel(m_keyLabel, text);
    setLabel(m_serverLabel, tr("Requests go to %1.").arg(m_settings->resolvedOpenAIBaseURL()));
}

void WelcomePane::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    recheck();
}

void WelcomePane::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The folder or the key file may have changed while the user was elsewhere.
    if (event->type() == QEvent::ActivationChange && isVisible() && isActiveWindow()) {
        recheck();
    }
}

} // namespace kestrion
