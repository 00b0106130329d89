// The real trd-server under hostile clients, scaled down: every attack ends in
// a bounded refusal and the server keeps answering everyone else at once.
#include "RawSocket.h"
#include "ServerTestKit.h"
#include "TrdServerProcess.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace trd::server::test;
using trd::test::TrdServerProcess;
using Clock = std::chrono::steady_clock;

namespace {

// Milliseconds a fresh client waits for GET /health to answer 200.
double healthLatencyMs(int port)
{
    const auto start = Clock::now();
    Socket s(port);
    if (!s.ok() || !s.send(Health))
        return 1e9;
    const std::string answer = s.receive(10000, "OK");
    if (answer.rfind("HTTP/1.1 200", 0) != 0)
        return 1e9;
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

TrdServerProcess::Options withArgs(QStringList args, bool demo = false)
{
    TrdServerProcess::Options o;
    o.demo = demo;
    o.extraArgs = std::move(args);
    return o;
}

} // namespace

TEST(ServerEdge, OversizedHeadersCompressedBodiesAndManyValuesAreRefusedCheaply)
{
    TrdServerProcess server;
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();

    // An endless header block (here 2 MiB of short fields) stops at the header limit.
    {
        Socket s(server.port());
        std::string flood = "POST /Trd09300.rdmTraducao HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        for (int i = 0; i < 256 * 1024; ++i)
            flood += "X-a: b\r\n";
        s.send(flood); // may fail part way: the server closes once it has refused
        const std::string answer = s.answer();
        EXPECT_EQ(status(answer), 431) << answer.substr(0, 200);
    }
    // Few bytes, too many fields.
    {
        Socket s(server.port());
        std::string fields;
        for (int i = 0; i < 100; ++i)
            fields += "X-" + std::to_string(i) + ": b\r\n";
        s.send(post(request("GetIdiTrad", ""), fields));
        EXPECT_EQ(status(s.answer()), 431);
    }
    // A compressed body is never inflated.
    {
        Socket s(server.port());
        s.send(post(std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00", 8), "Content-Encoding: gzip\r\n"));
        const std::string answer = s.answer();
        EXPECT_EQ(status(answer), 415);
        EXPECT_NE(answer.find("comprimida"), std::string::npos);
    }
    // 100,000 tiny values in one call.
    Socket s(server.port());
    std::string params = "0";
    for (int i = 0; i < 100000; ++i)
        params += ",0";
    s.send(post(request("GetIdiTrad", params)));
    const Answer a = parseAnswer(bodyOf(s.answer()));
    EXPECT_FALSE(a.ok);
    EXPECT_NE(a.message.find("valores demais"), std::string::npos) << a.message;

    EXPECT_LT(healthLatencyMs(server.port()), 2000);
}

namespace {

long statusKiB(qint64 pid, const char* field)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').first().toLong();
    return -1;
}

} // namespace

TEST(ServerEdge, LargeBodiesInFlightShareOneMemoryBudget)
{
    // Room for one 7 MiB request at a time (each costs about three times its body).
    TrdServerProcess server(withArgs({"--max-body", "8", "--body-memory", "25", "--max-per-address", "100"}));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const std::string open = "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"SetDestino\",\"params\":[\"";
    const std::string close = "\"]}";
    const std::string large = open + std::string((7u << 20) - open.size() - close.size(), 'a') + close;

    // The peak resident size is measured from here (/proc/PID/clear_refs).
    QFile clear(QStringLiteral("/proc/%1/clear_refs").arg(server.pid()));
    ASSERT_TRUE(clear.open(QIODevice::WriteOnly) && clear.write("5") == 1);
    clear.close();
    const long rest = statusKiB(server.pid(), "VmRSS:");

    // Ten of them at once: they take turns, and every one is answered.
    std::vector<std::thread> senders;
    std::atomic<int> answered{0};
    for (int i = 0; i < 10; ++i)
        senders.emplace_back([&] {
            Socket s(server.port());
            s.send(post(large));
            const std::string answer = s.answer(60000);
            answered += status(answer) == 200 && !parseAnswer(bodyOf(answer)).ok; // an error answer: not XML
        });
    // Small calls do not queue behind them.
    for (int i = 0; i < 5; ++i) {
        Socket c(server.port());
        c.send(post(request("GetIdiTrad", "")));
        EXPECT_EQ(status(c.answer(30000)), 200);
    }
    for (auto& t : senders)
        t.join();
    EXPECT_EQ(answered.load(), 10);
    const long peak = statusKiB(server.pid(), "VmHWM:");
#if defined(__SANITIZE_ADDRESS__)
    // The address sanitizer keeps freed blocks aside and shadows every byte:
    // the server's peak there is the sanitizer's, not the budget's.
    (void)peak;
    (void)rest;
#else
    // Ten bodies read at once would need 70 MiB for the bodies alone.
    EXPECT_LT(peak - rest, 45 * 1024) << "resident " << rest / 1024 << " MiB at rest, peak " << peak / 1024 << " MiB";
#endif
}

TEST(ServerEdge, IdleAndSlowClientsDoNotKeepOthersWaiting)
{
    TrdServerProcess server(withArgs({"--max-per-address", "1000", "--request-timeout", "2"}));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    // More idle keep-alive connections than there are workers, and slow
    // senders that trickle a request one byte at a time.
    std::vector<std::unique_ptr<Socket>> idle, slow;
    for (int i = 0; i < 300; ++i) {
        idle.push_back(std::make_unique<Socket>(server.port()));
        ASSERT_TRUE(idle.back()->ok());
        if (i % 10 == 0) { // some of them after one answered request
            idle.back()->send(Health);
            idle.back()->receive(5000, "OK");
        }
    }
    for (int i = 0; i < 50; ++i) {
        slow.push_back(std::make_unique<Socket>(server.port()));
        slow.back()->send("P");
    }
    for (int i = 0; i < 5; ++i)
        EXPECT_LT(healthLatencyMs(server.port()), 500) << "round " << i;
    // A request that is not whole within the deadline loses its connection.
    const auto start = Clock::now();
    slow.front()->receive(6000);
    EXPECT_TRUE(slow.front()->closedByPeer());
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 4.0);
    // The idle ones are still open and usable.
    ASSERT_TRUE(idle.back()->send(Health));
    EXPECT_EQ(status(idle.back()->receive(5000, "OK")), 200);
}

TEST(ServerEdge, ABurstOfConnectsIsAcceptedWithoutTheSynRetryStall)
{
    TrdServerProcess server(withArgs({"--max-per-address", "1000"}));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    // 200 clients connect at once; a connect the listen backlog dropped would
    // be retried by the kernel only after a second.
    std::vector<double> waits(200, 1e9);
    std::atomic<bool> go{false};
    std::vector<std::thread> clients;
    for (std::size_t c = 0; c < waits.size(); ++c)
        clients.emplace_back([&, c] {
            while (!go.load())
                std::this_thread::yield();
            waits[c] = healthLatencyMs(server.port());
        });
    go = true;
    for (auto& t : clients)
        t.join();
    EXPECT_LT(*std::max_element(waits.begin(), waits.end()), 900.0);
}

TEST(ServerEdge, ConnectionsOfOneAddressAreCappedAndIdleOnesGiveWay)
{
    TrdServerProcess server(withArgs({"--max-per-address", "4"}));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    // Four kept-alive connections, each idle after one answer, the first the oldest.
    std::vector<std::unique_ptr<Socket>> idle;
    for (int tries = 0; idle.size() < 4 && tries < 100; ++tries) {
        auto s = std::make_unique<Socket>(server.port());
        s->send(Health);
        if (status(s->answer()) == 200)
            idle.push_back(std::move(s));
        else
            ::usleep(20000); // the start-up health probes may still be counted for a moment
        if (idle.size() == 1)
            ::usleep(200000);
    }
    ASSERT_EQ(idle.size(), 4u);
    // A fifth client from the same address is served, and the oldest idle
    // connection is closed for it; a sixth closes one more. The others stay usable.
    std::vector<std::unique_ptr<Socket>> fresh;
    for (int round = 0; round < 2; ++round) {
        fresh.push_back(std::make_unique<Socket>(server.port()));
        fresh.back()->send(Health);
        EXPECT_EQ(status(fresh.back()->answer()), 200) << "round " << round;
    }
    idle[0]->receive(5000);
    EXPECT_TRUE(idle[0]->closedByPeer());
    int usable = 0;
    for (std::size_t i = 1; i < idle.size(); ++i)
        usable += idle[i]->send(Health) && status(idle[i]->answer()) == 200;
    EXPECT_EQ(usable, 2);

    // Connections in the middle of a request do not give way: past the
    // limit a newcomer is refused, naming the limit.
    idle.clear();
    fresh.clear();
    std::vector<std::unique_ptr<Socket>> busy;
    for (int tries = 0; busy.size() < 4 && tries < 100; ++tries) {
        auto s = std::make_unique<Socket>(server.port());
        s->send("POST /Trd09300.rdmTraducao HTTP/1.1\r\nHost: 127.0.0.1\r\n");
        if (s->receive(100).empty())
            busy.push_back(std::move(s));
        else
            ::usleep(20000);
    }
    ASSERT_EQ(busy.size(), 4u);
    Socket extra(server.port());
    extra.send(Health);
    const std::string refused = extra.receive(5000);
    EXPECT_EQ(status(refused), 503);
    EXPECT_NE(refused.find("Conexões demais deste endereço"), std::string::npos);
    busy.pop_back();
    // The slot is given back when a connection closes.
    bool served = false;
    for (int i = 0; i < 50 && !served; ++i) {
        served = healthLatencyMs(server.port()) < 1e9;
        if (!served)
            ::usleep(20000);
    }
    EXPECT_TRUE(served);
}

TEST(ServerEdge, PipelinedRequestsAreAnsweredInOrder)
{
    TrdServerProcess server(withArgs({}, true));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    Socket s(server.port());
    s.send(post(request("GetIdiTrad", "", 1)) + post(request("GetCalcTrad", "\"ENG\"", 2))
           + post(request("GetIdiTrad", "", 3)));
    const std::string answers = s.receive(10000, "HTTP/1.1 200", 3);
    const auto one = answers.find("\"id\":1,");
    const auto two = answers.find("\"id\":2,");
    const auto three = answers.find("\"id\":3,");
    ASSERT_NE(three, std::string::npos) << answers.substr(0, 300);
    EXPECT_LT(one, two);
    EXPECT_LT(two, three);
}

TEST(ServerEdge, CrossSiteRequestsAreRefusedAndWriteNothing)
{
    TrdServerProcess server(withArgs({}, true));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const std::string plant =
        request("SetDestino", json(DeltaBuilder().insert(TRow{"ENG", "EVIL", "planted", "x", "y", "T"}).xml()));
    struct Attempt {
        std::string headers, type;
        int status;
    } attempts[] = {
        {"Origin: http://evil.example\r\n", "text/plain", 403},
        {"Origin: http://evil.example\r\n", "application/json", 403},
        {"", "text/plain", 415},
        {"", "application/x-www-form-urlencoded", 415},
    };
    for (const auto& attempt : attempts) {
        Socket s(server.port());
        s.send(post(plant, attempt.headers, attempt.type));
        EXPECT_EQ(status(s.answer()), attempt.status) << attempt.headers << attempt.type;
    }
    // A rebound name pointing at the loopback server.
    {
        Socket s(server.port());
        std::string req = post(plant);
        req.replace(req.find("Host: 127.0.0.1"), 15, "Host: evil.example:" + std::to_string(server.port()));
        s.send(req);
        EXPECT_EQ(status(s.answer()), 403);
    }
    // The client's own requests, and a same-origin page, pass.
    Socket s(server.port());
    s.send(post(request("GetFiltroDest", "\"T\",\"D\",\"N\",\" AND CDPROGTRAD = 'EVIL'\",\"ENG\",0,0,\"\""),
                "Origin: http://127.0.0.1\r\n"));
    const std::string answer = s.answer();
    EXPECT_EQ(status(answer), 200);
    const Answer a = parseAnswer(bodyOf(answer));
    EXPECT_TRUE(a.ok) << a.message;
    EXPECT_TRUE(a.rows.empty());
}

TEST(ServerEdge, HostAndOriginMustNameTheServerExactly)
{
    // A server without users holds data any page could read through a
    // rebound name: only its own names may reach it.
    TrdServerProcess server(withArgs({"--server-name", "trd.empresa.local"}, true));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const std::string port = std::to_string(server.port());
    auto read = [&](const std::string& host, const std::string& origin) {
        Socket s(server.port());
        std::string req = post(request("GetIdiTrad", ""), origin.empty() ? "" : "Origin: " + origin + "\r\n");
        req.replace(req.find("Host: 127.0.0.1"), 15, "Host: " + host);
        s.send(req);
        return s.answer();
    };
    for (const std::string name : {"127.0.0.1.attacker.example", "127.attacker.example", "127.0.0.1evil.com",
                                   "localhost.attacker.example", "127.0.0.2", "evil.example", "127.0.0.1:x"}) {
        for (const std::string& host : {name, name + ":" + port}) {
            for (const std::string& origin : {std::string(), "http://" + host}) {
                const std::string answer = read(host, origin);
                EXPECT_EQ(status(answer), 403) << host << " / " << origin;
                EXPECT_EQ(answer.find("ENG"), std::string::npos) << host;
            }
        }
    }
    // An Origin that is another site, or another port of a good name.
    EXPECT_EQ(status(read("127.0.0.1:" + port, "http://127.0.0.1.attacker.example:" + port)), 403);
    EXPECT_EQ(status(read("localhost:" + port, "http://localhost:3000")), 403);
    // The server's own names, with and without the port, and a same-origin page.
    for (const std::string name : {"127.0.0.1", "localhost", "LOCALHOST", "[::1]", "trd.empresa.local"}) {
        for (const std::string& host : {name, name + ":" + port}) {
            const std::string answer = read(host, "http://" + host);
            EXPECT_EQ(status(answer), 200) << host;
            EXPECT_NE(answer.find("ENG"), std::string::npos) << host;
        }
    }
}

TEST(ServerEdge, RequestsAreFramedStrictlySoNoOneReadsThemTwoWays)
{
    TrdServerProcess server(withArgs({}, true));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const std::string body = request("GetIdiTrad", "");
    const std::string length = "Content-Length: " + std::to_string(body.size()) + "\r\n";
    auto send = [&](const std::string& head, const std::string& rest) {
        Socket s(server.port());
        s.send("POST /Trd09300.rdmTraducao " + head + "\r\n" + rest + "\r\n" + body);
        return s.answer();
    };
    const std::string json = "Content-Type: application/json\r\n";
    struct Case {
        const char* what;
        std::string head, fields;
        int status;
        const char* says;
    } cases[] = {
        {"no Host", "HTTP/1.1", json + length, 400, "falta o cabeçalho Host"},
        {"two Hosts", "HTTP/1.1", "Host: 127.0.0.1\r\nHost: evil.example\r\n" + json + length, 400, "Host aparece"},
        {"two Origins", "HTTP/1.1",
         "Host: 127.0.0.1\r\nOrigin: http://127.0.0.1\r\nOrigin: http://evil.example\r\n" + json + length, 400,
         "Origin aparece"},
        {"folded field", "HTTP/1.1", "Host: 127.0.0.1\r\nX-A: b\r\n c\r\n" + json + length, 400, "dobrada"},
        {"folded Host", "HTTP/1.1", "Host: 127.0.0.1\r\n\t.evil.example\r\n" + json + length, 400, "dobrada"},
        {"gzip before chunked", "HTTP/1.1", "Host: 127.0.0.1\r\nTransfer-Encoding: gzip, chunked\r\n" + json, 415,
         "comprimida"},
    };
    for (const Case& c : cases) {
        const std::string answer = send(c.head, c.fields);
        EXPECT_EQ(status(answer), c.status) << c.what << "\n" << answer.substr(0, 300);
        EXPECT_NE(answer.find(c.says), std::string::npos) << c.what << "\n" << answer.substr(0, 300);
        EXPECT_EQ(answer.find("\"result\""), std::string::npos) << c.what;
    }
    // A TLS handshake sent to the plain port is refused at once, not left
    // waiting for the end of a header that never comes.
    {
        Socket tls(server.port());
        tls.send(std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11));
        EXPECT_EQ(status(tls.answer()), 400);
    }
    // HTTP/1.0 needs no Host; one Host and a same-origin page pass as before.
    EXPECT_EQ(status(send("HTTP/1.0", json + length)), 200);
    EXPECT_EQ(status(send("HTTP/1.1", "Host: 127.0.0.1\r\nOrigin: http://127.0.0.1\r\n" + json + length)), 200);

