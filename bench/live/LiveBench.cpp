// Live changes end to end (docs/live.md): subscribers that follow a language
// through ChangeFeedClient and take each save into a loaded row set (as the
// editor does, AlteracoesDeColegas), while savers save through SetDestino.
//
// Printed beside their floors (a loopback HTTP round trip, a bare durable
// SQLite commit) and the load average:
//   - a save visible in every subscriber's row set: from the moment its
//     SetDestino is sent until the last subscriber has it, p50/p95/max, and
//     per subscriber;
//   - the savers' round trip with the subscribers and without them, same run;
//   - the processor time of idle subscribers (client and server);
//   - the server's resident memory per idle waiting request;
//   - with --pg: savers on one trd-server, subscribers on another, both on one
//     PostgreSQL database (a throwaway cluster).
//
//   bench_live [--subscribers 50] [--savers 20] [--seconds 5] [--interval-ms 100]
//              [--rows 2000] [--idle 500] [--pg] [--same-priority] [--plain]
//
// The subscribers stand for other people's machines: their threads run at
// the lowest priority (nice 19), so that on this one machine they take only
// the processor time the server and the savers leave, as remote clients
// would take none (--same-priority: all at the same priority).
//
// The subscribers follow with one streamed answer a wait (fluxo=S); --plain:
// with one request a batch, as a client that does not ask for the stream.
#include "BenchFloors.h"
#include "BenchStats.h"
#include "AlteracoesDeColegas.h"
#include "ChangeFeedClient.h"
#include "PostgresCluster.h"
#include "ServerCalls.h"
#include "ServerTestKit.h"
#include "TClientDataSet.h"
#include "TSocketConnection.h"
#include "TrdServerProcess.h"

#include <httplib.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

using namespace trd;
using namespace trd::server::test;
using trd::test::TrdServerProcess;
using namespace trd::bench;

namespace {

constexpr int RowsPerSaver = 10;

struct Options {
    int subscribers = 50, savers = 20, seconds = 5, intervalMs = 100, rows = 2000, idle = 500;
    bool pg = false;
    bool samePriority = false;
    bool plain = false;
};

void niceThisThread(int value)
{
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), value);
}

// Every thread of this process now (the main one and the followers) to `value`.
void niceEveryThread(int value)
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid.toInt()), value);
}

std::string component(int saver, int row)
{
    return "s" + std::to_string(saver) + "_" + std::to_string(row);
}

QString writeSeed(const QString& path, const Options& o)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("L\tENG\tInglês\tPOR\n");
    for (int s = 0; s < o.savers; ++s)
        for (int r = 0; r < RowsPerSaver; ++r)
            f.write(QString::fromStdString("R\tENG\tTRD09300\t" + component(s, r) + "\tOrigem " + component(s, r)
                                           + "\t-\tN\n")
                        .toUtf8());
    for (int i = o.savers * RowsPerSaver; i < o.rows; ++i)
        f.write(
            QStringLiteral("R\tENG\tTRD%1\tc%2\tTexto de tela %2\tScreen text %2\tT\n").arg(i / 50).arg(i).toUtf8());
    return path;
}

