// The translation memory on a large database: the time to read every row
// into the index at start, the index's memory per row beyond the texts, the
// server time of exact and fuzzy suggestions beside a brute-force scan of the
// same rows in the same run, and the other candidates for the fuzzy search
// measured on the same texts: SQLite's FTS5 trigram index and PostgreSQL's
// pg_trgm (GIN and GiST). With --visibility, how long a save through one
// trd-server takes to reach the suggestions of another on the same
// PostgreSQL database.
//
//   bench_memory --db PATH [--rows 1000000] [--languages 1] [--queries 2000] [--brute 200]
//                [--candidates [--candidate-queries 100]] [--visibility [--pg-rows 200000]]
#include "EditDistance.h"
#include "MemoryBenchData.h"
#include "MemoryText.h"
#include "ServerContext.h"
#include "SqliteStorage.h"
#ifdef TRD_HAVE_POSTGRESQL
#include "PostgresCluster.h"
#include "PostgresConnection.h"
#include "PostgresStorage.h"
#include "ServerTestKit.h"
#include "TrdServerProcess.h"
#include <httplib.h>
#endif

#include <sqlite3.h>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace trd::server;
using namespace trd::server::bench;
using namespace trd::server::memory;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double loadAverage()
{
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * double(v.size())))];
}

void printTimes(const char* what, const std::vector<double>& ms)
{
    std::printf("  %-58s p50 %8.3f  p95 %8.3f  p99 %8.3f  max %8.3f ms  (%zu)\n", what, percentile(ms, 0.5),
                percentile(ms, 0.95), percentile(ms, 0.99), ms.empty() ? 0.0 : *std::max_element(ms.begin(), ms.end()),
                ms.size());
}

long residentKib()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

struct Asked {
    std::string source, program, component;
};

// A sample of the rows of L00, the language every timing asks about.
std::vector<Asked> sampleRows(const std::string& db, std::size_t count, std::uint32_t seed)
{
    sqlite3* h = nullptr;
    sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(h, "SELECT STAGRVALPROP, CDPROGTRAD, NMCOMPONENTE FROM TRADUCAO WHERE IDIDIOMA = 'L00'", -1, &st,
                       nullptr);
    std::vector<Asked> all;
    while (sqlite3_step(st) == SQLITE_ROW)
        all.push_back({reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
                       reinterpret_cast<const char*>(sqlite3_column_text(st, 1)),
                       reinterpret_cast<const char*>(sqlite3_column_text(st, 2))});
    sqlite3_finalize(st);
    sqlite3_close(h);
    std::mt19937 random(seed);
    std::shuffle(all.begin(), all.end(), random);
    all.resize(std::min(all.size(), count));
    return all;
}

// The floor: one language's source texts read by a bare SQLite scan.
double bareScanMs(const std::string& db, std::size_t& rows)
{
    sqlite3* h = nullptr;
    sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(h, "SELECT STAGRVALPROP FROM TRADUCAO WHERE IDIDIOMA = 'L00'", -1, &st, nullptr);
    const auto t = Clock::now();
    rows = 0;
    std::size_t bytes = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        bytes += static_cast<std::size_t>(sqlite3_column_bytes(st, 0));
        ++rows;
    }
    const double ms = msSince(t);
    sqlite3_finalize(st);
    sqlite3_close(h);
    std::printf("(%zu bytes of source texts)\n", bytes);
    return ms;
}

// The exact top five of a question, by the memory's own brute force.
std::vector<std::string> exactTop(const TranslationMemory& memory, const std::string& text)
{
    return memory.inspect([&](const MemoryIndex& index) {
        std::vector<std::string> top;
        if (const auto* language = index.language("L00"))
            for (const auto& hit : index.fuzzyBruteForce(*language, text, 70, 5))
                top.push_back(std::string(index.text(*language, hit.entry)));
        return top;
    });
}

double recall(const std::vector<std::vector<std::string>>& expected, const std::vector<std::vector<std::string>>& got)
{
    std::size_t want = 0, found = 0;
    for (std::size_t i = 0; i < expected.size() && i < got.size(); ++i) {
        want += expected[i].size();
        for (const std::string& t : expected[i])
            found += std::count(got[i].begin(), got[i].end(), t) ? 1 : 0;
    }
    return want ? 100.0 * static_cast<double>(found) / static_cast<double>(want) : 100.0;
}

