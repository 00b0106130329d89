// trd-server under hostile load, against the real binary: 20 savers while
// 1,000 idle keep-alive connections and 100 slowloris senders stay open; how
// long a new client waits to be answered; bursts of 200 simultaneous connects;
// the single-save round trip with a login on, beside one without; a correct
// log-in while 40 other machines loop wrong passwords; the same
// through the client's own HttpClient with a login and TLS on, beside plain,
// and what a new TLS connection costs; the peak memory of the server while
// hostile requests arrive, beside its body limit. Floors from the same run: a
// GET /health round trip on a kept-alive connection (the loopback and the
// HTTP layer with no database work). The load average is printed at the start
// and the end.
//
//   bench_edge [--seconds 5]
//   bench_edge --compare OTHER_BIN_DIR [--seconds 5]   the main figures beside another build's, in turn
//   bench_edge --integrity-db FILE [--seconds 10]      the scheduled integrity check on a large database
#include "EdgeProbes.h"
#include "HttpClient.h"
#include "ServerTestKit.h"
#include "TrdServerProcess.h"

#include <sqlite3.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace trd::server::test;
using trd::test::TrdServerProcess;
using namespace trd::bench::edge;

namespace {

// One save through trd-client's own HTTP client; its latency, or a negative
// value when it failed.
double clientSave(trd::HttpClient& http, TRow& row, int i)
{
    const std::string text = "d" + std::to_string(i) + (row.dst.size() % 2 ? "a" : "");
    const QByteArray body =
        QByteArray::fromStdString(request("SetDestino", json(DeltaBuilder().modify(row, text).xml())));
    trd::HttpClient::Response answer;
    QString detail;
    const auto start = Clock::now();
    const auto error = http.Request("POST", "/Trd09300.rdmTraducao", body, answer, &detail);
    const double took = ms(Clock::now() - start);
    if (error != trd::HttpClient::Error::None || !answer.body.contains("\"result\"")) {
        std::fprintf(stderr, "save failed: %s %s\n", qPrintable(detail), answer.body.left(200).constData());
        return -1;
    }
    row.dst = text;
    return took;
}

// Single saves on two kept-alive connections of trd-client's HttpClient, one
// after the other in turn, so both meet the same moment of the shared machine.
std::pair<Percentiles, Percentiles> alternateSaves(trd::HttpClient& a, TRow& rowA, trd::HttpClient& b, TRow& rowB,
                                                   double seconds)
{
    std::vector<double> va, vb;
    const auto until =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    for (int i = 0; Clock::now() < until; ++i) {
        const double x = clientSave(a, rowA, i), y = clientSave(b, rowB, i);
        if (x < 0 || y < 0)
            break;
        va.push_back(x);
        vb.push_back(y);
    }
    return {percentiles(va), percentiles(vb)};
}

// A new connection and its first answer (GET /health): connect, the TLS
// handshake when on (a full one each time, or resumed when `resume`), request.
Percentiles newConnections(int port, bool tls, const QByteArray& ca, int n, bool resume)
{
    std::vector<double> v;
    trd::HttpClient reused("127.0.0.1", port, 5000, 10000);
    reused.SetTls(tls, ca);
    for (int i = 0; i < n; ++i) {
        trd::HttpClient fresh("127.0.0.1", port, 5000, 10000);
        fresh.SetTls(tls, ca);
        trd::HttpClient& http = resume ? reused : fresh;
        http.Close();
        trd::HttpClient::Response answer;
        QString detail;
        const auto start = Clock::now();
        const auto error = http.Request("GET", "/health", {}, answer, &detail);
        v.push_back(ms(Clock::now() - start));
        if (error != trd::HttpClient::Error::None) {
            std::fprintf(stderr, "connect failed: %s\n", qPrintable(detail));
            break;
        }
    }
    return percentiles(v);
}

long statusKiB(qint64 pid, const char* field)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').first().toLong();
    return -1;
}

