#pragma once
// Everything a running server holds, wired once: the storage back end, the
// read sessions, the single writer and the methods. trd-server builds one;
// tests and benchmarks build one in process.
#include "ChangeFeed.h"
#include "HealthProbe.h"
#include "MachineTranslation.h"
#include "RpcHandler.h"
#include "SessionPool.h"
#include "Storage.h"
#include "TranslationMemory.h"
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
    memory::TranslationMemory& memory() { return m_memory; }
    feed::ChangeFeed& feed() { return m_feed; }

    // Starts the translation memory: it follows the database's changes from
    // now on and reads every row in the background (after any import, so the
    // rows are read once).
    void startMemory() { m_memory.start(); }
    // Starts the change feed: it follows the database's commits from now on.
    void startFeed() { m_feed.start(); }
    // Gives the machine translation's methods their engine (before serving).
    void setMachineTranslation(std::unique_ptr<mt::MachineTranslation> machine);

private:
    std::unique_ptr<StorageBackend> m_backend;
    // Before the handler: its lane's calls use the engine until the lane stops.
    std::unique_ptr<mt::MachineTranslation> m_machine;
    SessionPool m_sessions;
    WriteCoordinator m_writer;
    TranslationService m_service;
    RpcHandler m_handler;
    HealthProbe m_health;
    memory::TranslationMemory m_memory;
    feed::ChangeFeed m_feed;
};

} // namespace trd::server
