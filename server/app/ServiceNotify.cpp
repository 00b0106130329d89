#include "ServiceNotify.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace trd::server {

namespace {

long long numberFromEnvironment(const char* name)
{
    const char* text = std::getenv(name);
    long long value = 0;
    if (!text)
        return -1;
    const char* end = text + std::strlen(text);
    const auto [at, ec] = std::from_chars(text, end, value);
    return ec == std::errc() && at == end ? value : -1;
}

} // namespace

ServiceNotifier::ServiceNotifier(std::string socketPath, std::chrono::microseconds watchdog)
    : m_socket(std::move(socketPath)), m_watchdog(watchdog)
{
}

ServiceNotifier ServiceNotifier::fromEnvironment()
{
    const char* socket = std::getenv("NOTIFY_SOCKET");
    const long long usec = numberFromEnvironment("WATCHDOG_USEC");
    const long long pid = numberFromEnvironment("WATCHDOG_PID");
    const bool ours = pid < 0 || pid == static_cast<long long>(::getpid());
    return ServiceNotifier(socket ? socket : "", std::chrono::microseconds(usec > 0 && ours ? usec : 0));
}

bool ServiceNotifier::notify(std::string_view message) const
{
    if (m_socket.empty())
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (m_socket.size() >= sizeof address.sun_path || (m_socket[0] != '/' && m_socket[0] != '@'))
        return false;
    std::memcpy(address.sun_path, m_socket.data(), m_socket.size());
    if (m_socket[0] == '@')
        address.sun_path[0] = '\0';
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + m_socket.size());
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const ssize_t sent =
        ::sendto(fd, message.data(), message.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address), length);
    ::close(fd);
    return sent == static_cast<ssize_t>(message.size());
}

} // namespace trd::server
