#include "HttpServer.h"

#include "HttpSession.h"
#include "Log.h"
#include "RpcError.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

namespace trd::server {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

std::unique_ptr<asio::ssl::context> tlsContext(const HttpOptions& options)
{
    if (options.tlsCertFile.empty())
        return nullptr;
    auto tls = std::make_unique<asio::ssl::context>(asio::ssl::context::tls_server);
    tls->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2
                     | asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 | asio::ssl::context::no_tlsv1_1
                     | asio::ssl::context::single_dh_use);
    beast::error_code ec;
    tls->use_certificate_chain_file(options.tlsCertFile, ec);
    if (ec)
        throw std::runtime_error("não foi possível usar o certificado " + options.tlsCertFile + ": " + ec.message());
    tls->use_private_key_file(options.tlsKeyFile, asio::ssl::context::pem, ec);
    if (ec)
        throw std::runtime_error("não foi possível usar a chave privada " + options.tlsKeyFile + ": " + ec.message());
    return tls;
}

// A connection over a limit gets a short answer written without waiting
// (the socket buffer of a fresh connection takes it) and is closed.
void turnAway(tcp::socket& socket, const std::string& message)
{
    const std::string body = RpcHandler::errorBody(rpc::InvalidRequest, message);
    const std::string answer = "HTTP/1.1 503 Service Unavailable\r\nContent-Type: " + std::string(JsonType)
        + "\r\nConnection: close\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    beast::error_code ec;
    socket.non_blocking(true, ec);
    socket.write_some(asio::buffer(answer), ec);
    socket.shutdown(tcp::socket::shutdown_both, ec);
    socket.close(ec);
}

} // namespace

ServerShared::ServerShared(RpcHandler& h, HealthProbe& p, HttpOptions o)
    : handler(h), health(p), options(std::move(o)), hosts(options.host, options.serverNames),
      bodies(options.bodyMemory), waiting(options.maxPerAddress), readerWaits(std::max(1, options.threads) / 2),
      connections(options.maxConnections, options.maxPerAddress), tls(tlsContext(options)),
      workers(static_cast<std::size_t>(std::max(1, options.threads)))
{
}

FramingLimits ServerShared::framing() const
{
    return {options.maxHeaderBytes, options.maxHeaderCount, options.maxBody};
}

void ServerShared::log(std::string_view peer, std::string_view user, std::string_view method, double ms,
                       std::string_view what, LogLevel level) const
{
    char took[32];
    std::snprintf(took, sizeof took, " %.3f ms ", ms);
    logLine(level,
            logValue(peer, 64) + " " + logValue(user, 64) + " " + logValue(method, 64) + took + logValue(what, 300));
}

struct HttpServer::Impl : ServerShared {
    using ServerShared::ServerShared;
    ~Impl()
    {
        stopping = true;
        ioc.stop();
        workers.stop();
        workers.join();
    }

    void accept();
    void onAccepted(beast::error_code ec, tcp::socket socket);
    void admit(tcp::socket socket);

    std::string error;
    // Held while the server serves. A call runs on a worker, with nothing of
    // its connection waiting in the loop: without this, a stop that closed
    // the acceptor while the only calls were on workers would leave the loop
    // with no work, and the loop would end before their answers were
    // written. stop() would then wait out its whole deadline for them.
    std::mutex runningMutex;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> running;
    tcp::acceptor acceptor{asio::make_strand(ioc)};
    asio::steady_timer acceptRetry{acceptor.get_executor()};
};

void HttpServer::Impl::accept()
{
    acceptor.async_accept(asio::make_strand(ioc),
                          [this](beast::error_code ec, tcp::socket socket) { onAccepted(ec, std::move(socket)); });
}

void HttpServer::Impl::onAccepted(beast::error_code ec, tcp::socket socket)
{
    if (ec == asio::error::operation_aborted || !acceptor.is_open())
        return;
    if (ec) {
        // Out of descriptors: leave the connection in the backlog a moment.
        if (options.log)
            log("-", "-", "-", 0, "accept falhou: " + ec.message(), LogLevel::Error);
        acceptRetry.expires_after(std::chrono::milliseconds(50));
        acceptRetry.async_wait([this](beast::error_code) { accept(); });
        return;
    }
    admit(std::move(socket));
    accept();
}

void HttpServer::Impl::admit(tcp::socket socket)
{
    beast::error_code ec;
    const auto remote = socket.remote_endpoint(ec);
    if (ec)
        return;
    std::string address = remote.address().to_string();
    ConnectionTable::Admission admission = connections.admit(address);
    if (!admission.refusal.empty()) {
        metrics.countRefusal(RefusalKind::Connection);
        if (options.log)
            log(address, "-", "-", 0, "conexão recusada: " + admission.refusal, LogLevel::Warning);
        turnAway(socket, admission.refusal);
        return;
    }
    if (admission.evicted)
        admission.evicted->evict();
    socket.set_option(tcp::no_delay(true), ec);
    if (tls) {
        std::make_shared<HttpSession<TlsStream>>(*this, TlsStream(beast::tcp_stream(std::move(socket)), *tls),
                                                 std::move(address))
            ->start();
    } else {
        std::make_shared<HttpSession<PlainStream>>(*this, PlainStream(std::move(socket)), std::move(address))->start();
    }
}

