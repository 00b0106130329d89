// Clients that ask for large answers and then read them slowly, or not at
// all, against the real trd-server: what they can make it hold is bounded.
#include "ServerTestKit.h"
#include "TrdServerProcess.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

using namespace trd::server::test;
using trd::test::TrdServerProcess;

namespace {

// A client whose receive window is a few kilobytes: the server cannot hand
// its answer to the kernel and be done with it.
int narrowClient(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int small = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
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

// Everything until the server closes (the requests ask it to).
std::string readAll(int fd, int timeoutMs)
{
    std::string got;
    char buffer[65536];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0)
            continue;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

QByteArray largeLanguage(int rows)
{
    QByteArray tsv = "L\tENG\tInglês\tPOR\n";
    const QByteArray filler(280, 'x');
    for (int i = 0; i < rows; ++i)
        tsv += "R\tENG\tTRD09300\tc" + QByteArray::number(i) + "\tOrigem " + QByteArray::number(i) + filler
            + "\tDestino\tT\n";
    return tsv;
}

} // namespace

// Answers sent whole are held until their clients take them: they count
// against the memory budget of the request bodies, and one that does not fit
// is refused with 503 instead of being held too.
TEST(SlowReaders, WholeAnswersHeldForSlowReadersCountAgainstTheMemoryBudget)
{
    TrdServerProcess::Options options;
    options.seedTsv = largeLanguage(30000);
    options.extraArgs = {"--max-body", "4", "--body-memory", "40", "--quiet"};
    TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const int port = server.port();

    const std::string body = request("GetDestino", "\"T\",\"D\",\"N\",\"ENG\",0,0,\"\"");
    const std::string http = "POST /Trd09300.rdmTraducao HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                             "application/json\r\nConnection: close\r\nContent-Length: "
        + std::to_string(body.size()) + "\r\n\r\n" + body;
    {
        httplib::Client one("127.0.0.1", port);
        one.set_read_timeout(120, 0);
        auto res = one.Post("/Trd09300.rdmTraducao", body, "application/json");
        ASSERT_TRUE(res);
        ASSERT_EQ(res->status, 200);
        ASSERT_GT(res->body.size(), 10u << 20) << "the answer must be larger than what the kernel buffers";
    }
    std::vector<int> slow;
    for (int i = 0; i < 6; ++i) {
        slow.push_back(narrowClient(port));
        ASSERT_GE(slow.back(), 0);
        ASSERT_EQ(::send(slow.back(), http.data(), http.size(), MSG_NOSIGNAL), static_cast<ssize_t>(http.size()));
    }
    // Every answer made and waiting on its reader, or refused.
    ::sleep(5);
    int whole = 0, refused = 0;
    for (const int fd : slow) {
        const std::string got = readAll(fd, 120000);
        ::close(fd);
        if (got.rfind("HTTP/1.1 200", 0) == 0)
            ++whole;
        else if (got.rfind("HTTP/1.1 503", 0) == 0 && got.find("respostas grandes demais") != std::string::npos)
            ++refused;
    }
    // Six answers of more than 10 MiB do not fit in 40 MiB together.
    EXPECT_GT(whole, 0);
    EXPECT_GT(refused, 0);
    EXPECT_EQ(whole + refused, 6);
    httplib::Client after("127.0.0.1", port);
    auto res = after.Get("/health");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
}

// Streamed (CBOR) answers make their worker wait while their reader is slow;
// at most half the workers may, the others go on without waiting (the rest
// of their answer queued within the memory budget), so a fresh client is
// still served while every slow reader holds an answer it does not read.
TEST(SlowReaders, SlowReadersOfStreamedAnswersLeaveWorkersForOthers)
{
    TrdServerProcess::Options options;
    options.seedTsv = largeLanguage(60000);
    options.extraArgs = {"--threads", "4", "--quiet"};
    options.startTimeoutMs = 120000;
    TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const int port = server.port();
    const std::string body = request("GetDestino", "\"T\",\"D\",\"N\",\"ENG\",0,0,\"\"");
    const std::string http = "POST /Trd09300.rdmTraducao HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                             "application/json\r\nAccept: application/cbor\r\nConnection: close\r\nContent-Length: "
        + std::to_string(body.size()) + "\r\n\r\n" + body;
    std::vector<int> slow;
    for (int i = 0; i < 4; ++i) {
        slow.push_back(narrowClient(port));
        ASSERT_GE(slow.back(), 0);
        ASSERT_EQ(::send(slow.back(), http.data(), http.size(), MSG_NOSIGNAL), static_cast<ssize_t>(http.size()));
    }
    ::sleep(3); // every answer begun, and stuck on its reader

    // Four workers, four slow readers: the fresh call still finds one.
    httplib::Client fresh("127.0.0.1", port);
    fresh.set_read_timeout(30, 0);
    auto res = fresh.Post("/Trd09300.rdmTraducao", request("GetDataHoraServ", ""), "application/json");
    ASSERT_TRUE(res) << "no worker left for a fresh client";
    EXPECT_TRUE(parseAnswer(res->body).ok) << res->body;

    // And the slow readers get their whole answers once they read.
    for (const int fd : slow) {
        const std::string got = readAll(fd, 120000);
        ::close(fd);
        EXPECT_EQ(got.rfind("HTTP/1.1 200", 0), 0u);
        EXPECT_GT(got.size(), 10u << 20);
        EXPECT_EQ(got.substr(got.size() - 5), "0\r\n\r\n") << "the answer did not end properly";
    }
}
