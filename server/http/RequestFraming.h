#pragma once
// How a request is framed, as plain functions over bytes and parsed headers
// (no socket): the checks a connection makes between the first byte of a
// request and the call it names. Each says yes or gives the answer that
// refuses the request, so the same rules are tested and fuzzed here and
// applied by every connection (HttpSession).
//
// The order is that of the connection: the buffered bytes are scanned until
// the head is whole (scanHead), the head is parsed, its fields are checked
// (headRefusal), the body is read within its share of the memory for bodies
// (requestCost), and the request is routed (routeRequest). frameHead runs
// the same steps at once over bytes already in hand.
#include "HostPolicy.h"

#include <boost/beast/core/error.hpp>
#include <boost/beast/http.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trd::server {

namespace http = boost::beast::http;

inline constexpr std::string_view ObjectPath = "/Trd09300.rdmTraducao";
inline constexpr std::string_view HealthPath = "/health";
inline constexpr std::string_view AlivePath = "/healthz";
inline constexpr std::string_view ReadyPath = "/readyz";
inline constexpr std::string_view MetricsPath = "/metrics";

struct FramingLimits {
    std::size_t maxHeaderBytes = 16u << 10; // request line and header fields together
    int maxHeaderCount = 64;
    std::size_t maxBody = 256u << 20;
};

// The answer that refuses a request; the connection closes after it.
struct Refusal {
    http::status status = http::status::bad_request;
    std::string message;
};

// Bytes that no request line begins with (a TLS handshake sent to the plain
// port, binary noise): refused as soon as they arrive rather than after a
// blank line that is never coming.
bool cannotStartARequest(std::string_view buffered);

// A header line that starts with a blank continues the one before it
// (obsolete line folding): refused, as RFC 9112 allows, since readers
// disagree on what such a field holds. Empty when the head has none.
std::string foldedLine(std::string_view head);

// Where the gathering of a request head stands. The whole head is gathered
// before it is parsed, so that its lines are checked as they were sent: the
// parser would join a folded line into its field without a trace.
struct HeadScan {
    enum class State {
        NeedMore, // read more, then scan again from `scanned`
        Complete, // the head ends in the buffer: parse it
        NotARequest, // cannotStartARequest
        TooLarge, // no end within the header limit
        Folded, // foldedLine: refused with `refusal`
    };
    State state = State::NeedMore;
    std::size_t scanned = 0;
    std::string refusal;
};
HeadScan scanHead(std::string_view buffered, std::size_t scanned, std::size_t maxHeaderBytes);

// What a failed read of a request means: the client went (or timed out),
// or what it sent is refused.
struct ReadFailure {
    enum class Action { Close, TimedOut, Refuse };
    Action action = Action::Close;
    Refusal refusal;
};
ReadFailure readFailure(boost::beast::error_code ec, const FramingLimits& limits);

// The fields of a parsed head: their number, fields that must appear once,
// Host on HTTP/1.1, and compression, which is never inflated.
std::optional<Refusal> headRefusal(const http::request_header<>& head, const FramingLimits& limits);

// The share of the memory for bodies a request holds while it is read and
// served: the body, the parsed string holding the packet and its copy.
constexpr std::size_t requestCost(std::size_t body)
{
    return 3 * body + (64u << 10);
}
// What a chunked body reserves first and then grows by.
inline constexpr std::size_t ChunkStep = 1u << 20;
// The share reserved once the head is read: the whole body's when its length
// is announced, a first step for a chunked body, none without a body.
std::size_t firstShare(bool bodyDone, std::optional<std::uint64_t> contentLength);
// The share a chunked body of `received` bytes so far grows to.
std::size_t grownShare(std::size_t received, std::size_t maxBody);

// Where a request goes, once read.
struct RequestRoute {
    enum class Kind {
        Health, // GET or HEAD /health
        Feed, // GET of the change feed, when the server serves one; `query` is what follows '?'
        Call, // POST of JSON-RPC calls
        NotFound, // no such object: answered with `refusal` (404), the connection kept
        Refused, // cross-site or not JSON: answered with `refusal`, the connection closed
        Alive, // GET or HEAD /healthz: the process and its event loop answer
        Ready, // GET or HEAD /readyz: it serves calls (a worker and the database answer)
        Metrics, // GET /metrics: the Prometheus text
    };
    Kind kind = Kind::NotFound;
    std::string path; // the target without its query
    std::string query;
    Refusal refusal;
};
RequestRoute routeRequest(const http::request_header<>& head, const HostPolicy& hosts, bool feedServed);

// A browser on another site can post to a loopback or LAN server; such
// requests carry that site's Origin, or (DNS rebinding) a Host that is not
// ours. Neither is ever sent by the client program. Empty when neither.
std::string crossSiteRefusal(const http::request_header<>& head, const HostPolicy& hosts);

// The whole framing of a request head held in `bytes`, step by step as a
// connection applies it.
struct FramedHead {
    enum class Kind { NeedMore, Closed, Refused, Routed };
    Kind kind = Kind::NeedMore;
    Refusal refusal; // Refused
    RequestRoute route; // Routed
    std::optional<std::uint64_t> contentLength;
    std::size_t headBytes = 0; // of `bytes`, up to the body
};
FramedHead frameHead(std::string_view bytes, const FramingLimits& limits, const HostPolicy& hosts, bool feedServed);

// The parser's announced body length, as the framing takes it.
inline std::optional<std::uint64_t> announcedLength(const boost::optional<std::uint64_t>& length)
{
    return length ? std::optional<std::uint64_t>(*length) : std::nullopt;
}

// Text helpers of the framing.
std::string_view viewOf(boost::beast::string_view text);
std::string lowerAscii(std::string_view text);
std::string_view trimmed(std::string_view text);

} // namespace trd::server
