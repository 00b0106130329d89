#pragma once
// The JSON-RPC 2.0 envelope around TranslationService: one request body in,
// one answer body out, every failure turned into an error object. Independent
// of HTTP, so tests and the fuzzer drive it directly.
#include "TranslationService.h"

#include <string>
#include <string_view>

namespace trd::server {

struct RpcOutcome {
    std::string body;          // the JSON answer
    std::string method;        // for the log; empty when the request was unreadable
    bool ok = false;
    int errorCode = 0;
    std::string errorMessage;
    std::string errorDetail;   // the database's own account of a failure: for the log, never the client
    std::size_t resultBytes = 0;
};

class RpcHandler {
public:
    explicit RpcHandler(TranslationService& service) : m_service(service) {}

    RpcOutcome handle(std::string_view body);

    // An error answer with id null (for refusals made before a body is read).
    static std::string errorBody(int code, std::string_view message);

private:
    TranslationService& m_service;
};

} // namespace trd::server
