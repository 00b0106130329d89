// The change feed in process: what an answer tells of each save, waiting
// requests answered by a commit, cursors behind memory answered from the
// history or sent to reload, and on PostgreSQL a version that commits after a
// higher one is held back rather than lost.
#include "ChangeFeed.h"
#include "Json.h"
#include "PostgresCluster.h"
#include "Prune.h"
#include "ServerTestKit.h"
#ifdef TRD_HAVE_POSTGRESQL
#include "PostgresConnection.h"
#include "PostgresStorage.h"
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>

using namespace trd::server;
using namespace trd::server::test;
using trd::server::feed::ChangeFeed;
using trd::server::feed::FeedLimits;

namespace {

using namespace std::chrono_literals;

// The answer's text, once its cursor and whether it brings changes are found
// in it as the answer says them: a streamed answer goes on from those alone.
JsonValue parsed(const feed::FeedAnswer& answer)
{
    JsonValue json = parseJson(answer.body);
    const JsonValue* upTo = json.find("ate");
    EXPECT_EQ(answer.upTo, upTo ? static_cast<std::int64_t>(upTo->number()) : -1) << answer.body;
    const JsonValue* list = json.find("alteracoes");
    EXPECT_EQ(answer.changes, list && !list->array().empty()) << answer.body;
    return json;
}

// A request for changes as a client makes it: the answer now, or the one the
// feed gives within `wait` (the request is taken back after it).
JsonValue poll(ChangeFeed& feed, const std::string& language, std::optional<std::int64_t> since,
               std::chrono::milliseconds wait = 30s)
{
    std::mutex m;
    std::condition_variable cv;
    std::optional<feed::FeedAnswer> later;
    std::uint64_t ticket = 0;
    auto now = feed.poll(
        language, since,
        [&](feed::FeedAnswer answer) {
            std::lock_guard lock(m);
            later = std::move(answer);
            cv.notify_all();
        },
        ticket);
    if (now)
        return parsed(*now);
    std::unique_lock lock(m);
    if (!cv.wait_for(lock, wait, [&] { return later.has_value(); })) {
        lock.unlock();
        if (auto taken = feed.cancel(ticket))
            return parsed(*taken);
        lock.lock();
        cv.wait(lock, [&] { return later.has_value(); });
    }
    return parsed(*later);
}

std::int64_t cursor(const JsonValue& answer)
{
    const JsonValue* upTo = answer.find("ate");
    EXPECT_NE(upTo, nullptr) << "an answer without a cursor";
    return upTo ? static_cast<std::int64_t>(upTo->number()) : -1;
}

// Waits until the feed has read every version the database holds.
void caughtUp(ChangeFeed& feed, InProcessServer& server)
{
    ChangeQuery newest;
    newest.after = std::numeric_limits<std::int64_t>::max();
    const std::int64_t last = server.context().sessions().acquire()->readChanges(newest).newest;
    ASSERT_TRUE(feed.waitFor(last, 30s)) << "the feed did not read up to version " << last;
}

const std::vector<JsonValue>& changes(const JsonValue& answer)
{
    static const std::vector<JsonValue> none;
    const JsonValue* list = answer.find("alteracoes");
    return list ? list->array() : none;
}

std::string text(const JsonValue& change, const char* field)
{
    const JsonValue* v = change.find(field);
    return v ? v->string() : std::string("<ausente>");
}

// SetDestino with this delta, as `user` makes it.
void setDestino(InProcessServer& server, const DeltaBuilder& delta, const std::string& user = "ana")
{
    std::vector<JsonValue> params = parseJson("[" + json(delta.xml()) + "]").array();
    AnswerBuffer out;
    Caller caller;
    caller.user = user;
    server.context().service().call("SetDestino", params, out, caller);
}

void save(InProcessServer& server, const TRow& row, std::optional<std::string> dst, std::optional<std::string> status,
          const std::string& user = "ana")
{
    setDestino(server, DeltaBuilder().modify(row, std::move(dst), std::move(status)), user);
}

const TRow Salvar{"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Save", "N"};
const TRow Fechar{"ENG", "TRD09300", "sbtFechar", "&Fechar", "&Close", "T"};
const TRow Nome{"ENG", "TRD09301", "lblNome", "Município", "", "N"};
const TRow Espanhol{"ESP", "TRD09300", "sbtSalvar", "&Salvar", "&Guardar", "T"};

void seedRows(InProcessServer& server)
{
    server.seed({Salvar, Fechar, Nome, Espanhol});
}

} // namespace

