// A release applied through the methods, on both back ends: each rule's row
// as the grid, the statistics and the history then see it, obsolete rows out
// of every read and back when revived, the guards refusing with nothing
// written, a release applied twice, and the undo of a release's batch
// restoring every row byte for byte.
#include "PostgresCluster.h"
#ifdef TRD_HAVE_POSTGRESQL
#include "PostgresStorage.h"
#endif
#include "ServerTestKit.h"
#include "TestBackends.h"
#include "SqliteStorage.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <set>
#include <tuple>

using namespace trd::server;
using namespace trd::server::test;

namespace {

const std::vector<TRow> Seed = {
    {"ENG", "TRD09300", "sbtSalvar", "Salvar registro", "Save record", "T"},
    {"ENG", "TRD09300", "lblImprimir", "Imprimir relatório", "Print report", "T"},
    {"ENG", "TRD09300", "lblCancelar", "Cancelar", "Cancel", "T"},
    {"ENG", "TRD09300", "lblFechar", "Fechar", "Close", "D"},
    {"ENG", "TRD09300", "lblAjuda", "Ajuda", "Help", "T"},
    {"ENG", "TRD09300", "lblTotal", "Total geral", "Grand total", "T"},
    {"ENG", "TRD09300", "lblCodigo", "Código", "Code", "T"},
    {"ESP", "TRD09300", "sbtSalvar", "Salvar registro", "Guardar registro", "D"},
    {"ESP", "TRD09300", "lblImprimir", "Imprimir relatório", "Imprimir informe", "T"},
    {"ESP", "TRD09300", "lblCancelar", "Cancelar", "Cancelar", "T"},
    {"ESP", "TRD09300", "lblFechar", "Fechar", "Cerrar", "T"},
    {"ESP", "TRD09300", "lblAjuda", "Ajuda", "", "N"},
    {"ESP", "TRD09300", "lblCodigo", "Código", "Código", "T"},
};

// The release: one text reworded, one screen's text moved, one text gone,
// a rewording in another program, a new text the memory knows and one it
// does not.
const std::string Release = "TRD09300\tsbtSalvar\tSalvar o registro\n"
                            "TRD09400\tlblImprimir\tImprimir relatório\n"
                            "TRD09300\tlblFechar\tFechar\n"
                            "TRD09300\tlblAjuda\tAjuda\n"
                            "TRD09300\tlblCodigo\tCódigo\n"
                            "CAD00100\tlblTotal\tTotal gerall\n"
                            "TRD09400\tlblNova\tAjuda\n"
                            "TRD09400\tlblOutra\tTexto sem igual\n";

// Every row as stored, obsolete ones included: id, key, text, status, date, flag.
using Stored =
    std::map<std::int64_t,
             std::tuple<std::string, std::string, std::string, std::string, std::string, std::string, double, bool>>;

class Releases : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        std::string skip;
        server = inProcessServerOn(GetParam(), skip);
        if (!server)
            GTEST_SKIP() << skip;
        server->seed(Seed, 45000.25);
        server->setNow(46000.5);
    }

    Answer apply(const std::string& file, const std::string& options = {})
    {
        return server->call("AplicaLiberacao", json(file) + options);
    }
    Stored stored()
    {
        Stored out;
        server->context().sessions().acquire()->scanRows([&](std::int64_t id, const TranslationRowView& r) {
            out[id] = {std::string(r.language),
                       std::string(r.program),
                       std::string(r.component),
                       std::string(r.source),
                       std::string(r.destination),
                       std::string(r.status),
                       r.changed,
                       r.obsolete};
        });
        return out;
    }
    // The live rows of a language as the grid loads them: "PROGRAM/component/source" -> "text|status".
    std::map<std::string, std::string> grid(const std::string& lang)
    {
        std::map<std::string, std::string> out;
        for (const Row& r : allRows(*server, lang))
            out[r.at("CDPROGTRAD") + "/" + r.at("NMCOMPONENTE") + "/" + r.at("STAGRVALPROP")] =
                r.at("STVALORPROP") + "|" + r.at("IDSITTRADUCAO");
        return out;
    }
    static const Row* find(const Answer& a, const std::string& kind, const std::string& lang, const std::string& comp)
    {
        for (const Row& r : a.rows)
            if (r.at("TPLINHA") == kind && r.at("IDIDIOMA") == lang && r.at("NMCOMPONENTE") == comp)
                return &r;
        return nullptr;
    }
    static const Row& total(const Answer& a, const std::string& lang)
    {
        for (const Row& r : a.rows)
            if (r.at("TPLINHA") == "S" && r.at("IDIDIOMA") == lang && r.at("CDPROGTRAD").empty())
                return r;
        throw std::runtime_error("no total row for " + lang);
    }

    std::unique_ptr<InProcessServer> server;
};

} // namespace