// Ranks verified candidates as the memory does (similarity; the other ties
// are left to the text here: the candidates do not carry statuses).
std::vector<std::string> topOf(const std::string& query, const std::vector<std::string>& candidates)
{
    const EditDistancePattern pattern(query);
    struct H {
        Similarity s;
        const std::string* t;
    };
    std::vector<H> hits;
    for (const std::string& c : candidates) {
        if (c == query)
            continue;
        const Similarity s{pattern.distance(c), static_cast<int>(std::max(query.size(), c.size()))};
        if (s.meets(70))
            hits.push_back({s, &c});
    }
    std::sort(hits.begin(), hits.end(), [](const H& a, const H& b) {
        const int c = compare(a.s, b.s);
        return c != 0 ? c > 0 : *a.t < *b.t;
    });
    std::vector<std::string> top;
    for (std::size_t i = 0; i < hits.size() && i < 5; ++i)
        top.push_back(*hits[i].t);
    return top;
}

// The distinct texts the memory would search (suggestible rows of L00), as
// it keeps them (Windows-1252, marks removed).
std::vector<std::string> distinctTexts(const TranslationMemory& memory)
{
    return memory.inspect([](const MemoryIndex& index) {
        std::vector<std::string> texts;
        if (const auto* language = index.language("L00"))
            for (std::uint32_t e = 0; index.hasEntry(*language, e); ++e)
                if (index.entry(*language, e).suggestible > 0)
                    texts.emplace_back(index.text(*language, e));
        return texts;
    });
}

// SQLite FTS5 with the trigram tokenizer over the same texts (as UTF-8).
void measureFts5(const std::vector<std::string>& texts, const std::vector<std::string>& queries,
                 const std::vector<std::vector<std::string>>& expected, const std::string& folder)
{
    const std::string path = folder + "/fts5-candidate.db";
    std::filesystem::remove(path);
    sqlite3* h = nullptr;
    sqlite3_open(path.c_str(), &h);
    sqlite3_exec(h,
                 "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; "
                 "CREATE VIRTUAL TABLE fonte USING fts5(texto, tokenize='trigram');",
                 nullptr, nullptr, nullptr);
    const auto built = Clock::now();
    sqlite3_exec(h, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(h, "INSERT INTO fonte (rowid, texto) VALUES (?, ?)", -1, &ins, nullptr);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::string utf8 = fromWin1252(texts[i]);
        sqlite3_bind_int64(ins, 1, static_cast<sqlite3_int64>(i + 1));
        sqlite3_bind_text(ins, 2, utf8.c_str(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        sqlite3_step(ins);
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(h, "COMMIT; INSERT INTO fonte(fonte) VALUES('optimize');", nullptr, nullptr, nullptr);
    const double buildMs = msSince(built);
    sqlite3_stmt* size = nullptr;
    sqlite3_prepare_v2(h, "SELECT SUM(pgsize) FROM dbstat WHERE name LIKE 'fonte_%' AND name <> 'fonte_content'", -1,
                       &size, nullptr);
    double indexBytes = 0;
    if (size && sqlite3_step(size) == SQLITE_ROW)
        indexBytes = sqlite3_column_double(size, 0);
    sqlite3_finalize(size);
    if (indexBytes == 0)
        indexBytes = static_cast<double>(std::filesystem::file_size(path));
    std::printf("\nFTS5 trigram (SQLite %s): %zu texts indexed in %.1f s, index %.0f MiB (%.0f bytes/text; "
                "texts apart)\n",
                sqlite3_libversion(), texts.size(), buildMs / 1000, indexBytes / 1048576,
                indexBytes / static_cast<double>(texts.size()));

    for (const int limit : {0, 100}) {
        std::vector<double> times;
        std::vector<std::vector<std::string>> got;
        std::size_t candidates = 0;
        std::string sql = "SELECT texto FROM fonte WHERE fonte MATCH ?";
        if (limit)
            sql += " ORDER BY bm25(fonte) LIMIT " + std::to_string(limit);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr);
        for (const std::string& q : queries) {
            // Every trigram of the query, any one enough: a text within the
            // threshold may share few of them.
            std::set<std::string> grams;
            for (std::size_t i = 0; i + 3 <= q.size(); ++i)
                grams.insert(fromWin1252(q.substr(i, 3)));
            std::string match;
            for (const std::string& g : grams) {
                std::string quoted = "\"";
                for (const char c : g)
                    quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
                match += (match.empty() ? "" : " OR ") + quoted + "\"";
            }
            const auto t = Clock::now();
            std::vector<std::string> found;
            if (!match.empty()) {
                sqlite3_bind_text(st, 1, match.c_str(), static_cast<int>(match.size()), SQLITE_TRANSIENT);
                while (sqlite3_step(st) == SQLITE_ROW)
                    found.push_back(toWin1252(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))));
                sqlite3_reset(st);
            }
            candidates += found.size();
            got.push_back(topOf(q, found));
            times.push_back(msSince(t));
        }
        sqlite3_finalize(st);
        const std::string label = limit ? "FTS5 trigram, 100 best by bm25, then distance"
                                        : "FTS5 trigram, every text sharing a trigram, then distance";
        printTimes(label.c_str(), times);
        std::printf("    candidates per question %.0f; recall of the exact top 5: %.1f %%\n",
                    static_cast<double>(candidates) / static_cast<double>(queries.size()), recall(expected, got));
    }
    sqlite3_close(h);
    std::filesystem::remove(path);
}

