// The change feed through the real trd-server: a waiting request answered by
// another client's save, waiting requests counted against the address's
// connections and answered when the server stops, a dropped request or a
// restarted server resumed from the cursor without losing a save, refusals,
// and two servers on one PostgreSQL database.
#include "Json.h"
#include "PostgresCluster.h"
#include "ServerTestKit.h"
#include "TrdServerProcess.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

using namespace trd::server;
using namespace trd::server::test;
using trd::test::TrdServerProcess;

namespace {

// A server that refuses a request (503) may close its connection before the
// request was written whole; the write then fails with EPIPE, as a client's
// does, instead of ending the test process.
const bool kWritesToClosedSocketsFail = (std::signal(SIGPIPE, SIG_IGN), true);

const QByteArray Seed = "L\tENG\tInglês\tPOR\n"
                        "L\tESP\tEspanhol\tPOR\n"
                        "R\tENG\tTRD09300\tsbtSalvar\t&Salvar\t&Save\tN\n"
                        "R\tENG\tTRD09300\tsbtFechar\t&Fechar\t&Close\tT\n"
                        "R\tENG\tTRD09301\tlblNome\tMunicípio\t\tN\n"
                        "R\tESP\tTRD09300\tsbtSalvar\t&Salvar\t&Guardar\tT\n";

TrdServerProcess::Options seeded(QStringList args = {}, QString pg = {})
{
    TrdServerProcess::Options o;
    o.seedTsv = Seed;
    o.extraArgs = std::move(args);
    o.pg = std::move(pg);
    return o;
}

struct FeedAnswer {
    int status = 0; // 0: no answer (transport failure)
    JsonValue body;
    std::int64_t cursor() const
    {
        const JsonValue* upTo = body.find("ate");
        return upTo ? static_cast<std::int64_t>(upTo->number()) : -1;
    }
    std::vector<std::string> destinations() const
    {
        std::vector<std::string> out;
        if (const JsonValue* list = body.find("alteracoes"))
            for (const JsonValue& c : list->array())
                out.push_back(c.find("destino") ? c.find("destino")->string() : std::string("<excluída>"));
        return out;
    }
};

std::string feedPath(const std::string& language, std::optional<std::int64_t> since, int waitS)
{
    std::string path = "/Trd09300.rdmTraducao/alteracoes?idioma=" + language;
    if (since)
        path += "&desde=" + std::to_string(*since);
    return path + "&espera=" + std::to_string(waitS);
}

// One request for changes on a connection of its own.
FeedAnswer follow(int port, const std::string& language, std::optional<std::int64_t> since, int waitS = 60,
                  const std::string& token = {})
{
    httplib::Client http("127.0.0.1", port);
    http.set_read_timeout(waitS + 60, 0);
    httplib::Headers headers;
    if (!token.empty())
        headers.emplace("Authorization", "Bearer " + token);
    FeedAnswer answer;
    auto res = http.Get(feedPath(language, since, waitS), headers);
    if (!res)
        return answer;
    answer.status = res->status;
    answer.body = parseJson(res->body);
    return answer;
}

// A client that saves, on one kept-alive connection.
class Saver {
public:
    explicit Saver(int port) : m_http("127.0.0.1", port) { m_http.set_read_timeout(60, 0); }
    Answer save(const TRow& row, const std::string& dst)
    {
        auto res = m_http.Post("/Trd09300.rdmTraducao",
                               request("SetDestino", json(DeltaBuilder().modify(row, dst).xml())), "application/json");
        return res ? parseAnswer(res->body) : Answer{false, -1, "transport failure", {}, {}};
    }

private:
    httplib::Client m_http;
};

const TRow Salvar{"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Save", "N"};
const TRow Fechar{"ENG", "TRD09300", "sbtFechar", "&Fechar", "&Close", "T"};
const TRow Nome{"ENG", "TRD09301", "lblNome", "Município", "", "N"};

// Sends a request for changes and drops the connection without reading the
// answer, as a client whose network goes away.
void followAndDrop(int port, const std::string& path)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const std::string req = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    ASSERT_EQ(::send(fd, req.data(), req.size(), 0), static_cast<ssize_t>(req.size()));
    ::usleep(100 * 1000);
    ::close(fd);
}

} // namespace

