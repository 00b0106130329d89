#include "RpcHandler.h"

#include "Exceptions.h"
#include "Json.h"
#include "RpcError.h"
#include "Storage.h"
#include "UserStore.h"

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

} // namespace

std::string RpcHandler::errorBody(int code, std::string_view message)
{
    return errorAnswer("null", code, message);
}

void RpcHandler::requireLogin(UserStore& users, std::chrono::seconds lifetime)
{
    m_users = &users;
    m_sessionLifetime = lifetime;
}

std::string RpcHandler::login(const std::vector<JsonValue>& args, RpcOutcome& outcome)
{
    if (args.size() != 2 || !args[0].isString() || !args[1].isString())
        throw RpcError(rpc::InvalidParams, "Login espera o usuário e a senha.");
    const std::string& name = args[0].string();
    outcome.user = name;
    if (!m_users)
        throw RpcError(rpc::Refused, "Este servidor não pede usuário e senha.");
    const auto token = m_users->login(name, args[1].string(), m_sessionLifetime);
    if (!token)
        throw RpcError(rpc::LoginFailed, "Usuário ou senha incorretos.");
    std::string result;
    appendJsonString(result, *token);
    return result;
}

void RpcHandler::authenticate(const CallContext& context, RpcOutcome& outcome)
{
    if (!m_users)
        return;
    constexpr std::string_view Bearer = "Bearer ";
    const std::string_view header = context.authorization;
    if (header.substr(0, Bearer.size()) == Bearer) {
        if (const auto user = m_users->user(std::string(header.substr(Bearer.size())))) {
            outcome.user = *user;
            return;
        }
        throw RpcError(rpc::AuthRequired, "Sua sessão expirou ou foi encerrada: entre de novo com seu usuário e senha.");
    }
    throw RpcError(rpc::AuthRequired, "Este servidor pede usuário e senha: entre com os seus.");
}

RpcOutcome RpcHandler::handle(std::string_view body, const CallContext& context)
{
    RpcOutcome outcome;
    std::string id = "null";
    auto fail = [&](int code, const std::string& message) {
        outcome.ok = false;
        outcome.errorCode = code;
        outcome.errorMessage = message;
        outcome.body = errorAnswer(id, code, message);
    };
    try {
        JsonValue request = parseJson(body);
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

        std::string answer = "{\"jsonrpc\":\"2.0\",\"id\":";
        answer += id;
        answer += ",\"result\":";
        const std::size_t before = answer.size();
        if (method->string() == "Login") {
            answer += login(args, outcome);
        } else {
            authenticate(context, outcome);
            m_service.call(method->string(), args, answer);
        }
        outcome.resultBytes = answer.size() - before;
        answer += '}';
        outcome.body = std::move(answer);
        outcome.ok = true;
    } catch (const RpcError& e) {
        fail(e.code(), e.what());
    } catch (const trd::EDBClient& e) {
        fail(rpc::InvalidParams, std::string("Pacote de dados inválido: ") + e.what());
    } catch (const StorageError& e) {
        fail(rpc::InternalError, e.userMessage());
        outcome.errorDetail = e.what();
    } catch (const std::bad_alloc&) {
        fail(rpc::InternalError, "Memória insuficiente para atender a requisição.");
    } catch (const std::exception& e) {
        fail(rpc::InternalError, std::string("Erro no servidor: ") + e.what() + ".");
    }
    return outcome;
}

} // namespace trd::server
