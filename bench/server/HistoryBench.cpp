// What keeping every change costs, each figure beside a floor measured in the
// same run, on SQLite with full durability:
//   - a save's round trip over loopback with versions kept, taken in turn
//     with the same save on a server that keeps none (floors: a loopback
//     round trip, a bare durable commit); and the same saves' server time
//     (the handler's, commit included), in turn again; and the server time
//     of the same saves without the fsync, what the version's statements
//     cost apart from the disk;
//   - GetHistorico of a row with 1,000 versions (floor: a bare SQLite read of
//     1,000 version rows);
//   - GetLotes over a year of a language: 10,000 batches, among 50,000 of five
//     languages (floor: a bare scan of the batches table);
//   - DesfazLote of a 10,000-row batch (floor: the same 10,000 rows updated
//     by the C API in one durable transaction);
//   - the disk that 100,000 versions take beyond the texts they keep, written
//     as 10 replace-all runs and as 100,000 single posts.
//
//   bench_history [--dir PATH] [--saves 2000] [--only-saves]
// Put --dir on the disk to measure (not tmpfs, where fsync costs nothing).
#include "HistoryBenchTexts.h"
#include "BenchRpc.h"
#include "BenchStats.h"
#include "DataPacket.h"
#include "HttpServer.h"
#include "Json.h"
#include "ServerContext.h"
#include "SqliteStorage.h"

#include <httplib.h>
#include <sqlite3.h>

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <time.h>
#include <vector>

using namespace trd::server;
using namespace trd::bench;

using namespace trd::bench::history;

namespace {

std::string saveRequest(const std::string& lang, int row, const std::string& oldDst, const std::string& newDst)
{
    return trd::bench::setDestinoRequest({lang, "BENCH", component(row), source(row), oldDst, "T"}, newDst);
}

RowChange change(const std::string& lang, int row, const std::string& oldDst, const std::string& newDst)
{
    RowChange c;
    c.kind = RowChange::Kind::Modify;
    c.original = {lang, "BENCH", component(row), source(row)};
    c.originalDestination = oldDst;
    c.originalStatus = "T";
    c.updated = {c.original, newDst, "T", std::nullopt};
    return c;
}

// Languages L00.. with `rows` rows each, text version 0.
void seed(ServerContext& context, int languages, int rows, double date)
{
    context.writer().runExclusive([&](StorageWriter& w) {
        for (int l = 0; l < languages; ++l) {
            const std::string lang = "L0" + std::to_string(l);
            w.putLanguage({lang, "Idioma " + std::to_string(l), "POR"});
            for (int i = 0; i < rows; ++i)
                w.insertRow({{lang, "BENCH", component(i), source(i)}, text(i, 0), "T", date}, date);
        }
    });
}

std::unique_ptr<ServerContext> open(const std::string& path, bool keepVersions, bool durable = true)
{
    SqliteOpenOptions options = SqliteStorage::creating();
    options.keepVersions = keepVersions;
    options.durable = durable;
    return std::make_unique<ServerContext>(std::make_unique<SqliteStorage>(path, options));
}

// The database file's size once its WAL is copied in and cut.
std::uintmax_t checkpointedSize(const std::string& path)
{
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return std::filesystem::file_size(path);
}

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

// Median server time (request body to answer body) of a call; `cpu` gets the
// median processor time, which a loaded machine does not stretch.
double handlerMs(ServerContext& context, const std::string& body, int runs, std::size_t* bytes = nullptr,
                 double* cpu = nullptr)
{
    std::vector<double> times, cpuTimes;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        const double cpuStart = threadCpuMs();
        const RpcOutcome out = context.handler().handle(body);
        times.push_back(msSince(start));
        cpuTimes.push_back(threadCpuMs() - cpuStart);
        if (!out.ok)
            std::printf("  error: %s\n", out.errorMessage.c_str());
        if (bytes)
            *bytes = out.body.size();
    }
    if (cpu)
        *cpu = percentile(cpuTimes, 0.5);
    return percentile(times, 0.5);
}

// The server's own time for one save of `row` (request body in, answer body
// out), the texts it read remembered for the next.
double timedSave(ServerContext& context, std::vector<std::string>& texts, int row, int version)
{
    const std::string next = text(row, version);
    const std::string body = saveRequest("L00", row, texts[std::size_t(row)], next);
    const auto start = Clock::now();
    const RpcOutcome out = context.handler().handle(body);
    const double ms = msSince(start);
    if (!out.ok)
        std::printf("  save failed: %s\n", out.errorMessage.c_str());
    texts[std::size_t(row)] = next;
    return ms;
}

