#include "TSocketConnection.h"

#include <algorithm>
#include <cstring>

namespace trd {

namespace {

QString seconds(int ms)
{
    return QString::number((ms + 999) / 1000);
}

// What the user reads about a transport fault (docs/client.md, "Failures").
std::exception_ptr transportFailure(HttpClient::Error error, const QString& detail, const QString& where,
                                    const QString& method, int connectTimeoutMs, int readTimeoutMs)
{
    switch (error) {
    case HttpClient::Error::Connection:
        return std::make_exception_ptr(
            EConnectionError(QStringLiteral("Não foi possível conectar ao servidor de aplicação em %1. "
                                            "Verifique se o servidor está em execução e se o endereço está correto.")
                                 .arg(where)));
    case HttpClient::Error::ConnectionTimeout:
        return std::make_exception_ptr(
            EConnectionError(QStringLiteral("O servidor de aplicação em %1 não aceitou a conexão em %2 segundos.")
                                 .arg(where, seconds(connectTimeoutMs))));
    case HttpClient::Error::Timeout:
        return std::make_exception_ptr(
            EConnectionError(QStringLiteral("O servidor de aplicação em %1 não respondeu em %2 segundos.")
                                 .arg(where, seconds(readTimeoutMs))));
    case HttpClient::Error::Dropped:
    case HttpClient::Error::Interrupted:
        return std::make_exception_ptr(EConnectionError(
            QStringLiteral("A conexão com o servidor de aplicação em %1 foi interrompida.").arg(where)));
    case HttpClient::Error::Tls:
        return std::make_exception_ptr(EConnectionError(
            QStringLiteral(
                "Não foi possível estabelecer uma conexão segura (TLS) com o servidor de aplicação em %1: %2. "
                "Nada foi enviado ao servidor.")
                .arg(where, detail)));
    case HttpClient::Error::TooLarge:
        return std::make_exception_ptr(EOutOfMemory(
            QStringLiteral("A resposta do servidor de aplicação em %1%2 é grande demais: %3.")
                .arg(where, method.isEmpty() ? QString() : QStringLiteral(" à chamada de ") + method, detail)));
    case HttpClient::Error::Protocol:
    case HttpClient::Error::None:
        break;
    }
    return std::make_exception_ptr(EConnectionError(
        QStringLiteral("Resposta inválida do servidor de aplicação em %1%2: %3.")
            .arg(where, method.isEmpty() ? QString() : QStringLiteral(" à chamada de ") + method, detail)));
}

} // namespace

// The packet of an answer still arriving: the bytes of it already read, then
// the rest of the answer's body as the data set asks for it. The connection
// carries nothing else meanwhile; a call made before this packet was read to
// its end first reads the rest into memory (settle), and one dropped unread
// closes the connection (the next call opens another).
class TSocketConnection::AnswerStream : public PacketSource {
public:
    AnswerStream(std::shared_ptr<HttpClient> client, QByteArray first, const TSocketConnection& owner,
                 const QString& method)
        : m_client(std::move(client)), m_first(std::move(first)), m_where(owner.Address()), m_method(method),
          m_connectTimeoutMs(owner.ConnectTimeoutMs), m_readTimeoutMs(owner.ReadTimeoutMs), m_hook(owner.OnLoading),
          m_hookIntervalMs(owner.WaitingIntervalMs)
    {
    }
    ~AnswerStream() override
    {
        if (m_client)
            m_client->Abort(); // dropped unread: the connection cannot carry another call
    }

    std::size_t read(char* out, std::size_t room) override
    {
        if (m_failure)
            std::rethrow_exception(m_failure);
        if (m_offset < m_first.size()) {
            const auto n = std::min<std::size_t>(room, static_cast<std::size_t>(m_first.size() - m_offset));
            std::memcpy(out, m_first.constData() + m_offset, n);
            m_offset += static_cast<qsizetype>(n);
            if (m_offset == m_first.size())
                m_first = QByteArray();
            return n;
        }
        if (!m_client)
            return 0;
        m_client->SetWaitHook(m_hook, m_hookIntervalMs);
        qsizetype got = 0;
        QString detail;
        const HttpClient::Error error = m_client->ReadBody(out, static_cast<qsizetype>(room), got, &detail);
        if (error != HttpClient::Error::None) {
            m_client.reset(); // the client closed itself
            m_failure = transportFailure(error, detail, m_where, m_method, m_connectTimeoutMs, m_readTimeoutMs);
            std::rethrow_exception(m_failure);
        }
        if (got == 0)
            m_client.reset(); // the answer has ended: the connection is free for the next call
        return static_cast<std::size_t>(got);
    }

