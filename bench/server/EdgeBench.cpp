// trd-server under hostile load, against the real binary: 20 savers while
// 1,000 idle keep-alive connections and 100 slowloris senders stay open; how
// long a new client waits to be answered; bursts of 200 simultaneous connects;
// the single-save round trip with a login on, beside one without. Floors from
// the same run: a GET /health round trip on a kept-alive connection (the
// loopback and the HTTP layer with no database work).
//
//   bench_edge [--seconds 5]
#include "ServerTestKit.h"
#include "TrdServerProcess.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace trd::server::test;
using trd::test::TrdServerProcess;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
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

std::string post(const std::string& body, const std::string& token = {})
{
    return "POST /Trd09300.rdmTraducao HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
           + (token.empty() ? std::string() : "Authorization: Bearer " + token + "\r\n")
           + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

const std::string Health = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

struct Percentiles {
    double p50 = 0, p99 = 0, max = 0;
    std::size_t n = 0;
};

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

// One saver: keeps flipping the destination text of its own row.
std::vector<double> saves(int port, int row, std::string& dst, Clock::time_point until, const std::string& token)
{
    std::vector<double> latencies;
    const int fd = connectTo(port);
    TRow current{"ENG", "BENCH", "c" + std::to_string(row), "fonte", dst, "N"};
    for (int i = 0; Clock::now() < until; ++i) {
        const std::string text = "d" + std::to_string(i) + (dst.size() % 2 ? "a" : "");
        const std::string body = request("SetDestino", json(DeltaBuilder().modify(current, text).xml()));
        const auto start = Clock::now();
        const std::string answer = roundTrip(fd, post(body, token));
        latencies.push_back(ms(Clock::now() - start));
        if (answer.find("\"result\"") == std::string::npos) {
            std::fprintf(stderr, "save failed: %s\n", answer.substr(0, 200).c_str());
            break;
        }
        current.dst = text;
    }
    dst = current.dst;
    ::close(fd);
    return latencies;
}

// The destination text each row has now, per server.
using RowTexts = std::vector<std::string>;

Percentiles concurrentSaves(int port, RowTexts& texts, int savers, double seconds, const std::string& token = {})
{
    const auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    std::vector<std::vector<double>> each(static_cast<std::size_t>(savers));
    std::vector<std::thread> threads;
    for (int s = 0; s < savers; ++s)
        threads.emplace_back([&, s] { each[static_cast<std::size_t>(s)] = saves(port, s, texts[static_cast<std::size_t>(s)], until, token); });
    for (auto& t : threads)
        t.join();
    std::vector<double> all;
    for (const auto& v : each)
        all.insert(all.end(), v.begin(), v.end());
    return percentiles(all);
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    double seconds = 5;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::atof(argv[i + 1]);
    if (qEnvironmentVariableIsEmpty("TRD_BIN_DIR"))
        qputenv("TRD_BIN_DIR", QCoreApplication::applicationDirPath().toUtf8());

    QTemporaryDir dir;
    const QString tsv = dir.filePath("bench.tsv");
    {
        QFile f(tsv);
        f.open(QIODevice::WriteOnly);
        f.write("L\tENG\tInglês\tPOR\n");
        for (int r = 0; r < 40; ++r)
            f.write("R\tENG\tBENCH\tc" + QByteArray::number(r) + "\tfonte\td\tN\n");
    }
    const QString users = dir.filePath("bench.users");
    {
        QProcess p;
        p.start(TrdServerProcess::binaryPath(), {"user", "add", "bench", "--users", users});
        p.waitForStarted();
        p.write("senha-bench\n");
        p.closeWriteChannel();
        p.waitForFinished();
    }
    const QStringList common{"--quiet", "--max-per-address", "5000", "--request-timeout", "600"};

    TrdServerProcess::Options open;
    open.importTsv = tsv;
    open.extraArgs = common;
    TrdServerProcess server(open);
    if (!server.isRunning()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.errorString()));
        return 1;
    }
    const int port = server.port();
    RowTexts texts(40, "d");
    std::printf("floor: GET /health round trip, kept-alive\n");
    print("  /health", healthRoundTrip(port, 2000));
    print("single save round trip, no login", concurrentSaves(port, texts, 1, seconds));
    print("20 savers, quiet", concurrentSaves(port, texts, 20, seconds));
    print("new client waits (connect + /health), quiet", newClientWaits(port, 100));
    print("burst of 200 simultaneous connects", burst(port, 200));

    // The hostile crowd: idle keep-alive connections (one answered request
    // each) and slowloris senders trickling a header.
    std::vector<int> idle, slow;
    for (int i = 0; i < 1000; ++i) {
        const int fd = connectTo(port);
        if (fd < 0)
            break;
        if (i % 2 == 0)
            roundTrip(fd, Health);
        idle.push_back(fd);
    }
    for (int i = 0; i < 100; ++i) {
        const int fd = connectTo(port);
        ::send(fd, "POST /Trd09300.rdmTraducao HTTP/1.1\r\nX-a: ", 42, MSG_NOSIGNAL);
        slow.push_back(fd);
    }
    std::atomic<bool> trickling{true};
    std::thread trickle([&] {
        while (trickling) {
            for (const int fd : slow)
                ::send(fd, "b", 1, MSG_NOSIGNAL);
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    });
    std::printf("with %zu idle keep-alive connections and %zu slowloris senders open:\n", idle.size(), slow.size());
    print("  20 savers", concurrentSaves(port, texts, 20, seconds));
    print("  new client waits (connect + /health)", newClientWaits(port, 100));
    print("  burst of 200 simultaneous connects", burst(port, 200));
    trickling = false;
    trickle.join();
    for (const int fd : idle)
        ::close(fd);
    for (const int fd : slow)
        ::close(fd);

    TrdServerProcess::Options withUsers = open;
    withUsers.extraArgs = common + QStringList{"--users", users};
    TrdServerProcess secured(withUsers);
    if (!secured.isRunning()) {
        std::fprintf(stderr, "%s\n", qPrintable(secured.errorString()));
        return 1;
    }
    const std::string token = loginToken(secured.port());
    RowTexts securedTexts(40, "d");
    print("single save round trip, with login (token checked per call)", concurrentSaves(secured.port(), securedTexts, 1, seconds, token));
    print("single save round trip, no login (again, same moment)", concurrentSaves(port, texts, 1, seconds));
    return 0;
}
