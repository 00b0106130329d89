#include "HostPolicy.h"

#include "Log.h"

#include <arpa/inet.h>

#include <algorithm>

namespace trd::server {

namespace {

std::string lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool allDigits(std::string_view text)
{
    return !text.empty() && text.size() <= 5
        && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string unbracketed(const std::string& host)
{
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        return host.substr(1, host.size() - 2);
    return host;
}

} // namespace

bool isLoopbackAddress(const std::string& host)
{
    const std::string h = lower(unbracketed(host));
    if (h == "localhost")
        return true;
    in_addr v4{};
    if (::inet_pton(AF_INET, h.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    return ::inet_pton(AF_INET6, h.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

HostPolicy::HostPolicy(const std::string& listenHost, const std::vector<std::string>& serverNames)
    : m_names{"localhost", "127.0.0.1", "[::1]"}
{
    const std::string bare = lower(unbracketed(listenHost));
    in6_addr v6{};
    const bool ipv6 = ::inet_pton(AF_INET6, bare.c_str(), &v6) == 1;
    const bool wildcard = bare == "0.0.0.0" || (ipv6 && IN6_IS_ADDR_UNSPECIFIED(&v6)) || bare.empty();
    if (!wildcard)
        m_names.push_back(ipv6 ? "[" + bare + "]" : bare);
    for (const std::string& name : serverNames) {
        const std::string given = lower(unbracketed(name));
        in6_addr address{};
        m_names.push_back(::inet_pton(AF_INET6, given.c_str(), &address) == 1 ? "[" + given + "]" : given);
    }
    m_checkHost = !wildcard || !serverNames.empty();
    m_local = isLoopbackAddress(listenHost);
}

std::string_view HostPolicy::hostPart(std::string_view host)
{
    if (!host.empty() && host.front() == '[') {
        const auto close = host.find(']');
        if (close == std::string_view::npos)
            return {};
        const std::string_view rest = host.substr(close + 1);
        if (!rest.empty() && !(rest.front() == ':' && allDigits(rest.substr(1))))
            return {};
        return host.substr(0, close + 1);
    }
    const auto colon = host.find(':');
    if (colon == std::string_view::npos)
        return host;
    if (!allDigits(host.substr(colon + 1)))
        return {};
    return host.substr(0, colon);
}

bool HostPolicy::accepts(std::string_view name) const
{
    if (!m_checkHost)
        return true;
    const std::string wanted = lower(name);
    return !wanted.empty() && std::find(m_names.begin(), m_names.end(), wanted) != m_names.end();
}

std::string HostPolicy::refusal(std::string_view host, std::string_view origin, bool hasOrigin) const
{
    if (!host.empty() && !accepts(hostPart(host)))
        return std::string("Requisição recusada: o servidor ") + (m_local ? "local " : "") + "não atende pelo nome "
            + logValue(host, 80) + ".";
    if (hasOrigin) {
        // The page must be the server's own: the same scheme-less host and
        // port the request was sent to.
        const std::string value = lower(origin);
        const std::string h = lower(host);
        if (h.empty() || (value != "http://" + h && value != "https://" + h))
            return "Requisição recusada: origem de outro site (" + logValue(origin, 80) + ").";
    }
    return {};
}

} // namespace trd::server