    std::size_t limit() const override
    {
        return static_cast<std::size_t>(m_first.size() - m_offset)
            + (m_client ? static_cast<std::size_t>(m_client->BodyLeft()) : 0);
    }

    [[noreturn]] void failed(std::int64_t code, const QString& message) override
    {
        // The server ends such an answer by closing the connection.
        if (m_client) {
            m_client->Abort();
            m_client.reset();
        }
        m_failure = std::make_exception_ptr(EServerError(message, static_cast<int>(code)));
        std::rethrow_exception(m_failure);
    }

    // Another call needs the connection: the rest of this answer is read now
    // and kept, for whoever reads the packet later.
    void settle()
    {
        if (!m_client || m_failure)
            return;
        QByteArray rest = m_first.mid(m_offset);
        QString detail;
        const HttpClient::Error error = m_client->ReadRest(rest, &detail);
        if (error != HttpClient::Error::None)
            m_failure = transportFailure(error, detail, m_where, m_method, m_connectTimeoutMs, m_readTimeoutMs);
        m_first = std::move(rest);
        m_offset = 0;
        m_client.reset();
    }

    // The connection was closed by its owner: what is left of the answer is lost.
    void abandon()
    {
        if (!m_client)
            return;
        m_client->Abort();
        m_client.reset();
        if (!m_failure)
            m_failure = transportFailure(HttpClient::Error::Dropped, {}, m_where, m_method, m_connectTimeoutMs,
                                         m_readTimeoutMs);
    }

private:
    std::shared_ptr<HttpClient> m_client; // set while the answer's body is still to be read
    QByteArray m_first;
    qsizetype m_offset = 0;
    std::exception_ptr m_failure;
    QString m_where, m_method;
    int m_connectTimeoutMs, m_readTimeoutMs;
    std::function<void()> m_hook;
    int m_hookIntervalMs;
};

TServerResult TAppServer::Call(const QString& method, std::initializer_list<TRemoteArg> args)
{
    return m_connection.call(method, TRemoteArgs(args));
}

TServerResult TAppServer::Call(const QString& method, const TRemoteArgs& args)
{
    return m_connection.call(method, args);
}

TSentCall TAppServer::Send(const QString& method, const TRemoteArgs& args)
{
    return m_connection.send(method, args);
}

TServerResult TSentCall::Take()
{
    if (!m_state || m_state->taken)
        throw Exception(QStringLiteral("Nenhuma chamada ao servidor de aplicação aguarda resposta."));
    State& sent = *m_state;
    sent.taken = true;
    TServerResult answer;
    if (sent.settled) {
        if (sent.failure)
            std::rethrow_exception(sent.failure);
        answer = std::move(sent.answer);
    } else {
        answer = sent.connection->take(sent);
    }
    return sent.connection->concludeCall(sent.method, sent.args, std::move(answer));
}

TSocketConnection::TSocketConnection(QObject* owner) : QObject(owner)
{
}

// Closing here fires no events: the handlers belong to a form that is being
// destroyed. A call sent and not taken is lost with the connection.
TSocketConnection::~TSocketConnection()
{
    if (const auto sent = m_sent.lock(); sent && !sent->settled) {
        sent->settled = true;
        sent->failure =
            transportFailure(HttpClient::Error::Dropped, {}, Address(), sent->method, ConnectTimeoutMs, ReadTimeoutMs);
    }
}

QString TSocketConnection::Address() const
{
    return QStringLiteral("%1:%2").arg(Host).arg(Port);
}

// A connection whose answer failed while a data set read it is closed, as
// one whose call failed: the next call opens it again.
bool TSocketConnection::Connected() const
{
    return m_client != nullptr && !m_client->Failed();
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
    if (Connected())
        return;
    m_client.reset();
    if (BeforeConnect)
        BeforeConnect(this);
    if (Host.trimmed().isEmpty())
        throw EConnectionError(QStringLiteral("O endereço do servidor de aplicação não foi informado."));
    if (Port <= 0 || Port > 65535)
        throw EConnectionError(QStringLiteral("Porta inválida para o servidor de aplicação: %1.").arg(Port));

    m_client = std::make_shared<HttpClient>(Host.trimmed().toUtf8(), Port, ConnectTimeoutMs, ReadTimeoutMs);
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
        throw EConnectionError(QStringLiteral("O servidor de aplicação em %1 não está disponível (HTTP %2%3).")
                                   .arg(Address())
                                   .arg(health.status)
                                   .arg(reason.isEmpty() ? QString() : QStringLiteral(": ") + reason.left(200)));
    }
    if (AfterConnect)
        AfterConnect(this);
}

