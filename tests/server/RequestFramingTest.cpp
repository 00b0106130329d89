// The framing of a request head without a socket: each refusal the edge
// makes, with its status and words, the gathering of a head that arrives in
// pieces, and the share of body memory a request reserves.
#include "RequestFraming.h"

#include <gtest/gtest.h>

#include <string>

using namespace trd::server;
using Kind = FramedHead::Kind;
using Route = RequestRoute::Kind;

namespace {

const HostPolicy LocalHosts("127.0.0.1", {});

std::string call(const std::string& extra = "", const std::string& type = "application/json")
{
    return "POST /Trd09300.rdmTraducao HTTP/1.1\r\nHost: 127.0.0.1:8211\r\nContent-Type: " + type
        + "\r\nContent-Length: 2\r\n" + extra + "\r\n{}";
}

FramedHead frame(const std::string& bytes, bool feedServed = true)
{
    return frameHead(bytes, FramingLimits{}, LocalHosts, feedServed);
}

} // namespace

TEST(RequestFraming, EachRefusalHasItsStatusAndItsWords)
{
    struct Case {
        const char* why;
        std::string bytes;
        http::status status;
        const char* words;
    };
    const std::string manyFields = [] {
        std::string fields;
        for (int i = 0; i < 64; ++i)
            fields += "X-Campo-" + std::to_string(i) + ": v\r\n";
        return fields;
    }();
    const Case cases[] = {
        {"two lengths could frame two different bodies", call("Content-Length: 2\r\n"), http::status::bad_request,
         "Requisição HTTP malformada: o cabeçalho Content-Length aparece mais de uma vez."},
        {"two Hosts: a proxy and the server could each check another", call("Host: outro\r\n"),
         http::status::bad_request, "o cabeçalho Host aparece mais de uma vez."},
        {"two tokens", call("Authorization: Bearer a\r\nAuthorization: Bearer b\r\n"), http::status::bad_request,
         "o cabeçalho Authorization aparece mais de uma vez."},
        {"HTTP/1.1 names its host", "POST /Trd09300.rdmTraducao HTTP/1.1\r\nContent-Length: 0\r\n\r\n",
         http::status::bad_request, "Requisição HTTP malformada: falta o cabeçalho Host."},
        {"the field count is bounded", call(manyFields), http::status::request_header_fields_too_large,
         "Requisição com cabeçalhos demais: o limite é de 64."},
        {"a compressed body is never inflated", call("Content-Encoding: gzip\r\n"),
         http::status::unsupported_media_type, "Requisição comprimida não é aceita: envie o corpo sem compressão."},
        {"nor one compressed as a transfer coding",
         "POST /Trd09300.rdmTraducao HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
         "Transfer-Encoding: gzip, chunked\r\n\r\n",
         http::status::unsupported_media_type, "Requisição comprimida não é aceita"},
        {"a body over the limit is refused before it is read",
         "POST /Trd09300.rdmTraducao HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 268435457\r\n\r\n",
         http::status::payload_too_large, "Requisição grande demais: o limite é de 256 MiB."},
        {"a folded line could hide a field", call("X-Um: a\r\n  Content-Length: 9\r\n"), http::status::bad_request,
         "Requisição HTTP malformada: linha de cabeçalho dobrada (começa com espaço)."},
        {"a page of another site", call("Origin: http://exemplo.com\r\n"), http::status::forbidden,
         "Requisição recusada: origem de outro site (http://exemplo.com)."},
        {"DNS rebinding: a name that is not ours",
         "POST /Trd09300.rdmTraducao HTTP/1.1\r\nHost: exemplo.com\r\nContent-Type: application/json\r\n"
         "Content-Length: 0\r\n\r\n",
         http::status::forbidden, "Requisição recusada: o servidor local não atende pelo nome exemplo.com."},
        {"a form post from a page is not a call", call("", "text/plain"), http::status::unsupported_media_type,
         "Tipo de conteúdo não aceito: as chamadas devem ser application/json."},
        {"the feed is cross-site checked too",
         "GET /Trd09300.rdmTraducao/alteracoes?idioma=ENG HTTP/1.1\r\nHost: 127.0.0.1\r\n"
         "Origin: https://exemplo.com\r\n\r\n",
         http::status::forbidden, "origem de outro site"},
        {"a TLS hello on the plain port", "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", http::status::bad_request,
         "Requisição HTTP malformada: bad method."},
        {"not HTTP at all", "GET /health HTTX/1.1\r\nHost: 127.0.0.1\r\n\r\n", http::status::bad_request,
         "Requisição HTTP malformada: "},
    };
    for (const Case& c : cases) {
        const FramedHead framed = frame(c.bytes);
        const Refusal& refusal = framed.kind == Kind::Routed ? framed.route.refusal : framed.refusal;
        const bool refused =
            framed.kind == Kind::Refused || (framed.kind == Kind::Routed && framed.route.kind == Route::Refused);
        EXPECT_TRUE(refused) << c.why;
        EXPECT_EQ(refusal.status, c.status) << c.why;
        EXPECT_NE(refusal.message.find(c.words), std::string::npos) << c.why << ": " << refusal.message;
    }
}