TEST(LiveFeed, SettledHorizonWaitsForTheTransactionsThatMayStillCommitLowerIds)
{
    feed::SettledHorizon h;
    ChangeWindow w;
    w.tracksTransactions = true;
    w.newest = 10;
    w.inProgress = {500};
    EXPECT_EQ(h.advance(w), -1) << "a transaction was running at the first reading: nothing is known yet";
    w.newest = 12; // 11 and 12 committed; 500 still runs and may hold 9
    w.inProgress = {500, 501};
    EXPECT_EQ(h.advance(w), -1);
    w.newest = 12;
    w.inProgress = {501, 502}; // 500 ended: everything up to 10 is known, 501 may still hold 11's neighbour
    EXPECT_EQ(h.advance(w), 10);
    EXPECT_TRUE(h.waiting());
    w.newest = 13;
    w.inProgress = {};
    EXPECT_EQ(h.advance(w), 13) << "nothing in progress: what this reading saw is all there is";
    EXPECT_FALSE(h.waiting());
    ChangeWindow sqlite;
    sqlite.newest = 20; // one writer: ids commit in their order
    EXPECT_EQ(h.advance(sqlite), 20);
}

TEST(LiveFeed, AnswersTellEachSaveWithItsRowBeforeAndAfter)
{
    InProcessServer server;
    seedRows(server);
    ChangeFeed& feed = server.context().feed();
    feed.start();
    const std::int64_t start = cursor(poll(feed, "ENG", std::nullopt));

    // A request that waits is answered by the next commit of its language,
    // not by another language's.
    std::mutex m;
    std::condition_variable cv;
    std::optional<feed::FeedAnswer> answered;
    std::uint64_t ticket = 0;
    ASSERT_FALSE(feed.poll(
        "ENG", start,
        [&](feed::FeedAnswer answer) {
            std::lock_guard lock(m);
            answered = std::move(answer);
            cv.notify_all();
        },
        ticket));
    save(server, Espanhol, "&Guardar ya", std::nullopt, "bia");
    ASSERT_TRUE(feed.waitFor(start + 1, 30s));
    EXPECT_EQ(feed.waitingRequests(), 1u) << "a change of another language wakes no one";
    save(server, Salvar, "&Save now", std::nullopt); // N -> T by the client's promotion is the client's; here N stays
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, 30s, [&] { return answered.has_value(); }));
    }
    const JsonValue first = parsed(*answered);
    ASSERT_EQ(changes(first).size(), 1u);
    const JsonValue& typed = changes(first)[0];
    EXPECT_EQ(text(typed, "tipo"), "A");
    EXPECT_EQ(text(typed, "idioma"), "ENG");
    EXPECT_EQ(text(typed, "tela"), "TRD09300");
    EXPECT_EQ(text(typed, "componente"), "sbtSalvar");
    EXPECT_EQ(text(typed, "origem"), "&Salvar");
    EXPECT_EQ(text(typed, "destinoAnterior"), "&Save");
    EXPECT_EQ(text(typed, "destino"), "&Save now");
    EXPECT_EQ(text(typed, "situacaoAnterior"), "N");
    EXPECT_EQ(text(typed, "situacao"), "N");
    EXPECT_EQ(text(typed, "usuario"), "ana");
    EXPECT_DOUBLE_EQ(typed.find("data")->number(), 46000.5);
    EXPECT_EQ(cursor(first), static_cast<std::int64_t>(typed.find("seq")->number()));

    // A status alone, a text and status in one delta, a delete: in order, each
    // with the state it left; the text after a status change is the text it
    // kept, and the deleted row is named by the key it had.
    save(server, {"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Save now", "N"}, std::nullopt, "D");
    save(server, Nome, "Town", "T");
    setDestino(server, DeltaBuilder().remove(Fechar));
    server.setNow(46001.25);
    save(server, {"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Save now", "D"}, "&Save", "T", "bia");
    caughtUp(feed, server);
    const JsonValue rest = poll(feed, "ENG", cursor(first));
    ASSERT_EQ(changes(rest).size(), 4u) << "exactly the four saves after the cursor";
    const auto& c = changes(rest);
    EXPECT_EQ(text(c[0], "destino"), "&Save now");
    EXPECT_EQ(text(c[0], "destinoAnterior"), "&Save now");
    EXPECT_EQ(text(c[0], "situacaoAnterior"), "N");
    EXPECT_EQ(text(c[0], "situacao"), "D");
    EXPECT_EQ(text(c[1], "componente"), "lblNome");
    EXPECT_EQ(text(c[1], "origem"), "Município");
    EXPECT_EQ(text(c[1], "destinoAnterior"), "");
    EXPECT_EQ(text(c[1], "destino"), "Town");
    EXPECT_EQ(text(c[2], "tipo"), "E");
    EXPECT_EQ(text(c[2], "componente"), "sbtFechar");
    EXPECT_EQ(text(c[2], "destinoAnterior"), "&Close");
    EXPECT_EQ(text(c[2], "destino"), "<ausente>");
    // The text after the first status change was the one the later save
    // replaced, not the row's text now.
    EXPECT_EQ(text(c[3], "destinoAnterior"), "&Save now");
    EXPECT_EQ(text(c[3], "destino"), "&Save");
    EXPECT_EQ(text(c[3], "usuario"), "bia");
    EXPECT_DOUBLE_EQ(c[3].find("data")->number(), 46001.25);
    for (std::size_t i = 1; i < c.size(); ++i)
        EXPECT_LT(c[i - 1].find("seq")->number(), c[i].find("seq")->number());

    // A save over a row changed since it was read is refused naming who
    // changed it.
    try {
        save(server, Nome, "Cidade", std::nullopt, "bia");
        ADD_FAILURE() << "a stale save was accepted";
    } catch (const ServerError& e) {
        EXPECT_NE(e.userMessage().find("O registro foi alterado por outro usuário (ana em "), std::string::npos)
            << e.userMessage();
    }

    // Nothing new: the request waits its time and moves the cursor on.
    const JsonValue idle = poll(feed, "ENG", cursor(rest), 50ms);
    EXPECT_TRUE(changes(idle).empty());
    EXPECT_EQ(cursor(idle), feed.horizon());
}

