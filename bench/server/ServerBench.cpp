// Server benchmarks over a large database (1,000,000 rows in 5 languages by
// default): fill time, GetDestino and word-filter server time, single-save
// round trip over loopback, and concurrent savers. Prints the figures.
//
//   bench_server --db PATH [--languages 5] [--clients 20] [--seconds 5]
#include "BenchData.h"
#include "BenchRpc.h"
#include "BenchStats.h"
#include "DataPacket.h"
#include "HttpServer.h"
#include "Json.h"
#include "Mix32.h"
#include "ServerContext.h"
#include "SqliteStorage.h"

#include <httplib.h>
#include <sqlite3.h>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace trd::server;
using namespace trd::server::bench;
using namespace trd::bench;

namespace {

// CPU time of the calling thread: on a loaded machine wall time also counts
// the time other processes held the cores.
double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Key {
    std::string lang, prog, comp, src;
};

// The change log of one edited row, as the editor sends it.
std::string saveRequest(const Key& key, const std::string& oldDst, const std::string& oldStatus,
                        const std::string& newDst)
{
    return trd::bench::setDestinoRequest({key.lang, key.prog, key.comp, key.src, oldDst, oldStatus}, newDst);
}

std::string statusOf(int l, int p, int c)
{
    // Mirrors BenchData::fill.
    const unsigned x = trd::mix32(unsigned(l * 7 + p * 131 + c));
    return x % 10 < 6 ? "T" : x % 10 < 8 ? "D" : "N";
}

// The row's destination text as stored now (runs on an existing database
// continue from what earlier runs saved).
std::string currentText(ServerContext& context, int l, int p, int c)
{
    RowSelection sel;
    sel.language = languageCode(l);
    sel.statuses = "TDN";
    sel.conditions.push_back({FilterColumn::Program, false, FilterOperator::Equal, programCode(p)});
    sel.conditions.push_back({FilterColumn::Component, false, FilterOperator::Equal, componentName(c)});
    std::string text;
    context.sessions().acquire()->selectRows(sel, [&](const TranslationRowView& row) { text = row.destination; });
    return text;
}

// The floor of any answer of a language: its rows read by SQLite's C API,
// every column the answer carries, in the answer's order.
double bareScanMs(const std::string& db, const char* language, double* cpuMedian = nullptr)
{
    sqlite3* handle = nullptr;
    sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(handle,
                       "SELECT STAGRVALPROP, STVALORPROP, IDSITTRADUCAO, IDIDIOMA, NMCOMPONENTE, CDPROGTRAD "
                       "FROM TRADUCAO WHERE IDIDIOMA = ? ORDER BY CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP",
                       -1, &st, nullptr);
    sqlite3_bind_text(st, 1, language, -1, SQLITE_STATIC);
    std::vector<double> times, cpu;
    for (int run = 0; run < 5; ++run) {
        const auto start = Clock::now();
        const double cpuStart = threadCpuMs();
        std::size_t bytes = 0;
        while (sqlite3_step(st) == SQLITE_ROW)
            for (int c = 0; c < 6; ++c)
                bytes += static_cast<std::size_t>(sqlite3_column_bytes(st, c)) + (sqlite3_column_text(st, c) ? 1 : 0);
        times.push_back(msSince(start));
        cpu.push_back(threadCpuMs() - cpuStart);
        sqlite3_reset(st);
        if (bytes == 0)
            std::printf("  the scan read nothing\n");
    }
    sqlite3_finalize(st);
    sqlite3_close(handle);
    if (cpuMedian)
        *cpuMedian = percentile(cpu, 0.5);
    return percentile(times, 0.5);
}

// Takes the pieces of a streamed answer as the HTTP layer does, without a
// socket behind it: the server's own share of a streamed answer.
class DiscardingSink : public AnswerSink {
public:
    void send(std::string& bytes) override
    {
        total += bytes.size();
        std::swap(bytes, m_spare);
        bytes.clear();
    }
    std::size_t total = 0;

private:
    std::string m_spare;
};

void serverTime(RpcHandler& handler, const char* what, const std::string& body, int runs, bool cbor = false,
                AnswerSink* sink = nullptr)
{
    std::vector<double> times, cpu;
    std::size_t bytes = 0;
    CallContext context;
    context.acceptsCbor = cbor;
    context.sink = sink;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        const double cpuStart = threadCpuMs();
        const RpcOutcome out = handler.handle(body, context);
        times.push_back(msSince(start));
        cpu.push_back(threadCpuMs() - cpuStart);
        bytes = out.streamed ? out.sentBytes : out.body.size();
        if (!out.ok)
            std::printf("  error: %s\n", out.errorMessage.c_str());
    }
    std::printf("%-44s median %8.1f ms  min %8.1f ms  cpu median %8.1f ms  (%zu bytes)\n", what, percentile(times, 0.5),
                *std::min_element(times.begin(), times.end()), percentile(cpu, 0.5), bytes);
}

} // namespace