HttpClient::Error TSocketConnection::exchange(const char* verb, const QByteArray& path, const QByteArray& body,
                                              HttpClient::Response& response, QString* detail, bool whole)
{
    try {
        return whole ? m_client->Request(verb, path, body, response, detail)
                     : m_client->Start(verb, path, body, response, detail);
    } catch (...) {
        // Only the waiting hook throws here; what was half exchanged is lost
        // with the socket, and the next call connects again.
        m_client.reset();
        throw;
    }
}

void TSocketConnection::Close()
{
    const bool connected = Connected();
    if (const auto sent = m_sent.lock(); sent && !sent->settled) {
        sent->settled = true;
        sent->failure =
            transportFailure(HttpClient::Error::Dropped, {}, Address(), sent->method, ConnectTimeoutMs, ReadTimeoutMs);
    }
    m_sent.reset();
    if (const auto pending = m_pending.lock())
        pending->abandon();
    if (!connected) {
        m_client.reset();
        return;
    }
    if (BeforeDisconnect)
        BeforeDisconnect(this);
    m_client.reset();
    if (AfterDisconnect)
        AfterDisconnect(this);
}

void TSocketConnection::failTransport(int error, const QString& detail, const QString& method)
{
    m_client.reset();
    std::rethrow_exception(transportFailure(static_cast<HttpClient::Error>(error), detail, Address(), method,
                                            ConnectTimeoutMs, ReadTimeoutMs));
}

void TSocketConnection::failMalformed(const QString& method, const QString& detail)
{
    m_client.reset();
    throw EConnectionError(QStringLiteral("Resposta inválida do servidor de aplicação em %1 à chamada de %2: %3.")
                               .arg(Address(), method, detail));
}

TServerResult TSocketConnection::call(const QString& method, const TRemoteArgs& args)
{
    return concludeCall(method, args, callOnce(method, args));
}

TServerResult TSocketConnection::concludeCall(const QString& method, const TRemoteArgs& args, TServerResult answer)
{
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
    const std::int64_t id = sendRequest(method, args);
    return receiveAnswer(method, id);
}

TSentCall TSocketConnection::send(const QString& method, const TRemoteArgs& args)
{
    auto state = std::make_shared<TSentCall::State>();
    state->connection = this;
    state->method = method;
    state->args = args;
    state->id = sendRequest(method, args);
    m_sent = state;
    TSentCall sent;
    sent.m_state = std::move(state);
    return sent;
}

TServerResult TSocketConnection::take(TSentCall::State& sent)
{
    m_sent.reset();
    return receiveAnswer(sent.method, sent.id);
}

void TSocketConnection::settlePending()
{
    if (const auto sent = m_sent.lock(); sent && !sent->settled) {
        m_sent.reset();
        sent->settled = true;
        try {
            sent->answer = receiveAnswer(sent->method, sent->id);
        } catch (...) {
            sent->failure = std::current_exception();
        }
    }
    m_sent.reset();
    // An answer handed over before and not read to its end still holds the
    // connection: its rest is read first, for whoever reads it later.
    if (const auto pending = m_pending.lock())
        pending->settle();
    m_pending.reset();
}