HttpServer::HttpServer(RpcHandler& handler, HealthProbe& health, HttpOptions options)
    : m_impl(std::make_unique<Impl>(handler, health, std::move(options)))
{
}

HttpServer::~HttpServer() = default;

int HttpServer::bind()
{
    Impl& s = *m_impl;
    beast::error_code ec;
    tcp::resolver resolver(s.ioc);
    const auto results = resolver.resolve(s.options.host, std::to_string(s.options.port),
                                          tcp::resolver::passive | tcp::resolver::numeric_service, ec);
    if (ec || results.empty()) {
        s.error = "endereço de escuta inválido: " + s.options.host + " (" + ec.message() + ")";
        return -1;
    }
    const tcp::endpoint endpoint = results.begin()->endpoint();
    s.acceptor.open(endpoint.protocol(), ec);
    // SO_REUSEADDR lets a restarted server bind past old TIME_WAIT
    // connections; without SO_REUSEPORT a port taken by a live listener stays
    // refused, so two servers never share one port.
    if (!ec)
        s.acceptor.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec)
        s.acceptor.bind(endpoint, ec);
    if (ec == asio::error::address_in_use) {
        s.error = "a porta " + std::to_string(s.options.port) + " de " + s.options.host
            + " já está em uso por outro programa (outro trd-server?)";
        return -1;
    }
    if (!ec)
        s.acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        s.error = "não foi possível escutar em " + s.options.host + ":" + std::to_string(s.options.port) + ": "
            + ec.message();
        return -1;
    }
    return s.acceptor.local_endpoint().port();
}

const std::string& HttpServer::error() const
{
    return m_impl->error;
}

void HttpServer::setFeed(feed::ChangeFeed& feed)
{
    m_impl->feed = &feed;
}

bool HttpServer::serve(std::function<void()> serving)
{
    Impl& s = *m_impl;
    if (!s.acceptor.is_open())
        return false;
    asio::post(s.acceptor.get_executor(), [&s, serving = std::move(serving)] {
        s.accept();
        s.serving = true;
        if (serving)
            serving();
    });
    {
        std::lock_guard lock(s.runningMutex);
        if (!s.stopping)
            s.running.emplace(s.ioc.get_executor());
    }
    // One more loop thread keeps TLS handshakes and large writes from
    // queueing behind each other; the calls run on the workers anyway.
    std::thread second([&s] { s.ioc.run(); });
    s.ioc.run();
    second.join();
    return true;
}

void HttpServer::setMetricsSource(std::function<std::string()> source)
{
    m_impl->metricsSource = std::move(source);
}

bool HttpServer::roundTrip(std::chrono::milliseconds timeout)
{
    Impl& s = *m_impl;
    if (s.stopping || !s.serving)
        return false;
    // A handler the loop drops unrun (it is stopping) breaks the promise:
    // that is no answer either.
    auto back = std::make_shared<std::promise<void>>();
    std::future<void> answered = back->get_future();
    asio::post(s.ioc,
               [&s, back] { asio::post(s.workers, [&s, back] { asio::post(s.ioc, [back] { back->set_value(); }); }); });
    if (answered.wait_for(timeout) != std::future_status::ready)
        return false;
    try {
        answered.get();
        return true;
    } catch (const std::future_error&) {
        return false;
    }
}

bool HttpServer::reloadTls(std::string& error)
{
    Impl& s = *m_impl;
    if (s.options.tlsCertFile.empty()) {
        error = "o servidor não atende com TLS";
        return false;
    }
    std::shared_ptr<asio::ssl::context> fresh;
    try {
        fresh = tlsContext(s.options);
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    // Swapped on the acceptor's strand, where new connections take it.
    asio::post(s.acceptor.get_executor(), [&s, fresh]() mutable {
        s.retiredTls.push_back(std::move(s.tls));
        s.tls = std::make_unique<asio::ssl::context>(std::move(*fresh));
    });
    return true;
}

void HttpServer::stop()
{
    Impl& s = *m_impl;
    s.serving = false;
    asio::post(s.acceptor.get_executor(), [&s] {
        beast::error_code ignored;
        s.acceptor.close(ignored);
        s.acceptRetry.cancel();
    });
    // Requests waiting for changes are answered now; calls in flight finish
    // and their answers go out; connections waiting for a next request are
    // simply dropped with the loop.
    if (s.feed)
        s.feed->stop();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (s.inFlight.load() > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    {
        std::lock_guard lock(s.runningMutex);
        s.stopping = true;
        s.running.reset();
    }
    s.ioc.stop();
}

} // namespace trd::server
