#pragma once
// The server's name resolved to addresses within a deadline. getaddrinfo
// itself waits on the name servers for as long as the system's resolver is
// set to (seconds per server, tries included) and cannot be told to stop;
// a connection's deadline and its caller's "stop" must hold from the very
// first step. A numeric address is taken at once, without the resolver.
#include <QByteArray>
#include <QString>

#include <memory>

struct addrinfo;

namespace trd {

struct AddressListDeleter {
    void operator()(addrinfo* list) const;
};
using AddressList = std::unique_ptr<addrinfo, AddressListDeleter>;

enum class Resolution { Found, Failed, TimedOut, Interrupted };

// The TCP addresses of host:port, waiting at most `deadlineMs` and no longer
// than `interruptFd` (-1: none) stays unreadable. On failure `why` says what
// happened, in words for a message.
Resolution ResolveHost(const QByteArray& host, int port, int deadlineMs, int interruptFd, AddressList& found,
                       QString* why);

} // namespace trd
