// Filling a database from a TSV file (`trd-server --import-tsv`), on SQLite
// and on a durable throwaway PostgreSQL cluster, with the same rows in the
// same run, through importTsv and the storage writer as the server does it
// (versions and batches included). Each size beside its floors:
//   - SQLite: a bare scan of the rows it filled, a bare durable one-row commit;
//   - PostgreSQL: a bare COPY of the same rows into a table without indexes,
//     committed, and a bare durable one-row commit.
// Goals: PostgreSQL within 2 x SQLite's time at 200,000 rows, and linear
// (1,000,000 rows within 5.5 x the time of 200,000).
//
//   bench_fill [--dir PATH] [--rows 200000,1000000] [--languages 4]
// Put --dir on the disk to measure (not tmpfs, where fsync costs nothing).
#include "BenchStats.h"
#include "PostgresCluster.h"
#include "PostgresConnection.h"
#include "PostgresStorage.h"
#include "ServerContext.h"
#include "SqliteStorage.h"
#include "TsvImport.h"

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

std::string language(int l)
{
    return "L0" + std::to_string(l % 10);
}

// The rows' columns after the language, tab-separated, as COPY and the TSV
// file both take them (no character needs escaping).
std::string rowColumns(int l, int i)
{
    char program[16];
    std::snprintf(program, sizeof program, "PRG%04d", i / 200);
    const char* status = i % 10 < 6 ? "T" : i % 10 < 8 ? "D" : "N";
    return std::string(program) + "\tcmp" + std::to_string(100000 + i % 200) + "\tTexto de origem da tela número "
        + std::to_string(i) + "\tTranslated caption " + std::to_string(i) + " in language " + std::to_string(l) + '\t'
        + status;
}

std::string tsvFile(int rows, int languages)
{
    std::string out;
    out.reserve(static_cast<std::size_t>(rows) * 110);
    for (int l = 0; l < languages; ++l)
        out += "L\t" + language(l) + "\tIdioma " + std::to_string(l) + "\tPOR\n";
    const int perLanguage = rows / languages;
    for (int l = 0; l < languages; ++l)
        for (int i = 0; i < perLanguage; ++i) {
            out += "R\t" + language(l) + '\t' + rowColumns(l, i);
            // Half of the rows carry their own change date.
            if (i % 2)
                out += "\t" + std::to_string(45000 + i % 700) + ".25";
            out += '\n';
        }
    return out;
}

std::string copyData(int rows, int languages)
{
    std::string out;
    out.reserve(static_cast<std::size_t>(rows) * 110);
    const int perLanguage = rows / languages;
    for (int l = 0; l < languages; ++l)
        for (int i = 0; i < perLanguage; ++i)
            out += language(l) + '\t' + rowColumns(l, i) + "\t45000.25\n";
    return out;
}

double import(ServerContext& context, const std::string& file)
{
    std::istringstream in(file);
    const auto start = Clock::now();
    importTsv(in, context.writer());
    return secondsSince(start);
}

struct SqliteFigures {
    double fill = 0, scan = 0, commit = 0;
};

SqliteFigures sqliteRun(const std::string& dir, const std::string& file)
{
    SqliteFigures f;
    QTemporaryDir tmp(QString::fromStdString(dir) + QStringLiteral("/bench_fill-XXXXXX"));
    const std::string path = tmp.filePath(QStringLiteral("fill.db")).toStdString();
    {
        ServerContext context(std::make_unique<SqliteStorage>(path, SqliteStorage::creating()));
        f.fill = import(context, file);
    }
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; CREATE TABLE floor_commit (x)", nullptr,
                 nullptr, nullptr);
    auto start = Clock::now();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, STVALORPROP, IDSITTRADUCAO, "
                       "DTALTERACAO FROM TRADUCAO",
                       -1, &st, nullptr);
    std::size_t bytes = 0;
    while (sqlite3_step(st) == SQLITE_ROW)
        bytes += static_cast<std::size_t>(sqlite3_column_bytes(st, 3));
    sqlite3_finalize(st);
    f.scan = secondsSince(start);
    start = Clock::now();
    sqlite3_exec(db, "BEGIN; INSERT INTO floor_commit VALUES (1); COMMIT", nullptr, nullptr, nullptr);
    f.commit = secondsSince(start);
    sqlite3_close(db);
    return f;
}

struct PostgresFigures {
    double fill = 0, copy = 0, commit = 0;
};

PostgresFigures postgresRun(trd::test::PostgresCluster& cluster, const std::string& file, const std::string& copy)
{
    PostgresFigures f;
    {
        const std::string conninfo = cluster.freshDatabase();
        ServerContext context(std::make_unique<PostgresStorage>(conninfo, PostgresTimeouts{600000, 60000}));
        f.fill = import(context, file);
    }
    const std::string conninfo = cluster.freshDatabase();
    PostgresConnection db(conninfo, {600000, 60000});
    db.exec("CREATE TABLE floor_copy (IDIDIOMA TEXT, CDPROGTRAD TEXT, NMCOMPONENTE TEXT, STAGRVALPROP TEXT, "
            "STVALORPROP TEXT, IDSITTRADUCAO TEXT, DTALTERACAO DOUBLE PRECISION); CREATE TABLE floor_commit (x INT)");
    auto start = Clock::now();
    db.exec("BEGIN");
    db.copyIn("COPY floor_copy FROM STDIN", copy);
    db.exec("COMMIT");
    f.copy = secondsSince(start);
    start = Clock::now();
    db.exec("BEGIN; INSERT INTO floor_commit VALUES (1); COMMIT");
    f.commit = secondsSince(start);
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::string dir = QDir::tempPath().toStdString();
    std::vector<int> sizes{200000, 1000000};
    int languages = 4;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--dir" && i + 1 < argc)
            dir = argv[++i];
        else if (a == "--rows" && i + 1 < argc)
            sizes = numbers(argv[++i]);
        else if (a == "--languages" && i + 1 < argc)
            languages = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "uso: bench_fill [--dir PATH] [--rows 200000,1000000] [--languages 4]\n");
            return 2;
        }
    }
    trd::test::PostgresCluster cluster(true);
    if (!cluster.ready()) {
        std::fprintf(stderr, "PostgreSQL: no server binaries to run a cluster\n");
        return 1;
    }
    std::printf("| rows | SQLite fill | PostgreSQL fill | PG / SQLite | floors: SQLite scan, SQLite commit, PG bare "
                "COPY, PG commit | load |\n|---|---|---|---|---|---|\n");
    double firstPg = 0;
    int first = 0;
    for (const int rows : sizes) {
        const std::string file = tsvFile(rows, languages);
        const SqliteFigures s = sqliteRun(dir, file);
        const PostgresFigures p = postgresRun(cluster, file, copyData(rows, languages));
        std::printf("| %d | %.2f s | %.2f s | %.2f | %.3f s, %.2f ms, %.2f s, %.2f ms | %.1f |\n", rows, s.fill, p.fill,
                    p.fill / s.fill, s.scan, s.commit * 1000, p.copy, p.commit * 1000, oneMinuteLoad());
        std::fflush(stdout);
        if (!first) {
            first = rows;
            firstPg = p.fill;
        } else {
            std::printf("PostgreSQL %d rows in %.2f x the time of %d rows (%.1f x the rows)\n", rows, p.fill / firstPg,
                        first, double(rows) / first);
        }
    }
    return 0;
}
