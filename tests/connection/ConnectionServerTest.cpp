// The connection against a real trd-server: a method answered and its packet
// intact, a server refusal raised by CheckResultServ, and the server stopped
// in the middle of a session (the call fails clearly and the session goes on
// once the server is back), and what a call may run while it waits.
#include "EventCounter.h"
#include "ServerCalls.h"
#include "TNetConnection.h"
#include "TrdServerProcess.h"
#include "WebServer.h"

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
    TNetConnection net;   // takes WebURL and WebPort as its address
    net.Open();
    const QByteArray packet = CheckResultServ(net.AppServer().Call(metodo::GetIdiTrad), true, 0);
    EXPECT_TRUE(packet.startsWith("<?xml")) << packet.left(80).toStdString();
    EXPECT_TRUE(packet.contains("attrname=\"IDIDIOMA\""));
    EXPECT_TRUE(packet.contains("<ROW "));
    net.Close();
    EXPECT_FALSE(net.Connected());
}

TEST_F(ConnectionServer, RowsOfALanguageComeWithEveryArgumentKind)
{
    TNetConnection net;
    const QByteArray packet = CheckResultServ(
        net.AppServer().Call(metodo::GetFiltroDest,
                             {"T", "D", "N", QString(), "ENG", TDateTime(0), TDateTime(0), QString()}),
        true, 0);
    EXPECT_TRUE(net.Connected());   // the call connected it
    EXPECT_TRUE(packet.contains("attrname=\"STVALORPROP\""));
    EXPECT_TRUE(packet.contains("IDIDIOMA=\"ENG\""));
}

TEST_F(ConnectionServer, ServerRefusalIsRaisedByCheckResultServ)
{
    TNetConnection net;
    TServerResult result = net.AppServer().Call(
        metodo::GetFiltroDest, {"T", "D", "N", " AND 1=1; DROP TABLE x", "ENG", TDateTime(0), TDateTime(0), "N"});
    EXPECT_FALSE(result.Ok);
    EXPECT_TRUE(net.Connected());   // a refusal is no transport fault
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

    server->kill9();   // gone at once, with our keep-alive socket still open
    try {
        net.AppServer().Call(metodo::GetIdiTrad);
        FAIL() << "a call to a stopped server succeeded";
    } catch (const EConnectionError& e) {
        const QString m = e.Message();
        EXPECT_TRUE(m.contains(QStringLiteral("servidor de aplicação em %1").arg(net.Address()))) << m.toStdString();
    }
    EXPECT_FALSE(net.Connected());

    ASSERT_TRUE(server->restart()) << server->errorString().toStdString();
    net.Port = server->port();   // restart keeps the port when it can
    EXPECT_TRUE(CheckResultServ(net.AppServer().Call(metodo::GetIdiTrad)).contains("<ROW "));
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
    QMetaObject::invokeMethod(&widget, [&] { posted = true; }, Qt::QueuedConnection);
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
