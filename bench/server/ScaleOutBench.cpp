// Several trd-server processes on one PostgreSQL database: saves per second
// and latency percentiles with 1, 2 and 4 server processes and 20-100
// clients, each client saving its own rows over keep-alive HTTP, round robin
// over the servers (what a load balancer would do). The database is a
// throwaway cluster with fsync on, in a temporary folder (put TMPDIR on the
// disk to measure). Floors printed beside: a bare durable commit through
// libpq and a loopback HTTP round trip.
//
//   bench_scaleout [--servers 1,2,4] [--clients 20,100] [--seconds 5]
#include "BenchFloors.h"
#include "BenchStats.h"
#include "PostgresCluster.h"
#include "ServerTestKit.h"
#include "TrdServerProcess.h"

#include <httplib.h>
#include <libpq-fe.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

using namespace trd::server::test;
using trd::test::TrdServerProcess;
using namespace trd::bench;

namespace {

constexpr int RowsPerClient = 10;

std::vector<int> numbers(const std::string& list)
{
    std::vector<int> out;
    std::stringstream in(list);
    for (std::string item; std::getline(in, item, ',');)
        out.push_back(std::stoi(item));
    return out;
}

std::string component(int client, int row)
{
    return "c" + std::to_string(client) + "_" + std::to_string(row);
}

QString writeSeed(const QString& path, int clients)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("L\tENG\tInglês\tPOR\n");
    for (int c = 0; c < clients; ++c)
        for (int r = 0; r < RowsPerClient; ++r)
            f.write(QString::fromStdString("R\tENG\tTRD09300\t" + component(c, r) + "\tOrigem " + component(c, r)
                                           + "\t-\tN\n")
                        .toUtf8());
    return path;
}

struct Outcome {
    double savesPerSecond = 0;
    double p50 = 0, p99 = 0;
    int failed = 0;
    int connectRetries = 0;
    std::string failure;
};

// C clients, each saving its own rows one at a time, for the given seconds.
// known: each client's rows as last saved, kept from run to run.
Outcome runClients(const std::vector<std::unique_ptr<TrdServerProcess>>& servers, int clients, int seconds,
                   std::vector<std::vector<std::string>>& knownByClient)
{
    std::vector<std::vector<double>> times(static_cast<std::size_t>(clients));
    std::atomic<int> failed{0}, connectRetries{0};
    std::string failure;
    std::mutex failureMutex;
    std::atomic<bool> go{false};
    const auto warmUp = std::chrono::milliseconds(500);
    std::vector<std::thread> threads;
    Clock::time_point start;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            const TrdServerProcess& server = *servers[static_cast<std::size_t>(c) % servers.size()];
            httplib::Client http(server.host().toStdString(), server.port());
            http.set_keep_alive(true);
            http.set_tcp_nodelay(true);
            http.set_read_timeout(60, 0);
            std::vector<std::string>& known = knownByClient[static_cast<std::size_t>(c)];
            // Connected before the clock starts. A hundred clients connecting
            // at once overflow the server's listen backlog: counted, retried.
            while (!http.Get("/health"))
                ++connectRetries;
            while (!go.load())
                std::this_thread::yield();
            const auto begin = Clock::now();
            const auto measureFrom = begin + warmUp;
            const auto until = measureFrom + std::chrono::seconds(seconds);
            for (int i = 0; Clock::now() < until; ++i) {
                const int r = i % RowsPerClient;
                const std::string next =
                    "Saved " + std::to_string(servers.size()) + "/" + std::to_string(clients) + "/" + std::to_string(i);
                const std::string body = request(
                    "SetDestino",
                    json(DeltaBuilder()
                             .modify({"ENG", "TRD09300", component(c, r), "Origem " + component(c, r), known[r], "N"},
                                     next)
                             .xml()));
                const auto t = Clock::now();
                auto res = http.Post("/Trd09300.rdmTraducao", body, "application/json");
                const double ms = msSince(t);
                if (res && res->body.find("\"result\"") != std::string::npos) {
                    known[r] = next;
                    if (t >= measureFrom)
                        times[static_cast<std::size_t>(c)].push_back(ms);
                } else {
                    ++failed;
                    std::lock_guard lock(failureMutex);
                    failure = res ? res->body : "transport failure: " + httplib::to_string(res.error());
                }
            }
        });
    }
    start = Clock::now();
    go = true;
    for (auto& t : threads)
        t.join();
    std::vector<double> all;
    for (const auto& v : times)
        all.insert(all.end(), v.begin(), v.end());
    Outcome o;
    o.savesPerSecond = static_cast<double>(all.size()) / seconds;
    o.p50 = percentile(all, 0.5);
    o.p99 = percentile(all, 0.99);
    o.failed = failed;
    o.connectRetries = connectRetries;
    o.failure = failure.substr(0, 200);
    (void)start;
    return o;
}

