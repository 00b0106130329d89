// The history on both back ends, through the methods: every save keeps a
// version that reads back whole, a replace-all run is one batch, undo of a
// batch and of a version (rows changed since left alone, or forced), deletes
// and inserts undone, an undo undone, bad input refused with nothing written,
// the upgrade of a database of schema 1, and pruning.
#include "PostgresCluster.h"
#ifdef TRD_HAVE_POSTGRESQL
#include "PostgresStorage.h"
#endif
#include "Prune.h"
#include "ServerTestKit.h"
#include "TestBackends.h"
#include "SqliteStorage.h"
#include "TDateTime.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <sqlite3.h>

using namespace trd::server;
using namespace trd::server::test;

namespace {

const TRow Save{"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Salvar", "N"};
const TRow Close{"ENG", "TRD09300", "sbtFechar", "&Fechar", "&Close", "T"};
const TRow Open{"ENG", "TRD09300", "sbtAbrir", "&Abrir", "&Open", "D"};
const TRow Spanish{"ESP", "TRD09300", "sbtSalvar", "&Salvar", "&Guardar", "T"};

std::string packetDate(double day)
{
    return trd::DateTimeToPacketText(day).toStdString();
}

class History : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        std::string skip;
        server = inProcessServerOn(GetParam(), skip);
        if (!server)
            GTEST_SKIP() << skip;
        server->seed({Save, Close, Open, Spanish}, 45000);
    }

    // The row as it stands now, as a client would know it.
    TRow now(const TRow& r)
    {
        for (const auto& row : allRows(*server, r.lang))
            if (row.at("NMCOMPONENTE") == r.comp) {
                TRow out = r;
                out.dst = row.at("STVALORPROP");
                out.status = row.at("IDSITTRADUCAO");
                return out;
            }
        return {};
    }
    Answer save(const TRow& r, std::optional<std::string> dst, std::optional<std::string> status = {},
                const std::string& batch = {})
    {
        CallContext context;
        if (!batch.empty())
            context.batchHeaders = {batch};
        return server->call("SetDestino", json(DeltaBuilder().modify(now(r), dst, status).xml()), context);
    }
    Answer saveWithHeaders(const TRow& r, const std::string& dst, std::vector<std::string> headers)
    {
        CallContext context;
        context.batchHeaders = std::move(headers);
        return server->call("SetDestino", json(DeltaBuilder().modify(now(r), dst).xml()), context);
    }
    Answer history(const TRow& r, int max = 0)
    {
        return server->call("GetHistorico",
                            json(r.lang) + "," + json(r.prog) + "," + json(r.comp) + "," + json(r.src) + ","
                                + std::to_string(max));
    }
    Answer batches(const std::string& lang = "ENG", double from = 0, double until = 0)
    {
        return server->call("GetLotes", json(lang) + "," + date(from) + "," + date(until));
    }
    std::string openBatch(const std::string& lang = "ENG")
    {
        const Answer a = server->call("AbreLote", json(lang) + ",\"substituicao\"");
        EXPECT_TRUE(a.ok) << a.message;
        return a.ok ? a.rows.at(0).at("IDLOTE") : std::string("0");
    }
    Answer undo(const std::string& id, bool force = false, const std::string& lang = "ENG")
    {
        return server->call("DesfazLote", json(lang) + "," + id + "," + (force ? "\"S\"" : "\"N\""));
    }
    Answer undoVersion(const std::string& id, bool force = false, const std::string& lang = "ENG")
    {
        return server->call("DesfazVersao", json(lang) + "," + id + "," + (force ? "\"S\"" : "\"N\""));
    }
    // The batch of the newest save of the row.
    std::string lastBatch(const TRow& r) { return history(r, 1).rows.at(0).at("IDLOTE"); }

    std::unique_ptr<InProcessServer> server;
};

} // namespace

