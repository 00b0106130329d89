#pragma once
// One client connection of the HTTP server, over plain TCP or TLS: it reads
// a request, has it answered, and reads the next one, each step a named
// member that starts the next asynchronous operation, so the connection
// holds no thread while it waits. Its members live in three files:
//
//   HttpSession.cpp          reading and framing a request (RequestFraming.h),
//                            its body's share of memory, refusals, health,
//                            sending an answer, closing
//   HttpSessionAnswers.cpp   a call run on a worker, and its answer, sent
//                            whole or streamed in chunks as it is written
//   HttpSessionFeed.cpp      a request for changes: its wait in the change
//                            feed, its client going away, its answer
//   HttpSessionFeedStream.cpp  the same asked with fluxo=S: every batch of
//                            the wait as a chunk of one answer
//
// Every handler runs on the connection's strand; the calls and the feed's
// reads run on the workers and come back through the strand.
#include "FeedAnswer.h"
#include "FeedRequest.h"
#include "ServerShared.h"

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace trd::server {

namespace beast = boost::beast;

using PlainStream = beast::tcp_stream;
using TlsStream = beast::ssl_stream<beast::tcp_stream>;

template <class Stream>
class HttpSession : public CountedConnection {
public:
    HttpSession(ServerShared& server, Stream stream, std::string address);
    ~HttpSession() override;

    void evict() override;
    void start();

private:
    using Clock = std::chrono::steady_clock;
    using Request = http::request<http::string_body>;
    using Response = http::response<http::string_body>;

    // How a request was asked, for its answer.
    struct Asked {
        unsigned version = 11;
        bool keepAlive = false;
        Clock::time_point start;
    };
    // A waiting request for changes, on the connection's strand (but
    // `ticket`, set by the feed when the request is kept).
    struct FeedWait {
        std::uint64_t ticket = 0;
        bool done = false; // answered, or its client gone
        bool held = false; // holds one of its address's waiting places
    };

    std::shared_ptr<HttpSession> self() { return std::static_pointer_cast<HttpSession>(shared_from_this()); }
    beast::tcp_stream& lowest() { return beast::get_lowest_layer(m_stream); }
    const HttpOptions& options() const { return m_server.options; }

    // HttpSession.cpp
    void onSniffed(beast::error_code ec, std::size_t n);
    void onHandshake(beast::error_code ec, std::size_t used);
    void readNext();
    void onFirstBytes(beast::error_code ec, std::size_t n);
    void readRequest();
    void gatherHeader();
    void onHeader(beast::error_code ec);
    void reserveThen(std::size_t cost, std::function<void()> next);
    void onBudgetGranted(std::size_t more, const std::function<void()>& next);
    void onBudgetWaitOver(beast::error_code ec, std::uint64_t ticket);
    std::string budgetRefusal() const;
    void releaseBodyMemory();
    void continueThenRead();
    void readBody();
    void onBodyPart(beast::error_code ec);
    void failRead(beast::error_code ec);
    void refuse(http::status status, const std::string& message);
    void drainThenClose();
    void drain();
    void onRequest();
    void health(unsigned version, bool keepAlive);
    void send(Response res, bool keepAlive, bool counted);
    void onSent(beast::error_code ec, bool keepAlive, bool counted);
    void refusePlainHttp();
    void close();
    void log(std::string_view method, double ms, const std::string& what);

    // HttpSessionAnswers.cpp
    void call(Request req, bool keepAlive);
    void runCall(const Request& req, Asked asked, const std::shared_ptr<AnswerPieces>& pieces);
    void answer(RpcOutcome outcome, unsigned version, bool keepAlive, double ms);
    void sendPieces();
    void onPieceSent(beast::error_code ec);
    void endPieces();

    // HttpSessionFeed.cpp
    void changes(Request req, const std::string& query, bool keepAlive);
    void pollFeed(const FeedRequest& request, const CallContext& context, Asked asked);
    void feedRefused(http::status status, int code, const std::string& message, Asked asked, std::string user);
    void feedPolled(std::optional<feed::FeedAnswer> answer, const std::shared_ptr<FeedWait>& state, int waitSeconds,
                    Asked asked, std::string user);
    void feedChanged(const std::shared_ptr<FeedWait>& state, const CallContext& context, std::string later,
                     Asked asked);
    void feedWaitOver(beast::error_code ec, const std::shared_ptr<FeedWait>& state, Asked asked);
    void endFeedWait(FeedWait& wait);
    void watchFeedPeer(const std::shared_ptr<FeedWait>& state, Clock::time_point start);
    void onFeedPeer(beast::error_code ec, const std::shared_ptr<FeedWait>& state, Clock::time_point start);
    void feedAnswered(http::status status, std::string body, Asked asked, const std::string& error);

    // HttpSessionFeedStream.cpp
    // A streamed answer of changes (fluxo=S), on the connection's strand
    // (but `ticket`, set by the feed when a poll is kept).
    struct FeedStream {
        std::string language;
        std::int64_t since = 0; // the cursor of the last chunk sent
        bool reviewMarks = false;
        CallContext context;
        Asked asked;
        Clock::time_point deadline; // the end of the wait: the answer ends there
        std::uint64_t ticket = 0;
        std::uint64_t round = 0; // which poll of the stream the feed answers
        bool waiting = false; // a poll waits in the feed
        bool held = false; // holds one of its address's waiting places
        bool over = false; // ended, or its client gone
        bool started = false; // the header went out
        int chunks = 0;
        std::string out; // the bytes being written
        std::size_t budget = 0; // of the memory budget, by `out`
    };
    void startFeedStream(const FeedRequest& request, const CallContext& context, Asked asked, std::string user);
    void streamPoll(const std::shared_ptr<FeedStream>& stream);
    void streamChanged(const std::shared_ptr<FeedStream>& stream, std::uint64_t ticket, feed::FeedAnswer answer);
    void streamWaitOver(beast::error_code ec, const std::shared_ptr<FeedStream>& stream, std::uint64_t ticket);
    void streamWrite(const std::shared_ptr<FeedStream>& stream, feed::FeedAnswer answer, bool last);
    void onStreamWritten(beast::error_code ec, const std::shared_ptr<FeedStream>& stream, bool last);
    bool settleFeedStream(FeedStream& stream, const char* how);
    void onStreamPeer(beast::error_code ec, const std::shared_ptr<FeedStream>& stream);

    // HttpSessionProbes.cpp: /healthz, /readyz, /metrics
    void alive(unsigned version, bool keepAlive);
    void ready(unsigned version, bool keepAlive);
    void metrics(const Request& req, bool keepAlive);

    ServerShared& m_server;
    Stream m_stream;
    std::string m_user = "-"; // the last call's, for the log lines of the connection
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::string_body>> m_parser;
    std::shared_ptr<Response> m_response;
    // The streamed answer being sent (call to endPieces).
    std::shared_ptr<AnswerPieces> m_pieces;
    std::string m_piecesHead;
    bool m_piecesStarted = false;
    bool m_piecesFinished = false; // the method is done: the queue holds all that is left
    bool m_piecesCutShort = false;
    bool m_piecesKeepAlive = false;
    bool m_pieceInFlight = false;
    Clock::time_point m_piecesDeadline;
    boost::asio::steady_timer m_feedWait; // how long a request for changes may wait
    std::shared_ptr<FeedWait> m_feedState; // the request for changes that waits, if any
    std::shared_ptr<FeedStream> m_feedStream; // the streamed answer of changes being sent, if any
    std::size_t m_answerHeld = 0; // of the memory budget, by the answer being sent whole
    bool m_lingering = false;
    std::size_t m_reserved = 0; // of the server's memory for bodies
    std::uint64_t m_budgetTicket = 0; // waiting for it
    boost::asio::steady_timer m_budgetWait;
    std::size_t m_scanned = 0; // bytes of the buffer already searched for the head's end
    std::size_t m_drained = 0;
    static constexpr std::size_t DrainLimit = 64u << 20;
};

// The members one file defines and the others call, instantiated there for
// both streams.
#define TRD_HTTP_SESSION_MEMBER(ret, name, params)                                                                     \
    template ret HttpSession<PlainStream>::name params;                                                                \
    template ret HttpSession<TlsStream>::name params;

inline double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

inline constexpr const char* JsonType = "application/json; charset=utf-8";
inline constexpr const char* CborType = "application/cbor";

} // namespace trd::server
