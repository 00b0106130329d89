// Following the change feed against a real trd-server: each save of the
// language delivered in order with its row before and after, nothing of
// another language; a killed and restarted server resumed from the last
// number without losing a save; a first number that comes late asks for a
// reload; a refused session told and renewed; Stop ends a waiting request at
// once; a server without the feed is "unavailable", not broken; answers that
// are not the feed's are refused.
#include "ChangeFeedClient.h"
#include "ServerCalls.h"
#include "TClientDataSet.h"
#include "TSocketConnection.h"
#include "TrdServerProcess.h"

#include <httplib.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

using namespace trd;
using trd::test::TrdServerProcess;

namespace {

const QByteArray kSeed = "L\tENG\tInglês\tPOR\n"
                         "L\tESP\tEspanhol\tPOR\n"
                         "R\tENG\tTRD09300\tsbtSalvar\t&Salvar\t&Save\tN\n"
                         "R\tENG\tTRD09300\tsbtFechar\t&Fechar\t&Close\tT\n"
                         "R\tESP\tTRD09300\tsbtSalvar\t&Salvar\t&Guardar\tT\n";
constexpr int kEspera = 30000;

ChangeFeedClient::Endpoint at(int port)
{
    ChangeFeedClient::Endpoint e;
    e.port = port;
    e.objectPath = QLatin1Char('/') + ServerNameTraducao;
    return e;
}

// Saves one destination text as the editor does (read, edit, post, delta).
void save(int port, const QString& language, const QString& source, const QString& text, QByteArray token = {})
{
    TSocketConnection c;
    c.Port = port;
    c.ServerName = ServerNameTraducao;
    c.SessionToken = [token] { return token; };
    TClientDataSet rows;
    rows.SetData(c.AppServer()
                     .Call(metodo::GetDestino,
                           {QStringLiteral("T"), QStringLiteral("D"), QStringLiteral("N"), language, TDateTime(0),
                            TDateTime(0), QString()})
                     .Packet);
    ASSERT_TRUE(rows.Locate(QStringLiteral("STAGRVALPROP"), {source}));
    rows.Edit();
    rows.FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(text);
    rows.Post();
    c.AppServer().Call(metodo::SetDestino, {rows.Delta()});
}

// What the follower delivered, as it came.
struct Received {
    explicit Received(ChangeFeedClient& feed)
    {
        QObject::connect(&feed, &ChangeFeedClient::Changes, &feed,
                         [this](const FeedBatch& b) { batches.push_back(b); });
        QObject::connect(&feed, &ChangeFeedClient::SessionRefused, &feed, [this] { ++refused; });
    }
    std::vector<FeedChange> changes() const
    {
        std::vector<FeedChange> all;
        for (const FeedBatch& b : batches)
            all.insert(all.end(), b.changes.begin(), b.changes.end());
        return all;
    }
    bool reloadAsked() const
    {
        return std::any_of(batches.begin(), batches.end(), [](const FeedBatch& b) { return b.reload; });
    }
    std::vector<FeedBatch> batches;
    int refused = 0;
};

bool waitFor(const std::function<bool()>& done)
{
    return QTest::qWaitFor(done, kEspera);
}

// Every thread of the process in the stopped state ('T' in its stat line).
bool everyThreadStopped(pid_t pid)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    const QStringList ids = tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (ids.isEmpty())
        return false;
    for (const QString& id : ids) {
        QFile stat(tasks.filePath(id + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly))
            return false;
        const QByteArray line = stat.readAll();
        const qsizetype name = line.lastIndexOf(')');
        if (name < 0 || name + 2 >= line.size() || line.at(name + 2) != 'T')
            return false;
    }
    return true;
}

// A server that answers nothing. SIGSTOP stops a process once one of its
// threads runs to take the signal; on a loaded machine the others may answer
// a request meanwhile, so the stop is waited for.
bool stopServer(pid_t pid)
{
    return ::kill(pid, SIGSTOP) == 0 && waitFor([pid] { return everyThreadStopped(pid); });
}

} // namespace

