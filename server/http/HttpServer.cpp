#include "HttpServer.h"

#include "AnswerPieces.h"
#include "FeedRequest.h"
#include "FeedWaiting.h"
#include "HostPolicy.h"
#include "MemoryBudget.h"
#include "RpcError.h"

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

namespace trd::server {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::string_view ObjectPath = "/Trd09300.rdmTraducao";
constexpr const char* JsonType = "application/json; charset=utf-8";
constexpr const char* CborType = "application/cbor";

using Response = http::response<http::string_body>;

std::string_view sv(beast::string_view text)
{
    return {text.data(), text.size()};
}

// A feed request refused: 401 asks for a log-in; a user who has one but no
// role gets 403, since logging in again would not help.
http::status refusalStatus(int code)
{
    return code == rpc::Forbidden ? http::status::forbidden : http::status::unauthorized;
}

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string lowerAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::string logValue(std::string_view value, std::size_t max)
{
    std::string out;
    out.reserve(std::min(value.size(), max) + 8);
    std::size_t i = 0;
    while (i < value.size()) {
        const auto c = static_cast<unsigned char>(value[i]);
        // Length of a well-formed UTF-8 sequence starting here, 0 if none.
        std::size_t seq = 0;
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            seq = 1;
        } else if (c >= 0xc2 && c <= 0xf4) {
            const std::size_t need = c < 0xe0 ? 2 : c < 0xf0 ? 3 : 4;
            if (i + need <= value.size()) {
                seq = need;
                for (std::size_t k = 1; k < need; ++k)
                    if ((static_cast<unsigned char>(value[i + k]) & 0xc0) != 0x80)
                        seq = 0;
            }
        }
        std::string piece;
        if (seq > 0) {
            piece.assign(value.substr(i, seq));
        } else if (c == '\\') {
            piece = "\\\\";
            seq = 1;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            piece = hex;
            seq = 1;
        }
        if (out.size() + piece.size() > max) {
            out += "...";
            break;
        }
        out += piece;
        i += seq;
    }
    return out;
}

namespace {

// What the connection limits know of a connection, whatever its stream: the
// address it counts against, whether it still counts (an evicted one hands
// its place to the newcomer at once), and when it started waiting idle for a
// next request (0: it is not idle).
class ConnectionBase : public std::enable_shared_from_this<ConnectionBase> {
public:
    explicit ConnectionBase(std::string address) : m_address(std::move(address)) {}
    virtual ~ConnectionBase() = default;
    // Closes the connection from its own executor.
    virtual void evict() = 0;

    const std::string m_address;
    bool m_counted = true;        // guarded by the server's counts mutex
    std::uint64_t m_idleKey = 0;  // likewise
};

} // namespace

struct HttpServer::Impl {
    Impl(RpcHandler& h, HealthProbe& p, HttpOptions o)
        : handler(h), health(p), options(std::move(o)), hosts(options.host, options.serverNames),
          bodies(options.bodyMemory), waiting(options.maxPerAddress), readerWaits(std::max(1, options.threads) / 2),
          workers(static_cast<std::size_t>(std::max(1, options.threads)))
    {
        if (!options.tlsCertFile.empty()) {
            tls = std::make_unique<asio::ssl::context>(asio::ssl::context::tls_server);
            tls->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2
                             | asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1
                             | asio::ssl::context::no_tlsv1_1 | asio::ssl::context::single_dh_use);
            beast::error_code ec;
            tls->use_certificate_chain_file(options.tlsCertFile, ec);
            if (ec)
                throw std::runtime_error("não foi possível usar o certificado " + options.tlsCertFile + ": "
                                         + ec.message());
            tls->use_private_key_file(options.tlsKeyFile, asio::ssl::context::pem, ec);
            if (ec)
                throw std::runtime_error("não foi possível usar a chave privada " + options.tlsKeyFile + ": "
                                         + ec.message());
        }
    }
    ~Impl()
    {
        stopping = true;
        ioc.stop();
        workers.stop();
        workers.join();
    }

    void accept();
    void admit(tcp::socket socket);
    void release(ConnectionBase& connection)
    {
        std::lock_guard lock(countsMutex);
        auto it = perAddress.find(connection.m_address);
        if (it == perAddress.end())
            return;
        if (connection.m_idleKey)
            it->second.idle.erase(connection.m_idleKey);
        connection.m_idleKey = 0;
        if (connection.m_counted) {
            connection.m_counted = false;
            --total;
            --it->second.count;
        }
        if (it->second.count <= 0 && it->second.idle.empty())
            perAddress.erase(it);
    }
    // A connection waiting for the first byte of its next request can be
    // closed to make room for a new one from the same address.
    void markIdle(ConnectionBase& connection)
    {
        std::lock_guard lock(countsMutex);
        auto it = perAddress.find(connection.m_address);
        if (it == perAddress.end() || !connection.m_counted || connection.m_idleKey)
            return;
        connection.m_idleKey = ++idleSequence;
        it->second.idle.emplace(connection.m_idleKey, connection.weak_from_this());
    }
    void markBusy(ConnectionBase& connection)
    {
        std::lock_guard lock(countsMutex);
        if (!connection.m_idleKey)
            return;
        if (auto it = perAddress.find(connection.m_address); it != perAddress.end())
            it->second.idle.erase(connection.m_idleKey);
        connection.m_idleKey = 0;
    }
    void log(std::string_view peer, std::string_view user, std::string_view method, double ms,
             std::string_view what) const;

    RpcHandler& handler;
    HealthProbe& health;
    feed::ChangeFeed* feed = nullptr;
    HttpOptions options;
    HostPolicy hosts;
    MemoryBudget bodies;
    WaitingPlaces waiting;   // the change feed's waiting requests, per address
    ReaderWaits readerWaits;   // workers waiting on slow readers of streamed answers: half of them at most
    std::string error;
    std::atomic<int> inFlight{0};
    std::atomic<bool> stopping{false};   // the loop is gone: no queued piece will be sent
    // Connections count themselves out when destroyed, which can happen while
    // the io context is torn down: the counts outlive it.
    std::mutex countsMutex;
    struct AddressConnections {
        int count = 0;
        std::map<std::uint64_t, std::weak_ptr<ConnectionBase>> idle;   // oldest idle first
    };
    std::unordered_map<std::string, AddressConnections> perAddress;
    int total = 0;
    std::uint64_t idleSequence = 0;
    std::unique_ptr<asio::ssl::context> tls;
    asio::io_context ioc;
    tcp::acceptor acceptor{asio::make_strand(ioc)};
    asio::steady_timer acceptRetry{acceptor.get_executor()};
    asio::thread_pool workers;
};

