#include "NameResolution.h"

#include <QElapsedTimer>

#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace trd {

void AddressListDeleter::operator()(addrinfo* list) const
{
    if (list)
        ::freeaddrinfo(list);
}

namespace {

// A lookup on a thread of its own, shared with the caller: a caller that
// gives up leaves it to end by itself, and whichever of the two lets go last
// frees what it found.
struct Lookup {
    Lookup() : doneFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) { }
    ~Lookup()
    {
        if (result)
            ::freeaddrinfo(result);
        if (doneFd >= 0)
            ::close(doneFd);
    }
    Lookup(const Lookup&) = delete;
    Lookup& operator=(const Lookup&) = delete;

    std::mutex mutex;
    addrinfo* result = nullptr;
    int rc = EAI_SYSTEM;
    const int doneFd;
};

} // namespace

Resolution ResolveHost(const QByteArray& host, int port, int deadlineMs, int interruptFd, AddressList& found,
                       QString* why)
{
    found.reset();
    const QByteArray service = QByteArray::number(port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.constData(), service.constData(), &hints, &list) == 0) {
        found.reset(list);
        return Resolution::Found;
    }

    auto lookup = std::make_shared<Lookup>();
    if (lookup->doneFd < 0) {
        if (why)
            *why = QStringLiteral("sem recursos para resolver o nome");
        return Resolution::Failed;
    }
    std::thread([lookup, host, service] {
        addrinfo wanted{};
        wanted.ai_family = AF_UNSPEC;
        wanted.ai_socktype = SOCK_STREAM;
        addrinfo* answer = nullptr;
        const int rc = ::getaddrinfo(host.constData(), service.constData(), &wanted, &answer);
        std::lock_guard lock(lookup->mutex);
        lookup->rc = rc;
        lookup->result = rc == 0 ? answer : nullptr;
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(lookup->doneFd, &one, sizeof one);
    }).detach();

    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 left = deadlineMs - clock.elapsed();
        if (left <= 0) {
            if (why)
                *why =
                    QStringLiteral("o nome %1 não foi resolvido em %2 ms").arg(QString::fromUtf8(host)).arg(deadlineMs);
            return Resolution::TimedOut;
        }
        pollfd watched[2] = {{lookup->doneFd, POLLIN, 0}, {interruptFd, POLLIN, 0}};
        const int n = ::poll(watched, interruptFd >= 0 ? 2 : 1, static_cast<int>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (interruptFd >= 0 && (watched[1].revents & POLLIN)) {
            if (why)
                *why = QStringLiteral("interrompido");
            return Resolution::Interrupted;
        }
        if (watched[0].revents & POLLIN)
            break;
    }
    std::lock_guard lock(lookup->mutex);
    if (lookup->rc != 0) {
        if (why)
            *why = QString::fromLocal8Bit(::gai_strerror(lookup->rc));
        return Resolution::Failed;
    }
    found.reset(std::exchange(lookup->result, nullptr));
    return Resolution::Found;
}

} // namespace trd
