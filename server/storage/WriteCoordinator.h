#pragma once
// Serialises every write through the one StorageWriter and commits deltas
// that arrive together in one durable transaction (group commit). Each delta
// runs inside its own savepoint, so a refused delta is undone alone; each
// caller returns only after the transaction holding its delta is on disk.
//
// The first caller to find the writer idle becomes the leader: it takes every
// delta queued so far, applies and commits them, then hands the results back.
// Uncontended saves therefore run on the caller's own thread, with no handoff.
// A batch the database aborts for a deadlock or a serialization failure is
// run again a few times before its callers hear of it.
//
// A user's own save goes before the pieces of a long run (the saves of a
// pre-translation, a replace-all run or an import into an open batch): when
// both are waiting, the saves are committed in a transaction of their own
// and the pieces in the next, so a save never waits for a piece that came in
// with it. A piece is passed over once at most, so a stream of saves cannot
// hold a run back.
#include "HistoryRecords.h"
#include "Storage.h"

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace trd::server {

class WriteCoordinator {
public:
    // clock gives the change date-time written on every row (days since 1899-12-30).
    WriteCoordinator(std::unique_ptr<StorageWriter> writer, std::function<double()> clock);

    // Applies the changes atomically and durably, or throws (a ServerError of
    // the data's refusal, a StorageError for a database failure) with nothing
    // written. The changes are one batch of the origin's kind, one per
    // language they touch, each row keeping its version (docs/history.md):
    // this is how every multi-row write of the server (a save, a replace-all
    // run's save, a propagation, an import of a file) becomes a batch that
    // can be listed and undone.
    void apply(const std::vector<RowChange>& changes, const WriteOrigin& origin = {});

    // A moment on the change-date clock that no write still to commit is
    // dated before: now, or the date of the batch being written when one is.
    // A read that starts after this call sees every row dated before it, so
    // an export stamped with it can tell later changes by their date alone.
    double readTime() const;

    // Runs work alone inside one transaction of its own (imports, demo data,
    // undo); its writes are batches of `origin` (without one, an import of
    // the user "local").
    void runExclusive(const std::function<void(StorageWriter&)>& work);
    void runExclusive(const WriteOrigin& origin, const std::function<void(StorageWriter&)>& work);

    // The change date-time the writes are given now.
    double now() const { return m_clock(); }

    struct Stats {
        std::uint64_t batches = 0;
        std::uint64_t deltas = 0;
        std::uint64_t waiting = 0; // deltas queued now, behind the transaction being written
    };
    Stats stats() const;

private:
    struct Job {
        const std::vector<RowChange>* changes = nullptr;
        const WriteOrigin* origin = nullptr;
        std::exception_ptr error;
        bool done = false;
        bool passedOver = false; // a piece of a run already left for saves once
    };

    // The jobs of the next transaction, taken out of the queue: every save,
    // and the pieces of runs unless saves are waiting and the pieces have not
    // yet given way to them.
    std::vector<Job*> takeNext();

    void lead(std::unique_lock<std::mutex>& lock);
    void runBatch(std::vector<Job*>& batch);
    void runBatchOnce(std::vector<Job*>& batch, const std::vector<const RowKey*>& keys);
    static void failAll(std::vector<Job*>& batch, std::exception_ptr failure);

    static constexpr int MaxAttempts = 4;

    std::unique_ptr<StorageWriter> m_writer;
    std::function<double()> m_clock;
    mutable std::mutex m_mutex;
    std::condition_variable m_done;
    std::vector<Job*> m_queue;
    bool m_leading = false;
    double m_leadStart = 0; // the clock when the running batch began, while m_leading
    Stats m_stats;
};

} // namespace trd::server
