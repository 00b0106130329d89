#include "HttpSession.h"

#include "RpcError.h"

#include <algorithm>
#include <utility>

namespace trd::server {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

template <class Stream>
HttpSession<Stream>::HttpSession(ServerShared& server, Stream stream, std::string address)
    : CountedConnection(std::move(address)), m_server(server), m_stream(std::move(stream)),
      m_feedWait(m_stream.get_executor()), m_budgetWait(lowest().get_executor())
{
}

template <class Stream>
HttpSession<Stream>::~HttpSession()
{
    if (m_feedState && m_feedState->held)
        m_server.waiting.give(address());
    if (m_feedStream && m_feedStream->held)
        m_server.waiting.give(address());
    if (m_answerHeld)
        m_server.bodies.release(m_answerHeld);
    releaseBodyMemory();
    m_server.connections.release(*this);
}

template <class Stream>
void HttpSession<Stream>::evict()
{
    asio::post(m_stream.get_executor(), [self = self()] {
        self->log("-", 0, "conexão ociosa fechada para dar lugar a uma nova do mesmo endereço");
        self->close();
    });
}

template <class Stream>
void HttpSession<Stream>::start()
{
    if constexpr (std::is_same_v<Stream, PlainStream>) {
        readNext();
    } else {
        // The first bytes say whether the client speaks TLS at all (a
        // handshake record starts with 0x16): one that sends plain HTTP to
        // this port is told so in plain HTTP, rather than left with a closed
        // connection it cannot explain. The bytes read go to the handshake.
        lowest().expires_after(std::chrono::milliseconds(options().requestTimeoutMs));
        lowest().async_read_some(m_buffer.prepare(4096),
                                 [self = self()](beast::error_code ec, std::size_t n) { self->onSniffed(ec, n); });
    }
}

template <class Stream>
void HttpSession<Stream>::onSniffed(beast::error_code ec, std::size_t n)
{
    if constexpr (std::is_same_v<Stream, TlsStream>) {
        if (ec)
            return close();
        m_buffer.commit(n);
        if (*static_cast<const unsigned char*>(m_buffer.data().data()) != 0x16)
            return refusePlainHttp();
        m_stream.async_handshake(
            asio::ssl::stream_base::server, m_buffer.data(),
            [self = self()](beast::error_code ec2, std::size_t used) { self->onHandshake(ec2, used); });
    }
}

template <class Stream>
void HttpSession<Stream>::onHandshake(beast::error_code ec, std::size_t used)
{
    if (ec)
        return close();
    m_buffer.consume(used);
    readNext();
}

// Waits for the first byte of the next request under the idle deadline; the
// whole request then has to arrive within the request deadline.
template <class Stream>
void HttpSession<Stream>::readNext()
{
    if (m_buffer.size() > 0)
        return readRequest();
    lowest().expires_after(std::chrono::milliseconds(options().idleTimeoutMs));
    m_server.connections.markIdle(*this);
    m_stream.async_read_some(m_buffer.prepare(4096),
                             [self = self()](beast::error_code ec, std::size_t n) { self->onFirstBytes(ec, n); });
}

template <class Stream>
void HttpSession<Stream>::onFirstBytes(beast::error_code ec, std::size_t n)
{
    m_server.connections.markBusy(*this);
    if (ec)
        return close();
    m_buffer.commit(n);
    readRequest();
}

template <class Stream>
void HttpSession<Stream>::readRequest()
{
    m_parser.emplace();
    m_parser->header_limit(static_cast<std::uint32_t>(options().maxHeaderBytes));
    m_parser->body_limit(options().maxBody);
    lowest().expires_after(std::chrono::milliseconds(options().requestTimeoutMs));
    m_scanned = 0;
    gatherHeader();
}

template <class Stream>
void HttpSession<Stream>::gatherHeader()
{
    const std::string_view buffered(static_cast<const char*>(m_buffer.data().data()), m_buffer.size());
    const HeadScan scan = scanHead(buffered, m_scanned, options().maxHeaderBytes);
    switch (scan.state) {
    case HeadScan::State::NotARequest:
        return failRead(http::error::bad_method);
    case HeadScan::State::TooLarge:
        return failRead(http::error::header_limit);
    case HeadScan::State::Folded:
        return refuse(http::status::bad_request, scan.refusal);
    case HeadScan::State::Complete:
        return http::async_read_header(m_stream, m_buffer, *m_parser,
                                       [self = self()](beast::error_code ec, std::size_t) { self->onHeader(ec); });
    case HeadScan::State::NeedMore:
        break;
    }
    m_scanned = scan.scanned;
    m_stream.async_read_some(m_buffer.prepare(4096), [self = self()](beast::error_code ec, std::size_t n) {
        if (ec)
            return self->failRead(ec);
        self->m_buffer.commit(n);
        self->gatherHeader();
    });
}

template <class Stream>
void HttpSession<Stream>::onHeader(beast::error_code ec)
{
    if (ec)
        return failRead(ec);
    if (const auto refusal = headRefusal(m_parser->get(), m_server.framing()))
        return refuse(refusal->status, refusal->message);
    // Its share of the memory for bodies is reserved before the body is read
    // (and before a client waiting for "100 Continue" is told to send it):
    // the whole share when the length is announced, a first part for a
    // chunked body, which reserves more as it grows.
    reserveThen(firstShare(m_parser->is_done(), announcedLength(m_parser->content_length())),
                [self = self()] { self->continueThenRead(); });
}

// Runs next once the request holds at least `cost` of the body memory; while
// it waits its turn the body stays unread. Waiting longer than the request
// time limit gets 503.
template <class Stream>
void HttpSession<Stream>::reserveThen(std::size_t cost, std::function<void()> next)
{
    if (cost <= m_reserved)
        return next();
    if (cost > m_server.bodies.total())
        return refuse(http::status::service_unavailable, budgetRefusal());
    const std::size_t more = cost - m_reserved;
    const std::uint64_t ticket = m_server.bodies.acquire(more, [self = self(), more, next] {
        asio::post(self->lowest().get_executor(), [self, more, next] { self->onBudgetGranted(more, next); });
    });
    if (ticket == 0) {
        m_reserved += more;
        return next();
    }
    m_budgetTicket = ticket;
    m_budgetWait.expires_after(std::chrono::milliseconds(options().requestTimeoutMs));
    m_budgetWait.async_wait([self = self(), ticket](beast::error_code ec) { self->onBudgetWaitOver(ec, ticket); });
}

template <class Stream>
void HttpSession<Stream>::onBudgetGranted(std::size_t more, const std::function<void()>& next)
{
    m_budgetTicket = 0;
    m_budgetWait.cancel();
    m_reserved += more;
    next();
}

template <class Stream>
void HttpSession<Stream>::onBudgetWaitOver(beast::error_code ec, std::uint64_t ticket)
{
    if (ec || m_budgetTicket != ticket || !m_server.bodies.cancel(ticket))
        return; // granted meanwhile
    m_budgetTicket = 0;
    refuse(http::status::service_unavailable, budgetRefusal());
}

template <class Stream>
std::string HttpSession<Stream>::budgetRefusal() const
{
    return "O servidor está recebendo requisições grandes demais ao mesmo tempo (limite de "
        + std::to_string(m_server.bodies.total() >> 20) + " MiB em andamento); tente de novo em instantes.";
}

template <class Stream>
void HttpSession<Stream>::releaseBodyMemory()
{
    if (m_budgetTicket)
        m_server.bodies.cancel(std::exchange(m_budgetTicket, 0));
    if (m_reserved)
        m_server.bodies.release(std::exchange(m_reserved, 0));
}

template <class Stream>
void HttpSession<Stream>::continueThenRead()
{
    const auto& req = m_parser->get();
    if (lowerAscii(viewOf(req[http::field::expect])) == "100-continue") {
        auto cont = std::make_shared<http::response<http::empty_body>>(http::status::continue_, req.version());
        return http::async_write(m_stream, *cont, [self = self(), cont](beast::error_code ec, std::size_t) {
            if (ec)
                return self->close();
            self->readBody();
        });
    }
    readBody();
}

template <class Stream>
void HttpSession<Stream>::readBody()
{
    if (m_parser->is_done())
        return onRequest();
    if (m_parser->content_length())
        return http::async_read(m_stream, m_buffer, *m_parser, [self = self()](beast::error_code ec, std::size_t) {
            if (ec)
                return self->failRead(ec);
            self->onRequest();
        });
    http::async_read_some(m_stream, m_buffer, *m_parser,
                          [self = self()](beast::error_code ec, std::size_t) { self->onBodyPart(ec); });
}

// A chunked body: its share grows with it.
template <class Stream>
void HttpSession<Stream>::onBodyPart(beast::error_code ec)
{
    if (ec)
        return failRead(ec);
    if (m_parser->is_done())
        return onRequest();
    reserveThen(grownShare(m_parser->get().body().size(), options().maxBody), [self = self()] { self->readBody(); });
}

template <class Stream>
void HttpSession<Stream>::failRead(beast::error_code ec)
{
    const ReadFailure failure = readFailure(ec, m_server.framing());
    switch (failure.action) {
    case ReadFailure::Action::TimedOut:
        log("-", 0,
            "conexão encerrada: requisição incompleta após " + std::to_string(options().requestTimeoutMs / 1000)
                + " s");
        return close();
    case ReadFailure::Action::Close:
        return close();
    case ReadFailure::Action::Refuse:
        return refuse(failure.refusal.status, failure.refusal.message);
    }
}

// Refusals close the connection: what follows in the stream cannot be trusted.
template <class Stream>
void HttpSession<Stream>::refuse(http::status status, const std::string& message)
{
    m_server.metrics.countRefusal(RefusalKind::Request);
    log("-", 0, "recusada " + std::to_string(static_cast<int>(status)) + ": " + message);
    Response res{status, 11};
    res.set(http::field::content_type, JsonType);
    res.keep_alive(false);
    res.body() = RpcHandler::errorBody(rpc::InvalidRequest, message);
    m_lingering = true;
    send(std::move(res), false, false);
}

// After a refusal the client may still be sending what was refused (a body
// over the limit); closing at once would reset the connection and lose the
// answer, so what follows is read and dropped, within bounds.
template <class Stream>
void HttpSession<Stream>::drainThenClose()
{
    beast::error_code ignored;
    lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
    lowest().expires_after(std::chrono::seconds(5));
    drain();
}

template <class Stream>
void HttpSession<Stream>::drain()
{
    m_buffer.consume(m_buffer.size());
    m_stream.async_read_some(m_buffer.prepare(64 * 1024), [self = self()](beast::error_code ec, std::size_t n) {
        self->m_drained += n;
        if (ec || self->m_drained > DrainLimit)
            return self->close();
        self->m_buffer.commit(n);
        self->drain();
    });
}

template <class Stream>
void HttpSession<Stream>::onRequest()
{
    auto req = m_parser->release();
    m_parser.reset();
    const bool keepAlive = req.keep_alive();
    RequestRoute route = routeRequest(req, m_server.hosts, m_server.feed != nullptr);
    switch (route.kind) {
    case RequestRoute::Kind::Health:
        return health(req.version(), keepAlive);
    case RequestRoute::Kind::Feed:
        return changes(std::move(req), route.query, keepAlive);
    case RequestRoute::Kind::Call:
        return call(std::move(req), keepAlive);
    case RequestRoute::Kind::Refused:
        return refuse(route.refusal.status, route.refusal.message);
    case RequestRoute::Kind::NotFound:
        break;
    case RequestRoute::Kind::Alive:
        return alive(req.version(), keepAlive);
    case RequestRoute::Kind::Ready:
        return ready(req.version(), keepAlive);
    case RequestRoute::Kind::Metrics:
        return metrics(req, keepAlive);
    }
    Response res{route.refusal.status, req.version()};
    res.set(http::field::content_type, JsonType);
    res.body() = RpcHandler::errorBody(rpc::MethodNotFound, route.refusal.message);
    log("-", 0, "objeto desconhecido " + route.path);
    send(std::move(res), keepAlive, false);
}

template <class Stream>
void HttpSession<Stream>::health(unsigned version, bool keepAlive)
{
    ++m_server.inFlight;
    asio::post(m_server.workers, [self = self(), version, keepAlive] {
        const auto start = Clock::now();
        const HealthReport report = self->m_server.health.check();
        Response res{report.ok ? http::status::ok : http::status::service_unavailable, version};
        res.set(http::field::content_type, "text/plain; charset=utf-8");
        res.body() = report.body;
        const double ms = msSince(start);
        std::string line = report.ok ? std::string("OK") : report.body.substr(0, report.body.find('\n'));
        if (!report.ok && !report.detail.empty())
            line += " [" + report.detail + "]";
        asio::post(self->m_stream.get_executor(),
                   [self, res = std::move(res), keepAlive, ms, line = std::move(line)]() mutable {
                       self->log("health", ms, line);
                       self->send(std::move(res), keepAlive, true);
                   });
    });
}

// Writes one answer; the next request (maybe already in the buffer, when the
// client pipelines) is read only after it, so answers keep the order of the
// requests.
template <class Stream>
void HttpSession<Stream>::send(Response res, bool keepAlive, bool counted)
{
    // The request is done with: its body's memory goes back.
    releaseBodyMemory();
    res.keep_alive(keepAlive);
    res.prepare_payload();
    m_response = std::make_shared<Response>(std::move(res));
    lowest().expires_after(std::chrono::milliseconds(options().writeTimeoutMs));
    http::async_write(m_stream, *m_response, [self = self(), keepAlive, counted](beast::error_code ec, std::size_t) {
        self->onSent(ec, keepAlive, counted);
    });
}

template <class Stream>
void HttpSession<Stream>::onSent(beast::error_code ec, bool keepAlive, bool counted)
{
    if (counted)
        --m_server.inFlight;
    m_response.reset();
    if (m_answerHeld)
        m_server.bodies.release(std::exchange(m_answerHeld, 0));
    if (!ec && m_lingering)
        return drainThenClose();
    if (ec || !keepAlive)
        return close();
    readNext();
}

template <class Stream>
void HttpSession<Stream>::refusePlainHttp()
{
    log("-", 0, "recusado: HTTP sem TLS num servidor que só atende com TLS");
    static const std::string body = "Este servidor só atende com TLS: use https:// no endereço do servidor.\n";
    auto answer = std::make_shared<std::string>(
        "HTTP/1.1 400 Bad Request\r\nContent-Type: text/plain; charset=utf-8\r\nConnection: close\r\n"
        "Content-Length: "
        + std::to_string(body.size()) + "\r\n\r\n" + body);
    asio::async_write(lowest(), asio::buffer(*answer),
                      [self = self(), answer](beast::error_code, std::size_t) { self->close(); });
}

template <class Stream>
void HttpSession<Stream>::close()
{
    beast::error_code ignored;
    lowest().socket().shutdown(tcp::socket::shutdown_both, ignored);
    lowest().close();
}

template <class Stream>
void HttpSession<Stream>::log(std::string_view method, double ms, const std::string& what)
{
    if (options().log)
        m_server.log(address(), m_user, method, ms, what);
}

template class HttpSession<PlainStream>;
template class HttpSession<TlsStream>;

} // namespace trd::server