    // A target that is only a query has an empty path: answered 404 as any
    // unknown object, and the server goes on serving.
    {
        Socket q(server.port());
        q.send("GET ?x HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        const std::string answer = q.answer();
        EXPECT_EQ(status(answer), 404) << answer.substr(0, 300);
        EXPECT_NE(answer.find("Objeto remoto desconhecido: ."), std::string::npos) << answer.substr(0, 300);
    }
    EXPECT_LT(healthLatencyMs(server.port()), 5000);

    // A key twice in the JSON envelope: which method would run is not guessed.
    Socket s(server.port());
    s.send(post("{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"GetIdiTrad\",\"params\":[],\"method\":\"SetDestino\"}"));
    const Answer a = parseAnswer(bodyOf(s.answer()));
    EXPECT_EQ(a.code, -32700);
    EXPECT_NE(a.message.find("membro repetido"), std::string::npos) << a.message;
}

TEST(ServerEdge, LogLinesCarryTheAddressAndCannotBeForgedOrFlooded)
{
    TrdServerProcess server;
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    Socket s(server.port());
    s.send(
        post("{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"X\\n2026-01-01T00:00:00.000Z info 10.0.0.1 forged\\u001b[2K\","
             "\"params\":[]}"));
    s.answer();
    s.send(post(request(std::string(1 << 20, 'M'), "")));
    s.answer();
    const QByteArray log = server.log();
    EXPECT_FALSE(log.contains("\n2026-01-01T00:00:00.000Z info 10.0.0.1 forged")) << log.toStdString();
    EXPECT_TRUE(log.contains("X\\x0a2026")) << log.toStdString();
    EXPECT_TRUE(log.contains("forged\\x1b[2K")) << log.toStdString();
    // Every line starts with the server's own UTC time, or continues one.
    for (const QByteArray& line : log.split('\n')) {
        EXPECT_LT(line.size(), 1000) << line.left(200).toStdString();
        const bool stamped =
            line.size() > 24 && line[4] == '-' && line[10] == 'T' && line[19] == '.' && line[23] == 'Z';
        EXPECT_TRUE(line.isEmpty() || stamped || line.startsWith("    ")) << line.left(200).toStdString();
    }
    EXPECT_TRUE(log.contains(" 127.0.0.1 "));
}

TEST(ServerEdge, ASecondServerOnATakenPortFailsClearly)
{
    TrdServerProcess first;
    ASSERT_TRUE(first.isRunning()) << first.errorString().toStdString();
    QTemporaryDir dir;
    QProcess second;
    second.start(
        TrdServerProcess::binaryPath(),
        {"--db", dir.filePath("other.db"), "--create", "--listen", "127.0.0.1:" + QString::number(first.port())});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(second.readAllStandardError().contains("já está em uso"));
    EXPECT_LT(healthLatencyMs(first.port()), 2000);
}

namespace {

Answer call(int port, const std::string& method, const std::string& params)
{
    Socket s(port);
    s.send(post(request(method, params)));
    return parseAnswer(bodyOf(s.answer(60000)));
}

std::string filterParams(const std::string& fragment)
{
    return "\"T\",\"D\",\"N\"," + json(fragment) + ",\"ENG\",0,0,\"\"";
}

} // namespace

TEST(ServerEdge, PacketsWithNullCharactersOrTwoRootsAreRefusedNotCut)
{
    TrdServerProcess server(withArgs({}, true));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    // The builder escapes what it is given; the attack writes the reference itself.
    auto raw = [](std::string xml, const std::string& reference) {
        xml.replace(xml.find("MARK"), 4, reference);
        return xml;
    };
    const std::string marked = DeltaBuilder().insert(TRow{"ENG", "ZZNUL", "cmp", "src", "beforeMARKafter", "T"}).xml();
    Answer a = call(server.port(), "SetDestino", json(raw(marked, "&#0;")));
    EXPECT_FALSE(a.ok);
    EXPECT_NE(a.message.find("caractere nulo"), std::string::npos) << a.message;
    EXPECT_FALSE(call(server.port(), "SetDestino", json(raw(marked, "&#x00;"))).ok);
    std::string delta;
    delta = DeltaBuilder().insert(TRow{"ENG", "ZZNUL", "cmp", "src", std::string("x\0y", 3), "T"}).xml();
    EXPECT_FALSE(call(server.port(), "SetDestino", json(delta)).ok);

    // A second document after the first: its change is neither applied nor acknowledged.
    const std::string first = DeltaBuilder().insert(TRow{"ENG", "ZZTWO", "cmp", "a", "1", "T"}).xml();
    const std::string second = DeltaBuilder().insert(TRow{"ENG", "ZZTWO", "cmp", "b", "2", "T"}).xml();
    const std::string tail = second.substr(second.find("<DATAPACKET"));
    a = call(server.port(), "SetDestino", json(first + tail));
    EXPECT_FALSE(a.ok);
    EXPECT_NE(a.message.find("mais de um elemento raiz"), std::string::npos) << a.message;
    EXPECT_TRUE(call(server.port(), "GetFiltroDest", filterParams(" AND CDPROGTRAD LIKE 'ZZ%'")).rows.empty());
}

TEST(ServerEdge, MalformedXmlInADeltaIsRefusedWithItsReasonNotStoredAsText)
{
    TrdServerProcess server(withArgs({}, true));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const std::string marked = DeltaBuilder().insert(TRow{"ENG", "ZZXML", "cmp", "src", "aMARKb", "T"}).xml();
    auto with = [&](const std::string& text) {
        std::string xml = marked;
        xml.replace(xml.find("MARK"), 4, text);
        return xml;
    };
    std::string doctype = with("&e;");
    doctype.insert(doctype.find("<DATAPACKET"), "<!DOCTYPE DATAPACKET [<!ENTITY e \"evil\">]>");
    std::string twice = with("x");
    twice.insert(twice.find("STVALORPROP=\"axb\"") + 17, " STVALORPROP=\"other\"");
    const struct {
        std::string xml;
        const char* says;
    } cases[] = {
        {with("&bogus;"), "entidade desconhecida \"&bogus;\""},
        {doctype, "entidade desconhecida \"&e;\""},
        {with("&#;"), "referência de caractere malformada \"&#;\""},
        {with("&#x;"), "referência de caractere malformada \"&#x;\""},
        {with("&#xD800;"), "não é de um caractere Unicode"},
        {with("&amp"), "falta o ';'"},
        {with("& "), "falta o ';'"},
        {twice, "o campo 'STVALORPROP' aparece mais de uma vez"},
    };
    for (const auto& c : cases) {
        const Answer a = call(server.port(), "SetDestino", json(c.xml));
        EXPECT_EQ(a.code, -32602) << c.says;
        EXPECT_NE(a.message.find(c.says), std::string::npos) << a.message;
    }
    EXPECT_TRUE(call(server.port(), "GetFiltroDest", filterParams(" AND CDPROGTRAD = 'ZZXML'")).rows.empty());
    // What XML allows still goes through: the five entities, character references, a comment.
    std::string sound = with("&lt;&amp;&#233;&#xE9;&quot;&apos;&gt;");
    sound.insert(sound.find("<DATAPACKET"), "<!-- a & b -->");
    const Answer ok = call(server.port(), "SetDestino", json(sound));
    EXPECT_TRUE(ok.ok) << ok.message;
    const Answer stored = call(server.port(), "GetFiltroDest", filterParams(" AND CDPROGTRAD = 'ZZXML'"));
    ASSERT_EQ(stored.rows.size(), 1u);
    EXPECT_EQ(stored.rows[0].at("STVALORPROP"), "a<&éé\"'>b");
}

TEST(ServerEdge, CostlyFiltersAreBoundedInSizeAndTime)
{
    // Rows of the longest text, and a LIKE of the longest pattern the dialog
    // can write, with a one-second statement limit.
    QTemporaryDir dir;
    const QString tsv = dir.filePath("long.tsv");
    {
        QFile f(tsv);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("L\tENG\tInglês\tPOR\n");
        const QByteArray text(4000, 'a');
        for (int i = 0; i < 3000; ++i)
            f.write("R\tENG\tLONG\tc" + QByteArray::number(i) + "\t" + text + "\t\tN\n");
    }
    TrdServerProcess::Options options = withArgs({"--statement-timeout", "1"});
    options.importTsv = tsv;
    TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();

    std::string pattern = "%";
    for (int i = 0; i < 126; ++i)
        pattern += "a_";
    pattern += "b%"; // 255 characters: allowed, never matches, and slow on every row
    const auto start = Clock::now();
    const Answer slow = call(server.port(), "GetFiltroDest", filterParams(" AND STAGRVALPROP LIKE '" + pattern + "'"));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_FALSE(slow.ok);
    EXPECT_NE(slow.message.find("A consulta passou do limite de 1 s"), std::string::npos) << slow.message;
    EXPECT_LT(seconds, 4.0);

    // One character more is refused before any row is read; so are more conditions than the dialog writes.
    const Answer tooLong =
        call(server.port(), "GetFiltroDest", filterParams(" AND STAGRVALPROP LIKE '" + pattern + "xx'"));
    EXPECT_FALSE(tooLong.ok);
    EXPECT_NE(tooLong.message.find("no máximo 256 caracteres"), std::string::npos) << tooLong.message;
    std::string many;
    for (int i = 0; i < 9; ++i)
        many += " AND CDPROGTRAD = 'LONG'";
    EXPECT_FALSE(call(server.port(), "GetFiltroDest", filterParams(many)).ok);
    // The server still answers at once.
    EXPECT_TRUE(call(server.port(), "GetFiltroDest", filterParams(" AND NMCOMPONENTE = 'c7'")).ok);
}
