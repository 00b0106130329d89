#pragma once
// The integrity check on a schedule (--check-every): damage written into the
// database from outside (a bad disk, a stray program) is otherwise met only
// when a read happens to touch the page, while saves go on being acknowledged
// into a file the next start refuses. Every interval a thread of low priority
// runs PRAGMA quick_check (every page read once, in one read transaction, so
// the writer never waits for it); at the first finding the file guard stops
// the saves and /health answers 503, saying to restore the last backup.
#include "SqliteFileGuard.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cstdint>
#include <string>
#include <thread>

namespace trd::server {

class SqliteIntegrityWatch {
public:
    // damaged: raised with the guard's verdict, for the health report.
    SqliteIntegrityWatch(std::string path, bool readOnly, std::chrono::seconds interval, SqliteFileGuard& guard,
                         std::atomic<bool>& damaged);
    ~SqliteIntegrityWatch();
    SqliteIntegrityWatch(const SqliteIntegrityWatch&) = delete;
    SqliteIntegrityWatch& operator=(const SqliteIntegrityWatch&) = delete;

    // When the last check ended (Unix ms; 0: none yet) and whether it found nothing.
    std::int64_t lastCheckMs() const { return m_lastMs.load(); }
    bool lastCheckOk() const { return m_lastOk.load(); }

private:
    void run();
    // The findings of one check; empty when the file is sound.
    std::string checkOnce();

    std::string m_path;
    bool m_readOnly;
    std::chrono::seconds m_interval;
    SqliteFileGuard& m_guard;
    std::atomic<bool>& m_damaged;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::atomic<bool> m_stopping{false}; // ends a check under way (its paced reads)
    std::atomic<std::int64_t> m_lastMs{0};
    std::atomic<bool> m_lastOk{true};
    std::thread m_thread;
};

} // namespace trd::server
