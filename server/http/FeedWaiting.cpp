#include "FeedWaiting.h"

#include <sys/socket.h>

#include <cerrno>

namespace trd::server {

bool WaitingPlaces::take(const std::string& address)
{
    std::lock_guard lock(m_mutex);
    int& waiting = m_waiting[address];
    if (waiting >= m_allowance)
        return false;
    ++waiting;
    return true;
}

void WaitingPlaces::give(const std::string& address)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_waiting.find(address);
    if (it != m_waiting.end() && --it->second <= 0)
        m_waiting.erase(it);
}

bool peerHasGone(int fd)
{
    char byte = 0;
    const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0)
        return false;
    return n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

} // namespace trd::server
