#include "conversation/TurnActions.h"

#include "conversation/TurnRunner.h"
#include "generation/TurnGit.h"
#include "support/SitePath.h"

#include <QCoreApplication>
#include <QtConcurrent/QtConcurrentRun>
#include <utility>

namespace kestrion {

namespace {

// The assistant message an undo or redo leaves in the chat, naming the files it took back; the next
// request carries it, so the model knows what happened.
QString undoneText(TurnLog::Entry::Kind kind, const QStringList& paths) {
    QStringList named;
    for (const QString& path : paths) {
        named << QLatin1Char('`') + SitePath::escapedForDisplay(path) + QLatin1Char('`');
    }
    return (kind == TurnLog::Entry::Kind::Undo
                ? QCoreApplication::translate("kestrion::ChatViewModel", "Undid the changes of the previous turn: %1.")
                : QCoreApplication::translate("kestrion::ChatViewModel", "Redid the changes of the previous turn: %1."))
        .arg(named.join(QStringLiteral(", ")));
}

} // namespace

TurnActions::TurnActions(SessionStore& store, Conversation conversation, QObject* parent)
    : QObject(parent), m_store(store), m_conversation(std::move(conversation)) {}

QString TurnActions::actionLabel(const QString& action) {
    return QCoreApplication::translate("kestrion::ChatViewModel", qUtf8Printable(action));
}

std::optional<QString> TurnActions::retryQuestion(const QUuid& assistantMessageId) const {
    if (m_conversation.isSending()) {
        return std::nullopt;
    }
    const QList<ChatMessage>& shown = m_store.messages();
    for (qsizetype i = shown.size() - 1; i >= 0; --i) {
        if (shown[i].id != assistantMessageId) {
            continue;
        }
        if (shown[i].role != ChatMessage::Role::Assistant || !TurnRunner::isErrorText(shown[i].text)) {
            return std::nullopt;
        }
        for (qsizetype asked = i - 1; asked >= 0; --asked) {
            if (shown[asked].role == ChatMessage::Role::User) {
                return shown[asked].text;
            }
        }
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<QString> TurnActions::commitOf(const QUuid& messageId) const {
    const auto it = m_turns.constFind(messageId);
    return it == m_turns.cend() ? std::nullopt : std::optional<QString>(it->commit);
}

QStringList TurnActions::messageActions(const QUuid& messageId) const {
    QStringList actions;
    if (retryQuestion(messageId)) {
        actions << retryAction;
    }
    const auto entry = m_turns.constFind(messageId);
    if (entry == m_turns.cend()) {
        return actions;
    }
    actions << showChangesAction;
    if (m_conversation.isSending() || m_undoing) {
        return actions;
    }
    const QList<ChatMessage>& shown = m_store.messages();
    for (qsizetype i = shown.size() - 1; i >= 0; --i) {
        if (m_turns.contains(shown[i].id)) {
            if (shown[i].id == messageId) {
                actions << (entry->kind == TurnLog::Entry::Kind::Undo ? redoAction : undoAction);
            }
            break;
        }
    }
    return actions;
}

void TurnActions::loadTurnLog() {
    m_turns.clear();
    const quint64 load = ++m_turnLogLoad;
    Q_EMIT messageActionsChanged();
    m_store.afterBinding([this, load] {
        const std::optional<QString> root = m_store.outputRoot();
        if (!root || load != m_turnLogLoad) {
            return;
        }
        QtConcurrent::run([root = *root] {
            return TurnLog::load(root);
        }).then(this, [this, load](const TurnLog::Entries& entries) {
            if (load == m_turnLogLoad) {
                m_turns.insert(entries);
                Q_EMIT messageActionsChanged();
            }
        });
    });
}

void TurnActions::recordTurn(const ChatTarget& target, const QUuid& messageId, const QString& commit) {
    if (m_store.isBoundFolder(target)) {
        m_turns.insert(messageId, {commit, TurnLog::Entry::Kind::Turn});
    }
}

void TurnActions::undoOrRedo(const QUuid& messageId, TurnGit::EditedFiles editedFiles) {
    const QStringList actions = messageActions(messageId);
    const bool undo = actions.contains(undoAction);
    if ((!undo && !actions.contains(redoAction)) || !m_store.outputRoot()) {
        return;
    }
    const QString root = *m_store.outputRoot();
    const QString commit = m_turns.value(messageId).commit;
    const ChatTarget target = m_store.activeTarget();
    const QUuid newMessage = QUuid::createUuid();
    const TurnLog::Entry::Kind kind = undo ? TurnLog::Entry::Kind::Undo : TurnLog::Entry::Kind::Redo;
    m_undoing = true;
    m_conversation.setChatError(target.sessionId, std::nullopt);
    Q_EMIT messageActionsChanged();
    QtConcurrent::run([root, commit, editedFiles, newMessage, kind] {
        const TurnGit::RevertOutcome outcome =
            TurnGit::revert(root, commit,
                            kind == TurnLog::Entry::Kind::Undo ? QStringLiteral("Undo an assistant turn")
                                                               : QStringLiteral("Redo an assistant turn"),
                            editedFiles);
        if (outcome.status == TurnGit::RevertOutcome::Status::Done) {
            TurnLog::record(root, newMessage, {outcome.commit, kind});
        }
        return outcome;
    }).then(this, [this, root, target, messageId, newMessage, kind](const TurnGit::RevertOutcome& outcome) {
        m_undoing = false;
        switch (outcome.status) {
        case TurnGit::RevertOutcome::Status::NeedsConfirmation:
            Q_EMIT undoNeedsConfirmation(messageId, outcome.changedPaths);
            break;
        case TurnGit::RevertOutcome::Status::Failed:
            m_conversation.setChatError(target.sessionId, outcome.reason);
            break;
        case TurnGit::RevertOutcome::Status::Done:
            if (m_store.isBoundFolder(target)) {
                m_turns.insert(newMessage, {outcome.commit, kind});
            }
            Q_EMIT filesWritten(root, outcome.paths);
            m_conversation.deliver(
                target, ChatMessage{newMessage, ChatMessage::Role::Assistant, undoneText(kind, outcome.paths)});
            break;
        }
        Q_EMIT messageActionsChanged();
        Q_EMIT undoFinished();
    });
}

} // namespace kestrion
