// Large batches written and undone, on SQLite and on a durable throwaway
// PostgreSQL cluster, the same rows in the same run, through the server's
// writer as a SetDestino and a DesfazLote drive it (versions and batches
// included):
//   - a propagation: one delta changing N rows of a language;
//   - the undo of that batch (DesfazLote), N rows put back;
//   - the undo of the import that seeded the rows (DesfazLote), N rows deleted.
// Each beside its floor in the same run: on SQLite the same N rows updated
// by the C API in one durable transaction; on PostgreSQL a bare COPY of N
// rows into a table without indexes, committed. And the load average.
//
//   bench_undo [--dir PATH] [--rows 10000,100000]
// Put --dir on the disk to measure (not tmpfs, where fsync costs nothing).
#include "BenchStats.h"
#include "PostgresCluster.h"
#include "PostgresConnection.h"
#include "PostgresStorage.h"
#include "SqliteStorage.h"
#include "Undo.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

using namespace trd::server;
using Clock = std::chrono::steady_clock;
using trd::bench::oneMinuteLoad;
using trd::bench::secondsSince;

namespace {

RowKey keyOf(int i)
{
    char program[16];
    std::snprintf(program, sizeof program, "PRG%04d", i / 200);
    return {"L00", program, "cmp" + std::to_string(100000 + i % 200),
            "Texto de origem da tela número " + std::to_string(i)};
}

std::string seeded(int i)
{
    return "Translated caption " + std::to_string(i) + " of the screen";
}

std::string propagated(int i)
{
    return "Propagated caption " + std::to_string(i % 50) + " of the screen";
}

struct Figures {
    double propagation = 0, undo = 0, importUndo = 0, floor = 0;
    std::size_t restored = 0, deleted = 0;
};

// Seeds, propagates and undoes N rows on one back end.
Figures run(StorageBackend& backend, int rows)
{
    double now = 46000.5;
    WriteCoordinator writer(backend.openWriter(), [&now] { return now; });
    writer.runExclusive([&](StorageWriter& w) {
        w.putLanguage({"L00", "Idioma", "POR"});
        w.beginBulkLoad();
        for (int i = 0; i < rows; ++i)
            w.insertRow({keyOf(i), seeded(i), "D", 45900.5}, 45900.5);
        w.endBulkLoad();
    });
    std::vector<RowChange> changes;
    changes.reserve(static_cast<std::size_t>(rows));
    for (int i = 0; i < rows; ++i) {
        RowChange c;
        c.original = keyOf(i);
        c.originalDestination = seeded(i);
        c.originalStatus = "D";
        c.updated = {c.original, propagated(i), "T", std::nullopt};
        changes.push_back(std::move(c));
    }
    Figures f;
    WriteOrigin origin;
    origin.user = "ana";
    origin.method = "SetDestino";
    now = 46100.5;
    auto start = Clock::now();
    writer.apply(changes, origin);
    f.propagation = secondsSince(start);
    const auto batches = backend.openSession()->history().batches("L00", {});
    history::UndoRequest request;
    request.language = "L00";
    request.method = "DesfazLote";
    now = 46101.5;
    start = Clock::now();
    const history::UndoOutcome outcome = history::undoBatch(writer, request, batches.at(0).id);
    f.undo = secondsSince(start);
    for (const auto& r : outcome.rows)
        f.restored += r.restored;
    // The seeding import is the oldest batch of the language.
    now = 46102.5;
    start = Clock::now();
    const history::UndoOutcome deletion = history::undoBatch(writer, request, batches.back().id);
    f.importUndo = secondsSince(start);
    for (const auto& r : deletion.rows)
        f.deleted += r.restored;
    return f;
}

Figures sqliteRun(const std::string& dir, int rows)
{
    QTemporaryDir tmp(QString::fromStdString(dir) + QStringLiteral("/bench_undo-XXXXXX"));
    const std::string path = tmp.filePath(QStringLiteral("undo.db")).toStdString();
    Figures f;
    {
        SqliteStorage storage(path, SqliteStorage::creating());
        f = run(storage, rows);
    }
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    const auto start = Clock::now();
    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       "UPDATE TRADUCAO SET STVALORPROP = ?, DTALTERACAO = ? WHERE IDIDIOMA = 'L00' AND CDPROGTRAD = ? "
                       "AND NMCOMPONENTE = ? AND STAGRVALPROP = ?",
                       -1, &st, nullptr);
    for (int i = 0; i < rows; ++i) {
        const RowKey k = keyOf(i);
        const std::string t = seeded(i);
        sqlite3_bind_text(st, 1, t.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(st, 2, 46102.5);
        sqlite3_bind_text(st, 3, k.program.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 4, k.component.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 5, k.source.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    f.floor = secondsSince(start);
    sqlite3_close(db);
    return f;
}

Figures postgresRun(trd::test::PostgresCluster& cluster, int rows)
{
    Figures f;
    {
        PostgresStorage storage(cluster.freshDatabase(), PostgresTimeouts{600000, 60000});
        f = run(storage, rows);
    }
    std::string copy;
    for (int i = 0; i < rows; ++i) {
        const RowKey k = keyOf(i);
        copy +=
            k.language + '\t' + k.program + '\t' + k.component + '\t' + k.source + '\t' + seeded(i) + "\tT\t46102.5\n";
    }
    PostgresConnection db(cluster.freshDatabase(), {600000, 60000});
    db.exec("CREATE TABLE floor_copy (IDIDIOMA TEXT, CDPROGTRAD TEXT, NMCOMPONENTE TEXT, STAGRVALPROP TEXT, "
            "STVALORPROP TEXT, IDSITTRADUCAO TEXT, DTALTERACAO DOUBLE PRECISION)");
    const auto start = Clock::now();
    db.exec("BEGIN");
    db.copyIn("COPY floor_copy FROM STDIN", copy);
    db.exec("COMMIT");
    f.floor = secondsSince(start);
    return f;
}

std::vector<int> numbers(const std::string& list)
{
    std::vector<int> out;
    std::stringstream in(list);
    std::string item;
    while (std::getline(in, item, ','))
        out.push_back(std::atoi(item.c_str()));
    return out;
}

void print(const char* backend, int rows, const Figures& f, const char* floor)
{
    std::printf("| %s | %d | %.2f s | %.2f s | %zu | %.2f s | %zu | %.3f s (%s) | %.1f |\n", backend, rows,
                f.propagation, f.undo, f.restored, f.importUndo, f.deleted, f.floor, floor, oneMinuteLoad());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::string dir = QDir::tempPath().toStdString();
    std::vector<int> sizes{10000, 100000};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--dir" && i + 1 < argc)
            dir = argv[++i];
        else if (a == "--rows" && i + 1 < argc)
            sizes = numbers(argv[++i]);
        else {
            std::fprintf(stderr, "uso: bench_undo [--dir PATH] [--rows 10000,100000]\n");
            return 2;
        }
    }
    trd::test::PostgresCluster cluster(true);
    if (!cluster.ready()) {
        std::fprintf(stderr, "PostgreSQL: no server binaries to run a cluster\n");
        return 1;
    }
    std::printf("| back end | rows | propagation (one delta) | undo (DesfazLote) | rows put back | undo of the import "
                "| rows deleted | floor | load |\n"
                "|---|---|---|---|---|---|---|---|---|\n");
    for (const int rows : sizes) {
        print("SQLite", rows, sqliteRun(dir, rows), "C API update, one durable transaction");
        print("PostgreSQL", rows, postgresRun(cluster, rows), "bare COPY, committed");
    }
    return 0;
}
