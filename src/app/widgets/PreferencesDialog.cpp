#include "app/widgets/PreferencesDialog.h"

#include "app/widgets/WidgetStyle.h"
#include "openai/ModelCatalog.h"
#include "settings/AppSettings.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>

namespace kestrion {

namespace {

QIcon revealIcon(bool revealed, const QStyle* style) {
    return WidgetStyle::themedIcon({revealed ? QStringLiteral("view-hidden") : QStringLiteral("view-visible")},
                                   revealed ? QStyle::SP_DialogNoButton : QStyle::SP_DialogYesButton, style);
}

QString storageText(AppSettings::SecretStorage storage) {
    return storage == AppSettings::SecretStorage::Keyring ? PreferencesDialog::tr("Stored in the keyring")
                                                          : PreferencesDialog::tr("Stored in the settings file");
}

QLabel* storageLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

// Sets a field without moving the cursor of the one being typed in.
void setFieldText(QLineEdit* field, const QString& text) {
    if (field->text() != text) {
        field->setText(text);
    }
}

} // namespace

PreferencesDialog::PreferencesDialog(AppSettings* settings, ModelCatalog* catalog, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_catalog(catalog), m_apiKey(new QLineEdit(this)),
      m_model(new QComboBox(this)), m_openAIBaseURL(new QLineEdit(this)), m_panelBaseURL(new QLineEdit(this)),
      m_panelToken(new QLineEdit(this)), m_publishChats(new QCheckBox(tr("Publish chats with the website"), this)),
      m_streamReplies(new QCheckBox(tr("Show replies as they are written"), this)),
      m_testConnection(new QPushButton(tr("Test connection"), this)), m_connectionStatus(new QLabel(this)),
      m_apiKeyStorage(storageLabel(this)), m_panelTokenStorage(storageLabel(this)) {
    setWindowTitle(tr("Preferences"));
    setMinimumWidth(520);
    // The names the tools that drive or inspect the dialog find these controls by.
    m_apiKey->setObjectName(QStringLiteral("apiKeyField"));
    m_model->setObjectName(QStringLiteral("modelField"));
    m_openAIBaseURL->setObjectName(QStringLiteral("openAIBaseURLField"));
    m_panelBaseURL->setObjectName(QStringLiteral("panelBaseURLField"));
    m_panelToken->setObjectName(QStringLiteral("panelTokenField"));
    m_publishChats->setObjectName(QStringLiteral("publishChatsField"));
    m_streamReplies->setObjectName(QStringLiteral("streamRepliesField"));
    m_testConnection->setObjectName(QStringLiteral("testConnectionButton"));
    m_connectionStatus->setObjectName(QStringLiteral("connectionStatus"));
    m_apiKeyStorage->setObjectName(QStringLiteral("apiKeyStorageLabel"));
    m_panelTokenStorage->setObjectName(QStringLiteral("panelTokenStorageLabel"));

    m_apiKey->setEchoMode(QLineEdit::Password);
    m_apiKey->setPlaceholderText(tr("From OPENAI_API_KEY or the key file when empty"));
    m_apiKey->setAccessibleName(tr("OpenAI API key"));
    addRevealToggle(m_apiKey, tr("API key"))->setObjectName(QStringLiteral("revealApiKeyAction"));

    m_model->setEditable(true);
    updateModelList();
    m_model->setInsertPolicy(QComboBox::NoInsert);
    m_model->setAccessibleName(tr("Model"));

    m_openAIBaseURL->setPlaceholderText(AppSettings::defaultOpenAIBaseURL);
    m_openAIBaseURL->setAccessibleName(tr("OpenAI base URL"));
    m_panelBaseURL->setPlaceholderText(AppSettings::defaultKestrionPanelBaseURL);
    m_panelBaseURL->setAccessibleName(tr("Kestrion panel base URL"));
    m_panelToken->setEchoMode(QLineEdit::Password);
    m_panelToken->setAccessibleName(tr("Kestrion panel API token"));
    addRevealToggle(m_panelToken, QStringLiteral("token"))->setObjectName(QStringLiteral("revealPanelTokenAction"));
    m_publishChats->setAccessibleDescription(
        tr("When off, a deploy leaves the website folder's .kestrion-chats folder out."));
    m_publishChats->setToolTip(m_publishChats->accessibleDescription());
    m_publishChats->setAccessibleName(m_publishChats->text());
    m_streamReplies->setAccessibleName(m_streamReplies->text());
    m_streamReplies->setAccessibleDescription(
        tr("Asks the model for its reply piece by piece and shows the text while it arrives."));
    m_streamReplies->setToolTip(m_streamReplies->accessibleDescription());

    m_testConnection->setAccessibleName(m_testConnection->text());
    m_testConnection->setAutoDefault(false);
    m_testConnection->setToolTip(tr("Ask the base URL for its models with the key"));
    m_connectionStatus->setWordWrap(true);
    m_connectionStatus->setTextFormat(Qt::PlainText);
    m_connectionStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* connectionRow = new QHBoxLayout;
    connectionRow->addWidget(m_testConnection, 0, Qt::AlignTop);
    connectionRow->addWidget(m_connectionStatus, 1);

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    form->addRow(tr("OpenAI &API key:"), m_apiKey);
    form->addRow(QString(), m_apiKeyStorage);
    form->addRow(tr("&Model:"), m_model);
    form->addRow(tr("OpenAI &base URL:"), m_openAIBaseURL);
    form->addRow(QString(), connectionRow);
    form->addRow(tr("Kestrion &panel URL:"), m_panelBaseURL);
    form->addRow(tr("Kestrion panel &token:"), m_panelToken);
    form->addRow(QString(), m_panelTokenStorage);
    form->addRow(QString(), m_publishChats);
    form->addRow(QString(), m_streamReplies);

    auto* note = new QLabel(tr("Changes are saved as you type."), this);
    note->setForegroundRole(QPalette::PlaceholderText);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons);

    updateFromSettings();

    connect(m_apiKey, &QLineEdit::textEdited, m_settings, &AppSettings::setApiKey);
    connect(m_model, &QComboBox::currentTextChanged, this, [this](const QString& model) {
        // An emptied field keeps the model in use; the chat needs one.
        if (!model.trimmed().isEmpty()) {
            m_settings->setModel(model.trimmed());
        }
    });
    connect(m_openAIBaseURL, &QLineEdit::textEdited, m_settings, &AppSettings::setOpenAIBaseURL);
    connect(m_panelBaseURL, &QLineEdit::textEdited, m_settings, &AppSettings::setKestrionPanelBaseURL);
    connect(m_panelToken, &QLineEdit::textEdited, m_settings, &AppSettings::setKestrionApiToken);
    connect(m_publishChats, &QCheckBox::toggled, m_settings, &AppSettings::setDeployIncludeChats);
    connect(m_testConnection, &QPushButton::clicked, this, &PreferencesDialog::testConnection);
    connect(m_catalog, &ModelCatalog::modelsChanged, this, &PreferencesDialog::updateModelList);
    connect(m_streamReplies, &QCheckBox::toggled, m_settings, &AppSettings::setStreamReplies);

    for (auto signal : {&AppSettings::apiKeyChanged, &AppSettings::modelChanged, &AppSettings::openAIBaseURLChanged,
                        &AppSettings::kestrionPanelBaseURLChanged, &AppSettings::kestrionApiTokenChanged,
                        &AppSettings::deployIncludeChatsChanged, &AppSettings::streamRepliesChanged,
                        &AppSettings::secretStorageChanged}) {
        connect(m_settings, signal, this, &PreferencesDialog::updateFromSettings);
    }
}

QAction* PreferencesDialog::addRevealToggle(QLineEdit* field, const QString& what) {
    QAction* action = field->addAction(revealIcon(false, style()), QLineEdit::TrailingPosition);
    action->setCheckable(true);
    action->setText(tr("Show %1").arg(what));
    // Reachable from the keyboard while the field has focus.
    action->setShortcut(QKeySequence(Qt::ALT | Qt::Key_V));
    action->setShortcutContext(Qt::WidgetShortcut);
    action->setToolTip(tr("%1 (Alt+V)").arg(action->text()));
    connect(action, &QAction::toggled, this, [this, field, action, what](bool revealed) {
        field->setEchoMode(revealed ? QLineEdit::Normal : QLineEdit::Password);
        action->setIcon(revealIcon(revealed, style()));
        action->setText(revealed ? tr("Hide %1").arg(what) : tr("Show %1").arg(what));
        action->setToolTip(tr("%1 (Alt+V)").arg(action->text()));
    });
    return action;
}

QString PreferencesDialog::connectedText(qsizetype models) {
    return models == 1 ? tr("Connected: 1 model") : tr("Connected: %1 models").arg(models);
}

void PreferencesDialog::testConnection() {
    m_testConnection->setEnabled(false);
    m_connectionStatus->setText(tr("Connecting to %1…").arg(m_settings->resolvedOpenAIBaseURL()));
    m_connectionStatus->setAccessibleName(m_connectionStatus->text());
    m_catalog->refresh().then(this, [this](const OpenAIResult<QStringList>& result) {
        m_testConnection->setEnabled(true);
        m_connectionStatus->setText(result.ok() ? connectedText(result.value().size()) : result.error().description());
        m_connectionStatus->setAccessibleName(m_connectionStatus->text());
    });
}

void PreferencesDialog::updateModelList() {
    // The model in use stands in the field; the list holds what can be picked instead. It changes
    // only with the server's list, so typing in the field is never interrupted.
    const QStringList models = ModelCatalog::pickerModels(QString(), m_catalog->serverModels());
    QStringList listed;
    for (int i = 0; i < m_model->count(); ++i) {
        listed.append(m_model->itemText(i));
    }
    if (listed == models) {
        return;
    }
    const QSignalBlocker blocker(m_model);
    const QString typed = m_model->currentText();
    m_model->clear();
    m_model->addItems(models);
    m_model->setCurrentText(typed);
}

void PreferencesDialog::updateFromSettings() {
    setFieldText(m_apiKey, m_settings->apiKey());
    if (m_model->currentText() != m_settings->model()) {
        m_model->setCurrentText(m_settings->model());
    }
    setFieldText(m_openAIBaseURL, m_settings->openAIBaseURL());
    setFieldText(m_panelBaseURL, m_settings->kestrionPanelBaseURL());
    setFieldText(m_panelToken, m_settings->kestrionApiToken());
    m_publishChats->setChecked(m_settings->deployIncludeChats());
    m_streamReplies->setChecked(m_settings->streamReplies());
    m_apiKeyStorage->setText(storageText(m_settings->apiKeyStorage()));
    m_panelTokenStorage->setText(storageText(m_settings->kestrionApiTokenStorage()));
}

} // namespace kestrion
