// Transport faults of the server connection against a local HTTP server that
// misbehaves on purpose: each fault raises EConnectionError with a clear
// Portuguese message, within the configured time, and leaves the connection
// closed so that the next call connects again.
#include "HttpClient.h"
#include "NameResolution.h"
#include "TSocketConnection.h"

#include <httplib.h>
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netdb.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <chrono>
#include <regex>
#include <thread>

using namespace trd;

namespace {

std::string idOf(const std::string& body)
{
    std::smatch m;
    return std::regex_search(body, m, std::regex(R"re("id":(\d+))re")) ? m[1].str() : "null";
}

std::string methodOf(const std::string& body)
{
    std::smatch m;
    return std::regex_search(body, m, std::regex(R"re("method":"(\w+)")re")) ? m[1].str() : "";
}

class FaultyServer {
public:
    FaultyServer()
    {
        m_server.Get("/health", [this](const httplib::Request&, httplib::Response& res) {
            ++healthChecks;
            if (sick) {
                res.status = 503;
                res.set_content("banco de dados inacessível", "text/plain");
            } else {
                res.set_content("OK", "text/plain");
            }
        });
        m_server.Post("/Trd09300.rdmTraducao", [this](const httplib::Request& req, httplib::Response& res) {
            ++calls;
            lastBody = req.body;
            const std::string method = methodOf(req.body);
            const std::string id = idOf(req.body);
            if (method == "Slow") {
                // Answers only once the test is over: a client that waits
                // for it has missed its own deadline, however busy the machine.
                while (!stopping)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                res.set_content(R"({"jsonrpc":"2.0","id":)" + id + R"(,"result":"late"})", "application/json");
            } else if (method == "Html") {
                res.status = 502;
                res.set_content("<html>Bad gateway</html>", "text/html");
            } else if (method == "Broken") {
                res.set_content(R"({"jsonrpc":"2.0","id":)" + id + R"(,"result":"<DATAPACKET)", "application/json");
            } else if (method == "Drop") {
                res.set_content_provider(1000000, "application/json",
                                         [](size_t offset, size_t, httplib::DataSink& sink) {
                                             if (offset > 0)
                                                 return false; // hang up halfway
                                             const std::string part(4096, ' ');
                                             sink.write(part.data(), part.size());
                                             return true;
                                         });
            } else if (method == "Chunked") {
                // No length: the answer comes in chunks of odd sizes.
                auto body = std::make_shared<std::string>(R"({"jsonrpc":"2.0","id":)" + id + R"(,"result":")"
                                                          + std::string(300000, 'x') + R"("})");
                res.set_chunked_content_provider("application/json", [body](size_t offset, httplib::DataSink& sink) {
                    const size_t n = std::min<size_t>(7777, body->size() - offset);
                    sink.write(body->data() + offset, n);
                    if (offset + n == body->size())
                        sink.done();
                    return true;
                });
            } else if (method == "Big") {
                res.set_content(R"({"jsonrpc":"2.0","id":)" + id + R"(,"result":")" + std::string(8000000, 'y')
                                    + R"("})",
                                "application/json");
            } else if (method == "Refuse") {
                res.set_content(R"({"jsonrpc":"2.0","id":)" + id
                                    + R"(,"error":{"code":-32000,"message":"Recusado pelo servidor."}})",
                                "application/json");
            } else {
                res.set_content(R"({"jsonrpc":"2.0","id":)" + id + R"(,"result":"<ok/>"})", "application/json");
            }
        });
        m_server.set_tcp_nodelay(true);
        m_server.set_keep_alive_timeout(1); // idle connections are dropped quickly
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~FaultyServer()
    {
        stopping = true;
        m_server.stop();
        m_thread.join();
    }
    int port() const { return m_port; }

    std::atomic<int> healthChecks{0};
    std::atomic<int> calls{0};
    std::atomic<bool> sick{false};
    std::atomic<bool> stopping{false};
    std::string lastBody;

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
};

// A loopback port on which nobody listens: bound for a moment, never listened on.
int deadPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

class ConnectionFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        conn.Host = QStringLiteral("127.0.0.1");
        conn.Port = server.port();
        conn.ServerName = QStringLiteral("Trd09300.rdmTraducao");
        conn.ThrowException = false;
        // Answers that come are waited for as long as a loaded machine needs;
        // the tests of a missing answer set their own short deadline.
        conn.ReadTimeoutMs = 60000;
    }

    QString callFailure(const char* method)
    {
        try {
            conn.AppServer().Call(QString::fromLatin1(method), {});
        } catch (const EConnectionError& e) {
            return e.Message();
        }
        return {};
    }

    FaultyServer server;
    TSocketConnection conn;
};

} // namespace