#ifdef TRD_HAVE_POSTGRESQL
// PostgreSQL's pg_trgm over the same texts: a GIN index for the similarity
// operator and a GiST index for the nearest by trigram distance.
void measurePgTrgm(const std::vector<std::string>& texts, const std::vector<std::string>& queries,
                   const std::vector<std::vector<std::string>>& expected)
{
    auto& cluster = trd::test::postgresCluster();
    if (!cluster.ready()) {
        std::printf("\npg_trgm: no PostgreSQL server binaries here; not measured\n");
        return;
    }
    PostgresConnection db(cluster.freshDatabase());
    db.exec("CREATE EXTENSION IF NOT EXISTS pg_trgm; CREATE TABLE fonte (id integer PRIMARY KEY, texto text NOT NULL)");
    const auto loaded = Clock::now();
    {
        std::string values;
        PostgresConnection::Params params;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            params.push_back(std::to_string(i + 1));
            params.push_back(fromWin1252(texts[i]));
            if (params.size() == 2000 || i + 1 == texts.size()) {
                std::string sql = "INSERT INTO fonte VALUES ";
                for (std::size_t p = 0; p < params.size(); p += 2)
                    sql += (p ? ",($" : "($") + std::to_string(p + 1) + "::integer,$" + std::to_string(p + 2) + ")";
                db.run(sql, params);
                params.clear();
            }
        }
    }
    const double loadMs = msSince(loaded);
    auto timed = [&](const char* sql) {
        const auto t = Clock::now();
        db.exec(sql);
        return msSince(t) / 1000;
    };
    const double ginS = timed("CREATE INDEX fonte_gin ON fonte USING gin (texto gin_trgm_ops)");
    const double gistS = timed("CREATE INDEX fonte_gist ON fonte USING gist (texto gist_trgm_ops)");
    double gin = 0, gist = 0;
    db.run("SELECT pg_relation_size('fonte_gin'), pg_relation_size('fonte_gist')", {},
           [&](const PostgresConnection::Row& r) {
               gin = r.real(0);
               gist = r.real(1);
           });
    std::printf("\npg_trgm: %zu texts loaded in %.1f s; GIN built in %.1f s, %.0f MiB (%.0f bytes/text); GiST "
                "built in %.1f s, %.0f MiB (%.0f bytes/text)\n",
                texts.size(), loadMs / 1000, ginS, gin / 1048576, gin / static_cast<double>(texts.size()), gistS,
                gist / 1048576, gist / static_cast<double>(texts.size()));
    struct Way {
        const char* label;
        const char* setup;
        const char* sql;
    };
    const Way ways[] = {
        {"pg_trgm GIN, similarity >= 0.3 (%), then distance", "SET pg_trgm.similarity_threshold = 0.3",
         "SELECT texto FROM fonte WHERE texto % $1"},
        {"pg_trgm GiST, 50 nearest by trigram distance, then distance", "SET pg_trgm.similarity_threshold = 0.3",
         "SELECT texto FROM fonte ORDER BY texto <-> $1 LIMIT 50"},
    };
    for (const Way& way : ways) {
        db.exec(way.setup);
        std::vector<double> times;
        std::vector<std::vector<std::string>> got;
        std::size_t candidates = 0;
        for (const std::string& q : queries) {
            const auto t = Clock::now();
            std::vector<std::string> found;
            db.run(way.sql, {fromWin1252(q)},
                   [&](const PostgresConnection::Row& r) { found.push_back(toWin1252(r.text(0))); });
            candidates += found.size();
            got.push_back(topOf(q, found));
            times.push_back(msSince(t));
        }
        printTimes(way.label, times);
        std::printf("    candidates per question %.0f; recall of the exact top 5: %.1f %%\n",
                    static_cast<double>(candidates) / static_cast<double>(queries.size()), recall(expected, got));
    }
}

