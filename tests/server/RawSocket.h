#pragma once
// A bare TCP client for the end-to-end server tests: exactly the bytes a test
// writes go out (malformed requests included), answers are read as they come,
// and the source address can be any loopback address (127.0.0.0/8), so that a
// test can play several client machines.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <utility>

namespace trd::server::test {

class Socket {
public:
    // from: the source address, e.g. "127.0.0.7"; empty: the system's choice.
    explicit Socket(int port, const std::string& from = {})
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (!from.empty()) {
            sockaddr_in local{};
            local.sin_family = AF_INET;
            ::inet_pton(AF_INET, from.c_str(), &local.sin_addr);
            if (::bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
                ::close(m_fd);
                m_fd = -1;
                return;
            }
        }
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~Socket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool ok() const { return m_fd >= 0; }
    bool send(const std::string& data)
    {
        std::size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = ::send(m_fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    // Reads until the peer closes, `until` appears `count` times, or timeoutMs passes.
    std::string receive(int timeoutMs, const std::string& until = {}, int count = 1)
    {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (!until.empty()) {
                int seen = 0;
                for (auto at = got.find(until); at != std::string::npos; at = got.find(until, at + 1))
                    ++seen;
                if (seen >= count)
                    return got;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                    .count();
            if (left <= 0)
                return got;
            if (!readSome(static_cast<int>(left), got))
                return got;
        }
    }
    // One wait and one read; false on timeout or close.
    bool readSome(int timeoutMs, std::string& into)
    {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return false;
        char buf[65536];
        const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
        if (n <= 0) {
            m_closed = true;
            return false;
        }
        into.append(buf, static_cast<std::size_t>(n));
        return true;
    }
    // One whole HTTP answer (by its Content-Length), or what came before a close or the timeout.
    std::string answer(int timeoutMs = 10000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto head = m_pending.find("\r\n\r\n");
            if (head != std::string::npos) {
                const auto at = m_pending.find("Content-Length: ");
                const std::size_t length = at < head ? std::stoul(m_pending.substr(at + 16)) : 0;
                if (m_pending.size() >= head + 4 + length) {
                    std::string one = m_pending.substr(0, head + 4 + length);
                    m_pending.erase(0, head + 4 + length);
                    return one;
                }
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                    .count();
            if (left <= 0 || !readSome(static_cast<int>(left), m_pending))
                return std::exchange(m_pending, {});
        }
    }
    bool closedByPeer() const { return m_closed; }

private:
    int m_fd = -1;
    bool m_closed = false;
    std::string m_pending;
};

// The body of a whole HTTP answer.
inline std::string bodyOf(const std::string& answer)
{
    const auto head = answer.find("\r\n\r\n");
    return head == std::string::npos ? std::string() : answer.substr(head + 4);
}

// A call as our client sends it, with extra header lines ("Name: value\r\n").
inline std::string post(const std::string& body, const std::string& extraHeaders = {},
                        const std::string& type = "application/json")
{
    return "POST /Trd09300.rdmTraducao HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: " + type
        + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extraHeaders + "\r\n" + body;
}

inline const std::string Health = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

// The status code of an HTTP answer, 0 when there is none.
inline int status(const std::string& answer)
{
    return answer.size() > 12 ? std::stoi(answer.substr(9, 3)) : 0;
}

} // namespace trd::server::test