namespace {

template <class Stream>
class Connection : public ConnectionBase {
public:
    Connection(HttpServer::Impl& server, Stream stream, std::string address)
        : ConnectionBase(std::move(address)), m_server(server), m_stream(std::move(stream)),
          m_feedWait(m_stream.get_executor()), m_budgetWait(lowest().get_executor())
    {
    }
    ~Connection() override
    {
        if (m_feedState && m_feedState->held)
            m_server.waiting.give(m_address);
        if (m_answerHeld)
            m_server.bodies.release(m_answerHeld);
        releaseBodyMemory();
        m_server.release(*this);
    }

    void evict() override
    {
        asio::post(m_stream.get_executor(), [self = self()] {
            self->log("-", 0, "conexão ociosa fechada para dar lugar a uma nova do mesmo endereço");
            self->close();
        });
    }

    void start()
    {
        if constexpr (std::is_same_v<Stream, beast::tcp_stream>) {
            readNext();
        } else {
            // The first bytes say whether the client speaks TLS at all (a
            // handshake record starts with 0x16): one that sends plain HTTP
            // to this port is told so in plain HTTP, rather than left with a
            // closed connection it cannot explain. The bytes read go to the
            // handshake.
            lowest().expires_after(std::chrono::milliseconds(m_server.options.requestTimeoutMs));
            lowest().async_read_some(m_buffer.prepare(4096), [self = self()](beast::error_code ec,
                                                                                              std::size_t n) {
                if (ec)
                    return self->close();
                self->m_buffer.commit(n);
                if (*static_cast<const unsigned char*>(self->m_buffer.data().data()) != 0x16)
                    return self->refusePlainHttp();
                self->m_stream.async_handshake(asio::ssl::stream_base::server, self->m_buffer.data(),
                                               [self](beast::error_code ec2, std::size_t used) {
                                                   if (ec2)
                                                       return self->close();
                                                   self->m_buffer.consume(used);
                                                   self->readNext();
                                               });
            });
        }
    }

private:
    std::shared_ptr<Connection> self() { return std::static_pointer_cast<Connection>(shared_from_this()); }
    beast::tcp_stream& lowest() { return beast::get_lowest_layer(m_stream); }
    const HttpOptions& options() const { return m_server.options; }

    // Waits for the first byte of the next request under the idle deadline;
    // the whole request then has to arrive within the request deadline.
    void readNext()
    {
        if (m_buffer.size() > 0)
            return readRequest();
        lowest().expires_after(std::chrono::milliseconds(options().idleTimeoutMs));
        m_server.markIdle(*this);
        m_stream.async_read_some(m_buffer.prepare(4096),
                                 [self = self()](beast::error_code ec, std::size_t n) {
                                     self->m_server.markBusy(*self);
                                     if (ec)
                                         return self->close();
                                     self->m_buffer.commit(n);
                                     self->readRequest();
                                 });
    }

    void readRequest()
    {
        m_parser.emplace();
        m_parser->header_limit(static_cast<std::uint32_t>(options().maxHeaderBytes));
        m_parser->body_limit(options().maxBody);
        lowest().expires_after(std::chrono::milliseconds(options().requestTimeoutMs));
        m_scanned = 0;
        gatherHeader();
    }

    // The whole header block is gathered before it is parsed, so that its
    // lines can be checked as they were sent: the parser itself would join a
    // folded line into its field without a trace.
    void gatherHeader()
    {
        const std::string_view buffered(static_cast<const char*>(m_buffer.data().data()), m_buffer.size());
        if (cannotStartARequest(buffered))
            return failRead(http::error::bad_method);
        const std::size_t end = buffered.find("\r\n\r\n", m_scanned);
        if (end != std::string_view::npos) {
            if (const std::string refusal = foldedLine(buffered.substr(0, end + 2)); !refusal.empty())
                return refuse(http::status::bad_request, refusal);
            return http::async_read_header(m_stream, m_buffer, *m_parser,
                                           [self = self()](beast::error_code ec, std::size_t) {
                                               self->onHeader(ec);
                                           });
        }
        if (buffered.size() >= options().maxHeaderBytes)
            return failRead(http::error::header_limit);
        m_scanned = buffered.size() < 3 ? 0 : buffered.size() - 3;
        m_stream.async_read_some(m_buffer.prepare(4096),
                                 [self = self()](beast::error_code ec, std::size_t n) {
                                     if (ec)
                                         return self->failRead(ec);
                                     self->m_buffer.commit(n);
                                     self->gatherHeader();
                                 });
    }