TEST(ChangeFeedClient, DeliversEachSaveOfTheLanguageInOrderWithItsRowBeforeAndAfter)
{
    TrdServerProcess::Options o;
    o.seedTsv = kSeed;
    TrdServerProcess server(o);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    ChangeFeedClient feed;
    Received got(feed);
    ASSERT_TRUE(feed.Follow(at(server.port()), QStringLiteral("ENG"), {}));
    EXPECT_GE(feed.Cursor(), 0);
    EXPECT_TRUE(waitFor([&] { return feed.CurrentState() == ChangeFeedClient::State::Following; }));

    ASSERT_NO_FATAL_FAILURE(save(server.port(), "ENG", "&Salvar", "&Save it"));
    ASSERT_NO_FATAL_FAILURE(save(server.port(), "ESP", "&Salvar", "&Guardarlo"));
    ASSERT_NO_FATAL_FAILURE(save(server.port(), "ENG", "&Salvar", "Sa&ve"));
    // A last save of the language marks the end: changes come in the order
    // of their numbers, so had the other language's been told, it would be
    // among those before it.
    ASSERT_NO_FATAL_FAILURE(save(server.port(), "ENG", "&Fechar", "Fe&char"));
    ASSERT_TRUE(waitFor([&] {
        const std::vector<FeedChange> c = got.changes();
        return !c.empty() && c.back().source == "&Fechar";
    }));
    const std::vector<FeedChange> c = got.changes();
    ASSERT_EQ(c.size(), 3u) << "the other language is not told";
    EXPECT_EQ(c[0].type, 'A');
    EXPECT_EQ(c[0].language, "ENG");
    EXPECT_EQ(c[0].program, "TRD09300");
    EXPECT_EQ(c[0].component, "sbtSalvar");
    EXPECT_EQ(c[0].source, "&Salvar");
    EXPECT_EQ(c[0].destinationBefore, "&Save");
    EXPECT_EQ(c[0].statusBefore, "N");
    EXPECT_EQ(c[0].destination, "&Save it");
    EXPECT_EQ(c[0].status, "N") << "the status is what the client sent; promotion is the editor's";
    EXPECT_EQ(c[0].user, "local");
    EXPECT_GT(c[0].when, 45000.0);
    EXPECT_EQ(c[1].destinationBefore, "&Save it");
    EXPECT_EQ(c[1].destination, "Sa&ve");
    EXPECT_LT(c[0].seq, c[1].seq);
    EXPECT_EQ(c[2].destination, "Fe&char");
    EXPECT_GE(feed.Cursor(), c[2].seq);
    EXPECT_FALSE(got.reloadAsked());

    // Stop abandons the waiting request at once; nothing is delivered after.
    QElapsedTimer clock;
    clock.start();
    feed.Stop();
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(feed.CurrentState(), ChangeFeedClient::State::Off);
    const std::size_t before = got.batches.size();
    ASSERT_NO_FATAL_FAILURE(save(server.port(), "ENG", "&Fechar", "&Close it"));
    QTest::qWait(500);
    EXPECT_EQ(got.batches.size(), before);
}

