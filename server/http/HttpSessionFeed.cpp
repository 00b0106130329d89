// A request for a language's changes (FeedRequest.h, docs/protocol.md).
// Checked on a worker (the session token, a cursor behind memory read from
// the database); when there is nothing yet, it waits in the feed: the
// connection holds a timer and no thread, and is answered by the feed when a
// change comes or, at the end of the wait, by taking the request back.
#include "HttpSession.h"

#include "RpcError.h"
#include "ServerError.h"

#include <utility>

namespace trd::server {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

// A feed request refused: 401 asks for a log-in; a user who has one but no
// role gets 403, since logging in again would not help.
http::status refusalStatus(int code)
{
    return code == rpc::Forbidden ? http::status::forbidden : http::status::unauthorized;
}

} // namespace

template <class Stream>
void HttpSession<Stream>::changes(Request req, const std::string& query, bool keepAlive)
{
    ++m_server.inFlight;
    FeedRequest request = readFeedRequest(query);
    CallContext context;
    context.authorization = std::string(viewOf(req[http::field::authorization]));
    const unsigned version = req.version();
    const bool fromMemory = m_server.feed->answersFromMemory(request.since);
    // A cursor behind memory is answered whole, from the history, on a
    // worker; the follower streams from its next request on. HTTP/1.0 knows
    // no chunks.
    if (!fromMemory || !request.since || version < 11)
        request.streamed = false;
    auto work = [self = self(), request = std::move(request), context = std::move(context), version, keepAlive] {
        self->pollFeed(request, context, {version, keepAlive, Clock::now()});
    };
    // A follower in step (its cursor within what the feed keeps) needs no
    // database: it is served here, on its connection's strand, without the
    // two hops to a worker and back that every save would otherwise cost
    // each follower. A cursor behind memory is read on a worker.
    if (fromMemory)
        work();
    else
        asio::post(m_server.workers, std::move(work));
}

// On a worker, or on the strand for a follower in step.
template <class Stream>
void HttpSession<Stream>::pollFeed(const FeedRequest& request, const CallContext& context, Asked asked)
{
    const RpcHandler::Admission admission = m_server.handler.admit(context);
    if (!admission.ok)
        return feedRefused(refusalStatus(admission.code), admission.code, admission.message, asked, admission.user);
    if (!request.refusal.empty())
        return feedRefused(http::status::bad_request, rpc::InvalidParams, request.refusal, asked, admission.user);
    if (request.streamed)
        return startFeedStream(request, context, asked, admission.user); // on the strand: see changes()
    auto state = std::make_shared<FeedWait>();
    std::optional<feed::FeedAnswer> answer;
    try {
        answer = m_server.feed->poll(
            request.language, request.since,
            [self = self(), state, context, asked](feed::FeedAnswer later) {
                asio::post(self->m_stream.get_executor(),
                           [self, state, context, later = std::move(later.body), asked]() mutable {
                               self->feedChanged(state, context, std::move(later), asked);
                           });
            },
            state->ticket, request.reviewMarks);
    } catch (const ServerError& e) {
        return feedRefused(http::status::service_unavailable, rpc::codeFor(e.kind()), e.userMessage(), asked,
                           admission.user);
    } catch (const std::exception& e) {
        return feedRefused(http::status::internal_server_error, rpc::InternalError,
                           std::string("Erro no servidor: ") + e.what() + ".", asked, admission.user);
    }
    if (!answer && !m_server.waiting.take(address())) {
        // Taken back, answered or not: the address keeps the rest of its
        // connections for its calls.
        m_server.feed->cancel(state->ticket);
        return feedRefused(http::status::service_unavailable, rpc::codeFor(ErrorKind::Unavailable),
                           "Pedidos de alterações em espera demais deste endereço (limite "
                               + std::to_string(m_server.waiting.allowance()) + "); tente de novo em instantes.",
                           asked, admission.user);
    }
    asio::post(m_stream.get_executor(),
               [self = self(), answer = std::move(answer), state, wait = request.waitSeconds, asked,
                user = admission.user]() mutable {
                   self->feedPolled(std::move(answer), state, wait, asked, std::move(user));
               });
}

template <class Stream>
void HttpSession<Stream>::feedRefused(http::status status, int code, const std::string& message, Asked asked,
                                      std::string user)
{
    asio::post(m_stream.get_executor(), [self = self(), status, code, message, asked, user = std::move(user)] {
        self->m_user = user;
        self->feedAnswered(status, RpcHandler::errorBody(code, message), asked,
                           "erro " + std::to_string(code) + ": " + message);
    });
}