TEST_P(Releases, EachRuleAsTheGridTheFiguresAndTheHistorySeeIt)
{
    const Answer preview = server->call("GetPreviaLiberacao", json(Release));
    ASSERT_TRUE(preview.ok) << preview.message;
    const Stored untouched = stored();

    const Answer a = apply(Release);
    ASSERT_TRUE(a.ok) << a.message;
    // The preview showed what the apply did, row for row (the batch aside).
    ASSERT_EQ(preview.rows.size(), a.rows.size());
    for (std::size_t i = 0; i < a.rows.size(); ++i) {
        Row p = preview.rows[i], w = a.rows[i];
        p.erase("IDLOTE");
        w.erase("IDLOTE");
        EXPECT_EQ(p, w) << "row " << i;
    }
    EXPECT_EQ(total(preview, "ENG").at("IDLOTE"), "0");
    EXPECT_NE(untouched, stored());

    const Row& eng = total(a, "ENG");
    EXPECT_EQ(eng.at("NRVIVAS"), "7");
    EXPECT_EQ(eng.at("NRMANTIDAS"), "3");
    EXPECT_EQ(eng.at("NRREESCRITAS"), "1");
    EXPECT_EQ(eng.at("NRMOVIDAS"), "1");
    EXPECT_EQ(eng.at("NRNOVAS"), "3");
    EXPECT_EQ(eng.at("NRMEMORIA"), "1");
    EXPECT_EQ(eng.at("NROBSOLETAS"), "2");
    EXPECT_EQ(eng.at("PCOBSOLETAS"), "28.57");
    EXPECT_NE(eng.at("IDLOTE"), "0");

    const Row* reworded = find(a, "R", "ENG", "sbtSalvar");
    ASSERT_TRUE(reworded);
    EXPECT_EQ(reworded->at("STAGRVALANT"), "Salvar registro");
    EXPECT_EQ(reworded->at("NRSIMILAR"), "88");
    const Row* moved = find(a, "M", "ENG", "lblImprimir");
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->at("CDPROGANT"), "TRD09300");
    // A rewording in another program is not carried: a new row, and the old one leaves.
    EXPECT_TRUE(find(a, "N", "ENG", "lblTotal"));
    EXPECT_TRUE(find(a, "O", "ENG", "lblTotal"));

    // The grid: carried texts in D (never T), the memory's offer in D, the
    // rest new in N; the rows that left are not there.
    const std::map<std::string, std::string> expected = {
        {"CAD00100/lblTotal/Total gerall", "|N"},
        {"TRD09300/lblAjuda/Ajuda", "Help|T"},
        {"TRD09300/lblCodigo/Código", "Code|T"},
        {"TRD09300/lblFechar/Fechar", "Close|D"},
        {"TRD09300/sbtSalvar/Salvar o registro", "Save record|D"},
        {"TRD09400/lblImprimir/Imprimir relatório", "Print report|D"},
        {"TRD09400/lblNova/Ajuda", "Help|D"},
        {"TRD09400/lblOutra/Texto sem igual", "|N"},
    };
    EXPECT_EQ(grid("ENG"), expected);
    // ESP: the memory offers only what is translated.
    EXPECT_EQ(grid("ESP").at("TRD09400/lblImprimir/Imprimir relatório"), "Imprimir informe|D");
    EXPECT_EQ(grid("ESP").at("TRD09400/lblNova/Ajuda"), "|N");
    EXPECT_EQ(grid("ESP").at("TRD09300/sbtSalvar/Salvar o registro"), "Guardar registro|D");

    // The figures count live rows only: 8, of which 2 translated.
    const Answer figures = server->call("GetConsultaRel", "\"ProgressoPorIdioma\"");
    ASSERT_TRUE(figures.ok) << figures.message;
    for (const Row& r : figures.rows)
        if (r.at("IDIDIOMA") == "ENG") {
            EXPECT_EQ(r.at("NRTOTAL"), "8");
            EXPECT_EQ(r.at("NRTRAD"), "2");
            EXPECT_EQ(r.at("NRDUV"), "4");
        }
    EXPECT_EQ(server->call("GetInfoTrad", "\"ENG\"").rows.size(), 8u);
    EXPECT_EQ(server->call("GetFiltroDest", "\"T\",\"D\",\"N\",\" AND STAGRVALPROP = 'Cancelar'\",\"ENG\",0,0,\"\"")
                  .rows.size(),
              0u);
    // The rows that left, with their text, status and the batch.
    const Answer obsolete = server->call("GetObsoletas", "\"ENG\"");
    ASSERT_TRUE(obsolete.ok) << obsolete.message;
    ASSERT_EQ(obsolete.rows.size(), 4u);
    EXPECT_EQ(obsolete.rows[0].at("STAGRVALPROP"), "Cancelar");
    EXPECT_EQ(obsolete.rows[0].at("STVALORPROP"), "Cancel");
    EXPECT_EQ(obsolete.rows[0].at("IDSITTRADUCAO"), "T");
    EXPECT_EQ(obsolete.rows[0].at("IDLOTE"), eng.at("IDLOTE"));

    // Asked for, the rows that left come alone, as GetObsoletas lists them,
    // through the selection the grid uses (the editor's obsolete rows).
    std::set<std::string> goneKeys, shownKeys;
    for (const Row& r : obsolete.rows)
        goneKeys.insert(r.at("CDPROGTRAD") + "/" + r.at("NMCOMPONENTE") + "/" + r.at("STAGRVALPROP"));
    const Answer shown = server->call("GetDestino", "\"T\",\"D\",\"N\",\"ENG\",0,0,\"\",\"S\"");
    ASSERT_TRUE(shown.ok) << shown.message;
    for (const Row& r : shown.rows)
        shownKeys.insert(r.at("CDPROGTRAD") + "/" + r.at("NMCOMPONENTE") + "/" + r.at("STAGRVALPROP"));
    EXPECT_EQ(shownKeys.size(), shown.rows.size());
    EXPECT_EQ(shownKeys, goneKeys);
    const Answer cancel =
        server->call("GetFiltroDest", "\"T\",\"D\",\"N\",\" AND STAGRVALPROP = 'Cancelar'\",\"ENG\",0,0,\"\",\"S\"");
    ASSERT_TRUE(cancel.ok) << cancel.message;
    ASSERT_EQ(cancel.rows.size(), 1u);
    EXPECT_EQ(cancel.rows[0].at("STVALORPROP"), "Cancel");
    EXPECT_EQ(cancel.rows[0].at("IDSITTRADUCAO"), "T");

    // Previous sources: the reworded row knows what it was.
    const Answer previous = server->call("GetOrigensAnteriores", "\"ENG\",\"U\"");
    ASSERT_TRUE(previous.ok) << previous.message;
    ASSERT_EQ(previous.rows.size(), 3u); // sbtSalvar (R), then TRD09400's lblImprimir (M) and lblNova (memory)
    EXPECT_EQ(previous.rows[0].at("STAGRVALPROP"), "Salvar o registro");
    EXPECT_EQ(previous.rows[0].at("TPLIBERACAO"), "R");
    EXPECT_EQ(previous.rows[0].at("STAGRVALANT"), "Salvar registro");
    EXPECT_EQ(previous.rows[0].at("NRSIMILAR"), "88");
    EXPECT_EQ(previous.rows[0].at("STULTIMA"), "S");
    EXPECT_EQ(previous.rows[1].at("TPLIBERACAO"), "M");
    EXPECT_EQ(previous.rows[2].at("TPLIBERACAO"), "N");
    EXPECT_EQ(previous.rows[2].at("STAGRVALANT"), "Ajuda");

    // The history of both rows.
    const Answer created = server->call("GetHistorico", "\"ENG\",\"TRD09300\",\"sbtSalvar\",\"Salvar o registro\",0");
    ASSERT_EQ(created.rows.size(), 1u);
    EXPECT_EQ(created.rows[0].at("TPLOTE"), "liberacao");
    EXPECT_EQ(created.rows[0].at("TPALTERACAO"), "I");
    const Answer left = server->call("GetHistorico", "\"ENG\",\"TRD09300\",\"sbtSalvar\",\"Salvar registro\",0");
    ASSERT_FALSE(left.rows.empty());
    EXPECT_EQ(left.rows[0].at("TPALTERACAO"), "O");
    EXPECT_EQ(left.rows[0].at("STVALORPROP"), "Save record");

    // A client cannot save into a row that left.
    const Answer save =
        server->call("SetDestino", json(DeltaBuilder().modify(Seed[2], std::string("Abort"), std::string("T")).xml()));
    EXPECT_FALSE(save.ok);

    // Applied twice, nothing changes and no batch is written.
    const Stored once = stored();
    const Answer again = apply(Release);
    ASSERT_TRUE(again.ok) << again.message;
    EXPECT_EQ(total(again, "ENG").at("NRMANTIDAS"), "8");
    EXPECT_EQ(total(again, "ENG").at("IDLOTE"), "0");
    EXPECT_EQ(again.rows.size(), 2u * (1u + 3u)); // each language's total and its 3 programs' only
    EXPECT_EQ(once, stored());
}

