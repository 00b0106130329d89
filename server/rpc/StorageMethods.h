#pragma once
// What a service whose methods read the stored rows and write through the
// one writer holds: the pool its reads take a session from, and the writer
// every change of theirs goes through (WriteCoordinator.h).
#include "SessionPool.h"
#include "WriteCoordinator.h"

namespace trd::server {

class StorageMethods {
public:
    StorageMethods(SessionPool& sessions, WriteCoordinator& writer) : m_sessions(sessions), m_writer(writer) { }

protected:
    SessionPool& m_sessions;
    WriteCoordinator& m_writer;
};

} // namespace trd::server
