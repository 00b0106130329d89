// The history against the real trd-server, on SQLite and on the throwaway
// PostgreSQL cluster: killed in the middle of a replace-all batch, rows and
// versions still agree; undoing a replace-all restores every text of the
// Windows-1252 repertoire byte for byte; an undo meeting a colleague's later
// save leaves that row and names who; a batch opened by one user is refused
// to another.
#include "PostgresCluster.h"
#include "ServerTestKit.h"
#include "TrdServerProcess.h"
#include "Win1252.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

using namespace trd::server::test;
using trd::test::TrdServerProcess;

namespace {

enum class Backend { Sqlite, Postgres };

class Client {
public:
    Client(const TrdServerProcess& server, std::string token = {})
        : m_http(server.host().toStdString(), server.port()), m_token(std::move(token))
    {
        m_http.set_read_timeout(60, 0);
        m_http.set_tcp_nodelay(true);
    }
    Answer call(const std::string& method, const std::string& params, const std::string& batch = {})
    {
        httplib::Headers headers;
        if (!batch.empty())
            headers.emplace("X-Trd-Lote", batch);
        if (!m_token.empty())
            headers.emplace("Authorization", "Bearer " + m_token);
        auto res = m_http.Post("/Trd09300.rdmTraducao", headers, request(method, params), "application/json");
        return res ? parseAnswer(res->body) : Answer{false, -1, "transport failure", {}, {}};
    }
    std::map<std::string, Row> rows(const std::string& lang = "ENG")
    {
        std::map<std::string, Row> out;
        for (auto& r : call("GetDestino", "\"T\",\"D\",\"N\"," + json(lang) + ",0,0,\"\"").rows)
            out[r.at("NMCOMPONENTE")] = r;
        return out;
    }
    Answer history(const Row& r, int max = 0)
    {
        return call("GetHistorico",
                    json(r.at("IDIDIOMA")) + "," + json(r.at("CDPROGTRAD")) + "," + json(r.at("NMCOMPONENTE")) + ","
                        + json(r.at("STAGRVALPROP")) + "," + std::to_string(max));
    }
    std::string openBatch()
    {
        const Answer a = call("AbreLote", "\"ENG\",\"substituicao\"");
        return a.ok ? a.rows.at(0).at("IDLOTE") : std::string();
    }
    // Saves one row from what it holds to (text, status), in the batch.
    Answer save(const Row& r, const std::string& text, const std::string& status, const std::string& batch = {})
    {
        const TRow original{r.at("IDIDIOMA"),     r.at("CDPROGTRAD"),  r.at("NMCOMPONENTE"),
                            r.at("STAGRVALPROP"), r.at("STVALORPROP"), r.at("IDSITTRADUCAO")};
        return call("SetDestino", json(DeltaBuilder().modify(original, text, status).xml()), batch);
    }

private:
    httplib::Client m_http;
    std::string m_token;
};

class HistoryProcess : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        if (GetParam() == Backend::Postgres) {
            if (!trd::test::postgresCluster().ready())
                GTEST_SKIP() << "no PostgreSQL server binaries (initdb, pg_ctl) to run a test cluster";
            conninfo = trd::test::postgresCluster().freshDatabase();
            ASSERT_FALSE(conninfo.empty());
        }
    }
    TrdServerProcess::Options options(const QByteArray& seed)
    {
        TrdServerProcess::Options o;
        o.seedTsv = seed;
        o.extraArgs << QStringLiteral("--quiet");
        if (!conninfo.empty())
            o.pg = QString::fromStdString(conninfo);
        return o;
    }
    std::string conninfo;
};

QByteArray plainSeed(int rows)
{
    QByteArray tsv = "L\tENG\tInglês\tPOR\n";
    for (int i = 0; i < rows; ++i)
        tsv += QStringLiteral("R\tENG\tTRD09300\tc%1\tOrigem %1\tantes %1\tN\n").arg(i, 4, 10, QChar(u'0')).toUtf8();
    return tsv;
}

// Every character of Windows-1252 that a text may hold.
QString win1252Repertoire()
{
    QString all;
    for (int b = 0x20; b <= 0xFF; ++b) {
        const char16_t ch = trd::win1252::toUnicode(static_cast<unsigned char>(b));
        if (b != 0x7F && trd::win1252::isRepresentable(ch) && ch != 0xFFFD)
            all += QChar(ch);
    }
    return all;
}

