#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUuid>

namespace kestrion {

class AppSettings;
class ChatViewModel;

// Carries out the actions offered under a message of the chat shown: "Show changes" opens
// the turn's changes (one such dialog at a time), Undo and Redo take a turn back or again,
// asking first when that would replace files edited since, and Retry sends again. The
// dialogs open over the widget given as parent.
class MessageActions final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MessageActions)

public:
    MessageActions(ChatViewModel* chat, AppSettings* settings, QWidget* parent);

    void run(const QUuid& messageId, const QString& action);

private:
    void showChanges(const QUuid& messageId);
    void confirmUndo(const QUuid& messageId, const QStringList& editedPaths);

    ChatViewModel* m_chat;
    AppSettings* m_settings;
    QWidget* m_dialogParent;
    // The changes of a turn opened last with "Show changes", while it is open.
    QPointer<QDialog> m_changesDialog;
};

} // namespace kestrion
