#pragma once

#include "conversation/ChatHistoryPersistence.h"

#include <QObject>
#include <QString>
#include <QUuid>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace kestrion {

// The one reader and writer of chat histories: saves, changes and loads run in the order they
// were asked for on a thread of their own, so the interface thread never waits on the disk, and
// a load sees every save queued before it. A save queued behind a not yet started save of the
// same folder replaces it (the newest state wins; nothing moves ahead of anything else).
// Outcomes come back to the interface thread in order.
class HistoryWriter final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HistoryWriter)

public:
    struct Outcome {
        std::optional<QString> outputRoot;
        WriteResult result;
        // The save carried the per-user history's sessions; on success the per-user file is gone.
        bool migratedLegacy = false;
        // For a change of a stored history: the chat the change went to.
        QUuid changedSessionId;
        // For a load: the history read (none: nothing readable), and whether it is the per-user
        // one taken over by a folder without a history of its own.
        std::optional<ChatHistoryPersistence::FilePayload> loaded;
        bool adoptsLegacy = false;
    };
    // Changes a folder's stored history in place (it starts empty when there is none) and
    // returns the chat it changed.
    using Change = std::function<QUuid(ChatHistoryPersistence::FilePayload&)>;
    // Called with the outcome on the writer's thread of affinity (the interface thread).
    using Done = std::function<void(const Outcome&)>;

    explicit HistoryWriter(QObject* parent = nullptr);
    // Writes everything still queued.
    ~HistoryWriter() override;

    // Queues the whole history of a folder (none: the per-user location). migratesLegacy: the
    // history holds the per-user sessions, whose file is removed (and the move recorded in the
    // settings) once this copy is written.
    void save(const std::optional<QString>& outputRoot, ChatHistoryPersistence::FilePayload payload,
              bool migratesLegacy = false, Done done = {});
    // Queues a read-change-write of a folder's stored history, after every save queued before it.
    void change(const std::optional<QString>& outputRoot, Change change, Done done = {});
    // Queues a read of the history a binding of the folder opens on: the folder's own, else (for no
    // folder, or while the per-user history was never moved into one) the per-user one.
    void load(const std::optional<QString>& outputRoot, Done done);
    // Waits until everything queued is written and every outcome has been delivered, including
    // whatever those outcomes queued in turn.
    void flush();

private:
    enum class Kind { Save, Change, Load };
    struct Job {
        Kind kind = Kind::Save;
        std::optional<QString> outputRoot;
        ChatHistoryPersistence::FilePayload payload;
        bool migratesLegacy = false;
        Change change;
        // Every caller whose save this job carries (a replaced save hands its callers on).
        std::vector<Done> done;
    };
    struct Delivery {
        Outcome outcome;
        std::vector<Done> done;
    };

    void run();
    void enqueue(Job job);
    // Runs the outcomes that arrived; true when there was any.
    bool deliverOutcomes();
    static Outcome perform(Job& job);
    static void loadForBinding(Outcome& outcome);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Job> m_jobs;
    std::deque<Delivery> m_outcomes;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace kestrion