TEST_P(History, EverySaveKeepsAVersionThatReadsBackWhole)
{
    server->setNow(46100.25);
    ASSERT_TRUE(save(Close, std::string("Fe&char")).ok);
    server->setNow(46100.5);
    ASSERT_TRUE(save(Close, std::nullopt, std::string("D")).ok); // the status alone
    server->setNow(46101.75);
    ASSERT_TRUE(save(Close, std::string("Fechar"), std::string("T")).ok);
    // A refused save (the client's row is stale) keeps nothing.
    TRow stale = Close;
    const Answer refused = server->call("SetDestino", json(DeltaBuilder().modify(stale, std::string("x")).xml()));
    ASSERT_FALSE(refused.ok);

    const Answer h = history(Close);
    ASSERT_TRUE(h.ok) << h.message;
    ASSERT_EQ(h.rows.size(), 4u);
    const auto expect = [&](std::size_t i, const char* type, const char* statusBefore, const char* before,
                            const char* statusAfter, const char* after, const char* kind, double when) {
        SCOPED_TRACE(i);
        const Row& v = h.rows.at(i);
        EXPECT_EQ(v.at("TPALTERACAO"), type);
        EXPECT_EQ(v.at("IDSITANT"), statusBefore);
        EXPECT_EQ(v.at("STVALORANT"), before);
        EXPECT_EQ(v.at("IDSITTRADUCAO"), statusAfter);
        EXPECT_EQ(v.at("STVALORPROP"), after);
        EXPECT_EQ(v.at("TPLOTE"), kind);
        EXPECT_EQ(v.at("NMUSUARIO"), "local");
        EXPECT_EQ(v.at("DTALTERACAO"), packetDate(when));
    };
    expect(0, "A", "D", "Fe&char", "T", "Fechar", "edicao", 46101.75);
    expect(1, "A", "T", "Fe&char", "D", "Fe&char", "edicao", 46100.5);
    expect(2, "A", "T", "&Close", "T", "Fe&char", "edicao", 46100.25);
    expect(3, "I", "", "", "T", "&Close", "importacao", 45000);
    EXPECT_EQ(h.rows[0].at("NMMETODO"), "SetDestino");
    // One batch per post, and versions numbered in the order they were written.
    EXPECT_NE(h.rows[0].at("IDLOTE"), h.rows[1].at("IDLOTE"));
    for (std::size_t i = 1; i < h.rows.size(); ++i)
        EXPECT_GT(std::stoll(h.rows[i - 1].at("IDVERSAO")), std::stoll(h.rows[i].at("IDVERSAO")));

    const Answer newest = history(Close, 1);
    ASSERT_EQ(newest.rows.size(), 1u);
    EXPECT_EQ(newest.rows[0], h.rows[0]);

    const Answer all = batches();
    ASSERT_TRUE(all.ok) << all.message;
    ASSERT_EQ(all.rows.size(), 4u); // three posts and the import of the seed
    EXPECT_EQ(all.rows[0].at("TPLOTE"), "edicao");
    EXPECT_EQ(all.rows[0].at("NRLINHAS"), "1");
    EXPECT_EQ(all.rows[0].at("DTLOTE"), packetDate(46101.75));
    EXPECT_EQ(all.rows[3].at("TPLOTE"), "importacao");
    EXPECT_EQ(all.rows[3].at("NRLINHAS"), "3"); // the ENG rows of the seed; ESP has a batch of its own
    const Answer oneDay = batches("ENG", 46100, 46100);
    ASSERT_EQ(oneDay.rows.size(), 2u);
    EXPECT_EQ(oneDay.rows[0].at("DTLOTE"), packetDate(46100.5));
}

TEST_P(History, AReplaceAllRunIsOneBatchUndoneWholeAndRedoneByUndoingTheUndo)
{
    const std::string run = openBatch();
    server->setNow(46200.1);
    ASSERT_TRUE(save(Save, std::string("&Save"), std::string("T"), run).ok);
    server->setNow(46200.2);
    ASSERT_TRUE(save(Close, std::string("&Shut"), std::nullopt, run).ok);
    ASSERT_TRUE(save(Close, std::string("&Shut it"), std::nullopt, run).ok); // a second occurrence in the row

    Answer listed = batches();
    ASSERT_EQ(listed.rows.at(0).at("IDLOTE"), run);
    EXPECT_EQ(listed.rows[0].at("TPLOTE"), "substituicao");
    EXPECT_EQ(listed.rows[0].at("NRLINHAS"), "3");

    const Answer undone = undo(run);
    ASSERT_TRUE(undone.ok) << undone.message;
    ASSERT_EQ(undone.rows.size(), 2u);
    const std::string undoBatch = undone.rows[0].at("IDLOTE");
    EXPECT_GT(std::stoll(undoBatch), std::stoll(run));
    for (const Row& r : undone.rows)
        EXPECT_EQ(r.at("DESFEITA"), "S") << r.at("NMCOMPONENTE") << ": " << r.at("DSMOTIVO");
    EXPECT_EQ(now(Save).dst, "&Salvar");
    EXPECT_EQ(now(Save).status, "N");
    EXPECT_EQ(now(Close).dst, "&Close");
    EXPECT_EQ(now(Close).status, "T");

    listed = batches();
    EXPECT_EQ(listed.rows.at(0).at("IDLOTE"), undoBatch);
    EXPECT_EQ(listed.rows[0].at("TPLOTE"), "desfazer");
    EXPECT_EQ(listed.rows[0].at("IDLOTEDESFEITO"), run);
    EXPECT_EQ(listed.rows[0].at("NRLINHAS"), "2");
    EXPECT_EQ(listed.rows[1].at("IDDESFEITOPOR"), undoBatch);

    const Answer twice = undo(run);
    EXPECT_EQ(twice.code, -32000);
    EXPECT_NE(twice.message.find("já foi desfeito pelo lote " + undoBatch), std::string::npos) << twice.message;

    // Undoing the undo puts the run's changes back; the run can then be undone again.
    ASSERT_TRUE(undo(undoBatch).ok);
    EXPECT_EQ(now(Save).dst, "&Save");
    EXPECT_EQ(now(Close).dst, "&Shut it");
    EXPECT_EQ(batches().rows.at(2).at("IDDESFEITOPOR"), "0");
    const Answer again = undo(run);
    ASSERT_TRUE(again.ok) << again.message;
    EXPECT_EQ(now(Close).dst, "&Close");
}

