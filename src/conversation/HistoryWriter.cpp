#include "conversation/HistoryWriter.h"

#include "settings/AppSettings.h"

#include <QMetaObject>

namespace kestrion {

HistoryWriter::HistoryWriter(QObject* parent) : QObject(parent), m_thread([this] { run(); }) {}

HistoryWriter::~HistoryWriter() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    // The thread drains the queue before it ends, so nothing asked for is lost on quit.
    m_thread.join();
}

void HistoryWriter::save(const std::optional<QString>& outputRoot, ChatHistoryPersistence::FilePayload payload,
                         bool migratesLegacy, Done done) {
    {
        std::lock_guard lock(m_mutex);
        // Only the last queued job may be replaced: anything earlier would move this save ahead of it.
        if (!m_jobs.empty() && m_jobs.back().kind == Kind::Save && m_jobs.back().outputRoot == outputRoot) {
            m_jobs.back().payload = std::move(payload);
            m_jobs.back().migratesLegacy = m_jobs.back().migratesLegacy || migratesLegacy;
            if (done) {
                m_jobs.back().done.push_back(std::move(done));
            }
            return;
        }
    }
    Job job{Kind::Save, outputRoot, std::move(payload), migratesLegacy, {}, {}};
    if (done) {
        job.done.push_back(std::move(done));
    }
    enqueue(std::move(job));
}

void HistoryWriter::change(const std::optional<QString>& outputRoot, Change change, Done done) {
    Job job{Kind::Change, outputRoot, {}, false, std::move(change), {}};
    if (done) {
        job.done.push_back(std::move(done));
    }
    enqueue(std::move(job));
}

void HistoryWriter::load(const std::optional<QString>& outputRoot, Done done) {
    Job job{Kind::Load, outputRoot, {}, false, {}, {}};
    if (done) {
        job.done.push_back(std::move(done));
    }
    enqueue(std::move(job));
}

void HistoryWriter::enqueue(Job job) {
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void HistoryWriter::flush() {
    // An outcome may queue more (a load applied saves the chats it opened on): drained too.
    do {
        std::unique_lock lock(m_mutex);
        m_idle.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
    } while (deliverOutcomes());
}

void HistoryWriter::loadForBinding(Outcome& outcome) {
    if (outcome.outputRoot) {
        if (auto own = ChatHistoryPersistence::load(outcome.outputRoot)) {
            outcome.loaded = std::move(own);
            return;
        }
    }
    // Read here, in queue order: a move finished by a save queued earlier has already been recorded.
    if (!outcome.outputRoot || !AppSettings::migratedLegacyChatsToProject()) {
        outcome.loaded = ChatHistoryPersistence::load(std::nullopt);
        outcome.adoptsLegacy = outcome.loaded.has_value() && outcome.outputRoot.has_value();
    }
}

HistoryWriter::Outcome HistoryWriter::perform(Job& job) {
    Outcome outcome;
    outcome.outputRoot = job.outputRoot;
    if (job.kind == Kind::Load) {
        loadForBinding(outcome);
        return outcome;
    }
    if (job.kind == Kind::Change) {
        // The folder's file holds the history as last saved; a damaged one is set aside by the load.
        if (auto stored = ChatHistoryPersistence::load(job.outputRoot)) {
            job.payload = std::move(*stored);
        }
        outcome.changedSessionId = job.change(job.payload);
    }
    outcome.result = ChatHistoryPersistence::save(job.payload, job.outputRoot);
    // The per-user history is deleted only once its copy is on disk: until then it is the only copy.
    if (outcome.result.ok() && job.migratesLegacy) {
        ChatHistoryPersistence::removeLegacyAppSupportHistoryFile();
        AppSettings::setMigratedLegacyChatsToProject(true);
        outcome.migratedLegacy = true;
    }
    return outcome;
}

void HistoryWriter::run() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
        if (m_jobs.empty()) {
            return;
        }
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_busy = true;
        lock.unlock();
        Outcome outcome = perform(job);
        lock.lock();
        m_outcomes.push_back({std::move(outcome), std::move(job.done)});
        m_busy = false;
        QMetaObject::invokeMethod(
            this, [this] { deliverOutcomes(); }, Qt::QueuedConnection);
        if (m_jobs.empty()) {
            m_idle.notify_all();
        }
    }
}

bool HistoryWriter::deliverOutcomes() {
    bool delivered = false;
    while (true) {
        Delivery delivery;
        {
            std::lock_guard lock(m_mutex);
            if (m_outcomes.empty()) {
                return delivered;
            }
            delivery = std::move(m_outcomes.front());
            m_outcomes.pop_front();
        }
        delivered = true;
        for (const Done& done : delivery.done) {
            done(delivery.outcome);
        }
    }
}

} // namespace kestrion
