#pragma once
// The server's one error: what went wrong, in the words the user reads, and
// its kind. Every layer raises it; none below the protocol knows how it
// travels. The kind plays the part a database's error class plays: it says
// what the caller can do about the fault, and the protocol layer alone maps
// it to what its clients see (rpc/RpcError.h for JSON-RPC).
#include <stdexcept>
#include <string>
#include <utility>

namespace trd::server {

enum class ErrorKind {
    BadArgument, // the request is wrong: a value breaks its rule, a text does not parse
    Conflict, // the data refuses it: changed or deleted by another user, a duplicate, an unknown language
    Unavailable, // the server cannot do it now (database unreachable or busy, disk full, read-only); nothing was done
    Internal, // the server or its database failed; nothing was done
    OutcomeUnknown, // a write failed at or after its commit: it may or may not be stored
    Forbidden, // the caller lacks the role the request needs (docs/users.md); nothing was done
    Unconfirmed, // a guard stopped it (a release that would empty a language): done only when confirmed
};

class ServerError : public std::runtime_error {
public:
    // detail is for the server's log only (file names, the database's own
    // text) and is what() when given; the client is told userMessage.
    ServerError(ErrorKind kind, std::string userMessage, std::string detail = {})
        : std::runtime_error(detail.empty() ? userMessage : detail), m_kind(kind),
          m_userMessage(std::move(userMessage)), m_detail(std::move(detail))
    {
    }
    ErrorKind kind() const noexcept { return m_kind; }
    const std::string& userMessage() const noexcept { return m_userMessage; }
    // Empty when the user's message says it all.
    const std::string& detail() const noexcept { return m_detail; }

private:
    ErrorKind m_kind;
    std::string m_userMessage;
    std::string m_detail;
};

[[noreturn]] inline void badArgument(const std::string& message)
{
    throw ServerError(ErrorKind::BadArgument, message);
}

} // namespace trd::server