std::string escapeTsv(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

} // namespace

TEST_P(HistoryProcess, KilledInTheMiddleOfAReplaceAllBatchRowsAndVersionsAgree)
{
    constexpr int Rows = 400;
    TrdServerProcess server(options(plainSeed(Rows)));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    Client client(server);
    auto before = client.rows();
    ASSERT_EQ(before.size(), static_cast<std::size_t>(Rows));
    const std::string batch = client.openBatch();
    ASSERT_FALSE(batch.empty());

    // The run saves one row after another, as the find/replace dialog does;
    // what it knows is what was acknowledged, and the one save in flight.
    std::mutex mutex;
    std::vector<std::string> acknowledged;
    std::string inFlight;
    std::atomic<bool> stopped{false};
    std::thread run([&] {
        Client runner(server);
        for (auto& [component, row] : before) {
            {
                std::lock_guard lock(mutex);
                inFlight = component;
            }
            const std::string text = "depois \"" + component + "\" & <fim>";
            const Answer a = runner.save(row, text, component.back() % 2 ? "T" : "D", batch);
            std::lock_guard lock(mutex);
            if (!a.ok)
                break;
            acknowledged.push_back(component);
            inFlight.clear();
        }
        stopped = true;
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (acknowledged.size() >= 80 || stopped)
                break;
        }
        ASSERT_LT(std::chrono::steady_clock::now(), until) << "the run did not get going";
        QThread::msleep(2);
    }
    server.kill9();
    run.join();
    ASSERT_LT(acknowledged.size(), static_cast<std::size_t>(Rows)) << "the run ended before the kill";
    ASSERT_TRUE(server.restart()) << server.errorString().toStdString();

    Client after(server);
    const auto rows = after.rows();
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(Rows));
    std::size_t changed = 0;
    for (const auto& [component, row] : rows) {
        SCOPED_TRACE(component);
        const bool wasAcknowledged =
            std::find(acknowledged.begin(), acknowledged.end(), component) != acknowledged.end();
        const std::string text = "depois \"" + component + "\" & <fim>";
        const bool isChanged = row.at("STVALORPROP") == text;
        // Every acknowledged save is there; only the one in flight may or may not be.
        if (wasAcknowledged) {
            EXPECT_TRUE(isChanged);
        } else if (component != inFlight) {
            EXPECT_FALSE(isChanged);
        }
        if (!isChanged) {
            EXPECT_EQ(row.at("STVALORPROP"), before[component].at("STVALORPROP"));
            EXPECT_EQ(row.at("IDSITTRADUCAO"), "N");
        }
        // The row's newest version is the change it shows: the batch's save
        // for a changed row, the import for the others. No version without
        // its change, no change without its version.
        const Answer h = after.history(row);
        ASSERT_TRUE(h.ok) << h.message;
        ASSERT_EQ(h.rows.size(), isChanged ? 2u : 1u);
        const Row& newest = h.rows.front();
        EXPECT_EQ(newest.at("STVALORPROP"), row.at("STVALORPROP"));
        EXPECT_EQ(newest.at("IDSITTRADUCAO"), row.at("IDSITTRADUCAO"));
        if (isChanged) {
            ++changed;
            EXPECT_EQ(newest.at("IDLOTE"), batch);
            EXPECT_EQ(newest.at("STVALORANT"), before[component].at("STVALORPROP"));
            EXPECT_EQ(newest.at("IDSITANT"), "N");
        } else {
            EXPECT_EQ(newest.at("TPLOTE"), "importacao");
        }
    }
    EXPECT_GE(changed, acknowledged.size());
    EXPECT_LE(changed, acknowledged.size() + 1);
    const Answer listed = after.call("GetLotes", "\"ENG\",0,0");
    ASSERT_TRUE(listed.ok) << listed.message;
    ASSERT_FALSE(listed.rows.empty());
    EXPECT_EQ(listed.rows.front().at("IDLOTE"), batch);
    EXPECT_EQ(listed.rows.front().at("NRLINHAS"), std::to_string(changed));

    // The batch goes on after the restart, and is undone whole.
    const Answer undone = after.call("DesfazLote", "\"ENG\"," + batch + ",\"N\"");
    ASSERT_TRUE(undone.ok) << undone.message;
    EXPECT_EQ(undone.rows.size(), changed);
    for (const auto& [component, row] : after.rows())
        EXPECT_EQ(row.at("STVALORPROP"), before[component].at("STVALORPROP")) << component;
}