std::int64_t TSocketConnection::sendRequest(const QString& method, const TRemoteArgs& args)
{
    settlePending();
    Open();
    m_client->SetAuthorization(SessionToken ? (SessionToken().isEmpty() ? QByteArray() : "Bearer " + SessionToken())
                                            : QByteArray());
    m_client->SetAccept(CompactAnswers ? QByteArrayLiteral("application/cbor, application/json;q=0.5") : QByteArray());
    m_client->SetExtraHeaders(ExtraHeaders);
    const std::int64_t id = ++m_nextId;
    const QByteArray request = jsonrpc::EncodeRequest(id, method, args);

    m_client->SetWaitHook(OnWaiting, WaitingIntervalMs);
    m_client->SetIoTimeout(ReadTimeoutMs);
    QString detail;
    HttpClient::Error error = HttpClient::Error::None;
    try {
        error = m_client->Send("POST", '/' + ServerName.toUtf8(), request, &detail);
    } catch (...) {
        // Only the waiting hook throws here; what was half exchanged is lost
        // with the socket, and the next call connects again.
        m_client.reset();
        throw;
    }
    if (error != HttpClient::Error::None)
        failTransport(int(error), detail, method);
    return id;
}

TServerResult TSocketConnection::receiveAnswer(const QString& method, std::int64_t id)
{
    if (!m_client || !m_client->AnswerPending())
        failTransport(int(HttpClient::Error::Dropped), QString(), method);
    HttpClient::Response response;
    QString detail;
    HttpClient::Error error = HttpClient::Error::None;
    try {
        error = CompactAnswers ? m_client->ReceiveHead("POST", response, &detail)
                               : m_client->Receive("POST", response, &detail);
    } catch (...) {
        m_client.reset();
        throw;
    }
    if (error != HttpClient::Error::None)
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
    if (cbor)
        return readCborAnswer(method, id, response);
    if (m_client->BodyPending()) {
        if (const auto error = m_client->ReadRest(response.body, &detail); error != HttpClient::Error::None)
            failTransport(int(error), detail, method);
    }
    try {
        return jsonrpc::DecodeAnswer(std::move(response.body), id);
    } catch (const EMalformedAnswer& e) {
        failMalformed(method, e.Message());
    }
}

// A large answer is handed over once its envelope has been read: the caller
// (a data set) reads the packet as it arrives. Anything smaller, and anything
// not shaped so, is read whole first.
TServerResult TSocketConnection::readCborAnswer(const QString& method, std::int64_t id, HttpClient::Response& response)
{
    QString detail;
    const auto readMore = [&](QByteArray& into, qsizetype room) {
        const qsizetype old = into.size();
        into.resize(old + room);
        qsizetype got = 0;
        const auto error = m_client->ReadBody(into.data() + old, room, got, &detail);
        into.resize(old + got);
        if (error != HttpClient::Error::None)
            failTransport(int(error), detail, method);
        return got;
    };
    if (m_client->BodyChunked() || m_client->BodyLeft() > StreamAnswersFrom) {
        QByteArray head;
        try {
            for (;;) {
                if (readMore(head, 64 * 1024) == 0)
                    break; // the whole answer is in: read below
                const jsonrpc::CborAnswerHead found = jsonrpc::ReadCborAnswerHead(head, id);
                if (!found.complete)
                    continue;
                if (!found.packetFollows)
                    break;
                m_client->SetWaitHook(OnLoading, WaitingIntervalMs);
                auto stream =
                    std::make_shared<AnswerStream>(m_client, head.mid(qsizetype(found.packetAt)), *this, method);
                m_pending = stream;
                TServerResult answer;
                answer.Ok = true;
                answer.Packet = ServerPacket(std::move(stream));
                return answer;
            }
        } catch (const EMalformedAnswer& e) {
            failMalformed(method, e.Message());
        }
        response.body = std::move(head);
    }
    if (m_client->BodyPending()) {
        if (const auto error = m_client->ReadRest(response.body, &detail); error != HttpClient::Error::None)
            failTransport(int(error), detail, method);
    }
    try {
        return jsonrpc::DecodeCborAnswer(std::move(response.body), id);
    } catch (const EMalformedAnswer& e) {
        failMalformed(method, e.Message());
    }
}

} // namespace trd