    // Bytes that no request line begins with (a TLS handshake sent to the
    // plain port, binary noise) are refused as soon as they arrive, rather
    // than waiting for a blank line that is never coming: the client then
    // hears at once that this is not what it expected.
    static bool cannotStartARequest(std::string_view buffered)
    {
        std::size_t i = 0;
        while (i + 1 < buffered.size() && buffered[i] == '\r' && buffered[i + 1] == '\n')
            i += 2;   // empty lines before a request line are allowed
        for (const std::size_t method = i; i < buffered.size(); ++i) {
            const char c = buffered[i];
            if (c == ' ')
                return i == method;
            if (c == '\r' && i == method && i + 1 == buffered.size())
                return false;   // perhaps an empty line cut in two
            const bool token = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                               || std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
            if (!token)
                return true;
        }
        return false;
    }

    // A header line that starts with a blank continues the one before it
    // (obsolete line folding): refused, as RFC 9112 allows, since readers
    // disagree on what such a field holds.
    static std::string foldedLine(std::string_view head)
    {
        for (std::size_t at = head.find("\r\n"); at != std::string_view::npos && at + 2 < head.size();
             at = head.find("\r\n", at + 2))
            if (head[at + 2] == ' ' || head[at + 2] == '\t')
                return "Requisição HTTP malformada: linha de cabeçalho dobrada (começa com espaço).";
        return {};
    }

    // Fields that must appear at most once: with two, the server and a proxy
    // in front of it could each believe a different one.
    static std::string framingRefusal(const http::request<http::string_body>& req)
    {
        static constexpr std::pair<http::field, const char*> Single[] = {
            {http::field::host, "Host"},
            {http::field::origin, "Origin"},
            {http::field::content_length, "Content-Length"},
            {http::field::transfer_encoding, "Transfer-Encoding"},
            {http::field::content_type, "Content-Type"},
            {http::field::content_encoding, "Content-Encoding"},
            {http::field::authorization, "Authorization"},
            {http::field::expect, "Expect"},
        };
        for (const auto& [field, name] : Single)
            if (req.count(field) > 1)
                return std::string("Requisição HTTP malformada: o cabeçalho ") + name + " aparece mais de uma vez.";
        if (req.version() >= 11 && req.count(http::field::host) == 0)
            return "Requisição HTTP malformada: falta o cabeçalho Host.";
        return {};
    }

    void onHeader(beast::error_code ec)
    {
        if (ec)
            return failRead(ec);
        const auto& req = m_parser->get();
        if (std::distance(req.begin(), req.end()) > options().maxHeaderCount)
            return refuse(http::status::request_header_fields_too_large,
                          "Requisição com cabeçalhos demais: o limite é de " + std::to_string(options().maxHeaderCount)
                              + ".");
        if (const std::string refusal = framingRefusal(req); !refusal.empty())
            return refuse(http::status::bad_request, refusal);
        const auto encoding = lowerAscii(trimmed(sv(req[http::field::content_encoding])));
        // A body is never inflated, whether the compression is announced as
        // its content coding or as a transfer coding before "chunked".
        const auto transfer = lowerAscii(trimmed(sv(req[http::field::transfer_encoding])));
        if ((!encoding.empty() && encoding != "identity") || (!transfer.empty() && transfer != "chunked"))
            return refuse(http::status::unsupported_media_type,
                          "Requisição comprimida não é aceita: envie o corpo sem compressão.");
        // Its share of the memory for bodies is reserved before the body
        // is read (and before a client waiting for "100 Continue" is told to
        // send it): the whole share when the length is announced, a first
        // part for a chunked body, which reserves more as it grows.
        const auto length = m_parser->content_length();
        const std::size_t first = m_parser->is_done() ? 0 : length ? static_cast<std::size_t>(*length) : ChunkStep;
        reserveThen(costOf(first), [self = self()] { self->continueThenRead(); });
    }

    // What a request with a body of this size may cost while it is read and
    // served: the body, the parsed string holding the packet and its copy.
    static std::size_t costOf(std::size_t body) { return 3 * body + (64u << 10); }
    static constexpr std::size_t ChunkStep = 1u << 20;

    // Runs next once the request holds at least `cost` of the body memory;
    // while it waits its turn the body stays unread. Waiting longer than the
    // request time limit gets 503.
    void reserveThen(std::size_t cost, std::function<void()> next)
    {
        if (cost <= m_reserved)
            return next();
        if (cost > m_server.bodies.total())
            return refuse(http::status::service_unavailable, budgetRefusal());
        const std::size_t more = cost - m_reserved;
        const std::uint64_t ticket = m_server.bodies.acquire(more, [self = self(), more, next] {
            asio::post(self->lowest().get_executor(), [self, more, next] {
                self->m_budgetTicket = 0;
                self->m_budgetWait.cancel();
                self->m_reserved += more;
                next();
            });
        });
        if (ticket == 0) {
            m_reserved += more;
            return next();
        }
        m_budgetTicket = ticket;
        m_budgetWait.expires_after(std::chrono::milliseconds(options().requestTimeoutMs));
        m_budgetWait.async_wait([self = self(), ticket](beast::error_code ec) {
            if (ec || self->m_budgetTicket != ticket || !self->m_server.bodies.cancel(ticket))
                return;   // granted meanwhile
            self->m_budgetTicket = 0;
            self->refuse(http::status::service_unavailable, self->budgetRefusal());
        });
    }