TEST_P(HistoryProcess, UndoingAReplaceAllRestoresEveryTextAndStatusByteForByte)
{
    // Rows holding, between them, every character of the code page, line
    // breaks of both kinds, tabs, quotes, '&' and markup-like text.
    const QString all = win1252Repertoire();
    ASSERT_GE(all.size(), 218);
    std::vector<std::pair<std::string, std::string>> texts; // destination, status
    const char* const statuses[] = {"T", "D", "N"};
    for (qsizetype at = 0, i = 0; at < all.size(); at += 24, ++i)
        texts.emplace_back("a" + all.mid(at, 24).toStdString() + (i % 2 ? "\r\nlinha 2 \"a\" & 'b'" : "\n\t&amp; <a>"),
                           statuses[i % 3]);
    texts.emplace_back("a", "N");
    texts.emplace_back("&&a&\"\"", "D");
    QByteArray seed = "L\tENG\tInglês\tPOR\n";
    for (std::size_t i = 0; i < texts.size(); ++i)
        seed +=
            QByteArray::fromStdString("R\tENG\tTRD09306\tc" + std::to_string(100 + i) + "\tOrigem " + std::to_string(i)
                                      + "\t" + escapeTsv(texts[i].first) + "\t" + texts[i].second + "\n");
    TrdServerProcess server(options(seed));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    Client client(server);
    const auto before = client.rows();
    ASSERT_EQ(before.size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const Row& r = before.at("c" + std::to_string(100 + i));
        ASSERT_EQ(r.at("STVALORPROP"), texts[i].first) << i; // the seed itself went in whole
    }

    // A replace-all run: every "a" becomes "Ä&\"", and each row is promoted to T.
    const std::string batch = client.openBatch();
    for (const auto& [component, row] : before) {
        QString replaced = QString::fromStdString(row.at("STVALORPROP"));
        replaced.replace(QStringLiteral("a"), QStringLiteral("Ä&\""));
        const Answer saved = client.save(row, replaced.toStdString(), "T", batch);
        ASSERT_TRUE(saved.ok) << saved.message;
    }
    const auto replaced = client.rows();
    for (const auto& [component, row] : replaced)
        ASSERT_NE(row.at("STVALORPROP"), before.at(component).at("STVALORPROP"));

    const Answer undone = client.call("DesfazLote", "\"ENG\"," + batch + ",\"N\"");
    ASSERT_TRUE(undone.ok) << undone.message;
    ASSERT_EQ(undone.rows.size(), texts.size());
    for (const Row& r : undone.rows) {
        EXPECT_EQ(r.at("DESFEITA"), "S") << r.at("DSMOTIVO");
        EXPECT_EQ(r.at("STVALORPROP"), before.at(r.at("NMCOMPONENTE")).at("STVALORPROP"));
    }
    const auto after = client.rows();
    ASSERT_EQ(after.size(), before.size());
    for (const auto& [component, row] : after) {
        EXPECT_EQ(row.at("STVALORPROP"), before.at(component).at("STVALORPROP")) << component;
        EXPECT_EQ(row.at("IDSITTRADUCAO"), before.at(component).at("IDSITTRADUCAO")) << component;
    }
}

