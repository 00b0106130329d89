// A call: run on a worker, answered whole or, when its answer is large CBOR,
// streamed in chunks while the method writes it (AnswerPieces.h).
#include "HttpSession.h"

#include "RpcError.h"

#include <utility>

namespace trd::server {

namespace asio = boost::asio;

template <class Stream>
void HttpSession<Stream>::call(Request req, bool keepAlive)
{
    ++m_server.inFlight;
    const unsigned version = req.version();
    // A large CBOR answer goes out in chunks while the method writes it; an
    // HTTP/1.0 client, which has no chunks, gets it whole.
    std::shared_ptr<AnswerPieces> pieces;
    if (version >= 11) {
        pieces = std::make_shared<AnswerPieces>(
            [self = self()] { asio::post(self->m_stream.get_executor(), [self] { self->sendPieces(); }); },
            options().maxQueuedAnswer, m_server.stopping, m_server.readerWaits, m_server.bodies);
        m_pieces = pieces;
        m_piecesStarted = m_piecesFinished = m_piecesCutShort = false;
        m_piecesKeepAlive = keepAlive;
    }
    asio::post(m_server.workers, [self = self(), req = std::move(req), version, keepAlive, pieces] {
        self->runCall(req, {version, keepAlive, Clock::now()}, pieces);
    });
}

// On a worker.
template <class Stream>
void HttpSession<Stream>::runCall(const Request& req, Asked asked, const std::shared_ptr<AnswerPieces>& pieces)
{
    CallContext context;
    context.authorization = std::string(viewOf(req[http::field::authorization]));
    context.acceptsCbor = acceptsCbor(viewOf(req[http::field::accept]));
    context.sink = pieces.get();
    for (auto [it, end] = req.equal_range("X-Trd-Lote"); it != end; ++it)
        context.batchHeaders.emplace_back(viewOf(it->value()));
    context.address = address();
    context.clientGone = [self = self(), fd = lowest().socket().native_handle()] { return peerHasGone(fd); };
    // A Login answers later, from the log-in gate's threads: the worker is
    // free at once.
    m_server.handler.handleAsync(req.body(), context, [self = self(), asked](RpcOutcome outcome) {
        const double ms = msSince(asked.start);
        asio::post(self->m_stream.get_executor(), [self, outcome = std::move(outcome), asked, ms]() mutable {
            self->answer(std::move(outcome), asked.version, asked.keepAlive, ms);
        });
    });
}

template <class Stream>
void HttpSession<Stream>::answer(RpcOutcome outcome, unsigned version, bool keepAlive, double ms)
{
    m_user = outcome.user;
    std::string what = outcome.ok ? std::to_string(outcome.resultBytes) + " bytes"
                                  : "erro " + std::to_string(outcome.errorCode) + ": " + outcome.errorMessage
            + (outcome.errorDetail.empty() ? std::string() : " [" + outcome.errorDetail + "]");
    if (outcome.cutShort)
        what += " (resposta interrompida após " + std::to_string(outcome.sentBytes) + " bytes enviados)";
    const std::string method = outcome.method.empty() ? "-" : outcome.method;
    // A name the client made up is not a series of its own.
    if (options().countCalls)
        m_server.metrics.countCall(outcome.errorCode == rpc::MethodNotFound ? std::string_view("(desconhecido)")
                                                                            : std::string_view(method),
                                   outcomeOfCode(outcome.ok ? 0 : outcome.errorCode), ms / 1000);
    log(method, ms, what);
    if (outcome.streamed) {
        // The request is done with: its body's memory goes back.
        releaseBodyMemory();
        // The last pieces may still be queued: the answer ends after them.
        m_piecesFinished = true;
        m_piecesCutShort = outcome.cutShort;
        return sendPieces();
    }
    m_pieces.reset();
    // An answer sent whole is held until its client has taken it, for as long
    // as the write deadline: many slow readers of large answers could
    // otherwise hold any amount. It counts against the memory budget of the
    // request bodies, and one that does not fit is refused (its request's own
    // share has just gone back).
    releaseBodyMemory();
    if (!m_server.bodies.tryAcquire(outcome.body.size())) {
        const std::string message = "O servidor está com respostas grandes demais aguardando clientes lentos ("
            + std::to_string(m_server.bodies.total() >> 20) + " MiB); tente de novo em instantes.";
        m_server.metrics.countRefusal(RefusalKind::Answer);
        log(method, 0, "resposta de " + std::to_string(outcome.body.size()) + " bytes recusada: " + message);
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
// header before the first; once the method is done and the queue empty, the
// last chunk, or for an answer cut short no proper end at all: the
// connection is closed, so that no client can take what came for a whole
// answer.
template <class Stream>
void HttpSession<Stream>::sendPieces()
{
    if (!m_pieces || m_pieceInFlight)
        return;
    const std::string* piece = m_pieces->front();
    if (!piece) {
        if (m_piecesFinished)
            endPieces();
        return;
    }
    if (!m_piecesStarted) {
        m_piecesStarted = true;
        std::string head = "HTTP/1.1 200 OK\r\nContent-Type: ";
        head += CborType;
        head += "\r\nTransfer-Encoding: chunked\r\n";
        if (!m_piecesKeepAlive)
            head += "Connection: close\r\n";
        head += "\r\n";
        m_piecesHead = std::move(head);
        // The whole answer has the time a whole answer has: a client taking
        // its pieces one slow read at a time must not hold the call's worker
        // (and the queued pieces) for longer.
        m_piecesDeadline = Clock::now() + std::chrono::milliseconds(options().writeTimeoutMs);
    } else {
        m_piecesHead.clear();
    }
    m_pieceInFlight = true;
    lowest().expires_at(m_piecesDeadline);
    asio::async_write(m_stream, beast::buffers_cat(asio::buffer(m_piecesHead), http::make_chunk(asio::buffer(*piece))),
                      [self = self()](beast::error_code ec, std::size_t) { self->onPieceSent(ec); });
}

template <class Stream>
void HttpSession<Stream>::onPieceSent(beast::error_code ec)
{
    m_pieceInFlight = false;
    if (ec) {
        m_pieces->abandon();
        close();
        if (m_piecesFinished)
            endPieces();
        return;
    }
    m_pieces->done();
    sendPieces();
}

template <class Stream>
void HttpSession<Stream>::endPieces()
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
    asio::async_write(m_stream, http::make_chunk_last(), [self = self(), keepAlive](beast::error_code ec, std::size_t) {
        --self->m_server.inFlight;
        if (ec || !keepAlive)
            return self->close();
        self->readNext();
    });
}

TRD_HTTP_SESSION_MEMBER(void, call, (Request, bool))

} // namespace trd::server