TEST_P(History, AnUndoMeetingARowChangedSinceLeavesItAndSaysSoUnlessForced)
{
    const std::string run = openBatch();
    ASSERT_TRUE(save(Save, std::string("&Save"), std::string("T"), run).ok);
    ASSERT_TRUE(save(Close, std::string("&Shut"), std::nullopt, run).ok);
    server->setNow(46300.5);
    ASSERT_TRUE(save(Close, std::string("Close it"), std::nullopt).ok); // a colleague, later

    const Answer undone = undo(run);
    ASSERT_TRUE(undone.ok) << undone.message;
    ASSERT_EQ(undone.rows.size(), 2u);
    EXPECT_EQ(undone.rows[0].at("NMCOMPONENTE"), "sbtSalvar");
    EXPECT_EQ(undone.rows[0].at("DESFEITA"), "S");
    EXPECT_EQ(undone.rows[1].at("NMCOMPONENTE"), "sbtFechar");
    EXPECT_EQ(undone.rows[1].at("DESFEITA"), "N");
    EXPECT_EQ(undone.rows[1].at("DSMOTIVO"),
              "alterada depois por local em "
                  + trd::DateTimeToQDateTime(46300.5).toString(QStringLiteral("dd/MM/yyyy HH:mm")).toStdString());
    EXPECT_EQ(undone.rows[1].at("STVALORPROP"), "Close it");
    EXPECT_EQ(now(Save).dst, "&Salvar");
    EXPECT_EQ(now(Close).dst, "Close it");

    // Forced, a row changed since goes back too.
    const std::string second = openBatch();
    ASSERT_TRUE(save(Open, std::string("Op&en"), std::string("T"), second).ok);
    ASSERT_TRUE(save(Open, std::string("Open!"), std::string("N")).ok);
    const Answer forced = undo(second, true);
    ASSERT_TRUE(forced.ok) << forced.message;
    EXPECT_EQ(forced.rows.at(0).at("DESFEITA"), "S");
    EXPECT_EQ(now(Open).dst, "&Open");
    EXPECT_EQ(now(Open).status, "D");
}

TEST_P(History, AnUndoDatesTheRowsItPutsBackAtTheUndoSoAFileExportedBeforeSeesThemChanged)
{
    // The change date an exchange import compares with a file's export time
    // is the row's, as the report query of a language's lines gives it.
    const auto changed = [&](const TRow& r) {
        const Answer a = server->call("GetConsultaRel",
                                      "\"LinhasPorTela\",\"P_IDIDIOMA\"," + json(r.lang)
                                          + ",\"P_SITUACAO\",\"\",\"P_TSITUACAO\",\"ALL\",\"P_DtIni\"," + date(0)
                                          + ",\"P_DtFim\"," + date(0));
        EXPECT_TRUE(a.ok) << a.message;
        for (const Row& row : a.rows)
            if (row.at("NMCOMPONENTE") == r.comp)
                return row.at("DTALTERACAO");
        return std::string();
    };
    ASSERT_EQ(changed(Close), packetDate(45000));
    server->setNow(46400.25);
    ASSERT_TRUE(save(Close, std::string("&Shut")).ok);
    const std::string batch = lastBatch(Close);
    // A file exported now (46400.5) holds "&Shut"; the undo comes after it.
    server->setNow(46400.75);
    const Answer undone = undo(batch);
    ASSERT_TRUE(undone.ok) << undone.message;
    ASSERT_EQ(now(Close).dst, "&Close");
    // Dated before the export, the undo would be invisible to the import's
    // conflict rule, and the file would put "&Shut" back without a question.
    EXPECT_EQ(changed(Close), packetDate(46400.75));
    EXPECT_EQ(history(Close, 1).rows.at(0).at("DTALTERACAO"), packetDate(46400.75));
}

TEST_P(History, OneVersionIsUndoneOnlyWhileItIsTheRowsNewest)
{
    ASSERT_TRUE(save(Save, std::string("Save 1")).ok);
    const std::string first = history(Save, 1).rows.at(0).at("IDVERSAO");
    ASSERT_TRUE(save(Save, std::string("Save 2"), std::string("T")).ok);
    const std::string second = history(Save, 1).rows.at(0).at("IDVERSAO");

    const Answer old = undoVersion(first);
    ASSERT_TRUE(old.ok) << old.message;
    EXPECT_EQ(old.rows.at(0).at("DESFEITA"), "N");
    EXPECT_EQ(old.rows[0].at("IDLOTE"), "0"); // nothing written, no batch
    EXPECT_EQ(now(Save).dst, "Save 2");

    const Answer newest = undoVersion(second);
    ASSERT_TRUE(newest.ok) << newest.message;
    EXPECT_EQ(newest.rows.at(0).at("DESFEITA"), "S");
    EXPECT_EQ(now(Save).dst, "Save 1");
    EXPECT_EQ(now(Save).status, "N");
    EXPECT_EQ(history(Save, 1).rows.at(0).at("TPLOTE"), "desfazer");
    EXPECT_EQ(history(Save, 1).rows.at(0).at("NMMETODO"), "DesfazVersao");
}

TEST_P(History, DeletesAndInsertsAreUndoneAndTheRowKeepsItsHistory)
{
    ASSERT_TRUE(server->call("SetDestino", json(DeltaBuilder().remove(now(Close)).xml())).ok);
    ASSERT_TRUE(now(Close).src.empty());
    const Answer listed = batches();
    const std::string deletion = listed.rows.at(0).at("IDLOTE");

    const Answer back = undo(deletion);
    ASSERT_TRUE(back.ok) << back.message;
    ASSERT_EQ(back.rows.size(), 1u);
    EXPECT_EQ(back.rows[0].at("DESFEITA"), "S");
    EXPECT_EQ(back.rows[0].at("NMCOMPONENTE"), "sbtFechar");
    EXPECT_EQ(now(Close).dst, "&Close");
    EXPECT_EQ(now(Close).status, "T");
    const Answer h = history(Close);
    ASSERT_EQ(h.rows.size(), 3u); // brought back, deleted, imported
    EXPECT_EQ(h.rows[0].at("TPALTERACAO"), "I");
    EXPECT_EQ(h.rows[0].at("TPLOTE"), "desfazer");
    EXPECT_EQ(h.rows[1].at("TPALTERACAO"), "E");
    EXPECT_EQ(h.rows[1].at("STVALORANT"), "&Close");
    EXPECT_EQ(h.rows[2].at("TPALTERACAO"), "I");

    const TRow added{"ENG", "TRD09300", "sbtNovo", "&Novo", "&New", "D"};
    ASSERT_TRUE(server->call("SetDestino", json(DeltaBuilder().insert(added).xml())).ok);
    ASSERT_EQ(now(added).dst, "&New");
    ASSERT_TRUE(undo(batches().rows.at(0).at("IDLOTE")).ok);
    EXPECT_TRUE(now(added).src.empty());
}

