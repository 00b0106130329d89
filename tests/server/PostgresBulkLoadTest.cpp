// Seeding PostgreSQL through its bulk path leaves what the row-by-row path
// leaves on SQLite: the same rows, the same batches with their counts, the
// same versions (a key given twice: the later line's values, with a version
// of the change), the same refusal naming the row at fault with nothing
// written, the table's indexes and its language key all there afterwards, and
// an import batch that undoes whole.
#include "PostgresCluster.h"
#include "PostgresConnection.h"
#include "PostgresStorage.h"
#include "ServerTestKit.h"
#include "TsvImport.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace trd::server;
using namespace trd::server::test;

namespace {

// Two languages, rows with and without their own change date, escapes, and
// a key given twice (in the same language, far apart) and once more
// unchanged, so the later lines meet rows already written by the load.
std::string seedFile()
{
    std::string file = "L\tFRA\tFrancês\tPOR\nL\tITA\tItaliano\tPOR\n";
    for (int i = 0; i < 40; ++i) {
        const std::string n = std::to_string(i);
        file += "R\tFRA\tTRD" + std::to_string(i % 3) + "\tcmp" + n + "\tOrigem " + n + "\\tcom tab\tDestino " + n
            + "\t" + (i % 2 ? "T" : "N") + (i % 4 == 1 ? "\t45717.25" : "") + "\n";
        file += "R\tITA\tTRD0\tcmp" + n + "\tOrigem " + n + "\\tcom tab\tDestinazione " + n + "\tD\n";
    }
    file += "R\tFRA\tTRD1\tcmp7\tOrigem 7\\tcom tab\tOutro destino\\nem duas linhas\tD\t45800\n";
    file += "R\tITA\tTRD0\tcmp3\tOrigem 3\\tcom tab\tDestinazione 3\tD\n";
    return file;
}

// A language's batches and versions, without ids and the import's own date.
std::vector<std::string> historyOf(InProcessServer& server, const std::string& language)
{
    std::vector<std::string> out;
    auto session = server.context().sessions().acquire();
    HistoryReader& history = session->history();
    for (const BatchRecord& b : history.batches(language, {})) {
        out.push_back("lote " + std::string(1, static_cast<char>(b.kind)) + " " + b.user + " " + b.method + " "
                      + std::to_string(b.rows) + (b.firstVersion ? " com primeira versão" : " sem versões"));
        for (const VersionRecord& v : history.batchVersions(b))
            out.push_back(std::string(1, static_cast<char>(v.type)) + " [" + v.statusBefore + ">" + v.statusAfter + "] "
                          + (v.textBefore ? "'" + *v.textBefore + "'" : "-") + " "
                          + (v.when == b.when ? "na data do lote" : std::to_string(v.when))
                          + (v.previous ? " depois de outra" : " primeira"));
    }
    return out;
}

void import(InProcessServer& server, const std::string& file)
{
    std::istringstream in(file);
    importTsv(in, server.context().writer());
}

class PostgresBulkLoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!trd::test::postgresCluster().ready())
            GTEST_SKIP() << "no PostgreSQL server binaries (initdb, pg_ctl) to run a test cluster";
        conninfo = trd::test::postgresCluster().freshDatabase();
        ASSERT_FALSE(conninfo.empty());
        postgres = std::make_unique<InProcessServer>(std::make_unique<PostgresStorage>(conninfo));
    }
    std::string conninfo;
    std::unique_ptr<InProcessServer> postgres;
    InProcessServer sqlite;
};

} // namespace

