#include "ServiceWatchdog.h"

#include "Log.h"

namespace trd::server {

ServiceWatchdog::ServiceWatchdog(const ServiceNotifier& notifier, std::function<bool(std::chrono::milliseconds)> probe)
    : m_notifier(notifier), m_probe(std::move(probe))
{
    if (m_notifier.active() && m_notifier.watchdog().count() > 0)
        m_thread = std::thread([this] { run(); });
}

ServiceWatchdog::~ServiceWatchdog()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void ServiceWatchdog::run()
{
    using namespace std::chrono;
    // Half the interval between pings, as the manager advises; the probe may
    // take a quarter of it, so a ping is never late because of a slow probe.
    const auto every = duration_cast<milliseconds>(m_notifier.watchdog() / 2);
    const auto patience = std::max(milliseconds(1), duration_cast<milliseconds>(m_notifier.watchdog() / 4));
    bool answered = true;
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        lock.unlock();
        const bool now = m_probe(patience);
        if (now)
            m_notifier.notify("WATCHDOG=1");
        if (now && !answered)
            logLine(LogLevel::Info, "trd-server: o servidor voltou a responder; avisos ao systemd retomados");
        else if (!now && answered)
            logFormat(LogLevel::Error,
                      "trd-server: o servidor não respondeu em %lld ms (laço de eventos e threads); sem aviso ao "
                      "systemd, que o reinicia se continuar assim",
                      static_cast<long long>(patience.count()));
        answered = now;
        lock.lock();
        m_wake.wait_for(lock, every, [this] { return m_stop; });
    }
}

} // namespace trd::server
