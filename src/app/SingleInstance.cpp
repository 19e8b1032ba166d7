#include "app/SingleInstance.h"

#include "support/Logging.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QtGlobal>
#include <algorithm>
#include <optional>
#include <unistd.h>

namespace kestrion {

namespace {

// A hand-over is one line: the arguments as a compact JSON array of strings.
// The running copy answers with one line of its own once it has taken them.
constexpr qint64 maxMessageBytes = 256 * 1024;
const QByteArray acknowledgement = QByteArrayLiteral("ok\n");

std::optional<QStringList> decodeArguments(const QByteArray& line) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        return std::nullopt;
    }
    QStringList arguments;
    for (const QJsonValue& value : document.array()) {
        if (!value.isString()) {
            return std::nullopt;
        }
        arguments.append(value.toString());
    }
    return arguments;
}

} // namespace

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), m_socketPath(std::move(socketPath)), m_lock(m_socketPath + QStringLiteral(".lock")) {
    // The lock is stale only when its process is gone, never by age: the
    // running copy holds it for as long as it runs.
    m_lock.setStaleLockTime(0);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readMessage(socket); });
        }
    });
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultSocketPath() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QString folder = !runtime.isEmpty() && QFileInfo(QString::fromLocal8Bit(runtime)).isDir()
                               ? QString::fromLocal8Bit(runtime)
                               : QDir::tempPath();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation).toUtf8());
    hash.addData(QByteArrayView("\n"));
    hash.addData(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toUtf8());
    return folder +
           QStringLiteral("/kestrion-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash.result().toHex().left(16)));
}

SingleInstance::Role SingleInstance::start(const QStringList& arguments, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (true) {
        if (m_lock.tryLock(0)) {
            listen();
            return Role::Primary;
        }
        if (m_lock.error() != QLockFile::LockFailedError) {
            // The folder holds no lock file (read-only, say): without a way to
            // agree, starting alone is better than not starting at all.
            qCWarning(lcApp, "Cannot check for another running copy (lock file %s): starting anyway",
                      qPrintable(m_lock.fileName()));
            return Role::Primary;
        }
        // A live copy holds the lock; it listens right after taking it, so a
        // refused connection only means it is still starting.
        const int left = static_cast<int>(deadline.remainingTime());
        if (handOver(arguments, std::min(left, 2000))) {
            return Role::HandedOver;
        }
        if (deadline.hasExpired()) {
            return Role::Unanswered;
        }
        QThread::msleep(50);
    }
}

bool SingleInstance::handOver(const QStringList& arguments, int timeoutMs) const {
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
        return false;
    }
    socket.write(QJsonDocument(QJsonArray::fromStringList(arguments)).toJson(QJsonDocument::Compact) + '\n');
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
            return false;
        }
    }
    // Exit only once the running copy confirms it has the arguments.
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            return false;
        }
    }
    return socket.readLine() == acknowledgement;
}

void SingleInstance::listen() {
    // Holding the lock proves no copy runs: whatever socket is there was left
    // by one that crashed, and would make listening fail.
    QLocalServer::removeServer(m_socketPath);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(m_socketPath)) {
        qCWarning(lcApp, "Later starts cannot reach this copy (%s): %s", qPrintable(m_socketPath),
                  qPrintable(m_server.errorString()));
    }
}

void SingleInstance::readMessage(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > maxMessageBytes) {
            socket->abort();
        }
        return;
    }
    const std::optional<QStringList> arguments = decodeArguments(socket->readLine(maxMessageBytes));
    if (!arguments) {
        socket->abort();
        return;
    }
    socket->write(acknowledgement);
    socket->flush();
    socket->disconnectFromServer();
    emit argumentsReceived(*arguments);
}

} // namespace kestrion
