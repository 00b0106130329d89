// Real trd-server processes on the throwaway PostgreSQL cluster: the database
// restarting under them, an outside lock on the table, two servers saving the
// same rows at once. Saves are counted as clients see them.
#include "PostgresCluster.h"
#include "ServerTestKit.h"
#include "TrdServerProcess.h"

#include <httplib.h>
#include <libpq-fe.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using namespace trd::server::test;
using trd::test::TrdServerProcess;

namespace {

using Clock = std::chrono::steady_clock;

QString writeSeed(const QTemporaryDir& dir, int rows)
{
    const QString path = dir.filePath(QStringLiteral("seed.tsv"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("L\tENG\tInglês\tPOR\n");
    for (int i = 0; i < rows; ++i)
        f.write(QStringLiteral("R\tENG\tTRD09300\tc%1\tOrigem %1\t-\tN\n").arg(i).toUtf8());
    return path;
}

TrdServerProcess::Options onPostgres(const std::string& conninfo, const QStringList& args = {})
{
    TrdServerProcess::Options o;
    o.pg = QString::fromStdString(conninfo);
    o.extraArgs = args;
    o.extraArgs << QStringLiteral("--quiet");
    return o;
}

// A client of one server that saves rows of the seed, knowing their values
// only from its own reads and acknowledged saves, as an editor does.
class Client {
public:
    explicit Client(const TrdServerProcess& server) : m_http(server.host().toStdString(), server.port())
    {
        m_http.set_read_timeout(30, 0);
    }
    Answer call(const std::string& method, const std::string& params)
    {
        auto res = m_http.Post("/Trd09300.rdmTraducao", request(method, params), "application/json");
        return res ? parseAnswer(res->body) : Answer{false, -1, "transport failure", {}, {}};
    }
    std::map<std::string, std::string> load()
    {
        std::map<std::string, std::string> values;
        for (const auto& r : call("GetDestino", "\"T\",\"D\",\"N\",\"ENG\",0,0,\"\"").rows)
            values[r.at("NMCOMPONENTE")] = r.at("STVALORPROP");
        return values;
    }
    // One delta changing the given rows, in the given order.
    Answer save(const std::vector<int>& rows, const std::string& text, std::map<std::string, std::string>& known)
    {
        DeltaBuilder delta;
        for (int i : rows) {
            const std::string c = "c" + std::to_string(i);
            delta.modify({"ENG", "TRD09300", c, "Origem " + std::to_string(i), known[c], "N"}, text + " " + c);
        }
        const Answer a = call("SetDestino", json(delta.xml()));
        if (a.ok)
            for (int i : rows)
                known["c" + std::to_string(i)] = text + " c" + std::to_string(i);
        return a;
    }
    httplib::Result health() { return m_http.Get("/health"); }

private:
    httplib::Client m_http;
};

bool waitHealthy(Client& client, int ms)
{
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < until) {
        if (auto h = client.health(); h && h->status == 200)
            return true;
        QThread::msleep(50);
    }
    return false;
}

bool mentionsInternals(const std::string& message)
{
    for (const char* word : {"ERROR", "SQL", "postgres", "PostgreSQL", "deadlock", "relation", "server closed",
                             "socket", "traducao", "TRADUCAO"})
        if (message.find(word) != std::string::npos)
            return true;
    return false;
}

class PostgresServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!trd::test::postgresCluster().ready())
            GTEST_SKIP() << "no PostgreSQL server binaries (initdb, pg_ctl) to run a test cluster";
        conninfo = trd::test::postgresCluster().freshDatabase();
        ASSERT_FALSE(conninfo.empty());
    }
    std::string conninfo;
    QTemporaryDir dir;
};

} // namespace

TEST_F(PostgresServer, ReconnectsByItselfAfterTheDatabaseRestarts)
{
    TrdServerProcess::Options options = onPostgres(conninfo);
    options.importTsv = writeSeed(dir, 4);
    TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    Client client(server);
    auto known = client.load();
    int acknowledged = 0;
    ASSERT_TRUE(client.save({0}, "antes", known).ok);
    ++acknowledged;

    ASSERT_TRUE(trd::test::postgresCluster().stop());
    const auto start = Clock::now();
    const Answer down = client.save({1}, "durante", known);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(down.ok);
    EXPECT_EQ(down.message,
              "Sem conexão com o banco de dados do servidor; a operação não foi feita. Tente novamente em instantes.");
    const Answer read = client.call("GetIdiTrad", "");
    EXPECT_FALSE(read.ok);
    EXPECT_FALSE(mentionsInternals(read.message)) << read.message;
    auto health = client.health();
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 503);
    EXPECT_EQ(health->body.rfind("Sem conexão com o banco de dados do servidor", 0), 0u) << health->body;

    ASSERT_TRUE(trd::test::postgresCluster().start());
    ASSERT_TRUE(waitHealthy(client, 10000));
    // Every connection of the server comes back, not only the one that asked.
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(client.call("GetIdiTrad", "").ok);
    const Answer after = client.save({1}, "depois", known);
    EXPECT_TRUE(after.ok) << after.message;
    acknowledged += after.ok;
    EXPECT_EQ(acknowledged, 2);
    const auto stored = client.load();
    EXPECT_EQ(stored.at("c0"), "antes c0");
    EXPECT_EQ(stored.at("c1"), "depois c1");
    EXPECT_TRUE(server.log().contains("restabelecida")) << server.log().toStdString();
}

