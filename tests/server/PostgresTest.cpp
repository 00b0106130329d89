// The PostgreSQL back end gives the same answers as SQLite: a throwaway
// cluster (tests/support/PostgresCluster.h) and a fresh database per test.
#include "PostgresCluster.h"
#include "PostgresStorage.h"
#include "ServerTestKit.h"
#include "Utf8Text.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace trd::server;
using namespace trd::server::test;

namespace {

class Postgres : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!trd::test::postgresCluster().ready())
            GTEST_SKIP() << "no PostgreSQL server binaries (initdb, pg_ctl) to run a test cluster";
        const std::string conninfo = trd::test::postgresCluster().freshDatabase();
        ASSERT_FALSE(conninfo.empty());
        server = std::make_unique<InProcessServer>(std::make_unique<PostgresStorage>(conninfo));
        server->seed({
            {"ENG", "TRD09300", "lblCodTela", "Código da Tela", "Screen Code", "T"},
            {"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Save", "D"},
            {"ENG", "TRD09301", "lblNome", "Município", "município", "N"},
            {"ENG", "CAD01001", "msgPadrao.Gravado", "Registro gravado.\nOutro?", "Record saved.\nAnother?", "T"},
            {"ENG", "X", "long", "Longo", std::string(600, 'a'), "T"},
        });
    }
    std::vector<std::string> filter(const std::string& fragment)
    {
        std::vector<std::string> out;
        for (const auto& r :
             server->call("GetFiltroDest", "\"T\",\"D\",\"N\"," + json(fragment) + ",\"ENG\",0,0,\"\"").rows)
            out.push_back(r.at("NMCOMPONENTE"));
        return out;
    }
    std::unique_ptr<InProcessServer> server;
};

using Strings = std::vector<std::string>;

} // namespace

TEST_F(Postgres, AnswersInTheSameOrderWithTheSameDateRules)
{
    EXPECT_EQ(server->call("GetIdiTrad", "").rows.size(), 2u);
    Strings order;
    for (const auto& r : allRows(*server, "ENG"))
        order.push_back(r.at("NMCOMPONENTE"));
    EXPECT_EQ(order, (Strings{"msgPadrao.Gravado", "lblCodTela", "sbtSalvar", "lblNome", "long"}));
    server->seedAt({"ENG", "P", "c", "late", "x", "T"}, 46000.9999);
    server->seedAt({"ENG", "P", "c", "next", "x", "T"}, 46001);
    // The seed rows (46000.5) and "late" are on day 46000; "next" is not.
    EXPECT_EQ(server->call("GetDestino", "\"T\",\"X\",\"X\",\"ENG\"," + date(46000.5) + "," + date(46000) + ",\"N\"")
                  .rows.size(),
              4u);
    EXPECT_EQ(server->call("GetDestino", "\"T\",\"X\",\"X\",\"ENG\"," + date(46001) + ",0,\"\"").rows.size(), 1u);
    EXPECT_EQ(server->call("GetCalcTrad", "\"ENG\",0,0,\"T\",\"T\"").rows.at(0).at("STVALORPROP"), "5");
}

TEST_F(Postgres, FoldsAndMatchesLikeTheSqliteBackEnd)
{
    EXPECT_EQ(filter("AND UPPER(STVALORPROP) LIKE '%SAV%'"), (Strings{"msgPadrao.Gravado", "sbtSalvar"}));
    EXPECT_EQ(filter("AND UPPER(STVALORPROP) = 'MUNICÍPIO'"), Strings{"lblNome"});
    EXPECT_TRUE(filter("AND STAGRVALPROP LIKE 'MUNIC%'").empty());
    EXPECT_EQ(filter(" AND UPPER(NMCOMPONENTE) LIKE 'LBLNOM_'"), Strings{"lblNome"});
    EXPECT_TRUE(filter(" AND CDPROGTRAD LIKE 'TRD0930\\%'").empty()); // no escape character
    EXPECT_TRUE(filter("AND UPPER(STVALORPROP) = '%SAVE%'").empty());
}

TEST_F(Postgres, SavesWithTheSameOptimisticCheck)
{
    const TRow save{"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Save", "D"};
    ASSERT_TRUE(
        server->call("SetDestino", json(DeltaBuilder().modify(save, std::string("&Save it"), std::string("T")).xml()))
            .ok);
    const Answer stale = server->call("SetDestino", json(DeltaBuilder().modify(save, std::string("x")).xml()));
    EXPECT_EQ(stale.message.rfind("O registro foi alterado por outro usuário", 0), 0u) << stale.message;
    const Answer dup =
        server->call("SetDestino", json(DeltaBuilder().insert({"ENG", "X", "long", "Longo", "b", "N"}).xml()));
    EXPECT_EQ(dup.message.rfind("Já existe uma tradução", 0), 0u) << dup.message;
    const Answer lang = server->call("SetDestino", json(DeltaBuilder().insert({"XYZ", "X", "c", "s", "d", "N"}).xml()));
    EXPECT_EQ(lang.message, "Idioma não cadastrado: XYZ.");
    // A refused row undoes the whole delta.
    const TRow code{"ENG", "TRD09300", "lblCodTela", "Código da Tela", "Screen Code", "T"};
    EXPECT_FALSE(server->call("SetDestino", json(DeltaBuilder().remove(code).modify(save, std::string("y")).xml())).ok);
    EXPECT_EQ(allRows(*server, "ENG").size(), 5u);
    ASSERT_TRUE(server->call("SetDestino", json(DeltaBuilder().remove(code).xml())).ok);
    EXPECT_EQ(allRows(*server, "ENG").size(), 4u);
}

TEST_F(Postgres, ListedRowsAndInformationRows)
{
    const std::string file = listedRowsPacket(
        {{"TRD09300", "sbtSalvar", std::string("&Salvar"), "E", {}}, {"TRD09301", "lblNome", {}, "N", {}}});
    EXPECT_EQ(server->call("GetCDSFilter", "\"ENG\"," + json(file) + ",\"3\"").rows.size(), 2u);
    const Answer info = server->call("GetInfoTrad", "\"ENG\"");
    std::size_t pieces = 0;
    for (const auto& r : info.rows)
        pieces += r.at("STVALORPROP") == std::string(250, 'a') || r.at("STVALORPROP") == std::string(100, 'a');
    EXPECT_EQ(pieces, 3u);

    // The dated form reads its own two-column query: the same rows in some
    // order within the day, none outside it.
    auto sorted = [](const Answer& a) {
        std::vector<std::string> rows;
        for (const auto& r : a.rows)
            rows.push_back(r.at("IDSITTRADUCAO") + '|' + r.at("STVALORPROP"));
        std::sort(rows.begin(), rows.end());
        return rows;
    };
    const Answer dated = server->call("GetInfoTrad", "\"ENG\"," + date(46000) + "," + date(46000.2));
    EXPECT_EQ(sorted(dated), sorted(info));
    EXPECT_TRUE(server->call("GetInfoTrad", "\"ENG\"," + date(46001) + "," + date(46002)).rows.empty());
    EXPECT_EQ(server->call("GetCalcTrad", "\"ENG\"," + date(46000) + "," + date(46000) + ",\"T\",\"\"")
                  .rows.at(0)
                  .at("STVALORPROP"),
              "3");
}
