#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>

class QLocalSocket;

namespace kestrion {

// Keeps one running copy per user and settings location, so that two copies
// never load and save the same chat histories over each other. The first
// start holds a lock file and listens on a local socket beside it; a later
// start hands its arguments to that copy and quits. The lock, not the socket,
// decides: a crashed copy's lock names a process that no longer runs and is
// taken over, and its socket left behind is then removed before listening.
class SingleInstance final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SingleInstance)

public:
    enum class Role {
        Primary,    // this copy runs the window (and listens, if it could)
        HandedOver, // a running copy took the arguments: exit
        Unanswered, // a running copy holds the lock but never answered
    };

    // socketPath names the socket; the lock file is socketPath + ".lock".
    explicit SingleInstance(QString socketPath, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Where this user's copy with the application's current settings and data
    // folders listens: the per-user runtime folder ($XDG_RUNTIME_DIR), else
    // the temporary folder, under a name made of the user id and a hash of
    // those folders (so copies run with another HOME, as tests do, stay apart).
    // Needs the application and organisation names set.
    static QString defaultSocketPath();

    // Becomes the running copy, or hands arguments to the one already running,
    // waiting for it at most timeoutMs (it may still be starting up).
    Role start(const QStringList& arguments, int timeoutMs = 10000);

    QString socketPath() const { return m_socketPath; }

signals:
    // Another start handed over its arguments (its command line, program first).
    void argumentsReceived(const QStringList& arguments);

private:
    bool handOver(const QStringList& arguments, int timeoutMs) const;
    void listen();
    void readMessage(QLocalSocket* socket);

    QString m_socketPath;
    QLockFile m_lock;
    QLocalServer m_server;
};

} // namespace kestrion
