// A request for changes asked with fluxo=S (docs/protocol.md, "Live
// changes"): one answer for the whole wait, chunked, every batch a chunk of
// its own holding one line of JSON, the same object a plain request gets.
//
// A follower in step costs the server one write a batch instead of a whole
// exchange (reading and parsing its next request, checking its session, a
// timer, a watch on its socket, an answer's header): with fifty followers
// those exchanges were half the server's processor time under steady saves.
// Batches are gathered as the follower itself gathers between plain
// requests: after a chunk the next poll waits StreamGather, so a burst of
// saves goes out as one chunk. The answer ends, with a last chunk that moves
// the cursor only, when the wait runs out, when the follower falls behind
// what memory keeps (its next request is read from the history on a worker),
// or when its rights lapse (the next request is refused with the reason);
// a reload answer ends it too. Everything runs on the connection's strand.
#include "FeedAnswer.h"
#include "HttpSession.h"
#include "RpcError.h"
#include "ServerError.h"

#include <charconv>
#include <cstdio>
#include <utility>

namespace trd::server {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

constexpr std::chrono::milliseconds StreamGather{25};

void appendChunk(std::string& out, const std::string& line)
{
    char size[20];
    const auto res = std::to_chars(size, size + sizeof size, line.size() + 1, 16);
    out.append(size, res.ptr);
    out += "\r\n";
    out += line;
    out += "\n\r\n";
}

} // namespace

template <class Stream>
void HttpSession<Stream>::startFeedStream(const FeedRequest& request, const CallContext& context, Asked asked,
                                          std::string user)
{
    m_user = std::move(user);
    if (!m_server.waiting.take(address()))
        return feedRefused(http::status::service_unavailable, rpc::codeFor(ErrorKind::Unavailable),
                           "Pedidos de alterações em espera demais deste endereço (limite "
                               + std::to_string(m_server.waiting.allowance()) + "); tente de novo em instantes.",
                           asked, m_user);
    releaseBodyMemory();
    auto stream = std::make_shared<FeedStream>();
    stream->language = request.language;
    stream->since = *request.since;
    stream->reviewMarks = request.reviewMarks;
    stream->context = context;
    stream->asked = asked;
    stream->deadline = Clock::now() + std::chrono::seconds(request.waitSeconds);
    stream->held = true;
    m_feedStream = stream;
    // The follower sends nothing while its answer lasts: its socket turning
    // readable is its close.
    lowest().socket().async_wait(tcp::socket::wait_read,
                                 [self = self(), stream](beast::error_code ec) { self->onStreamPeer(ec, stream); });
    streamPoll(stream);
}

template <class Stream>
void HttpSession<Stream>::streamPoll(const std::shared_ptr<FeedStream>& stream)
{
    if (stream->over)
        return;
    if (!m_server.feed->answersFromMemory(stream->since))
        return streamWrite(stream, feed::changesAnswer(stream->since, {}), true);
    const std::uint64_t round = ++stream->round;
    std::optional<feed::FeedAnswer> answer;
    try {
        answer = m_server.feed->poll(
            stream->language, stream->since,
            [self = self(), stream, round](feed::FeedAnswer later) {
                asio::post(self->m_stream.get_executor(), [self, stream, round, later = std::move(later)]() mutable {
                    self->streamChanged(stream, round, std::move(later));
                });
            },
            stream->ticket, stream->reviewMarks);
    } catch (const std::exception&) {
        // Read from memory, the poll has nothing to fail on but a server
        // stopping: the follower asks again and meets what there is then.
        return streamWrite(stream, feed::changesAnswer(stream->since, {}), true);
    }
    if (answer)
        return streamWrite(stream, std::move(*answer), false);
    stream->waiting = true;
    m_feedWait.expires_at(stream->deadline);
    m_feedWait.async_wait(
        [self = self(), stream, round](beast::error_code ec) { self->streamWaitOver(ec, stream, round); });
}

template <class Stream>
void HttpSession<Stream>::streamChanged(const std::shared_ptr<FeedStream>& stream, std::uint64_t round,
                                        feed::FeedAnswer answer)
{
    if (stream->over || !stream->waiting || stream->round != round)
        return;
    stream->waiting = false;
    m_feedWait.cancel();
    // The rights of the moment the change goes out: a user removed or expired
    // meanwhile is not told it, and its next request is refused with why.
    if (!m_server.handler.admit(stream->context).ok)
        return streamWrite(stream, feed::changesAnswer(stream->since, {}), true);
    streamWrite(stream, std::move(answer), false);
}