TEST_P(Releases, TheChangeFeedTellsRowsThatLeftAsDeletedAndNewOnesAsCreated)
{
    std::int64_t before = 0;
    for (const ChangeRecord& c : server->context().sessions().acquire()->readChanges({0, "ENG", 1000}).records)
        before = std::max(before, c.version);
    ASSERT_TRUE(apply(Release).ok);
    std::map<std::string, char> told; // source -> type
    for (const ChangeRecord& c : server->context().sessions().acquire()->readChanges({before, "ENG", 1000}).records) {
        ASSERT_TRUE(c.rowExists) << c.version; // a row that left is still there, obsolete
        told[c.program + "/" + c.source] = c.type;
    }
    EXPECT_EQ(told.size(), 9u); // 5 created, 4 left
    EXPECT_EQ(told.at("TRD09300/Salvar registro"), 'E');
    EXPECT_EQ(told.at("TRD09300/Cancelar"), 'E');
    EXPECT_EQ(told.at("TRD09300/Salvar o registro"), 'I');
    EXPECT_EQ(told.at("TRD09400/Ajuda"), 'I');
}

TEST_P(Releases, ARowThatComesBackIsAsItWas)
{
    ASSERT_TRUE(apply(Release).ok);
    const Stored before = stored();
    const Answer back = apply(Release + "TRD09300\tlblCancelar\tCancelar\n");
    ASSERT_TRUE(back.ok) << back.message;
    const Row* revived = find(back, "V", "ENG", "lblCancelar");
    ASSERT_TRUE(revived);
    EXPECT_EQ(grid("ENG").at("TRD09300/lblCancelar/Cancelar"), "Cancel|T");
    const Stored after = stored();
    for (const auto& [id, row] : before) {
        if (std::get<3>(row) != "Cancelar")
            continue;
        auto expected = row;
        std::get<7>(expected) = false; // the flag alone moved: text, status and date as they were
        EXPECT_EQ(after.at(id), expected) << id;
        EXPECT_EQ(std::get<6>(after.at(id)), 45000.25);
    }
}