// Sends `head` and then `bodySize` bytes made by `piece` (repeated), as fast
// as the server takes them, and returns the answer's status line ("" when
// the server closed without one). Stops sending when the server closes.
std::string hostile(int port, const std::string& head, const std::string& piece, std::size_t bodySize,
                    const std::string& tail = {})
{
    const int fd = connectTo(port);
    if (fd < 0)
        return "(no connection)";
    bool open = ::send(fd, head.data(), head.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(head.size());
    std::string block;
    while (block.size() < 1 << 20)
        block += piece;
    std::size_t sent = 0;
    while (open && sent < bodySize) {
        const std::size_t n = std::min(block.size(), bodySize - sent);
        const ssize_t w = ::send(fd, block.data(), n, MSG_NOSIGNAL);
        if (w <= 0)
            open = false;
        else
            sent += static_cast<std::size_t>(w);
    }
    if (open && !tail.empty())
        ::send(fd, tail.data(), tail.size(), MSG_NOSIGNAL);
    std::string got;
    char buf[4096];
    pollfd p{fd, POLLIN, 0};
    while (got.find("\r\n") == std::string::npos && ::poll(&p, 1, 60000) > 0) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    const auto eol = got.find("\r\n");
    return eol == std::string::npos ? std::string() : got.substr(0, eol);
}

// Creates a certificate authority and a server certificate it signs for
// 127.0.0.1 with the openssl command; false when that fails.
bool makeCertificates(const QTemporaryDir& dir)
{
    QFile ext(dir.filePath("server.ext"));
    ext.open(QIODevice::WriteOnly);
    ext.write("subjectAltName=IP:127.0.0.1\nextendedKeyUsage=serverAuth\n");
    ext.close();
    const QStringList ec = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    const QList<QStringList> steps = {
        QStringList{"req", "-x509"} + ec
            + QStringList{"-days", "2", "-subj", "/CN=bench CA", "-addext", "basicConstraints=critical,CA:TRUE",
                          "-addext", "keyUsage=critical,keyCertSign", "-keyout", dir.filePath("ca.key"), "-out",
                          dir.filePath("ca.pem")},
        QStringList{"req"} + ec
            + QStringList{"-subj", "/CN=127.0.0.1", "-keyout", dir.filePath("key.pem"), "-out",
                          dir.filePath("server.csr")},
        QStringList{"x509", "-req", "-in", dir.filePath("server.csr"), "-CA", dir.filePath("ca.pem"), "-CAkey",
                    dir.filePath("ca.key"), "-CAcreateserial", "-days", "2", "-extfile", ext.fileName(), "-out",
                    dir.filePath("cert.pem")},
    };
    for (const QStringList& step : steps) {
        QProcess p;
        p.start("openssl", step);
        if (!p.waitForFinished(60000) || p.exitCode() != 0) {
            std::fprintf(stderr, "openssl failed: %s\n", p.readAllStandardError().constData());
            return false;
        }
    }
    return true;
}

// The hostile crowd: idle keep-alive connections (half of them after one
// answered request) and slowloris senders trickling a header a byte a second.
class Crowd {
public:
    explicit Crowd(int port)
    {
        for (int i = 0; i < 1000; ++i) {
            const int fd = connectTo(port);
            if (fd < 0)
                break;
            if (i % 2 == 0)
                roundTrip(fd, Health);
            m_idle.push_back(fd);
        }
        for (int i = 0; i < 100; ++i) {
            const int fd = connectTo(port);
            ::send(fd, "POST /Trd09300.rdmTraducao HTTP/1.1\r\nX-a: ", 42, MSG_NOSIGNAL);
            m_slow.push_back(fd);
        }
        m_trickle = std::thread([this] {
            while (m_trickling) {
                for (const int fd : m_slow)
                    ::send(fd, "b", 1, MSG_NOSIGNAL);
                std::this_thread::sleep_for(std::chrono::seconds(1));
            }
        });
    }
    ~Crowd()
    {
        m_trickling = false;
        m_trickle.join();
        for (const int fd : m_idle)
            ::close(fd);
        for (const int fd : m_slow)
            ::close(fd);
    }
    std::size_t idle() const { return m_idle.size(); }
    std::size_t slow() const { return m_slow.size(); }

private:
    std::vector<int> m_idle, m_slow;
    std::atomic<bool> m_trickling{true};
    std::thread m_trickle;
};

// Correct log-ins of "bench" from 127.0.0.1, each on a new connection, with
// nothing else going on: the floor of the figure below.
std::vector<double> loginsAlone(int port, int logins)
{
    std::vector<double> v;
    for (int i = 0; i < logins; ++i) {
        const auto start = Clock::now();
        const int fd = connectTo(port);
        roundTrip(fd, post(request("Login", "\"bench\",\"senha-bench\"")));
        v.push_back(ms(Clock::now() - start));
        ::close(fd);
    }
    return v;
}

// Correct log-ins of "bench" from 127.0.0.1, each on a new connection, while
// `connections` other machines (127.0.1.x) loop wrong passwords for the user
// "alvo" and for names that do not exist; the flood runs a second before the
// first log-in. "bench" has logged in from its machine once before the flood,
// as the people who work with a server have.
std::vector<double> loginsDuringFlood(int port, int connections, int logins, std::size_t* checked = nullptr)
{
    {
        const int fd = connectTo(port);
        roundTrip(fd, post(request("Login", "\"bench\",\"senha-bench\"")));
        ::close(fd);
    }
    std::atomic<bool> stop{false};
    std::atomic<std::size_t> answered{0};
    std::vector<std::thread> flood;
    for (int c = 0; c < connections; ++c)
        flood.emplace_back([&, c] {
            const std::string from = "127.0.1." + std::to_string(c + 1);
            for (int i = 0; !stop.load(); ++i) {
                const int fd = connectTo(port, from.c_str());
                if (fd < 0)
                    return;
                // Now and then a user who exists; mostly a new name each
                // time, which no name's count throttles: only the
                // address's, after its first 20, so the checks go on.
                const std::string name = i % 8 == 0 ? "alvo" : "alvo" + std::to_string(c) + "." + std::to_string(i);
                const std::string answer =
                    roundTrip(fd, post(request("Login", json(name) + "," + json("chute" + std::to_string(i)))));
                ::close(fd);
                if (answer.find("incorretos") != std::string::npos)
                    ++answered;
            }
        });
    std::this_thread::sleep_for(std::chrono::seconds(1));
    std::vector<double> v;
    for (int i = 0; i < logins; ++i) {
        const auto start = Clock::now();
        const int fd = connectTo(port);
        const std::string answer = roundTrip(fd, post(request("Login", "\"bench\",\"senha-bench\"")));
        v.push_back(ms(Clock::now() - start));
        ::close(fd);
        if (answer.find("\"result\":\"") == std::string::npos)
            std::fprintf(stderr, "log-in refused during the flood: %s\n", answer.substr(0, 200).c_str());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    stop = true;
    for (auto& t : flood)
        t.join();
    if (checked)
        *checked = answered.load();
    return v;
}

// Follows a server's log while it runs, noting each integrity check's span
// from its line ("... sem falhas (N ms)"), as it appears.
class CheckSpans {
public:
    explicit CheckSpans(QString log) : m_log(std::move(log)), m_thread([this] { run(); }) { }
    ~CheckSpans()
    {
        m_stop = true;
        m_thread.join();
    }
    bool contains(Clock::time_point t) const
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [from, to] : m_spans)
            if (t >= from && t <= to)
                return true;
        return false;
    }
    std::vector<double> durations() const
    {
        std::lock_guard lock(m_mutex);
        return m_durations;
    }

private:
    void run()
    {
        qint64 offset = 0;
        QByteArray pending;
        while (!m_stop) {
            QFile f(m_log);
            if (f.open(QIODevice::ReadOnly) && f.size() > offset) {
                f.seek(offset);
                pending += f.readAll();
                offset = f.pos();
                const auto now = Clock::now();
                for (qsizetype nl; (nl = pending.indexOf('\n')) >= 0; pending.remove(0, nl + 1)) {
                    const QByteArray line = pending.left(nl);
                    const qsizetype at = line.indexOf("sem falhas (");
                    if (at < 0)
                        continue;
                    const double took = line.mid(at + 12).split(' ').first().toDouble();
                    std::lock_guard lock(m_mutex);
                    m_durations.push_back(took);
                    m_spans.emplace_back(now - std::chrono::microseconds(static_cast<long long>(took * 1000) + 10000),
                                         now);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    QString m_log;
    mutable std::mutex m_mutex;
    std::vector<std::pair<Clock::time_point, Clock::time_point>> m_spans;
    std::vector<double> m_durations;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

double bestOf(int n, const std::function<void()>& work)
{
    double best = 1e300;
    for (int i = 0; i < n; ++i) {
        const auto start = Clock::now();
        work();
        best = std::min(best, ms(Clock::now() - start));
    }
    return best;
}

// The scheduled integrity check on a large database: how long one takes while
// the server serves, and the savers' latency while it runs beside the same
// savers on the same file with the check off.
int integrityRun(const QString& db, const QString& tsv, double seconds)
{
    {
        sqlite3* conn = nullptr;
        if (sqlite3_open_v2(db.toUtf8().constData(), &conn, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "cannot open %s\n", qPrintable(db));
            return 1;
        }
        auto run = [&](const char* sql) {
            sqlite3_exec(
                conn, sql, [](void*, int, char**, char**) { return 0; }, nullptr, nullptr);
        };
        std::printf("database %s: %.0f MB\n", qPrintable(db), QFileInfo(db).size() / 1e6);
        std::printf("floor: bare scan of every row's text (SELECT SUM(LENGTH(STVALORPROP)) ...), best of 3: %.0f ms\n",
                    bestOf(3, [&] { run("SELECT SUM(LENGTH(STVALORPROP)) FROM TRADUCAO"); }));
        std::printf("PRAGMA quick_check in process, alone, best of 3: %.0f ms\n",
                    bestOf(3, [&] { run("PRAGMA quick_check"); }));
        sqlite3_close(conn);
    }
    TrdServerProcess::Options options;
    options.dbPath = db;
    options.create = false;
    options.importTsv = tsv; // the savers' rows, reset to their first text at each start
    std::vector<double> off, on, onOutside;
    std::vector<double> checks;
    for (int round = 0; round < 2; ++round) {
        for (const bool checking : {false, true}) {
            options.extraArgs =
                QStringList{"--quiet", "--max-per-address", "5000", "--check-every", checking ? "1" : "0"};
            TrdServerProcess server(options);
            if (!server.isRunning()) {
                std::fprintf(stderr, "%s\n", qPrintable(server.errorString()));
                return 1;
            }
            RowTexts texts(40, "d");
            std::unique_ptr<CheckSpans> spans;
            if (checking)
                spans = std::make_unique<CheckSpans>(server.logPath());
            const TimedSaves saves = timedSaves(server.port(), texts, 20, seconds);
            for (const auto& [start, took] : saves.saves) {
                if (!checking)
                    off.push_back(took);
                else
                    (spans->contains(start) ? on : onOutside).push_back(took);
            }
            if (spans) {
                const auto d = spans->durations();
                checks.insert(checks.end(), d.begin(), d.end());
            }
        }
    }
    print("integrity check while serving (server log, each run)", percentiles(checks));
    print("20 savers, check off", percentiles(off));
    print("20 savers, check on: saves started while a check ran", percentiles(on));
    print("20 savers, check on: the other saves", percentiles(onOutside));
    const Percentiles a = percentiles(off), b = percentiles(on);
    if (a.p99 > 0)
        std::printf("  ratio during the check / off: p50 %.2f x, p99 %.2f x\n", b.p50 / a.p50, b.p99 / a.p99);
    return 0;
}

struct Side {
    const char* name;
    QByteArray binDir;
};

// bench_edge's main figures for this build and another (`--compare DIR`, the
// bin folder of a build of the code before). Both servers run at once and are
// measured in turn, a second at a time, so that both meet the same moments of
// the shared machine.
int compareRun(const std::vector<Side>& sides, const QString& tsv, const QString& users, const QStringList& common,
               double seconds)
{
    struct Figures {
        std::unique_ptr<TrdServerProcess> server, withUsers;
        RowTexts texts = RowTexts(40, "d");
        std::vector<double> quiet, crowd, waits, logins;
        std::size_t checked = 0;
    };
    std::vector<Figures> figures(sides.size());
    for (std::size_t s = 0; s < sides.size(); ++s) {
        qputenv("TRD_BIN_DIR", sides[s].binDir);
        TrdServerProcess::Options open;
        open.importTsv = tsv;
        open.extraArgs = common;
        figures[s].server = std::make_unique<TrdServerProcess>(open);
        open.extraArgs = common + QStringList{"--users", users};
        figures[s].withUsers = std::make_unique<TrdServerProcess>(open);
        if (!figures[s].server->isRunning() || !figures[s].withUsers->isRunning()) {
            std::fprintf(stderr, "%s: %s %s\n", sides[s].name, qPrintable(figures[s].server->errorString()),
                         qPrintable(figures[s].withUsers->errorString()));
            return 1;
        }
    }
    auto add = [](std::vector<double>& into, const TimedSaves& t) {
        for (const auto& [start, took] : t.saves)
            into.push_back(took);
    };
    const int slices = std::max(2, static_cast<int>(seconds));
    for (int i = 0; i < 2 * slices; ++i) {
        Figures& f = figures[static_cast<std::size_t>(i) % figures.size()];
        add(f.quiet, timedSaves(f.server->port(), f.texts, 20, 1.0));
    }
    {
        std::vector<std::unique_ptr<Crowd>> crowds;
        for (auto& f : figures)
            crowds.push_back(std::make_unique<Crowd>(f.server->port()));
        for (int i = 0; i < 2 * slices; ++i) {
            Figures& f = figures[static_cast<std::size_t>(i) % figures.size()];
            add(f.crowd, timedSaves(f.server->port(), f.texts, 20, 1.0));
        }
        for (int i = 0; i < 400; ++i) {
            Figures& f = figures[static_cast<std::size_t>(i) % figures.size()];
            const auto start = Clock::now();
            const int fd = connectTo(f.server->port());
            roundTrip(fd, Health);
            f.waits.push_back(ms(Clock::now() - start));
            ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    // The floods one after the other (each would load the machine for the
    // other), in turn twice.
    for (int round = 0; round < 2; ++round)
        for (std::size_t k = 0; k < figures.size(); ++k) {
            Figures& f = figures[round % 2 ? figures.size() - 1 - k : k];
            std::size_t checked = 0;
            const std::vector<double> logins = loginsDuringFlood(f.withUsers->port(), 40, 30, &checked);
            f.logins.insert(f.logins.end(), logins.begin(), logins.end());
            f.checked += checked;
        }
    for (std::size_t s = 0; s < sides.size(); ++s) {
        std::printf("%s:\n", sides[s].name);
        print("  20 savers, quiet", percentiles(figures[s].quiet));
        print("  20 savers, 1,000 idle + 100 slowloris open", percentiles(figures[s].crowd));
        print("  new client's wait (connect + /health), with that crowd", percentiles(figures[s].waits));
        print("  correct log-in, 40 connections of wrong passwords", percentiles(figures[s].logins));
        std::printf("    (wrong passwords answered meanwhile: %zu)\n", figures[s].checked);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    double seconds = 5;
    QString compareDir, integrityDb;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--compare") == 0)
            compareDir = QString::fromLocal8Bit(argv[i + 1]);
        else if (std::strcmp(argv[i], "--integrity-db") == 0)
            integrityDb = QString::fromLocal8Bit(argv[i + 1]);
    }
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
    for (const char* name : {"bench", "alvo"}) {
        QProcess p;
        p.start(TrdServerProcess::binaryPath(), {"user", "add", name, "--users", users});
        p.waitForStarted();
        p.write(QByteArray("senha-") + name + "\n");
        p.closeWriteChannel();
        p.waitForFinished();
    }
    const QStringList common{"--quiet", "--max-per-address", "5000", "--request-timeout", "600"};
    printLoad("start");
    if (!integrityDb.isEmpty()) {
        const int status = integrityRun(integrityDb, tsv, seconds);
        printLoad("end");
        return status;
    }
    if (!compareDir.isEmpty()) {
        const int status =
            compareRun({{"this build", qgetenv("TRD_BIN_DIR")}, {"the build compared", compareDir.toLocal8Bit()}}, tsv,
                       users, common, seconds);
        printLoad("end");
        return status;
    }

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

    {
        Crowd crowd(port);
        std::printf("with %zu idle keep-alive connections and %zu slowloris senders open:\n", crowd.idle(),
                    crowd.slow());
        print("  20 savers", concurrentSaves(port, texts, 20, seconds));
        print("  new client waits (connect + /health)", newClientWaits(port, 100));
        print("  burst of 200 simultaneous connects", burst(port, 200));
    }

    TrdServerProcess::Options withUsers = open;
    withUsers.extraArgs = common + QStringList{"--users", users};
    TrdServerProcess secured(withUsers);
    if (!secured.isRunning()) {
        std::fprintf(stderr, "%s\n", qPrintable(secured.errorString()));
        return 1;
    }
    {
        std::size_t checked = 0;
        print("correct log-in alone (floor)", percentiles(loginsAlone(secured.port(), 10)));
        print("correct log-in while 40 other machines loop wrong passwords",
              percentiles(loginsDuringFlood(secured.port(), 40, 30, &checked)));
        std::printf("  (wrong passwords answered meanwhile: %zu)\n", checked);
    }
    const std::string token = loginToken(secured.port());
    RowTexts securedTexts(40, "d");
    print("single save round trip, with login (token checked per call)",
          concurrentSaves(secured.port(), securedTexts, 1, seconds, token));
    print("single save round trip, no login (again, same moment)", concurrentSaves(port, texts, 1, seconds));

    // Login and TLS together, through the client's own HttpClient, beside
    // the plain server without login through the same client.
    if (!makeCertificates(dir))
        return 1;
    TrdServerProcess::Options tlsOptions = open;
    tlsOptions.extraArgs = common
        + QStringList{"--users", users, "--tls-cert", dir.filePath("cert.pem"), "--tls-key", dir.filePath("key.pem")};
    TrdServerProcess tlsServer(tlsOptions);
    if (!tlsServer.isRunning()) {
        std::fprintf(stderr, "%s\n", qPrintable(tlsServer.errorString()));
        return 1;
    }
    const QByteArray ca = dir.filePath("ca.pem").toLocal8Bit();
    std::string tlsToken;
    {
        trd::HttpClient http("127.0.0.1", tlsServer.port(), 5000, 10000);
        http.SetTls(true, ca);
        trd::HttpClient::Response answer;
        QString detail;
        http.Request("POST", "/Trd09300.rdmTraducao",
                     QByteArray::fromStdString(request("Login", "\"bench\",\"senha-bench\"")), answer, &detail);
        const auto at = answer.body.indexOf("\"result\":\"");
        if (at < 0) {
            std::fprintf(stderr, "TLS login failed: %s %s\n", qPrintable(detail), answer.body.constData());
            return 1;
        }
        tlsToken = answer.body.mid(at + 10, answer.body.indexOf('"', at + 10) - at - 10).toStdString();
    }
    std::printf("trd-client's HttpClient, one connection each kept alive, saves taken in turn:\n");
    {
        trd::HttpClient plain("127.0.0.1", port, 5000, 10000);
        trd::HttpClient secure("127.0.0.1", tlsServer.port(), 5000, 10000);
        secure.SetTls(true, ca);
        secure.SetAuthorization(QByteArray::fromStdString("Bearer " + tlsToken));
        TRow plainRow{"ENG", "BENCH", "c1", "fonte", texts[1], "N"};
        TRow secureRow{"ENG", "BENCH", "c1", "fonte", "d", "N"};
        const auto [a, b] = alternateSaves(plain, plainRow, secure, secureRow, 2 * seconds);
        print("  single save, plain HTTP, no login", a);
        print("  single save, TLS + login", b);
        std::printf("  ratio TLS + login / plain: p50 %.2f x, p99 %.2f x\n", b.p50 / a.p50, b.p99 / a.p99);
    }
    std::printf("a new connection and its first answer (GET /health):\n");
    print("  plain HTTP", newConnections(port, false, {}, 200, false));
    print("  TLS, full handshake (ECDSA P-256 certificate)", newConnections(tlsServer.port(), true, ca, 200, false));
    print("  TLS, session resumed", newConnections(tlsServer.port(), true, ca, 200, true));

    // Memory: the server's peak resident size while each hostile request
    // arrives (the peak is reset before each), beside its body limit.
    constexpr int BodyMiB = 64;
    TrdServerProcess::Options memOptions = open;
    memOptions.extraArgs = QStringList{"--quiet", "--max-body", QString::number(BodyMiB)};
    TrdServerProcess memServer(memOptions);
    if (!memServer.isRunning()) {
        std::fprintf(stderr, "%s\n", qPrintable(memServer.errorString()));
        return 1;
    }
    const qint64 pid = memServer.pid();
    const int memPort = memServer.port();
    const std::size_t body = std::size_t(BodyMiB - 4) << 20;
    const std::string postHead =
        "POST /Trd09300.rdmTraducao HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n";
    const auto withLength = [&](std::size_t n, const std::string& extra = {}) {
        return postHead + extra + "Content-Length: " + std::to_string(n) + "\r\n\r\n";
    };
    struct Attack {
        const char* what;
        std::string head, piece;
        std::size_t size;
        std::string tail;
    };
    const std::string paramsOpen = "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"GetIdiTrad\",\"params\":[";
    const std::string stringOpen = "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"SetDestino\",\"params\":[\"";
    const std::vector<Attack> attacks = {
        {"200 MiB of header fields (X-a: b lines)", postHead, "X-a: b\r\n", std::size_t(200) << 20, {}},
        {"1 MiB body sent as gzip (inflates to 1,000 MiB)",
         withLength(1 << 20, "Content-Encoding: gzip\r\n"),
         std::string(1024, '\0'),
         std::size_t(1) << 20,
         {}},
        {"60 MiB of params [0,0,...]", withLength(paramsOpen.size() + body + 1) + paramsOpen, "0,", body - 2, "0]}"},
        {"60 MiB of nesting [[[...", withLength(paramsOpen.size() + body) + paramsOpen, "[", body, {}},
        {"one 60 MiB string parameter", withLength(stringOpen.size() + body + 3) + stringOpen, "a", body, "\"]}"},
        {"Content-Length of 10 GiB", withLength(std::size_t(10) << 30), "0", std::size_t(1) << 20, {}},
    };
    std::printf("peak memory of trd-server (VmHWM) while one hostile request arrives, --max-body %d MiB:\n", BodyMiB);
    for (const Attack& a : attacks) {
        QFile clear(QStringLiteral("/proc/%1/clear_refs").arg(pid));
        const bool reset = clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
        clear.close();
        const long before = statusKiB(pid, "VmRSS:");
        const std::string status = hostile(memPort, a.head, a.piece, a.size, a.tail);
        const long peak = statusKiB(pid, "VmHWM:");
        std::printf(
            "  %-50s answer \"%s\": resident %.1f MiB before, peak %.1f MiB (+%.1f MiB = %.2f x the body limit)%s\n",
            a.what, status.c_str(), before / 1024.0, peak / 1024.0, (peak - before) / 1024.0,
            (peak - before) / 1024.0 / BodyMiB, reset ? "" : " [peak not reset: since start]");
    }
    printLoad("end");
    return 0;
}