std::string post(httplib::Client& http, const std::string& body)
{
    auto res = http.Post("/Trd09300.rdmTraducao", body, "application/json");
    return res ? res->body : std::string();
}

// Two trd-server processes on one PostgreSQL database: a save through the
// first, then questions to the second until its suggestions show it.
void measureVisibility(std::size_t rows)
{
    using namespace trd::server::test;
    auto& cluster = trd::test::postgresCluster();
    if (!cluster.ready()) {
        std::printf("\nvisibility: no PostgreSQL server binaries here; not measured\n");
        return;
    }
    const std::string conninfo = cluster.freshDatabase();
    {
        // One transaction fills an empty table: statements prepared at its
        // start would keep plans made for an empty table (a scan for every
        // look-up by key), so the fill plans each statement for what is there.
        PostgresStorage storage(conninfo + " options='-c plan_cache_mode=force_custom_plan'");
        auto writer = storage.openWriter();
        MemoryTexts texts(4242);
        const auto generated = texts.rows(rows);
        const auto t = Clock::now();
        writer->beginBatch();
        fillMemoryRows(*writer, texts, generated, 1);
        writer->commitBatch();
        std::printf("\nvisibility: %zu rows written to PostgreSQL in %.1f s\n", rows, msSince(t) / 1000);
    }
    trd::test::TrdServerProcess::Options options;
    options.pg = QString::fromStdString(conninfo);
    options.extraArgs = {QStringLiteral("--quiet")};
    std::vector<std::unique_ptr<trd::test::TrdServerProcess>> servers;
    const auto started = Clock::now();
    for (int i = 0; i < 2; ++i)
        servers.push_back(std::make_unique<trd::test::TrdServerProcess>(options));
    for (auto& s : servers)
        if (!s->isRunning()) {
            std::printf("visibility: a server did not start: %s\n", s->errorString().toStdString().c_str());
            return;
        }
    httplib::Client a(servers[0]->host().toStdString(), servers[0]->port());
    httplib::Client b(servers[1]->host().toStdString(), servers[1]->port());
    for (auto* c : {&a, &b}) {
        c->set_keep_alive(true);
        c->set_tcp_nodelay(true);
    }
    // Ready: both answer suggestions (the memory read every row).
    const std::string probe =
        request("GetSugestoes", json("L00") + "," + json("x") + "," + json("P") + "," + json("c"));
    for (auto* c : {&a, &b})
        while (post(*c, probe).find("\"result\"") == std::string::npos)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::printf("visibility: both servers started and ready in %.1f s (%zu rows each)\n", msSince(started) / 1000,
                rows);

    // Pairs of rows with the same source: save one through A, ask B about the other.
    std::vector<std::pair<Row, Row>> pairs;
    {
        PostgresConnection db(conninfo);
        db.run("SELECT a.CDPROGTRAD, a.NMCOMPONENTE, a.STAGRVALPROP, a.STVALORPROP, a.IDSITTRADUCAO, b.CDPROGTRAD, "
               "b.NMCOMPONENTE FROM TRADUCAO a JOIN TRADUCAO b ON a.IDIDIOMA = b.IDIDIOMA AND md5(a.STAGRVALPROP) = "
               "md5(b.STAGRVALPROP) AND a.IDTRADUCAO < b.IDTRADUCAO WHERE a.IDIDIOMA = 'L00' LIMIT 40",
               {}, [&](const PostgresConnection::Row& r) {
                   Row x{{"prog", std::string(r.text(0))},
                         {"comp", std::string(r.text(1))},
                         {"src", std::string(r.text(2))},
                         {"dst", std::string(r.text(3))},
                         {"status", std::string(r.text(4))}};
                   Row y{{"prog", std::string(r.text(5))}, {"comp", std::string(r.text(6))}};
                   pairs.emplace_back(x, y);
               });
    }
    // Each row saved once a pair: a row that heads several pairs would go with a stale original.
    {
        std::set<std::pair<std::string, std::string>> seen;
        std::erase_if(pairs, [&](const auto& p) {
            return !seen.insert({p.first.at("prog"), p.first.at("comp")}).second;
        });
    }
    std::vector<double> visible, saves;
    int k = 0;
    // Forty saves over the pairs found, each row saved again with its last text as the original.
    for (std::size_t n = 0; n < 40 && !pairs.empty(); ++n) {
        auto& [x, y] = pairs[n % pairs.size()];
        // ASCII, so that it reads the same inside the answer's XML and JSON.
        const std::string text = "Visto em B " + std::to_string(++k) + " fim";
        const std::string save = request(
            "SetDestino",
            json(DeltaBuilder()
                     .modify({"L00", x.at("prog"), x.at("comp"), x.at("src"), x.at("dst"), x.at("status")}, text, "T")
                     .xml()));
        const auto t = Clock::now();
        if (const std::string answer = post(a, save); answer.find("\"result\"") == std::string::npos) {
            std::printf("visibility: a save was refused: %s\n", answer.substr(0, 300).c_str());
            continue;
        }
        x["dst"] = text;
        x["status"] = "T";
        const auto acknowledged = Clock::now();
        saves.push_back(msSince(t));
        const std::string ask =
            request("GetSugestoes",
                    json("L00") + "," + json(x.at("src")) + "," + json(y.at("prog")) + "," + json(y.at("comp")));
        while (post(b, ask).find(text) == std::string::npos && msSince(acknowledged) < 10000)
            ;
        visible.push_back(msSince(acknowledged));
    }
    printTimes("save through server A (SetDestino round trip)", saves);
    printTimes("from A's answer until B's suggestions show the save", visible);
    std::vector<double> floor;
    for (int i = 0; i < 200; ++i) {
        const auto t = Clock::now();
        b.Get("/health");
        floor.push_back(msSince(t));
    }
    printTimes("floor: GET /health round trip to B", floor);
}
#endif

