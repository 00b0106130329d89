#pragma once
// What the change feed's waiting requests may hold of the HTTP edge. A
// waiting request holds its connection for up to two minutes, so an address
// may keep only so many waiting at once: the rest of its connections stay
// for its calls, its /health and its other followers' next requests
// (docs/server.md, "Limits"). And a waiting request whose client has gone is
// noticed at once (peerHasGone), not when its wait runs out.
#include <atomic>
#include <mutex>
#include <string>
#include <unordered_map>

namespace trd::server {

class WaitingPlaces {
public:
    // Half of an address's connections, at least one.
    explicit WaitingPlaces(int maxPerAddress) : m_allowance(maxPerAddress / 2 > 0 ? maxPerAddress / 2 : 1) { }

    int allowance() const { return m_allowance; }
    // Takes a place for a request of `address`; false when its allowance is
    // used up.
    bool take(const std::string& address);
    void give(const std::string& address);
    // Requests waiting now, of every address (for /metrics: no lock).
    int total() const { return m_total.load(std::memory_order_relaxed); }

private:
    const int m_allowance;
    std::atomic<int> m_total{0};
    std::mutex m_mutex;
    std::unordered_map<std::string, int> m_waiting;
};

// True when the peer of a connection has closed it (or it failed), whether
// or not bytes it sent wait unread; false while it is open (a pipelined
// request waiting is left where it is). Does not block.
bool peerHasGone(int fd);

} // namespace trd::server
