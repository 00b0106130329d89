// The glossary kept by the server, on SQLite and on PostgreSQL alike: terms
// added, read, changed and deleted through the methods, every change in the
// history with who and when, and what is refused (a second term of the same
// words and scope, a term changed since it was read, an unknown term or
// language, a blank term); a database from before the glossary served
// read-only.
#include "PostgresCluster.h"
#include "PostgresStorage.h"
#include "ServerTestKit.h"
#include "SqliteStorage.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sqlite3.h>

using namespace trd::server;
using namespace trd::server::test;

namespace {

class Glossario : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        if (GetParam()) {
            if (!trd::test::postgresCluster().ready())
                GTEST_SKIP() << "no PostgreSQL server binaries (initdb, pg_ctl) to run a test cluster";
            server = std::make_unique<InProcessServer>(
                std::make_unique<PostgresStorage>(trd::test::postgresCluster().freshDatabase()));
        } else {
            server = std::make_unique<InProcessServer>();
        }
        server->seed({{"ENG", "TRD09300", "lblPedido", "Pedido", "Order", "T"}});
    }
    Answer add(const std::string& source, const std::string& preferred, const std::string& program = "")
    {
        return server->call("AddTermo",
                            "\"ENG\"," + json(source) + "," + json(preferred) + ",\"Request\",\"N\","
                                + json("nota de " + source) + "," + json(program));
    }
    std::unique_ptr<InProcessServer> server;
};

} // namespace

TEST_P(Glossario, TermsAreKeptChangedAndDeletedWithTheirHistory)
{
    const Answer added = add("Nota  fiscal", "Invoice\n\n  Tax   invoice \r\n");
    ASSERT_TRUE(added.ok) << added.message;
    ASSERT_EQ(added.rows.size(), 1u);
    const std::string id = added.rows[0].at("IDTERMO");
    // Blanks collapsed, one translation a line, empty lines dropped.
    EXPECT_EQ(added.rows[0].at("DSTERMO"), "Nota fiscal");
    EXPECT_EQ(added.rows[0].at("DSPREFERIDAS"), "Invoice\nTax invoice");
    EXPECT_EQ(added.rows[0].at("NMUSUARIO"), "local");
    ASSERT_TRUE(add("Cliente", "Customer").ok);

    // One term per words and scope, case and blanks aside; another scope is another term.
    const Answer twice = add("NOTA FISCAL", "Bill");
    EXPECT_FALSE(twice.ok);
    EXPECT_EQ(twice.message, "O glossário do idioma ENG já tem o termo \"NOTA FISCAL\" para todas as telas.");
    EXPECT_TRUE(add("Nota fiscal", "Bill", "FIN001").ok);

    Answer all = server->call("GetTermos", "\"ENG\"");
    ASSERT_TRUE(all.ok) << all.message;
    ASSERT_EQ(all.rows.size(), 3u);
    EXPECT_EQ(all.rows[0].at("DSTERMO"), "Cliente");
    EXPECT_EQ(all.rows[1].at("CDPROGTRAD"), "");
    EXPECT_EQ(all.rows[2].at("CDPROGTRAD"), "FIN001");
    EXPECT_TRUE(server->call("GetTermos", "\"ESP\"").rows.empty());

    // A change made on what was read goes through; one made on an older reading is refused.
    const std::string seen = all.rows[1].at("DTALTERACAO");
    server->setNow(46001.25);
    const Answer changed = server->call("AlteraTermo",
                                        "\"ENG\"," + id
                                            + ",\"Nota fiscal\",\"Invoice\",\"Bill\",\"N\","
                                              "\"só NF-e\",\"\","
                                            + date(46000.5));
    ASSERT_TRUE(changed.ok) << changed.message << " (read " << seen << ")";
    EXPECT_EQ(changed.rows[0].at("DSPROIBIDAS"), "Bill");
    const Answer stale =
        server->call("AlteraTermo", "\"ENG\"," + id + ",\"Nota fiscal\",\"X\",\"\",\"N\",\"\",\"\"," + date(46000.5));
    EXPECT_FALSE(stale.ok);
    EXPECT_NE(stale.message.find("foi alterado por local depois de lido"), std::string::npos) << stale.message;
    EXPECT_EQ(server->call("GetTermo", "\"ENG\"," + id).rows.at(0).at("DSPREFERIDAS"), "Invoice");

    server->setNow(46002);
    ASSERT_TRUE(server->call("ExcluiTermo", "\"ENG\"," + id).ok);
    const Answer gone = server->call("GetTermo", "\"ENG\"," + id);
    EXPECT_FALSE(gone.ok);
    EXPECT_NE(gone.message.find("não existe no glossário do idioma ENG"), std::string::npos) << gone.message;
    EXPECT_FALSE(server->call("ExcluiTermo", "\"ENG\"," + id).ok);
    EXPECT_EQ(server->call("GetTermos", "\"ENG\"").rows.size(), 2u);

    // The history outlives the term: inserted, altered, excluded, in order, with the values and dates.
    const Answer history = server->call("GetHistoricoTermos", "\"ENG\"," + id);
    ASSERT_TRUE(history.ok) << history.message;
    ASSERT_EQ(history.rows.size(), 3u);
    EXPECT_EQ(history.rows[0].at("TPALTERACAO"), "I");
    EXPECT_EQ(history.rows[0].at("DSPREFERIDAS"), "Invoice\nTax invoice");
    EXPECT_EQ(history.rows[1].at("TPALTERACAO"), "A");
    EXPECT_EQ(history.rows[1].at("DSNOTA"), "só NF-e");
    EXPECT_EQ(history.rows[2].at("TPALTERACAO"), "E");
    EXPECT_EQ(history.rows[2].at("DSPROIBIDAS"), "Bill");
    EXPECT_LT(std::stod(history.rows[0].at("IDVERSAOTERMO")), std::stod(history.rows[2].at("IDVERSAOTERMO")));
    EXPECT_EQ(server->call("GetHistoricoTermos", "\"ENG\"").rows.size(), 5u);
}