TEST_P(Releases, GuardsAndFaultsRefuseWithNothingWritten)
{
    const Stored untouched = stored();
    struct Case {
        const char* why;
        std::string file;
        int code;
        const char* text;
    } cases[] = {
        {"empty file", "", -32005, "não tem nenhuma linha"},
        {"a comment only", "# nada\n", -32005, "não tem nenhuma linha"},
        {"truncated: most of ENG would leave", "TRD09300\tlblFechar\tFechar\nTRD09300\tlblAjuda\tAjuda\n", -32005,
         "71,43 % das linhas vivas de ENG (5 de 7; o limite é 30 %)"},
        {"malformed line", Release + "TRD09300\tsó dois campos\n", -32602, "linha 9: esperados 3 campos"},
        {"duplicate key", Release + "TRD09300\tlblAjuda\tAjuda\n", -32602, "linha 9: a mesma chave"},
    };
    for (const Case& c : cases) {
        const Answer a = apply(c.file);
        EXPECT_FALSE(a.ok) << c.why;
        EXPECT_EQ(a.code, c.code) << c.why;
        EXPECT_NE(a.message.find(c.text), std::string::npos) << c.why << ": " << a.message;
        EXPECT_NE(a.message.find("Nada foi aplicado."), std::string::npos) << c.why;
        EXPECT_EQ(untouched, stored()) << c.why;
    }
    for (const Row& b : server->call("GetLotes", "\"ENG\",0,0").rows)
        EXPECT_NE(b.at("TPLOTE"), "liberacao");

    // The preview says so without refusing; the share is an option; confirmed, it applies.
    const std::string truncated = "TRD09300\tlblFechar\tFechar\nTRD09300\tlblAjuda\tAjuda\n";
    const Answer preview = server->call("GetPreviaLiberacao", json(truncated));
    ASSERT_TRUE(preview.ok) << preview.message;
    EXPECT_EQ(total(preview, "ENG").at("STCONFIRMAR"), "S");
    EXPECT_EQ(total(preview, "ESP").at("STCONFIRMAR"), "S");
    EXPECT_EQ(apply(truncated, ",70,70").code, -32005); // ENG loses 71 %, ESP 67 %
    EXPECT_EQ(untouched, stored());
    const Answer confirmed = apply(truncated, ",70,30,\"S\",\"S\"");
    ASSERT_TRUE(confirmed.ok) << confirmed.message;
    EXPECT_EQ(grid("ENG").size(), 2u);
    EXPECT_EQ(server->call("GetObsoletas", "\"ENG\"").rows.size(), 5u);

    EXPECT_EQ(server->call("AplicaLiberacao", json(Release) + ",40").code, -32602); // a threshold below 50
}