TEST(RequestFraming, RequestsAreRoutedByPathAndMethod)
{
    struct Case {
        const char* why;
        std::string bytes;
        bool feedServed;
        Route route;
        const char* detail; // the feed's query, or the words of a 404
    };
    const Case cases[] = {
        {"a call", call(), true, Route::Call, ""},
        {"a call with a charset", call("", "Application/JSON; charset=utf-8"), true, Route::Call, ""},
        {"HTTP/1.0 needs no Host",
         "POST /Trd09300.rdmTraducao HTTP/1.0\r\nContent-Type: application/json\r\n"
         "Content-Length: 0\r\n\r\n",
         true, Route::Call, ""},
        {"health", "GET /health HTTP/1.1\r\nHost: localhost\r\n\r\n", true, Route::Health, ""},
        {"health asked with HEAD", "HEAD /health?x HTTP/1.1\r\nHost: localhost\r\n\r\n", true, Route::Health, ""},
        {"the feed, its query apart",
         "GET /Trd09300.rdmTraducao/alteracoes?idioma=ENG&desde=3 HTTP/1.1\r\n"
         "Host: [::1]:8211\r\n\r\n",
         true, Route::Feed, "idioma=ENG&desde=3"},
        {"a read-only server has no feed", "GET /Trd09300.rdmTraducao/alteracoes HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
         false, Route::NotFound, "Objeto remoto desconhecido: Trd09300.rdmTraducao/alteracoes."},
        {"calls are posted", "GET /Trd09300.rdmTraducao HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", true, Route::NotFound,
         "Objeto remoto desconhecido: Trd09300.rdmTraducao."},
        {"a target that is only a query has no path to name", "GET ?x HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", true,
         Route::NotFound, "Objeto remoto desconhecido: ."},
    };
    for (const Case& c : cases) {
        const FramedHead framed = frame(c.bytes, c.feedServed);
        if (framed.kind != Kind::Routed) {
            // The parser may refuse a target outright, which is as safe.
            EXPECT_EQ(framed.kind, Kind::Refused) << c.why;
            EXPECT_EQ(c.route, Route::NotFound) << c.why;
            continue;
        }
        EXPECT_EQ(framed.route.kind, c.route) << c.why;
        if (c.route == Route::Feed) {
            EXPECT_EQ(framed.route.query, c.detail) << c.why;
        }
        if (c.route == Route::NotFound) {
            EXPECT_EQ(framed.route.refusal.status, http::status::not_found) << c.why;
            EXPECT_EQ(framed.route.refusal.message, c.detail) << c.why;
        }
    }
}

