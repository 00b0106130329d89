// What a service manager, a load balancer and a metrics scraper ask: GET
// /healthz (the process and its event loop are alive: answered on the
// connection's strand, no worker), GET /readyz (it serves calls: a worker
// reads the database), GET /metrics (Prometheus text).
#include "HttpSession.h"

namespace trd::server {

namespace asio = boost::asio;

namespace {

bool isLoopbackPeer(std::string_view address)
{
    return address.rfind("127.", 0) == 0 || address == "::1" || address.rfind("::ffff:127.", 0) == 0;
}

// Compared in a time that does not tell how much of it matched.
bool sameSecret(std::string_view given, std::string_view expected)
{
    unsigned char differ = given.size() == expected.size() ? 0 : 1;
    for (std::size_t i = 0; i < given.size(); ++i)
        differ |= static_cast<unsigned char>(given[i] ^ expected[i % std::max<std::size_t>(1, expected.size())]);
    return differ == 0 && !expected.empty();
}

} // namespace

template <class Stream>
void HttpSession<Stream>::alive(unsigned version, bool keepAlive)
{
    Response res{http::status::ok, version};
    res.set(http::field::content_type, "text/plain; charset=utf-8");
    res.body() = "OK\n";
    send(std::move(res), keepAlive, false);
}

template <class Stream>
void HttpSession<Stream>::ready(unsigned version, bool keepAlive)
{
    ++m_server.inFlight;
    asio::post(m_server.workers, [self = self(), version, keepAlive] {
        const bool serving = self->m_server.serving.load() && !self->m_server.stopping.load();
        const HealthReport report = self->m_server.health.check();
        const bool ready = serving && report.answers;
        Response res{ready ? http::status::ok : http::status::service_unavailable, version};
        res.set(http::field::content_type, "text/plain; charset=utf-8");
        res.body() = ready ? "OK\n" : !serving ? "O servidor está sendo encerrado.\n" : report.body;
        asio::post(self->m_stream.get_executor(),
                   [self, res = std::move(res), keepAlive]() mutable { self->send(std::move(res), keepAlive, true); });
    });
}

template <class Stream>
void HttpSession<Stream>::metrics(const Request& req, bool keepAlive)
{
    const unsigned version = req.version();
    const std::string_view authorization = viewOf(req[http::field::authorization]);
    const std::string_view bearer = "Bearer ";
    const bool tokenGiven = authorization.substr(0, bearer.size()) == bearer;
    const bool allowed = isLoopbackPeer(address())
        || (tokenGiven && sameSecret(authorization.substr(bearer.size()), options().metricsToken));
    if (!allowed) {
        m_server.metrics.countRefusal(RefusalKind::Request);
        log("metrics", 0, tokenGiven ? "recusado: token errado" : "recusado: fora deste computador e sem token");
        Response res{http::status::forbidden, version};
        res.set(http::field::content_type, "text/plain; charset=utf-8");
        res.body() = "As métricas só são lidas deste computador ou com o token de --metrics-token.\n";
        return send(std::move(res), keepAlive, false);
    }
    ++m_server.inFlight;
    asio::post(m_server.workers, [self = self(), version, keepAlive] {
        ServerShared& server = self->m_server;
        std::string text = server.metrics.render();
        text += "# HELP trd_open_connections Client connections open now.\n# TYPE trd_open_connections gauge\n"
                "trd_open_connections "
            + std::to_string(server.connections.total()) + "\n";
        text += "# HELP trd_feed_waiting Requests for changes waiting for a colleague's save now.\n"
                "# TYPE trd_feed_waiting gauge\ntrd_feed_waiting "
            + std::to_string(server.waiting.total()) + "\n";
        text += "# HELP trd_calls_in_flight Calls being run or answered now.\n# TYPE trd_calls_in_flight gauge\n"
                "trd_calls_in_flight "
            + std::to_string(std::max(0, server.inFlight.load() - 1)) + "\n";
        if (server.metricsSource)
            text += server.metricsSource();
        Response res{http::status::ok, version};
        res.set(http::field::content_type, "text/plain; version=0.0.4; charset=utf-8");
        res.body() = std::move(text);
        asio::post(self->m_stream.get_executor(),
                   [self, res = std::move(res), keepAlive]() mutable { self->send(std::move(res), keepAlive, true); });
    });
}

template class HttpSession<PlainStream>;
template class HttpSession<TlsStream>;

} // namespace trd::server