// ---------------------------------------------------------------- a save's round trip

void saveRoundTrip(const std::string& dir, int saves)
{
    auto kept = open(dir + "/kept.db", true);
    auto none = open(dir + "/none.db", false);
    constexpr int Rows = 100;
    seed(*kept, 1, Rows, 46000);
    seed(*none, 1, Rows, 46000);
    HttpOptions http;
    http.port = 0;
    http.log = false;
    HttpServer keptServer(kept->handler(), kept->health(), http);
    HttpServer noneServer(none->handler(), none->health(), http);
    const int keptPort = keptServer.bind(), nonePort = noneServer.bind();
    std::thread a([&] { keptServer.serve(); }), b([&] { noneServer.serve(); });

    httplib::Client keptClient("127.0.0.1", keptPort), noneClient("127.0.0.1", nonePort);
    for (auto* c : {&keptClient, &noneClient}) {
        c->set_tcp_nodelay(true);
        c->set_keep_alive(true);
    }
    std::vector<double> withVersions, without, loopback, commits;
    sqlite3* floorDb = nullptr;
    sqlite3_open((dir + "/floor.db").c_str(), &floorDb);
    sqlite3_exec(floorDb,
                 "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; CREATE TABLE T (A INTEGER PRIMARY KEY, B TEXT);"
                 "INSERT INTO T VALUES (1, '')",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* floorUpdate = nullptr;
    sqlite3_prepare_v2(floorDb, "UPDATE T SET B = ? WHERE A = 1", -1, &floorUpdate, nullptr);
    std::vector<std::string> keptText(Rows), noneText(Rows);
    for (int i = 0; i < Rows; ++i)
        keptText[std::size_t(i)] = noneText[std::size_t(i)] = text(i, 0);
    const auto save = [](httplib::Client& client, std::vector<std::string>& texts, int row, int version) {
        const std::string next = text(row, version);
        const std::string body = saveRequest("L00", row, texts[std::size_t(row)], next);
        const auto start = Clock::now();
        auto res = client.Post("/Trd09300.rdmTraducao", body, "application/json");
        const double ms = msSince(start);
        if (!res || res->body.find("\"result\"") == std::string::npos)
            std::printf("  save failed: %s\n", res ? res->body.c_str() : "transport");
        texts[std::size_t(row)] = next;
        return ms;
    };
    // In turn, so that both meet the same moments of a shared machine.
    for (int i = 1; i <= saves + 100; ++i) {
        const int row = i % Rows;
        const double k = save(keptClient, keptText, row, i);
        const double n = save(noneClient, noneText, row, i);
        const auto start = Clock::now();
        keptClient.Get("/health");
        const double rt = msSince(start);
        const std::string value = "valor " + std::to_string(i);
        sqlite3_bind_text(floorUpdate, 1, value.c_str(), -1, SQLITE_TRANSIENT);
        const auto commitStart = Clock::now();
        sqlite3_step(floorUpdate); // autocommit: one durable transaction
        const double commit = msSince(commitStart);
        sqlite3_reset(floorUpdate);
        if (i > 100) {
            withVersions.push_back(k);
            without.push_back(n);
            loopback.push_back(rt);
            commits.push_back(commit);
        }
    }
    sqlite3_finalize(floorUpdate);
    sqlite3_close(floorDb);
    keptServer.stop();
    noneServer.stop();
    a.join();
    b.join();
    std::printf("save round trip, versions kept                p50 %6.3f ms  p99 %6.3f ms\n",
                percentile(withVersions, 0.5), percentile(withVersions, 0.99));
    std::printf("save round trip, no versions (same moments)   p50 %6.3f ms  p99 %6.3f ms\n", percentile(without, 0.5),
                percentile(without, 0.99));
    std::printf("  ratio                                       p50 %6.2f x   p99 %6.2f x   (%d saves each)\n",
                percentile(withVersions, 0.5) / percentile(without, 0.5),
                percentile(withVersions, 0.99) / percentile(without, 0.99), saves);
    std::printf("  floor: loopback round trip (GET /health)    p50 %6.3f ms  p99 %6.3f ms\n", percentile(loopback, 0.5),
                percentile(loopback, 0.99));
    std::printf("  floor: bare durable commit (C API)          p50 %6.3f ms  p99 %6.3f ms\n", percentile(commits, 0.5),
                percentile(commits, 0.99));

    // The server's own time for the same saves (request body in, answer
    // body out, the durable commit included), in turn again, without the
    // loopback and the client: what keeping the version adds to the server.
    std::vector<double> keptHandled, noneHandled, bareCommits;
    sqlite3_open((dir + "/floor.db").c_str(), &floorDb);
    sqlite3_prepare_v2(floorDb, "UPDATE T SET B = ? WHERE A = 1", -1, &floorUpdate, nullptr);
    for (int i = saves + 101; i <= 2 * saves + 200; ++i) {
        const int row = i % Rows;
        const double k = timedSave(*kept, keptText, row, i);
        const double n = timedSave(*none, noneText, row, i);
        const std::string value = "valor " + std::to_string(i);
        sqlite3_bind_text(floorUpdate, 1, value.c_str(), -1, SQLITE_TRANSIENT);
        const auto commitStart = Clock::now();
        sqlite3_step(floorUpdate);
        const double commit = msSince(commitStart);
        sqlite3_reset(floorUpdate);
        if (i > saves + 200) {
            keptHandled.push_back(k);
            noneHandled.push_back(n);
            bareCommits.push_back(commit);
        }
    }
    sqlite3_finalize(floorUpdate);
    sqlite3_close(floorDb);
    std::printf("save server time, versions kept               p50 %6.3f ms  p99 %6.3f ms\n",
                percentile(keptHandled, 0.5), percentile(keptHandled, 0.99));
    std::printf("save server time, no versions (same moments)  p50 %6.3f ms  p99 %6.3f ms\n",
                percentile(noneHandled, 0.5), percentile(noneHandled, 0.99));
    std::printf("  ratio                                       p50 %6.2f x   p99 %6.2f x   (load %.2f)\n",
                percentile(keptHandled, 0.5) / percentile(noneHandled, 0.5),
                percentile(keptHandled, 0.99) / percentile(noneHandled, 0.99), oneMinuteLoad());
    std::printf("  floor: bare durable commit (C API)          p50 %6.3f ms  p99 %6.3f ms\n",
                percentile(bareCommits, 0.5), percentile(bareCommits, 0.99));
}

// The same saves with the commit not made durable (no fsync), in turn: what
// the version's statements cost the server apart from the disk; the rest of
// the difference above is the commit's larger write (the version's, the
// batch's and the batch index's pages in the log).
void saveStatements(const std::string& dir, int saves)
{
    auto kept = open(dir + "/kept-fast.db", true, false);
    auto none = open(dir + "/none-fast.db", false, false);
    constexpr int Rows = 100;
    seed(*kept, 1, Rows, 46000);
    seed(*none, 1, Rows, 46000);
    std::vector<std::string> keptText(Rows), noneText(Rows);
    for (int i = 0; i < Rows; ++i)
        keptText[std::size_t(i)] = noneText[std::size_t(i)] = text(i, 0);
    std::vector<double> keptTimes, noneTimes;
    for (int i = 1; i <= saves + 100; ++i) {
        const double k = timedSave(*kept, keptText, i % Rows, i);
        const double n = timedSave(*none, noneText, i % Rows, i);
        if (i > 100) {
            keptTimes.push_back(k);
            noneTimes.push_back(n);
        }
    }
    std::printf("save server time, no fsync, versions kept     p50 %6.3f ms  p99 %6.3f ms\n",
                percentile(keptTimes, 0.5), percentile(keptTimes, 0.99));
    std::printf("save server time, no fsync, no versions       p50 %6.3f ms  p99 %6.3f ms\n",
                percentile(noneTimes, 0.5), percentile(noneTimes, 0.99));
    std::printf("  difference                                  p50 %6.3f ms            (load %.2f)\n",
                percentile(keptTimes, 0.5) - percentile(noneTimes, 0.5), oneMinuteLoad());
}

// ---------------------------------------------------------------- reads and undo

void readsAndUndo(const std::string& dir)
{
    const std::string path = dir + "/history.db";
    auto context = open(path, true);
    constexpr int Languages = 5, Rows = 10000;
    seed(*context, Languages, Rows, 45600);

    // A row with 1,000 versions.
    {
        std::string current = text(0, 0);
        for (int v = 1; v <= 1000; ++v) {
            context->writer().apply({change("L00", 0, current, text(0, v))});
            current = text(0, v);
        }
        const std::string body =
            rpc("GetHistorico", "\"L00\",\"BENCH\"," + jsonString(component(0)) + "," + jsonString(source(0)) + ",0");
        std::size_t bytes = 0;
        double cpu = 0;
        const double ms = handlerMs(*context, body, 30, &bytes, &cpu);
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT * FROM VERSAO WHERE IDVERSAO > (SELECT MAX(IDVERSAO) - 1000 FROM VERSAO)", -1,
                           &st, nullptr);
        std::vector<double> floor;
        for (int run = 0; run < 30; ++run) {
            const auto start = Clock::now();
            std::size_t bytes = 0;
            while (sqlite3_step(st) == SQLITE_ROW)
                bytes += static_cast<std::size_t>(sqlite3_column_bytes(st, 7));
            floor.push_back(msSince(start));
            if (bytes == 0)
                std::printf("  the floor read no text\n");
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        sqlite3_close(db);
        std::printf("GetHistorico, 1,000 versions (server time)    median %6.2f ms  cpu %6.2f ms  (%zu bytes)\n", ms,
                    cpu, bytes);
        std::printf("  floor: bare read of 1,000 version rows      median %6.2f ms\n", percentile(floor, 0.5));
    }

    // A year of batches in each of five languages, 10,000 each, one a post.
    {
        const auto start = Clock::now();
        context->writer().runExclusive([&](StorageWriter& w) {
            std::vector<int> version(Languages * Rows, 0);
            for (int i = 0; i < Languages * Rows; ++i) {
                const int l = i % Languages, row = (i / Languages) % Rows;
                const double day = 45658 + 365.0 * i / (Languages * Rows);
                WriteOrigin origin;
                origin.user = "ana";
                origin.method = "SetDestino";
                w.setOrigin(origin);
                const std::string lang = "L0" + std::to_string(l);
                w.insertRow({{lang, "BENCH", component(row), source(row)},
                             text(row, ++version[std::size_t(i)] + 5000),
                             "T",
                             day},
                            day);
            }
        });
        std::printf("(50,000 one-row batches written in %.1f s)\n", msSince(start) / 1000);
        std::size_t bytes = 0;
        double cpu = 0;
        const double ms =
            handlerMs(*context, rpc("GetLotes", "\"L02\",{\"date\":45658},{\"date\":46022}"), 20, &bytes, &cpu);
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* st = nullptr;
        // Every batch read once, its columns as stored, the language's kept.
        sqlite3_prepare_v2(db, "SELECT IDLOTE, IDIDIOMA, TPLOTE, NMUSUARIO, NMMETODO, DTLOTE, NRLINHAS FROM LOTE", -1,
                           &st, nullptr);
        std::vector<double> floor;
        for (int run = 0; run < 20; ++run) {
            const auto start2 = Clock::now();
            std::size_t kept = 0;
            while (sqlite3_step(st) == SQLITE_ROW)
                kept += std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(st, 1))) == "L02";
            floor.push_back(msSince(start2));
            sqlite3_reset(st);
            if (kept != 10001) // the year's 10,000 and the seed's import
                std::printf("  the floor found %zu batches\n", kept);
        }
        sqlite3_finalize(st);
        sqlite3_close(db);
        std::printf(
            "GetLotes, a year of one language (server time) median %6.2f ms  cpu %6.2f ms  (10,000 batches, %zu "
            "bytes)\n",
            ms, cpu, bytes);
        std::printf("  floor: bare scan of all 50,000 batches      median %6.2f ms\n", percentile(floor, 0.5));
    }

    // A replace-all run of 10,000 rows, undone.
    {
        std::string id;
        {
            const RpcOutcome out = context->handler().handle(rpc("AbreLote", "\"L01\",\"substituicao\""));
            const auto at = out.body.find("IDLOTE=\\\"");
            id = out.body.substr(at + 9, out.body.find('\\', at + 9) - at - 9);
        }
        // The rows as the year of posts left them, read back, then replaced.
        std::vector<RowChange> changes;
        for (int row = 0; row < Rows; ++row)
            changes.push_back(change("L01", row, "", text(row, 99999)));
        RowSelection all;
        all.language = "L01";
        all.statuses = "TDN";
        std::vector<std::string> now(Rows);
        context->sessions().acquire()->selectRows(all, [&](const TranslationRowView& r) {
            const int row = std::stoi(std::string(r.component.substr(3))) - 100000;
            now[std::size_t(row)] = std::string(r.destination);
        });
        for (int row = 0; row < Rows; ++row)
            changes[std::size_t(row)].originalDestination = now[std::size_t(row)];
        WriteOrigin origin;
        origin.method = "SetDestino";
        origin.batch = std::stoll(id);
        context->writer().apply(changes, origin);
        const auto start = Clock::now();
        const RpcOutcome out = context->handler().handle(rpc("DesfazLote", "\"L01\"," + id + ",\"N\""));
        const double ms = msSince(start);
        if (!out.ok)
            std::printf("  undo failed: %s\n", out.errorMessage.c_str());
        // Floor: the same rows written back by the C API, one durable transaction.
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
        const auto floorStart = Clock::now();
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db,
                           "UPDATE TRADUCAO SET STVALORPROP = ?, DTALTERACAO = ? WHERE IDIDIOMA = 'L01' AND "
                           "CDPROGTRAD = 'BENCH' AND NMCOMPONENTE = ? AND STAGRVALPROP = ?",
                           -1, &st, nullptr);
        for (int row = 0; row < Rows; ++row) {
            const std::string t = text(row, 77777), c = component(row), s = source(row);
            sqlite3_bind_text(st, 1, t.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_double(st, 2, 46100.5);
            sqlite3_bind_text(st, 3, c.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 4, s.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        const double floor = msSince(floorStart);
        sqlite3_close(db);
        std::printf("DesfazLote, 10,000 rows (server time, durable) %8.1f ms  (%zu answer bytes)\n", ms,
                    out.body.size());
        std::printf("  floor: 10,000 rows updated by the C API, one durable transaction %8.1f ms\n", floor);
    }
}

// ---------------------------------------------------------------- disk

void disk(const std::string& dir)
{
    constexpr int Rows = 10000, Versions = 100000;
    for (const bool singlePosts : {false, true}) {
        std::uintmax_t growth[2] = {0, 0};
        std::uintmax_t textBytes = 0;
        for (const bool keep : {false, true}) {
            const std::string path = dir + "/disk-" + std::to_string(singlePosts) + std::to_string(keep) + ".db";
            auto context = open(path, keep, false);
            seed(*context, 1, Rows, 45000);
            context.reset();
            const std::uintmax_t before = checkpointedSize(path);
            context = open(path, keep, false);
            textBytes = 0;
            std::vector<int> version(Rows, 0);
            context->writer().runExclusive([&](StorageWriter& w) {
                WriteOrigin run;
                run.method = "SetDestino";
                run.kind = BatchKind::Replace;
                for (int i = 0; i < Versions; ++i) {
                    const int row = i % Rows;
                    if (singlePosts || row == 0) {
                        WriteOrigin origin = singlePosts ? WriteOrigin{} : run;
                        origin.method = "SetDestino";
                        w.setOrigin(origin);
                    }
                    // The text the version keeps is the one being replaced.
                    textBytes += text(row, version[std::size_t(row)]).size();
                    ++version[std::size_t(row)];
                    w.insertRow({{"L00", "BENCH", component(row), source(row)},
                                 text(row, version[std::size_t(row)]),
                                 "T",
                                 46000 + i / 86400.0},
                                46000 + i / 86400.0);
                }
            });
            context.reset();
            growth[keep] = checkpointedSize(path) - before;
        }
        const double perVersion = (double(growth[1]) - double(growth[0]) - double(textBytes)) / Versions;
        std::printf("disk, 100,000 versions as %-22s %.1f MiB more than without versions; texts kept %.1f MiB; "
                    "beyond the texts %.1f bytes a version\n",
                    singlePosts ? "100,000 single posts:" : "10 replace-all runs:",
                    double(growth[1] - growth[0]) / (1 << 20), double(textBytes) / (1 << 20), perVersion);
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::string dir;
    int saves = 2000;
    bool onlySaves = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--dir" && i + 1 < argc)
            dir = argv[++i];
        else if (a == "--saves" && i + 1 < argc)
            saves = std::stoi(argv[++i]);
        else if (a == "--only-saves")
            onlySaves = true;
    }
    QTemporaryDir temporary(dir.empty() ? QDir::tempPath() + QStringLiteral("/bench-history-XXXXXX")
                                        : QString::fromStdString(dir) + QStringLiteral("/bench-history-XXXXXX"));
    const std::string where = temporary.path().toStdString();
    std::printf("load average at start: %.2f   (databases in %s)\n", oneMinuteLoad(), where.c_str());
    saveRoundTrip(where, saves);
    saveStatements(where, saves);
    if (!onlySaves) {
        readsAndUndo(where);
        disk(where);
    }
    std::printf("load average at end: %.2f\n", oneMinuteLoad());
    return 0;
}
