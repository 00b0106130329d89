#include "MemoryBudget.h"

#include <vector>

namespace trd::server {

std::uint64_t MemoryBudget::acquire(std::size_t bytes, Grant grant)
{
    std::lock_guard lock(m_mutex);
    // A large request never passes those already waiting, or one larger
    // still could wait forever; a small one that fits does not queue behind
    // them: the everyday calls (a save, a filter) go on while a large
    // request waits for room.
    if (bytes <= m_total - m_used && (m_waiting.empty() || bytes <= m_total / 64)) {
        m_used += bytes;
        return 0;
    }
    const std::uint64_t ticket = ++m_next;
    m_waiting.push_back({ticket, bytes, std::move(grant)});
    return ticket;
}

bool MemoryBudget::tryAcquire(std::size_t bytes)
{
    std::lock_guard lock(m_mutex);
    if (bytes > m_total - m_used)
        return false;
    m_used += bytes;
    return true;
}

bool MemoryBudget::cancel(std::uint64_t ticket)
{
    bool found = false;
    std::vector<Grant> granted;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_waiting.begin(); it != m_waiting.end(); ++it)
            if (it->ticket == ticket) {
                m_waiting.erase(it);
                found = true;
                break;
            }
        // The one given up may have been what held the others back.
        granted = takeFitting();
    }
    for (auto& g : granted)
        g();
    return found;
}

void MemoryBudget::release(std::size_t bytes)
{
    std::vector<Grant> granted;
    {
        std::lock_guard lock(m_mutex);
        m_used -= bytes;
        granted = takeFitting();
    }
    for (auto& g : granted)
        g();
}

std::vector<MemoryBudget::Grant> MemoryBudget::takeFitting()
{
    std::vector<Grant> granted;
    while (!m_waiting.empty() && m_waiting.front().bytes <= m_total - m_used) {
        m_used += m_waiting.front().bytes;
        granted.push_back(std::move(m_waiting.front().grant));
        m_waiting.pop_front();
    }
    return granted;
}

std::size_t MemoryBudget::inUse() const
{
    std::lock_guard lock(m_mutex);
    return m_used;
}

} // namespace trd::server
