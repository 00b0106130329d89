// Feeds arbitrary bytes to the client's HTTP/1.1 answer reader, as a server
// would send them on the connection: status line, header fields, bodies by
// length, in chunks or up to the close. Any input must end in an answer or a
// reported error, within the deadline and the body limit, and leave the
// client closed or ready for the next request.
#include "HttpClient.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <thread>

using namespace trd;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 32 * 1024)
        return 0;
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        std::abort();
    const int big = 256 * 1024;
    ::setsockopt(ends[1], SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
    ::setsockopt(ends[0], SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    // The peer answers once the request has come, as a server does (an
    // answer already waiting on an idle connection is one the client never
    // asked for, and it would not read it).
    std::thread peer([&] {
        pollfd p{ends[1], POLLIN, 0};
        if (::poll(&p, 1, 2000) > 0) {
            char request[4096];
            [[maybe_unused]] const ssize_t got = ::recv(ends[1], request, sizeof request, 0);
        }
        std::size_t sent = 0;
        while (sent < size) {
            const ssize_t n = ::send(ends[1], data + sent, size - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += static_cast<std::size_t>(n);
        }
        ::shutdown(ends[1], SHUT_WR);
    });

    HttpClient client(QByteArrayLiteral("fuzz"), 1, 100, 100);
    client.SetMaxBodySize(64 * 1024);
    client.AdoptConnected(ends[0]);
    HttpClient::Response response;
    QString detail;
    const HttpClient::Error error =
        client.Request("POST", QByteArrayLiteral("/x"), QByteArrayLiteral("{}"), response, &detail);
    if (error == HttpClient::Error::None) {
        if (response.status < 100 || response.status > 599 || response.body.size() > client.MaxBodySize())
            std::abort();
    } else if (detail.isEmpty()) {
        std::abort(); // every failure says what happened
    }
    client.Close();
    peer.join();
    ::close(ends[1]);
    return 0;
}