TEST(LiveFeed, ACursorBehindMemoryIsAnsweredFromTheHistoryUntilItIsNoLongerKept)
{
    InProcessServer server;
    seedRows(server);
    FeedLimits limits;
    limits.keptEvents = 2;
    limits.resumeLimit = 10;
    ChangeFeed feed(server.context().backend(), server.context().sessions(), limits);
    feed.start();
    const std::int64_t start = cursor(poll(feed, "ENG", std::nullopt));
    std::string dst = "&Save";
    for (int i = 0; i < 5; ++i) {
        const std::string next = "&Save " + std::to_string(i);
        save(server, {"ENG", "TRD09300", "sbtSalvar", "&Salvar", dst, "N"}, next, std::nullopt);
        dst = next;
    }
    save(server, Espanhol, "&Guardar ya", std::nullopt);
    caughtUp(feed, server);

    // Memory keeps the last two changes; the three before come from the
    // history, then the rest from memory: all five, once each, in order.
    std::vector<std::string> seen;
    std::int64_t at = start;
    for (int round = 0; round < 4 && seen.size() < 5; ++round) {
        const JsonValue a = poll(feed, "ENG", at, 50ms);
        ASSERT_EQ(a.find("recarregar"), nullptr);
        ASSERT_GT(cursor(a), at);
        for (const JsonValue& c : changes(a))
            seen.push_back(text(c, "destino"));
        at = cursor(a);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"&Save 0", "&Save 1", "&Save 2", "&Save 3", "&Save 4"}));

    // More changes behind than a resume reads: reload.
    {
        FeedLimits tight = limits;
        tight.resumeLimit = 3;
        ChangeFeed small(server.context().backend(), server.context().sessions(), tight);
        small.start();
        caughtUp(small, server);
        const JsonValue a = poll(small, "ENG", start);
        ASSERT_NE(a.find("recarregar"), nullptr);
        EXPECT_TRUE(a.find("recarregar")->boolean());
        EXPECT_GE(cursor(a), start + 6);
        EXPECT_NE(text(a, "motivo").find("Recarregue"), std::string::npos);
    }

    // Once the history of those saves is removed, a cursor before them can
    // no longer be served: the client is told to reload, with a cursor to go
    // on from.
    history::pruneHistory(server.context().writer(), 0, 47000);
    const JsonValue gone = poll(feed, "ENG", start);
    ASSERT_NE(gone.find("recarregar"), nullptr);
    EXPECT_GE(cursor(gone), start + 6);
    // A cursor within memory still is.
    EXPECT_EQ(changes(poll(feed, "ENG", start + 4)).size(), 1u);

    // A server started after the pruning (memory empty) still counts from
    // the highest number ever given: a cursor before it is sent to reload,
    // not answered as if nothing had happened since.
    ChangeFeed restarted(server.context().backend(), server.context().sessions(), limits);
    restarted.start();
    caughtUp(restarted, server);
    const JsonValue after = poll(restarted, "ENG", start + 2, 50ms);
    ASSERT_NE(after.find("recarregar"), nullptr);
    EXPECT_GE(cursor(after), start + 6);
    // A cursor ahead of every number given (the database went back to an
    // older copy) is sent to reload once its wait is over.
    const JsonValue ahead = poll(restarted, "ENG", start + 1000, 50ms);
    ASSERT_NE(ahead.find("recarregar"), nullptr);
    EXPECT_EQ(cursor(ahead), start + 6);
}

