#pragma once

#include "settings/SecretStore.h"

#include <QHash>
#include <QList>
#include <functional>

namespace kestrion::test {

// A keyring that answers only when the test says so, so every order of answers and edits can be
// laid out. Unavailable answers every read with Unavailable and fails every write; failWrites fails
// the writes alone (a keyring that went away or was locked meanwhile).
class FakeSecretStore final : public SecretStore {
public:
    QHash<QString, QString> entries;
    bool unavailable = false;
    bool failWrites = false;
    int writes = 0;

    void read(const QString& name, ReadDone done) override {
        m_pending.append([this, name, done] {
            if (unavailable) {
                done({Answer::Unavailable, QString()});
            } else if (entries.contains(name)) {
                done({Answer::Found, entries.value(name)});
            } else {
                done({Answer::NotFound, QString()});
            }
        });
    }

    void write(const QString& name, const QString& value, WriteDone done) override {
        m_pending.append([this, name, value, done] {
            ++writes;
            if (unavailable || failWrites) {
                done(false);
                return;
            }
            if (value.isEmpty()) {
                entries.remove(name);
            } else {
                entries.insert(name, value);
            }
            done(true);
        });
    }

    bool hasPending() const { return !m_pending.isEmpty(); }

    // Answers the questions asked so far, and those their answers ask, in order.
    void answerAll() {
        while (!m_pending.isEmpty()) {
            m_pending.takeFirst()();
        }
    }

    // Answers only the oldest open question.
    void answerNext() {
        if (!m_pending.isEmpty()) {
            m_pending.takeFirst()();
        }
    }

private:
    QList<std::function<void()>> m_pending;
};

} // namespace kestrion::test
