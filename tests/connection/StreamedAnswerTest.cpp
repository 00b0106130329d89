// Large answers travel as a stream: the real trd-server writes the compact
// answer while it reads the rows, and the client loads them as they arrive.
// What must hold around that: clients that do not ask for the compact form
// get the very bytes they always got; an answer cut anywhere, or a server
// failing after it began to answer, ends in a clear error and a closed row
// set, never in a short set of rows taken for the whole.
#include "CuttingProxy.h"
#include "ServerCalls.h"
#include "TClientDataSet.h"
#include "TNetConnection.h"
#include "TrdServerProcess.h"
#include "WebServer.h"

#include <QCborStreamReader>
#include <QCborValue>
#include <QCryptographicHash>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

using namespace trd;

namespace {

// A language large enough that its answer is sent in many pieces, with the
// characters that need escaping in either form among ordinary texts.
QByteArray seedRows(int rows)
{
    QByteArray tsv = "L\tENG\tInglês\tPOR\nL\tESP\tEspanhol\tPOR\n";
    static const char* const specials[] = {
        "Aspas \"duplas\" e 'simples'",
        "Marcação <b>negrito</b> & companhia",
        "Linha 1\\r\\nLinha 2",
        "Tab\\taqui e barra \\\\ invertida",
        "Acentuação: ação, coração, pingüim, €uro, Œuvre",
        "",
    };
    for (int i = 0; i < rows; ++i) {
        const QByteArray n = QByteArray::number(i);
        const QByteArray program = "TRD" + QByteArray::number(i % 97).rightJustified(5, '0');
        const QByteArray component = "lblComponente" + QByteArray::number(i % 41) + "_" + n;
        QByteArray source = "Texto de origem número " + n + ", com acentuação";
        QByteArray destination = "Source text number " + n + ", translated";
        if (i % 7 == 3)
            destination = QByteArray(specials[(i / 7) % 6]) + " " + n;
        if (i % 11 == 5)
            source += " " + QByteArray(specials[(i / 11) % 5]);
        const char* status = i % 3 == 0 ? "T" : i % 3 == 1 ? "D" : "N";
        tsv += "R\tENG\t" + program + "\t" + component + "\t" + source + "\t" + destination + "\t" + status
            + "\t2025-03-0" + QByteArray::number(1 + i % 9) + " 10:00:00\n";
        if (i % 5 == 0)
            tsv += "R\tESP\t" + program + "\t" + component + "\t" + source + "\tTexto traduzido " + n + "\t" + status
                + "\t2025-04-01 09:30:00\n";
    }
    return tsv;
}

// One request on a fresh connection that the server closes after its answer:
// the answer exactly as it came over the wire, status line and headers included.
QByteArray rawExchange(int port, const QByteArray& body, const QByteArray& extraHeaders = {})
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QByteArray answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        const QByteArray request = "POST /Trd09300.rdmTraducao HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                                   "Content-Type: application/json\r\n"
            + extraHeaders + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
        ::send(fd, request.constData(), static_cast<size_t>(request.size()), MSG_NOSIGNAL);
        char buffer[65536];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            answer.append(buffer, n);
    }
    ::close(fd);
    return answer;
}

class StreamedAnswers : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        test::TrdServerProcess::Options options;
        options.seedTsv = seedRows(RowCount);
        server = new test::TrdServerProcess(options);
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(server->isRunning()) << server->errorString().toStdString();
        WebURL = server->host();
        WebPort = server->port();
    }

    static constexpr int RowCount = 30000;
    static test::TrdServerProcess* server;
};

test::TrdServerProcess* StreamedAnswers::server = nullptr;

// A listed-rows file naming a few components of the seed, as GetCDSFilter takes it.
QByteArray listedRowsPacket()
{
    TClientDataSet file;
    for (const char* name : {"IDIDIOMA", "CDPROGTRAD", "NMCOMPONENTE", "STAGRVALPROP", "TPLISTA"})
        file.AddField(QString::fromLatin1(name), TFieldType::ftString, 4000);
    file.CreateDataSet();
    for (int i = 0; i < 3000; i += 7) {
        file.Append();
        file.FieldByName(QStringLiteral("CDPROGTRAD"))
            ->SetAsString(QStringLiteral("TRD%1").arg(i % 97, 5, 10, QLatin1Char('0')));
        file.FieldByName(QStringLiteral("NMCOMPONENTE"))
            ->SetAsString(QStringLiteral("lblComponente%1_%2").arg(i % 41).arg(i));
        file.FieldByName(QStringLiteral("TPLISTA"))->SetAsString(i % 2 ? QStringLiteral("N") : QStringLiteral("E"));
        file.Post();
    }
    return file.Data();
}