    std::string budgetRefusal() const
    {
        return "O servidor está recebendo requisições grandes demais ao mesmo tempo (limite de "
               + std::to_string(m_server.bodies.total() >> 20) + " MiB em andamento); tente de novo em instantes.";
    }

    void releaseBodyMemory()
    {
        if (m_budgetTicket)
            m_server.bodies.cancel(std::exchange(m_budgetTicket, 0));
        if (m_reserved)
            m_server.bodies.release(std::exchange(m_reserved, 0));
    }

    void continueThenRead()
    {
        const auto& req = m_parser->get();
        if (lowerAscii(sv(req[http::field::expect])) == "100-continue") {
            auto cont = std::make_shared<http::response<http::empty_body>>(http::status::continue_, req.version());
            return http::async_write(m_stream, *cont,
                                     [self = self(), cont](beast::error_code ec, std::size_t) {
                                         if (ec)
                                             return self->close();
                                         self->readBody();
                                     });
        }
        readBody();
    }

    void readBody()
    {
        if (m_parser->is_done())
            return onRequest();
        if (m_parser->content_length())
            return http::async_read(m_stream, m_buffer, *m_parser, [self = self()](beast::error_code ec, std::size_t) {
                if (ec)
                    return self->failRead(ec);
                self->onRequest();
            });
        // A chunked body: its share grows with it.
        http::async_read_some(m_stream, m_buffer, *m_parser, [self = self()](beast::error_code ec, std::size_t) {
            if (ec)
                return self->failRead(ec);
            if (self->m_parser->is_done())
                return self->onRequest();
            const std::size_t size = self->m_parser->get().body().size();
            const std::size_t want = std::min(costOf(size + std::max(ChunkStep, size / 2)), costOf(self->options().maxBody));
            self->reserveThen(want, [self] { self->readBody(); });
        });
    }

    void failRead(beast::error_code ec)
    {
        if (ec == http::error::header_limit)
            return refuse(http::status::request_header_fields_too_large,
                          "Cabeçalhos da requisição grandes demais: o limite é de "
                              + std::to_string(options().maxHeaderBytes / 1024) + " KiB.");
        if (ec == http::error::body_limit)
            return refuse(http::status::payload_too_large, "Requisição grande demais: o limite é de "
                                                               + std::to_string(options().maxBody / (1024 * 1024))
                                                               + " MiB.");
        if (ec == beast::error::timeout) {
            log("-", 0, "conexão encerrada: requisição incompleta após "
                            + std::to_string(options().requestTimeoutMs / 1000) + " s");
            return close();
        }
        if (ec == http::error::end_of_stream || ec == asio::error::eof || ec == asio::error::connection_reset
            || ec == asio::error::operation_aborted || ec == asio::ssl::error::stream_truncated)
            return close();
        refuse(http::status::bad_request, "Requisição HTTP malformada: " + ec.message() + ".");
    }

    // Refusals close the connection: what follows in the stream cannot be trusted.
    void refuse(http::status status, const std::string& message)
    {
        log("-", 0, "recusada " + std::to_string(static_cast<int>(status)) + ": " + message);
        Response res{status, 11};
        res.set(http::field::content_type, JsonType);
        res.keep_alive(false);
        res.body() = RpcHandler::errorBody(rpc::InvalidRequest, message);
        m_lingering = true;
        send(std::move(res), false, false);
    }

    // After a refusal the client may still be sending what was refused (a
    // body over the limit); closing at once would reset the connection and
    // lose the answer, so what follows is read and dropped, within bounds.
    void drainThenClose()
    {
        beast::error_code ignored;
        lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
        lowest().expires_after(std::chrono::seconds(5));
        drain();
    }

    void drain()
    {
        m_buffer.consume(m_buffer.size());
        m_stream.async_read_some(m_buffer.prepare(64 * 1024),
                                 [self = self()](beast::error_code ec, std::size_t n) {
                                     self->m_drained += n;
                                     if (ec || self->m_drained > DrainLimit)
                                         return self->close();
                                     self->m_buffer.commit(n);
                                     self->drain();
                                 });
    }