TEST(LiveFeedProcess, AWaitingRequestIsAnsweredByAnotherClientsSave)
{
    TrdServerProcess server(seeded());
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const int port = server.port();
    const std::int64_t start = follow(port, "ENG", std::nullopt).cursor();
    ASSERT_GE(start, 0);

    auto first = std::async(std::launch::async, [&] { return follow(port, "ENG", start); });
    auto second = std::async(std::launch::async, [&] { return follow(port, "ENG", start); });
    auto spanish = std::async(std::launch::async, [&] { return follow(port, "ESP", start, 2); });
    ASSERT_EQ(first.wait_for(std::chrono::milliseconds(500)), std::future_status::timeout);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(Saver(port).save(Fechar, "&Close it").ok);
    const FeedAnswer a = first.get();
    const FeedAnswer b = second.get();
    EXPECT_LT(clock.elapsed(), 30000) << "answered by the save, not at the end of the wait";
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.destinations(), std::vector<std::string>{"&Close it"});
    EXPECT_EQ(b.destinations(), std::vector<std::string>{"&Close it"});
    EXPECT_GT(a.cursor(), start);
    // Another language's follower waits its time and gets only a cursor.
    const FeedAnswer c = spanish.get();
    EXPECT_EQ(c.status, 200);
    EXPECT_TRUE(c.destinations().empty());
    EXPECT_GE(c.cursor(), a.cursor());
}

// Waiting requests hold connections of their address for minutes: they may
// take half of them, so the address's calls and /health always find room
// (an office behind one address reaches the limit with its editors alone).
TEST(LiveFeedProcess, WaitingRequestsTakeAtMostHalfTheirAddresssConnectionsAndAreAnsweredWhenTheServerStops)
{
    TrdServerProcess server(seeded({"--max-per-address", "4"}));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const int port = server.port();
    ::usleep(300 * 1000); // the start-up check's connection is counted out
    // A cursor ahead of the server (one a client brought from another): the
    // requests wait for changes after it.
    const std::int64_t ahead = 1000000;
    std::vector<std::future<FeedAnswer>> waiting;
    for (int i = 0; i < 2; ++i)
        waiting.push_back(std::async(std::launch::async, [&] { return follow(port, "ENG", ahead); }));
    ASSERT_EQ(waiting[0].wait_for(std::chrono::milliseconds(500)), std::future_status::timeout);
    ASSERT_EQ(waiting[1].wait_for(std::chrono::milliseconds(500)), std::future_status::timeout);

    const FeedAnswer third = follow(port, "ENG", ahead);
    EXPECT_EQ(third.status, 503);
    const JsonValue* error = third.body.find("error");
    ASSERT_NE(error, nullptr);
    EXPECT_NE(error->find("message")->string().find("em espera demais deste endereço (limite 2)"), std::string::npos);
    // The other two connections of the address serve its calls.
    httplib::Client health("127.0.0.1", port), call("127.0.0.1", port);
    auto healthy = health.Get("/health");
    ASSERT_TRUE(healthy);
    EXPECT_EQ(healthy->status, 200) << healthy->body;
    auto answered = call.Post("/Trd09300.rdmTraducao", request("GetDataHoraServ", ""), "application/json");
    ASSERT_TRUE(answered);
    EXPECT_TRUE(parseAnswer(answered->body).ok) << answered->body;

    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(server.terminate());
    for (auto& w : waiting) {
        const FeedAnswer stopped = w.get();
        EXPECT_EQ(stopped.status, 200);
        EXPECT_TRUE(stopped.destinations().empty());
        EXPECT_EQ(stopped.cursor(), ahead);
    }
    EXPECT_LT(clock.elapsed(), 20000) << "the server does not wait for the requests' time to run out";
}

// A client that goes while its request waits gives its place back at once,
// not when the wait runs out: the address can wait again straight away.
TEST(LiveFeedProcess, AWaitingRequestWhoseClientClosedIsDroppedAtOnce)
{
    TrdServerProcess server(seeded({"--max-per-address", "4"}));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const int port = server.port();
    const std::int64_t start = follow(port, "ENG", std::nullopt).cursor();
    ASSERT_GE(start, 0);
    for (int i = 0; i < 2; ++i)
        followAndDrop(port, feedPath("ENG", start, 120));
    QElapsedTimer clock;
    clock.start();
    while (server.log().count("cliente desconectou durante a espera") < 2 && clock.elapsed() < 30000)
        ::usleep(50 * 1000);
    EXPECT_EQ(server.log().count("cliente desconectou durante a espera"), 2) << server.log().toStdString();

    std::vector<std::future<FeedAnswer>> again;
    for (int i = 0; i < 2; ++i)
        again.push_back(std::async(std::launch::async, [&] { return follow(port, "ENG", start); }));
    ASSERT_EQ(again[0].wait_for(std::chrono::milliseconds(500)), std::future_status::timeout);
    ASSERT_TRUE(Saver(port).save(Fechar, "&Close now").ok);
    for (auto& a : again) {
        const FeedAnswer got = a.get();
        EXPECT_EQ(got.status, 200);
        EXPECT_EQ(got.destinations(), std::vector<std::string>{"&Close now"});
    }
}

