// What a one-row save writes to SQLite's write-ahead log and what it costs
// the processor, with versions kept and without, on the same rows:
//   - log frames per save: the log's growth over the saves, checkpoints off
//     (the writer opened as beside a serving server), divided by a frame;
//   - processor time per save (p50 of the thread's own time), commits not
//     made durable, so that the disk stays out of it.
// Under valgrind --tool=callgrind --instr-atstart=no only the saves are
// counted, so the instructions a save takes are the total over --saves.
//
//   bench_version_wal [--dir PATH] [--saves 1000] [--only kept|none]
#include "HistoryBenchTexts.h"
#include "BenchRpc.h"
#include "BenchStats.h"
#include "ServerContext.h"
#include "SqliteStorage.h"

#include <sqlite3.h>
#include <valgrind/callgrind.h>

#include <QTemporaryDir>

#include <cstdio>
#include <filesystem>
#include <string>
#include <time.h>
#include <vector>

using namespace trd::server;
using namespace trd::bench;

using namespace trd::bench::history;

namespace {

constexpr int Rows = 100;

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

std::uintmax_t walBytes(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path + "-wal", error);
    return error ? 0 : size;
}

int pageSize(const std::string& path)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA page_size", -1, &st, nullptr);
    sqlite3_step(st);
    const int size = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return size;
}

struct Figures {
    double framesPerSave = 0;
    double cpuP50 = 0;
    double cpuP99 = 0;
};

// Kept out of line so that a profile names it.
[[gnu::noinline]] std::vector<double> measuredSaves(ServerContext& context, std::vector<std::string>& texts, int saves,
                                                    int& failures)
{
    std::vector<double> cpu;
    cpu.reserve(std::size_t(saves));
    CALLGRIND_START_INSTRUMENTATION;
    for (int i = 1; i <= saves; ++i) {
        const int row = i % Rows;
        const std::string next = text(row, i);
        const std::string body =
            setDestinoRequest({"L00", "BENCH", component(row), source(row), texts[std::size_t(row)], "T"}, next);
        const double start = threadCpuMs();
        const RpcOutcome out = context.handler().handle(body);
        cpu.push_back(threadCpuMs() - start);
        if (!out.ok)
            ++failures;
        texts[std::size_t(row)] = next;
    }
    CALLGRIND_STOP_INSTRUMENTATION;
    return cpu;
}

Figures run(const std::string& path, bool keepVersions, int saves)
{
    SqliteOpenOptions options = SqliteStorage::creating();
    options.keepVersions = keepVersions;
    options.durable = false;
    {
        // Made first on its own, so that the run below opens it as a tool
        // beside a server would: no checkpoint ever copies the log away.
        SqliteStorage made(path, options);
    }
    options.create = false;
    options.besideServer = true;
    ServerContext context(std::make_unique<SqliteStorage>(path, options));
    std::vector<std::string> texts(Rows);
    context.writer().runExclusive([&](StorageWriter& w) {
        w.putLanguage({"L00", "Idioma 0", "POR"});
        for (int i = 0; i < Rows; ++i) {
            texts[std::size_t(i)] = text(i, 0);
            w.insertRow({{"L00", "BENCH", component(i), source(i)}, texts[std::size_t(i)], "T", 46000.0}, 46000.0);
        }
    });
    int failures = 0;
    measuredSaves(context, texts, 50, failures); // statements prepared, pages cached
    const std::uintmax_t before = walBytes(path);
    const std::vector<double> cpu = measuredSaves(context, texts, saves, failures);
    const std::uintmax_t after = walBytes(path);
    if (failures > 0)
        std::printf("  %d saves failed\n", failures);
    Figures f;
    f.framesPerSave = double(after - before) / double(pageSize(path) + 24) / saves;
    f.cpuP50 = percentile(cpu, 0.5);
    f.cpuP99 = percentile(cpu, 0.99);
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    std::string dir, only;
    int saves = 1000;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--dir" && i + 1 < argc)
            dir = argv[++i];
        else if (a == "--saves" && i + 1 < argc)
            saves = std::stoi(argv[++i]);
        else if (a == "--only" && i + 1 < argc)
            only = argv[++i];
    }
    QTemporaryDir temporary(dir.empty() ? QDir::tempPath() + QStringLiteral("/bench-version-wal-XXXXXX")
                                        : QString::fromStdString(dir) + QStringLiteral("/bench-version-wal-XXXXXX"));
    const std::string where = temporary.path().toStdString();
    std::printf("load average at start: %.2f   (%d saves, databases in %s)\n", oneMinuteLoad(), saves, where.c_str());
    for (const bool kept : {true, false}) {
        if (!only.empty() && only != (kept ? "kept" : "none"))
            continue;
        const Figures f = run(where + (kept ? "/kept.db" : "/none.db"), kept, saves);
        std::printf("%-15s log frames a save %5.2f   processor a save p50 %6.3f ms  p99 %6.3f ms\n",
                    kept ? "versions kept" : "no versions", f.framesPerSave, f.cpuP50, f.cpuP99);
    }
    std::printf("load average at end: %.2f\n", oneMinuteLoad());
    return 0;
}
