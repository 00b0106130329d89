#include "EdgeProbes.h"

#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

using namespace trd::server::test;

namespace trd::bench::edge {

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// from: a loopback source address ("127.0.1.7"), to play another machine.
int connectTo(int port, const char* from)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (from) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        ::inet_pton(AF_INET, from, &local.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            ::close(fd);
            return -1;
        }
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends one request and reads its whole answer (by Content-Length); returns the body.
std::string roundTrip(int fd, const std::string& request)
{
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
        return {};
    std::string got;
    char buf[65536];
    for (;;) {
        const auto head = got.find("\r\n\r\n");
        if (head != std::string::npos) {
            const auto at = got.find("Content-Length: ");
            const std::size_t length = at < head ? std::stoul(got.substr(at + 16)) : 0;
            if (got.size() >= head + 4 + length)
                return got.substr(head + 4, length);
        }
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return {};
        got.append(buf, static_cast<std::size_t>(n));
    }
}

std::string post(const std::string& body, const std::string& token)
{
    return "POST /Trd09300.rdmTraducao HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
        + (token.empty() ? std::string() : "Authorization: Bearer " + token + "\r\n")
        + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

Percentiles percentiles(std::vector<double> v)
{
    Percentiles p;
    if (v.empty())
        return p;
    std::sort(v.begin(), v.end());
    p.n = v.size();
    p.p50 = v[v.size() / 2];
    p.p99 = v[std::min(v.size() - 1, v.size() * 99 / 100)];
    p.max = v.back();
    return p;
}

// One saver: keeps flipping the destination text of its own row; each
// save's start and latency.
TimedSaves saves(int port, int row, std::string& dst, Clock::time_point until, const std::string& token)
{
    TimedSaves timed;
    const int fd = connectTo(port);
    TRow current{"ENG", "BENCH", "c" + std::to_string(row), "fonte", dst, "N"};
    for (int i = 0; Clock::now() < until; ++i) {
        const std::string text = "d" + std::to_string(i) + (dst.size() % 2 ? "a" : "");
        const std::string body = request("SetDestino", json(DeltaBuilder().modify(current, text).xml()));
        const auto start = Clock::now();
        const std::string answer = roundTrip(fd, post(body, token));
        timed.saves.emplace_back(start, ms(Clock::now() - start));
        if (answer.find("\"result\"") == std::string::npos) {
            std::fprintf(stderr, "save failed: %s\n", answer.substr(0, 200).c_str());
            break;
        }
        current.dst = text;
    }
    dst = current.dst;
    ::close(fd);
    return timed;
}

TimedSaves timedSaves(int port, RowTexts& texts, int savers, double seconds, const std::string& token)
{
    const auto until =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    std::vector<TimedSaves> each(static_cast<std::size_t>(savers));
    std::vector<std::thread> threads;
    for (int s = 0; s < savers; ++s)
        threads.emplace_back([&, s] {
            each[static_cast<std::size_t>(s)] = saves(port, s, texts[static_cast<std::size_t>(s)], until, token);
        });
    for (auto& t : threads)
        t.join();
    TimedSaves all;
    for (const auto& e : each)
        all.saves.insert(all.saves.end(), e.saves.begin(), e.saves.end());
    return all;
}

Percentiles concurrentSaves(int port, RowTexts& texts, int savers, double seconds, const std::string& token)
{
    std::vector<double> latencies;
    for (const auto& [start, took] : timedSaves(port, texts, savers, seconds, token).saves)
        latencies.push_back(took);
    return percentiles(latencies);
}

// A fresh client: connect, GET /health, answer; how long it waited.
Percentiles newClientWaits(int port, int probes)
{
    std::vector<double> waits;
    for (int i = 0; i < probes; ++i) {
        const auto start = Clock::now();
        const int fd = connectTo(port);
        roundTrip(fd, Health);
        waits.push_back(ms(Clock::now() - start));
        ::close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return percentiles(waits);
}

// 200 clients connecting at the same moment, each asking GET /health once.
Percentiles burst(int port, int clients)
{
    std::vector<double> waits(static_cast<std::size_t>(clients));
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&, c] {
            while (!go.load())
                std::this_thread::yield();
            const auto start = Clock::now();
            const int fd = connectTo(port);
            roundTrip(fd, Health);
            waits[static_cast<std::size_t>(c)] = ms(Clock::now() - start);
            ::close(fd);
        });
    go = true;
    for (auto& t : threads)
        t.join();
    return percentiles(waits);
}

Percentiles healthRoundTrip(int port, int n)
{
    const int fd = connectTo(port);
    std::vector<double> v;
    for (int i = 0; i < n; ++i) {
        const auto start = Clock::now();
        roundTrip(fd, Health);
        v.push_back(ms(Clock::now() - start));
    }
    ::close(fd);
    return percentiles(v);
}

void print(const char* what, const Percentiles& p)
{
    std::printf("%-58s p50 %7.3f ms  p99 %7.3f ms  max %8.3f ms  (n=%zu)\n", what, p.p50, p.p99, p.max, p.n);
}

std::string loginToken(int port)
{
    const int fd = connectTo(port);
    const std::string answer = roundTrip(fd, post(request("Login", "\"bench\",\"senha-bench\"")));
    ::close(fd);
    const auto at = answer.find("\"result\":\"");
    return at == std::string::npos ? std::string() : answer.substr(at + 10, answer.find('"', at + 10) - at - 10);
}

void printLoad(const char* when)
{
    QFile f("/proc/loadavg");
    f.open(QIODevice::ReadOnly);
    std::printf("load average (%s): %s", when, f.readAll().constData());
}

} // namespace trd::bench::edge