TEST_P(History, BadInputIsRefusedInPortugueseAndWritesNothing)
{
    ASSERT_TRUE(save(Spanish, std::string("Guardar")).ok);
    const std::string spanishBatch = lastBatch(Spanish);
    ASSERT_TRUE(save(Save, std::string("&Save")).ok);
    const std::string editBatch = lastBatch(Save);
    const std::size_t batchesBefore = batches().rows.size();

    const auto refused = [&](const Answer& a, int code, const std::string& words) {
        EXPECT_FALSE(a.ok);
        EXPECT_EQ(a.code, code) << a.message;
        EXPECT_NE(a.message.find(words), std::string::npos) << a.message;
    };
    refused(undo("987654"), -32602, "O lote 987654 não existe");
    refused(undo(spanishBatch), -32602, "é do idioma ESP, não do idioma ENG");
    refused(undoVersion("987654"), -32602, "A versão 987654 não existe");
    refused(undoVersion(history(Spanish, 1).rows.at(0).at("IDVERSAO")), -32602, "é do idioma ESP");
    refused(server->call("DesfazLote", "\"ENG\"," + editBatch + ",\"talvez\""), -32602, "\"S\" ou \"N\"");
    refused(server->call("DesfazLote", "\"ENG\",-3,\"N\""), -32602, "número inteiro");
    refused(server->call("AbreLote", "\"ENG\",\"edicao\""), -32602, "tipo de lote inválido");
    refused(server->call("AbreLote", "\"XYZ\",\"substituicao\""), -32000, "Idioma não cadastrado");
    refused(server->call("GetHistorico", "\"ENG\",\"TRD09300\",\"sbtSalvar\",\"&Salvar\",-1"), -32602, "máximo");
    // A save naming a batch it may not join writes nothing.
    refused(save(Close, std::string("x"), {}, "abc"), -32602, "X-Trd-Lote");
    refused(save(Close, std::string("x"), {}, editBatch), -32602, "não recebe outras gravações");
    refused(save(Close, std::string("x"), {}, openBatch("ESP")), -32602,
            "é do idioma ESP e esta gravação é do idioma ENG");
    refused(save(Close, std::string("x"), {}, "987654"), -32602, "O lote 987654 não existe");

    EXPECT_EQ(now(Close).dst, "&Close");
    EXPECT_EQ(history(Close).rows.size(), 1u);
    EXPECT_EQ(batches().rows.size(), batchesBefore);
    EXPECT_EQ(now(Save).dst, "&Save");
}

// An undo covers the versions a batch held when it ran: a save joining the
// batch afterwards would be listed as undone with nothing to undo it. And a
// client that sends the batch header wrongly meant a batch: its save is not
// quietly made a post of its own.
TEST_P(History, SavesIntoAnUndoneBatchOrWithABrokenBatchHeaderWriteNothing)
{
    const std::string run = openBatch();
    ASSERT_TRUE(save(Save, std::string("&Save"), std::string("T"), run).ok);
    const Answer undone = undo(run);
    ASSERT_TRUE(undone.ok) << undone.message;
    const std::string undoBatch = undone.rows.at(0).at("IDLOTE");
    const std::size_t versions = history(Close).rows.size();
    const std::size_t batchesBefore = batches().rows.size();

    const auto refused = [&](const Answer& a, int code, const std::string& words) {
        EXPECT_FALSE(a.ok);
        EXPECT_EQ(a.code, code) << a.message;
        EXPECT_NE(a.message.find(words), std::string::npos) << a.message;
    };
    const std::string why = "O lote " + run + " foi desfeito pelo lote " + undoBatch + " e não recebe outras gravações";
    refused(save(Close, std::string("&Shut"), {}, run), -32000, why);
    // Redone (the undo undone), the batch is still finished.
    ASSERT_TRUE(undo(undoBatch).ok);
    refused(save(Close, std::string("&Shut"), {}, run), -32000, why);

    const std::string open = openBatch();
    refused(saveWithHeaders(Close, "&Shut", {""}), -32602, "X-Trd-Lote veio vazio");
    refused(saveWithHeaders(Close, "&Shut", {"  "}), -32602, "X-Trd-Lote veio vazio");
    refused(saveWithHeaders(Close, "&Shut", {open, open}), -32602, "X-Trd-Lote veio 2 vezes");
    refused(saveWithHeaders(Close, "&Shut", {open, "987654"}), -32602, "X-Trd-Lote veio 2 vezes");

    EXPECT_EQ(now(Close).dst, "&Close");
    EXPECT_EQ(history(Close).rows.size(), versions);
    // Only the redo's batch was added.
    EXPECT_EQ(batches().rows.size(), batchesBefore + 1);
    // The open batch still takes its save once the header is right.
    EXPECT_TRUE(saveWithHeaders(Close, "&Shut", {open}).ok);
}