    void onRequest()
    {
        auto req = m_parser->release();
        m_parser.reset();
        const std::string_view target(req.target().data(), req.target().size());
        const std::string_view path = target.substr(0, target.find('?'));
        const bool keepAlive = req.keep_alive();
        if (path == "/health" && (req.method() == http::verb::get || req.method() == http::verb::head))
            return health(req.version(), keepAlive);
        if (path == FeedPath && req.method() == http::verb::get && m_server.feed) {
            if (const std::string refusal = crossSiteRefusal(req); !refusal.empty())
                return refuse(http::status::forbidden, refusal);
            std::string query(target.substr(std::min(target.size(), path.size() + 1)));
            return changes(std::move(req), query, keepAlive);
        }
        if (req.method() != http::verb::post || path != ObjectPath) {
            Response res{http::status::not_found, req.version()};
            res.set(http::field::content_type, JsonType);
            res.body() = RpcHandler::errorBody(rpc::MethodNotFound,
                                               "Objeto remoto desconhecido: " + std::string(path.substr(1, 80)) + ".");
            log("-", 0, "objeto desconhecido " + std::string(path));
            return send(std::move(res), keepAlive, false);
        }
        if (const std::string refusal = crossSiteRefusal(req); !refusal.empty())
            return refuse(http::status::forbidden, refusal);
        const auto type = lowerAscii(trimmed(sv(req[http::field::content_type])));
        if (type.substr(0, type.find(';')) != "application/json")
            return refuse(http::status::unsupported_media_type,
                          "Tipo de conteúdo não aceito: as chamadas devem ser application/json.");

        ++m_server.inFlight;
        const unsigned version = req.version();
        // A large CBOR answer goes out in chunks while the method writes it;
        // an HTTP/1.0 client, which has no chunks, gets it whole.
        std::shared_ptr<AnswerPieces> pieces;
        if (version >= 11) {
            pieces = std::make_shared<AnswerPieces>(
                [self = self()] {
                    asio::post(self->m_stream.get_executor(), [self] { self->sendPieces(); });
                },
                options().maxQueuedAnswer, m_server.stopping, m_server.readerWaits, m_server.bodies);
            m_pieces = pieces;
            m_piecesStarted = m_piecesFinished = m_piecesCutShort = false;
            m_piecesKeepAlive = keepAlive;
        }
        asio::post(m_server.workers, [self = self(), req = std::move(req), version, keepAlive,
                                      pieces]() mutable {
            const auto start = Clock::now();
            CallContext context;
            context.authorization = std::string(sv(req[http::field::authorization]));
            context.acceptsCbor = acceptsCbor(sv(req[http::field::accept]));
            context.sink = pieces.get();
            for (auto [it, end] = req.equal_range("X-Trd-Lote"); it != end; ++it)
                context.batchHeaders.emplace_back(sv(it->value()));
            context.address = self->m_address;
            context.clientGone = [self, fd = self->lowest().socket().native_handle()] { return peerHasGone(fd); };
            // A Login answers later, from the log-in gate's threads: the
            // worker is free at once.
            self->m_server.handler.handleAsync(req.body(), context, [self, version, keepAlive, start](RpcOutcome outcome) {
                const double ms = msSince(start);
                asio::post(self->m_stream.get_executor(),
                           [self, outcome = std::move(outcome), version, keepAlive, ms]() mutable {
                               self->answer(std::move(outcome), version, keepAlive, ms);
                           });
            });
        });
    }

    void answer(RpcOutcome outcome, unsigned version, bool keepAlive, double ms)
    {
        m_user = outcome.user;
        std::string what = outcome.ok ? std::to_string(outcome.resultBytes) + " bytes"
                                      : "erro " + std::to_string(outcome.errorCode) + ": " + outcome.errorMessage
                                            + (outcome.errorDetail.empty() ? std::string()
                                                                            : " [" + outcome.errorDetail + "]");
        if (outcome.cutShort)
            what += " (resposta interrompida após " + std::to_string(outcome.sentBytes) + " bytes enviados)";
        log(outcome.method.empty() ? "-" : outcome.method, ms, what);
        if (outcome.streamed) {
            // The request is done with: its body's memory goes back.
            releaseBodyMemory();
            // The last pieces may still be queued: the answer ends after them.
            m_piecesFinished = true;
            m_piecesCutShort = outcome.cutShort;
            return sendPieces();
        }
        m_pieces.reset();
        // An answer sent whole is held until its client has taken it, for as
        // long as the write deadline: many slow readers of large answers
        // could otherwise hold any amount. It counts against the memory
        // budget of the request bodies, and one that does not fit is refused
        // (its request's own share has just gone back).
        releaseBodyMemory();
        if (!m_server.bodies.tryAcquire(outcome.body.size())) {
            const std::string message = "O servidor está com respostas grandes demais aguardando clientes lentos ("
                                        + std::to_string(m_server.bodies.total() >> 20)
                                        + " MiB); tente de novo em instantes.";
            log(outcome.method.empty() ? "-" : outcome.method, 0, "resposta de " + std::to_string(outcome.body.size())
                                                                      + " bytes recusada: " + message);
            Response refused{http::status::service_unavailable, version};
            refused.set(http::field::content_type, JsonType);
            refused.body() = RpcHandler::errorBody(rpc::codeFor(ErrorKind::Unavailable), message);
            return send(std::move(refused), keepAlive, true);
        }
        m_answerHeld = outcome.body.size();
        Response res{http::status::ok, version};
        res.set(http::field::content_type, outcome.cbor ? CborType : JsonType);
        res.body() = std::move(outcome.body);
        send(std::move(res), keepAlive, true);
    }