int main(int argc, char** argv)
{
    std::string db = "bench-server.db";
    int languages = 5, clients = 20, seconds = 5;
    std::string only;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--db")
            db = argv[i + 1];
        else if (a == "--languages")
            languages = std::stoi(argv[i + 1]);
        else if (a == "--clients")
            clients = std::stoi(argv[i + 1]);
        else if (a == "--seconds")
            seconds = std::stoi(argv[i + 1]);
        else if (a == "--only")
            only = argv[i + 1];
    }
    const bool fresh = !std::filesystem::exists(db);
    std::optional<ServerContext> served(std::in_place, std::make_unique<SqliteStorage>(db, SqliteStorage::creating()));
    ServerContext& context = *served;
    std::printf("load average at start: %.2f\n", oneMinuteLoad());
    if (fresh) {
        const auto start = Clock::now();
        const double cpuStart = processCpuSeconds();
        const std::size_t rows = fill(context.writer(), languages);
        std::printf("%-44s %8.2f s  cpu %6.2f s (%zu rows)\n", "fill", msSince(start) / 1000,
                    processCpuSeconds() - cpuStart, rows);
    }

    if (only == "fill")
        return 0;
    if (only == "reads") {
        // For profiling the read path alone, and where a streamed answer's
        // server time goes beside the bare scan of its rows.
        const std::string all = rpc("GetDestino", "\"T\",\"D\",\"N\",\"L00\",0,0,\"\"");
        for (int round = 0; round < 2; ++round) {
            double scanCpu = 0;
            const double scan = bareScanMs(db, "L00", &scanCpu);
            std::printf("%-44s median %8.1f ms                    cpu median %8.1f ms\n",
                        "bare SQLite scan of those rows (floor)", scan, scanCpu);
            {
                std::vector<double> times, cpu;
                for (int i = 0; i < 7; ++i) {
                    auto session = context.sessions().acquire();
                    RowSelection selection;
                    selection.language = "L00";
                    selection.statuses = "TDN";
                    std::size_t seen = 0;
                    const auto start = Clock::now();
                    const double cpuStart = threadCpuMs();
                    session->selectRows(selection,
                                        [&seen](const TranslationRowView& row) { seen += row.source.size(); });
                    times.push_back(msSince(start));
                    cpu.push_back(threadCpuMs() - cpuStart);
                    if (seen == 0)
                        std::printf("  no rows\n");
                }
                std::printf("%-44s median %8.1f ms                    cpu median %8.1f ms\n",
                            "the server's row loop, writing nothing", percentile(times, 0.5), percentile(cpu, 0.5));
            }
            {
                std::vector<double> times, cpu;
                for (int i = 0; i < 7; ++i) {
                    auto session = context.sessions().acquire();
                    const auto start = Clock::now();
                    const double cpuStart = threadCpuMs();
                    const auto n = session->countRows("L00", "TDN", {});
                    times.push_back(msSince(start));
                    cpu.push_back(threadCpuMs() - cpuStart);
                    if (n == 0)
                        std::printf("  no rows\n");
                }
                std::printf("%-44s median %8.1f ms                    cpu median %8.1f ms\n", "the row count",
                            percentile(times, 0.5), percentile(cpu, 0.5));
            }
            DiscardingSink sink;
            serverTime(context.handler(), "GetDestino (CBOR, in pieces)", all, 7, true, &sink);
            serverTime(context.handler(), "GetDestino (CBOR, whole)", all, 7, true);
        }
        serverTime(context.handler(), "GetDestino", all, 10);
        serverTime(context.handler(), "word filter",
                   rpc("GetFiltroDest",
                       "\"T\",\"D\",\"N\"," + jsonString("AND UPPER(STVALORPROP) LIKE '%W%'") + ",\"L00\",0,0,\"\""),
                   10);
        return 0;
    }

    HttpOptions http;
    http.port = 0;
    http.log = false;
    http.threads = std::max(32, clients + 4);
    HttpServer server(context.handler(), context.health(), http);
    const int port = server.bind();
    std::thread serving([&] { server.serve(); });

    // Server time: the handler from request body to answer body.
    const std::string all = rpc("GetDestino", "\"T\",\"D\",\"N\",\"L00\",0,0,\"\"");
    std::printf("%-44s median %8.1f ms\n", "bare SQLite scan of those rows (floor)", bareScanMs(db, "L00"));
    serverTime(context.handler(), "GetDestino, 200,000 rows (server time)", all, 5);
    serverTime(context.handler(), "GetDestino, 200,000 rows, CBOR (server time)", all, 5, true);
    serverTime(context.handler(), "word filter %W% on 200,000 rows (server time)",
               rpc("GetFiltroDest",
                   "\"T\",\"D\",\"N\"," + jsonString("AND UPPER(STVALORPROP) LIKE '%W%'") + ",\"L00\",0,0,\"\""),
               5);
    serverTime(context.handler(), "word filter %CLIENTE% (server time)",
               rpc("GetFiltroDest",
                   "\"T\",\"D\",\"N\"," + jsonString("AND UPPER(STVALORPROP) LIKE '%CLIENTE%'") + ",\"L00\",0,0,\"\""),
               5);
    {
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(120, 0);
        std::vector<double> times;
        for (int i = 0; i < 3; ++i) {
            const auto start = Clock::now();
            auto res = client.Post("/Trd09300.rdmTraducao", all, "application/json");
            times.push_back(msSince(start));
            if (!res)
                std::printf("  transport error\n");
        }
        std::printf("%-44s median %8.1f ms\n", "GetDestino, 200,000 rows, HTTP round trip", percentile(times, 0.5));
        times.clear();
        std::size_t bytes = 0;
        for (int i = 0; i < 3; ++i) {
            const auto start = Clock::now();
            auto res = client.Post("/Trd09300.rdmTraducao", httplib::Headers{{"Accept", "application/cbor"}}, all,
                                   "application/json");
            times.push_back(msSince(start));
            if (!res || res->get_header_value("Content-Type") != "application/cbor")
                std::printf("  no CBOR answer\n");
            else
                bytes = res->body.size();
        }
        std::printf("%-44s median %8.1f ms  (%zu bytes)\n", "GetDestino, 200,000 rows, CBOR, HTTP round trip",
                    percentile(times, 0.5), bytes);
    }

    // The same save without HTTP: what the handler and the durable commit cost.
    {
        const int l = 1 % languages, p = 8, c = 3;
        const Key key{languageCode(l), programCode(p), componentName(c), sourceText(p, c)};
        std::string dst = currentText(context, l, p, c);
        const std::string status = statusOf(l, p, c);
        std::vector<double> times;
        for (int i = 1; i <= 1000; ++i) {
            const std::string next = destinationText(l, p, c, i);
            const std::string body = saveRequest(key, dst, status, next);
            const auto start = Clock::now();
            const RpcOutcome out = context.handler().handle(body);
            times.push_back(msSince(start));
            if (!out.ok) {
                std::printf("  save failed: %s\n", out.errorMessage.c_str());
                break;
            }
            dst = next;
        }
        std::printf("%-44s p50 %6.3f ms  p99 %6.3f ms\n", "single-row SetDestino (server time)", percentile(times, 0.5),
                    percentile(times, 0.99));
    }

    // One client saving one row after another: loopback round trip, durable.
    {
        httplib::Client client("127.0.0.1", port);
        client.set_tcp_nodelay(true);
        client.set_keep_alive(true);
        const int l = 1 % languages, p = 7, c = 3;
        const Key key{languageCode(l), programCode(p), componentName(c), sourceText(p, c)};
        std::string dst = currentText(context, l, p, c);
        const std::string status = statusOf(l, p, c);
        std::vector<double> times;
        for (int i = 1; i <= 3000; ++i) {
            const std::string next = destinationText(l, p, c, i);
            const std::string body = saveRequest(key, dst, status, next);
            const auto start = Clock::now();
            auto res = client.Post("/Trd09300.rdmTraducao", body, "application/json");
            const double ms = msSince(start);
            if (!res || res->body.find("\"result\"") == std::string::npos) {
                std::printf("  save failed: %s\n", res ? res->body.c_str() : "transport");
                break;
            }
            if (i > 100)
                times.push_back(ms);
            dst = next;
        }
        std::printf("%-44s p50 %6.3f ms  p99 %6.3f ms  (%zu saves)\n", "single-row SetDestino round trip",
                    percentile(times, 0.5), percentile(times, 0.99), times.size());
    }

    // Concurrent savers, each on rows of its own program, for a fixed time.
    {
        const auto before = context.writer().stats();
        std::atomic<bool> stop = false;
        std::vector<std::vector<double>> latencies(static_cast<std::size_t>(clients));
        std::vector<std::vector<std::string>> lastSaved(static_cast<std::size_t>(clients),
                                                        std::vector<std::string>(ComponentsPerProgram));
        std::atomic<int> failures = 0;
        const int l = 2 % languages;
        std::vector<std::thread> threads;
        for (int t = 0; t < clients; ++t) {
            threads.emplace_back([&, t] {
                httplib::Client client("127.0.0.1", port);
                client.set_tcp_nodelay(true);
                client.set_keep_alive(true);
                client.set_read_timeout(60, 0); // a slow answer is a latency, not a failure
                const int p = 100 + t;
                for (int i = 1; !stop; ++i) {
                    const int c = i % ComponentsPerProgram;
                    auto& current = lastSaved[std::size_t(t)][std::size_t(c)];
                    if (current.empty())
                        current = currentText(context, l, p, c);
                    const std::string next = destinationText(l, p, c, i);
                    const std::string body =
                        saveRequest({languageCode(l), programCode(p), componentName(c), sourceText(p, c)}, current,
                                    statusOf(l, p, c), next);
                    const auto start = Clock::now();
                    auto res = client.Post("/Trd09300.rdmTraducao", body, "application/json");
                    latencies[std::size_t(t)].push_back(msSince(start));
                    if (!res || res->body.find("\"result\"") == std::string::npos) {
                        if (failures++ == 0)
                            std::printf("  first failure: %s\n",
                                        res ? res->body.substr(0, 300).c_str()
                                            : httplib::to_string(res.error()).c_str());
                        continue;
                    }
                    current = next;
                }
            });
        }
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        stop = true;
        for (auto& th : threads)
            th.join();
        const double elapsed = msSince(start) / 1000;
        std::vector<double> all;
        for (const auto& v : latencies)
            all.insert(all.end(), v.begin(), v.end());
        const auto after = context.writer().stats();
        std::printf(
            "%-44s %8.0f saves/s  p50 %6.2f ms  p99 %6.2f ms  max %7.1f ms  failures %d  (%.1f deltas per commit)\n",
            (std::to_string(clients) + " concurrent savers").c_str(), double(all.size()) / elapsed,
            percentile(all, 0.5), percentile(all, 0.99), all.empty() ? 0.0 : *std::max_element(all.begin(), all.end()),
            failures.load(),
            double(after.deltas - before.deltas) / double(std::max<std::uint64_t>(1, after.batches - before.batches)));

        // No lost update: every row holds the last text its client saw acknowledged.
        auto session = context.sessions().acquire();
        std::size_t checked = 0, lost = 0;
        for (int t = 0; t < clients; ++t) {
            RowSelection sel;
            sel.language = languageCode(l);
            sel.statuses = "TDN";
            sel.conditions.push_back({FilterColumn::Program, false, FilterOperator::Equal, programCode(100 + t)});
            session->selectRows(sel, [&](const TranslationRowView& row) {
                const int c = std::stoi(std::string(row.component.substr(8)));
                const std::string& expected = lastSaved[std::size_t(t)][std::size_t(c)];
                if (!expected.empty()) {
                    ++checked;
                    lost += row.destination != expected;
                }
            });
        }
        std::printf("%-44s %zu rows checked, %zu lost updates\n", "lost-update check", checked, lost);
    }
    // The same single-row round trip without the fsync: what the server itself
    // costs (HTTP, JSON, packet, SQL), apart from the disk. A second server on
    // the database would write into the file under the first one's file
    // guard, which would (rightly) take it for another program's writes: the
    // first is closed before.
    server.stop();
    serving.join();
    served.reset();
    {
        SqliteOpenOptions notDurable;
        notDurable.durable = false;
        ServerContext fast(std::make_unique<SqliteStorage>(db, notDurable));
        HttpOptions fastHttp = http;
        HttpServer fastServer(fast.handler(), fast.health(), fastHttp);
        const int fastPort = fastServer.bind();
        std::thread fastServing([&] { fastServer.serve(); });
        httplib::Client client("127.0.0.1", fastPort);
        client.set_tcp_nodelay(true);
        client.set_keep_alive(true);
        const int l = 1 % languages, p = 9, c = 3;
        const Key key{languageCode(l), programCode(p), componentName(c), sourceText(p, c)};
        std::string dst = currentText(fast, l, p, c);
        const std::string status = statusOf(l, p, c);
        std::vector<double> times;
        for (int i = 1; i <= 3000; ++i) {
            const std::string next = destinationText(l, p, c, 100000 + i);
            const std::string body = saveRequest(key, dst, status, next);
            const auto start = Clock::now();
            auto res = client.Post("/Trd09300.rdmTraducao", body, "application/json");
            const double ms = msSince(start);
            if (!res || res->body.find("\"result\"") == std::string::npos)
                break;
            if (i > 100)
                times.push_back(ms);
            dst = next;
        }
        std::printf("%-44s p50 %6.3f ms  p99 %6.3f ms  (%zu saves)\n", "single-row round trip, fsync off (overhead)",
                    percentile(times, 0.5), percentile(times, 0.99), times.size());
        fastServer.stop();
        fastServing.join();
    }

    // What a durable commit costs on this disk right now, for scale.
    {
        const std::string probe = db + ".probe";
        std::filesystem::remove(probe);
        std::filesystem::remove(probe + "-wal");
        std::filesystem::remove(probe + "-shm");
        SqliteStorage storage(probe, SqliteStorage::creating());
        auto writer = storage.openWriter();
        std::vector<double> times;
        for (int i = 0; i < 300; ++i) {
            const auto start = Clock::now();
            writer->beginBatch();
            writer->putLanguage({"PRB", "probe " + std::to_string(i), "POR"});
            writer->commitBatch();
            times.push_back(msSince(start));
        }
        std::printf("%-44s p50 %6.3f ms  p99 %6.3f ms\n", "bare durable SQLite commit (WAL, FULL)",
                    percentile(times, 0.5), percentile(times, 0.99));
    }
    std::printf("load average at end: %.2f\n", oneMinuteLoad());
    return 0;
}