TEST_P(Releases, UndoRestoresEveryRowByteForByteAndOnlyWhenNothingChangedSince)
{
    const Stored before = stored();
    const Answer a = apply(Release);
    ASSERT_TRUE(a.ok) << a.message;
    const std::string engBatch = total(a, "ENG").at("IDLOTE");
    const std::string espBatch = total(a, "ESP").at("IDLOTE");

    // A translator saves a row the release created: the undo would delete
    // it, so it stops and says why, writing nothing.
    const Answer edit =
        server->call("SetDestino",
                     json(DeltaBuilder()
                              .modify({"ESP", "TRD09400", "lblImprimir", "Imprimir relatório", "Imprimir informe", "D"},
                                      std::string("Imprimir informe"), std::string("T"))
                              .xml()));
    ASSERT_TRUE(edit.ok) << edit.message;
    const Stored edited = stored();
    const Answer refused = server->call("DesfazLote", "\"ESP\"," + espBatch + ",\"N\"");
    ASSERT_TRUE(refused.ok) << refused.message;
    EXPECT_EQ(refused.rows.at(0).at("IDLOTE"), "0");
    bool named = false;
    for (const Row& r : refused.rows) {
        EXPECT_EQ(r.at("DESFEITA"), "N");
        named = named || (r.at("NMCOMPONENTE") == "lblImprimir" && r.at("DSMOTIVO").rfind("alterada depois", 0) == 0);
    }
    EXPECT_TRUE(named);
    EXPECT_EQ(edited, stored());

    // ENG's batch is undone whole: every row of ENG as before, byte for byte.
    const Answer undone = server->call("DesfazLote", "\"ENG\"," + engBatch + ",\"N\"");
    ASSERT_TRUE(undone.ok) << undone.message;
    EXPECT_NE(undone.rows.at(0).at("IDLOTE"), "0");
    for (const Row& r : undone.rows)
        EXPECT_EQ(r.at("DESFEITA"), "S") << r.at("NMCOMPONENTE");
    Stored engBefore, engAfter;
    for (const auto& [id, row] : before)
        if (std::get<0>(row) == "ENG")
            engBefore[id] = row;
    for (const auto& [id, row] : stored())
        if (std::get<0>(row) == "ENG")
            engAfter[id] = row;
    EXPECT_EQ(engBefore, engAfter);
    // Listed as undone; its undo cannot be undone by the history (apply the file again).
    const Answer listed = server->call("GetLotes", "\"ENG\",0,0");
    ASSERT_FALSE(listed.rows.empty());
    EXPECT_EQ(listed.rows[0].at("TPLOTE"), "desfazer");
    EXPECT_EQ(listed.rows[0].at("IDLOTEDESFEITO"), engBatch);
    const Answer redo = server->call("DesfazLote", "\"ENG\"," + listed.rows[0].at("IDLOTE") + ",\"N\"");
    EXPECT_EQ(redo.code, -32602);
    EXPECT_NE(redo.message.find("AplicaLiberacao"), std::string::npos) << redo.message;
    EXPECT_EQ(server->call("DesfazLote", "\"ENG\"," + engBatch + ",\"N\"").code, -32000); // undone already

    // Forced, ESP's batch goes too: the row saved since is deleted with its
    // text kept in the history.
    const Answer forced = server->call("DesfazLote", "\"ESP\"," + espBatch + ",\"S\"");
    ASSERT_TRUE(forced.ok) << forced.message;
    Stored espBefore, espAfter;
    for (const auto& [id, row] : before)
        if (std::get<0>(row) == "ESP")
            espBefore[id] = row;
    for (const auto& [id, row] : stored())
        if (std::get<0>(row) == "ESP")
            espAfter[id] = row;
    EXPECT_EQ(espBefore, espAfter);
    EXPECT_TRUE(server->call("GetOrigensAnteriores", "\"ESP\",\"T\"").rows.empty());
}