TEST_F(PostgresServer, AnOutsideLockEndsInAClearMessageWithinTheTimeouts)
{
    TrdServerProcess::Options seeding = onPostgres(conninfo);
    seeding.importTsv = writeSeed(dir, 4);
    {
        TrdServerProcess seeder(seeding);
        ASSERT_TRUE(seeder.isRunning()) << seeder.errorString().toStdString();
    }
    struct Case {
        QStringList args;
        std::string message;
    };
    const Case cases[] = {
        {{QStringLiteral("--pg-lock-timeout"), QStringLiteral("0.3")},
         "Os registros estão bloqueados por outra operação no banco de dados; a operação não foi feita. Tente novamente em instantes."},
        {{QStringLiteral("--pg-lock-timeout"), QStringLiteral("20"), QStringLiteral("--pg-statement-timeout"),
          QStringLiteral("0.3")},
         "A operação excedeu o tempo limite do banco de dados e foi cancelada; nada foi gravado. Tente novamente."},
    };
    std::vector<std::unique_ptr<TrdServerProcess>> servers;
    for (const Case& c : cases) {
        servers.push_back(std::make_unique<TrdServerProcess>(onPostgres(conninfo, c.args)));
        ASSERT_TRUE(servers.back()->isRunning()) << servers.back()->errorString().toStdString();
    }
    // Someone takes the table for themselves, as a careless maintenance would.
    PGconn* outside = PQconnectdb(conninfo.c_str());
    ASSERT_EQ(PQstatus(outside), CONNECTION_OK);
    PQclear(PQexec(outside, "BEGIN; LOCK TABLE traducao IN ACCESS EXCLUSIVE MODE"));
    for (std::size_t i = 0; i < servers.size(); ++i) {
        Client client(*servers[i]);
        std::map<std::string, std::string> known{{"c0", "-"}};
        for (const char* method : {"save", "read"}) {
            const auto start = Clock::now();
            const Answer a = std::string(method) == "save"
                ? client.save({0}, "x", known)
                : client.call("GetDestino", "\"T\",\"D\",\"N\",\"ENG\",0,0,\"\"");
            EXPECT_LT(Clock::now() - start, std::chrono::seconds(3)) << method;
            EXPECT_FALSE(a.ok) << method;
            EXPECT_EQ(a.message, cases[i].message) << method;
        }
        auto health = client.health();
        ASSERT_TRUE(health);
        EXPECT_EQ(health->status, 503);
        EXPECT_EQ(health->body.rfind("Os registros estão bloqueados", 0), 0u) << health->body;
    }
    PQclear(PQexec(outside, "ROLLBACK"));
    PQfinish(outside);
    Client client(*servers[0]);
    std::map<std::string, std::string> known{{"c0", "-"}};
    EXPECT_TRUE(client.save({0}, "livre", known).ok);
    EXPECT_EQ(client.health()->status, 200);
}

TEST_F(PostgresServer, TwoServersSavingTheSameRowsInOppositeOrdersNeverDeadlock)
{
    TrdServerProcess::Options options = onPostgres(conninfo);
    options.importTsv = writeSeed(dir, 6);
    TrdServerProcess first(options);
    ASSERT_TRUE(first.isRunning()) << first.errorString().toStdString();
    TrdServerProcess second(onPostgres(conninfo));
    ASSERT_TRUE(second.isRunning()) << second.errorString().toStdString();

    // Each client saves three rows in one delta: clients of the first server
    // walk them upwards, of the second downwards. Whoever is second to a row
    // is refused as "changed by another user" and reloads; nothing else may fail.
    std::atomic<int> acknowledged{0}, refusedAsChanged{0}, failed{0};
    std::string failure;
    std::mutex failureMutex;
    const auto until = Clock::now() + std::chrono::seconds(3);
    std::vector<std::thread> clients;
    for (int n = 0; n < 6; ++n) {
        clients.emplace_back([&, n] {
            Client client(n % 2 ? second : first);
            auto known = client.load();
            for (int i = 0; Clock::now() < until; ++i) {
                const int base = (n + i) % 4;
                std::vector<int> rows{base, base + 1, base + 2};
                if (n % 2)
                    std::reverse(rows.begin(), rows.end());
                const Answer a = client.save(rows, "s" + std::to_string(n) + "-" + std::to_string(i), known);
                if (a.ok) {
                    ++acknowledged;
                } else if (a.message.rfind("O registro foi alterado por outro usuário", 0) == 0) {
                    ++refusedAsChanged;
                    known = client.load();
                } else {
                    ++failed;
                    std::lock_guard lock(failureMutex);
                    failure = a.message;
                    known = client.load();
                }
            }
        });
    }
    for (auto& t : clients)
        t.join();
    EXPECT_EQ(failed.load(), 0) << failure;
    EXPECT_GT(acknowledged.load(), 20);
    // Not even a deadlock the retries would have hidden.
    for (const TrdServerProcess* server : {&first, &second})
        EXPECT_FALSE(server->log().contains("abortada")) << server->log().toStdString();
    // Every row holds the text of an acknowledged save, and all three rows
    // of a delta moved together: no update lost, no delta half applied.
    const auto stored = Client(first).load();
    for (int i = 0; i < 6; ++i) {
        const std::string& v = stored.at("c" + std::to_string(i));
        EXPECT_TRUE(v == "-" || v.find(" c" + std::to_string(i)) != std::string::npos) << v;
    }
    RecordProperty("acknowledged", acknowledged.load());
    RecordProperty("refusedAsChanged", refusedAsChanged.load());
}

