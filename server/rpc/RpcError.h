#pragma once
// How errors travel back to the client as JSON-RPC error objects. The
// server's errors (ServerError) go with the code of their kind; RpcError is
// an error of the protocol itself (the envelope, the method, the session, the
// arguments a method checks), born here with its code. Either message is the
// Portuguese text the user sees.
#include "ServerError.h"

#include <stdexcept>
#include <string>

namespace trd::server {

namespace rpc {
inline constexpr int ParseError = -32700;
inline constexpr int InvalidRequest = -32600;
inline constexpr int MethodNotFound = -32601;
inline constexpr int InvalidParams = -32602;
inline constexpr int InternalError = -32603;
inline constexpr int Refused = -32000; // the data refuses it: conflict, duplicate, unknown language
inline constexpr int AuthRequired = -32001; // no session, or it expired: log in (again)
inline constexpr int LoginFailed = -32002; // wrong user name or password
inline constexpr int Forbidden = -32003; // the caller lacks the role the method needs (docs/users.md)
inline constexpr int OutcomeUnknown = -32004; // a save may or may not be stored: read the row again
inline constexpr int NeedsConfirmation = -32005; // a guard stopped a release's apply: confirm to apply all the same

// The code a ServerError of the kind is answered with: a database that is
// down or failed are one code to the client, since neither wrote anything.
constexpr int codeFor(ErrorKind kind)
{
    switch (kind) {
    case ErrorKind::BadArgument:
        return InvalidParams;
    case ErrorKind::Conflict:
        return Refused;
    case ErrorKind::Unavailable:
    case ErrorKind::Internal:
        return InternalError;
    case ErrorKind::OutcomeUnknown:
        return OutcomeUnknown;
    case ErrorKind::Forbidden:
        return Forbidden;
    case ErrorKind::Unconfirmed:
        return NeedsConfirmation;
    }
    return InternalError;
}
} // namespace rpc

class RpcError : public std::runtime_error {
public:
    RpcError(int code, const std::string& message) : std::runtime_error(message), m_code(code) { }
    int code() const noexcept { return m_code; }

private:
    int m_code;
};

[[noreturn]] inline void invalidParams(const std::string& message)
{
    throw RpcError(rpc::InvalidParams, message);
}

} // namespace trd::server
