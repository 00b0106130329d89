#include "RequestFraming.h"

#include "FeedRequest.h"

#include <boost/asio/error.hpp>
#include <boost/asio/ssl/error.hpp>

#include <algorithm>
#include <iterator>
#include <utility>

namespace trd::server {

namespace asio = boost::asio;
namespace beast = boost::beast;

std::string_view viewOf(beast::string_view text)
{
    return {text.data(), text.size()};
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

bool cannotStartARequest(std::string_view buffered)
{
    std::size_t i = 0;
    while (i + 1 < buffered.size() && buffered[i] == '\r' && buffered[i + 1] == '\n')
        i += 2; // empty lines before a request line are allowed
    for (const std::size_t method = i; i < buffered.size(); ++i) {
        const char c = buffered[i];
        if (c == ' ')
            return i == method;
        if (c == '\r' && i == method && i + 1 == buffered.size())
            return false; // perhaps an empty line cut in two
        const bool token = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
        if (!token)
            return true;
    }
    return false;
}

std::string foldedLine(std::string_view head)
{
    for (std::size_t at = head.find("\r\n"); at != std::string_view::npos && at + 2 < head.size();
         at = head.find("\r\n", at + 2))
        if (head[at + 2] == ' ' || head[at + 2] == '\t')
            return "Requisição HTTP malformada: linha de cabeçalho dobrada (começa com espaço).";
    return {};
}

HeadScan scanHead(std::string_view buffered, std::size_t scanned, std::size_t maxHeaderBytes)
{
    HeadScan scan;
    if (cannotStartARequest(buffered)) {
        scan.state = HeadScan::State::NotARequest;
        return scan;
    }
    const std::size_t end = buffered.find("\r\n\r\n", std::min(scanned, buffered.size()));
    if (end != std::string_view::npos) {
        scan.refusal = foldedLine(buffered.substr(0, end + 2));
        scan.state = scan.refusal.empty() ? HeadScan::State::Complete : HeadScan::State::Folded;
        return scan;
    }
    if (buffered.size() >= maxHeaderBytes) {
        scan.state = HeadScan::State::TooLarge;
        return scan;
    }
    // The end may start in the last bytes read.
    scan.scanned = buffered.size() < 3 ? 0 : buffered.size() - 3;
    return scan;
}

ReadFailure readFailure(beast::error_code ec, const FramingLimits& limits)
{
    ReadFailure failure;
    failure.action = ReadFailure::Action::Refuse;
    if (ec == http::error::header_limit) {
        failure.refusal = {http::status::request_header_fields_too_large,
                           "Cabeçalhos da requisição grandes demais: o limite é de "
                               + std::to_string(limits.maxHeaderBytes / 1024) + " KiB."};
    } else if (ec == http::error::body_limit) {
        failure.refusal = {http::status::payload_too_large,
                           "Requisição grande demais: o limite é de " + std::to_string(limits.maxBody / (1024 * 1024))
                               + " MiB."};
    } else if (ec == beast::error::timeout) {
        failure.action = ReadFailure::Action::TimedOut;
    } else if (ec == http::error::end_of_stream || ec == asio::error::eof || ec == asio::error::connection_reset
               || ec == asio::error::operation_aborted || ec == asio::ssl::error::stream_truncated) {
        failure.action = ReadFailure::Action::Close;
    } else {
        failure.refusal = {http::status::bad_request, "Requisição HTTP malformada: " + ec.message() + "."};
    }
    return failure;
}

std::optional<Refusal> headRefusal(const http::request_header<>& head, const FramingLimits& limits)
{
    if (std::distance(head.begin(), head.end()) > limits.maxHeaderCount)
        return Refusal{http::status::request_header_fields_too_large,
                       "Requisição com cabeçalhos demais: o limite é de " + std::to_string(limits.maxHeaderCount)
                           + "."};
    // Fields that must appear at most once: with two, the server and a proxy
    // in front of it could each believe a different one.
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
        if (head.count(field) > 1)
            return Refusal{http::status::bad_request,
                           std::string("Requisição HTTP malformada: o cabeçalho ") + name
                               + " aparece mais de uma vez."};
    if (head.version() >= 11 && head.count(http::field::host) == 0)
        return Refusal{http::status::bad_request, "Requisição HTTP malformada: falta o cabeçalho Host."};
    // A body is never inflated, whether the compression is announced as its
    // content coding or as a transfer coding before "chunked".
    const auto encoding = lowerAscii(trimmed(viewOf(head[http::field::content_encoding])));
    const auto transfer = lowerAscii(trimmed(viewOf(head[http::field::transfer_encoding])));
    if ((!encoding.empty() && encoding != "identity") || (!transfer.empty() && transfer != "chunked"))
        return Refusal{http::status::unsupported_media_type,
                       "Requisição comprimida não é aceita: envie o corpo sem compressão."};
    return std::nullopt;
}

std::size_t firstShare(bool bodyDone, std::optional<std::uint64_t> contentLength)
{
    const std::size_t first = bodyDone ? 0 : contentLength ? static_cast<std::size_t>(*contentLength) : ChunkStep;
    return requestCost(first);
}

std::size_t grownShare(std::size_t received, std::size_t maxBody)
{
    return std::min(requestCost(received + std::max(ChunkStep, received / 2)), requestCost(maxBody));
}

std::string crossSiteRefusal(const http::request_header<>& head, const HostPolicy& hosts)
{
    const auto origin = head.find(http::field::origin);
    return hosts.refusal(trimmed(viewOf(head[http::field::host])),
                         origin == head.end() ? std::string_view() : trimmed(viewOf(origin->value())),
                         origin != head.end());
}

RequestRoute routeRequest(const http::request_header<>& head, const HostPolicy& hosts, bool feedServed)
{
    RequestRoute route;
    const std::string_view target = viewOf(head.target());
    const std::string_view path = target.substr(0, target.find('?'));
    route.path = std::string(path);
    const auto refused = [&](http::status status, std::string message) {
        route.kind = RequestRoute::Kind::Refused;
        route.refusal = {status, std::move(message)};
        return route;
    };
    if (path == HealthPath && (head.method() == http::verb::get || head.method() == http::verb::head)) {
        route.kind = RequestRoute::Kind::Health;
        return route;
    }
    const bool readsOnly = head.method() == http::verb::get || head.method() == http::verb::head;
    if ((path == AlivePath || path == ReadyPath) && readsOnly) {
        route.kind = path == AlivePath ? RequestRoute::Kind::Alive : RequestRoute::Kind::Ready;
        return route;
    }
    if (path == MetricsPath && head.method() == http::verb::get) {
        // A page in a browser must not read it through the loopback address either.
        if (std::string refusal = crossSiteRefusal(head, hosts); !refusal.empty())
            return refused(http::status::forbidden, std::move(refusal));
        route.kind = RequestRoute::Kind::Metrics;
        return route;
    }
    if (path == FeedPath && head.method() == http::verb::get && feedServed) {
        if (std::string refusal = crossSiteRefusal(head, hosts); !refusal.empty())
            return refused(http::status::forbidden, std::move(refusal));
        route.kind = RequestRoute::Kind::Feed;
        route.query = std::string(target.substr(std::min(target.size(), path.size() + 1)));
        return route;
    }
    if (head.method() != http::verb::post || path != ObjectPath) {
        // A target that is only a query has no path at all.
        route.kind = RequestRoute::Kind::NotFound;
        route.refusal = {
            http::status::not_found,
            "Objeto remoto desconhecido: " + std::string(path.substr(std::min<std::size_t>(1, path.size()), 80)) + "."};
        return route;
    }
    if (std::string refusal = crossSiteRefusal(head, hosts); !refusal.empty())
        return refused(http::status::forbidden, std::move(refusal));
    const auto type = lowerAscii(trimmed(viewOf(head[http::field::content_type])));
    if (type.substr(0, type.find(';')) != "application/json")
        return refused(http::status::unsupported_media_type,
                       "Tipo de conteúdo não aceito: as chamadas devem ser application/json.");
    route.kind = RequestRoute::Kind::Call;
    return route;
}

FramedHead frameHead(std::string_view bytes, const FramingLimits& limits, const HostPolicy& hosts, bool feedServed)
{
    FramedHead framed;
    const auto refuse = [&](Refusal refusal) {
        framed.kind = FramedHead::Kind::Refused;
        framed.refusal = std::move(refusal);
        return framed;
    };
    const auto failed = [&](beast::error_code ec) {
        ReadFailure failure = readFailure(ec, limits);
        if (failure.action != ReadFailure::Action::Refuse) {
            framed.kind = FramedHead::Kind::Closed;
            return framed;
        }
        return refuse(std::move(failure.refusal));
    };
    const HeadScan scan = scanHead(bytes, 0, limits.maxHeaderBytes);
    switch (scan.state) {
    case HeadScan::State::NeedMore:
        return framed;
    case HeadScan::State::NotARequest:
        return failed(http::error::bad_method);
    case HeadScan::State::TooLarge:
        return failed(http::error::header_limit);
    case HeadScan::State::Folded:
        return refuse({http::status::bad_request, scan.refusal});
    case HeadScan::State::Complete:
        break;
    }
    http::request_parser<http::string_body> parser;
    parser.header_limit(static_cast<std::uint32_t>(limits.maxHeaderBytes));
    parser.body_limit(limits.maxBody);
    std::string_view rest = bytes;
    while (!parser.is_header_done()) {
        beast::error_code ec;
        const std::size_t used = parser.put(boost::asio::buffer(rest.data(), rest.size()), ec);
        rest.remove_prefix(used);
        if (ec == http::error::need_more || (!ec && used == 0))
            return framed; // the connection would read on
        if (ec)
            return failed(ec);
    }
    framed.headBytes = bytes.size() - rest.size();
    framed.contentLength = announcedLength(parser.content_length());
    if (auto refusal = headRefusal(parser.get(), limits))
        return refuse(std::move(*refusal));
    framed.route = routeRequest(parser.get(), hosts, feedServed);
    framed.kind = FramedHead::Kind::Routed;
    return framed;
}

} // namespace trd::server