TEST(ChangeFeedClient, AKilledServerIsFollowedAgainFromTheLastNumberWithoutLosingASave)
{
    TrdServerProcess::Options o;
    o.seedTsv = kSeed;
    TrdServerProcess server(o);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    ChangeFeedClient feed;
    feed.MaxPauseMs = 1000;
    Received got(feed);
    ASSERT_TRUE(feed.Follow(at(server.port()), QStringLiteral("ENG"), {}));
    ASSERT_NO_FATAL_FAILURE(save(server.port(), "ENG", "&Salvar", "one"));
    ASSERT_TRUE(waitFor([&] { return got.changes().size() == 1; }));

    server.kill9();
    EXPECT_TRUE(waitFor([&] { return feed.CurrentState() == ChangeFeedClient::State::Lost; }));
    EXPECT_FALSE(feed.LastProblem().isEmpty());
    ASSERT_TRUE(server.restart()) << server.errorString().toStdString();
    // Saved before the follower is back: it comes all the same, once.
    ASSERT_NO_FATAL_FAILURE(save(server.port(), "ENG", "&Salvar", "two"));
    ASSERT_TRUE(waitFor([&] { return got.changes().size() == 2; }));
    EXPECT_EQ(got.changes()[1].destinationBefore, "one");
    EXPECT_EQ(got.changes()[1].destination, "two");
    EXPECT_TRUE(waitFor([&] { return feed.CurrentState() == ChangeFeedClient::State::Following; }));
    EXPECT_FALSE(got.reloadAsked());
}

TEST(ChangeFeedClient, AFirstNumberThatComesLateAsksForAReload)
{
    TrdServerProcess::Options o;
    o.seedTsv = kSeed;
    TrdServerProcess server(o);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const auto pid = static_cast<pid_t>(server.pid());
    ASSERT_TRUE(stopServer(pid));
    ChangeFeedClient feed;
    Received got(feed);
    const bool now = feed.Follow(at(server.port()), QStringLiteral("ENG"), {}, 300);
    const std::int64_t cursor = feed.Cursor();
    ::kill(pid, SIGCONT);
    EXPECT_FALSE(now);
    EXPECT_EQ(cursor, -1);
    // Rows loaded meanwhile may lack what was saved before the number came.
    ASSERT_TRUE(waitFor([&] { return got.reloadAsked(); }));
    EXPECT_GE(feed.Cursor(), 0);
    EXPECT_TRUE(waitFor([&] { return feed.CurrentState() == ChangeFeedClient::State::Following; }));
}

TEST(ChangeFeedClient, FollowingWithoutWaitingNeverBlocksAndOnlyRowsReadBeforeTheFirstNumberAskForAReload)
{
    TrdServerProcess::Options o;
    o.seedTsv = kSeed;
    TrdServerProcess server(o);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const auto pid = static_cast<pid_t>(server.pid());

    // A server that does not answer: Follow returns at once all the same
    // (the waiting default takes 3 s there), and rows read now are stale
    // once the number comes.
    ASSERT_TRUE(stopServer(pid));
    {
        ChangeFeedClient feed;
        Received got(feed);
        QElapsedTimer took;
        took.start();
        EXPECT_FALSE(feed.Follow(at(server.port()), QStringLiteral("ENG"), {}, 0));
        EXPECT_LT(took.elapsed(), 1500);
        feed.RowsRead();
        ::kill(pid, SIGCONT);
        ASSERT_TRUE(waitFor([&] { return got.reloadAsked(); }));
        EXPECT_GE(feed.Cursor(), 0);
    }

    // Rows read after the number came miss nothing: no reload, the changes come.
    ChangeFeedClient feed;
    Received got(feed);
    feed.Follow(at(server.port()), QStringLiteral("ENG"), {}, 0);
    ASSERT_TRUE(waitFor([&] { return feed.Cursor() >= 0; }));
    feed.RowsRead();
    ASSERT_NO_FATAL_FAILURE(save(server.port(), "ENG", "&Salvar", "three"));
    ASSERT_TRUE(waitFor([&] { return got.changes().size() == 1; }));
    EXPECT_FALSE(got.reloadAsked());
}