// CPU time (user + system) of a process, in ms.
double cpuMs(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = f.readAll().split(')').last().trimmed().split(' ');
    // After the name: state is field 0, utime 11, stime 12 (clock ticks).
    const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
    return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long residentKiB(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

// ------------------------------------------------------------------ savers

struct SaveTimes {
    std::mutex mutex;
    std::unordered_map<std::string, Clock::time_point> sent; // by the text saved
};

// Each saver saves its own rows one after another, `intervalMs` apart, for
// the given seconds; returns the round trips (ms).
std::vector<double> runSavers(const TrdServerProcess& server, const Options& o, const std::string& tag,
                              SaveTimes* times, std::vector<std::vector<std::string>>& known)
{
    std::vector<std::vector<double>> trips(static_cast<std::size_t>(o.savers));
    std::vector<std::thread> threads;
    std::atomic<int> failed{0};
    for (int s = 0; s < o.savers; ++s) {
        threads.emplace_back([&, s] {
            niceThisThread(0); // a saver is a person at work, whatever the subscribers' priority
            httplib::Client http(server.host().toStdString(), server.port());
            http.set_keep_alive(true);
            http.set_tcp_nodelay(true);
            http.set_read_timeout(60, 0);
            http.Get("/health");
            const auto until = Clock::now() + std::chrono::seconds(o.seconds);
            std::vector<std::string>& mine = known[static_cast<std::size_t>(s)];
            for (int i = 0; Clock::now() < until; ++i) {
                const int r = i % RowsPerSaver;
                const std::string next = tag + "/" + std::to_string(s) + "/" + std::to_string(i);
                const std::string body = request(
                    "SetDestino",
                    json(DeltaBuilder()
                             .modify({"ENG", "TRD09300", component(s, r), "Origem " + component(s, r), mine[r], "N"},
                                     next)
                             .xml()));
                const auto t = Clock::now();
                if (times) {
                    std::lock_guard lock(times->mutex);
                    times->sent[next] = t;
                }
                auto res = http.Post("/Trd09300.rdmTraducao", body, "application/json");
                const double ms = msSince(t);
                if (res && res->body.find("\"result\"") != std::string::npos) {
                    mine[r] = next;
                    trips[static_cast<std::size_t>(s)].push_back(ms);
                } else {
                    ++failed;
                }
                if (o.intervalMs > 0)
                    std::this_thread::sleep_until(t + std::chrono::milliseconds(o.intervalMs));
            }
        });
    }
    for (auto& t : threads)
        t.join();
    if (failed)
        std::printf("  (%d saves failed)\n", failed.load());
    std::vector<double> all;
    for (const auto& v : trips)
        all.insert(all.end(), v.begin(), v.end());
    return all;
}

// ------------------------------------------------------------------ subscribers

struct Subscriber {
    ChangeFeedClient feed;
    TClientDataSet rows;
    std::unique_ptr<AlteracoesDeColegas> changes;
};

struct Visibility {
    std::map<std::string, std::vector<double>> bySave; // the text saved: each subscriber's latency
    std::vector<double> all;
};

std::vector<std::unique_ptr<Subscriber>> subscribe(const TrdServerProcess& server, const Options& o,
                                                   const QByteArray& packet, Visibility& seen, SaveTimes& times)
{
    std::vector<std::unique_ptr<Subscriber>> subs;
    ChangeFeedClient::Endpoint at;
    at.port = server.port();
    at.objectPath = QLatin1Char('/') + ServerNameTraducao;
    for (int i = 0; i < o.subscribers; ++i) {
        auto sub = std::make_unique<Subscriber>();
        Subscriber* raw = sub.get();
        sub->feed.Streamed = !o.plain;
        if (!sub->feed.Follow(at, QStringLiteral("ENG"), {}, 10000))
            std::fprintf(stderr, "subscriber %d: no first number\n", i);
        sub->rows.SetData(packet);
        sub->changes = std::make_unique<AlteracoesDeColegas>(&sub->rows);
        QObject::connect(&sub->feed, &ChangeFeedClient::Changes, &sub->feed, [raw, &seen, &times](const FeedBatch& b) {
            raw->changes->recebe(QStringLiteral("ENG"), b.changes, 0);
            const auto now = Clock::now();
            std::lock_guard lock(times.mutex);
            for (const FeedChange& c : b.changes) {
                const auto it = times.sent.find(c.destination.toStdString());
                if (it == times.sent.end())
                    continue;
                const double ms = std::chrono::duration<double, std::milli>(now - it->second).count();
                seen.bySave[it->first].push_back(ms);
                seen.all.push_back(ms);
            }
        });
        subs.push_back(std::move(sub));
    }
    return subs;
}

// Runs the event loop (the subscribers take their changes) while `work` runs
// on a thread of its own, then `drainMs` more.
template <typename Work>
void whileLooping(Work work, int drainMs)
{
    std::atomic<bool> done{false};
    std::thread t([&] {
        work();
        done = true;
    });
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done)
            loop.quit();
    });
    poll.start();
    loop.exec();
    t.join();
    QElapsedTimer drain;
    drain.start();
    while (drain.elapsed() < drainMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void printVisibility(const char* what, const Visibility& seen, int subscribers, std::size_t saves)
{
    std::vector<double> lastSubscriber;
    std::size_t incomplete = 0;
    for (const auto& [text, v] : seen.bySave) {
        if (static_cast<int>(v.size()) < subscribers)
            ++incomplete;
        else
            lastSubscriber.push_back(*std::max_element(v.begin(), v.end()));
    }
    incomplete += saves - std::min(saves, seen.bySave.size());
    std::printf("%-58s p50 %7.2f ms  p95 %7.2f ms  max %7.2f ms  (%zu saves, %zu not seen by all)\n", what,
                percentile(lastSubscriber, 0.5), percentile(lastSubscriber, 0.95),
                lastSubscriber.empty() ? 0.0 : *std::max_element(lastSubscriber.begin(), lastSubscriber.end()),
                lastSubscriber.size(), incomplete);
    std::printf("%-58s p50 %7.2f ms  p95 %7.2f ms\n", "  each subscriber on its own", percentile(seen.all, 0.5),
                percentile(seen.all, 0.95));
}

// Every subscriber's rows hold what the server holds at the end.
int mismatches(const std::vector<std::unique_ptr<Subscriber>>& subs, const std::vector<std::vector<std::string>>& known)
{
    int wrong = 0;
    for (const auto& sub : subs) {
        for (std::size_t s = 0; s < known.size(); ++s)
            for (int r = 0; r < RowsPerSaver; ++r) {
                if (!sub->rows.Locate(QStringLiteral("NMCOMPONENTE"), {QString::fromStdString(component(int(s), r))}))
                    continue;
                if (sub->rows.FieldByName(QStringLiteral("STVALORPROP"))->AsString().toStdString() != known[s][r])
                    ++wrong;
            }
    }
    return wrong;
}

QByteArray loadRows(const TrdServerProcess& server)
{
    TSocketConnection c;
    c.Port = server.port();
    c.ServerName = ServerNameTraducao;
    return c.AppServer()
        .Call(metodo::GetDestino,
              {QStringLiteral("T"), QStringLiteral("D"), QStringLiteral("N"), QStringLiteral("ENG"), TDateTime(0),
               TDateTime(0), QString()})
        .Packet;
}

// ------------------------------------------------------------------ floors

void roundTripFloor()
{
    const std::vector<double> times = trd::bench::loopbackHttpRoundTrips();
    std::printf("%-58s p50 %7.3f ms  p99 %7.3f ms\n", "floor: loopback HTTP round trip", percentile(times, 0.5),
                percentile(times, 0.99));
}

void commitFloor(const QString& path)
{
    sqlite3* db = nullptr;
    // The plain unix file system layer: nothing of the server's in the way.
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, "unix");
    sqlite3_exec(
        db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; CREATE TABLE t(a INTEGER); INSERT INTO t VALUES(0);",
        nullptr, nullptr, nullptr);
    std::vector<double> times;
    // The first commits grow the log file; measured after them, as a server's are.
    for (int i = 1; i <= 800; ++i) {
        const std::string sql = "UPDATE t SET a = " + std::to_string(i);
        const auto t = Clock::now();
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        if (i > 300)
            times.push_back(msSince(t));
    }
    sqlite3_close(db);
    std::printf("%-58s p50 %7.3f ms  p99 %7.3f ms\n", "floor: bare durable SQLite commit (WAL, FULL)",
                percentile(times, 0.5), percentile(times, 0.99));
}

