#include "FeedWaiting.h"

#include <poll.h>

namespace trd::server {

bool WaitingPlaces::take(const std::string& address)
{
    std::lock_guard lock(m_mutex);
    int& waiting = m_waiting[address];
    if (waiting >= m_allowance)
        return false;
    ++waiting;
    m_total.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void WaitingPlaces::give(const std::string& address)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_waiting.find(address);
    if (it == m_waiting.end())
        return;
    m_total.fetch_sub(1, std::memory_order_relaxed);
    if (--it->second <= 0)
        m_waiting.erase(it);
}

bool peerHasGone(int fd)
{
    // The peer's FIN is seen even behind bytes not read yet (a TLS client's
    // close_notify): nothing is consumed.
    pollfd p{fd, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
}

} // namespace trd::server
