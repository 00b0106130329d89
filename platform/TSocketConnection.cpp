#include "TSocketConnection.h"

namespace trd {

namespace {

QString seconds(int ms)
{
    return QString::number((ms + 999) / 1000);
}

} // namespace

TServerResult TAppServer::Call(const QString& method, std::initializer_list<TRemoteArg> args)
{
    return m_connection.call(method, TRemoteArgs(args));
}

TServerResult TAppServer::Call(const QString& method, const TRemoteArgs& args)
{
    return m_connection.call(method, args);
}

TSocketConnection::TSocketConnection(QObject* owner) : QObject(owner) {}

// Closing here fires no events: the handlers belong to a form that is being destroyed.
TSocketConnection::~TSocketConnection() = default;

QString TSocketConnection::Address() const
{
    return QStringLiteral("%1:%2").arg(Host).arg(Port);
}

bool TSocketConnection::Connected() const
{
    return m_client != nullptr;
}

void TSocketConnection::SetConnected(bool connected)
{
    if (connected)
        Open();
    else
        Close();
}

void TSocketConnection::Open()
{
    if (m_client)
        return;
    if (BeforeConnect)
        BeforeConnect(this);
    if (Host.trimmed().isEmpty())
        throw EConnectionError(QStringLiteral("O endereço do servidor de aplicação não foi informado."));
    if (Port <= 0 || Port > 65535)
        throw EConnectionError(QStringLiteral("Porta inválida para o servidor de aplicação: %1.").arg(Port));

    m_client = std::make_unique<HttpClient>(Host.trimmed().toUtf8(), Port, ConnectTimeoutMs, ReadTimeoutMs);
    m_client->SetTls(UseTls, TlsCaFile.toLocal8Bit());
    // Connecting proves that the server is there and can reach its database,
    // so a wrong address is reported when the form opens, not at the first call.
    m_client->SetWaitHook(OnWaiting, WaitingIntervalMs);
    m_client->SetMaxBodySize(MaxAnswerBytes);
    HttpClient::Response health;
    QString detail;
    if (const auto error = exchange("GET", "/health", {}, health, &detail); error != HttpClient::Error::None)
        failTransport(int(error), detail, QString());
    if (health.status != 200) {
        m_client.reset();
        const QString reason = QString::fromUtf8(health.body).trimmed();
        throw EConnectionError(
            QStringLiteral("O servidor de aplicação em %1 não está disponível (HTTP %2%3).")
                .arg(Address())
                .arg(health.status)
                .arg(reason.isEmpty() ? QString() : QStringLiteral(": ") + reason.left(200)));
    }
    if (AfterConnect)
        AfterConnect(this);
}

HttpClient::Error TSocketConnection::exchange(const char* verb, const QByteArray& path, const QByteArray& body,
                                             HttpClient::Response& response, QString* detail)
{
    try {
        return m_client->Request(verb, path, body, response, detail);
    } catch (...) {
        // Only the waiting hook throws here; what was half exchanged is lost
        // with the socket, and the next call connects again.
        m_client.reset();
        throw;
    }
}

void TSocketConnection::Close()
{
    if (!m_client)
        return;
    if (BeforeDisconnect)
        BeforeDisconnect(this);
    m_client.reset();
    if (AfterDisconnect)
        AfterDisconnect(this);
}

void TSocketConnection::failTransport(int error, const QString& detail, const QString& method)
{
    m_client.reset();
    const QString where = Address();
    switch (static_cast<HttpClient::Error>(error)) {
    case HttpClient::Error::Connection:
        throw EConnectionError(
            QStringLiteral("Não foi possível conectar ao servidor de aplicação em %1. "
                           "Verifique se o servidor está em execução e se o endereço está correto.")
                .arg(where));
    case HttpClient::Error::ConnectionTimeout:
        throw EConnectionError(
            QStringLiteral("O servidor de aplicação em %1 não aceitou a conexão em %2 segundos.")
                .arg(where, seconds(ConnectTimeoutMs)));
    case HttpClient::Error::Timeout:
        throw EConnectionError(
            QStringLiteral("O servidor de aplicação em %1 não respondeu em %2 segundos.").arg(where, seconds(ReadTimeoutMs)));
    case HttpClient::Error::Dropped:
        throw EConnectionError(
            QStringLiteral("A conexão com o servidor de aplicação em %1 foi interrompida.").arg(where));
    case HttpClient::Error::Tls:
        throw EConnectionError(
            QStringLiteral("Não foi possível estabelecer uma conexão segura (TLS) com o servidor de aplicação em %1: %2. "
                           "Nada foi enviado ao servidor.")
                .arg(where, detail));
    case HttpClient::Error::TooLarge:
        throw EOutOfMemory(QStringLiteral("A resposta do servidor de aplicação em %1%2 é grande demais: %3.")
                               .arg(where, method.isEmpty() ? QString() : QStringLiteral(" à chamada de ") + method, detail));
    case HttpClient::Error::Protocol:
    case HttpClient::Error::None:
        break;
    }
    throw EConnectionError(QStringLiteral("Resposta inválida do servidor de aplicação em %1%2: %3.")
                               .arg(where, method.isEmpty() ? QString() : QStringLiteral(" à chamada de ") + method, detail));
}

TServerResult TSocketConnection::call(const QString& method, const TRemoteArgs& args)
{
    TServerResult answer = callOnce(method, args);
    if (!answer.Ok && answer.ErrorCode == AuthRequiredCode && Login && !m_inLogin) {
        m_inLogin = true;
        bool again = false;
        try {
            again = Login(answer.ErrorMessage);
        } catch (...) {
            m_inLogin = false;
            throw;
        }
        m_inLogin = false;
        if (again)
            answer = callOnce(method, args);
    }
    if (!answer.Ok && ThrowException)
        throw EServerError(answer.ErrorMessage, answer.ErrorCode);
    return answer;
}

TServerResult TSocketConnection::callOnce(const QString& method, const TRemoteArgs& args)
{
    Open();
    m_client->SetAuthorization(SessionToken ? (SessionToken().isEmpty() ? QByteArray() : "Bearer " + SessionToken())
                                            : QByteArray());
    m_client->SetAccept(CompactAnswers ? QByteArrayLiteral("application/cbor, application/json;q=0.5") : QByteArray());
    const std::int64_t id = ++m_nextId;
    const QByteArray request = jsonrpc::EncodeRequest(id, method, args);

    m_client->SetWaitHook(OnWaiting, WaitingIntervalMs);
    m_client->SetIoTimeout(ReadTimeoutMs);
    HttpClient::Response response;
    QString detail;
    if (const auto error = exchange("POST", '/' + ServerName.toUtf8(), request, response, &detail); error != HttpClient::Error::None)
        failTransport(int(error), detail, method);

    // JSON-RPC answers come as application/json whatever the HTTP status (an
    // unknown object is a 404 with an error object); anything else is a page
    // from something that is not our server.
    const bool cbor = CompactAnswers && response.contentType.startsWith("application/cbor");
    if (!cbor && !response.contentType.startsWith("application/json")) {
        m_client.reset();
        throw EConnectionError(
            QStringLiteral("O servidor de aplicação em %1 respondeu de forma inesperada (HTTP %2) à chamada de %3.")
                .arg(Address())
                .arg(response.status)
                .arg(method));
    }

    TServerResult answer;
    try {
        answer = cbor ? jsonrpc::DecodeCborAnswer(std::move(response.body), id)
                      : jsonrpc::DecodeAnswer(std::move(response.body), id);
    } catch (const EMalformedAnswer& e) {
        m_client.reset();
        throw EConnectionError(
            QStringLiteral("Resposta inválida do servidor de aplicação em %1 à chamada de %2: %3.")
                .arg(Address(), method, e.Message()));
    }
    return answer;
}

} // namespace trd