// On the strand: the feed's first word, an answer now or a wait.
template <class Stream>
void HttpSession<Stream>::feedPolled(std::optional<feed::FeedAnswer> answer, const std::shared_ptr<FeedWait>& state,
                                     int waitSeconds, Asked asked, std::string user)
{
    m_user = std::move(user);
    if (answer)
        return feedAnswered(http::status::ok, std::move(answer->body), asked, {});
    if (state->done) {
        m_server.waiting.give(address()); // answered before it began to wait here
        return;
    }
    state->held = true;
    m_feedState = state;
    m_feedWait.expires_after(std::chrono::seconds(waitSeconds));
    m_feedWait.async_wait(
        [self = self(), state, asked](beast::error_code ec) { self->feedWaitOver(ec, state, asked); });
    watchFeedPeer(state, asked.start);
}

// On the strand: a change came for the waiting request.
template <class Stream>
void HttpSession<Stream>::feedChanged(const std::shared_ptr<FeedWait>& state, const CallContext& context,
                                      std::string later, Asked asked)
{
    if (state->done)
        return; // its client went away meanwhile
    endFeedWait(*state);
    // The rights of the moment the change goes out, not of the moment the
    // request came in: a user removed or expired meanwhile is told so instead.
    const RpcHandler::Admission now = m_server.handler.admit(context);
    if (!now.ok)
        return feedAnswered(refusalStatus(now.code), RpcHandler::errorBody(now.code, now.message), asked,
                            "erro " + std::to_string(now.code) + ": " + now.message);
    feedAnswered(http::status::ok, std::move(later), asked, {});
}

template <class Stream>
void HttpSession<Stream>::feedWaitOver(beast::error_code ec, const std::shared_ptr<FeedWait>& state, Asked asked)
{
    if (ec || state->done)
        return; // answered by the feed meanwhile
    if (auto now = m_server.feed->cancel(state->ticket)) {
        endFeedWait(*state);
        feedAnswered(http::status::ok, std::move(now->body), asked, {});
    }
}

template <class Stream>
void HttpSession<Stream>::endFeedWait(FeedWait& wait)
{
    wait.done = true;
    if (std::exchange(wait.held, false))
        m_server.waiting.give(address());
    m_feedWait.cancel();
}

// A client that closes its connection while its request waits is let go at
// once: the connection, and its place among its address's, are free for
// others instead of waiting out the two minutes.
template <class Stream>
void HttpSession<Stream>::watchFeedPeer(const std::shared_ptr<FeedWait>& state, Clock::time_point start)
{
    lowest().socket().async_wait(tcp::socket::wait_read, [self = self(), state, start](beast::error_code ec) {
        self->onFeedPeer(ec, state, start);
    });
}

template <class Stream>
void HttpSession<Stream>::onFeedPeer(beast::error_code ec, const std::shared_ptr<FeedWait>& state,
                                     Clock::time_point start)
{
    if (ec || state->done)
        return;
    if (!peerHasGone(lowest().socket().native_handle()))
        return; // a pipelined request: read once this one is answered
    m_server.feed->cancel(state->ticket);
    endFeedWait(*state);
    --m_server.inFlight;
    log("alteracoes", msSince(start), "cliente desconectou durante a espera");
    close();
}

template <class Stream>
void HttpSession<Stream>::feedAnswered(http::status status, std::string body, Asked asked, const std::string& error)
{
    // Held until the follower reads it, and a follower may never read:
    // counted as every answer sent whole is.
    if (!m_server.bodies.tryAcquire(body.size())) {
        status = http::status::service_unavailable;
        const std::string message = "O servidor está com respostas grandes demais aguardando clientes lentos; "
                                    "tente de novo em instantes.";
        body = RpcHandler::errorBody(rpc::codeFor(ErrorKind::Unavailable), message);
        log("alteracoes", msSince(asked.start), "resposta recusada: " + message);
    } else {
        m_answerHeld = body.size();
        log("alteracoes", msSince(asked.start), error.empty() ? std::to_string(body.size()) + " bytes" : error);
    }
    Response res{status, asked.version};
    res.set(http::field::content_type, JsonType);
    res.set(http::field::cache_control, "no-store");
    res.body() = std::move(body);
    send(std::move(res), asked.keepAlive, true);
}

TRD_HTTP_SESSION_MEMBER(void, changes, (Request, const std::string&, bool))

} // namespace trd::server