struct Options {
    std::string db;
    std::size_t rows = 1000000;
    int languages = 1;
    std::size_t queries = 2000;
    std::size_t brute = 200;
    bool candidates = false;
    bool visibility = false;
    std::size_t pgRows = 200000;
    std::size_t candidateQueries = 100;
};

} // namespace

int main(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&] { return i + 1 < argc ? std::string(argv[++i]) : std::string(); };
        if (a == "--db")
            o.db = next();
        else if (a == "--rows")
            o.rows = std::stoul(next());
        else if (a == "--languages")
            o.languages = std::stoi(next());
        else if (a == "--queries")
            o.queries = std::stoul(next());
        else if (a == "--brute")
            o.brute = std::stoul(next());
        else if (a == "--candidates")
            o.candidates = true;
        else if (a == "--visibility")
            o.visibility = true;
        else if (a == "--pg-rows")
            o.pgRows = std::stoul(next());
        else if (a == "--candidate-queries")
            o.candidateQueries = std::stoul(next());
        else {
            std::fprintf(stderr,
                         "usage: bench_memory --db PATH [--rows N] [--languages L] [--queries Q] [--brute B] "
                         "[--candidates] [--visibility [--pg-rows N]]\n");
            return 2;
        }
    }
    std::printf("load average at start: %.2f\n", loadAverage());