TEST(LiveFeedProcess, ADroppedRequestOrARestartedServerResumesFromTheCursorWithoutLosingASave)
{
    TrdServerProcess server(seeded());
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const std::int64_t start = follow(server.port(), "ENG", std::nullopt).cursor();
    ASSERT_GE(start, 0);

    // The request goes, the network drops it, saves go on meanwhile.
    followAndDrop(server.port(), feedPath("ENG", start, 60));
    {
        Saver saver(server.port());
        ASSERT_TRUE(saver.save(Salvar, "&Save one").ok);
        ASSERT_TRUE(saver.save(Nome, "Town").ok);
    }
    // A save is told once its commit notice has reached the feed, which may
    // be a moment after the saver's answer: what is missing comes next time.
    std::vector<std::string> resumed;
    for (std::int64_t at = start; resumed.size() < 2;) {
        const FeedAnswer a = follow(server.port(), "ENG", at, 5);
        ASSERT_EQ(a.status, 200);
        const auto got = a.destinations();
        ASSERT_FALSE(got.empty()) << "a save made while the request was away was not told";
        resumed.insert(resumed.end(), got.begin(), got.end());
        at = a.cursor();
    }
    EXPECT_EQ(resumed, (std::vector<std::string>{"&Save one", "Town"}));

    // A crash empties the server's memory: the cursor is served from the
    // history, the save made while the client was away included.
    server.kill9();
    ASSERT_TRUE(server.restart()) << server.errorString().toStdString();
    {
        Saver saver(server.port());
        ASSERT_TRUE(saver.save({"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Save one", "N"}, "&Save two").ok);
    }
    std::vector<std::string> all;
    std::int64_t at = start;
    for (int i = 0; i < 3 && all.size() < 3; ++i) {
        const FeedAnswer a = follow(server.port(), "ENG", at, 1);
        ASSERT_EQ(a.status, 200);
        ASSERT_EQ(a.body.find("recarregar"), nullptr);
        const auto got = a.destinations();
        all.insert(all.end(), got.begin(), got.end());
        at = a.cursor();
    }
    EXPECT_EQ(all, (std::vector<std::string>{"&Save one", "Town", "&Save two"}));
}

// A streamed answer (fluxo=S) as it arrives: each line, parsed, as soon as
// it is whole; `enough` says when to drop the connection (true: stop).
struct Streamed {
    std::mutex mutex;
    std::vector<FeedAnswer> lines;
    std::string pending;
    std::string transferEncoding;
    int status = 0;
    std::size_t count()
    {
        std::lock_guard lock(mutex);
        return lines.size();
    }
};

void followStreamed(int port, std::int64_t since, int waitS, Streamed& out, std::size_t dropAfter)
{
    httplib::Client http("127.0.0.1", port);
    http.set_read_timeout(waitS + 30, 0);
    auto res = http.Get(
        feedPath("ENG", since, waitS) + "&fluxo=S", httplib::Headers{},
        [&](const httplib::Response& head) {
            out.status = head.status;
            out.transferEncoding = head.get_header_value("Transfer-Encoding");
            return true;
        },
        [&](const char* data, std::size_t size) {
            std::lock_guard lock(out.mutex);
            out.pending.append(data, size);
            for (std::size_t end; (end = out.pending.find('\n')) != std::string::npos;) {
                FeedAnswer a;
                a.status = out.status;
                a.body = parseJson(out.pending.substr(0, end));
                out.lines.push_back(std::move(a));
                out.pending.erase(0, end + 1);
            }
            return out.lines.size() < dropAfter;
        });
    (void)res;
}

bool waitUntil(const std::function<bool()>& done, int ms = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
}

