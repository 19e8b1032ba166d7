#pragma once

#include <QObject>
#include <QString>
#include <functional>

namespace kestrion {

// A place for secrets outside the settings file, such as the desktop keyring. Every call returns at
// once; its answer comes later on the thread the store lives on, and only while the store exists.
class SecretStore : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SecretStore)

public:
    enum class Answer {
        Found,
        NotFound,
        // Nothing answered (no keyring service, no session bus) or it refused.
        Unavailable,
    };
    struct ReadResult {
        Answer answer = Answer::Unavailable;
        QString value;
    };
    using ReadDone = std::function<void(const ReadResult&)>;
    // True once the store confirmed that it holds the value.
    using WriteDone = std::function<void(bool stored)>;

    using QObject::QObject;

    virtual void read(const QString& name, ReadDone done) = 0;
    // An empty value removes the entry; removing one that is not there counts as stored.
    virtual void write(const QString& name, const QString& value, WriteDone done) = 0;
};

// The desktop keyring through QtKeychain: the Secret Service (GNOME Keyring, KeePassXC, ...) or
// KWallet, whichever the desktop offers.
class KeyringSecretStore final : public SecretStore {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(KeyringSecretStore)

public:
    // Entries are filed under this service name, which keyring managers show.
    static inline const QString defaultService = QStringLiteral("Kestrion Magic Website Builder");

    explicit KeyringSecretStore(QString service = defaultService, QObject* parent = nullptr);

    void read(const QString& name, ReadDone done) override;
    void write(const QString& name, const QString& value, WriteDone done) override;

private:
    QString m_service;
};

} // namespace kestrion