TEST_P(History, PruningRemovesTheOldBatchesAndTheRestStillReadsWhole)
{
    server->setNow(46000);
    ASSERT_TRUE(save(Close, std::string("one")).ok);
    server->setNow(46050);
    ASSERT_TRUE(save(Close, std::string("two"), std::string("D")).ok);
    server->setNow(46100);
    ASSERT_TRUE(save(Close, std::string("three")).ok);

    // The seed's import (45000) and the first two posts are over 30 days old.
    const PruneCount removed = history::pruneHistory(server->context().writer(), 30, 46100, 2);
    EXPECT_EQ(removed.batches, 4); // ENG and ESP imports, two posts
    EXPECT_EQ(removed.versions, 6);
    const Answer h = history(Close);
    ASSERT_EQ(h.rows.size(), 1u);
    EXPECT_EQ(h.rows[0].at("STVALORANT"), "two");
    EXPECT_EQ(h.rows[0].at("IDSITANT"), "D");
    EXPECT_EQ(h.rows[0].at("STVALORPROP"), "three");
    EXPECT_EQ(batches().rows.size(), 1u);
    EXPECT_TRUE(history(Save).rows.empty());
    // Saves go on, and chain onto what is left.
    ASSERT_TRUE(save(Close, std::string("four")).ok);
    EXPECT_EQ(history(Close).rows.size(), 2u);
}

// Clients hold batch ids to undo them and ids order versions in time: a
// prune that removed the newest batches (--prune-history 0, or a batch with
// no versions yet) leaves their ids given for good.
TEST_P(History, IdsThatAPruneOfTheNewestRemovedAreNeverGivenAgain)
{
    server->setNow(46000);
    ASSERT_TRUE(save(Close, std::string("one")).ok);
    ASSERT_TRUE(save(Close, std::string("two")).ok);
    const long long newestVersion = std::stoll(history(Close, 1).rows.at(0).at("IDVERSAO"));
    const long long newestBatch = std::stoll(openBatch()); // opened, no version in it yet

    const PruneCount removed = history::pruneHistory(server->context().writer(), 0, 46100);
    EXPECT_EQ(removed.batches, 5); // the two imports, two posts, the open batch
    EXPECT_EQ(removed.versions, 6);
    EXPECT_TRUE(history(Close).rows.empty());

    ASSERT_TRUE(save(Close, std::string("three")).ok);
    const Answer h = history(Close);
    ASSERT_EQ(h.rows.size(), 1u);
    EXPECT_GT(std::stoll(h.rows[0].at("IDVERSAO")), newestVersion);
    EXPECT_GT(std::stoll(h.rows[0].at("IDLOTE")), newestBatch);
    EXPECT_EQ(h.rows[0].at("STVALORANT"), "two");
    EXPECT_GT(std::stoll(openBatch()), std::stoll(h.rows[0].at("IDLOTE")));
}

INSTANTIATE_TEST_SUITE_P(Backends, History, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendName);

// ---------------------------------------------------------------- schema upgrade (SQLite)

namespace {

// A database as servers before the history made it (schema 1).
void makeSchemaOne(const std::string& path, int version)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    const std::string sql =
        "CREATE TABLE IDIOMA (IDIDIOMA TEXT NOT NULL PRIMARY KEY, DSIDIOMA TEXT NOT NULL DEFAULT '', "
        "IDIPROP TEXT NOT NULL DEFAULT '');"
        "CREATE TABLE TRADUCAO (IDTRADUCAO INTEGER PRIMARY KEY, IDIDIOMA TEXT NOT NULL REFERENCES IDIOMA(IDIDIOMA), "
        "CDPROGTRAD TEXT NOT NULL, NMCOMPONENTE TEXT NOT NULL, STAGRVALPROP TEXT NOT NULL, STVALORPROP TEXT NOT NULL "
        "DEFAULT '', IDSITTRADUCAO TEXT NOT NULL CHECK (IDSITTRADUCAO IN ('T', 'D', 'N')), DTALTERACAO REAL NOT NULL);"
        "CREATE UNIQUE INDEX TRADUCAO_CHAVE ON TRADUCAO (IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP);"
        "INSERT INTO IDIOMA VALUES ('ENG', 'Inglês', 'POR');"
        "INSERT INTO TRADUCAO (IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, STVALORPROP, IDSITTRADUCAO, "
        "DTALTERACAO) VALUES ('ENG', 'TRD09300', 'sbtSalvar', '&Salvar', 'Velho', 'D', 45000);"
        "PRAGMA application_id = 1414677552; PRAGMA user_version = "
        + std::to_string(version) + ";";
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

int userVersion(const std::string& path)
{
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &st, nullptr);
    sqlite3_step(st);
    const int version = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return version;
}