TEST_F(PostgresBulkLoad, WritesTheRowsBatchesAndVersionsTheRowByRowPathWrites)
{
    import(sqlite, seedFile());
    import(*postgres, seedFile());
    for (const std::string language : {"FRA", "ITA"}) {
        const auto rows = allRows(*postgres, language);
        EXPECT_EQ(rows.size(), 40u);
        EXPECT_EQ(rows, allRows(sqlite, language)) << language;
        const auto versions = historyOf(*postgres, language);
        EXPECT_EQ(versions, historyOf(sqlite, language)) << language;
        EXPECT_GE(versions.size(), 41u);
    }
    // The later line won, and the history says what it replaced.
    bool replaced = false;
    for (const auto& r : allRows(*postgres, "FRA"))
        if (r.at("NMCOMPONENTE") == "cmp7") {
            EXPECT_EQ(r.at("STVALORPROP"), "Outro destino\nem duas linhas");
            EXPECT_EQ(r.at("IDSITTRADUCAO"), "D");
            replaced = true;
        }
    EXPECT_TRUE(replaced);
    const auto fra = historyOf(*postgres, "FRA");
    EXPECT_NE(std::find(fra.begin(), fra.end(), "A [T>D] 'Destino 7' 45800.000000 depois de outra"), fra.end());

    // Into an empty table the secondary indexes are built at the end: all there.
    trd::server::PostgresConnection db(conninfo);
    long long indexes = 0;
    db.run("SELECT COUNT(*) FROM pg_indexes WHERE tablename = 'traducao' AND indexname IN "
           "('traducao_situacao', 'traducao_data', 'traducao_chave')",
           {}, [&](const trd::server::PostgresConnection::Row& r) { indexes = r.integer(0); });
    EXPECT_EQ(indexes, 3);
    // And the rows' check of their language is back (it is made once, as a set, at the end).
    long long keys = 0;
    db.run("SELECT COUNT(*) FROM pg_constraint WHERE conrelid = 'traducao'::regclass AND contype = 'f'", {},
           [&](const trd::server::PostgresConnection::Row& r) { keys = r.integer(0); });
    EXPECT_EQ(keys, 1);

    // The import is one batch per language, and it undoes whole.
    const Answer batches = postgres->call("GetLotes", "\"ITA\",0,0");
    ASSERT_EQ(batches.rows.size(), 1u);
    const Answer undone = postgres->call("DesfazLote", "\"ITA\"," + batches.rows[0].at("IDLOTE") + ",\"N\"");
    ASSERT_TRUE(undone.ok) << undone.message;
    EXPECT_TRUE(allRows(*postgres, "ITA").empty());
    EXPECT_EQ(allRows(*postgres, "FRA").size(), 40u);
}

TEST_F(PostgresBulkLoad, ARefusedRowIsNamedAsRowByRowAndNothingIsWritten)
{
    // ZZZ has no language line: the database refuses the set, and the rows
    // go one by one so that the refusal names the language.
    const std::string file = "L\tFRA\tFrancês\tPOR\nR\tFRA\tP\tc1\ts1\td1\tT\nR\tZZZ\tP\tc2\ts2\td2\tT\n";
    std::string onSqlite, onPostgres;
    try {
        import(sqlite, file);
    } catch (const std::exception& e) {
        onSqlite = e.what();
    }
    try {
        import(*postgres, file);
    } catch (const std::exception& e) {
        onPostgres = e.what();
    }
    EXPECT_EQ(onPostgres, "Idioma não cadastrado: ZZZ.");
    EXPECT_EQ(onPostgres, onSqlite);
    EXPECT_TRUE(allRows(*postgres, "FRA").empty());
    EXPECT_TRUE(postgres->call("GetLotes", "\"FRA\",0,0").rows.empty());

    // The rolled-back load left the table as it was: a load after it works
    // and finds its indexes.
    import(*postgres, seedFile());
    EXPECT_EQ(allRows(*postgres, "FRA").size(), 40u);
    // Read through the status and date index: the ten translated rows of 2025-03-01.
    EXPECT_EQ(postgres->call("GetDestino", "\"T\",\"X\",\"X\",\"FRA\"," + date(45717) + "," + date(45717) + ",\"N\"")
                  .rows.size(),
              10u);
}

TEST_F(PostgresBulkLoad, AnImportOfMoreThanTenThousandRowsUndoesWholeRowByRow)
{
    // The undo runs one change a row in one transaction; past 10,000 of them
    // the writer takes the table's statistics again inside it.
    std::string file = "L\tFRA\tFrancês\tPOR\n";
    for (int i = 0; i < 10001; ++i)
        file += "R\tFRA\tTRD" + std::to_string(i / 100) + "\tcmp" + std::to_string(i) + "\tOrigem " + std::to_string(i)
            + "\tDestino\tT\n";
    import(*postgres, file);
    ASSERT_EQ(allRows(*postgres, "FRA").size(), 10001u);
    const Answer batches = postgres->call("GetLotes", "\"FRA\",0,0");
    ASSERT_EQ(batches.rows.size(), 1u);
    EXPECT_EQ(batches.rows[0].at("NRLINHAS"), "10001");
    const Answer undone = postgres->call("DesfazLote", "\"FRA\"," + batches.rows[0].at("IDLOTE") + ",\"N\"");
    ASSERT_TRUE(undone.ok) << undone.message;
    EXPECT_TRUE(allRows(*postgres, "FRA").empty());
    EXPECT_EQ(postgres->call("GetLotes", "\"FRA\",0,0").rows.size(), 2u) << "the import and its undo";
}
