// The connection against a real trd-server: a method answered and its packet
// intact, a server refusal raised by CheckResultServ, and the server stopped
// in the middle of a session (the call fails clearly and the session goes on
// once the server is back), and what a call may run while it waits.
#include "EventCounter.h"
#include "ServerCalls.h"
#include "TNetConnection.h"
#include "TrdServerProcess.h"
#include "WebServer.h"
#include "TClientDataSet.h"

#include <httplib.h>

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

using namespace trd;

namespace {

class ConnectionServer : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        TrdServerProcess::Options options;
        options.demo = true;
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

    using TrdServerProcess = test::TrdServerProcess;
    static TrdServerProcess* server;
};

test::TrdServerProcess* ConnectionServer::server = nullptr;

} // namespace

TEST_F(ConnectionServer, LanguagesAnswerIsADataPacket)
{
    TNetConnection net; // takes WebURL and WebPort as its address
    net.CompactAnswers = false;
    net.Open();
    const QByteArray packet = CheckResultServ(net.AppServer().Call(metodo::GetIdiTrad), true, 0);
    EXPECT_TRUE(packet.startsWith("<?xml")) << packet.left(80).toStdString();
    EXPECT_TRUE(packet.contains("attrname=\"IDIDIOMA\""));
    EXPECT_TRUE(packet.contains("<ROW "));
    net.Close();
    EXPECT_FALSE(net.Connected());
}

// Every method that answers a packet answers the client that accepts CBOR
// in CBOR, and those packets load exactly the rows the XML ones load.
TEST_F(ConnectionServer, CompactAnswersLoadTheSameRowsAsXmlAnswers)
{
    QByteArray listed;
    {
        // A listed-rows file naming the component of the language's first row.
        TNetConnection net;
        TClientDataSet rows;
        rows.SetData(
            CheckResultServ(net.AppServer().Call(QStringLiteral("GetDestino"),
                                                 {"T", "D", "N", "ENG", TDateTime(0), TDateTime(0), QString()}),
                            true, 0));
        TClientDataSet file;
        for (const char* name : {"IDIDIOMA", "CDPROGTRAD", "NMCOMPONENTE", "STAGRVALPROP", "TPLISTA"})
            file.AddField(QString::fromLatin1(name), TFieldType::ftString, 4000);
        file.CreateDataSet();
        file.Append();
        for (const char* name : {"CDPROGTRAD", "NMCOMPONENTE"})
            file.FieldByName(QString::fromLatin1(name))
                ->SetAsString(rows.FieldByName(QString::fromLatin1(name))->AsString());
        file.FieldByName(QStringLiteral("TPLISTA"))->SetAsString(QStringLiteral("N"));
        file.Post();
        listed = file.Data();
    }
    const std::pair<const char*, TRemoteArgs> calls[] = {
        {"GetIdiTrad", {}},
        {"GetDestino", {"T", "D", "N", "ENG", TDateTime(0), TDateTime(0), QString()}},
        {"GetFiltroDest",
         {"T", "D", "N", " AND UPPER(STVALORPROP) LIKE '%A%'", "ENG", TDateTime(0), TDateTime(0), QString()}},
        {"GetCDSFilter", {"ENG", listed, "3"}},
        {"GetInfoTrad", {"ENG"}},
        {"GetCalcTrad", {"ENG"}},
        {"GetCalcDuv", {"ENG"}},
        {"GetCatalogoRel", {}},
        {"GetConsultaRel",
         {"LinhasPorTela", "P_IDIDIOMA", "ENG", "P_SITUACAO", "", "P_TSITUACAO", "ALL", "P_DtIni", TDateTime(0),
          "P_DtFim", TDateTime(80000)}},
    };
    TNetConnection compact, xml;
    xml.CompactAnswers = false;
    for (const auto& [method, args] : calls) {
        const QString name = QString::fromLatin1(method);
        const QByteArray binary = CheckResultServ(compact.AppServer().Call(name, args), true, 0);
        const QByteArray text = CheckResultServ(xml.AppServer().Call(name, args), true, 0);
        EXPECT_TRUE(isCborPacket(binary)) << method;
        EXPECT_TRUE(text.startsWith("<?xml")) << method;
        TClientDataSet fromBinary, fromText;
        fromBinary.SetData(binary);
        fromText.SetData(text);
        EXPECT_GT(fromText.RecordCount(), 0) << method;
        EXPECT_EQ(fromBinary.Data(), fromText.Data()) << method;
    }
    // The answer that is no packet, and refusals, stay JSON for everyone.
    TServerResult refused = compact.AppServer().Call(QStringLiteral("GetIdiTrad"), {"demais"});
    EXPECT_FALSE(refused.Ok);
    EXPECT_FALSE(refused.ErrorMessage.isEmpty());
}

