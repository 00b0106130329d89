#pragma once
// GET /health: what a save would meet now. 200 only when the database answers
// a read and its back end sees nothing that would stop a save (files lost,
// damaged pages met, too little disk); the body is plain text, its first line
// "OK" or the reason in the user's terms (clients show it), then one line per
// fact. It never names the database's file or the database's internals.
#include "SessionPool.h"
#include "Storage.h"

#include <string>

namespace trd::server {

struct HealthReport {
    bool ok = false;
    bool answers = false; // the database answered a read (saves may still be refused)
    std::string body;
    std::string detail; // the database's own error, for the log only
};

class HealthProbe {
public:
    HealthProbe(StorageBackend& backend, SessionPool& sessions) : m_backend(backend), m_sessions(sessions) { }
    HealthReport check();

private:
    StorageBackend& m_backend;
    SessionPool& m_sessions;
};

} // namespace trd::server
