#pragma once
// Tells the service manager the server is alive, but only while it is: every
// half of the manager's watchdog interval a probe must make a round trip
// through the server's event loop and one of its workers (HttpServer::
// roundTrip). A server whose loop or workers are all stuck sends nothing, and
// the manager restarts it; a timer that pinged on its own would keep a
// wedged server "alive" forever.
#include "ServiceNotify.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace trd::server {

class ServiceWatchdog {
public:
    // probe: true when the server answered within the time it is given.
    ServiceWatchdog(const ServiceNotifier& notifier, std::function<bool(std::chrono::milliseconds)> probe);
    ~ServiceWatchdog();
    ServiceWatchdog(const ServiceWatchdog&) = delete;
    ServiceWatchdog& operator=(const ServiceWatchdog&) = delete;

private:
    void run();

    const ServiceNotifier& m_notifier;
    std::function<bool(std::chrono::milliseconds)> m_probe;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace trd::server