// A bare durable commit (one row updated) through libpq on one connection.
void postgresCommitFloor(const std::string& conninfo)
{
    const std::vector<double> times = trd::bench::postgresCommits(conninfo);
    std::printf("%-58s p50 %7.3f ms  p99 %7.3f ms\n", "floor: bare durable PostgreSQL commit (libpq, 1 row)",
                percentile(times, 0.5), percentile(times, 0.99));
}

// ------------------------------------------------------------------ idle

// Processor time of `seconds` with every subscriber waiting and nobody saving.
void idleCost(const std::vector<std::unique_ptr<Subscriber>>& subs, qint64 serverPid, int seconds)
{
    const double self0 = cpuMs(::getpid()), server0 = cpuMs(serverPid);
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double self = cpuMs(::getpid()) - self0, server = cpuMs(serverPid) - server0;
    std::printf("%-58s %7.2f ms of CPU a second for %zu subscribers (server: %.2f ms a second)\n",
                "idle subscribers, processor time", self / seconds, subs.size(), server / seconds);
}

// Resident memory of the server with `count` more requests waiting at it.
void memoryPerSubscriber(const TrdServerProcess& server, int count)
{
    const long before = residentKiB(server.pid());
    std::vector<int> fds;
    // Each asks from the current number, so that each waits.
    httplib::Client http(server.host().toStdString(), server.port());
    auto first = http.Get("/Trd09300.rdmTraducao/alteracoes?idioma=ENG");
    const std::string cursor = first ? first->body.substr(6, first->body.find(',') - 6) : "0";
    const std::string waiting = "GET /Trd09300.rdmTraducao/alteracoes?idioma=ENG&desde=" + cursor
        + "&espera=120 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(server.port()));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(fd);
            break;
        }
        [[maybe_unused]] const auto sent = ::send(fd, waiting.data(), waiting.size(), MSG_NOSIGNAL);
        fds.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const long after = residentKiB(server.pid());
    std::printf("%-58s %7.2f KB each (%zu requests waiting; resident %ld -> %ld KiB)\n",
                "server memory per idle subscriber", (after - before) * 1.024 / static_cast<double>(fds.size()),
                fds.size(), before, after);
    for (const int fd : fds)
        ::close(fd);
}

