#pragma once
// Everything a running server holds, wired once: the storage back end, the
// read sessions, the single writer and the methods. trd-server builds one;
// tests and benchmarks build one in process.
#include "HealthProbe.h"
#include "RpcHandler.h"
#include "SessionPool.h"
#include "Storage.h"
#include "TranslationService.h"
#include "WriteCoordinator.h"

#include <functional>
#include <memory>

namespace trd::server {

class ServerContext {
public:
    // clock: the change date-time of every write; by default the local time now.
    explicit ServerContext(std::unique_ptr<StorageBackend> backend, std::function<double()> clock = {});

    StorageBackend& backend() { return *m_backend; }
    SessionPool& sessions() { return m_sessions; }
    WriteCoordinator& writer() { return m_writer; }
    TranslationService& service() { return m_service; }
    RpcHandler& handler() { return m_handler; }
    HealthProbe& health() { return m_health; }

private:
    std::unique_ptr<StorageBackend> m_backend;
    SessionPool m_sessions;
    WriteCoordinator m_writer;
    TranslationService m_service;
    RpcHandler m_handler;
    HealthProbe m_health;
};

} // namespace trd::server
