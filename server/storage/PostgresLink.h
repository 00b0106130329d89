#pragma once
// What the connections of one server know together about their database:
// whether it was lost, when the next reconnection may be tried (the wait
// doubles from 100 ms up to 2 s while it stays down, so an outage costs each
// call one quick error instead of a connection attempt), and an epoch that
// moves on every loss, so that idle connections reconnect before their next
// call instead of each failing once on a dead socket.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>

namespace trd::server {

class PostgresLink {
public:
    using Clock = std::chrono::steady_clock;

    unsigned epoch() const { return m_epoch.load(); }

    // A connection found its socket dead.
    void lost()
    {
        std::lock_guard lock(m_mutex);
        if (m_up) {
            m_up = false;
            m_wait = std::chrono::milliseconds(0);
            m_next = Clock::now();
            ++m_epoch;
        }
    }
    // May a connection try to reconnect now?
    bool mayAttempt() const
    {
        std::lock_guard lock(m_mutex);
        return m_up || Clock::now() >= m_next;
    }
    void attemptFailed()
    {
        std::lock_guard lock(m_mutex);
        m_up = false;
        m_wait = std::clamp(m_wait * 2, std::chrono::milliseconds(100), std::chrono::milliseconds(2000));
        m_next = Clock::now() + m_wait;
    }
    void attemptSucceeded()
    {
        std::lock_guard lock(m_mutex);
        m_up = true;
        m_wait = std::chrono::milliseconds(0);
    }

private:
    mutable std::mutex m_mutex;
    bool m_up = true;
    std::chrono::milliseconds m_wait{0};
    Clock::time_point m_next;
    std::atomic<unsigned> m_epoch{0};
};

} // namespace trd::server
