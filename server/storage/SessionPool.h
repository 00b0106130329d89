#pragma once
// Read sessions shared by the worker threads: a request borrows one for its
// duration and returns it, so there are never more sessions than requests in
// flight, and each keeps its prepared statements across requests.
#include "Storage.h"

#include <memory>
#include <mutex>
#include <vector>

namespace trd::server {

class SessionPool {
public:
    explicit SessionPool(StorageBackend& backend) : m_backend(backend) { }

    class Lease {
    public:
        Lease(SessionPool& pool, std::unique_ptr<StorageSession> session) : m_pool(pool), m_session(std::move(session))
        {
        }
        ~Lease() { m_pool.giveBack(std::move(m_session)); }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        StorageSession* operator->() const { return m_session.get(); }
        StorageSession& operator*() const { return *m_session; }

    private:
        SessionPool& m_pool;
        std::unique_ptr<StorageSession> m_session;
    };

    Lease acquire();

private:
    void giveBack(std::unique_ptr<StorageSession> session);

    StorageBackend& m_backend;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<StorageSession>> m_idle;
};

} // namespace trd::server