#ifdef TRD_HAVE_POSTGRESQL
    if (o.visibility) {
        measureVisibility(o.pgRows);
        std::printf("load average at end: %.2f\n", loadAverage());
        if (o.db.empty())
            return 0;
    }
#endif
    if (o.db.empty()) {
        std::fprintf(stderr, "bench_memory: --db PATH is required\n");
        return 2;
    }

    if (!std::filesystem::exists(o.db)) {
        MemoryTexts texts(20261208);
        const std::size_t perLanguage = o.rows / static_cast<std::size_t>(o.languages);
        const auto generated = texts.rows(perLanguage);
        const auto shares = texts.shares();
        SqliteStorage storage(o.db, SqliteStorage::creating());
        auto writer = storage.openWriter();
        const auto t = Clock::now();
        writer->beginBatch();
        const std::size_t written = fillMemoryRows(*writer, texts, generated, o.languages);
        writer->commitBatch();
        std::printf("filled %zu rows (%d languages of %zu) in %.1f s: %.1f %% exact repeats, %.1f %% near repeats, "
                    "mean source %.0f characters, longest %zu\n",
                    written, o.languages, perLanguage, msSince(t) / 1000,
                    100.0 * static_cast<double>(shares.repeats) / static_cast<double>(perLanguage),
                    100.0 * static_cast<double>(shares.nearRepeats) / static_cast<double>(perLanguage),
                    shares.meanLength, shares.longest);
    }

    std::size_t scanned = 0;
    const double scanMs = bareScanMs(o.db, scanned);
    std::printf("floor: bare SQLite scan of L00's source texts: %.0f ms (%zu rows)\n", scanMs, scanned);

    const std::vector<Asked> asked = sampleRows(o.db, o.queries, 7);
    const long before = residentKib();
    ServerContext context(std::make_unique<SqliteStorage>(o.db));
    const auto started = Clock::now();
    context.startMemory();
    if (!context.memory().waitReady(std::chrono::minutes(10))) {
        std::fprintf(stderr, "bench_memory: the memory did not get ready\n");
        return 1;
    }
    const double readyMs = msSince(started);
    const auto figures = context.memory().figures();
    const long after = residentKib();
    std::printf("\nindex ready at start in %.2f s (%zu rows, load %.2f)\n", readyMs / 1000, figures.rows,
                loadAverage());
    std::printf("index memory: %.1f bytes/row beyond the texts (%.0f MiB), texts %.1f bytes/row (%.0f MiB); "
                "resident memory grew %.0f MiB (%.1f bytes/row, the texts included)\n",
                static_cast<double>(figures.usage.structure) / static_cast<double>(figures.rows),
                static_cast<double>(figures.usage.structure) / 1048576,
                static_cast<double>(figures.usage.texts) / static_cast<double>(figures.rows),
                static_cast<double>(figures.usage.texts) / 1048576, static_cast<double>(after - before) / 1024,
                static_cast<double>(after - before) * 1024 / static_cast<double>(figures.rows));

    // Server time of each question, asked about real rows of L00.
    std::vector<double> fuzzyIndex, fuzzyCpu, fuzzyAnswer, exactAnswer, method, bruteForce;
    struct Slow {
        double ms;
        std::size_t length;
        MemoryIndex::SearchCounts counts;
    };
    std::vector<Slow> slow;
    std::size_t withFuzzy = 0, mismatches = 0;
    std::vector<std::string> queryTexts;
    std::vector<std::vector<std::string>> expected;
    for (std::size_t i = 0; i < asked.size(); ++i) {
        const Asked& a = asked[i];
        const std::string text = memoryText(a.source);
        timespec c0{}, c1{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c0);
        auto t = Clock::now();
        MemoryIndex::SearchCounts counts;
        const auto top = context.memory().inspect([&](const MemoryIndex& index) {
            std::vector<std::string> found;
            if (const auto* language = index.language("L00"))
                for (const auto& hit : index.fuzzy(*language, text, 70, 5, &counts))
                    found.push_back(std::string(index.text(*language, hit.entry)));
            return found;
        });
        fuzzyIndex.push_back(msSince(t));
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c1);
        fuzzyCpu.push_back(static_cast<double>(c1.tv_sec - c0.tv_sec) * 1000
                           + static_cast<double>(c1.tv_nsec - c0.tv_nsec) / 1e6);
        slow.push_back({fuzzyCpu.back(), text.size(), counts});
        withFuzzy += top.empty() ? 0 : 1;

        MemoryQuery q{"L00", a.source, a.program, a.component};
        q.exact = false;
        t = Clock::now();
        context.memory().suggest(q);
        fuzzyAnswer.push_back(msSince(t));
        q.exact = true;
        q.fuzzy = false;
        t = Clock::now();
        context.memory().suggest(q);
        exactAnswer.push_back(msSince(t));
        std::string body = "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"GetSugestoes\",\"params\":[\"L00\",";
        for (const std::string* s : {&a.source, &a.program, &a.component}) {
            appendJsonString(body, *s);
            body += s == &a.component ? "]}" : ",";
        }
        t = Clock::now();
        context.handler().handle(body);
        method.push_back(msSince(t));
        if (i < std::max(o.brute, o.candidates ? o.candidateQueries : 0)) {
            t = Clock::now();
            const auto exact = exactTop(context.memory(), text);
            if (i < o.brute)
                bruteForce.push_back(msSince(t));
            mismatches += exact == top ? 0 : 1;
            queryTexts.push_back(text);
            expected.push_back(exact);
        }
    }
    std::printf("\nserver time per question (%zu rows of L00 asked about; %zu with a similar source; load %.2f)\n",
                asked.size(), withFuzzy, loadAverage());
    printTimes("fuzzy top 5, the index's search", fuzzyIndex);
    printTimes("  the same, CPU time of the thread", fuzzyCpu);
    printTimes("fuzzy top 5 with the rows read (suggest)", fuzzyAnswer);
    printTimes("exact matches with the rows read (suggest)", exactAnswer);
    printTimes("GetSugestoes, whole method, in process (no HTTP)", method);
    printTimes("brute force: the distance to every source of L00", bruteForce);
    std::printf("  brute force and index disagree on %zu of %zu questions\n", mismatches, expected.size());
    // Where the time goes: the questions by length, with the work of each.
    std::sort(slow.begin(), slow.end(), [](const Slow& a, const Slow& b) { return a.length < b.length; });
    std::printf("\nfuzzy search by length of the question (medians; CPU time of the search)\n");
    for (std::size_t lo = 0; lo < slow.size();) {
        std::size_t hi = lo;
        const std::size_t limit = slow[lo].length < 10 ? 10
            : slow[lo].length < 30                     ? 30
            : slow[lo].length < 100                    ? 100
            : slow[lo].length < 300                    ? 300
            : slow[lo].length < 1000                   ? 1000
                                                       : 5000;
        std::vector<double> ms, counted, candidates, verified;
        while (hi < slow.size() && slow[hi].length < limit) {
            ms.push_back(slow[hi].ms);
            counted.push_back(static_cast<double>(slow[hi].counts.counted));
            candidates.push_back(static_cast<double>(slow[hi].counts.candidates));
            verified.push_back(static_cast<double>(slow[hi].counts.verified));
            ++hi;
        }
        std::printf("  length < %4zu: %4zu questions, %8.3f ms (p95 %8.3f), list entries %8.0f, candidates %7.0f, "
                    "distances %7.0f\n",
                    limit, hi - lo, percentile(ms, 0.5), percentile(ms, 0.95), percentile(counted, 0.5),
                    percentile(candidates, 0.5), percentile(verified, 0.5));
        lo = hi;
    }

    if (o.candidates) {
        const std::vector<std::string> texts = distinctTexts(context.memory());
        measureFts5(texts, queryTexts, expected, std::filesystem::path(o.db).parent_path().string());
#ifdef TRD_HAVE_POSTGRESQL
        measurePgTrgm(texts, queryTexts, expected);
#endif
    }
    std::printf("load average at end: %.2f\n", loadAverage());
    return 0;
}