TEST(ChangeFeedClient, ARefusedSessionIsToldAndAFreshTokenIsTaken)
{
    QTemporaryDir dir;
    const QString users = dir.filePath("trd.users");
    QProcess add;
    add.start(TrdServerProcess::binaryPath(), {"user", "add", "ana", "--users", users});
    ASSERT_TRUE(add.waitForStarted());
    add.write("senha\n");
    add.closeWriteChannel();
    ASSERT_TRUE(add.waitForFinished(60000));
    ASSERT_EQ(add.exitCode(), 0);
    TrdServerProcess::Options o;
    o.seedTsv = kSeed;
    o.extraArgs = {"--users", users};
    TrdServerProcess server(o);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();

    ChangeFeedClient feed;
    feed.MaxPauseMs = 500;
    Received got(feed);
    EXPECT_FALSE(feed.Follow(at(server.port()), QStringLiteral("ENG"), "not-a-token"));
    ASSERT_TRUE(waitFor([&] { return got.refused > 0; }));
    EXPECT_NE(feed.CurrentState(), ChangeFeedClient::State::Following);
    EXPECT_EQ(feed.Cursor(), -1);

    TSocketConnection c;
    c.Port = server.port();
    c.ServerName = ServerNameTraducao;
    const QByteArray token =
        c.AppServer().Call(QStringLiteral("Login"), {QStringLiteral("ana"), QStringLiteral("senha")}).Packet;
    ASSERT_FALSE(token.isEmpty());
    feed.SetSessionToken(token);
    ASSERT_TRUE(waitFor([&] { return feed.CurrentState() == ChangeFeedClient::State::Following; }));
    ASSERT_NO_FATAL_FAILURE(save(server.port(), "ENG", "&Fechar", "Fe&char", token));
    ASSERT_TRUE(waitFor([&] { return got.changes().size() == 1; }));
    EXPECT_EQ(got.changes()[0].user, "ana");
    // The first number came late (after the login): rows may be stale.
    EXPECT_TRUE(got.reloadAsked());
}

TEST(ChangeFeedClient, AServerWithoutTheFeedIsUnavailableAndForeignAnswersAreRefused)
{
    httplib::Server old;
    old.Get("/health", [](const httplib::Request&, httplib::Response& res) { res.set_content("ok", "text/plain"); });
    const int port = old.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { old.listen_after_bind(); });
    while (!old.is_running())
        std::this_thread::yield();
    ChangeFeedClient feed;
    EXPECT_FALSE(feed.Follow(at(port), QStringLiteral("ENG"), {}));
    EXPECT_TRUE(waitFor([&] { return feed.CurrentState() == ChangeFeedClient::State::Unavailable; }));
    feed.Stop();
    old.stop();
    serving.join();

    FeedBatch b;
    QString why;
    EXPECT_FALSE(ReadFeedAnswer("<html>", b, &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_FALSE(ReadFeedAnswer(R"({"alteracoes":[]})", b));
    EXPECT_FALSE(ReadFeedAnswer(R"({"ate":3,"alteracoes":[{"tipo":"A"}]})", b)) << "a change without its number";
    EXPECT_FALSE(ReadFeedAnswer(R"({"ate":3,"alteracoes":[{"seq":2,"tipo":"X"}]})", b));
    ASSERT_TRUE(ReadFeedAnswer(R"({"ate":9,"recarregar":true,"motivo":"Recarregue."})", b));
    EXPECT_TRUE(b.reload);
    EXPECT_EQ(b.upTo, 9);
    EXPECT_EQ(b.reason, "Recarregue.");
    ASSERT_TRUE(ReadFeedAnswer(
        R"({"ate":12,"alteracoes":[{"seq":12,"tipo":"E","idioma":"ENG","tela":"P","componente":"c",)"
        R"("origem":"o","destinoAnterior":"x\n\"y\"","situacaoAnterior":"T","data":46000.25,"usuario":"bia"}]})",
        b));
    ASSERT_EQ(b.changes.size(), 1u);
    EXPECT_EQ(b.changes[0].type, 'E');
    EXPECT_EQ(b.changes[0].destinationBefore, "x\n\"y\"");
    EXPECT_TRUE(b.changes[0].destination.isEmpty());
    EXPECT_EQ(b.changes[0].when, 46000.25);
}