// An answer is held until its follower reads it, and a follower may never
// read: answers stop at about answerBytes (one change at least), from memory
// as from the history, and the follower takes the rest in the next ones,
// every change once and in order.
TEST(LiveFeed, AnswersAreBoundedInBytesAndTheRestComesInTheNextOnes)
{
    InProcessServer server;
    seedRows(server);
    FeedLimits limits;
    limits.answerBytes = 20000;
    limits.keptEvents = 30; // the oldest come back from the history
    ChangeFeed feed(server.context().backend(), server.context().sessions(), limits);
    feed.start();
    const std::int64_t start = cursor(poll(feed, "ENG", std::nullopt));
    std::string dst = "&Save";
    std::vector<std::string> saved;
    for (int i = 0; i < 40; ++i) {
        // Each change keeps the text before and after: about 6 KB.
        const std::string next = std::to_string(i) + std::string(2990, 'a' + i % 26);
        save(server, {"ENG", "TRD09300", "sbtSalvar", "&Salvar", dst, "N"}, next, std::nullopt);
        saved.push_back(next);
        dst = next;
    }
    caughtUp(feed, server);

    std::vector<std::string> seen;
    std::int64_t at = start;
    for (int round = 0; round < 40 && seen.size() < saved.size(); ++round) {
        const feed::FeedAnswer answer = [&] {
            std::uint64_t ticket = 0;
            auto now = feed.poll(
                "ENG", at, [](feed::FeedAnswer) {}, ticket);
            return now ? *now : feed.cancel(ticket).value_or(feed::FeedAnswer{});
        }();
        ASSERT_FALSE(answer.body.empty());
        EXPECT_LT(answer.body.size(), 20000u + 8000u) << "round " << round;
        const JsonValue a = parsed(answer);
        ASSERT_EQ(a.find("recarregar"), nullptr);
        ASSERT_GT(cursor(a), at);
        for (const JsonValue& c : changes(a))
            seen.push_back(text(c, "destino"));
        at = cursor(a);
    }
    EXPECT_EQ(seen, saved);
}

TEST(LiveFeed, ALargeBurstSendsClientsBehindItToReloadAndGoesOnAfterIt)
{
    InProcessServer server;
    seedRows(server);
    std::vector<TRow> rows;
    for (int i = 0; i < 8; ++i)
        rows.push_back({"ENG", "P", "c" + std::to_string(i), "s" + std::to_string(i), "d", "N"});
    server.seed(rows);
    FeedLimits limits;
    limits.readLimit = 5;
    limits.resumeLimit = 5;
    ChangeFeed feed(server.context().backend(), server.context().sessions(), limits);
    feed.start();
    const std::int64_t start = cursor(poll(feed, "ENG", std::nullopt));
    // One transaction of eight versions: more than a reading takes.
    DeltaBuilder delta;
    for (const TRow& r : rows)
        delta.modify(r, "novo", std::nullopt);
    setDestino(server, delta);
    caughtUp(feed, server);
    const JsonValue behind = poll(feed, "ENG", start);
    ASSERT_NE(behind.find("recarregar"), nullptr);
    // After it, single saves are told again.
    save(server, Salvar, "&Save again", std::nullopt);
    const JsonValue after = poll(feed, "ENG", cursor(behind), 30s);
    ASSERT_EQ(changes(after).size(), 1u);
    EXPECT_EQ(text(changes(after)[0], "destino"), "&Save again");
}

// ---------------------------------------------------------------- PostgreSQL
#ifdef TRD_HAVE_POSTGRESQL

namespace {

class LiveFeedPostgres : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!trd::test::postgresCluster().ready())
            GTEST_SKIP() << "no PostgreSQL server binaries (initdb, pg_ctl) to run a test cluster";
        conninfo = trd::test::postgresCluster().freshDatabase();
        ASSERT_FALSE(conninfo.empty());
        server = std::make_unique<InProcessServer>(std::make_unique<PostgresStorage>(conninfo));
        seedRows(*server);
    }
    std::string conninfo;
    std::unique_ptr<InProcessServer> server;
};

} // namespace