const TRemoteArgs AllRowsOfEng = {"T", "D", "N", "ENG", TDateTime(0), TDateTime(0), QString()};

QByteArray jsonString(const QByteArray& utf8)
{
    QByteArray out = "\"";
    for (const char c : utf8) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

} // namespace

// What a curl client gets (no Accept, or one that does not take CBOR) is the
// JSON answer holding the XML packet, framed as before: the whole answer,
// status line, headers and body, has the same bytes it had before answers
// could be streamed (hashes taken from that server on this seed). The
// translation rows' answers since carry the review mark's two fields after
// the six (docs/protocol.md, "Translation row packet"): without the two
// FIELD entries and the empty NMREVISOR of each row they are those bytes.
TEST_F(StreamedAnswers, XmlAnswersForOtherClientsAreUnchangedByteForByte)
{
    struct Call {
        const char* name;
        QByteArray body;
        const char* sha256; // of the whole answer as that server sent it
    };
    const Call calls[] = {
        {"GetIdiTrad", R"({"jsonrpc":"2.0","id":1,"method":"GetIdiTrad","params":[]})",
         "72090b509ea8c4eff222259ff235395c036ec29cb0ffafbe6993bbde50db11a3"},
        {"GetDestino",
         R"({"jsonrpc":"2.0","id":2,"method":"GetDestino","params":["T","D","N","ENG",{"date":0},{"date":0},""]})",
         "a5903be4c78496295caaf491bc7fbde2538fd85ebb23bb2a4945ff75fa56ca73"},
        {"GetFiltroDest",
         R"({"jsonrpc":"2.0","id":"tres","method":"GetFiltroDest","params":["T","D","N"," AND UPPER(STVALORPROP) LIKE '%A%'","ENG",{"date":45717},{"date":45720},"N"]})",
         "4f5538b560bdafbebef0db3bc27f07bdf8514eb36e082f6541aa7daad4140d85"},
        {"GetCDSFilter",
         R"({"jsonrpc":"2.0","id":4,"method":"GetCDSFilter","params":["ENG",)" + jsonString(listedRowsPacket())
             + R"(,"3"]})",
         "99be7b17fb048ddea6414ca647673a1da629ce169dba596b4f8fb147259b8917"},
        {"GetInfoTrad", R"({"jsonrpc":"2.0","id":5,"method":"GetInfoTrad","params":["ENG"]})",
         "7493c7f4286d438451f958cfe07ea65d13aa1ba40351055f8ed73edcc8547229"},
        {"GetInfoTrad", R"({"jsonrpc":"2.0","id":6,"method":"GetInfoTrad","params":["ESP",{"date":0},{"date":0}]})",
         "a87fe0e21b30db5c07b9f4903f309ac8b195ae686c2268c47215116eb1a99d05"},
    };
    for (const Call& call : calls) {
        for (const QByteArray& accept : {QByteArray(), QByteArray("Accept: application/json\r\n"),
                                         QByteArray("Accept: */*;q=0.8, application/cbor;q=0\r\n")}) {
            const QByteArray answer = rawExchange(server->port(), call.body, accept);
            EXPECT_EQ(QCryptographicHash::hash(answer, QCryptographicHash::Sha256).toHex(), QByteArray(call.sha256))
                << call.name << " " << accept.constData() << answer.left(400).constData();
        }
    }
}

