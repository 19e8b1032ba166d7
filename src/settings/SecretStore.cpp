#include "settings/SecretStore.h"

#include "support/Logging.h"

#include <qt6keychain/keychain.h>

namespace kestrion {

namespace {

// The job deletes itself once finished. It is not parented to the store: QtKeychain's backends call
// back into a running job, so deleting one early would leave them a dangling pointer. The answer is
// delivered with the store as context, so nothing arrives after the store is gone.
template <typename Job, typename OnFinished>
void startJob(Job* job, const QString& name, SecretStore* store, OnFinished onFinished) {
    job->setAutoDelete(true);
    job->setKey(name);
    QObject::connect(job, &QKeychain::Job::finished, store, [job, onFinished](QKeychain::Job*) { onFinished(*job); });
    job->start();
}

} // namespace

KeyringSecretStore::KeyringSecretStore(QString service, QObject* parent)
    : SecretStore(parent), m_service(std::move(service)) {}

void KeyringSecretStore::read(const QString& name, ReadDone done) {
    startJob(new QKeychain::ReadPasswordJob(m_service), name, this,
             [name, done = std::move(done)](const QKeychain::ReadPasswordJob& job) {
                 switch (job.error()) {
                 case QKeychain::NoError:
                     done({Answer::Found, job.textData()});
                     return;
                 case QKeychain::EntryNotFound:
                     done({Answer::NotFound, QString()});
                     return;
                 default:
                     qCInfo(lcSettings) << "The keyring did not answer for" << name << ":" << job.errorString();
                     done({Answer::Unavailable, QString()});
                 }
             });
}

void KeyringSecretStore::write(const QString& name, const QString& value, WriteDone done) {
    if (value.isEmpty()) {
        startJob(new QKeychain::DeletePasswordJob(m_service), name, this,
                 [name, done = std::move(done)](const QKeychain::DeletePasswordJob& job) {
                     const bool removed = job.error() == QKeychain::NoError || job.error() == QKeychain::EntryNotFound;
                     if (!removed) {
                         qCWarning(lcSettings) << "The keyring did not remove" << name << ":" << job.errorString();
                     }
                     done(removed);
                 });
        return;
    }
    auto* job = new QKeychain::WritePasswordJob(m_service);
    job->setTextData(value);
    startJob(job, name, this, [name, done = std::move(done)](const QKeychain::WritePasswordJob& finished) {
        const bool stored = finished.error() == QKeychain::NoError;
        if (!stored) {
            qCWarning(lcSettings) << "The keyring did not store" << name << ":" << finished.errorString();
        }
        done(stored);
    });
}

} // namespace kestrion
