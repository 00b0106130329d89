#pragma once
// The service manager's notify protocol (systemd, Type=notify): one datagram
// per message to the Unix socket named by $NOTIFY_SOCKET ("READY=1",
// "WATCHDOG=1", "STOPPING=1", "RELOADING=1", "STATUS=..."). Spoken here in a
// few lines rather than through libsystemd: the protocol is a single
// sendmsg, and a server started by hand (no $NOTIFY_SOCKET) sends nothing.
#include <chrono>
#include <string>
#include <string_view>

namespace trd::server {

class ServiceNotifier {
public:
    // Nothing is sent when socketPath is empty. A path starting with '@' is
    // in the abstract namespace, as systemd writes it.
    ServiceNotifier(std::string socketPath, std::chrono::microseconds watchdog);

    // From $NOTIFY_SOCKET, $WATCHDOG_USEC and $WATCHDOG_PID (the watchdog is
    // ours only when that pid is this process, or unset).
    static ServiceNotifier fromEnvironment();

    bool active() const { return !m_socket.empty(); }
    // How often the manager expects a sign of life; zero when it does not.
    std::chrono::microseconds watchdog() const { return m_watchdog; }
    // Sends one message (lines "KEY=VALUE"); false when it could not be sent.
    bool notify(std::string_view message) const;

private:
    std::string m_socket;
    std::chrono::microseconds m_watchdog;
};

} // namespace trd::server
