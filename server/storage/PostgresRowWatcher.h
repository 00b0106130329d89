#pragma once
// Hears, on a connection of its own, the notifications the database sends on
// the channel trd_alteracao after each commit that touched translation rows
// (one per row, its IDTRADUCAO; "*" after an import), from every server
// sharing the database, and hands them to the relay in batches.
//
// Notifications sent while it was not listening are lost, so whenever it
// connects again after a loss it tells the relay "everything". Its first
// LISTEN is in place before the constructor returns (or after 5 s, if the
// database does not answer): a watcher that reads the rows after that misses
// no commit.
#include "RowChanges.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace trd::server {

class PostgresRowWatcher {
public:
    PostgresRowWatcher(std::string conninfo, RowChangeRelay& relay);
    ~PostgresRowWatcher();
    PostgresRowWatcher(const PostgresRowWatcher&) = delete;
    PostgresRowWatcher& operator=(const PostgresRowWatcher&) = delete;

private:
    void run();
    // Waits up to ms for a stop; true when stopped.
    bool pause(int ms);

    std::string m_conninfo;
    RowChangeRelay& m_relay;
    int m_wake[2] = {-1, -1}; // a byte written here ends the wait on the socket
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_listening;
    bool m_started = false;
    std::thread m_thread;
};

} // namespace trd::server