    // Sends the queued pieces of a streamed answer one chunk at a time, the
    // header before the first; once the method is done and the queue empty,
    // the last chunk, or for an answer cut short no proper end at all: the
    // connection is closed, so that no client can take what came for a
    // whole answer.
    void sendPieces()
    {
        if (!m_pieces || m_pieceInFlight)
            return;
        const std::string* piece = m_pieces->front();
        if (!piece) {
            if (m_piecesFinished)
                endPieces();
            return;
        }
        std::string head;
        if (!m_piecesStarted) {
            m_piecesStarted = true;
            head = "HTTP/1.1 200 OK\r\nContent-Type: ";
            head += CborType;
            head += "\r\nTransfer-Encoding: chunked\r\n";
            if (!m_piecesKeepAlive)
                head += "Connection: close\r\n";
            head += "\r\n";
            m_piecesHead = std::move(head);
            // The whole answer has the time a whole answer has: a client
            // taking its pieces one slow read at a time must not hold the
            // call's worker (and the queued pieces) for longer.
            m_piecesDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options().writeTimeoutMs);
        } else {
            m_piecesHead.clear();
        }
        m_pieceInFlight = true;
        lowest().expires_at(m_piecesDeadline);
        asio::async_write(m_stream, beast::buffers_cat(asio::buffer(m_piecesHead), http::make_chunk(asio::buffer(*piece))),
                          [self = self()](beast::error_code ec, std::size_t) {
                              self->m_pieceInFlight = false;
                              if (ec) {
                                  self->m_pieces->abandon();
                                  self->close();
                                  if (self->m_piecesFinished)
                                      self->endPieces();
                                  return;
                              }
                              self->m_pieces->done();
                              self->sendPieces();
                          });
    }

    void endPieces()
    {
        const bool keepAlive = m_piecesKeepAlive && !m_piecesCutShort;
        const bool cutShort = m_piecesCutShort;
        m_pieces.reset();
        m_piecesFinished = false;
        if (cutShort || !lowest().socket().is_open()) {
            --m_server.inFlight;
            return close();
        }
        lowest().expires_after(std::chrono::milliseconds(options().writeTimeoutMs));
        asio::async_write(m_stream, http::make_chunk_last(),
                          [self = self(), keepAlive](beast::error_code ec, std::size_t) {
                              --self->m_server.inFlight;
                              if (ec || !keepAlive)
                                  return self->close();
                              self->readNext();
                          });
    }

    // A browser on another site can post to a loopback or LAN server; such
    // requests carry that site's Origin, or (DNS rebinding) a Host that is not
    // ours. Neither is ever sent by the client program.
    std::string crossSiteRefusal(const http::request<http::string_body>& req) const
    {
        const auto origin = req.find(http::field::origin);
        return m_server.hosts.refusal(trimmed(sv(req[http::field::host])),
                                      origin == req.end() ? std::string_view() : trimmed(sv(origin->value())),
                                      origin != req.end());
    }

    // A request for a language's changes (FeedRequest.h). Checked on a
    // worker (the session token, a cursor behind memory read from the
    // database); when there is nothing yet, it waits in the feed: the
    // connection holds a timer and no thread, and is answered by the feed's
    // sink or, at the end of the wait, by taking the request back.
    void changes(http::request<http::string_body> req, const std::string& query, bool keepAlive)
    {
        ++m_server.inFlight;
        FeedRequest asked = readFeedRequest(query);
        CallContext context;
        context.authorization = std::string(sv(req[http::field::authorization]));
        const unsigned version = req.version();
        const bool fromMemory = m_server.feed->answersFromMemory(asked.since);
        auto work = [self = self(), asked = std::move(asked), context = std::move(context), version,
                     keepAlive]() mutable {
            const auto start = Clock::now();
            const RpcHandler::Admission admission = self->m_server.handler.admit(context);
            auto fail = [&](http::status status, int code, const std::string& message) {
                asio::post(self->m_stream.get_executor(), [self, status, code, message, version, keepAlive, start,
                                                           user = admission.user] {
                    self->m_user = user;
                    self->feedAnswered(status, RpcHandler::errorBody(code, message), version, keepAlive, start,
                                       "erro " + std::to_string(code) + ": " + message);
                });
            };
            if (!admission.ok)
                return fail(refusalStatus(admission.code), admission.code, admission.message);
            if (!asked.refusal.empty())
                return fail(http::status::bad_request, rpc::InvalidParams, asked.refusal);
            auto state = std::make_shared<FeedWait>();
            std::optional<std::string> body;
            try {
                body = self->m_server.feed->poll(
                    asked.language, asked.since,
                    [self, state, context, version, keepAlive, start](std::string later) {
                        asio::post(self->m_stream.get_executor(), [self, state, context, later = std::move(later),
                                                                   version, keepAlive, start]() mutable {
                            if (state->done)
                                return;   // its client went away meanwhile
                            self->endFeedWait(*state);
                            // The rights of the moment the change goes out, not
                            // of the moment the request came in: a user
                            // removed or expired meanwhile is told so instead.
                            const RpcHandler::Admission now = self->m_server.handler.admit(context);
                            if (!now.ok)
                                return self->feedAnswered(refusalStatus(now.code),
                                                          RpcHandler::errorBody(now.code, now.message), version,
                                                          keepAlive, start,
                                                          "erro " + std::to_string(now.code) + ": " + now.message);
                            self->feedAnswered(http::status::ok, std::move(later), version, keepAlive, start, {});
                        });
                    },
                    state->ticket, asked.reviewMarks);
            } catch (const ServerError& e) {
                return fail(http::status::service_unavailable, rpc::codeFor(e.kind()), e.userMessage());
            } catch (const std::exception& e) {
                return fail(http::status::internal_server_error, rpc::InternalError,
                            std::string("Erro no servidor: ") + e.what() + ".");
            }
            if (!body && !self->m_server.waiting.take(self->m_address)) {
                // Taken back, answered or not: the address keeps the rest of
                // its connections for its calls.
                self->m_server.feed->cancel(state->ticket);
                return fail(http::status::service_unavailable, rpc::codeFor(ErrorKind::Unavailable),
                            "Pedidos de alterações em espera demais deste endereço (limite "
                                + std::to_string(self->m_server.waiting.allowance())
                                + "); tente de novo em instantes.");
            }
            asio::post(self->m_stream.get_executor(), [self, body = std::move(body), state, waitS = asked.waitSeconds,
                                                       version, keepAlive, start, user = admission.user]() mutable {
                self->m_user = user;
                if (body)
                    return self->feedAnswered(http::status::ok, std::move(*body), version, keepAlive, start, {});
                if (state->done) {
                    self->m_server.waiting.give(self->m_address);   // answered before it began to wait here
                    return;
                }
                state->held = true;
                self->m_feedState = state;
                self->m_feedWait.expires_after(std::chrono::seconds(waitS));
                self->m_feedWait.async_wait([self, state, version, keepAlive, start](beast::error_code ec) {
                    if (ec || state->done)
                        return;   // answered by the feed meanwhile
                    if (auto now = self->m_server.feed->cancel(state->ticket)) {
                        self->endFeedWait(*state);
                        self->feedAnswered(http::status::ok, std::move(*now), version, keepAlive, start, {});
                    }
                });
                self->watchFeedPeer(state, start);
            });
        };
        // A follower in step (its cursor within what the feed keeps) needs no
        // database: it is served here, on its connection's thread, without
        // the two hops to a worker and back that every save would otherwise
        // cost each follower. A cursor behind memory is read on a worker.
        if (fromMemory)
            work();
        else
            asio::post(m_server.workers, std::move(work));
    }

