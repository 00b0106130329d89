// What a release costs on a large server, on SQLite (durable) and on a
// durable throwaway PostgreSQL cluster: a release of every key of the
// application, 2 % reworded, 2 % new and 2 % gone, over languages that each
// hold every key. Measured through the methods in process (JSON in, packet
// out), each beside a bare scan of the same rows through the storage
// interface in the same run:
//   - GetPreviaLiberacao (goal: 5 s);
//   - AplicaLiberacao, one durable transaction (goal: 30 s);
//   - the same apply again, which finds nothing to do.
//
//   bench_release [--dir PATH] [--languages 10] [--rows 100000] [--sqlite-only|--postgres-only]
// Put --dir on the disk to measure (not tmpfs, where fsync costs nothing).
#include "PostgresCluster.h"
#include "PostgresConnection.h"
#include "PostgresStorage.h"
#include "RpcHandler.h"
#include "ServerContext.h"
#include "SqliteStorage.h"
#include "TDateTime.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <string>
#include <time.h>

using namespace trd::server;
using Clock = std::chrono::steady_clock;

namespace {

struct Setup {
    int languages = 10;
    int rows = 100000;
};

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double loadAverage()
{
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

std::string language(int l)
{
    return std::string(l < 10 ? "L0" : "L") + std::to_string(l % 100);
}

// 100 components a program; every language holds every key.
std::string program(int i)
{
    char p[12];
    std::snprintf(p, sizeof p, "PRG%04d", i / 100);
    return p;
}
std::string component(int i)
{
    return "cmp" + std::to_string(100000 + i);
}
std::string source(int i)
{
    return "Texto de origem da tela número " + std::to_string(i);
}
std::string translation(int l, int i)
{
    return "Translated caption " + std::to_string(i) + " in language " + std::to_string(l);
}

// One in 50 gone, one in 50 reworded (75 % similar), one in 50 new.
std::string releaseFile(const Setup& s)
{
    std::string file;
    file.reserve(static_cast<std::size_t>(s.rows) * 60);
    for (int i = 0; i < s.rows; ++i) {
        if (i % 50 == 0)
            continue;
        file += program(i) + '\t' + component(i) + '\t' + source(i) + (i % 50 == 1 ? " do sistema" : "") + '\n';
        if (i % 50 == 2)
            file += program(i) + '\t' + component(i) + "n\tNova mensagem da versão, " + std::to_string(i) + '\n';
    }
    return file;
}

void fillSqlite(WriteCoordinator& writer, const Setup& s)
{
    writer.runExclusive([&](StorageWriter& w) {
        for (int l = 0; l < s.languages; ++l)
            w.putLanguage({language(l), "Idioma " + std::to_string(l), "POR"});
        w.beginBulkLoad();
        TranslationRow row;
        row.status = "T";
        for (int l = 0; l < s.languages; ++l)
            for (int i = 0; i < s.rows; ++i) {
                row.key = {language(l), program(i), component(i), source(i)};
                row.destination = translation(l, i);
                w.insertRow(row, 46000.5);
            }
        w.endBulkLoad();
    });
}

void fillPostgres(const std::string& conninfo, const Setup& s)
{
    PostgresConnection db(conninfo, {600000, 60000});
    db.exec("BEGIN; SELECT set_config('trd.carga_em_massa', 'on', true)");
    for (int l = 0; l < s.languages; ++l)
        db.run("INSERT INTO IDIOMA (IDIDIOMA, DSIDIOMA, IDIPROP) VALUES ($1, $2, 'POR')", {language(l), "Idioma"});
    std::string data;
    for (int l = 0; l < s.languages; ++l)
        for (int i = 0; i < s.rows; ++i)
            data += language(l) + '\t' + program(i) + '\t' + component(i) + '\t' + source(i) + '\t' + translation(l, i)
                + "\tT\t46000.5\n";
    db.copyIn("COPY TRADUCAO (IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, STVALORPROP, IDSITTRADUCAO, "
              "DTALTERACAO) FROM STDIN",
              data);
    db.exec("COMMIT; ANALYZE");
}

std::string call(RpcHandler& handler, const std::string& method, const std::string& file)
{
    std::string params;
    appendJsonString(params, file);
    const RpcOutcome o =
        handler.handle("{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"" + method + "\",\"params\":[" + params + "]}");
    if (!o.ok) {
        std::fprintf(stderr, "%s: %s\n", method.c_str(), o.errorMessage.c_str());
        std::exit(1);
    }
    return o.body;
}

// The language totals' counts of the first language, as the answer gives them.
std::string firstTotals(const std::string& body)
{
    std::smatch m;
    static const std::regex total(R"(TPLINHA=\\"S\\" IDIDIOMA=\\"L00\\" CDPROGTRAD=\\"\\"[^>]*)");
    if (!std::regex_search(body, m, total))
        return "?";
    std::string out;
    static const std::regex field(R"(NR(MANTIDAS|REESCRITAS|MOVIDAS|NOVAS|OBSOLETAS)=\\"(\d+)\\")");
    for (auto it = std::sregex_iterator(m[0].first, m[0].second, field); it != std::sregex_iterator(); ++it)
        out += (*it)[1].str() + " " + (*it)[2].str() + " ";
    return out;
}

void run(const char* name, std::unique_ptr<StorageBackend> backend, const Setup& s,
         const std::function<void(ServerContext&)>& fill)
{
    ServerContext context(std::move(backend));
    auto start = Clock::now();
    fill(context);
    std::printf("%s: %d languages of %d rows filled in %.1f s (load average %.1f)\n", name, s.languages, s.rows,
                secondsSince(start), loadAverage());
    std::vector<std::string> languages;
    for (int l = 0; l < s.languages; ++l)
        languages.push_back(language(l));
    const std::string file = releaseFile(s);

    // The floor: the same rows read through the same storage interface.
    start = Clock::now();
    std::size_t scanned = 0;
    {
        auto session = context.sessions().acquire();
        for (const std::string& l : languages)
            session->readReleaseRows(l, [&](const ReleaseRowView& r) { scanned += r.source.size() > 0; });
    }
    const double scan = secondsSince(start);

    start = Clock::now();
    const std::string preview = call(context.handler(), "GetPreviaLiberacao", file);
    const double previewSeconds = secondsSince(start);
    start = Clock::now();
    const std::string applied = call(context.handler(), "AplicaLiberacao", file);
    const double applySeconds = secondsSince(start);
    start = Clock::now();
    call(context.handler(), "AplicaLiberacao", file);
    const double againSeconds = secondsSince(start);

    std::printf("%s: bare scan of the %zu rows %.2f s\n", name, scanned, scan);
    std::printf("%s: GetPreviaLiberacao %.2f s (%.1f x the scan; %zu KiB answer; L00: %s)\n", name, previewSeconds,
                previewSeconds / scan, preview.size() / 1024, firstTotals(preview).c_str());
    std::printf("%s: AplicaLiberacao %.2f s (%.1f x the scan; L00: %s)\n", name, applySeconds, applySeconds / scan,
                firstTotals(applied).c_str());
    std::printf("%s: AplicaLiberacao again, nothing to do, %.2f s (load average %.1f)\n", name, againSeconds,
                loadAverage());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Setup s;
    std::string dir;
    bool sqlite = true, postgres = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--dir" && i + 1 < argc)
            dir = argv[++i];
        else if (a == "--languages" && i + 1 < argc)
            s.languages = std::atoi(argv[++i]);
        else if (a == "--rows" && i + 1 < argc)
            s.rows = std::atoi(argv[++i]);
        else if (a == "--sqlite-only")
            postgres = false;
        else if (a == "--postgres-only")
            sqlite = false;
        else {
            std::fprintf(
                stderr, "uso: bench_release [--dir PATH] [--languages N] [--rows N] [--sqlite-only|--postgres-only]\n");
            return 2;
        }
    }
    if (sqlite) {
        QTemporaryDir tmp(dir.empty() ? QDir::tempPath() + QStringLiteral("/bench_release-XXXXXX")
                                      : QString::fromStdString(dir) + QStringLiteral("/bench_release-XXXXXX"));
        const std::string path = tmp.filePath(QStringLiteral("release.db")).toStdString();
        run("SQLite", std::make_unique<SqliteStorage>(path, SqliteStorage::creating()), s,
            [&](ServerContext& c) { fillSqlite(c.writer(), s); });
    }
    if (postgres) {
        trd::test::PostgresCluster cluster(true);
        if (!cluster.ready()) {
            std::fprintf(stderr, "PostgreSQL: no server binaries to run a cluster\n");
            return 1;
        }
        const std::string conninfo = cluster.freshDatabase();
        run("PostgreSQL", std::make_unique<PostgresStorage>(conninfo), s,
            [&](ServerContext&) { fillPostgres(conninfo, s); });
    }
    return 0;
}
