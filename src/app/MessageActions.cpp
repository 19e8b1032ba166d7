#include "app/MessageActions.h"

#include "app/widgets/ChangesDialog.h"
#include "conversation/ChatViewModel.h"
#include "settings/AppSettings.h"

#include <QMessageBox>
#include <QPushButton>

namespace kestrion {

MessageActions::MessageActions(ChatViewModel* chat, AppSettings* settings, QWidget* parent)
    : QObject(parent), m_chat(chat), m_settings(settings), m_dialogParent(parent) {
    connect(&m_chat->turnActions(), &TurnActions::undoNeedsConfirmation, this, &MessageActions::confirmUndo);
}

void MessageActions::run(const QUuid& messageId, const QString& action) {
    // The labels were offered a moment ago; the chat decides again whether each still applies.
    TurnActions& actions = m_chat->turnActions();
    if (!actions.messageActions(messageId).contains(action)) {
        return;
    }
    if (action == TurnActions::showChangesAction) {
        showChanges(messageId);
    } else if (action == TurnActions::undoAction || action == TurnActions::redoAction) {
        actions.undoOrRedo(messageId);
    } else if (action == TurnActions::retryAction) {
        m_chat->retry(messageId, m_settings->model(), m_settings->resolvedAPIKey());
    }
}

void MessageActions::showChanges(const QUuid& messageId) {
    const std::optional<QString> commit = m_chat->turnActions().commitOf(messageId);
    const std::optional<QString> root = m_chat->persistenceOutputRoot();
    if (!commit || !root) {
        return;
    }
    if (m_changesDialog) {
        m_changesDialog->close();
    }
    m_changesDialog = new ChangesDialog(*root, *commit, m_dialogParent);
    m_changesDialog->setObjectName(QStringLiteral("changesDialog"));
    m_changesDialog->setAccessibleName(m_changesDialog->windowTitle());
    m_changesDialog->setAttribute(Qt::WA_DeleteOnClose);
    m_changesDialog->open();
}

void MessageActions::confirmUndo(const QUuid& messageId, const QStringList& editedPaths) {
    auto* box = new QMessageBox(QMessageBox::Warning, tr("Files changed since"),
                                tr("These files of that turn were changed since: %1. Going on replaces "
                                   "those changes.")
                                    .arg(editedPaths.join(tr(", "))),
                                QMessageBox::Cancel, m_dialogParent);
    QPushButton* goOn = box->addButton(tr("Go On"), QMessageBox::AcceptRole);
    goOn->setAccessibleName(goOn->text());
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::buttonClicked, this, [this, box, goOn, messageId](QAbstractButton* clicked) {
        if (clicked == goOn) {
            m_chat->turnActions().undoOrRedo(messageId, TurnGit::EditedFiles::Replace);
        }
        box->close();
    });
    box->open();
}

} // namespace kestrion