    // A waiting request, on its connection's executor (but `ticket`, set by
    // the feed when the request is kept).
    struct FeedWait {
        std::uint64_t ticket = 0;
        bool done = false;   // answered, or its client gone
        bool held = false;   // holds one of its address's waiting places
    };
    void endFeedWait(FeedWait& wait)
    {
        wait.done = true;
        if (std::exchange(wait.held, false))
            m_server.waiting.give(m_address);
        m_feedWait.cancel();
    }
    // A client that closes its connection while its request waits is let go
    // at once: the connection, and its place among its address's, are free
    // for others instead of waiting out the two minutes.
    void watchFeedPeer(const std::shared_ptr<FeedWait>& state, Clock::time_point start)
    {
        lowest().socket().async_wait(tcp::socket::wait_read, [self = self(), state, start](beast::error_code ec) {
            if (ec || state->done)
                return;
            if (!peerHasGone(self->lowest().socket().native_handle()))
                return;   // a pipelined request: read once this one is answered
            self->m_server.feed->cancel(state->ticket);
            self->endFeedWait(*state);
            --self->m_server.inFlight;
            self->log("alteracoes", msSince(start), "cliente desconectou durante a espera");
            self->close();
        });
    }

    void feedAnswered(http::status status, std::string body, unsigned version, bool keepAlive,
                      Clock::time_point start, const std::string& error)
    {
        // Held until the follower reads it, and a follower may never read:
        // counted as every answer sent whole is.
        if (!m_server.bodies.tryAcquire(body.size())) {
            status = http::status::service_unavailable;
            const std::string message = "O servidor está com respostas grandes demais aguardando clientes lentos; "
                                        "tente de novo em instantes.";
            body = RpcHandler::errorBody(rpc::codeFor(ErrorKind::Unavailable), message);
            log("alteracoes", msSince(start), "resposta recusada: " + message);
        } else {
            m_answerHeld = body.size();
            log("alteracoes", msSince(start), error.empty() ? std::to_string(body.size()) + " bytes" : error);
        }
        Response res{status, version};
        res.set(http::field::content_type, JsonType);
        res.set(http::field::cache_control, "no-store");
        res.body() = std::move(body);
        send(std::move(res), keepAlive, true);
    }

    void health(unsigned version, bool keepAlive)
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

    // Writes one answer; the next request (maybe already in the buffer, when
    // the client pipelines) is read only after it, so answers keep the order
    // of the requests.
    void send(Response res, bool keepAlive, bool counted)
    {
        // The request is done with: its body's memory goes back.
        releaseBodyMemory();
        res.keep_alive(keepAlive);
        res.prepare_payload();
        m_response = std::make_shared<Response>(std::move(res));
        lowest().expires_after(std::chrono::milliseconds(options().writeTimeoutMs));
        http::async_write(m_stream, *m_response,
                          [self = self(), keepAlive, counted](beast::error_code ec, std::size_t) {
                              if (counted)
                                  --self->m_server.inFlight;
                              self->m_response.reset();
                              if (self->m_answerHeld)
                                  self->m_server.bodies.release(std::exchange(self->m_answerHeld, 0));
                              if (!ec && self->m_lingering)
                                  return self->drainThenClose();
                              if (ec || !keepAlive)
                                  return self->close();
                              self->readNext();
                          });
    }

    void refusePlainHttp()
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

    void close()
    {
        beast::error_code ignored;
        lowest().socket().shutdown(tcp::socket::shutdown_both, ignored);
        lowest().close();
    }

    void log(std::string_view method, double ms, const std::string& what)
    {
        if (m_server.options.log)
            m_server.log(m_address, m_user, method, ms, what);
    }