TEST_F(ConnectionFaults, BeforeConnectSetsTheAddressAndConnectChecksHealth)
{
    conn.Port = 1;
    int before = 0, after = 0;
    conn.BeforeConnect = [&](QObject* sender) {
        ++before;
        EXPECT_EQ(sender, &conn);
        conn.Port = server.port();
    };
    conn.AfterConnect = [&](QObject*) { ++after; };
    conn.Open();
    EXPECT_TRUE(conn.Connected());
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 1);
    EXPECT_EQ(server.healthChecks, 1);
    conn.Open(); // already open: nothing again
    EXPECT_EQ(before, 1);

    TServerResult r = conn.AppServer().Call(QStringLiteral("Echo"), {TRemoteArg("ENG"), TRemoteArg(5)});
    EXPECT_TRUE(r.Ok);
    EXPECT_EQ(r.Packet, QByteArray("<ok/>"));
    EXPECT_NE(server.lastBody.find(R"("params":["ENG",5])"), std::string::npos);
}

TEST_F(ConnectionFaults, RefusedConnectionRaisesAndStaysClosed)
{
    conn.Port = deadPort();
    try {
        conn.Open();
        FAIL() << "connect to a dead port succeeded";
    } catch (const EConnectionError& e) {
        EXPECT_TRUE(
            e.Message().startsWith(QStringLiteral("Não foi possível conectar ao servidor de aplicação em 127.0.0.1:")))
            << e.Message().toStdString();
    }
    EXPECT_FALSE(conn.Connected());
}

TEST_F(ConnectionFaults, ServerThatAcceptsButNeverAnswersTimesOut)
{
    httplib::Server mute; // listens (the kernel accepts) but nobody serves
    conn.Port = mute.bind_to_any_port("127.0.0.1");
    conn.ReadTimeoutMs = 300;
    try {
        conn.Open();
        FAIL() << "a mute server was accepted";
    } catch (const EConnectionError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("não respondeu em"))) << e.Message().toStdString();
    }
    EXPECT_FALSE(conn.Connected());
}

TEST_F(ConnectionFaults, UnhealthyServerIsReportedAtConnect)
{
    server.sick = true;
    try {
        conn.Open();
        FAIL() << "an unhealthy server was accepted";
    } catch (const EConnectionError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("não está disponível (HTTP 503: banco de dados inacessível)")))
            << e.Message().toStdString();
    }
    EXPECT_FALSE(conn.Connected());
}

TEST_F(ConnectionFaults, SlowAnswerTimesOutInsteadOfHangingAndRunsTheWaitingHookMeanwhile)
{
    std::vector<qint64> hookAt;
    QElapsedTimer clock;
    conn.WaitingIntervalMs = 40;
    conn.OnWaiting = [&] { hookAt.push_back(clock.elapsed()); };
    conn.ReadTimeoutMs = 300; // taken when the connection opens
    conn.Open();
    hookAt.clear();
    clock.start();
    const QString message = callFailure("Slow");
    const qint64 took = clock.elapsed();
    // Waiting in slices for the hook keeps the deadline where it was: not
    // before it, and not much after it (a busy machine may add a little).
    EXPECT_GE(took, 290);
    EXPECT_LT(took, 10000);
    EXPECT_EQ(
        message,
        QStringLiteral("O servidor de aplicação em 127.0.0.1:%1 não respondeu em 1 segundos.").arg(server.port()));
    EXPECT_FALSE(conn.Connected());
    // Run while it waits, about every 40 ms, never in a burst.
    EXPECT_GE(hookAt.size(), 1u);
    EXPECT_LE(static_cast<qint64>(hookAt.size()), took / 35 + 1);
    for (std::size_t i = 1; i < hookAt.size(); ++i)
        EXPECT_GE(hookAt[i] - hookAt[i - 1], 35) << "run " << i;
}

TEST_F(ConnectionFaults, AWaitingHookThatThrowsLeavesTheConnectionClosedAndUsable)
{
    conn.WaitingIntervalMs = 20;
    conn.Open();
    conn.OnWaiting = [] { throw Exception(QStringLiteral("interrompido")); };
    EXPECT_THROW(conn.AppServer().Call(QStringLiteral("Slow"), {}), Exception);
    EXPECT_FALSE(conn.Connected()) << "a half-read answer must not be taken for the next call's";
    conn.OnWaiting = nullptr;
    EXPECT_TRUE(conn.AppServer().Call(QStringLiteral("Echo"), {}).Ok);
}

TEST_F(ConnectionFaults, AnswerCutShortIsADroppedConnection)
{
    EXPECT_EQ(
        callFailure("Drop"),
        QStringLiteral("A conexão com o servidor de aplicação em 127.0.0.1:%1 foi interrompida.").arg(server.port()));
    EXPECT_FALSE(conn.Connected());
    // The next call connects again by itself.
    EXPECT_TRUE(conn.AppServer().Call(QStringLiteral("Echo")).Ok);
    EXPECT_EQ(server.healthChecks, 2);
}