// A database of schema 2 as its servers made it (ids by AUTOINCREMENT), with
// a history a prune has been through: the row sbtSalvar keeps its two
// versions, while the newest batch and version (3, dated earlier by a clock
// set back) were removed, so that sqlite_sequence stands above every id kept.
void makeSchemaTwo(const std::string& path)
{
    makeSchemaOne(path, 2);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    const char* const sql =
        "CREATE TABLE LOTE (IDLOTE INTEGER PRIMARY KEY AUTOINCREMENT, IDIDIOMA TEXT NOT NULL, TPLOTE TEXT NOT NULL, "
        "NMUSUARIO TEXT NOT NULL, NMMETODO TEXT, DTLOTE REAL NOT NULL, NRLINHAS INTEGER NOT NULL DEFAULT 0, "
        "IDVERSAOINI INTEGER, IDLOTEDESFEITO INTEGER);"
        "CREATE INDEX LOTE_DESFEITO ON LOTE (IDLOTEDESFEITO) WHERE IDLOTEDESFEITO IS NOT NULL;"
        "CREATE TABLE VERSAO (IDVERSAO INTEGER PRIMARY KEY AUTOINCREMENT, IDLOTE INTEGER NOT NULL, "
        "IDTRADUCAO INTEGER NOT NULL, IDVERSAOANT INTEGER, TPALTERACAO INTEGER NOT NULL, IDSITANT TEXT, "
        "IDSITTRADUCAO TEXT, STVALORANT TEXT, DTALTERACAO REAL);"
        "CREATE TABLE VERSAO_EXCLUSAO (IDVERSAO INTEGER PRIMARY KEY, IDIDIOMA TEXT NOT NULL, CDPROGTRAD TEXT NOT "
        "NULL, NMCOMPONENTE TEXT NOT NULL, STAGRVALPROP TEXT NOT NULL);"
        "ALTER TABLE TRADUCAO ADD COLUMN IDULTVERSAO INTEGER;"
        "INSERT INTO TRADUCAO (IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, STVALORPROP, IDSITTRADUCAO, "
        "DTALTERACAO) VALUES ('ENG', 'TRD09300', 'sbtFechar', '&Fechar', 'Close', 'T', 45000);"
        "INSERT INTO LOTE (IDIDIOMA, TPLOTE, NMUSUARIO, DTLOTE, NRLINHAS, IDVERSAOINI) VALUES "
        "('ENG', 'E', 'ana', 45300.25, 1, 1), ('ENG', 'E', 'bia', 45400.5, 1, 2), ('ENG', 'E', 'carla', 44000, 1, 3);"
        "INSERT INTO VERSAO (IDLOTE, IDTRADUCAO, IDVERSAOANT, TPALTERACAO, IDSITANT, IDSITTRADUCAO, STVALORANT) VALUES "
        "(1, 1, NULL, 0, 'D', 'T', 'Velho'), (2, 1, 1, 0, 'T', 'T', 'Um'), (3, 2, NULL, 0, 'T', 'T', 'Close');"
        "UPDATE TRADUCAO SET STVALORPROP = 'Dois', IDSITTRADUCAO = 'T', DTALTERACAO = 45400.5, IDULTVERSAO = 2 "
        "WHERE IDTRADUCAO = 1;"
        "UPDATE TRADUCAO SET STVALORPROP = '&Close', DTALTERACAO = 44000, IDULTVERSAO = 3 WHERE IDTRADUCAO = 2;"
        "DELETE FROM VERSAO WHERE IDLOTE = 3; DELETE FROM LOTE WHERE IDLOTE = 3;";
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

// Every value of a query's rows, one line a row.
std::string dump(const std::string& path, const char* query)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    std::string out;
    if (sqlite3_prepare_v2(db, query, -1, &st, nullptr) != SQLITE_OK)
        out = std::string("error: ") + sqlite3_errmsg(db);
    while (st && sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < sqlite3_column_count(st); ++c) {
            const unsigned char* value = sqlite3_column_text(st, c);
            out += value ? reinterpret_cast<const char*>(value) : "NULL";
            out += '|';
        }
        out += '\n';
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

} // namespace

TEST(HistoryUpgrade, ADatabaseOfSchemaOneIsUpgradedAtStartAndANewerOneRefused)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("v1.db")).toStdString();
    makeSchemaOne(path, 1);

    // Served read-only it stays as it is, and says why there is no history.
    {
        SqliteOpenOptions readOnly;
        readOnly.readOnly = true;
        ServerContext reader(std::make_unique<SqliteStorage>(path, readOnly));
        const std::string h =
            reader.handler().handle(request("GetHistorico", "\"ENG\",\"TRD09300\",\"sbtSalvar\",\"&Salvar\",0")).body;
        EXPECT_NE(h.find("-32603"), std::string::npos) << h;
        EXPECT_NE(h.find("ainda não guarda o histórico"), std::string::npos) << h;
        EXPECT_EQ(userVersion(path), 1);
    }
    {
        InProcessServer server(std::make_unique<SqliteStorage>(path));
        EXPECT_EQ(userVersion(path), 3);
        const TRow old{"ENG", "TRD09300", "sbtSalvar", "&Salvar", "Velho", "D"};
        ASSERT_TRUE(server.call("SetDestino", json(DeltaBuilder().modify(old, std::string("Novo")).xml())).ok);
        const Answer h = server.call("GetHistorico", "\"ENG\",\"TRD09300\",\"sbtSalvar\",\"&Salvar\",0");
        ASSERT_EQ(h.rows.size(), 1u); // a row older than the history starts with its first change
        EXPECT_EQ(h.rows[0].at("STVALORANT"), "Velho");
        EXPECT_EQ(h.rows[0].at("STVALORPROP"), "Novo");
    }

    const std::string newer = dir.filePath(QStringLiteral("v4.db")).toStdString();
    makeSchemaOne(newer, 4);
    try {
        SqliteStorage refused(newer);
        ADD_FAILURE() << "a newer schema was opened";
    } catch (const StorageError& e) {
        EXPECT_NE(std::string(e.what()).find("esquema mais novo (versão 4)"), std::string::npos) << e.what();
    }
    EXPECT_EQ(userVersion(newer), 4);
}

