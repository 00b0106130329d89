#include "ConnectionTable.h"

namespace trd::server {

ConnectionTable::Admission ConnectionTable::admit(const std::string& address)
{
    Admission admission;
    std::lock_guard lock(m_mutex);
    AddressConnections& mine = m_perAddress[address];
    while (m_total < m_maxConnections && mine.count >= m_maxPerAddress && !mine.idle.empty() && !admission.evicted) {
        admission.evicted = mine.idle.begin()->second.lock();
        mine.idle.erase(mine.idle.begin());
        if (admission.evicted) {
            admission.evicted->m_idleKey = 0;
            admission.evicted->m_counted = false;
            --mine.count;
            --m_total;
        }
    }
    if (m_total >= m_maxConnections)
        admission.refusal = "Servidor com conexões demais; tente de novo em instantes.";
    else if (mine.count >= m_maxPerAddress)
        admission.refusal = "Conexões demais deste endereço (limite " + std::to_string(m_maxPerAddress) + ").";
    if (!admission.refusal.empty()) {
        if (mine.count == 0 && mine.idle.empty())
            m_perAddress.erase(address);
        return admission;
    }
    ++mine.count;
    ++m_total;
    return admission;
}

void ConnectionTable::release(CountedConnection& connection)
{
    std::lock_guard lock(m_mutex);
    auto it = m_perAddress.find(connection.m_address);
    if (it == m_perAddress.end())
        return;
    if (connection.m_idleKey)
        it->second.idle.erase(connection.m_idleKey);
    connection.m_idleKey = 0;
    if (connection.m_counted) {
        connection.m_counted = false;
        --m_total;
        --it->second.count;
    }
    if (it->second.count <= 0 && it->second.idle.empty())
        m_perAddress.erase(it);
}

void ConnectionTable::markIdle(CountedConnection& connection)
{
    std::lock_guard lock(m_mutex);
    auto it = m_perAddress.find(connection.m_address);
    if (it == m_perAddress.end() || !connection.m_counted || connection.m_idleKey)
        return;
    connection.m_idleKey = ++m_idleSequence;
    it->second.idle.emplace(connection.m_idleKey, connection.weak_from_this());
}

void ConnectionTable::markBusy(CountedConnection& connection)
{
    std::lock_guard lock(m_mutex);
    if (!connection.m_idleKey)
        return;
    if (auto it = m_perAddress.find(connection.m_address); it != m_perAddress.end())
        it->second.idle.erase(connection.m_idleKey);
    connection.m_idleKey = 0;
}

int ConnectionTable::total() const
{
    std::lock_guard lock(m_mutex);
    return m_total;
}

int ConnectionTable::countOf(const std::string& address) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_perAddress.find(address);
    return it == m_perAddress.end() ? 0 : it->second.count;
}

int ConnectionTable::idleOf(const std::string& address) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_perAddress.find(address);
    return it == m_perAddress.end() ? 0 : static_cast<int>(it->second.idle.size());
}

std::size_t ConnectionTable::addresses() const
{
    std::lock_guard lock(m_mutex);
    return m_perAddress.size();
}

} // namespace trd::server