TEST_F(ConnectionFaults, AnswersThatAreNotJsonRpcAreTransportFaults)
{
    EXPECT_TRUE(
        callFailure("Html").contains(QStringLiteral("respondeu de forma inesperada (HTTP 502) à chamada de Html")));
    EXPECT_TRUE(callFailure("Broken").startsWith(QStringLiteral("Resposta inválida do servidor de aplicação")));
}

TEST_F(ConnectionFaults, ErrorAnswerIsReturnedOrRaisedByThrowException)
{
    TServerResult r = conn.AppServer().Call(QStringLiteral("Refuse"));
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.ErrorMessage, QStringLiteral("Recusado pelo servidor."));
    EXPECT_EQ(r.ErrorCode, -32000);
    EXPECT_TRUE(conn.Connected()); // an error answer is no transport fault

    conn.ThrowException = true;
    try {
        conn.AppServer().Call(QStringLiteral("Refuse"));
        FAIL() << "no EServerError";
    } catch (const EServerError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Recusado pelo servidor."));
        EXPECT_EQ(e.ErrorCode(), -32000);
    }
}

TEST_F(ConnectionFaults, BadAddressesAreRefusedBeforeAnyNetworkWork)
{
    conn.Host = QStringLiteral("  ");
    EXPECT_THROW(conn.Open(), EConnectionError);
    conn.Host = QStringLiteral("127.0.0.1");
    conn.Port = 70000;
    EXPECT_THROW(conn.Open(), EConnectionError);
    EXPECT_EQ(server.healthChecks, 0);
}

// Name resolution holds the connect's deadline and the caller's stop: a
// name server that never answers cannot keep a call (or a follower asked to
// stop) waiting beyond them.
TEST_F(ConnectionFaults, NamesAreResolvedWithinTheDeadlineAndAStopEndsTheWait)
{
    AddressList found;
    QString why;
    // A numeric address needs no resolver, whatever the deadline.
    EXPECT_EQ(ResolveHost("127.0.0.1", 8211, 0, -1, found, &why), Resolution::Found);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->ai_family, AF_INET);
    // A name is looked up; with no time left the wait ends at once.
    EXPECT_EQ(ResolveHost("localhost", 8211, 5000, -1, found, &why), Resolution::Found) << why.toStdString();
    EXPECT_TRUE(found);
    EXPECT_EQ(ResolveHost("localhost", 8211, 0, -1, found, &why), Resolution::TimedOut);
    EXPECT_FALSE(found);
    EXPECT_TRUE(why.contains(QStringLiteral("não foi resolvido"))) << why.toStdString();
    // A stop already asked for wins over the lookup.
    const int stop = ::eventfd(1, EFD_CLOEXEC);
    ASSERT_GE(stop, 0);
    EXPECT_EQ(ResolveHost("localhost", 8211, 5000, stop, found, &why), Resolution::Interrupted);
    ::close(stop);
    // A name nobody has fails with the resolver's reason.
    EXPECT_EQ(ResolveHost("trd-nao-existe.invalid", 8211, 10000, -1, found, &why), Resolution::Failed);
    EXPECT_FALSE(why.isEmpty());

    // The connection by name reaches the server as by address.
    conn.Host = QStringLiteral("localhost");
    EXPECT_NO_THROW(conn.Open());
    EXPECT_GE(server.healthChecks, 1);
}

// A status that is not three digits from 100 to 599 is no HTTP answer.
TEST(HttpAnswerReader, AStatusOutsideHttpsCodesIsAProtocolFault)
{
    for (const char* status : {"020", "-12", "+99", "600", "2 0"}) {
        SCOPED_TRACE(status);
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        HttpClient client("peer", 1, 1000, 1000);
        client.AdoptConnected(ends[0]);
        std::thread peer([&] {
            char request[4096];
            [[maybe_unused]] const ssize_t got = ::recv(ends[1], request, sizeof request, 0);
            const std::string answer = std::string("HTTP/1.1 ") + status + " OK\r\nContent-Length: 2\r\n\r\n{}";
            [[maybe_unused]] const ssize_t sent = ::send(ends[1], answer.data(), answer.size(), MSG_NOSIGNAL);
        });
        HttpClient::Response response;
        QString detail;
        EXPECT_EQ(client.Request("POST", "/x", "{}", response, &detail), HttpClient::Error::Protocol);
        EXPECT_EQ(detail, QStringLiteral("código de status inválido"));
        peer.join();
        ::close(ends[1]);
    }
}

