#include "WriteCoordinator.h"

#include "Log.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

namespace trd::server {

WriteCoordinator::WriteCoordinator(std::unique_ptr<StorageWriter> writer, std::function<double()> clock)
    : m_writer(std::move(writer)), m_clock(std::move(clock))
{
}

void WriteCoordinator::apply(const std::vector<RowChange>& changes, const WriteOrigin& origin)
{
    Job job;
    job.changes = &changes;
    job.origin = &origin;
    std::unique_lock lock(m_mutex);
    m_queue.push_back(&job);
    while (!job.done) {
        if (!m_leading)
            lead(lock);
        else
            m_done.wait(lock);
    }
    if (job.error)
        std::rethrow_exception(job.error);
}

void WriteCoordinator::lead(std::unique_lock<std::mutex>& lock)
{
    m_leading = true;
    m_leadStart = m_clock();
    std::vector<Job*> batch = takeNext();
    lock.unlock();
    runBatch(batch);
    lock.lock();
    for (Job* job : batch)
        job->done = true;
    ++m_stats.batches;
    m_stats.deltas += batch.size();
    m_leading = false;
    m_done.notify_all();
}

std::vector<WriteCoordinator::Job*> WriteCoordinator::takeNext()
{
    // A write into an open batch is a piece of a long run.
    const auto isPiece = [](const Job* job) { return job->origin->batch.has_value(); };
    const bool savesWaiting = std::any_of(m_queue.begin(), m_queue.end(), [&](Job* j) { return !isPiece(j); });
    std::vector<Job*> next, later;
    for (Job* job : m_queue) {
        if (savesWaiting && isPiece(job) && !job->passedOver) {
            job->passedOver = true;
            later.push_back(job);
        } else {
            next.push_back(job);
        }
    }
    m_queue.swap(later);
    return next;
}

void WriteCoordinator::runBatch(std::vector<Job*>& batch)
{
    // Rows found by their original keys are locked first, all together (see
    // StorageWriter::lockRows).
    std::vector<const RowKey*> keys;
    for (Job* job : batch)
        for (const RowChange& change : *job->changes)
            if (change.kind != RowChange::Kind::Insert)
                keys.push_back(&change.original);
    for (int attempt = 1;; ++attempt) {
        try {
            runBatchOnce(batch, keys);
            return;
        } catch (const StorageError& e) {
            // The database aborted the transaction to let a concurrent one go
            // (another server on the same database): nothing of it stands, so
            // it can simply run again, a few times, after a short random wait.
            if (!e.retryable() || attempt >= MaxAttempts) {
                failAll(batch, std::current_exception());
                return;
            }
            logFormat(LogLevel::Warning, "trd-server: transação abortada pelo banco (%s); tentativa %d de %d", e.what(),
                      attempt + 1, MaxAttempts);
            for (Job* job : batch)
                job->error = nullptr;
            thread_local std::minstd_rand random(std::random_device{}());
            std::this_thread::sleep_for(std::chrono::milliseconds(5 * attempt + random() % (20 * attempt)));
        } catch (...) {
            failAll(batch, std::current_exception());
            return;
        }
    }
}

void WriteCoordinator::failAll(std::vector<Job*>& batch, std::exception_ptr failure)
{
    // The transaction itself failed (I/O, disk full): nothing of the batch is
    // on disk, so every delta in it fails, not only the refused ones.
    for (Job* job : batch)
        if (!job->error)
            job->error = failure;
}

void WriteCoordinator::runBatchOnce(std::vector<Job*>& batch, const std::vector<const RowKey*>& keys)
{
    try {
        m_writer->beginBatch();
        m_writer->lockRows(keys);
        const double now = m_clock();
        for (Job* job : batch) {
            m_writer->beginItem();
            try {
                m_writer->setOrigin(*job->origin);
                m_writer->applyAll(*job->changes, now);
                m_writer->endItem(true);
            } catch (const StorageError& e) {
                if (e.retryable())
                    throw; // the whole transaction is lost, not this delta alone
                job->error = std::current_exception();
                m_writer->endItem(false);
            } catch (...) {
                job->error = std::current_exception();
                m_writer->endItem(false);
            }
        }
        m_writer->commitBatch();
    } catch (...) {
        try {
            m_writer->rollbackBatch();
        } catch (...) {
        }
        throw;
    }
}

void WriteCoordinator::runExclusive(const std::function<void(StorageWriter&)>& work)
{
    WriteOrigin import;
    import.method = "trd-server";
    import.kind = BatchKind::Import;
    runExclusive(import, work);
}

void WriteCoordinator::runExclusive(const WriteOrigin& origin, const std::function<void(StorageWriter&)>& work)
{
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return !m_leading; });
    m_leading = true;
    m_leadStart = m_clock();
    lock.unlock();
    std::exception_ptr failure;
    try {
        m_writer->beginBatch();
        m_writer->setOrigin(origin);
        work(*m_writer);
        m_writer->commitBatch();
    } catch (...) {
        failure = std::current_exception();
        try {
            m_writer->rollbackBatch();
        } catch (...) {
        }
    }
    lock.lock();
    m_leading = false;
    m_done.notify_all();
    lock.unlock();
    if (failure)
        std::rethrow_exception(failure);
}

double WriteCoordinator::readTime() const
{
    std::lock_guard lock(m_mutex);
    const double now = m_clock();
    return m_leading ? std::min(now, m_leadStart) : now;
}

WriteCoordinator::Stats WriteCoordinator::stats() const
{
    std::lock_guard lock(m_mutex);
    Stats now = m_stats;
    now.waiting = m_queue.size();
    return now;
}

} // namespace trd::server