// Every method that answers rows loads them as they arrive, and the data set
// ends as the whole answer leaves it: the same rows, count, position and
// events as from the XML answer of a client that does not stream.
TEST_F(StreamedAnswers, RowsLoadedAsTheyArriveAreTheRowsOfTheWholeAnswer)
{
    const std::pair<QString, TRemoteArgs> calls[] = {
        {metodo::GetDestino, AllRowsOfEng},
        {metodo::GetFiltroDest,
         {"T", "D", "N", " AND UPPER(STVALORPROP) LIKE '%A%'", "ENG", TDateTime(0), TDateTime(0), QString()}},
        {metodo::GetCDSFilter, {"ENG", listedRowsPacket(), "3"}},
        {metodo::GetInfoTrad, {"ENG"}},
        {metodo::GetInfoTrad, {"ENG", TDateTime(0), TDateTime(0)}},
    };
    TNetConnection streamed, whole;
    whole.CompactAnswers = false;
    for (const auto& [method, args] : calls) {
        TServerResult answer = streamed.AppServer().Call(method, args);
        ASSERT_TRUE(answer.Ok) << method.toStdString();
        // GetCDSFilter's few rows fit one piece: they come whole.
        EXPECT_EQ(answer.Packet.isStream(), method != metodo::GetCDSFilter) << method.toStdString();
        TClientDataSet fromStream, fromWhole;
        fromStream.SetData(
            QByteArray("<?xml version=\"1.0\"?><DATAPACKET><METADATA><FIELDS/></METADATA><ROWDATA/></DATAPACKET>"));
        fromWhole.SetData(
            QByteArray("<?xml version=\"1.0\"?><DATAPACKET><METADATA><FIELDS/></METADATA><ROWDATA/></DATAPACKET>"));
        auto streamEvents = std::make_shared<QStringList>(), wholeEvents = std::make_shared<QStringList>();
        for (auto [ds, events] : {std::pair{&fromStream, streamEvents}, std::pair{&fromWhole, wholeEvents}}) {
            ds->BeforeClose = [events](TClientDataSet*) { *events << QStringLiteral("BeforeClose"); };
            ds->AfterClose = [events](TClientDataSet*) { *events << QStringLiteral("AfterClose"); };
            ds->BeforeOpen = [events](TClientDataSet* d) {
                *events << QStringLiteral("BeforeOpen %1").arg(d->Active());
            };
            ds->AfterOpen = [events](TClientDataSet* d) {
                *events << QStringLiteral("AfterOpen %1 rows, at %2").arg(d->RecordCount()).arg(d->RecNo());
            };
        }
        fromStream.SetData(CheckResultServ(std::move(answer), true, 0));
        fromWhole.SetData(CheckResultServ(whole.AppServer().Call(method, args), true, 0));
        EXPECT_GT(fromWhole.RecordCount(), 100) << method.toStdString();
        EXPECT_EQ(fromStream.RecordCount(), fromWhole.RecordCount()) << method.toStdString();
        EXPECT_EQ(fromStream.RecNo(), 1);
        EXPECT_EQ(fromStream.Data(), fromWhole.Data()) << method.toStdString();
        EXPECT_EQ(*streamEvents, *wholeEvents) << method.toStdString();
        // The connection carries the next call after the stream was read.
        EXPECT_TRUE(streamed.AppServer().Call(metodo::GetIdiTrad).Ok);
    }
    // An answer left unread is read into memory when the next call needs the
    // connection, and still loads whole afterwards.
    TServerResult first = streamed.AppServer().Call(metodo::GetDestino, AllRowsOfEng);
    ASSERT_TRUE(first.Packet.isStream());
    TClientDataSet languages, rows;
    languages.SetData(CheckResultServ(streamed.AppServer().Call(metodo::GetIdiTrad), true, 0));
    EXPECT_EQ(languages.RecordCount(), 2);
    rows.SetData(CheckResultServ(std::move(first), true, 0));
    EXPECT_EQ(rows.RecordCount(), RowCount);
}