// One answer for the whole wait: each save a line of its own as it comes,
// in order; a connection dropped midway resumes from the last line's
// cursor, and what was saved meanwhile comes first, then the answer ends
// with the wait, a line that only moves the cursor.
TEST(LiveFeedProcess, AStreamedAnswerTellsEverySaveInOrderAcrossADroppedConnection)
{
    TrdServerProcess server(seeded());
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const int port = server.port();
    const std::int64_t start = follow(port, "ENG", std::nullopt).cursor();
    ASSERT_GE(start, 0);
    Saver saver(port);

    Streamed first;
    std::thread reader([&] { followStreamed(port, start, 60, first, 2); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(saver.save(Salvar, "&Save one").ok);
    EXPECT_TRUE(waitUntil([&] { return first.count() == 1; })) << "the first save was not told while the answer lasts";
    ASSERT_TRUE(saver.save(Fechar, "&Close one").ok);
    reader.join(); // the second line came: the client drops the connection
    ASSERT_EQ(first.lines.size(), 2u);
    EXPECT_EQ(first.status, 200);
    EXPECT_EQ(first.transferEncoding, "chunked");
    EXPECT_EQ(first.lines[0].destinations(), std::vector<std::string>{"&Save one"});
    EXPECT_EQ(first.lines[1].destinations(), std::vector<std::string>{"&Close one"});
    EXPECT_GT(first.lines[1].cursor(), first.lines[0].cursor());

    // Saved while no request was there.
    ASSERT_TRUE(saver.save(Nome, "Town").ok);
    ASSERT_TRUE(saver.save({"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Save one", "N"}, "&Save two").ok);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    Streamed second;
    followStreamed(port, first.lines[1].cursor(), 1, second, 100);
    ASSERT_GE(second.lines.size(), 2u);
    std::vector<std::string> resumed;
    std::int64_t at = first.lines[1].cursor();
    for (const FeedAnswer& line : second.lines) {
        EXPECT_GE(line.cursor(), at);
        at = line.cursor();
        const auto got = line.destinations();
        resumed.insert(resumed.end(), got.begin(), got.end());
    }
    EXPECT_EQ(resumed, (std::vector<std::string>{"Town", "&Save two"}));
    EXPECT_TRUE(second.lines.back().destinations().empty()) << "the answer ends with the wait, moving the cursor only";
    EXPECT_TRUE(second.pending.empty());

    // A plain request after the stream is answered as before, on the number reached.
    const FeedAnswer plain = follow(port, "ENG", at, 0);
    EXPECT_EQ(plain.status, 200);
    EXPECT_EQ(plain.cursor(), at);
}

TEST(LiveFeedProcess, RefusesARequestWithoutASessionOrWithBadParameters)
{
    QTemporaryDir dir;
    const QString users = dir.filePath("trd.users");
    {
        QProcess add;
        add.start(TrdServerProcess::binaryPath(), {"user", "add", "ana", "--users", users});
        ASSERT_TRUE(add.waitForStarted(10000));
        add.write("segredo-1\n");
        add.closeWriteChannel();
        ASSERT_TRUE(add.waitForFinished(30000));
        ASSERT_EQ(add.exitCode(), 0);
    }
    TrdServerProcess server(seeded({"--users", users}));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const FeedAnswer anonymous = follow(server.port(), "ENG", std::nullopt);
    EXPECT_EQ(anonymous.status, 401);
    EXPECT_EQ(anonymous.body.find("error")->find("code")->number(), -32001);

    httplib::Client http("127.0.0.1", server.port());
    auto res = http.Post("/Trd09300.rdmTraducao", request("Login", "\"ana\",\"segredo-1\""), "application/json");
    ASSERT_TRUE(res);
    const std::string token = parseJson(res->body).find("result")->string();
    const FeedAnswer admitted = follow(server.port(), "ENG", std::nullopt, 1, token);
    EXPECT_EQ(admitted.status, 200);
    EXPECT_GE(admitted.cursor(), 0);

    httplib::Headers bearer{{"Authorization", "Bearer " + token}};
    for (const std::string query : {"idioma=EN", "idioma=ENG&desde=-1", "idioma=ENG&espera=999", "idioma=ENG&x=1",
                                    "desde=3", "idioma=ENG&idioma=ESP"}) {
        auto bad = http.Get("/Trd09300.rdmTraducao/alteracoes?" + query, bearer);
        ASSERT_TRUE(bad) << query;
        EXPECT_EQ(bad->status, 400) << query;
        EXPECT_EQ(parseJson(bad->body).find("error")->find("code")->number(), -32602) << query;
    }
    // A page of another site cannot follow a loopback server's changes.
    auto foreign = http.Get("/Trd09300.rdmTraducao/alteracoes?idioma=ENG",
                            {{"Authorization", "Bearer " + token}, {"Origin", "http://example.com"}});
    ASSERT_TRUE(foreign);
    EXPECT_EQ(foreign->status, 403);
}

// Rights are those of the moment a change goes out: a follower removed, or
// whose session ran out, while its request waited is refused instead of
// being told the colleagues' saves.
TEST(LiveFeedProcess, AWaitingRequestOfARemovedOrExpiredUserGetsNoChanges)
{
    QTemporaryDir dir;
    const QString users = dir.filePath("trd.users");
    const auto userCommand = [&](const QStringList& args) {
        QProcess p;
        p.start(TrdServerProcess::binaryPath(), QStringList{"user"} + args + QStringList{"--users", users});
        EXPECT_TRUE(p.waitForStarted(10000));
        p.write("segredo-1\n");
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(30000));
        return p.exitCode();
    };
    for (const char* name : {"ana", "bia", "caio"})
        ASSERT_EQ(userCommand({"add", name}), 0);
    TrdServerProcess server(seeded({"--users", users, "--session-timeout", "6"}));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const auto login = [&](const char* name) {
        httplib::Client http("127.0.0.1", server.port());
        auto res = http.Post("/Trd09300.rdmTraducao", request("Login", std::string("\"") + name + "\",\"segredo-1\""),
                             "application/json");
        return res ? parseJson(res->body).find("result")->string() : std::string();
    };
    const std::string bia = login("bia");
    const std::string caio = login("caio");
    ASSERT_FALSE(bia.empty());
    const std::int64_t start = follow(server.port(), "ENG", std::nullopt, 1, bia).cursor();
    ASSERT_GE(start, 0);
    auto removed = std::async(std::launch::async, [&] { return follow(server.port(), "ENG", start, 60, bia); });
    auto expiring = std::async(std::launch::async, [&] { return follow(server.port(), "ENG", start, 60, caio); });
    ASSERT_EQ(removed.wait_for(std::chrono::milliseconds(500)), std::future_status::timeout);
    ASSERT_EQ(userCommand({"remove", "bia"}), 0);
    // caio's session, six seconds long, ends while his request waits.
    ::sleep(7);

    httplib::Client http("127.0.0.1", server.port());
    auto saved =
        http.Post("/Trd09300.rdmTraducao", {{"Authorization", "Bearer " + login("ana")}},
                  request("SetDestino", json(DeltaBuilder().modify(Fechar, "&Close it").xml())), "application/json");
    ASSERT_TRUE(saved);
    ASSERT_TRUE(parseAnswer(saved->body).ok) << saved->body;
    for (auto* waiting : {&removed, &expiring}) {
        const FeedAnswer a = waiting->get();
        EXPECT_EQ(a.status, 401);
        EXPECT_TRUE(a.destinations().empty());
        const JsonValue* error = a.body.find("error");
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->find("code")->number(), -32001);
    }
}