    HttpServer::Impl& m_server;
    Stream m_stream;
    std::string m_user = "-";    // the last call's, for the log lines of the connection
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::string_body>> m_parser;
    std::shared_ptr<Response> m_response;
    // The streamed answer being sent (onRequest to endPieces).
    std::shared_ptr<AnswerPieces> m_pieces;
    std::string m_piecesHead;
    bool m_piecesStarted = false;
    bool m_piecesFinished = false;   // the method is done: the queue holds all that is left
    bool m_piecesCutShort = false;
    bool m_piecesKeepAlive = false;
    bool m_pieceInFlight = false;
    std::chrono::steady_clock::time_point m_piecesDeadline;
    asio::steady_timer m_feedWait;   // how long a request for changes may wait
    std::shared_ptr<FeedWait> m_feedState;   // the request for changes that waits, if any
    std::size_t m_answerHeld = 0;   // of the memory budget, by the answer being sent whole
    bool m_lingering = false;
    std::size_t m_reserved = 0;          // of the server's memory for bodies
    std::uint64_t m_budgetTicket = 0;    // waiting for it
    asio::steady_timer m_budgetWait;
    std::size_t m_scanned = 0;   // bytes of the buffer already searched for the header's end
    std::size_t m_drained = 0;
    static constexpr std::size_t DrainLimit = 64u << 20;
};

// A connection over a limit gets a short answer written without waiting
// (the socket buffer of a fresh connection takes it) and is closed.
void turnAway(tcp::socket& socket, const std::string& message)
{
    const std::string body = RpcHandler::errorBody(rpc::InvalidRequest, message);
    const std::string answer = "HTTP/1.1 503 Service Unavailable\r\nContent-Type: " + std::string(JsonType)
                               + "\r\nConnection: close\r\nContent-Length: " + std::to_string(body.size())
                               + "\r\n\r\n" + body;
    beast::error_code ec;
    socket.non_blocking(true, ec);
    socket.write_some(asio::buffer(answer), ec);
    socket.shutdown(tcp::socket::shutdown_both, ec);
    socket.close(ec);
}

} // namespace

void HttpServer::Impl::accept()
{
    acceptor.async_accept(asio::make_strand(ioc), [this](beast::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor.is_open())
            return;
        if (ec) {
            // Out of descriptors: leave the connection in the backlog a moment.
            if (options.log)
                log("-", "-", "-", 0, "accept falhou: " + ec.message());
            acceptRetry.expires_after(std::chrono::milliseconds(50));
            acceptRetry.async_wait([this](beast::error_code) { accept(); });
            return;
        }
        admit(std::move(socket));
        accept();
    });
}

void HttpServer::Impl::admit(tcp::socket socket)
{
    beast::error_code ec;
    const auto remote = socket.remote_endpoint(ec);
    if (ec)
        return;
    std::string address = remote.address().to_string();
    std::shared_ptr<ConnectionBase> evicted;
    {
        std::lock_guard lock(countsMutex);
        std::string refusal;
        AddressConnections& mine = perAddress[address];
        // At the address's limit, its connection idle the longest gives way:
        // one local program holding idle sockets must not lock every other
        // local client out until they time out.
        while (total < options.maxConnections && mine.count >= options.maxPerAddress && !mine.idle.empty()
               && !evicted) {
            evicted = mine.idle.begin()->second.lock();
            mine.idle.erase(mine.idle.begin());
            if (evicted) {
                evicted->m_idleKey = 0;
                evicted->m_counted = false;
                --mine.count;
                --total;
            }
        }
        if (total >= options.maxConnections)
            refusal = "Servidor com conexões demais; tente de novo em instantes.";
        else if (mine.count >= options.maxPerAddress)
            refusal = "Conexões demais deste endereço (limite " + std::to_string(options.maxPerAddress) + ").";
        if (!refusal.empty()) {
            if (mine.count == 0 && mine.idle.empty())
                perAddress.erase(address);
            if (options.log)
                log(address, "-", "-", 0, "conexão recusada: " + refusal);
            turnAway(socket, refusal);
            return;
        }
        ++mine.count;
        ++total;
    }
    if (evicted)
        evicted->evict();
    socket.set_option(tcp::no_delay(true), ec);
    if (tls) {
        std::make_shared<Connection<beast::ssl_stream<beast::tcp_stream>>>(
            *this, beast::ssl_stream<beast::tcp_stream>(beast::tcp_stream(std::move(socket)), *tls), std::move(address))
            ->start();
    } else {
        std::make_shared<Connection<beast::tcp_stream>>(*this, beast::tcp_stream(std::move(socket)), std::move(address))
            ->start();
    }
}

void HttpServer::Impl::log(std::string_view peer, std::string_view user, std::string_view method, double ms,
                           std::string_view what) const
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const auto msPart = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    localtime_r(&t, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
    // One write per line, so lines of concurrent requests never interleave.
    std::fprintf(stderr, "%s.%03d %s %s %s %.3f ms %s\n", stamp, static_cast<int>(msPart),
                 logValue(peer, 64).c_str(), logValue(user, 64).c_str(), logValue(method, 64).c_str(), ms,
                 logValue(what, 300).c_str());
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

bool HttpServer::serve()
{
    Impl& s = *m_impl;
    if (!s.acceptor.is_open())
        return false;
    asio::post(s.acceptor.get_executor(), [&s] { s.accept(); });
    // One more loop thread keeps TLS handshakes and large writes from
    // queueing behind each other; the calls run on the workers anyway.
    std::thread second([&s] { s.ioc.run(); });
    s.ioc.run();
    second.join();
    return true;
}

void HttpServer::stop()
{
    Impl& s = *m_impl;
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
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (s.inFlight.load() > 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    s.stopping = true;
    s.ioc.stop();
}

} // namespace trd::server