// The connection cut anywhere in the answer (the network failing, the
// server killed): the user is told the connection was interrupted, and the
// data set holds either what it held before (the cut came before the rows
// did, so the call itself failed) or nothing at all, closed. Never a part of
// the rows taken for all of them.
TEST_F(StreamedAnswers, AnAnswerCutAnywhereIsAClearErrorAndAClosedRowSet)
{
    test::CuttingProxy proxy(server->port());
    TNetConnection net;
    net.BeforeConnect = [&](QObject*) { net.Port = proxy.port(); };
    const QString dropped =
        QStringLiteral("A conexão com o servidor de aplicação em 127.0.0.1:%1 foi interrompida.").arg(proxy.port());

    TClientDataSet whole;
    whole.SetData(CheckResultServ(net.AppServer().Call(metodo::GetDestino, AllRowsOfEng), true, 0));
    ASSERT_EQ(whole.RecordCount(), RowCount);
    const qint64 size = proxy.lastAnswerBytes();
    const QByteArray raw = rawExchange(
        server->port(),
        R"({"jsonrpc":"2.0","id":1,"method":"GetDestino","params":["T","D","N","ENG",{"date":0},{"date":0},""]})",
        "Accept: application/cbor\r\n");
    const qint64 headerEnd = raw.indexOf("\r\n\r\n") + 4;
    ASSERT_TRUE(raw.contains("Transfer-Encoding: chunked")) << raw.left(300).constData();
    ASSERT_GT(size, 1000000);

    QList<qint64> cuts = {0,
                          1,
                          17,
                          headerEnd - 1,
                          headerEnd,
                          headerEnd + 3,
                          headerEnd + 12,
                          headerEnd + 40,
                          headerEnd + 300,
                          size - 7,
                          size - 5,
                          size - 2,
                          size - 1};
    for (qint64 piece = 256 * 1024; piece < size; piece += 256 * 1024) // about where the server's pieces meet
        cuts << piece - 1 << piece + 11;
    for (int i = 1; i < 24; ++i)
        cuts << size * i / 24;
    for (const qint64 cut : cuts) {
        TClientDataSet ds;
        ds.SetData(CheckResultServ(net.AppServer().Call(metodo::GetIdiTrad), true, 0));
        ASSERT_EQ(ds.RecordCount(), 2);
        proxy.cutNextAnswerAfter(cut);
        bool callFailed = false, loadFailed = false;
        TServerResult answer;
        try {
            answer = net.AppServer().Call(metodo::GetDestino, AllRowsOfEng);
        } catch (const EConnectionError& e) {
            callFailed = true;
            EXPECT_EQ(e.Message(), dropped) << cut;
        }
        if (!callFailed) {
            try {
                ds.SetData(CheckResultServ(std::move(answer), true, 0));
            } catch (const EConnectionError& e) {
                loadFailed = true;
                EXPECT_EQ(e.Message(), dropped) << cut;
            }
        }
        EXPECT_EQ(proxy.lastAnswerBytes(), cut);
        EXPECT_TRUE(callFailed || loadFailed) << "cut at " << cut << " of " << size << " loaded " << ds.RecordCount();
        if (loadFailed) {
            EXPECT_FALSE(ds.Active()) << cut;
            EXPECT_EQ(ds.RecordCount(), 0) << cut;
        } else {
            EXPECT_TRUE(ds.Active()) << cut;
            EXPECT_EQ(ds.RecordCount(), 2) << cut;
        }
        if (cut >= headerEnd + 300) {
            EXPECT_TRUE(loadFailed) << cut; // past the envelope the rows were loading
        }
        EXPECT_FALSE(net.Connected()) << cut;
    }
    // The connection works again at once.
    TClientDataSet again;
    again.SetData(CheckResultServ(net.AppServer().Call(metodo::GetDestino, AllRowsOfEng), true, 0));
    EXPECT_EQ(again.Data(), whole.Data());
}

namespace {

// A language whose rows lie in the database in their key order, so that a
// page damaged near the end of the table is met near the end of the answer.
QByteArray sortedSeed(int rows)
{
    QByteArray tsv = "L\tENG\tInglês\tPOR\n";
    for (int i = 0; i < rows; ++i) {
        const QByteArray n = QByteArray::number(i).rightJustified(6, '0');
        tsv += "R\tENG\tP" + n.left(3) + "\tc" + n + "\tTexto de origem " + n + " de uma tela\tTranslated text " + n
            + "\tT\t2025-03-01 10:00:00\n";
    }
    return tsv;
}

// Overwrites the table page that holds the rows at `fraction` of the table's
// order, as a disk failing under a running server does.
bool damageTablePage(const QString& dbPath, double fraction)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(dbPath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return false;
    std::vector<qint64> pages;
    qint64 pageSize = 0;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT pageno FROM dbstat WHERE name = 'TRADUCAO' AND pagetype = 'leaf' ORDER BY path", -1,
                       &st, nullptr);
    while (st && sqlite3_step(st) == SQLITE_ROW)
        pages.push_back(sqlite3_column_int64(st, 0));
    sqlite3_finalize(st);
    sqlite3_prepare_v2(db, "PRAGMA page_size", -1, &st, nullptr);
    if (st && sqlite3_step(st) == SQLITE_ROW)
        pageSize = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    if (pages.size() < 10 || pageSize <= 0)
        return false;
    QFile file(dbPath);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const qint64 page = pages[static_cast<std::size_t>(fraction * static_cast<double>(pages.size()))];
    return file.seek((page - 1) * pageSize) && file.write(QByteArray(pageSize, '\xFF')) == pageSize && file.flush();
}

} // namespace

