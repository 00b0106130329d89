#include "RpcHandler.h"

#include "Cbor.h"
#include "Exceptions.h"
#include "Json.h"
#include "LoginGate.h"
#include "RpcError.h"
#include "Storage.h"
#include "SuggestionLane.h"
#include "UserStore.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <new>

namespace trd::server {

namespace {

std::string errorAnswer(const std::string& id, int code, std::string_view message)
{
    std::string body = "{\"jsonrpc\":\"2.0\",\"id\":";
    body += id;
    body += ",\"error\":{\"code\":";
    body += std::to_string(code);
    body += ",\"message\":";
    appendJsonString(body, message);
    body += "}}";
    return body;
}

// The request id in the CBOR envelope: the same value, as CBOR.
void appendCborId(std::string& out, const JsonValue* id)
{
    if (!id || id->isNull()) {
        cbor::appendSimple(out, cbor::Null);
    } else if (id->isString()) {
        cbor::appendText(out, id->string());
    } else {
        const double n = id->number();
        if (n == std::floor(n) && std::fabs(n) < 9.0e15)
            cbor::appendInteger(out, static_cast<std::int64_t>(n));
        else
            cbor::appendDouble(out, n);
    }
}

std::string_view trimmedView(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// A body that does not parse is the envelope's own fault, which JSON-RPC
// answers with a code of its own.
JsonValue parseEnvelope(std::string_view body)
{
    try {
        return parseJson(body);
    } catch (const ServerError& e) {
        throw RpcError(rpc::ParseError, e.userMessage());
    }
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

bool acceptsCbor(std::string_view accept)
{
    while (!accept.empty()) {
        const std::size_t comma = accept.find(',');
        std::string_view range = accept.substr(0, comma);
        accept = comma == std::string_view::npos ? std::string_view() : accept.substr(comma + 1);
        const std::size_t semicolon = range.find(';');
        if (!equalsNoCase(trimmedView(range.substr(0, semicolon)), "application/cbor"))
            continue;
        bool refused = false;
        for (std::string_view rest = semicolon == std::string_view::npos ? std::string_view()
                                                                         : range.substr(semicolon + 1);
             !rest.empty();) {
            const std::size_t next = rest.find(';');
            const std::string_view param = trimmedView(rest.substr(0, next));
            rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
            if (param.size() >= 2 && (param[0] == 'q' || param[0] == 'Q') && param[1] == '=') {
                const std::string_view q = param.substr(2);
                refused = !q.empty() && q.find_first_not_of("0.") == std::string_view::npos;
            }
        }
        if (!refused)
            return true;
    }
    return false;
}

std::string RpcHandler::errorBody(int code, std::string_view message)
{
    return errorAnswer("null", code, message);
}

RpcHandler::RpcHandler(TranslationService& service)
    : m_service(service), m_suggestions(std::make_unique<SuggestionLane>()),
      // The engine's calls wait on the network, not the processor: a few
      // threads keep one editor's suggestion from waiting behind another's.
      m_machine(std::make_unique<SuggestionLane>(SuggestionLane::Limits{64, 3, false, "trd-automatica"})),
      // A pre-translation's pieces: the engine's answers protected, checked
      // and restored by the hundred, processor work that no save waits for,
      // so it runs only on a processor the saves leave free. Two threads: a
      // client sends one piece at a time, and a second run is not held
      // behind the first's.
      m_preTranslation(std::make_unique<SuggestionLane>(SuggestionLane::Limits{32, 2, true, "trd-pretraducao"}))
{
}

RpcHandler::~RpcHandler() = default;

void RpcHandler::requireLogin(UserStore& users, std::chrono::seconds lifetime, bool anonymousWhileEmpty)
{
    m_users = &users;
    m_sessionLifetime = lifetime;
    m_anonymousWhileEmpty = anonymousWhileEmpty;
    m_gate = std::make_unique<LoginGate>(users, lifetime);
}

void RpcHandler::stopLogins()
{
    m_gate.reset();
    // Suggestions still queued are answered as refused, while the transport
    // that carries the answers is still there.
    m_suggestions.reset();
    m_machine.reset();
    m_preTranslation.reset();
}

void RpcHandler::authenticate(const CallContext& context, RpcOutcome& outcome)
{
    if (!m_users)
        return;
    // Throws while the users file is broken or exposed: no call goes in then.
    const bool anyUser = m_users->hasUsers();
    if (!anyUser && m_anonymousWhileEmpty)
        return;
    // The scheme is case-insensitive (RFC 9110, 11.1); the token follows it
    // after one or more blanks.
    const std::string_view header = context.authorization;
    const std::size_t blank = header.find(' ');
    const bool bearer = blank != std::string_view::npos && equalsNoCase(header.substr(0, blank), "Bearer");
    // A server that started with users may listen beyond this machine: the
    // last user removed does not open it to everyone.
    if (!anyUser)
        throw RpcError(rpc::AuthRequired,
                       std::string(bearer ? "Sua sessão foi encerrada: este" : "Este")
                           + " servidor pede usuário e senha, mas não tem mais nenhum usuário cadastrado: peça ao "
                             "administrador do sistema que crie o seu.");
    if (bearer) {
        const std::size_t token = header.find_first_not_of(' ', blank);
        if (auto user = m_users->sessionUser(
                std::string(header.substr(token == std::string_view::npos ? header.size() : token)))) {
            outcome.user = std::move(user->name);
            outcome.grants = std::move(user->grants);
            return;
        }
        throw RpcError(rpc::AuthRequired,
                       "Sua sessão expirou ou foi encerrada: entre de novo com seu usuário e senha.");
    }
    throw RpcError(rpc::AuthRequired, "Este servidor pede usuário e senha: entre com os seus.");
}

Caller RpcHandler::callerOf(const RpcOutcome& outcome, const CallContext& context) const
{
    Caller caller;
    if (outcome.user != "-") {
        caller.user = outcome.user;
        caller.users = m_users;
    }
    caller.grants = outcome.grants;
    caller.batchHeaders = context.batchHeaders;
    return caller;
}

RpcHandler::Admission RpcHandler::admit(const CallContext& context)
{
    Admission admission;
    RpcOutcome outcome;
    try {
        authenticate(context, outcome);
        admission.user = outcome.user;
        if (!outcome.grants.any())
            throw RpcError(rpc::Forbidden,
                           "É preciso ter um papel neste servidor (leitor ou acima) para ler as "
                           "traduções. Peça um ao administrador.");
        admission.ok = true;
    } catch (const RpcError& e) {
        admission.code = e.code();
        admission.message = e.what();
    } catch (const ServerError& e) {
        admission.code = rpc::codeFor(e.kind());
        admission.message = e.userMessage();
    }
    return admission;
}

RpcOutcome RpcHandler::handle(std::string_view body, const CallContext& context)
{
    RpcOutcome outcome;
    run(body, context, outcome, nullptr);
    return outcome;
}

void RpcHandler::handleAsync(std::string_view body, const CallContext& context, std::function<void(RpcOutcome)> done)
{
    RpcOutcome outcome;
    if (run(body, context, outcome, &done))
        done(std::move(outcome));
}

bool RpcHandler::run(std::string_view body, const CallContext& context, RpcOutcome& outcome,
                     std::function<void(RpcOutcome)>* done)
{
    std::string id = "null";
    AnswerBuffer answer;
    auto fail = [&](int code, const std::string& message) {
        outcome.ok = false;
        outcome.errorCode = code;
        outcome.errorMessage = message;
        if (answer.streaming()) {
            // The answer began as a success and its first rows are out: the
            // client must not take the rows so far for all of them. In place
            // of the next row goes the failure, and the transport ends the
            // answer without its proper end.
            outcome.streamed = true;
            outcome.cutShort = true;
            answer.bytes.resize(answer.rowsEnd);
            trd::CborPacketWriter::appendFailure(answer.bytes, code, message);
            try {
                answer.flush();
            } catch (const AnswerAbandoned&) {
            }
            outcome.sentBytes = answer.sent;
            return;
        }
        outcome.body = errorAnswer(id, code, message);
    };
    try {
        JsonValue request = parseEnvelope(body);
        if (request.isArray())
            throw RpcError(rpc::InvalidRequest, "Requisição inválida: requisições em lote não são aceitas.");
        if (!request.isObject())
            throw RpcError(rpc::InvalidRequest, "Requisição inválida: esperado um objeto JSON-RPC.");
        if (const JsonValue* idValue = request.find("id")) {
            if (!idValue->isNumber() && !idValue->isString() && !idValue->isNull())
                throw RpcError(rpc::InvalidRequest, "Requisição inválida: \"id\" deve ser número ou texto.");
            id.clear();
            appendJson(id, *idValue);
        }
        const JsonValue* version = request.find("jsonrpc");
        if (!version || !version->isString() || version->string() != "2.0")
            throw RpcError(rpc::InvalidRequest, "Requisição inválida: \"jsonrpc\" deve ser \"2.0\".");
        const JsonValue* method = request.find("method");
        if (!method || !method->isString())
            throw RpcError(rpc::InvalidRequest, "Requisição inválida: falta o nome do método.");
        outcome.method = method->string().substr(0, 64);
        std::vector<JsonValue> noParams;
        JsonValue* params = request.find("params");
        if (params && !params->isArray() && !params->isNull())
            throw RpcError(rpc::InvalidParams, "Os argumentos (\"params\") devem ser uma lista.");
        std::vector<JsonValue>& args = params && params->isArray() ? params->array() : noParams;

        if (method->string() == "Login") {
            // The token is a JSON string, never a packet: no CBOR here.
            if (args.size() != 2 || !args[0].isString() || !args[1].isString())
                throw RpcError(rpc::InvalidParams, "Login espera o usuário e a senha.");
            outcome.user = args[0].string();
            // hasUsers() first: a broken or exposed users file refuses the
            // log-in here, before it takes a place in the log-in queue.
            if (!m_gate || (!m_users->hasUsers() && m_anonymousWhileEmpty))
                throw RpcError(rpc::Refused, "Este servidor não pede usuário e senha.");
            auto reply = [id](RpcOutcome out, const LoginResult& result) {
                if (result.kind == LoginResult::Kind::Accepted) {
                    std::string token;
                    appendJsonString(token, result.token);
                    out.body = "{\"jsonrpc\":\"2.0\",\"id\":" + id + ",\"result\":" + token + "}";
                    out.resultBytes = token.size();
                    out.ok = true;
                } else {
                    out.ok = false;
                    out.errorCode = rpc::LoginFailed;
                    out.errorMessage = result.message();
                    out.body = errorAnswer(id, rpc::LoginFailed, out.errorMessage);
                }
                return out;
            };
            if (!done) {
                outcome = reply(std::move(outcome), m_gate->check(args[0].string(), args[1].string(), context.address));
                return true;
            }
            m_gate->submit(
                args[0].string(), args[1].string(), context.address,
                [reply, outcome, finish = std::move(*done)](LoginResult result) { finish(reply(outcome, result)); });
            return false;
        }

        // A suggestion waits its turn on its own lane (the memory's, or the
        // machine translation's for the engine's methods, a pre-translation's
        // pieces on theirs), the caller's rights checked first so that nobody
        // without them takes a place there.
        SuggestionLane* lane = method->string() == "GetSugestoes" ? m_suggestions.get()
            : MachineMethods::isBulkMethod(method->string())      ? m_preTranslation.get()
            : MachineMethods::isMachineMethod(method->string())   ? m_machine.get()
                                                                  : nullptr;
        if (done && lane) {
            authenticate(context, outcome);
            m_service.checkCall(method->string(), args, callerOf(outcome, context));
            CallContext later = context;
            later.sink = nullptr; // a few rows: answered whole
            const bool queued = lane->submit([this, body = std::string(body), later = std::move(later), finish = *done,
                                              id, method = outcome.method](bool stopping) mutable {
                RpcOutcome out;
                if (stopping || (later.clientGone && later.clientGone())) {
                    out.method = method;
                    out.errorCode = rpc::codeFor(ErrorKind::Unavailable);
                    out.errorMessage = stopping ? "O servidor está sendo encerrado; a chamada não foi atendida."
                                                : "O cliente desistiu antes da vez da chamada; ela não foi atendida.";
                    out.body = errorAnswer(id, out.errorCode, out.errorMessage);
                } else {
                    run(body, later, out, nullptr);
                }
                finish(std::move(out));
            });
            if (!queued)
                throw ServerError(ErrorKind::Unavailable,
                                  "O servidor está recebendo pedidos de sugestões demais ao "
                                  "mesmo tempo; tente de novo em instantes.");
            return false;
        }

        // A data packet answers in CBOR when the client accepts it: the
        // envelope as a CBOR map whose last entry, "result", is the packet
        // (docs/protocol.md).
        const bool cbor = context.acceptsCbor;
        if (cbor) {
            answer.form = PacketForm::Cbor;
            answer.sink = context.sink;
            cbor::appendHead(answer.bytes, cbor::Map, 3);
            cbor::appendText(answer.bytes, "jsonrpc");
            cbor::appendText(answer.bytes, "2.0");
            cbor::appendText(answer.bytes, "id");
            appendCborId(answer.bytes, request.find("id"));
            cbor::appendText(answer.bytes, "result");
        } else {
            answer.bytes = "{\"jsonrpc\":\"2.0\",\"id\":";
            answer.bytes += id;
            answer.bytes += ",\"result\":";
        }
        const std::size_t before = answer.bytes.size();
        authenticate(context, outcome);
        m_service.call(method->string(), args, answer, callerOf(outcome, context));
        outcome.resultBytes = answer.sent + answer.bytes.size() - before;
        if (!cbor)
            answer.bytes += '}';
        outcome.cbor = cbor;
        outcome.ok = true;
        if (answer.streaming()) {
            answer.flush();
            outcome.streamed = true;
            outcome.sentBytes = answer.sent;
        } else {
            outcome.body = std::move(answer.bytes);
        }
    } catch (const AnswerAbandoned& e) {
        answer.sink = nullptr;
        outcome.ok = false;
        outcome.streamed = true;
        outcome.cutShort = true;
        outcome.errorMessage = e.what();
        outcome.sentBytes = answer.sent;
    } catch (const RpcError& e) {
        fail(e.code(), e.what());
    } catch (const trd::EDBClient& e) {
        fail(rpc::InvalidParams, std::string("Pacote de dados inválido: ") + e.what());
    } catch (const ServerError& e) {
        fail(rpc::codeFor(e.kind()), e.userMessage());
        if (!e.detail().empty())
            outcome.errorDetail = e.detail();
    } catch (const std::bad_alloc&) {
        fail(rpc::InternalError, "Memória insuficiente para atender a requisição.");
    } catch (const std::exception& e) {
        fail(rpc::InternalError, std::string("Erro no servidor: ") + e.what() + ".");
    }
    return true;
}

} // namespace trd::server