// ------------------------------------------------------------------ runs

TrdServerProcess::Options serverOptions(const Options& o, const QString& pg)
{
    TrdServerProcess::Options s;
    s.pg = pg;
    const int connections = o.subscribers + o.savers + o.idle + 64;
    s.extraArgs = {QStringLiteral("--quiet"),     QStringLiteral("--threads"),
                   QString::number(o.savers + 8), QStringLiteral("--max-per-address"),
                   QString::number(connections),  QStringLiteral("--max-connections"),
                   QString::number(connections)};
    return s;
}

int oneServer(const Options& o, QTemporaryDir& dir)
{
    TrdServerProcess::Options so = serverOptions(o, {});
    so.importTsv = writeSeed(dir.filePath(QStringLiteral("seed.tsv")), o);
    TrdServerProcess server(so);
    if (!server.isRunning()) {
        std::fprintf(stderr, "bench_live: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    commitFloor(dir.filePath(QStringLiteral("floor.db")));
    roundTripFloor();
    std::vector<std::vector<std::string>> known(static_cast<std::size_t>(o.savers),
                                                std::vector<std::string>(RowsPerSaver, "-"));

    double server0 = cpuMs(server.pid()), self0 = cpuMs(::getpid());
    const std::vector<double> without = runSavers(server, o, "sem", nullptr, known);
    std::printf("%-58s p50 %7.3f ms  p99 %7.3f ms  (%zu saves; CPU: server %.0f ms, savers %.0f ms)\n",
                "savers' SetDestino, no subscriber", percentile(without, 0.5), percentile(without, 0.99),
                without.size(), cpuMs(server.pid()) - server0, cpuMs(::getpid()) - self0);

    const QByteArray packet = loadRows(server);
    SaveTimes times;
    Visibility seen;
    auto subs = subscribe(server, o, packet, seen, times);
    if (!o.samePriority)
        niceEveryThread(19);
    QCoreApplication::processEvents();
    std::vector<double> with;
    server0 = cpuMs(server.pid());
    self0 = cpuMs(::getpid());
    whileLooping([&] { with = runSavers(server, o, "com", &times, known); }, 0);
    const double serverWith = cpuMs(server.pid()) - server0, selfWith = cpuMs(::getpid()) - self0;
    whileLooping([] {}, 3000);
    std::printf("%-58s p50 %7.3f ms  p99 %7.3f ms  (%zu saves; p99 ratio %.2f; CPU: server %.0f ms, savers and "
                "subscribers %.0f ms)\n",
                "savers' SetDestino, subscribers following", percentile(with, 0.5), percentile(with, 0.99), with.size(),
                percentile(with, 0.99) / std::max(1e-9, percentile(without, 0.99)), serverWith, selfWith);
    char what[100];
    std::snprintf(what, sizeof what, "save visible in all %d subscribers' rows", o.subscribers);
    printVisibility(what, seen, o.subscribers, with.size());
    std::printf("%-58s %d\n", "rows differing from the server at the end", mismatches(subs, known));
    idleCost(subs, server.pid(), 5);
    subs.clear();
    memoryPerSubscriber(server, o.idle);
    return 0;
}

int twoServersOnPostgres(const Options& o, QTemporaryDir& dir)
{
    trd::test::PostgresCluster cluster(true);
    if (!cluster.ready()) {
        std::fprintf(stderr, "bench_live: no PostgreSQL server binaries (initdb, pg_ctl)\n");
        return 1;
    }
    const QString conninfo = QString::fromStdString(cluster.freshDatabase());
    {
        TrdServerProcess::Options seed = serverOptions(o, conninfo);
        seed.importTsv = writeSeed(dir.filePath(QStringLiteral("seed.tsv")), o);
        TrdServerProcess seeder(seed);
        if (!seeder.isRunning()) {
            std::fprintf(stderr, "bench_live: %s\n", qPrintable(seeder.errorString()));
            return 1;
        }
    }
    postgresCommitFloor(conninfo.toStdString());
    roundTripFloor();
    TrdServerProcess saving(serverOptions(o, conninfo)), telling(serverOptions(o, conninfo));
    if (!saving.isRunning() || !telling.isRunning()) {
        std::fprintf(stderr, "bench_live: %s%s\n", qPrintable(saving.errorString()), qPrintable(telling.errorString()));
        return 1;
    }
    std::vector<std::vector<std::string>> known(static_cast<std::size_t>(o.savers),
                                                std::vector<std::string>(RowsPerSaver, "-"));
    const QByteArray packet = loadRows(telling);
    SaveTimes times;
    Visibility seen;
    auto subs = subscribe(telling, o, packet, seen, times);
    if (!o.samePriority)
        niceEveryThread(19);
    std::vector<double> with;
    whileLooping([&] { with = runSavers(saving, o, "pg", &times, known); }, 3000);
    std::printf("%-58s p50 %7.3f ms  p99 %7.3f ms  (%zu saves)\n", "PostgreSQL: savers' SetDestino on server A",
                percentile(with, 0.5), percentile(with, 0.99), with.size());
    char what[100];
    std::snprintf(what, sizeof what, "PostgreSQL: save on A visible in %d subscribers of B", o.subscribers);
    printVisibility(what, seen, o.subscribers, with.size());
    std::printf("%-58s %d\n", "rows differing from the server at the end", mismatches(subs, known));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&] { return i + 1 < argc ? std::atoi(argv[++i]) : 0; };
        if (a == "--subscribers")
            o.subscribers = next();
        else if (a == "--savers")
            o.savers = next();
        else if (a == "--seconds")
            o.seconds = next();
        else if (a == "--interval-ms")
            o.intervalMs = next();
        else if (a == "--rows")
            o.rows = next();
        else if (a == "--idle")
            o.idle = next();
        else if (a == "--pg")
            o.pg = true;
        else if (a == "--same-priority")
            o.samePriority = true;
        else if (a == "--plain")
            o.plain = true;
    }
    std::printf(
        "load average at start: %.2f (%u cores); %d subscribers of %d rows, %d savers, a save every %d ms each, %d s\n",
        oneMinuteLoad(), std::thread::hardware_concurrency(), o.subscribers, o.rows, o.savers, o.intervalMs, o.seconds);
    QTemporaryDir dir;
    const int status = o.pg ? twoServersOnPostgres(o, dir) : oneServer(o, dir);
    std::printf("load average at end: %.2f\n", oneMinuteLoad());
    return status;
}
