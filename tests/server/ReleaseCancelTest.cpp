// The apply of a release followed and cancelled, on both back ends: a cancel
// asked for in the middle of an apply (one language written in its
// transaction, the next one being read) and one asked for while the apply
// waits for the writer leave every table exactly as it was; the progress
// method tells the steps; once the apply is committing a cancel is refused
// and the release is all there.
#include "PostgresCluster.h"
#ifdef TRD_HAVE_POSTGRESQL
#include "PostgresConnection.h"
#include "PostgresStorage.h"
#endif
#include "ReleaseApply.h"
#include "ServerTestKit.h"
#include "TestBackends.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

using namespace trd::server;
using namespace trd::server::test;

namespace {

const std::vector<TRow> Seed = {
    {"ENG", "TRD09300", "sbtSalvar", "Salvar registro", "Save record", "T"},
    {"ENG", "TRD09300", "lblCancelar", "Cancelar", "Cancel", "T"},
    {"ENG", "TRD09300", "lblFechar", "Fechar", "Close", "D"},
    {"ENG", "TRD09300", "lblAjuda", "Ajuda", "Help", "T"},
    {"ESP", "TRD09300", "sbtSalvar", "Salvar registro", "Guardar registro", "D"},
    {"ESP", "TRD09300", "lblCancelar", "Cancelar", "Cancelar", "T"},
    {"ESP", "TRD09300", "lblFechar", "Fechar", "Cerrar", "T"},
    {"ESP", "TRD09300", "lblAjuda", "Ajuda", "", "N"},
};

// Changes both languages: a rewording, a row leaving, a new one.
const std::string Release = "TRD09300\tsbtSalvar\tSalvar o registro\n"
                            "TRD09300\tlblFechar\tFechar\n"
                            "TRD09300\tlblAjuda\tAjuda\n"
                            "TRD09400\tlblNova\tTexto novo\n";

class ReleaseCancel : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        std::string skip;
        server = inProcessServerOn(GetParam(), skip, &conninfo);
        if (!server)
            GTEST_SKIP() << skip;
        server->seed(Seed, 45000.25);
        server->setNow(46000.5);
    }

    // Every table's rows, each as text, sorted, the table's name before them:
    // what a rolled-back apply must leave as it found.
    std::string dump()
    {
        std::vector<std::string> lines;
        if (GetParam() == Backend::Sqlite) {
            sqlite3* db = nullptr;
            EXPECT_EQ(sqlite3_open_v2(server->path().c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
            std::vector<std::string> tables;
            each(db, "SELECT name, sql FROM sqlite_master ORDER BY name", [&](sqlite3_stmt* st) {
                const std::string name = text(st, 0);
                lines.push_back("schema " + name + " " + text(st, 1));
                if (sqlite3_column_type(st, 1) != SQLITE_NULL && text(st, 1).rfind("CREATE TABLE", 0) == 0)
                    tables.push_back(name);
            });
            for (const std::string& t : tables)
                each(db, "SELECT * FROM \"" + t + "\"", [&](sqlite3_stmt* st) {
                    std::string line = t + ":";
                    for (int c = 0; c < sqlite3_column_count(st); ++c)
                        line += (sqlite3_column_type(st, c) == SQLITE_NULL ? std::string("NULL") : text(st, c)) + "|";
                    lines.push_back(line);
                });
            sqlite3_close(db);
        } else {
#ifdef TRD_HAVE_POSTGRESQL
            // Sequences are left out: PostgreSQL never takes back a number
            // drawn, committed or not (a gap in the ids, no data).
            PostgresConnection db(conninfo);
            std::vector<std::string> tables;
            db.run("SELECT table_name FROM information_schema.tables WHERE table_schema = current_schema() "
                   "AND table_type = 'BASE TABLE' ORDER BY 1",
                   {}, [&](const PostgresConnection::Row& r) { tables.emplace_back(r.text(0)); });
            for (const std::string& t : tables)
                db.run("SELECT t::text FROM \"" + t + "\" t", {},
                       [&](const PostgresConnection::Row& r) { lines.push_back(t + ":" + std::string(r.text(0))); });
#endif
        }
        std::sort(lines.begin(), lines.end());
        std::string all;
        for (const std::string& l : lines)
            all += l + "\n";
        return all;
    }

    static std::string text(sqlite3_stmt* st, int c)
    {
        const auto* p = sqlite3_column_text(st, c);
        return p ? std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(sqlite3_column_bytes(st, c)))
                 : std::string();
    }
    static void each(sqlite3* db, const std::string& sql, const std::function<void(sqlite3_stmt*)>& row)
    {
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        while (sqlite3_step(st) == SQLITE_ROW)
            row(st);
        sqlite3_finalize(st);
    }

    std::string progress(const std::string& token, const std::string& field)
    {
        const Answer a = server->call("GetProgressoLiberacao", json(token));
        EXPECT_TRUE(a.ok) << a.message;
        return a.ok && !a.rows.empty() ? a.rows.front().at(field) : std::string();
    }

    std::string conninfo;
    std::unique_ptr<InProcessServer> server;
};

} // namespace