TEST_F(ConnectionFaults, CloseFiresItsEventsOnceAndKeepsNoSocket)
{
    int before = 0, after = 0;
    conn.BeforeDisconnect = [&](QObject*) { ++before; };
    conn.AfterDisconnect = [&](QObject*) { ++after; };
    conn.Close(); // not connected: nothing
    conn.SetConnected(true);
    conn.SetConnected(false);
    conn.Close();
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 1);
    EXPECT_FALSE(conn.Connected());
}

TEST_F(ConnectionFaults, IdleConnectionDroppedByTheServerIsReopenedQuietly)
{
    conn.Open();
    ASSERT_TRUE(conn.AppServer().Call(QStringLiteral("Echo")).Ok);
    // The server closes a keep-alive connection idle for a second; a user who
    // comes back later must not see a broken connection.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_TRUE(conn.AppServer().Call(QStringLiteral("Echo")).Ok);
    EXPECT_EQ(server.calls, 2);
}

TEST_F(ConnectionFaults, ChunkedAndLargeAnswersArriveWhole)
{
    TServerResult chunked = conn.AppServer().Call(QStringLiteral("Chunked"));
    ASSERT_TRUE(chunked.Ok);
    EXPECT_EQ(chunked.Packet, QByteArray(300000, 'x'));
    TServerResult big = conn.AppServer().Call(QStringLiteral("Big"));
    ASSERT_TRUE(big.Ok);
    EXPECT_EQ(big.Packet, QByteArray(8000000, 'y'));
    // The same kept-alive connection carries the next call.
    EXPECT_TRUE(conn.AppServer().Call(QStringLiteral("Echo")).Ok);
    EXPECT_EQ(server.healthChecks, 1);
}

TEST_F(ConnectionFaults, ACallSentAndTakenLaterAnswersAsTheSameCallMadeAtOnce)
{
    // Taken at once: the answer, or the refusal, as Call gives them.
    TSentCall sent = conn.AppServer().Send(QStringLiteral("Echo"), {});
    EXPECT_TRUE(sent.Pending());
    const TServerResult echo = sent.Take();
    EXPECT_TRUE(echo.Ok);
    EXPECT_FALSE(sent.Pending());
    TServerResult refused = conn.AppServer().Send(QStringLiteral("Refuse"), {}).Take();
    EXPECT_FALSE(refused.Ok);
    EXPECT_EQ(refused.ErrorCode, -32000);
    EXPECT_EQ(refused.ErrorMessage, QStringLiteral("Recusado pelo servidor."));

    // Another call in between reads the first answer and keeps it for its taker.
    TSentCall first = conn.AppServer().Send(QStringLiteral("Refuse"), {});
    EXPECT_TRUE(conn.AppServer().Call(QStringLiteral("Echo")).Ok);
    refused = first.Take();
    EXPECT_FALSE(refused.Ok);
    EXPECT_EQ(refused.ErrorMessage, QStringLiteral("Recusado pelo servidor."));
    EXPECT_EQ(server.calls, 4);
    EXPECT_TRUE(conn.Connected());

    // ThrowException raises at Take, as at the call.
    conn.ThrowException = true;
    TSentCall raising = conn.AppServer().Send(QStringLiteral("Refuse"), {});
    EXPECT_THROW(raising.Take(), EServerError);
    EXPECT_THROW(raising.Take(), Exception) << "an answer is taken once";
}

TEST_F(ConnectionFaults, ACallSentWhoseAnswerIsLostRaisesTheConnectionsMessageAtTake)
{
    const QString interrompida =
        QStringLiteral("A conexão com o servidor de aplicação em 127.0.0.1:%1 foi interrompida.").arg(server.port());
    const auto failure = [](TSentCall& sent) {
        try {
            sent.Take();
        } catch (const EConnectionError& e) {
            return e.Message();
        }
        return QString();
    };
    TSentCall dropped = conn.AppServer().Send(QStringLiteral("Drop"), {});
    EXPECT_EQ(failure(dropped), interrompida);
    EXPECT_FALSE(conn.Connected());

    // Closed by its owner before the answer was taken: lost with it.
    TSentCall closed = conn.AppServer().Send(QStringLiteral("Echo"), {});
    conn.Close();
    EXPECT_EQ(failure(closed), interrompida);

    // Read by a call in between, the fault waits for the taker; the call in between is answered.
    TSentCall settled = conn.AppServer().Send(QStringLiteral("Drop"), {});
    EXPECT_TRUE(conn.AppServer().Call(QStringLiteral("Echo")).Ok);
    EXPECT_EQ(failure(settled), interrompida);

    // One dropped untaken does not lose the next call.
    conn.AppServer().Send(QStringLiteral("Slow"), {});
    EXPECT_TRUE(conn.AppServer().Call(QStringLiteral("Echo")).Ok);
    EXPECT_TRUE(conn.Connected());
}
