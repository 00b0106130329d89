// The real trd-server process: demo content, health, injection attempts,
// oversize bodies, two clients on one row, crash durability, clean exit.
#include "ServerTestKit.h"
#include "TrdServerProcess.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace trd::server::test;
using trd::test::TrdServerProcess;

namespace {

class Client {
public:
    explicit Client(const TrdServerProcess& server) : m_http(server.host().toStdString(), server.port())
    {
        m_http.set_tcp_nodelay(true);
        m_http.set_read_timeout(60, 0);
    }
    httplib::Result post(const std::string& body)
    {
        return m_http.Post("/Trd09300.rdmTraducao", body, "application/json");
    }
    Answer call(const std::string& method, const std::string& params)
    {
        auto res = post(request(method, params));
        if (!res)
            return Answer{false, -1, "transport failure", {}, {}};
        return parseAnswer(res->body);
    }
    httplib::Client& http() { return m_http; }

private:
    httplib::Client m_http;
};

std::size_t rowCount(Client& client, const std::string& lang)
{
    return client.call("GetDestino", "\"T\",\"D\",\"N\"," + json(lang) + ",0,0,\"\"").rows.size();
}

QString writeSeed(QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("seed.tsv"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("# idiomas e traduções de teste\n"
            "L\tENG\tInglês\tPOR\n"
            "R\tENG\tTRD09300\tsbtSalvar\t&Salvar\t&Salvar\tN\t2025-03-01 10:00:00\n"
            "R\tENG\tTRD09300\tmsgPadrao.Gravado\tGravado.\\nOutro?\tSaved.\\nAnother?\tT\t45000\n");
    return path;
}

TrdServerProcess::Options demoOptions()
{
    TrdServerProcess::Options o;
    o.demo = true;
    return o;
}

TrdServerProcess::Options seedOptions(const QString& tsv)
{
    TrdServerProcess::Options o;
    o.importTsv = tsv;
    return o;
}

TrdServerProcess::Options argsOptions(const QStringList& args)
{
    TrdServerProcess::Options o;
    o.extraArgs = args;
    return o;
}

} // namespace

TEST(ServerProcess, DemoDatabaseServesEveryMethod)
{
    TrdServerProcess server(demoOptions());
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    Client client(server);
    auto health = client.http().Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200);

    const Answer langs = client.call("GetIdiTrad", "");
    ASSERT_TRUE(langs.ok) << langs.message;
    ASSERT_GE(langs.rows.size(), 3u);
    EXPECT_EQ(langs.rows[1].at("IDIDIOMA"), "ENG");
    EXPECT_EQ(langs.rows[1].at("DSIDIOMA"), "Inglês");

    const Answer all = client.call("GetDestino", "\"T\",\"D\",\"N\",\"ENG\",{\"date\":0},{\"date\":0},\"\"");
    ASSERT_TRUE(all.ok) << all.message;
    EXPECT_GT(all.rows.size(), 1000u);
    bool accent = false, ampersand = false, lineBreak = false;
    std::map<std::string, int> statuses;
    for (const auto& r : all.rows) {
        accent |= r.at("STAGRVALPROP").find("ç") != std::string::npos;
        ampersand |= r.at("STAGRVALPROP").find('&') != std::string::npos;
        lineBreak |= r.at("STAGRVALPROP").find('\n') != std::string::npos;
        ++statuses[r.at("IDSITTRADUCAO")];
    }
    EXPECT_TRUE(accent && ampersand && lineBreak);
    EXPECT_EQ(statuses.size(), 3u);

    EXPECT_TRUE(client.call("GetFiltroDest", "\"T\",\"X\",\"N\",\" AND CDPROGTRAD = 'TRD09300'\",\"ENG\",0,0,\"\"").ok);
    EXPECT_TRUE(client
                    .call("GetCDSFilter",
                          "\"ENG\"," + json(listedRowsPacket({{"TRD09300", "sbtSalvar", {}, "N", {}}})) + ",\"3\"")
                    .ok);
    EXPECT_TRUE(client.call("GetInfoTrad", "\"ENG\",{\"date\":45000},{\"date\":47000}").ok);
    EXPECT_TRUE(client.call("GetInfoTrad", "\"ENG\"").ok);
    const Answer count = client.call("GetCalcTrad", "\"ENG\",0,0,\"T\",\"T\"");
    EXPECT_EQ(count.rows.at(0).at("STVALORPROP"), std::to_string(statuses["T"]));
    EXPECT_TRUE(client.call("GetCalcTrad", "\"ENG\"").ok);
    EXPECT_TRUE(client.call("GetCalcNtrad", "\"ENG\"").ok);
    EXPECT_TRUE(client.call("GetCalcDuv", "\"ENG\"").ok);

    // One log line per request, with the method and the time taken.
    const QByteArray log = server.log();
    EXPECT_TRUE(log.contains(" GetIdiTrad ")) << log.toStdString();
    EXPECT_TRUE(log.contains(" ms "));
}

