#include "CuttingProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace trd::test {

namespace {

int loopbackSocket(int port, bool listen)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const bool ok = listen ? ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && ::listen(fd, 64) == 0
                           : ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (!ok) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(int fd, const char* data, ssize_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, static_cast<size_t>(size), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

// The method a JSON-RPC request calls, from its first bytes (the client
// sends a small request's header and body in one write).
QByteArray calledMethod(const QByteArray& request)
{
    qsizetype at = request.indexOf("\"method\"");
    if (at < 0)
        return {};
    at = request.indexOf('"', request.indexOf(':', at) + 1);
    const qsizetype end = at < 0 ? -1 : request.indexOf('"', at + 1);
    return end < 0 ? QByteArray() : request.mid(at + 1, end - at - 1);
}

} // namespace

struct CuttingProxy::Impl {
    int serverPort = 0;
    int listener = -1;
    int port = 0;
    int wakeRead = -1, wakeWrite = -1; // tells the threads to stop
    std::thread acceptor;
    std::mutex mutex;
    std::vector<std::thread> relays;
    std::mutex cutMutex; // guards the three below
    qint64 nextCut = -1;
    QByteArray cutMethod; // empty: any POST
    std::map<QByteArray, qint64> lastAnswer; // by method; "" for any POST

    void relay(int client);
};

void CuttingProxy::Impl::relay(int client)
{
    const int server = loopbackSocket(serverPort, false);
    qint64 cut = -1; // of the answer now passing
    QByteArray method; // that its request called
    bool answering = false; // a POST went to the server: its answer passes now
    qint64 passed = 0;
    std::vector<char> buffer(256 * 1024);
    while (server >= 0) {
        pollfd fds[3] = {{client, POLLIN, 0}, {server, POLLIN, 0}, {wakeRead, POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0 || fds[2].revents)
            break;
        if (fds[0].revents) {
            const ssize_t n = ::recv(client, buffer.data(), buffer.size(), 0);
            if (n <= 0)
                break;
            if (n >= 5 && std::memcmp(buffer.data(), "POST ", 5) == 0) {
                answering = true;
                passed = 0;
                method = calledMethod(QByteArray::fromRawData(buffer.data(), n));
                std::lock_guard lock(cutMutex);
                lastAnswer[{}] = lastAnswer[method] = 0;
                cut = -1;
                if (cutMethod.isEmpty() || cutMethod == method)
                    std::swap(cut, nextCut);
            }
            if (!sendAll(server, buffer.data(), n))
                break;
        }
        if (fds[1].revents) {
            ssize_t n = ::recv(server, buffer.data(), buffer.size(), 0);
            if (n <= 0)
                break;
            const bool cutting = answering && cut >= 0 && passed + n >= cut;
            if (cutting)
                n = static_cast<ssize_t>(cut - passed);
            if (answering) {
                passed += n;
                std::lock_guard lock(cutMutex);
                lastAnswer[{}] = lastAnswer[method] = passed;
            }
            if (!sendAll(client, buffer.data(), n) || cutting)
                break;
        }
    }
    ::shutdown(client, SHUT_RDWR);
    ::close(client);
    if (server >= 0)
        ::close(server);
}

CuttingProxy::CuttingProxy(int serverPort) : d(std::make_unique<Impl>())
{
    d->serverPort = serverPort;
    d->listener = loopbackSocket(0, true);
    sockaddr_in addr{};
    socklen_t length = sizeof addr;
    ::getsockname(d->listener, reinterpret_cast<sockaddr*>(&addr), &length);
    d->port = ntohs(addr.sin_port);
    int pipe[2];
    if (::pipe(pipe) == 0) {
        d->wakeRead = pipe[0];
        d->wakeWrite = pipe[1];
    }
    Impl* impl = d.get();
    d->acceptor = std::thread([impl] {
        for (;;) {
            pollfd fds[2] = {{impl->listener, POLLIN, 0}, {impl->wakeRead, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 || fds[1].revents)
                return;
            const int client = ::accept4(impl->listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            const int on = 1;
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            std::lock_guard lock(impl->mutex);
            impl->relays.emplace_back([impl, client] { impl->relay(client); });
        }
    });
}

CuttingProxy::~CuttingProxy()
{
    if (d->wakeWrite >= 0)
        (void)::write(d->wakeWrite, "x", 1);
    d->acceptor.join();
    for (std::thread& t : d->relays)
        t.join();
    ::close(d->listener);
    ::close(d->wakeRead);
    ::close(d->wakeWrite);
}

int CuttingProxy::port() const
{
    return d->port;
}

void CuttingProxy::cutNextAnswerAfter(qint64 bytes, const QByteArray& method)
{
    std::lock_guard lock(d->cutMutex);
    d->nextCut = bytes;
    d->cutMethod = method;
}

qint64 CuttingProxy::lastAnswerBytes(const QByteArray& method) const
{
    std::lock_guard lock(d->cutMutex);
    const auto it = d->lastAnswer.find(method);
    return it == d->lastAnswer.end() ? 0 : it->second;
}

} // namespace trd::test