// Another server's save draws version n, and before it commits this server
// commits n + 1. A client told "everything up to n + 1" would never hear of
// n: the feed holds n + 1 back until the transaction holding n has ended.
TEST_F(LiveFeedPostgres, AVersionCommittedAfterAHigherOneIsHeldBackNotLost)
{
    ChangeFeed& feed = server->context().feed();
    feed.start();
    const std::int64_t start = cursor(poll(feed, "ENG", std::nullopt));

    // The other server, by hand: what its writer does for one save, left
    // uncommitted.
    PostgresConnection other(conninfo);
    other.exec("BEGIN; SELECT pg_current_xact_id()");
    std::int64_t row = 0, lastVersion = 0;
    other.run("SELECT IDTRADUCAO, COALESCE(IDULTVERSAO, 0) FROM TRADUCAO WHERE NMCOMPONENTE = 'lblNome' FOR UPDATE", {},
              [&](const PostgresConnection::Row& r) {
                  row = r.integer(0);
                  lastVersion = r.integer(1);
              });
    std::int64_t batch = 0, version = 0;
    other.run("INSERT INTO LOTE (IDIDIOMA, TPLOTE, NMUSUARIO, DTLOTE) VALUES ('ENG', 'E', 'carla', 46000.5) "
              "RETURNING IDLOTE",
              {}, [&](const PostgresConnection::Row& r) { batch = r.integer(0); });
    other.runNullable("INSERT INTO VERSAO (IDLOTE, IDTRADUCAO, IDVERSAOANT, TPALTERACAO, IDSITANT, IDSITTRADUCAO, "
                      "STVALORANT) VALUES ($1, $2, $3, 0, 'N', 'T', '') RETURNING IDVERSAO",
                      {std::to_string(batch), std::to_string(row),
                       lastVersion ? std::optional(std::to_string(lastVersion)) : std::nullopt},
                      [&](const PostgresConnection::Row& r) { version = r.integer(0); });
    other.run("UPDATE TRADUCAO SET STVALORPROP = 'Town', IDSITTRADUCAO = 'T', IDULTVERSAO = $1 WHERE IDTRADUCAO = $2",
              {std::to_string(version), std::to_string(row)});
    other.run("UPDATE LOTE SET NRLINHAS = 1, IDVERSAOINI = $1 WHERE IDLOTE = $2",
              {std::to_string(version), std::to_string(batch)});

    // This server's save commits the next id first.
    save(*server, Salvar, "&Save now", std::nullopt);
    const JsonValue early = poll(feed, "ENG", start, 300ms);
    EXPECT_TRUE(changes(early).empty()) << "the higher version must wait for the lower one";
    EXPECT_LT(cursor(early), version) << "the cursor must not pass a version that may still commit";
    EXPECT_LT(feed.horizon(), version);

    other.exec("COMMIT");
    const JsonValue both = poll(feed, "ENG", cursor(early), 30s);
    ASSERT_EQ(changes(both).size(), 2u);
    EXPECT_EQ(static_cast<std::int64_t>(changes(both)[0].find("seq")->number()), version);
    EXPECT_EQ(text(changes(both)[0], "destino"), "Town");
    EXPECT_EQ(text(changes(both)[0], "usuario"), "carla");
    EXPECT_EQ(text(changes(both)[1], "destino"), "&Save now");
    try {
        save(*server, Nome, "Cidade", std::nullopt, "bia");
        ADD_FAILURE() << "a stale save was accepted";
    } catch (const ServerError& e) {
        EXPECT_NE(e.userMessage().find("alterado por outro usuário (carla em "), std::string::npos) << e.userMessage();
    }
}

// A transaction that drew an id and rolled back never commits it: the feed
// goes on without a new commit to wake it.
TEST_F(LiveFeedPostgres, AnIdRolledBackDoesNotHoldTheFeedForever)
{
    ChangeFeed& feed = server->context().feed();
    feed.start();
    const std::int64_t start = cursor(poll(feed, "ENG", std::nullopt));
    PostgresConnection other(conninfo);
    other.exec("BEGIN; SELECT pg_current_xact_id()");
    other.run("INSERT INTO VERSAO (IDLOTE, IDTRADUCAO, TPALTERACAO) VALUES (0, 0, 0)", {});
    save(*server, Salvar, "&Save now", std::nullopt);
    EXPECT_TRUE(changes(poll(feed, "ENG", start, 200ms)).empty());
    other.exec("ROLLBACK");
    const JsonValue a = poll(feed, "ENG", start, 30s);
    ASSERT_EQ(changes(a).size(), 1u);
    EXPECT_EQ(text(changes(a)[0], "destino"), "&Save now");
}
#endif