TEST(ServerProcess, InjectionAttemptsAreRefusedAndTheTableStaysIntact)
{
    TrdServerProcess server(demoOptions());
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    Client client(server);
    const std::size_t before = rowCount(client, "ENG");
    const char* attempts[] = {
        " AND CDPROGTRAD = 'X'; DELETE FROM TRADUCAO",
        " AND CDPROGTRAD = 'X' -- ",
        " AND CDPROGTRAD = 'X' OR 1=1",
        " AND CDPROGTRAD = 'X",
        " AND CDPROGTRAD = (SELECT CDPROGTRAD FROM TRADUCAO LIMIT 1)",
        " AND 1=1; DROP TABLE TRADUCAO; --",
    };
    for (const char* fragment : attempts) {
        const Answer a =
            client.call("GetFiltroDest", std::string("\"T\",\"D\",\"N\",") + json(fragment) + ",\"ENG\",0,0,\"\"");
        EXPECT_FALSE(a.ok) << fragment;
        EXPECT_EQ(a.message.rfind("Filtro inválido", 0), 0u) << a.message;
    }
    // Quoted inside a literal, the same text is only a value to compare.
    const Answer quoted = client.call("GetFiltroDest",
                                      "\"T\",\"D\",\"N\"," + json(" AND CDPROGTRAD = 'X''; DELETE FROM TRADUCAO; --'")
                                          + ",\"ENG\",0,0,\"\"");
    EXPECT_TRUE(quoted.ok);
    EXPECT_TRUE(quoted.rows.empty());
    EXPECT_EQ(rowCount(client, "ENG"), before);
}

TEST(ServerProcess, OversizeBodyIsRefusedAndTheServerKeepsServing)
{
    TrdServerProcess server(argsOptions({QStringLiteral("--max-body"), QStringLiteral("1")}));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    {
        Client client(server);
        auto res = client.post(request("SetDestino", json(std::string(2 << 20, 'x'))));
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 413);
        const Answer a = parseAnswer(res->body);
        EXPECT_EQ(a.code, -32600);
        EXPECT_EQ(a.message, "Requisição grande demais: o limite é de 1 MiB.");
    }
    Client again(server);
    EXPECT_TRUE(again.call("GetIdiTrad", "").ok);
    auto garbage = again.post(std::string("\x00\xff{{{", 6));
    ASSERT_TRUE(garbage);
    EXPECT_EQ(parseAnswer(garbage->body).code, -32700);
    EXPECT_TRUE(again.call("GetIdiTrad", "").ok);
}

TEST(ServerProcess, TwoClientsOnOneRowTheSecondIsRefusedAndNothingIsLost)
{
    QTemporaryDir dir;
    TrdServerProcess server(seedOptions(writeSeed(dir)));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    Client first(server), second(server);
    const TRow loaded{"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Salvar", "N"};
    ASSERT_TRUE(
        first.call("SetDestino", json(DeltaBuilder().modify(loaded, std::string("&Save"), std::string("T")).xml())).ok);
    const Answer refused = second.call("SetDestino", json(DeltaBuilder().modify(loaded, std::string("&Keep")).xml()));
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.message.rfind("O registro foi alterado por outro usuário", 0), 0u) << refused.message;
    const auto rows =
        second.call("GetFiltroDest", "\"T\",\"D\",\"N\",\" AND NMCOMPONENTE = 'sbtSalvar'\",\"ENG\",0,0,\"\"").rows;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at("STVALORPROP"), "&Save");
    EXPECT_EQ(rows[0].at("IDSITTRADUCAO"), "T");
}

TEST(ServerProcess, AnAcknowledgedSaveSurvivesSigkill)
{
    QTemporaryDir dir;
    TrdServerProcess server(seedOptions(writeSeed(dir)));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    TRow row{"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Salvar", "N"};
    {
        Client client(server);
        for (int i = 0; i < 20; ++i) {
            const std::string text = "&Save " + std::to_string(i);
            const Answer a = client.call("SetDestino", json(DeltaBuilder().modify(row, text, std::string("T")).xml()));
            ASSERT_TRUE(a.ok) << a.message;
            row.dst = text;
            row.status = "T";
        }
    }
    server.kill9();
    ASSERT_TRUE(server.restart()) << server.errorString().toStdString();
    Client client(server);
    const auto rows =
        client.call("GetFiltroDest", "\"T\",\"D\",\"N\",\" AND NMCOMPONENTE = 'sbtSalvar'\",\"ENG\",0,0,\"\"").rows;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at("STVALORPROP"), "&Save 19");
    // The imported change dates were kept: the message row is the only one of day 45000.
    EXPECT_EQ(
        client.call("GetDestino", "\"T\",\"D\",\"N\",\"ENG\",{\"date\":45000},{\"date\":45000},\"N\"").rows.size(), 1u);
}

TEST(ServerProcess, SigtermEndsTheServerCleanly)
{
    TrdServerProcess server;
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    EXPECT_TRUE(server.terminate());
    EXPECT_TRUE(server.restart()); // the database is still usable
}
