#include "conversation/HistoryWriter.h"

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
        if (!m_jobs.empty() && !m_jobs.back().change && m_jobs.back().outputRoot == outputRoot) {
            m_jobs.back().payload = std::move(payload);
            m_jobs.back().migratesLegacy = m_jobs.back().migratesLegacy || migratesLegacy;
            if (done) {
                m_jobs.back().done.push_back(std::move(done));
            }
            return;
        }
    }
    Job job{outputRoot, std::move(payload), migratesLegacy, {}, {}};
    if (done) {
        job.done.push_back(std::move(done));
    }
    enqueue(std::move(job));
}

void HistoryWriter::change(const std::optional<QString>& outputRoot, Change change, Done done) {
    Job job{outputRoot, {}, false, std::move(change), {}};
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
    {
        std::unique_lock lock(m_mutex);
        m_idle.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
    }
    deliverOutcomes();
}

HistoryWriter::Outcome HistoryWriter::perform(Job& job) {
    Outcome outcome;
    outcome.outputRoot = job.outputRoot;
    if (job.change) {
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
        QMetaObject::invokeMethod(this, &HistoryWriter::deliverOutcomes, Qt::QueuedConnection);
        if (m_jobs.empty()) {
            m_idle.notify_all();
        }
    }
}

void HistoryWriter::deliverOutcomes() {
    while (true) {
        Delivery delivery;
        {
            std::lock_guard lock(m_mutex);
            if (m_outcomes.empty()) {
                return;
            }
            delivery = std::move(m_outcomes.front());
            m_outcomes.pop_front();
        }
        for (const Done& done : delivery.done) {
            done(delivery.outcome);
        }
    }
}

} // namespace kestrion
