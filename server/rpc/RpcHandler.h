#pragma once
// The JSON-RPC 2.0 envelope around TranslationService: one request body in,
// one answer body out, every failure turned into an error object. Independent
// of HTTP, so tests and the fuzzer drive it directly.
#include "TranslationService.h"
#include "Roles.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace trd::server {

struct RpcOutcome {
    std::string body; // the JSON answer, or its CBOR form when `cbor`
    bool cbor = false;
    bool streamed = false; // the answer went out through the call's sink: `body` is empty
    bool cutShort = false; // a streamed answer that failed after it began: it ends with a failure report
    std::size_t sentBytes = 0; // of a streamed answer
    std::string method; // for the log; empty when the request was unreadable
    bool ok = false;
    int errorCode = 0;
    std::string errorMessage;
    std::string errorDetail; // the database's own account of a failure: for the log, never the client
    std::size_t resultBytes = 0;
    std::string user = "-"; // who called, for the log
    // The caller's roles (a server without users: administrador of all).
    Grants grants = Grants::everything();
};

class LoginGate;
class SuggestionLane;
class UserStore;

// What the transport knows of a call besides its body.
struct CallContext {
    std::string authorization; // the Authorization header: "Bearer TOKEN" after a login
    bool acceptsCbor = false; // the Accept header names application/cbor
    AnswerSink* sink = nullptr; // a CBOR answer larger than a piece goes out through it as it is written
    std::vector<std::string> batchHeaders; // every X-Trd-Lote header: the open batch a save joins
    std::string address; // the client's address: log-ins are throttled per address too
    // True once the client has closed its connection: a call that waited
    // its turn (a suggestion) is then dropped without being run.
    std::function<bool()> clientGone;
};

// True when an Accept header value names application/cbor (and does not
// refuse it with q=0).
bool acceptsCbor(std::string_view accept);

class RpcHandler {
public:
    explicit RpcHandler(TranslationService& service);
    ~RpcHandler();

    RpcOutcome handle(std::string_view body, const CallContext& context = {});
    // The same, answering through done: a Login is checked on the log-in
    // gate's own threads, and a GetSugestoes runs on the suggestions' own
    // (SuggestionLane.h), so the calling thread does not wait for them. done
    // runs exactly once, on this thread or on one of theirs.
    void handleAsync(std::string_view body, const CallContext& context, std::function<void(RpcOutcome)> done);

    // From then on every call but Login needs the token a Login gave, valid
    // for `lifetime`; without it the call is refused with rpc::AuthRequired.
    // With anonymousWhileEmpty (a loopback server started with no users) the
    // calls are let in while the users file has no user, and need a login as
    // soon as one is added, without a restart.
    void requireLogin(UserStore& users, std::chrono::seconds lifetime, bool anonymousWhileEmpty = false);
    // Ends the log-in checks and the suggestions' lane (answering those still
    // waiting); before the transport that would carry their answers goes away.
    void stopLogins();

    // An error answer with id null (for refusals made before a body is read).
    static std::string errorBody(int code, std::string_view message);

    // For a request beside the JSON-RPC envelope (the change feed): whether
    // it is let in as every method but Login is, and who makes it. It needs
    // the right to read (any role), checked with the roles of the moment.
    struct Admission {
        bool ok = false;
        std::string user = "-";
        int code = 0; // when refused: the JSON-RPC error code and message
        std::string message;
    };
    Admission admit(const CallContext& context);

private:
    struct Parsed;
    // Reads the envelope and runs the call, or for a Login hands it to the
    // gate and returns false (done will run later).
    bool run(std::string_view body, const CallContext& context, RpcOutcome& outcome,
             std::function<void(RpcOutcome)>* done);
    void authenticate(const CallContext& context, RpcOutcome& outcome);
    Caller callerOf(const RpcOutcome& outcome, const CallContext& context) const;

    TranslationService& m_service;
    UserStore* m_users = nullptr;
    std::unique_ptr<LoginGate> m_gate;
    std::unique_ptr<SuggestionLane> m_suggestions; // GetSugestoes of handleAsync (SuggestionLane.h)
    std::unique_ptr<SuggestionLane> m_machine; // the machine translation's methods (MachineMethods.h)
    std::unique_ptr<SuggestionLane> m_preTranslation; // their bulk method, at idle scheduling
    std::chrono::seconds m_sessionLifetime{0};
    bool m_anonymousWhileEmpty = false;
};

} // namespace trd::server
