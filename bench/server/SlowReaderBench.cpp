// What slow or absent readers cost everybody else (docs/server.md, "Limits"):
// a real trd-server on a 200,000-row language.
//
// 1. A fresh client's small call (GetDataHoraServ on a new connection, then
//    on a kept one) on the idle server, the floor; then while 50 clients read
//    the language's streamed answer at about 1 KB/s each, under the
//    per-address limit.
// 2. What followers of the change feed that never read make the server hold:
//    its resident memory before and after 1,500 of them, spread over loopback
//    addresses, each asked a full answer of changes it does not take.
//
//   bench_slow_readers [--rows 200000] [--readers 50] [--samples 400] [--followers 1500]
#include "BenchStats.h"
#include "ServerTestKit.h"
#include "TrdServerProcess.h"

#include <httplib.h>

#include <QCoreApplication>
#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
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
using namespace trd::bench;

namespace {

long residentKiB(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// The server's processor time so far, in clock ticks.
long long cpuTicks(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 13 ? fields[11].toLongLong() + fields[12].toLongLong() : -1;
}

// Waits until the server has done the work its clients asked of it (it uses
// under a tenth of a processor over half a second), so that what is measured
// after is what waiting clients cost, not the answers still being made.
// Returns how long that took, in seconds.
double waitQuiet(qint64 pid)
{
    const auto start = Clock::now();
    const long ticksPerHalfSecond = ::sysconf(_SC_CLK_TCK) / 2;
    long long before = cpuTicks(pid);
    while (msSince(start) < 600000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const long long now = cpuTicks(pid);
        if (now - before < ticksPerHalfSecond / 10)
            break;
        before = now;
    }
    return msSince(start) / 1000;
}

// A client with a receive window of a few kilobytes, from a loopback address
// of its own choosing, so that the per-address limits see several offices.
int narrowClient(int port, uint32_t fromAddress)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int small = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(fromAddress);
    ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
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

bool sendAll(int fd, const std::string& data)
{
    return ::send(fd, data.data(), data.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(data.size());
}

// Small calls by a client that connects for each (as a fresh editor does)
// and by one that keeps its connection.
void measure(int port, int samples, std::vector<double>& fresh, std::vector<double>& kept)
{
    const std::string body = request("GetDataHoraServ", "");
    httplib::Client keep("127.0.0.1", port);
    keep.set_read_timeout(300, 0);
    for (int i = 0; i < samples; ++i) {
        {
            httplib::Client once("127.0.0.1", port);
            once.set_read_timeout(300, 0);
            const auto start = Clock::now();
            auto res = once.Post("/Trd09300.rdmTraducao", body, "application/json");
            if (res && parseAnswer(res->body).ok)
                fresh.push_back(msSince(start));
        }
        const auto start = Clock::now();
        auto res = keep.Post("/Trd09300.rdmTraducao", body, "application/json");
        if (res && parseAnswer(res->body).ok)
            kept.push_back(msSince(start));
    }
}

void print(const char* what, const std::vector<double>& floor, const std::vector<double>& loaded)
{
    const Percentiles a = percentiles(floor), b = percentiles(loaded);
    std::printf("%-34s idle p50 %7.3f p99 %7.3f max %8.3f ms (n=%zu) | loaded p50 %7.3f p99 %7.3f max %8.3f ms "
                "(n=%zu)\n",
                what, a.p50, a.p99, a.max, floor.size(), b.p50, b.p99, b.max, loaded.size());
}

QByteArray language(int rows)
{
    QByteArray tsv = "L\tENG\tInglês\tPOR\nR\tENG\tBENCH\talvo\tTexto salvo\tantes\tT\n";
    const QByteArray filler(200, 'x');
    for (int i = 0; i < rows; ++i)
        tsv += "R\tENG\tTRD09300\tc" + QByteArray::number(i) + "\tOrigem " + QByteArray::number(i) + filler
            + "\tDestino\tT\n";
    return tsv;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int rows = 200000, readers = 50, samples = 400, followers = 1500;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--rows"))
            rows = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--readers"))
            readers = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--samples"))
            samples = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--followers"))
            followers = std::atoi(argv[i + 1]);
    }
    std::printf("load average at start: %s\n", loadAverage().c_str());
    TrdServerProcess::Options options;
    options.seedTsv = language(rows);
    options.extraArgs = {"--max-connections", "4000", "--quiet"};
    options.startTimeoutMs = 600000;
    TrdServerProcess server(options);
    if (!server.isRunning()) {
        std::fprintf(stderr, "%s\n", server.errorString().toStdString().c_str());
        return 1;
    }
    int port = server.port();

    // 1. Slow readers of the streamed answer.
    std::vector<double> idleFresh, idleKept, slowFresh, slowKept;
    measure(port, samples, idleFresh, idleKept);
    const long idleKiB = residentKiB(server.pid());

    const std::string body = request("GetDestino", "\"T\",\"D\",\"N\",\"ENG\",0,0,\"\"");
    const std::string http = "POST /Trd09300.rdmTraducao HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                             "application/json\r\nAccept: application/cbor\r\nConnection: close\r\nContent-Length: "
        + std::to_string(body.size()) + "\r\n\r\n" + body;
    std::vector<int> slow;
    for (int i = 0; i < readers; ++i) {
        const int fd = narrowClient(port, INADDR_LOOPBACK);
        if (fd < 0 || !sendAll(fd, http)) {
            std::fprintf(stderr, "slow reader %d could not connect\n", i);
            return 1;
        }
        slow.push_back(fd);
    }
    std::atomic<bool> reading{true};
    std::atomic<long long> taken{0};
    // About 1 KB a second each: 100 bytes every 100 ms.
    std::thread trickle([&] {
        char buffer[100];
        while (reading) {
            for (const int fd : slow) {
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
                if (n > 0)
                    taken += n;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    const double readersSettled = waitQuiet(server.pid()); // every answer begun and waiting on its reader
    measure(port, samples, slowFresh, slowKept);
    const long slowKiB = residentKiB(server.pid());
    reading = false;
    trickle.join();
    for (const int fd : slow)
        ::close(fd);

    print("small call, new connection", idleFresh, slowFresh);
    std::printf("(the second column: beside the slow readers; below: beside the followers)\n");
    print("small call, kept connection", idleKept, slowKept);
    std::printf("the server made the slow readers' answers in %.1f s before it was quiet\n", readersSettled);
    std::printf("%d slow readers took %.1f KB in all; server resident %ld MiB idle, %ld MiB with them\n", readers,
                static_cast<double>(taken.load()) / 1000, idleKiB / 1024, slowKiB / 1024);
    // 2. Followers that never read, on a server started afresh so that what
    // the slow readers left in its heap does not blur the figure.
    server.terminate();
    if (!server.restart()) {
        std::fprintf(stderr, "%s\n", server.errorString().toStdString().c_str());
        return 1;
    }
    port = server.port();
    // Followers that never read. Changes to tell: a few hundred saves of
    // long texts, so that a follower from the start is owed a full answer.
    {
        httplib::Client s("127.0.0.1", port);
        std::string current = "antes";
        const std::string filler(3000, 'y');
        for (int i = 0; i < 300; ++i) {
            const std::string next = "salvo " + std::to_string(i) + filler;
            const TRow row{"ENG", "BENCH", "alvo", "Texto salvo", current, "T"};
            auto res = s.Post("/Trd09300.rdmTraducao",
                              request("SetDestino", json(DeltaBuilder().modify(row, next).xml())), "application/json");
            if (res && parseAnswer(res->body).ok)
                current = next;
        }
    }
    std::vector<double> fresh, kept, calmFresh, calmKept;
    measure(port, samples / 4, calmFresh, calmKept);
    const long beforeKiB = residentKiB(server.pid());
    std::vector<int> silent;
    int refused = 0;
    for (int i = 0; i < followers; ++i) {
        // 25 followers an address: within the allowance of waiting requests.
        const uint32_t from = INADDR_LOOPBACK + 1 + static_cast<uint32_t>(i / 25);
        const int fd = narrowClient(port, from);
        if (fd < 0)
            continue;
        const std::string get = "GET /Trd09300.rdmTraducao/alteracoes?idioma=ENG&desde=0&espera=25 HTTP/1.1\r\n"
                                "Host: 127.0.0.1\r\n\r\n";
        if (!sendAll(fd, get)) {
            ::close(fd);
            ++refused;
            continue;
        }
        silent.push_back(fd);
    }
    const double followersSettled = waitQuiet(server.pid());
    const long afterKiB = residentKiB(server.pid());
    measure(port, samples / 4, fresh, kept);
    for (const int fd : silent)
        ::close(fd);
    std::printf("%zu followers that never read (%d refused at once): server resident %ld MiB before, %ld MiB with "
                "them, %.1f KiB a follower\n",
                silent.size(), refused, beforeKiB / 1024, afterKiB / 1024,
                silent.empty() ? 0.0 : static_cast<double>(afterKiB - beforeKiB) / static_cast<double>(silent.size()));
    std::printf("the server answered the followers in %.1f s before it was quiet\n", followersSettled);
    print("small call beside the followers", calmFresh, fresh);
    std::printf("load average at end: %s\n", loadAverage().c_str());
    return 0;
}