TEST(LiveFeedProcess, TwoServersOnOnePostgresDatabaseTellEachOthersSaves)
{
    if (!trd::test::postgresCluster().ready())
        GTEST_SKIP() << "no PostgreSQL server binaries (initdb, pg_ctl) to run a test cluster";
    const QString conninfo = QString::fromStdString(trd::test::postgresCluster().freshDatabase());
    TrdServerProcess one(seeded({}, conninfo));
    ASSERT_TRUE(one.isRunning()) << one.errorString().toStdString();
    TrdServerProcess::Options second;
    second.pg = conninfo;
    TrdServerProcess two(second);
    ASSERT_TRUE(two.isRunning()) << two.errorString().toStdString();

    const std::int64_t atTwo = follow(two.port(), "ENG", std::nullopt).cursor();
    const std::int64_t atOne = follow(one.port(), "ENG", std::nullopt).cursor();
    auto onTwo = std::async(std::launch::async, [&] { return follow(two.port(), "ENG", atTwo); });
    auto onOne = std::async(std::launch::async, [&] { return follow(one.port(), "ENG", atOne); });
    ASSERT_EQ(onTwo.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(Saver(one.port()).save(Salvar, "&Save via one").ok);
    const FeedAnswer heardByTwo = onTwo.get();
    EXPECT_LT(clock.elapsed(), 30000);
    EXPECT_EQ(heardByTwo.destinations(), std::vector<std::string>{"&Save via one"});
    EXPECT_EQ(onOne.get().destinations(), std::vector<std::string>{"&Save via one"});

    // And the other way, a cursor of one server taken to the other.
    ASSERT_TRUE(
        Saver(two.port()).save({"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Save via one", "N"}, "&Save via two").ok);
    const FeedAnswer crossed = follow(one.port(), "ENG", heardByTwo.cursor());
    EXPECT_EQ(crossed.destinations(), std::vector<std::string>{"&Save via two"});
}
