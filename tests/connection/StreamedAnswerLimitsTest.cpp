// What a streamed answer may cost, against the real trd-server: neither end
// holds a large answer whole (the server keeps a few pieces ahead of a slow
// reader, the client loads the rows without a copy of the answer), and the
// server killed while the rows arrive leaves the client a clear message and
// a closed row set.
#include "ServerCalls.h"
#include "TClientDataSet.h"
#include "TNetConnection.h"
#include "TrdServerProcess.h"
#include "WebServer.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace trd;

namespace {

constexpr int RowCount = 36000;

// Rows whose texts run to a few hundred characters, as help texts do: an
// answer of some thirty megabytes from rows the server imports quickly.
QByteArray longTextSeed()
{
    QByteArray tsv = "L\tENG\tInglês\tPOR\n";
    const QByteArray sentence = "Texto de ajuda da tela, com acentuação e instruções para o usuário. ";
    const QByteArray translated = "Help text of the screen, with instructions for the user. ";
    for (int i = 0; i < RowCount; ++i) {
        const QByteArray n = QByteArray::number(i);
        tsv += "R\tENG\tTRD" + QByteArray::number(i % 300).rightJustified(5, '0') + "\thint" + n + "\t"
            + sentence.repeated(6) + n + "\t" + translated.repeated(7) + n + "\tT\t2025-03-01 10:00:00\n";
    }
    return tsv;
}

test::TrdServerProcess::Options seeded()
{
    test::TrdServerProcess::Options options;
    options.seedTsv = longTextSeed();
    return options;
}

const TRemoteArgs AllRowsOfEng = {"T", "D", "N", "ENG", TDateTime(0), TDateTime(0), QString()};

// A line of /proc/PID/status, in kB.
qint64 statusKb(qint64 pid, const char* name)
{
    QFile file(pid ? QStringLiteral("/proc/%1/status").arg(pid) : QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith(name))
            return line.mid(qstrlen(name)).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// User and system time the process has run, in clock ticks.
qint64 cpuTicks(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = file.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields[11].toLongLong() + fields[12].toLongLong() : -1;
}

// Waits until the process has used no processor time for a whole second:
// whatever it could do without its client, it has done.
void waitUntilIdle(qint64 pid)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = cpuTicks(pid);
    QElapsedTimer still;
    still.start();
    while (still.elapsed() < 1000 && clock.elapsed() < 120000) {
        QThread::msleep(100);
        const qint64 now = cpuTicks(pid);
        if (now != last) {
            last = now;
            still.restart();
        }
    }
}

// Sends GetDestino for every row of ENG in the compact form on a fresh
// connection with the given receive window (a small one: the kernel holds
// little of the answer either); the socket, or -1.
int requestRowsOfEng(int port, int window = 64 * 1024)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const QByteArray body =
        R"({"jsonrpc":"2.0","id":1,"method":"GetDestino","params":["T","D","N","ENG",{"date":0},{"date":0},""]})";
    const QByteArray request = "POST /Trd09300.rdmTraducao HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                               "Content-Type: application/json\r\nAccept: application/cbor\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0
        || ::send(fd, request.constData(), static_cast<size_t>(request.size()), MSG_NOSIGNAL) != request.size()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// What has come of the answer once its header is in (or the connection ended).
QByteArray readHeader(int fd)
{
    QByteArray raw;
    char buffer[65536];
    while (!raw.contains("\r\n\r\n")) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 60000) != 1)
            break;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        raw.append(buffer, n);
    }
    return raw;
}

// The body of a chunked answer, its chunks joined; `ended` tells whether the
// last chunk came.
QByteArray dechunk(const QByteArray& raw, qsizetype from, bool& ended)
{
    QByteArray body;
    ended = false;
    for (qsizetype at = from; at < raw.size();) {
        const qsizetype eol = raw.indexOf("\r\n", at);
        if (eol < 0)
            break;
        bool ok = false;
        const qsizetype length = raw.mid(at, eol - at).toLongLong(&ok, 16);
        if (!ok)
            break;
        if (length == 0) {
            ended = raw.mid(eol, 4) == "\r\n\r\n";
            break;
        }
        body += raw.mid(eol + 2, length);
        at = eol + 2 + length + 2;
    }
    return body;
}

} // namespace

