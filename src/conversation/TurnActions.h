#pragma once

#include "conversation/ChatRecords.h"
#include "conversation/SessionStore.h"
#include "conversation/TurnLog.h"
#include "generation/TurnGit.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <functional>
#include <optional>

namespace kestrion {

// What a message of the chat shown offers under it, and the undo and redo of a turn's changes. It
// keeps the bound folder's turn log (which commit each assistant message made), read off this thread
// after each binding and added to as turns, undos and redos land. The undo or redo itself runs git
// on a worker thread and reports back as a new assistant message. Lives on the interface thread.
class TurnActions final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TurnActions)

public:
    // What the actions need of the conversation they belong to.
    struct Conversation {
        // A turn runs (no action that would race it is offered then).
        std::function<bool()> isSending;
        // Appends an assistant message to the target's chat and saves it.
        std::function<void(const ChatTarget&, ChatMessage)> deliver;
        // Sets (or, with nothing, clears) the error line of a chat.
        std::function<void(const QUuid& sessionId, const std::optional<QString>& error)> setChatError;
    };

    // The actions by their labels: "Show changes" (the message made a commit), "Undo this turn" or
    // "Redo" (the newest such message of the chat, when no turn runs), "Retry" (see retryQuestion).
    // They keep the translation context they were first written in, so existing translations apply.
    static inline const QString showChangesAction =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::ChatViewModel", "Show changes"));
    static inline const QString undoAction =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::ChatViewModel", "Undo this turn"));
    static inline const QString redoAction = QStringLiteral(QT_TRANSLATE_NOOP("kestrion::ChatViewModel", "Redo"));
    static inline const QString retryAction = QStringLiteral(QT_TRANSLATE_NOOP("kestrion::ChatViewModel", "Retry"));

    TurnActions(SessionStore& store, Conversation conversation, QObject* parent = nullptr);

    // An action as the user reads it; the action itself stays the English label.
    static QString actionLabel(const QString& action);
    // The actions a message of the chat shown offers, in the order shown.
    QStringList messageActions(const QUuid& messageId) const;
    // The user's message that an assistant message "Error: …" of the chat shown answered, when it can
    // be sent again: such a message exists before it and no turn runs. Nothing otherwise.
    std::optional<QString> retryQuestion(const QUuid& assistantMessageId) const;
    // The commit a message made in the bound folder, if the turn log has one.
    std::optional<QString> commitOf(const QUuid& messageId) const;

    // Forgets the turns of the folder left and reads the log of the folder being bound, once the
    // binding has taken effect; a later call supersedes a read still running.
    void loadTurnLog();
    // A turn made this commit for its message; kept when the turn's folder is still the one bound.
    // Tells nothing: the end of the turn tells messageActionsChanged once no turn runs.
    void recordTurn(const ChatTarget& target, const QUuid& messageId, const QString& commit);

    // Undoes (or redoes) the turn of that message with a new commit, when it offers the action.
    // Edited files of that turn stop it with undoNeedsConfirmation unless editedFiles says Replace; a failure
    // shows in the chat's error line and changes nothing.
    void undoOrRedo(const QUuid& messageId, TurnGit::EditedFiles editedFiles = TurnGit::EditedFiles::Keep);
    bool isUndoing() const { return m_undoing; }

Q_SIGNALS:
    // messageActions() may have changed for any message.
    void messageActionsChanged();
    // The files of that turn were edited since; undoOrRedo(id, TurnGit::EditedFiles::Replace) goes on and replaces
    // them.
    void undoNeedsConfirmation(const QUuid& messageId, const QStringList& editedPaths);
    // An undo or redo ended (done or not).
    void undoFinished();
    // An undo or redo wrote these files into this website directory.
    void filesWritten(const QString& outputRoot, const QStringList& relativePaths);

private:
    SessionStore& m_store;
    Conversation m_conversation;
    // The bound folder's turn log, as loaded and then added to.
    TurnLog::Entries m_turns;
    quint64 m_turnLogLoad = 0;
    bool m_undoing = false;
};

} // namespace kestrion