template <class Stream>
void HttpSession<Stream>::streamWaitOver(beast::error_code ec, const std::shared_ptr<FeedStream>& stream,
                                         std::uint64_t round)
{
    if (ec || stream->over || !stream->waiting || stream->round != round)
        return;
    // nullopt: the feed answered meanwhile, and its answer is on its way here.
    if (auto now = m_server.feed->cancel(stream->ticket)) {
        stream->waiting = false;
        streamWrite(stream, std::move(*now), true);
    }
}

template <class Stream>
void HttpSession<Stream>::streamWrite(const std::shared_ptr<FeedStream>& stream, feed::FeedAnswer answer, bool last)
{
    // Nothing new, a reload, or a server that has no cursor yet: the stream
    // ends with it.
    if (!answer.changes)
        last = true;
    // Held until the follower reads it, as every answer is.
    if (!m_server.bodies.tryAcquire(answer.body.size())) {
        last = true;
        answer = feed::changesAnswer(stream->since, {});
    } else {
        stream->budget = answer.body.size();
    }
    if (!last)
        stream->since = std::max(stream->since, answer.upTo);
    stream->out.clear();
    if (!std::exchange(stream->started, true)) {
        stream->out = "HTTP/1.1 200 OK\r\nContent-Type: ";
        stream->out += JsonType;
        stream->out += "\r\nCache-Control: no-store\r\nTransfer-Encoding: chunked\r\n";
        if (!stream->asked.keepAlive)
            stream->out += "Connection: close\r\n";
        stream->out += "\r\n";
    }
    appendChunk(stream->out, answer.body);
    if (last)
        stream->out += "0\r\n\r\n";
    ++stream->chunks;
    lowest().expires_after(std::chrono::milliseconds(options().writeTimeoutMs));
    asio::async_write(
        m_stream, asio::buffer(stream->out),
        [self = self(), stream, last](beast::error_code ec, std::size_t) { self->onStreamWritten(ec, stream, last); });
}

template <class Stream>
void HttpSession<Stream>::onStreamWritten(beast::error_code ec, const std::shared_ptr<FeedStream>& stream, bool last)
{
    if (stream->budget)
        m_server.bodies.release(std::exchange(stream->budget, 0));
    stream->out.clear();
    if (stream->over)
        return; // its client went away meanwhile
    if (ec) {
        settleFeedStream(*stream, "conexão perdida durante o fluxo");
        return close();
    }
    if (last) {
        settleFeedStream(*stream, nullptr);
        if (!stream->asked.keepAlive)
            return close();
        return readNext();
    }
    const auto now = Clock::now();
    if (now >= stream->deadline)
        return streamWrite(stream, feed::changesAnswer(stream->since, {}), true);
    m_feedWait.expires_at(std::min(now + StreamGather, stream->deadline));
    m_feedWait.async_wait([self = self(), stream](beast::error_code ec) {
        if (!ec)
            self->streamPoll(stream);
    });
}

// The stream is over: its place among its address's waiting requests goes
// back and the request stops counting. False when it was over already.
template <class Stream>
bool HttpSession<Stream>::settleFeedStream(FeedStream& stream, const char* how)
{
    if (std::exchange(stream.over, true))
        return false;
    if (std::exchange(stream.held, false))
        m_server.waiting.give(address());
    if (m_feedStream.get() == &stream)
        m_feedStream.reset();
    --m_server.inFlight;
    log("alteracoes", msSince(stream.asked.start),
        how ? how : "fluxo de " + std::to_string(stream.chunks) + (stream.chunks == 1 ? " resposta" : " respostas"));
    return true;
}

template <class Stream>
void HttpSession<Stream>::onStreamPeer(beast::error_code ec, const std::shared_ptr<FeedStream>& stream)
{
    if (ec || stream->over)
        return;
    if (!peerHasGone(lowest().socket().native_handle()))
        return; // a pipelined request: read once this answer has ended
    if (stream->waiting)
        m_server.feed->cancel(stream->ticket);
    stream->waiting = false;
    m_feedWait.cancel();
    settleFeedStream(*stream, "cliente desconectou durante o fluxo");
    close();
}

TRD_HTTP_SESSION_MEMBER(void, startFeedStream, (const FeedRequest&, const CallContext&, Asked, std::string))

} // namespace trd::server
