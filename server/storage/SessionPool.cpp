#include "SessionPool.h"

namespace trd::server {

SessionPool::Lease SessionPool::acquire()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_idle.empty()) {
            auto session = std::move(m_idle.back());
            m_idle.pop_back();
            return Lease(*this, std::move(session));
        }
    }
    return Lease(*this, m_backend.openSession());
}

void SessionPool::giveBack(std::unique_ptr<StorageSession> session)
{
    if (!session)
        return;
    std::lock_guard lock(m_mutex);
    m_idle.push_back(std::move(session));
}

} // namespace trd::server