// A database of schema 2, whose ids AUTOINCREMENT gave, is converted once at
// its first start: every batch and version carried over as it was, and no id
// given again, neither those a prune of the newest removed before the
// conversion nor those removed after it, across a restart.
TEST(HistoryUpgrade, ADatabaseOfSchemaTwoKeepsEveryVersionAndNeverGivesAPrunedIdAgain)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("v2.db")).toStdString();
    makeSchemaTwo(path);
    const char* const batchRows = "SELECT * FROM LOTE ORDER BY IDLOTE";
    const char* const versionRows = "SELECT * FROM VERSAO ORDER BY IDVERSAO";
    const std::string batchesBefore = dump(path, batchRows), versionsBefore = dump(path, versionRows);
    ASSERT_EQ(std::count(versionsBefore.begin(), versionsBefore.end(), '\n'), 2) << versionsBefore;
    const std::string historyCall = "\"ENG\",\"TRD09300\",\"sbtSalvar\",\"&Salvar\",0";

    // Served read-only it is read as it is, history included.
    {
        SqliteOpenOptions readOnly;
        readOnly.readOnly = true;
        ServerContext reader(std::make_unique<SqliteStorage>(path, readOnly));
        const std::string h = reader.handler().handle(request("GetHistorico", historyCall)).body;
        EXPECT_EQ(h.find("-32603"), std::string::npos) << h;
        EXPECT_NE(h.find("Velho"), std::string::npos) << h;
        EXPECT_NE(h.find("bia"), std::string::npos) << h;
        EXPECT_EQ(userVersion(path), 2);
    }
    std::int64_t firstNewVersion = 0, firstNewBatch = 0;
    {
        InProcessServer server(std::make_unique<SqliteStorage>(path));
        EXPECT_EQ(userVersion(path), 3);
        EXPECT_EQ(dump(path, batchRows), batchesBefore);
        EXPECT_EQ(dump(path, versionRows), versionsBefore);
        EXPECT_EQ(dump(path, "SELECT name FROM sqlite_schema WHERE sql LIKE '%AUTOINCREMENT%'"), "");
        EXPECT_EQ(dump(path, "SELECT name FROM sqlite_schema WHERE type = 'index' AND tbl_name = 'LOTE'"),
                  "LOTE_DESFEITO|\n");
        Answer h = server.call("GetHistorico", historyCall);
        ASSERT_EQ(h.rows.size(), 2u);
        EXPECT_EQ(h.rows[0].at("STVALORANT"), "Um");
        EXPECT_EQ(h.rows[0].at("STVALORPROP"), "Dois");
        EXPECT_EQ(h.rows[0].at("NMUSUARIO"), "bia");
        EXPECT_EQ(h.rows[1].at("STVALORANT"), "Velho");
        EXPECT_EQ(h.rows[1].at("STVALORPROP"), "Um");

        const TRow row{"ENG", "TRD09300", "sbtSalvar", "&Salvar", "Dois", "T"};
        ASSERT_TRUE(server.call("SetDestino", json(DeltaBuilder().modify(row, std::string("Três")).xml())).ok);
        h = server.call("GetHistorico", historyCall);
        ASSERT_EQ(h.rows.size(), 3u);
        firstNewVersion = std::stoll(h.rows[0].at("IDVERSAO"));
        firstNewBatch = std::stoll(h.rows[0].at("IDLOTE"));
        EXPECT_GT(firstNewVersion, 3); // 3 was given before the prune
        EXPECT_GT(firstNewBatch, 3);
        EXPECT_EQ(h.rows[0].at("STVALORANT"), "Dois");
        EXPECT_EQ(std::stoll(h.rows[1].at("IDVERSAO")), 2);

        // Now the whole history goes, the newest included.
        const PruneCount removed = history::pruneHistory(server.context().writer(), 0, 47000);
        EXPECT_EQ(removed.batches, 3);
        EXPECT_EQ(removed.versions, 3);
    }
    {
        InProcessServer server(std::make_unique<SqliteStorage>(path));
        const TRow row{"ENG", "TRD09300", "sbtSalvar", "&Salvar", "Três", "T"};
        ASSERT_TRUE(server.call("SetDestino", json(DeltaBuilder().modify(row, std::string("Quatro")).xml())).ok);
        const Answer h = server.call("GetHistorico", historyCall);
        ASSERT_EQ(h.rows.size(), 1u);
        EXPECT_GT(std::stoll(h.rows[0].at("IDVERSAO")), firstNewVersion);
        EXPECT_GT(std::stoll(h.rows[0].at("IDLOTE")), firstNewBatch);
        EXPECT_EQ(h.rows[0].at("STVALORANT"), "Três");
    }
}

