// What the file guard adds to a checkpoint: the pages the checkpoint writes
// told to the guard as they are written (with a digest each), then read back
// with the sampled pages at its end. The same checkpoint, of the same
// number of pages, on two databases of the same shape in the same run: one
// through SQLite's own VFS with no guard, one as the server's checkpointer
// makes it; beside a bare durable commit on the same disk.
//
//   bench_checkpoint_guard [--dir PATH] [--rounds 9]
#include "BenchStats.h"
#include "SqliteConnection.h"
#include "SqliteFileGuard.h"

#include <sqlite3.h>

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace trd::server;
using namespace trd::bench;

namespace {

constexpr int TableRows = 24000; // a row a page: a database of about 24,000 pages (94 MiB)

void fill(SqliteConnection& db)
{
    db.exec("CREATE TABLE IF NOT EXISTS t(id INTEGER PRIMARY KEY, x BLOB)");
    db.exec(("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(TableRows)
             + ") INSERT INTO t SELECT i, randomblob(3000) FROM n")
                .c_str());
    sqlite3_wal_checkpoint_v2(db.handle(), nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
}

// `pages` rows spread over the table rewritten into the log.
void change(SqliteConnection& db, int pages, int round)
{
    const int step = TableRows / pages;
    db.exec(("UPDATE t SET x = randomblob(3000) WHERE (id + " + std::to_string(round) + ") % " + std::to_string(step)
             + " = 0")
                .c_str());
}

// The whole checkpoint, and of it the guard's end (the read-back) in *end.
double checkpointMs(SqliteConnection& db, SqliteFileGuard* guard, double* end = nullptr)
{
    const auto start = Clock::now();
    {
        std::unique_ptr<SqliteFileGuard::OwnWrite> writing;
        if (guard)
            writing = std::make_unique<SqliteFileGuard::OwnWrite>(*guard);
        sqlite3_wal_checkpoint_v2(db.handle(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        const auto ending = Clock::now();
        writing.reset();
        if (end)
            *end = msSince(ending);
    }
    return msSince(start);
}

double median(std::vector<double> v)
{
    return percentile(std::move(v), 0.5);
}

} // namespace

int main(int argc, char** argv)
{
    QString parent = QDir::tempPath();
    int rounds = 9;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--dir"))
            parent = QString::fromLocal8Bit(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--rounds"))
            rounds = std::max(1, std::atoi(argv[i + 1]));
    }
    // A folder of its own on the disk asked for, gone at the end.
    QTemporaryDir temporary(parent + QStringLiteral("/bench-checkpoint-XXXXXX"));
    if (!temporary.isValid()) {
        std::fprintf(stderr, "bench_checkpoint_guard: no folder can be made in %s\n", qPrintable(parent));
        return 2;
    }
    const std::string dir = temporary.path().toStdString();
    std::printf("load average at start: %s\n", loadAverage().c_str());
    const std::string plainPath = dir + "/plain.db", guardedPath = dir + "/guarded.db";
    SqliteConnection plain(plainPath);
    SqliteConnection guarded(guardedPath, true, SqliteConnection::Mode::Create, notedVfsName());
    fill(plain);
    fill(guarded);
    sqlite3_wal_autocheckpoint(plain.handle(), 0);
    sqlite3_wal_autocheckpoint(guarded.handle(), 0);
    SqliteFileGuard guard(guardedPath);
    guard.noteWritesOf(guarded.handle());
    guard.record(true);

    for (const int pages : {1000, 12000}) {
        std::vector<double> without, with, ends;
        for (int round = 0; round < rounds; ++round) {
            change(plain, pages, round);
            change(guarded, pages, round);
            // Alternated, so that neither always follows the other's fsync.
            double end = 0;
            if (round % 2 == 0) {
                without.push_back(checkpointMs(plain, nullptr));
                with.push_back(checkpointMs(guarded, &guard, &end));
            } else {
                with.push_back(checkpointMs(guarded, &guard, &end));
                without.push_back(checkpointMs(plain, nullptr));
            }
            ends.push_back(end);
        }
        const double a = median(without), b = median(with);
        std::printf("checkpoint of %5d pages  no guard %8.2f ms  guarded %8.2f ms, its end (the read-back) %6.2f ms"
                    "  (+%.2f ms, %.2f x; medians of %d)\n",
                    pages, a, b, median(ends), b - a, a > 0 ? b / a : 0.0, rounds);
    }
    const std::string lost = guard.check();
    if (!lost.empty())
        std::printf("the guard took the checkpoints for another program's writes: %s\n", lost.c_str());

    // For scale: a bare durable commit on the same disk.
    {
        SqliteConnection probe(dir + "/probe.db");
        probe.exec("CREATE TABLE IF NOT EXISTS p(x)");
        std::vector<double> times;
        for (int i = 0; i < 200; ++i) {
            const auto start = Clock::now();
            probe.exec("INSERT INTO p VALUES (1)");
            times.push_back(msSince(start));
        }
        std::printf("floor: bare durable SQLite commit  p50 %.3f ms\n", median(times));
    }
    guard.stopNotingWritesOf(guarded.handle());
    std::printf("load average at end: %s\n", loadAverage().c_str());
    return lost.empty() ? 0 : 1;
}
