// The PostgreSQL back end gives the same answers as SQLite: a throwaway
// cluster (initdb, socket only) and a fresh database per test.
#include "PostgresStorage.h"
#include "ServerTestKit.h"
#include "Utf8Text.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

using namespace trd::server;
using namespace trd::server::test;

namespace {

// The server refuses to run as root, so as root the cluster belongs to nobody.
std::string asServerUser(const std::string& command)
{
    return geteuid() == 0 ? "runuser -u nobody -- " + command : command;
}

class PostgresCluster {
public:
    PostgresCluster()
    {
        if (!m_dir.isValid() || std::system("command -v initdb >/dev/null 2>&1 && command -v pg_ctl >/dev/null 2>&1") != 0)
            return;
        m_path = m_dir.path().toStdString();
        if (geteuid() == 0 && std::system(("chown nobody " + m_path).c_str()) != 0)
            return;
        const std::string log = m_path + "/pg.log";
        if (std::system(asServerUser("initdb -D " + m_path + "/data -E UTF8 --locale=C -A trust -U trd >" + log + " 2>&1").c_str()) != 0)
            return;
        // The server's own log must be a file the server user creates.
        m_ready = std::system(asServerUser("pg_ctl -D " + m_path + "/data -w -l " + m_path + "/data/server.log -o \"-k " + m_path
                                           + " -c listen_addresses='' -p 5439 -F\" start >>" + log + " 2>&1").c_str()) == 0;
    }
    ~PostgresCluster()
    {
        if (m_ready)
            std::system(asServerUser("pg_ctl -D " + m_path + "/data -m immediate stop >/dev/null 2>&1").c_str());
    }
    bool ready() const { return m_ready; }
    // A new empty database; returns its connection string.
    std::string freshDatabase()
    {
        const std::string name = "trd" + std::to_string(++m_databases);
        const std::string base = "host=" + m_path + " port=5439 user=trd dbname=";
        if (std::system(asServerUser("createdb -h " + m_path + " -p 5439 -U trd " + name).c_str()) != 0)
            return {};
        return base + name;
    }

private:
    QTemporaryDir m_dir;
    std::string m_path;
    bool m_ready = false;
    int m_databases = 0;
};

PostgresCluster& cluster()
{
    static PostgresCluster instance;
    return instance;
}

class Postgres : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!cluster().ready())
            GTEST_SKIP() << "no PostgreSQL server binaries (initdb, pg_ctl) to run a test cluster";
        const std::string conninfo = cluster().freshDatabase();
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
        for (const auto& r : server->call("GetFiltroDest", "\"T\",\"D\",\"N\"," + json(fragment) + ",\"ENG\",0,0,\"\"").rows)
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
    EXPECT_EQ(server->call("GetDestino", "\"T\",\"X\",\"X\",\"ENG\"," + date(46000.5) + "," + date(46000) + ",\"N\"").rows.size(), 4u);
    EXPECT_EQ(server->call("GetDestino", "\"T\",\"X\",\"X\",\"ENG\"," + date(46001) + ",0,\"\"").rows.size(), 1u);
    EXPECT_EQ(server->call("GetCalcTrad", "\"ENG\",0,0,\"T\",\"T\"").rows.at(0).at("STVALORPROP"), "5");
}

TEST_F(Postgres, FoldsAndMatchesLikeTheSqliteBackEnd)
{
    EXPECT_EQ(filter("AND UPPER(STVALORPROP) LIKE '%SAV%'"), (Strings{"msgPadrao.Gravado", "sbtSalvar"}));
    EXPECT_EQ(filter("AND UPPER(STVALORPROP) = 'MUNICÍPIO'"), Strings{"lblNome"});
    EXPECT_TRUE(filter("AND STAGRVALPROP LIKE 'MUNIC%'").empty());
    EXPECT_EQ(filter(" AND UPPER(NMCOMPONENTE) LIKE 'LBLNOM_'"), Strings{"lblNome"});
    EXPECT_TRUE(filter(" AND CDPROGTRAD LIKE 'TRD0930\\%'").empty());   // no escape character
    EXPECT_TRUE(filter("AND UPPER(STVALORPROP) = '%SAVE%'").empty());
}

TEST_F(Postgres, SavesWithTheSameOptimisticCheck)
{
    const TRow save{"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Save", "D"};
    ASSERT_TRUE(server->call("SetDestino", json(DeltaBuilder().modify(save, std::string("&Save it"), std::string("T")).xml())).ok);
    const Answer stale = server->call("SetDestino", json(DeltaBuilder().modify(save, std::string("x")).xml()));
    EXPECT_EQ(stale.message.rfind("O registro foi alterado por outro usuário", 0), 0u) << stale.message;
    const Answer dup = server->call("SetDestino", json(DeltaBuilder().insert({"ENG", "X", "long", "Longo", "b", "N"}).xml()));
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
    const std::string file = listedRowsPacket({{"TRD09300", "sbtSalvar", std::string("&Salvar"), "E", {}},
                                               {"TRD09301", "lblNome", {}, "N", {}}});
    EXPECT_EQ(server->call("GetCDSFilter", "\"ENG\"," + json(file) + ",\"3\"").rows.size(), 2u);
    const Answer info = server->call("GetInfoTrad", "\"ENG\"");
    std::size_t pieces = 0;
    for (const auto& r : info.rows)
        pieces += r.at("STVALORPROP") == std::string(250, 'a') || r.at("STVALORPROP") == std::string(100, 'a');
    EXPECT_EQ(pieces, 3u);
}