// A client that stops reading in the middle of a large answer makes the
// server wait with a few pieces queued, not read on and hold the rest of the
// answer in memory; once the client reads again the answer goes on to its
// proper end, whole.
TEST(StreamedAnswerLimits, AServerKeepsOnlyAFewPiecesAheadOfAClientThatStopsReading)
{
    test::TrdServerProcess server(seeded());
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const qint64 pid = server.pid();
    // The translation memory's index is built in the background after the
    // start; what it holds is not the answer's, so it is measured first.
    QElapsedTimer indexing;
    indexing.start();
    while (!server.log().contains("memória de tradução pronta") && indexing.elapsed() < 120000)
        QThread::msleep(100);
    waitUntilIdle(pid);
    const qint64 before = statusKb(pid, "RssAnon:");
    ASSERT_GT(before, 0);

    const int fd = requestRowsOfEng(server.port());
    ASSERT_GE(fd, 0);
    QByteArray raw = readHeader(fd);
    char buffer[65536];
    ASSERT_TRUE(raw.contains("Transfer-Encoding: chunked")) << raw.left(300).constData();
    waitUntilIdle(pid);
    const qint64 stalled = statusKb(pid, "RssAnon:");
    EXPECT_FALSE(server.log().contains("GetDestino")) << "the call ended while its client read nothing";

    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        raw.append(buffer, n);
    ::close(fd);
    bool ended = false;
    const QByteArray cbor = dechunk(raw, raw.indexOf("\r\n\r\n") + 4, ended);
    EXPECT_TRUE(ended);
    const QCborValue answer = QCborValue::fromCbor(cbor);
    EXPECT_EQ(answer[QLatin1String("result")].taggedValue()[QLatin1String("rows")].toArray().size(), RowCount);
    ASSERT_GT(cbor.size(), 28 << 20);
    // The server's own memory while it waited: the queued pieces and what the
    // call needs besides, far from the answer's size.
    EXPECT_LT((stalled - before) * 1024, cbor.size() / 2)
        << "grew by " << (stalled - before) << " kB for an answer of " << cbor.size() / 1024 << " kB";
}

// A client that takes the answer a little at a time (each piece in good time,
// the whole far too slowly) has the time a whole answer has, not a piece's
// time over and over: then it is dropped, and the call's worker (the only
// one here) is free for the next client.
TEST(StreamedAnswerLimits, AClientTakingAnAnswerSlowlyHasTheTimeOfAWholeAnswer)
{
    test::TrdServerProcess::Options options = seeded();
    options.extraArgs = {QStringLiteral("--threads"), QStringLiteral("1"), QStringLiteral("--write-timeout"),
                         QStringLiteral("2")};
    test::TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();

    const int fd = requestRowsOfEng(server.port(), 1 << 20);
    ASSERT_GE(fd, 0);
    QByteArray raw = readHeader(fd);
    ASSERT_TRUE(raw.contains("Transfer-Encoding: chunked")) << raw.left(300).constData();
    // Up to 256 KiB each 100 ms: a piece in a fraction of the two seconds,
    // the whole answer in many times them.
    QElapsedTimer clock;
    clock.start();
    static char buffer[256 * 1024];
    bool dropped = false;
    while (clock.elapsed() < 40000) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10000) != 1)
            break;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            dropped = true;
            break;
        }
        raw.append(buffer, n);
        QThread::msleep(100);
    }
    ::close(fd);
    ASSERT_TRUE(dropped) << "still reading after " << clock.elapsed() << " ms, " << raw.size() << " bytes";
    bool ended = false;
    dechunk(raw, raw.indexOf("\r\n\r\n") + 4, ended);
    EXPECT_FALSE(ended) << "the whole answer came, in " << clock.elapsed() << " ms";
    EXPECT_LT(raw.size(), 20 << 20);

    WebURL = server.host();
    WebPort = server.port();
    TNetConnection net;
    TClientDataSet languages;
    languages.SetData(CheckResultServ(net.AppServer().Call(metodo::GetIdiTrad), true, 0));
    EXPECT_EQ(languages.RecordCount(), 1);
    EXPECT_TRUE(server.logShows("resposta interrompida")) << server.log().toStdString();
}

