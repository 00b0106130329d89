#pragma once
// Which names a request may use for this server. A web page can make a
// browser post to the loopback address, and with DNS rebinding a name the
// page controls may point at 127.0.0.1 while the browser still thinks it is
// talking to that page's site: the Host and Origin headers then carry the
// page's name. So a request is accepted only when its Host names the server
// exactly: a loopback name (localhost, 127.0.0.1, [::1]), the address it
// listens on, or a name the operator gave with --server-name. Any Origin sent
// must be that same host (the page is the server's own).
//
// A server listening on every address (0.0.0.0 or ::) without names given
// cannot know what its clients type, so it leaves Host unchecked; such a
// server has users, and a page has no session token to send.
#include <string>
#include <string_view>
#include <vector>

namespace trd::server {

class HostPolicy {
public:
    // listenHost: the address as given to --listen, without brackets.
    HostPolicy(const std::string& listenHost, const std::vector<std::string>& serverNames);

    // Empty when the request may go on; else the refusal for the user.
    std::string refusal(std::string_view host, std::string_view origin, bool hasOrigin) const;

    // True when the name (the host part of a Host header, brackets kept
    // around an IPv6 address) is one this server answers to.
    bool accepts(std::string_view name) const;

    // The host part of a Host value ("[::1]:8211" -> "[::1]"), or "" when
    // the value is not host[:port].
    static std::string_view hostPart(std::string_view host);

private:
    std::vector<std::string> m_names; // lower case
    bool m_checkHost = true;
    bool m_local = false;
};

// True for an address that only this machine can reach: 127.x.x.x, ::1 and
// localhost (with or without brackets).
bool isLoopbackAddress(const std::string& host);

} // namespace trd::server