TEST(RequestFraming, AHeadArrivingInPiecesIsGatheredAndBounded)
{
    const std::string head = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    // Byte by byte, the end found wherever it is split, scanning only what
    // is new (less the three bytes the end may start in).
    std::size_t scanned = 0;
    for (std::size_t n = 1; n < head.size(); ++n) {
        const HeadScan scan = scanHead(std::string_view(head).substr(0, n), scanned, 1024);
        ASSERT_EQ(scan.state, HeadScan::State::NeedMore) << n;
        EXPECT_LE(scan.scanned, n);
        EXPECT_GE(scan.scanned + 3, n);
        scanned = scan.scanned;
    }
    EXPECT_EQ(scanHead(head, scanned, 1024).state, HeadScan::State::Complete);
    EXPECT_EQ(frame(head.substr(0, head.size() - 1)).kind, Kind::NeedMore);

    // An empty line before the request line is not taken for noise, nor
    // one cut in two; a method with a control byte is.
    EXPECT_EQ(scanHead("\r\nGET", 0, 1024).state, HeadScan::State::NeedMore);
    EXPECT_EQ(scanHead("\r", 0, 1024).state, HeadScan::State::NeedMore);
    EXPECT_EQ(scanHead("GE\x01T / HTTP/1.1", 0, 1024).state, HeadScan::State::NotARequest);
    EXPECT_EQ(scanHead(" GET / HTTP/1.1", 0, 1024).state, HeadScan::State::NotARequest);

    // No end within the limit: refused with the limit in KiB.
    const std::string endless = "GET /health HTTP/1.1\r\nX-Longo: " + std::string(2048, 'a');
    EXPECT_EQ(scanHead(endless, 0, 2048).state, HeadScan::State::TooLarge);
    FramingLimits small;
    small.maxHeaderBytes = 2048;
    const FramedHead framed = frameHead(endless, small, LocalHosts, true);
    ASSERT_EQ(framed.kind, Kind::Refused);
    EXPECT_EQ(framed.refusal.status, http::status::request_header_fields_too_large);
    EXPECT_EQ(framed.refusal.message, "Cabeçalhos da requisição grandes demais: o limite é de 2 KiB.");
}

TEST(RequestFraming, ABodyReservesItsShareBeforeItIsRead)
{
    // No body: the request's own overhead only; an announced length: all of
    // it at once, three times over.
    EXPECT_EQ(firstShare(true, std::nullopt), requestCost(0));
    EXPECT_EQ(firstShare(false, 1000u), 3000u + (64u << 10));
    // A chunked body starts with one step and grows by at least a step or
    // half of what came, never past the cost of the largest body.
    EXPECT_EQ(firstShare(false, std::nullopt), requestCost(ChunkStep));
    const std::size_t maxBody = 8 * ChunkStep;
    std::size_t received = 0, steps = 0;
    for (std::size_t share = firstShare(false, std::nullopt); share < requestCost(maxBody); ++steps) {
        received = (share - requestCost(0)) / 3; // it filled its share
        const std::size_t next = grownShare(received, maxBody);
        ASSERT_GT(next, share);
        EXPECT_LE(next, requestCost(maxBody));
        share = next;
    }
    EXPECT_LE(steps, 6u) << "grows geometrically, not a step at a time";
    EXPECT_EQ(grownShare(maxBody, maxBody), requestCost(maxBody));
}

TEST(RequestFraming, AFailedReadClosesOrRefusesWithTheLimit)
{
    FramingLimits limits;
    limits.maxBody = 3u << 20;
    EXPECT_EQ(readFailure(http::error::end_of_stream, limits).action, ReadFailure::Action::Close);
    EXPECT_EQ(readFailure(boost::asio::error::connection_reset, limits).action, ReadFailure::Action::Close);
    EXPECT_EQ(readFailure(boost::beast::error::timeout, limits).action, ReadFailure::Action::TimedOut);
    const ReadFailure body = readFailure(http::error::body_limit, limits);
    ASSERT_EQ(body.action, ReadFailure::Action::Refuse);
    EXPECT_EQ(body.refusal.status, http::status::payload_too_large);
    EXPECT_EQ(body.refusal.message, "Requisição grande demais: o limite é de 3 MiB.");
    const ReadFailure chunk = readFailure(http::error::bad_chunk, limits);
    EXPECT_EQ(chunk.refusal.status, http::status::bad_request);
    EXPECT_EQ(chunk.refusal.message.rfind("Requisição HTTP malformada: ", 0), 0u) << chunk.refusal.message;
}