TEST_P(Releases, TheMemoryOffersRowsThatLeftMarkedAndNeverListsThemForAPropagation)
{
    ASSERT_TRUE(apply(Release).ok);
    server->context().startMemory();
    ASSERT_TRUE(server->context().memory().waitReady(std::chrono::seconds(60)));
    const Answer offered = server->call("GetSugestoes", "\"ENG\",\"Cancelar\",\"NOVO\",\"lblX\"");
    ASSERT_TRUE(offered.ok) << offered.message;
    ASSERT_EQ(offered.rows.size(), 1u);
    EXPECT_EQ(offered.rows[0].at("STVALORPROP"), "Cancel");
    EXPECT_EQ(offered.rows[0].at("STOBSOLETA"), "S");
    const Answer live = server->call("GetSugestoes", "\"ENG\",\"Fechar\",\"NOVO\",\"lblX\"");
    ASSERT_EQ(live.rows.size(), 1u);
    EXPECT_EQ(live.rows[0].at("STOBSOLETA"), "N");
    // Only the obsolete row has the old source: nothing to propagate to.
    EXPECT_TRUE(server->call("GetMesmaOrigem", "\"ENG\",\"Salvar registro\",\"X\",\"y\"").rows.empty());
    EXPECT_EQ(server->call("GetMesmaOrigem", "\"ENG\",\"Ajuda\",\"X\",\"y\"").rows.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Backends, Releases, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendName);

namespace {

std::string sqliteScalar(const std::string& path, const char* sql)
{
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    std::string out;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

} // namespace

TEST(ReleaseSchema, AFileWithoutItGetsItAtStartAndReadOnlyServesItAsItIs)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("antes.db")).toStdString();
    {
        InProcessServer made(std::make_unique<SqliteStorage>(path, SqliteStorage::creating()));
        made.seed({Seed[0], Seed[1]});
    }
    // As the file was before releases: no flag, no table of previous sources.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "DROP TABLE TRADUCAO_ANTERIOR; DROP INDEX TRADUCAO_OBSOLETA; "
                           "ALTER TABLE TRADUCAO DROP COLUMN FLOBSOLETA",
                           nullptr, nullptr, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
    const char* const flag = "SELECT COUNT(*) FROM pragma_table_info('TRADUCAO') WHERE name = 'FLOBSOLETA'";
    {
        SqliteOpenOptions readOnly;
        readOnly.readOnly = true;
        ServerContext reader(std::make_unique<SqliteStorage>(path, readOnly));
        const auto call = [&](const std::string& method, const std::string& params) {
            return parseAnswer(reader.handler().handle(request(method, params)).body);
        };
        EXPECT_EQ(call("GetDestino", "\"T\",\"D\",\"N\",\"ENG\",0,0,\"\"").rows.size(), 2u);
        EXPECT_TRUE(call("GetObsoletas", "\"ENG\"").rows.empty());
        EXPECT_EQ(call("GetPreviaLiberacao", json(Release)).code, -32603);
    }
    EXPECT_EQ(sqliteScalar(path, flag), "0");
    const std::string schemaVersion = sqliteScalar(path, "PRAGMA user_version");
    {
        InProcessServer server(std::make_unique<SqliteStorage>(path));
        EXPECT_EQ(sqliteScalar(path, flag), "1");
        EXPECT_EQ(allRows(server, "ENG").size(), 2u); // every row live
        ASSERT_TRUE(server.call("AplicaLiberacao", json(Release), {}).ok);
    }
    const std::string schema = sqliteScalar(path, "SELECT group_concat(sql, ';') FROM sqlite_schema");
    {
        InProcessServer again(std::make_unique<SqliteStorage>(path));
        EXPECT_EQ(allRows(again, "ENG").size(), 8u);
    }
    EXPECT_EQ(sqliteScalar(path, "SELECT group_concat(sql, ';') FROM sqlite_schema"), schema);
    EXPECT_EQ(sqliteScalar(path, "PRAGMA user_version"), schemaVersion); // steps, not a schema number
}
