#include "TSocketConnection.h"

#include <httplib.h>

#include <QElapsedTimer>

namespace trd {

struct TSocketConnection::Client {
    Client(const std::string& host, int port) : http(host, port) {}
    httplib::Client http;
};

namespace {

constexpr const char* kJson = "application/json";

// Millisecond timeouts for httplib, which takes seconds and microseconds.
template <typename Setter>
void applyTimeout(int ms, Setter set)
{
    const int clamped = ms > 0 ? ms : 1;
    set(clamped / 1000, (clamped % 1000) * 1000);
}

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

    auto client = std::make_unique<Client>(Host.trimmed().toStdString(), Port);
    httplib::Client& http = client->http;
    http.set_keep_alive(true);
    http.set_tcp_nodelay(true);
    applyTimeout(ConnectTimeoutMs, [&](time_t s, time_t us) { http.set_connection_timeout(s, us); });
    applyTimeout(ReadTimeoutMs, [&](time_t s, time_t us) { http.set_read_timeout(s, us); });
    applyTimeout(ReadTimeoutMs, [&](time_t s, time_t us) { http.set_write_timeout(s, us); });

    // Connecting proves that the server is there and can reach its database,
    // so a wrong address is reported when the form opens, not at the first call.
    QElapsedTimer clock;
    clock.start();
    const httplib::Result health = http.Get("/health", {{"Accept-Encoding", "identity"}});
    if (!health)
        failTransport(static_cast<int>(health.error()), clock.elapsed());
    if (health->status != 200) {
        const QString reason = QString::fromUtf8(health->body.data(), qsizetype(health->body.size())).trimmed();
        throw EConnectionError(
            QStringLiteral("O servidor de aplicação em %1 não está disponível (HTTP %2%3).")
                .arg(Address())
                .arg(health->status)
                .arg(reason.isEmpty() ? QString() : QStringLiteral(": ") + reason.left(200)));
    }
    m_client = std::move(client);
    if (AfterConnect)
        AfterConnect(this);
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

void TSocketConnection::failTransport(int httplibError, qint64 elapsedMs)
{
    m_client.reset();
    const QString where = Address();
    switch (static_cast<httplib::Error>(httplibError)) {
    case httplib::Error::Connection:
        throw EConnectionError(
            QStringLiteral("Não foi possível conectar ao servidor de aplicação em %1. "
                           "Verifique se o servidor está em execução e se o endereço está correto.")
                .arg(where));
    case httplib::Error::ConnectionTimeout:
        throw EConnectionError(
            QStringLiteral("O servidor de aplicação em %1 não aceitou a conexão em %2 segundos.")
                .arg(where, seconds(ConnectTimeoutMs)));
    case httplib::Error::Read:
    case httplib::Error::Write:
        // httplib reports a read timeout as a read failure; the clock tells them apart.
        if (elapsedMs >= qint64(ReadTimeoutMs) * 9 / 10)
            throw EConnectionError(
                QStringLiteral("O servidor de aplicação em %1 não respondeu em %2 segundos.")
                    .arg(where, seconds(ReadTimeoutMs)));
        throw EConnectionError(
            QStringLiteral("A conexão com o servidor de aplicação em %1 foi interrompida.").arg(where));
    default:
        throw EConnectionError(
            QStringLiteral("Falha de comunicação com o servidor de aplicação em %1 (%2).")
                .arg(where, QString::fromStdString(httplib::to_string(static_cast<httplib::Error>(httplibError)))));
    }
}

TServerResult TSocketConnection::call(const QString& method, const TRemoteArgs& args)
{
    Open();
    const std::int64_t id = ++m_nextId;
    const QByteArray request = jsonrpc::EncodeRequest(id, method, args);

    httplib::Request req;
    req.method = "POST";
    req.path = "/" + ServerName.toStdString();
    req.headers = {{"Content-Type", kJson}, {"Accept-Encoding", "identity"}};
    req.body.assign(request.constData(), size_t(request.size()));

    // The answer goes straight into one buffer sized by Content-Length: a whole
    // language is tens of megabytes and must not be copied on the way.
    QByteArray body;
    int status = 0;
    bool json = false;
    req.response_handler = [&](const httplib::Response& response) {
        status = response.status;
        json = response.get_header_value("Content-Type").rfind(kJson, 0) == 0;
        const auto length = response.get_header_value<uint64_t>("Content-Length");
        if (length > 0 && length < (uint64_t(1) << 31))
            body.reserve(qsizetype(length));
        return true;
    };
    req.content_receiver = [&](const char* data, size_t size, uint64_t, uint64_t) {
        body.append(data, qsizetype(size));
        return true;
    };

    QElapsedTimer clock;
    clock.start();
    const httplib::Result result = m_client->http.send(req);
    if (!result)
        failTransport(static_cast<int>(result.error()), clock.elapsed());
    if (!json) {
        m_client.reset();
        throw EConnectionError(
            QStringLiteral("O servidor de aplicação em %1 respondeu de forma inesperada (HTTP %2) à chamada de %3.")
                .arg(Address())
                .arg(status)
                .arg(method));
    }

    TServerResult answer;
    try {
        answer = jsonrpc::DecodeAnswer(std::move(body), id);
    } catch (const EMalformedAnswer& e) {
        m_client.reset();
        throw EConnectionError(
            QStringLiteral("Resposta inválida do servidor de aplicação em %1 à chamada de %2: %3.")
                .arg(Address(), method, e.Message()));
    }
    if (!answer.Ok && ThrowException)
        throw EServerError(answer.ErrorMessage, answer.ErrorCode);
    return answer;
}

} // namespace trd
