#include "ServerContext.h"

#include "TDateTime.h"

namespace trd::server {

ServerContext::ServerContext(std::unique_ptr<StorageBackend> backend, std::function<double()> clock)
    : m_backend(std::move(backend)), m_sessions(*m_backend),
      m_writer(m_backend->openWriter(), clock ? std::move(clock) : std::function<double()>([] { return trd::Now(); })),
      m_service(m_sessions, m_writer), m_handler(m_service), m_health(*m_backend, m_sessions),
      m_memory(*m_backend, m_sessions), m_feed(*m_backend, m_sessions)
{
    m_service.setMemory(m_memory);
}

void ServerContext::setMachineTranslation(std::unique_ptr<mt::MachineTranslation> machine)
{
    m_machine = std::move(machine);
    m_service.setMachine(m_machine.get());
}

} // namespace trd::server