TEST_P(ReleaseCancel, ACancelInTheMiddleOfTheApplyLeavesEveryTableAsItWas)
{
    const std::string before = dump();
    ASSERT_NE(before.find("Save record"), std::string::npos) << "the dump reads the rows";
    release::ReleaseRequest request;
    request.file = Release;
    request.confirm = true;
    release::ReleaseProgress progress;
    std::vector<std::string> seen;
    // ENG has been written inside the transaction; ESP is being read when the cancel comes.
    progress.onStep = [&](const release::ApplySnapshot& s) {
        seen.push_back(std::string(release::phaseName(s.phase)) + " " + s.language + " "
                       + std::to_string(s.languagesDone) + "/" + std::to_string(s.languages));
        if (s.language == "ESP" && s.phase == release::ApplyPhase::Reading) {
            EXPECT_TRUE(progress.cancel());
        }
    };
    try {
        release::applyRelease(server->context().writer(), {"ENG", "ESP"}, request, &progress);
        FAIL() << "a cancelled apply went through";
    } catch (const ServerError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Conflict);
        EXPECT_EQ(e.userMessage(), "A aplicação da liberação foi cancelada: nada foi aplicado.");
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"lendo ENG 0/2", "gravando ENG 0/2", "lendo ESP 1/2"}));
    EXPECT_EQ(dump(), before);
    // Too late once committing: the same release, uncancelled, is all there.
    release::ReleaseProgress whole;
    whole.onStep = [&](const release::ApplySnapshot&) {};
    const release::ReleaseOutcome done =
        release::applyRelease(server->context().writer(), {"ENG", "ESP"}, request, &whole);
    EXPECT_EQ(whole.snapshot().phase, release::ApplyPhase::Committing);
    EXPECT_FALSE(whole.cancel()) << "past the last check nothing can be taken back";
    ASSERT_EQ(done.languages.size(), 2u);
    EXPECT_NE(done.languages[0].batch, 0);
    EXPECT_NE(done.languages[1].batch, 0);
    EXPECT_NE(dump(), before);
}

TEST_P(ReleaseCancel, TheMethodsFollowAnApplyAndCancelItWhileItWaitsForTheWriter)
{
    const std::string before = dump();
    EXPECT_EQ(progress("t-1", "STETAPA"), "desconhecida");
    // Another write holds the writer: the apply waits for it, cancellable.
    std::mutex m;
    std::condition_variable cv;
    bool holding = false, letGo = false;
    std::thread holder([&] {
        server->context().writer().runExclusive([&](StorageWriter&) {
            std::unique_lock lock(m);
            holding = true;
            cv.notify_all();
            cv.wait(lock, [&] { return letGo; });
        });
    });
    {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return holding; });
    }
    auto apply = std::async(std::launch::async, [&] {
        return server->call("AplicaLiberacao", json(Release) + ",70,30,\"S\",\"S\",\"t-1\"");
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (progress("t-1", "STETAPA") != "aguardando" && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(progress("t-1", "STETAPA"), "aguardando");
    // A second apply under the same token is refused while the first runs.
    const Answer twice = server->call("AplicaLiberacao", json(Release) + ",70,30,\"S\",\"S\",\"t-1\"");
    EXPECT_FALSE(twice.ok);
    EXPECT_NE(twice.message.find("em curso"), std::string::npos) << twice.message;

    const Answer cancel = server->call("CancelaLiberacao", json("t-1"));
    ASSERT_TRUE(cancel.ok) << cancel.message;
    EXPECT_EQ(cancel.rows.at(0).at("FLCANCELADA"), "S");
    {
        const std::lock_guard lock(m);
        letGo = true;
    }
    cv.notify_all();
    holder.join();
    const Answer applied = apply.get();
    EXPECT_FALSE(applied.ok);
    EXPECT_EQ(applied.message, "A aplicação da liberação foi cancelada: nada foi aplicado.");
    EXPECT_EQ(progress("t-1", "STETAPA"), "cancelada");
    EXPECT_EQ(dump(), before);

    // A token with characters outside the plain set is refused before anything.
    EXPECT_FALSE(server->call("GetProgressoLiberacao", json("a b")).ok);
    // Run to its end, the apply says so, and a cancel then comes too late.
    const Answer ok = server->call("AplicaLiberacao", json(Release) + ",70,30,\"S\",\"S\",\"t-2\"");
    ASSERT_TRUE(ok.ok) << ok.message;
    EXPECT_EQ(progress("t-2", "STETAPA"), "aplicada");
    EXPECT_EQ(progress("t-2", "NRFEITOS"), "2");
    const Answer late = server->call("CancelaLiberacao", json("t-2"));
    ASSERT_TRUE(late.ok) << late.message;
    EXPECT_EQ(late.rows.at(0).at("FLCANCELADA"), "N");
    EXPECT_NE(dump(), before);
}

INSTANTIATE_TEST_SUITE_P(Backends, ReleaseCancel, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendName);
