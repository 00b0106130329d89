// A release against the real trd-server, on SQLite and on the throwaway
// PostgreSQL cluster: killed with SIGKILL while it applies, the database
// holds the whole release in every language or none of it.
#include "PostgresCluster.h"
#include "ServerTestKit.h"
#include "TrdServerProcess.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <QThread>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

using namespace trd::server::test;
using trd::test::TrdServerProcess;

namespace {

enum class Backend { Sqlite, Postgres };

constexpr int Languages = 4;

Answer post(const TrdServerProcess& server, const std::string& method, const std::string& params)
{
    httplib::Client http(server.host().toStdString(), server.port());
    http.set_read_timeout(120, 0);
    auto res = http.Post("/Trd09300.rdmTraducao", request(method, params), "application/json");
    return res ? parseAnswer(res->body) : Answer{false, -1, "transport failure", {}, {}};
}

std::string language(int l)
{
    return "L" + std::to_string(10 + l);
}

QByteArray seed(int rowsEach)
{
    QByteArray tsv;
    for (int l = 0; l < Languages; ++l) {
        tsv += QStringLiteral("L\t%1\tIdioma %1\tPOR\n").arg(QString::fromStdString(language(l))).toUtf8();
        for (int i = 0; i < rowsEach; ++i)
            tsv += QStringLiteral("R\t%1\tP%2\tc%3\tTexto de origem número %3\tTradução %3\tT\n")
                       .arg(QString::fromStdString(language(l)))
                       .arg(i % 40, 3, 10, QChar(u'0'))
                       .arg(i, 5, 10, QChar(u'0'))
                       .toUtf8();
    }
    return tsv;
}

// A tenth of the texts gone, a tenth reworded, as many new.
std::string releaseFile(std::set<std::string>& keys, int rowsEach)
{
    std::string file;
    const auto add = [&](const std::string& program, const std::string& component, const std::string& source) {
        file += program + "\t" + component + "\t" + source + "\n";
        keys.insert(program + "/" + component + "/" + source);
    };
    char program[8], component[8];
    for (int i = 0; i < rowsEach; ++i) {
        std::snprintf(program, sizeof program, "P%03d", i % 40);
        std::snprintf(component, sizeof component, "c%05d", i);
        if (i % 10 == 0)
            continue;
        std::string source = "Texto de origem número " + std::string(component + 1);
        if (i % 10 == 1)
            source += " revisado";
        add(program, component, source);
        if (i % 10 == 2)
            add(program, std::string(component) + "n", "Outro texto " + std::to_string(i));
    }
    return file;
}

std::set<std::string> liveKeys(const TrdServerProcess& server, const std::string& lang)
{
    std::set<std::string> out;
    for (const Row& r : post(server, "GetDestino", "\"T\",\"D\",\"N\"," + json(lang) + ",0,0,\"\"").rows)
        out.insert(r.at("CDPROGTRAD") + "/" + r.at("NMCOMPONENTE") + "/" + r.at("STAGRVALPROP"));
    return out;
}

class ReleaseProcess : public ::testing::TestWithParam<Backend> { };

} // namespace

TEST_P(ReleaseProcess, KilledWhileApplyingLeavesAllOrNothing)
{
    // Fewer on PostgreSQL, where the seed goes in row by row.
    const int rowsEach = GetParam() == Backend::Postgres ? 2000 : 6000;
    TrdServerProcess::Options o;
    o.seedTsv = seed(rowsEach);
    o.extraArgs << QStringLiteral("--quiet");
    o.startTimeoutMs = 180000; // the seed is imported row by row on PostgreSQL
    if (GetParam() == Backend::Postgres) {
        if (!trd::test::postgresCluster().ready())
            GTEST_SKIP() << "no PostgreSQL server binaries (initdb, pg_ctl) to run a test cluster";
        o.pg = QString::fromStdString(trd::test::postgresCluster().freshDatabase());
        ASSERT_FALSE(o.pg.isEmpty());
    }
    TrdServerProcess server(o);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    std::set<std::string> released;
    const std::string file = releaseFile(released, rowsEach);
    std::vector<std::set<std::string>> before;
    for (int l = 0; l < Languages; ++l)
        before.push_back(liveKeys(server, language(l)));
    ASSERT_EQ(before[0].size(), static_cast<std::size_t>(rowsEach));

    // Killed while the apply's progress says it is writing, the apply is
    // inside its transaction, however fast or slow the machine is.
    std::atomic<bool> answered{false};
    Answer applied;
    std::thread apply([&] {
        applied = post(server, "AplicaLiberacao", json(file) + ",70,30,\"S\",\"N\",\"morte-1\"");
        answered = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::string stage;
    while (!answered && std::chrono::steady_clock::now() < deadline) {
        const Answer progress = post(server, "GetProgressoLiberacao", "\"morte-1\"");
        stage = progress.ok && !progress.rows.empty() ? progress.rows[0].at("STETAPA") : "";
        if (stage == "gravando")
            break;
    }
    server.kill9();
    apply.join();
    ASSERT_EQ(stage, "gravando") << "the apply was never seen writing";
    EXPECT_FALSE(applied.ok) << "the apply ended before the kill; the test proves nothing this time";
    ASSERT_TRUE(server.restart()) << server.errorString().toStdString();

    // Every language in the same state: the release's keys exactly, or the
    // rows as they were.
    const bool whole = liveKeys(server, language(0)) == released;
    for (int l = 0; l < Languages; ++l) {
        SCOPED_TRACE(language(l));
        const std::set<std::string> now = liveKeys(server, language(l));
        if (whole) {
            EXPECT_EQ(now, released);
        } else {
            EXPECT_EQ(now, before[static_cast<std::size_t>(l)]);
            EXPECT_TRUE(post(server, "GetObsoletas", json(language(l))).rows.empty());
        }
    }
    // And applied now, it is whole.
    const Answer again = post(server, "AplicaLiberacao", json(file));
    ASSERT_TRUE(again.ok) << again.message;
    for (int l = 0; l < Languages; ++l)
        EXPECT_EQ(liveKeys(server, language(l)), released) << language(l);
    EXPECT_EQ(post(server, "GetObsoletas", json(language(0))).rows.size(), static_cast<std::size_t>(rowsEach / 5));
}

INSTANTIATE_TEST_SUITE_P(Backends, ReleaseProcess, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         [](const auto& info) { return info.param == Backend::Sqlite ? "Sqlite" : "Postgres"; });
