// Large answers travel as a stream: the real trd-server writes the compact
// answer while it reads the rows, and the client loads them as they arrive.
// What must hold around that: clients that do not ask for the compact form
// get the very bytes they always got; an answer cut anywhere, or a server
// failing after it began to answer, ends in a clear error and a closed row
// set, never in a short set of rows taken for the whole.
#include "ServerCalls.h"
#include "TClientDataSet.h"
#include "TNetConnection.h"
#include "TrdServerProcess.h"
#include "WebServer.h"

#include <QCryptographicHash>

#include <gtest/gtest.h>

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
        "Aspas \"duplas\" e 'simples'", "Marcação <b>negrito</b> & companhia", "Linha 1\\r\\nLinha 2",
        "Tab\\taqui e barra \\\\ invertida", "Acentuação: ação, coração, pingüim, €uro, Œuvre", "",
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
        tsv += "R\tENG\t" + program + "\t" + component + "\t" + source + "\t" + destination + "\t" + status +
               "\t2025-03-0" + QByteArray::number(1 + i % 9) + " 10:00:00\n";
        if (i % 5 == 0)
            tsv += "R\tESP\t" + program + "\t" + component + "\t" + source + "\tTexto traduzido " + n + "\t" + status +
                   "\t2025-04-01 09:30:00\n";
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
                                   "Content-Type: application/json\r\n" + extraHeaders + "Content-Length: " +
                                   QByteArray::number(body.size()) + "\r\n\r\n" + body;
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
        file.FieldByName(QStringLiteral("CDPROGTRAD"))->SetAsString(QStringLiteral("TRD%1").arg(i % 97, 5, 10, QLatin1Char('0')));
        file.FieldByName(QStringLiteral("NMCOMPONENTE"))->SetAsString(QStringLiteral("lblComponente%1_%2").arg(i % 41).arg(i));
        file.FieldByName(QStringLiteral("TPLISTA"))->SetAsString(i % 2 ? QStringLiteral("N") : QStringLiteral("E"));
        file.Post();
    }
    return file.Data();
}

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
// could be streamed (hashes taken from that server on this seed).
TEST_F(StreamedAnswers, XmlAnswersForOtherClientsAreUnchangedByteForByte)
{
    struct Call {
        const char* name;
        QByteArray body;
        const char* sha256;   // of the whole answer as that server sent it
    };
    const Call calls[] = {
        {"GetIdiTrad", R"({"jsonrpc":"2.0","id":1,"method":"GetIdiTrad","params":[]})",
         "72090b509ea8c4eff222259ff235395c036ec29cb0ffafbe6993bbde50db11a3"},
        {"GetDestino", R"({"jsonrpc":"2.0","id":2,"method":"GetDestino","params":["T","D","N","ENG",{"date":0},{"date":0},""]})",
         "a49ed89088c5434a1ffd4d9c9be6b74d2bf6f6fd02b35ac19e2adbdf794cd661"},
        {"GetFiltroDest",
         R"({"jsonrpc":"2.0","id":"tres","method":"GetFiltroDest","params":["T","D","N"," AND UPPER(STVALORPROP) LIKE '%A%'","ENG",{"date":45717},{"date":45720},"N"]})",
         "8393ce889da44204d435c7cf1e8acd17a641cb7b9556e611d72f9bca3b0d306a"},
        {"GetCDSFilter",
         R"({"jsonrpc":"2.0","id":4,"method":"GetCDSFilter","params":["ENG",)" + jsonString(listedRowsPacket()) + R"(,"3"]})",
         "418310faec2298aeaa49d4d34c8516dc454915d4fd4d2721e4a84e94223b055b"},
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