// A bare durable commit (one row updated) through libpq on one connection.
void commitFloor(const std::string& conninfo)
{
    const std::vector<double> times = trd::bench::postgresCommits(conninfo);
    std::printf("%-46s p50 %6.3f ms  p99 %6.3f ms\n", "floor: bare durable commit (libpq, 1 row)",
                percentile(times, 0.5), percentile(times, 0.99));
}

void roundTripFloor()
{
    const std::vector<double> times = trd::bench::loopbackHttpRoundTrips();
    std::printf("%-46s p50 %6.3f ms  p99 %6.3f ms\n", "floor: loopback HTTP round trip", percentile(times, 0.5),
                percentile(times, 0.99));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<int> serverCounts{1, 2, 4}, clientCounts{20, 100};
    int seconds = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--servers")
            serverCounts = numbers(argv[i + 1]);
        else if (a == "--clients")
            clientCounts = numbers(argv[i + 1]);
        else if (a == "--seconds")
            seconds = std::stoi(argv[i + 1]);
    }
    trd::test::PostgresCluster cluster(true);
    if (!cluster.ready()) {
        std::fprintf(stderr, "bench_scaleout: no PostgreSQL server binaries (initdb, pg_ctl)\n");
        return 1;
    }
    const std::string conninfo = cluster.freshDatabase();
    QTemporaryDir dir;
    const int maxClients = *std::max_element(clientCounts.begin(), clientCounts.end());
    {
        TrdServerProcess::Options seed;
        seed.pg = QString::fromStdString(conninfo);
        seed.importTsv = writeSeed(dir.filePath(QStringLiteral("seed.tsv")), maxClients);
        seed.extraArgs = {QStringLiteral("--quiet")};
        TrdServerProcess seeder(seed);
        if (!seeder.isRunning()) {
            std::fprintf(stderr, "bench_scaleout: %s\n", seeder.errorString().toUtf8().constData());
            return 1;
        }
    }
    std::printf("load average at start: %.2f (%u cores)\n", oneMinuteLoad(), std::thread::hardware_concurrency());
    std::vector<std::vector<std::string>> known(static_cast<std::size_t>(maxClients),
                                                std::vector<std::string>(RowsPerClient, "-"));
    commitFloor(conninfo);
    roundTripFloor();
    for (const int servers : serverCounts) {
        std::vector<std::unique_ptr<TrdServerProcess>> running;
        for (int s = 0; s < servers; ++s) {
            TrdServerProcess::Options o;
            o.pg = QString::fromStdString(conninfo);
            // All clients come from one address here; a balancer would also
            // be one address to each server.
            o.extraArgs = {QStringLiteral("--quiet"), QStringLiteral("--threads"), QString::number(maxClients + 8),
                           QStringLiteral("--max-per-address"), QString::number(maxClients + 8)};
            running.push_back(std::make_unique<TrdServerProcess>(o));
            if (!running.back()->isRunning()) {
                std::fprintf(stderr, "bench_scaleout: %s\n", running.back()->errorString().toUtf8().constData());
                return 1;
            }
        }
        for (const int clients : clientCounts) {
            const Outcome o = runClients(running, clients, seconds, known);
            std::printf("%d server%s, %3d clients: %7.0f saves/s  p50 %6.2f ms  p99 %6.2f ms  %d failed%s%s  "
                        "(%d connect retries, load %.1f)\n",
                        servers, servers == 1 ? " " : "s", clients, o.savesPerSecond, o.p50, o.p99, o.failed,
                        o.failed ? ": " : "", o.failure.c_str(), o.connectRetries, oneMinuteLoad());
            std::fflush(stdout);
        }
    }
    return 0;
}