// The SQLite writer counts its ids on in memory from one transaction to the
// next; a batch and a version another connection wrote in between (by hand
// here, as a tool on the same file would) are not given their ids again.
TEST(HistoryIds, IdsAnotherConnectionGaveBetweenTwoSavesAreNotGivenAgain)
{
    InProcessServer server;
    server.seed({Save, Close});
    ASSERT_TRUE(server.call("SetDestino", json(DeltaBuilder().modify(Close, std::string("one")).xml())).ok);
    std::int64_t otherBatch = 0, otherVersion = 0;
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(server.path().c_str(), &db), SQLITE_OK);
        sqlite3_busy_timeout(db, 5000);
        ASSERT_EQ(sqlite3_exec(db,
                               "INSERT INTO LOTE (IDIDIOMA, TPLOTE, NMUSUARIO, DTLOTE) VALUES ('ESP', 'E', 'outro', "
                               "46000); INSERT INTO VERSAO (IDLOTE, IDTRADUCAO, TPALTERACAO) VALUES "
                               "(last_insert_rowid(), 0, 0)",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK)
            << sqlite3_errmsg(db);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT MAX(IDLOTE), (SELECT MAX(IDVERSAO) FROM VERSAO) FROM LOTE", -1, &st, nullptr);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        otherBatch = sqlite3_column_int64(st, 0);
        otherVersion = sqlite3_column_int64(st, 1);
        sqlite3_finalize(st);
        sqlite3_close(db);
    }
    TRow saved = Close;
    saved.dst = "one";
    const Answer a = server.call("SetDestino", json(DeltaBuilder().modify(saved, std::string("two")).xml()));
    ASSERT_TRUE(a.ok) << a.message;
    const Answer h = server.call("GetHistorico", "\"ENG\",\"TRD09300\",\"sbtFechar\",\"&Fechar\",1");
    ASSERT_EQ(h.rows.size(), 1u);
    EXPECT_GT(std::stoll(h.rows[0].at("IDVERSAO")), otherVersion);
    EXPECT_GT(std::stoll(h.rows[0].at("IDLOTE")), otherBatch);
    EXPECT_EQ(h.rows[0].at("STVALORANT"), "one");
}

#ifdef TRD_HAVE_POSTGRESQL
TEST(HistoryUpgrade, APostgresDatabaseOfSchemaOneIsUpgradedAndANewerOneLeftAsItIs)
{
    if (!trd::test::postgresCluster().ready())
        GTEST_SKIP() << "no PostgreSQL server binaries (initdb, pg_ctl) to run a test cluster";
    // A database as servers before the history made it: no version table.
    const std::string old = trd::test::postgresCluster().freshDatabase();
    {
        PostgresConnection db(old);
        db.exec(
            "CREATE TABLE IDIOMA (IDIDIOMA VARCHAR(3) COLLATE \"C\" NOT NULL PRIMARY KEY, DSIDIOMA VARCHAR(30) NOT "
            "NULL DEFAULT '', IDIPROP VARCHAR(3) NOT NULL DEFAULT '');"
            "CREATE TABLE TRADUCAO (IDTRADUCAO BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY, IDIDIOMA VARCHAR(3) "
            "COLLATE \"C\" NOT NULL REFERENCES IDIOMA (IDIDIOMA), CDPROGTRAD VARCHAR(20) COLLATE \"C\" NOT NULL, "
            "NMCOMPONENTE VARCHAR(50) COLLATE \"C\" NOT NULL, STAGRVALPROP VARCHAR(4000) COLLATE \"C\" NOT NULL, "
            "STVALORPROP VARCHAR(4000) COLLATE \"C\" NOT NULL DEFAULT '', IDSITTRADUCAO CHAR(1) NOT NULL, "
            "DTALTERACAO DOUBLE PRECISION NOT NULL);"
            "INSERT INTO IDIOMA VALUES ('ENG', 'Inglês', 'POR');"
            "INSERT INTO TRADUCAO (IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, STVALORPROP, IDSITTRADUCAO, "
            "DTALTERACAO) VALUES ('ENG', 'TRD09300', 'sbtSalvar', '&Salvar', 'Velho', 'D', 45000)");
    }
    {
        InProcessServer server(std::make_unique<PostgresStorage>(old));
        const TRow row{"ENG", "TRD09300", "sbtSalvar", "&Salvar", "Velho", "D"};
        ASSERT_TRUE(server.call("SetDestino", json(DeltaBuilder().modify(row, std::string("Novo")).xml())).ok);
        const Answer h = server.call("GetHistorico", "\"ENG\",\"TRD09300\",\"sbtSalvar\",\"&Salvar\",0");
        ASSERT_EQ(h.rows.size(), 1u);
        EXPECT_EQ(h.rows[0].at("STVALORANT"), "Velho");
        EXPECT_EQ(h.rows[0].at("STVALORPROP"), "Novo");
    }
    PostgresConnection db(old);
    long long version = 0;
    db.run("SELECT MAX(VERSAO) FROM TRD_ESQUEMA", PostgresConnection::Params{},
           [&](const PostgresConnection::Row& r) { version = r.integer(0); });
    EXPECT_EQ(version, 2);

    // A database of a later server is refused before anything is touched.
    const std::string newer = trd::test::postgresCluster().freshDatabase();
    PostgresConnection(newer).exec(
        "CREATE TABLE TRD_ESQUEMA (VERSAO INTEGER NOT NULL); INSERT INTO TRD_ESQUEMA VALUES (3)");
    try {
        PostgresStorage refused(newer);
        ADD_FAILURE() << "a newer schema was opened";
    } catch (const StorageError& e) {
        EXPECT_NE(std::string(e.what()).find("esquema mais novo (versão 3)"), std::string::npos) << e.what();
    }
    bool created = true;
    PostgresConnection(newer).run("SELECT to_regclass('traducao') IS NOT NULL", PostgresConnection::Params{},
                                  [&](const PostgresConnection::Row& r) { created = r.text(0) == "t"; });
    EXPECT_FALSE(created);
}
#endif