TEST_F(PostgresServer, ASaveThroughOneServerReachesTheOthersTranslationMemory)
{
    const QString seed = dir.filePath(QStringLiteral("memoria.tsv"));
    {
        QFile f(seed);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("L\tENG\tInglês\tPOR\n"
                "R\tENG\tTRD09300\tc0\t&Salvar\t-\tN\n"
                "R\tENG\tTRD09301\tc1\tSalvar\t-\tN\n"
                "R\tENG\tTRD09302\tc2\tSalvar tudo\t-\tN\n");
    }
    TrdServerProcess::Options seeding = onPostgres(conninfo);
    seeding.importTsv = seed;
    TrdServerProcess a(seeding);
    ASSERT_TRUE(a.isRunning()) << a.errorString().toStdString();
    TrdServerProcess b(onPostgres(conninfo));
    ASSERT_TRUE(b.isRunning()) << b.errorString().toStdString();
    Client ca(a), cb(b);

    const std::string askC1 = json("ENG") + "," + json("Salvar") + "," + json("TRD09301") + "," + json("c1");
    auto suggestedToC1 = [&](Client& c) {
        std::vector<std::string> seen;
        for (const auto& r : c.call("GetSugestoes", askC1).rows)
            seen.push_back(r.at("TPSUGESTAO") + ":" + r.at("STVALORPROP"));
        return seen;
    };
    // Each server's memory is built in the background at start.
    auto eventually = [](const std::function<bool()>& seen) {
        for (const auto until = Clock::now() + std::chrono::seconds(30); Clock::now() < until;) {
            if (seen())
                return true;
            QThread::msleep(20);
        }
        return seen();
    };
    ASSERT_TRUE(eventually([&] { return cb.call("GetSugestoes", askC1).ok && ca.call("GetSugestoes", askC1).ok; }));
    EXPECT_TRUE(suggestedToC1(cb).empty());

    // Saved through A, suggested by B: the same source (marks aside) and the similar one.
    DeltaBuilder save;
    save.modify({"ENG", "TRD09300", "c0", "&Salvar", "-", "N"}, "&Save", "T");
    ASSERT_TRUE(ca.call("SetDestino", json(save.xml())).ok);
    EXPECT_TRUE(eventually([&] { return suggestedToC1(cb) == std::vector<std::string>{"I:&Save"}; }))
        << ::testing::PrintToString(suggestedToC1(cb));
    const std::string askC2 =
        json("ENG") + "," + json("Salvar tudo") + "," + json("TRD09302") + "," + json("c2") + ",50";
    const Answer similar = cb.call("GetSugestoes", askC2);
    ASSERT_TRUE(similar.ok) << similar.message;
    ASSERT_EQ(similar.rows.size(), 1u);
    EXPECT_EQ(similar.rows[0].at("TPSUGESTAO"), "P");
    EXPECT_EQ(similar.rows[0].at("NRSIMILAR"), "54"); // 100 × (1 − 5/11)

    // And the other way: a different translation saved through B makes the
    // source divergent for A.
    DeltaBuilder other;
    other.modify({"ENG", "TRD09301", "c1", "Salvar", "-", "N"}, "Store", "T");
    ASSERT_TRUE(cb.call("SetDestino", json(other.xml())).ok);
    EXPECT_TRUE(eventually([&] { return ca.call("GetInconsistencias", json("ENG")).rows.size() == 2; }));
    std::vector<std::string> variants;
    for (const auto& r : ca.call("GetInconsistencias", json("ENG")).rows)
        variants.push_back(r.at("STVALORPROP"));
    std::sort(variants.begin(), variants.end());
    EXPECT_EQ(variants, (std::vector<std::string>{"&Save", "Store"}));
}