// The rows are loaded from a window over the arriving answer: while they
// load, the client holds the rows and little else, never the answer whole
// beside them.
TEST(StreamedAnswerLimits, AClientLoadsTheRowsWithoutACopyOfTheAnswer)
{
    test::TrdServerProcess server(seeded());
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    WebURL = server.host();
    WebPort = server.port();
    TNetConnection net;
    TClientDataSet ds;
    ds.SetData(CheckResultServ(net.AppServer().Call(metodo::GetIdiTrad), true, 0));

    // Memory freed earlier (the seed's making) goes back to the system, so
    // that what the load takes shows in the process's resident size.
    malloc_trim(0);
    {
        QFile peak(QStringLiteral("/proc/self/clear_refs"));
        ASSERT_TRUE(peak.open(QIODevice::WriteOnly));
        ASSERT_EQ(peak.write("5"), 1); // the process's high-water mark starts again from here
    }
    const qint64 before = statusKb(0, "VmRSS:");
    TServerResult answer = net.AppServer().Call(metodo::GetDestino, AllRowsOfEng);
    ASSERT_TRUE(answer.Packet.isStream());
    ds.SetData(CheckResultServ(std::move(answer), true, 0));
    const qint64 after = statusKb(0, "VmRSS:");
    const qint64 peak = statusKb(0, "VmHWM:");
    ASSERT_EQ(ds.RecordCount(), RowCount);

    const QByteArray log = server.log();
    const qsizetype at = log.indexOf(" bytes", log.indexOf("GetDestino"));
    ASSERT_GT(at, 0) << log.constData();
    const qint64 answerBytes = log.left(at).split(' ').last().toLongLong();
    ASSERT_GT(answerBytes, 28 << 20);
    EXPECT_GT(after - before, answerBytes / 1024 / 2) << "the rows hold their texts";
    // What the load needed beyond what the rows keep.
    EXPECT_LT((peak - after) * 1024, answerBytes / 4)
        << "peak " << peak << " kB, after " << after << " kB, answer " << answerBytes / 1024 << " kB";
}

// The server dies (killed, no chance to end its answer) while the rows
// arrive: the user reads that the connection was interrupted, the row set is
// closed and empty, and once the server is back the same call loads whole.
TEST(StreamedAnswerLimits, AServerKilledWhileTheRowsArriveLeavesAClosedRowSet)
{
    test::TrdServerProcess server(seeded());
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    WebURL = server.host();
    WebPort = server.port();
    TNetConnection net;
    TClientDataSet ds;
    ds.SetData(CheckResultServ(net.AppServer().Call(metodo::GetIdiTrad), true, 0));
    ASSERT_EQ(ds.RecordCount(), 1);

    TServerResult answer = net.AppServer().Call(metodo::GetDestino, AllRowsOfEng);
    ASSERT_TRUE(answer.Packet.isStream());
    // The server can be no further than a few pieces and the sockets' buffers
    // ahead of the client: most of the answer dies with it.
    server.kill9();
    try {
        ds.SetData(CheckResultServ(std::move(answer), true, 0));
        FAIL() << "loaded " << ds.RecordCount() << " rows from a server killed while sending them";
    } catch (const EConnectionError& e) {
        EXPECT_EQ(
            e.Message(),
            QStringLiteral("A conexão com o servidor de aplicação em %1 foi interrompida.").arg(server.hostPort()));
    }
    EXPECT_FALSE(ds.Active());
    EXPECT_EQ(ds.RecordCount(), 0);
    EXPECT_FALSE(net.Connected());

    ASSERT_TRUE(server.restart()) << server.errorString().toStdString();
    net.Port = server.port();
    ds.SetData(CheckResultServ(net.AppServer().Call(metodo::GetDestino, AllRowsOfEng), true, 0));
    EXPECT_TRUE(ds.Active());
    EXPECT_EQ(ds.RecordCount(), RowCount);
}