TEST_P(HistoryProcess, AnUndoMeetingAColleaguesLaterSaveLeavesItAndNamesTheColleague)
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("trd.db"));
    const QString users = conninfo.empty() ? db + QStringLiteral(".users") : dir.filePath(QStringLiteral("trd.users"));
    for (const char* name : {"ana", "bia"}) {
        QProcess add;
        add.start(TrdServerProcess::binaryPath(), {"user", "add", name, "--users", users});
        ASSERT_TRUE(add.waitForStarted(10000));
        add.write("senha-" + QByteArray(name) + "\n");
        add.closeWriteChannel();
        ASSERT_TRUE(add.waitForFinished(60000));
        ASSERT_EQ(add.exitCode(), 0) << add.readAllStandardError().toStdString();
    }
    TrdServerProcess::Options o = options(plainSeed(3));
    if (conninfo.empty())
        o.dbPath = db;
    else
        o.extraArgs << QStringLiteral("--users") << users;
    TrdServerProcess server(o);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const auto login = [&](const char* name) {
        Client anonymous(server);
        httplib::Client http(server.host().toStdString(), server.port());
        auto res =
            http.Post("/Trd09300.rdmTraducao", request("Login", json(name) + "," + json(std::string("senha-") + name)),
                      "application/json");
        const std::string body = res ? res->body : std::string();
        const auto at = body.find("\"result\":\"");
        return at == std::string::npos ? std::string() : body.substr(at + 10, body.find('"', at + 10) - at - 10);
    };
    Client ana(server, login("ana"));
    Client bia(server, login("bia"));

    const std::string batch = ana.openBatch();
    ASSERT_FALSE(batch.empty());
    auto rows = ana.rows();
    ASSERT_TRUE(ana.save(rows.at("c0000"), "da Ana 0", "T", batch).ok);
    ASSERT_TRUE(ana.save(rows.at("c0001"), "da Ana 1", "T", batch).ok);
    // Bia may not write into Ana's batch; her own save is a batch of its own.
    rows = bia.rows();
    const Answer intruder = bia.save(rows.at("c0002"), "da Bia", "T", batch);
    EXPECT_EQ(intruder.code, -32602);
    EXPECT_NE(intruder.message.find("aberto por outro usuário (ana)"), std::string::npos) << intruder.message;
    ASSERT_TRUE(bia.save(rows.at("c0001"), "da Bia 1", "D").ok);

    const Answer undone = ana.call("DesfazLote", "\"ENG\"," + batch + ",\"N\"");
    ASSERT_TRUE(undone.ok) << undone.message;
    ASSERT_EQ(undone.rows.size(), 2u);
    EXPECT_EQ(undone.rows[0].at("DESFEITA"), "S");
    EXPECT_EQ(undone.rows[1].at("DESFEITA"), "N");
    EXPECT_EQ(undone.rows[1].at("DSMOTIVO").rfind("alterada depois por bia em ", 0), 0u)
        << undone.rows[1].at("DSMOTIVO");
    rows = ana.rows();
    EXPECT_EQ(rows.at("c0000").at("STVALORPROP"), "antes 0000");
    EXPECT_EQ(rows.at("c0001").at("STVALORPROP"), "da Bia 1");
    EXPECT_EQ(rows.at("c0002").at("STVALORPROP"), "antes 0002");

    const Answer listed = bia.call("GetLotes", "\"ENG\",0,0");
    ASSERT_GE(listed.rows.size(), 3u);
    EXPECT_EQ(listed.rows[0].at("NMUSUARIO"), "ana");
    EXPECT_EQ(listed.rows[0].at("TPLOTE"), "desfazer");
    EXPECT_EQ(listed.rows[0].at("NRLINHAS"), "1");
    EXPECT_EQ(listed.rows[1].at("NMUSUARIO"), "bia");
    EXPECT_EQ(listed.rows[2].at("NMUSUARIO"), "ana");
    EXPECT_EQ(listed.rows[2].at("IDDESFEITOPOR"), listed.rows[0].at("IDLOTE"));
    const Answer last = bia.history(rows.at("c0001"), 1);
    EXPECT_EQ(last.rows.at(0).at("NMUSUARIO"), "bia");
}

TEST_P(HistoryProcess, PruningRunsBesideAServingServerAndKeepsTheRows)
{
    TrdServerProcess server(options(plainSeed(20)));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    Client client(server);
    auto rows = client.rows();
    ASSERT_TRUE(client.save(rows.at("c0003"), "novo 3", "T").ok);
    ASSERT_EQ(client.call("GetLotes", "\"ENG\",0,0").rows.size(), 2u);

    QStringList args{"--prune-history", "0"};
    if (conninfo.empty())
        args << "--db" << server.dbPath();
    else
        args << "--pg" << QString::fromStdString(conninfo);
    QProcess prune;
    prune.start(TrdServerProcess::binaryPath(), args);
    ASSERT_TRUE(prune.waitForFinished(120000));
    const QByteArray said = prune.readAllStandardError();
    EXPECT_EQ(prune.exitCode(), 0) << said.toStdString();
    EXPECT_TRUE(said.contains("2 lotes, 21 versões")) << said.toStdString();

    // The server goes on serving and saving; the rows are as they were.
    EXPECT_TRUE(client.call("GetLotes", "\"ENG\",0,0").rows.empty());
    rows = client.rows();
    EXPECT_EQ(rows.at("c0003").at("STVALORPROP"), "novo 3");
    EXPECT_EQ(rows.at("c0004").at("STVALORPROP"), "antes 0004");
    ASSERT_TRUE(client.save(rows.at("c0003"), "novo 3b", "D").ok);
    const Answer h = client.history(client.rows().at("c0003"));
    ASSERT_EQ(h.rows.size(), 1u);
    EXPECT_EQ(h.rows[0].at("STVALORANT"), "novo 3");

    QProcess wrong;
    wrong.start(TrdServerProcess::binaryPath(), {"--prune-history", "muitos", "--db", "x.db"});
    ASSERT_TRUE(wrong.waitForFinished(30000));
    EXPECT_EQ(wrong.exitCode(), 2);
    EXPECT_TRUE(wrong.readAllStandardError().contains("--prune-history espera um número de dias"));
}