TEST_P(Glossario, BadTermsAreRefusedAndNothingIsWritten)
{
    const std::string tail = ",\"Order\",\"\",\"N\",\"\",\"\"";
    struct Case {
        std::string params;
        const char* expected;
    };
    const Case cases[] = {
        {"\"ENG\",\"   \"" + tail, "O termo não pode ficar em branco."},
        {"\"ENG\",\"Pedido\\nCliente\"" + tail, "O termo é uma linha só"},
        {"\"XYZ\",\"Pedido\"" + tail, "Idioma não cadastrado: XYZ."},
        {"\"ENG\",\"Pedido\",\"Order\",\"\",\"T\",\"\",\"\"", "não traduzir"},
        {"\"ENG\"," + json(std::string(201, 'a')) + tail, "termo"},
        {"\"ENG\",\"Pedido\",\"Order\"", "AddTermo"},
    };
    for (const Case& c : cases) {
        const Answer a = server->call("AddTermo", c.params);
        EXPECT_FALSE(a.ok) << c.params;
        EXPECT_NE(a.message.find(c.expected), std::string::npos) << a.message;
    }
    EXPECT_TRUE(server->call("GetTermos", "\"ENG\"").rows.empty());
    EXPECT_TRUE(server->call("GetHistoricoTermos", "\"ENG\"").rows.empty());
    EXPECT_FALSE(server->call("AlteraTermo", "\"ENG\",77,\"Pedido\"" + tail).ok);
}

INSTANTIATE_TEST_SUITE_P(Backends, Glossario, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "PostgreSQL" : "SQLite"; });

// A database from before the glossary served read-only cannot be given the
// glossary's tables: it answers an empty glossary, as a language without terms,
// and its checks' report runs; a write is refused as every write there is.
TEST(GlossarioSomenteLeitura, ADatabaseWithoutTheTablesHasAnEmptyGlossary)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("antigo.db")).toStdString();
    {
        InProcessServer writer(std::make_unique<SqliteStorage>(path, SqliteStorage::creating()));
        writer.seed({{"ENG", "TRD09300", "lblPedido", "Pedido", "Order", "T"}});
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "DROP TABLE GLOSSARIO_HISTORICO; DROP TABLE GLOSSARIO;", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);

    SqliteOpenOptions readOnly;
    readOnly.readOnly = true;
    ServerContext reader(std::make_unique<SqliteStorage>(path, readOnly));
    const auto call = [&](const std::string& method, const std::string& params) {
        return parseAnswer(reader.handler().handle(request(method, params)).body);
    };
    const Answer terms = call("GetTermos", "\"ENG\"");
    EXPECT_TRUE(terms.ok) << terms.message;
    EXPECT_TRUE(terms.rows.empty());
    const Answer history = call("GetHistoricoTermos", "\"ENG\"");
    EXPECT_TRUE(history.ok) << history.message;
    EXPECT_TRUE(history.rows.empty());
    const Answer report = call("GetConsultaRel", "\"VerificacoesPorTela\",\"P_IDIDIOMA\",\"ENG\"");
    EXPECT_TRUE(report.ok) << report.message;
    const Answer added = call("AddTermo", "\"ENG\",\"Pedido\",\"Order\",\"\",\"N\",\"\",\"\"");
    EXPECT_FALSE(added.ok);
    EXPECT_NE(added.message.find("somente para consulta"), std::string::npos) << added.message;
}