// The server meets a failure after its answer began (here a damaged page of
// the database, near the end of the rows): the client is told the server's
// own message, as for any refusal, and the data set is left closed and empty.
// A client that knows nothing of the failure report gets no proper end of the
// answer either: no last chunk, and CBOR that stops inside the rows.
TEST_F(StreamedAnswers, AServerFailingAfterItBeganToAnswerIsToldAsAFailure)
{
    test::TrdServerProcess::Options options;
    options.seedTsv = sortedSeed(20000);
    test::TrdServerProcess damaged(options);
    ASSERT_TRUE(damaged.isRunning()) << damaged.errorString().toStdString();
    // Restarted, so that the rows are in the database file itself (not its
    // write-ahead log) when its page is damaged behind the server's back.
    ASSERT_TRUE(damaged.terminate());
    ASSERT_TRUE(damaged.restart()) << damaged.errorString().toStdString();
    WebPort = damaged.port();
    TNetConnection net;
    net.Open();
    ASSERT_TRUE(damageTablePage(damaged.dbPath(), 0.8));

    TClientDataSet ds;
    ds.SetData(CheckResultServ(net.AppServer().Call(metodo::GetIdiTrad), true, 0));
    TServerResult answer = net.AppServer().Call(metodo::GetDestino, AllRowsOfEng);
    ASSERT_TRUE(answer.Ok);
    ASSERT_TRUE(answer.Packet.isStream()); // it had begun
    try {
        ds.SetData(CheckResultServ(std::move(answer), true, 0));
        FAIL() << "the rows before the damaged page loaded as the whole answer: " << ds.RecordCount();
    } catch (const EServerError& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("O banco de dados do servidor está danificado")))
            << e.Message().toStdString();
        EXPECT_EQ(e.ErrorCode(), -32603);
    }
    EXPECT_FALSE(ds.Active());
    EXPECT_EQ(ds.RecordCount(), 0);
    EXPECT_TRUE(damaged.logShows("resposta interrompida após")) << damaged.log().toStdString();

    const QByteArray raw = rawExchange(
        damaged.port(),
        R"({"jsonrpc":"2.0","id":9,"method":"GetDestino","params":["T","D","N","ENG",{"date":0},{"date":0},""]})",
        "Accept: application/cbor\r\n");
    ASSERT_TRUE(raw.contains("Transfer-Encoding: chunked")) << raw.left(300).constData();
    EXPECT_FALSE(raw.endsWith("\r\n0\r\n\r\n"));
    // The chunks' contents, read by a CBOR reader that is not ours: it runs
    // out of bytes inside the answer.
    QByteArray body;
    for (qsizetype at = raw.indexOf("\r\n\r\n") + 4; at < raw.size();) {
        const qsizetype eol = raw.indexOf("\r\n", at);
        if (eol < 0)
            break;
        bool ok = false;
        const qsizetype length = raw.mid(at, eol - at).toLongLong(&ok, 16);
        if (!ok || length == 0)
            break;
        body += raw.mid(eol + 2, length);
        at = eol + 2 + length + 2;
    }
    ASSERT_GT(body.size(), 256 * 1024);
    QCborStreamReader reader(body);
    const QCborValue whole = QCborValue::fromCbor(reader);
    EXPECT_NE(reader.lastError(), QCborError::NoError);
    Q_UNUSED(whole);
}