// Pruning from cron while editors save: the serving server copies the log
// into the database file whenever it likes, and the pruning process commits
// chunk after chunk into the same log. Neither may take the other's writes
// for another program's damage: every run ends with what it removed, and the
// server goes on saving and healthy.
TEST(HistoryProcessSqlite, PruningBesideSaversNeverReadsAsDamage)
{
    TrdServerProcess server([] {
        TrdServerProcess::Options o;
        o.seedTsv = plainSeed(40);
        o.extraArgs << QStringLiteral("--quiet");
        return o;
    }());
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    // Enough old batches that pruning them takes a good number of chunks,
    // and so several of the server's checkpoints.
    ASSERT_TRUE(server.terminate());
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(server.dbPath().toUtf8().constData(), &db), SQLITE_OK);
        const char* fill = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300000) "
                           "INSERT INTO LOTE (IDIDIOMA, TPLOTE, NMUSUARIO, DTLOTE) SELECT 'ENG', 'edicao', 'velho', "
                           "1000 + i / 1000.0 FROM n";
        EXPECT_EQ(sqlite3_exec(db, fill, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
    }
    ASSERT_TRUE(server.restart()) << server.errorString().toStdString();

    std::atomic<bool> stop{false};
    std::atomic<int> saved{0}, failed{0};
    std::mutex failureMutex;
    std::string failure;
    std::vector<std::thread> savers;
    for (int s = 0; s < 6; ++s) {
        savers.emplace_back([&, s] {
            Client client(server);
            auto rows = client.rows();
            for (int n = 0; !stop; ++n) {
                const std::string key = QStringLiteral("c%1").arg(s * 5 + n % 5, 4, 10, QChar(u'0')).toStdString();
                const Answer a = client.save(rows.at(key), "salvo " + std::to_string(n), n % 2 ? "T" : "D");
                if (a.ok) {
                    ++saved;
                    rows = client.rows();
                } else {
                    ++failed;
                    std::lock_guard lock(failureMutex);
                    failure = a.message;
                    rows = client.rows();
                }
            }
        });
    }
    const auto prune = [&](const char* days) {
        QProcess p;
        p.start(TrdServerProcess::binaryPath(), {"--prune-history", days, "--db", server.dbPath()});
        EXPECT_TRUE(p.waitForFinished(300000));
        const QByteArray said = p.readAllStandardError();
        EXPECT_EQ(p.exitCode(), 0) << said.toStdString();
        EXPECT_TRUE(said.contains(" lotes, ")) << said.toStdString();
        return said;
    };
    const QByteArray first = prune("365");
    EXPECT_TRUE(first.contains("300000 lotes")) << first.toStdString();
    for (int run = 0; run < 4; ++run)
        prune(run % 2 ? "0" : "365");
    stop = true;
    for (auto& t : savers)
        t.join();

    EXPECT_GT(saved.load(), 0);
    EXPECT_EQ(failed.load(), 0) << failure;
    httplib::Client http(server.host().toStdString(), server.port());
    const auto health = http.Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200) << health->body;
    Client client(server);
    auto rows = client.rows();
    EXPECT_TRUE(client.save(rows.at("c0039"), "depois", "T").ok);
    EXPECT_FALSE(server.log().contains("alterações recusadas")) << server.log().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Backends, HistoryProcess, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         [](const auto& info) { return info.param == Backend::Sqlite ? "Sqlite" : "Postgres"; });
