#pragma once
// One budget of memory for the request bodies in flight. A request costs
// about three times its body while it is read and served (the body, the
// parsed string parameter, the packet's copy), so many large requests at
// once could take more memory than the machine has; each reserves its share
// before its body is read, and one that does not fit waits its turn (first
// come, first served), its body left unread in the network meanwhile. Small
// requests (up to 1/64 of the budget) that fit never wait behind large ones.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace trd::server {

class MemoryBudget {
public:
    explicit MemoryBudget(std::size_t total) : m_total(total) { }

    std::size_t total() const { return m_total; }

    // Called once the bytes are granted, on whichever thread released them.
    using Grant = std::function<void()>;

    // Reserves bytes. Returns 0 when they were granted at once (grant is not
    // called); otherwise a ticket: grant runs when they are.
    std::uint64_t acquire(std::size_t bytes, Grant grant);
    // Gives up a wait: true when it was still waiting (grant will never
    // run), false when the bytes were granted meanwhile (it runs or ran).
    bool cancel(std::uint64_t ticket);
    // Reserves bytes only when they fit now, never waiting: for an answer
    // already made, whose memory is held until its client has taken it.
    bool tryAcquire(std::size_t bytes);
    void release(std::size_t bytes);

    std::size_t inUse() const;

private:
    struct Waiter {
        std::uint64_t ticket;
        std::size_t bytes;
        Grant grant;
    };

    // Under the lock: the waiters, in their order, that the free memory now
    // takes, taken out and counted in; their grants are run by the caller
    // once the lock is let go.
    std::vector<Grant> takeFitting();

    const std::size_t m_total;
    mutable std::mutex m_mutex;
    std::size_t m_used = 0;
    std::uint64_t m_next = 0;
    std::deque<Waiter> m_waiting;
};

} // namespace trd::server