// Whoever does not ask for CBOR (curl, scripts, JSON-RPC libraries) gets the
// JSON answer byte for byte as before, whatever else it says it accepts.
TEST_F(ConnectionServer, ClientsThatDoNotAskForCborGetTheJsonAnswer)
{
    httplib::Client http(server->host().toStdString(), server->port());
    const std::string body = R"({"jsonrpc":"2.0","id":7,"method":"GetIdiTrad","params":[]})";
    const auto plain = http.Post("/Trd09300.rdmTraducao", body, "application/json");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->get_header_value("Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(plain->body.rfind(R"({"jsonrpc":"2.0","id":7,"result":"<?xml version=\"1.0\")", 0), 0u) << plain->body;
    for (const char* accept : {"application/json", "*/*", "text/html, application/cbor;q=0"}) {
        const auto other =
            http.Post("/Trd09300.rdmTraducao", httplib::Headers{{"Accept", accept}}, body, "application/json");
        ASSERT_TRUE(other);
        EXPECT_EQ(other->body, plain->body) << accept;
        EXPECT_EQ(other->get_header_value("Content-Type"), plain->get_header_value("Content-Type")) << accept;
    }
    const auto binary =
        http.Post("/Trd09300.rdmTraducao", httplib::Headers{{"Accept", "application/json;q=0.5, application/CBOR"}},
                  body, "application/json");
    ASSERT_TRUE(binary);
    EXPECT_EQ(binary->get_header_value("Content-Type"), "application/cbor");
    const TServerResult decoded = jsonrpc::DecodeCborAnswer(QByteArray::fromStdString(binary->body), 7);
    const TServerResult fromJson = jsonrpc::DecodeAnswer(QByteArray::fromStdString(plain->body), 7);
    TClientDataSet a, b;
    a.SetData(decoded.Packet);
    b.SetData(fromJson.Packet);
    EXPECT_EQ(a.Data(), b.Data());
}

TEST_F(ConnectionServer, RowsOfALanguageComeWithEveryArgumentKind)
{
    TNetConnection net;
    net.CompactAnswers = false;
    const QByteArray packet =
        CheckResultServ(net.AppServer().Call(metodo::GetFiltroDest,
                                             {"T", "D", "N", QString(), "ENG", TDateTime(0), TDateTime(0), QString()}),
                        true, 0);
    EXPECT_TRUE(net.Connected()); // the call connected it
    EXPECT_TRUE(packet.contains("attrname=\"STVALORPROP\""));
    EXPECT_TRUE(packet.contains("IDIDIOMA=\"ENG\""));
}

TEST_F(ConnectionServer, ServerRefusalIsRaisedByCheckResultServ)
{
    TNetConnection net;
    TServerResult result = net.AppServer().Call(
        metodo::GetFiltroDest, {"T", "D", "N", " AND 1=1; DROP TABLE x", "ENG", TDateTime(0), TDateTime(0), "N"});
    EXPECT_FALSE(result.Ok);
    EXPECT_TRUE(net.Connected()); // a refusal is no transport fault
    try {
        CheckResultServ(result, true, 0);
        FAIL() << "CheckResultServ let a refusal through";
    } catch (const EServerError& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Filtro inválido"))) << e.Message().toStdString();
    }
    // The same connection goes on serving.
    EXPECT_TRUE(net.AppServer().Call(metodo::GetIdiTrad).Ok);
}

TEST_F(ConnectionServer, ServerStoppedMidSessionFailsClearlyAndRecovers)
{
    TNetConnection net;
    net.Open();
    ASSERT_TRUE(net.AppServer().Call(metodo::GetIdiTrad).Ok);

    server->kill9(); // gone at once, with our keep-alive socket still open
    try {
        net.AppServer().Call(metodo::GetIdiTrad);
        FAIL() << "a call to a stopped server succeeded";
    } catch (const EConnectionError& e) {
        const QString m = e.Message();
        EXPECT_TRUE(m.contains(QStringLiteral("servidor de aplicação em %1").arg(net.Address()))) << m.toStdString();
    }
    EXPECT_FALSE(net.Connected());

    ASSERT_TRUE(server->restart()) << server->errorString().toStdString();
    net.Port = server->port(); // restart keeps the port when it can
    TClientDataSet languages;
    languages.SetData(CheckResultServ(net.AppServer().Call(metodo::GetIdiTrad)));
    EXPECT_GT(languages.RecordCount(), 0);
}

TEST_F(ConnectionServer, ACallPaintsWhatWaitsToBePaintedWhileTheServerWorksAndRunsNothingElse)
{
    test::EventCounter paints(QEvent::Paint);
    QWidget widget;
    widget.resize(120, 40);
    widget.show();
    QApplication::processEvents();
    widget.installEventFilter(&paints);
    bool posted = false;
    QMetaObject::invokeMethod(
        &widget, [&] { posted = true; }, Qt::QueuedConnection);
    widget.update();

    TNetConnection net;
    net.Open();
    EXPECT_TRUE(net.AppServer().Call(metodo::GetIdiTrad).Ok);
    // No event loop ran: the paint happened inside the call.
    EXPECT_EQ(paints.count, 1);
    EXPECT_FALSE(posted) << "inside a call only painting may run, never queued work or input";
    QApplication::processEvents();
    EXPECT_TRUE(posted);
}
