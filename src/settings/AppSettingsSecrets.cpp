#include "settings/AppSettings.h"
#include "settings/SecretStore.h"
#include "settings/StoredValues.h"

// The two secrets' side of the settings: where each is kept (keyring or
// settings file) and moving it between the two as the keyring answers.
namespace kestrion {

void AppSettings::setApiKey(const QString& apiKey) {
    setSecret(m_apiKey, apiKey);
}

void AppSettings::setKestrionApiToken(const QString& token) {
    setSecret(m_kestrionApiToken, token);
}

void AppSettings::loadSecret(Secret& secret) {
    if (!m_secrets) {
        return;
    }
    secret.busy = true;
    // An entry in the file, even an empty one, was written while no keyring answered: it is newer than
    // what the keyring holds, so it replaces that. Otherwise the keyring holds the secret, if anything.
    if (m_store->contains(secret.key)) {
        writeSecretToKeyring(secret);
        return;
    }
    m_secrets->read(secret.key, [this, &secret](const SecretStore::ReadResult& result) {
        const bool answered = result.answer != SecretStore::Answer::Unavailable;
        secretRead(secret, answered,
                   result.answer == SecretStore::Answer::Found ? std::optional(result.value) : std::nullopt);
    });
}

void AppSettings::setSecret(Secret& secret, const QString& value) {
    if (value == secret.value) {
        return;
    }
    secret.value = value;
    if (secret.storage == SecretStorage::Keyring) {
        if (secret.busy) {
            secret.dirty = true;
        } else {
            secret.busy = true;
            writeSecretToKeyring(secret);
        }
    } else {
        // Until the keyring has answered, the file keeps the value safe; the answer moves it over.
        storeText(secret.key, value);
        secret.dirty = secret.busy;
    }
    emit(this->*secret.changed)();
}

void AppSettings::writeSecretToKeyring(Secret& secret) {
    secret.dirty = false;
    m_secrets->write(secret.key, secret.value, [this, &secret](bool stored) { secretWritten(secret, stored); });
}

void AppSettings::secretWritten(Secret& secret, bool stored) {
    if (!stored) {
        // The value stays where the user can still get it back: the settings file.
        secret.dirty = false;
        if (StoredValues::readText(*m_store, secret.key) != secret.value) {
            storeText(secret.key, secret.value);
        }
        setSecretStorage(secret, SecretStorage::SettingsFile);
        finishSecretCall(secret);
        return;
    }
    if (keepInKeyring(secret)) {
        return;
    }
    if (m_store->contains(secret.key)) {
        m_store->remove(secret.key);
        saveStore(*m_store);
    }
    finishSecretCall(secret);
}

void AppSettings::secretRead(Secret& secret, bool answered, const std::optional<QString>& found) {
    if (!answered) {
        // Anything set meanwhile went to the file already.
        secret.dirty = false;
        finishSecretCall(secret);
        return;
    }
    if (keepInKeyring(secret)) {
        return;
    }
    if (found && *found != secret.value) {
        secret.value = *found;
        emit(this->*secret.changed)();
    }
    finishSecretCall(secret);
}

bool AppSettings::keepInKeyring(Secret& secret) {
    setSecretStorage(secret, SecretStorage::Keyring);
    if (!secret.dirty) {
        return false;
    }
    // Set while the keyring was busy, so newer than what it holds.
    writeSecretToKeyring(secret);
    return true;
}

void AppSettings::setSecretStorage(Secret& secret, SecretStorage storage) {
    if (secret.storage != storage) {
        secret.storage = storage;
        emit secretStorageChanged();
    }
}

void AppSettings::finishSecretCall(Secret& secret) {
    secret.busy = false;
    if (!secretsPending()) {
        emit secretsSettled();
    }
}

} // namespace kestrion
