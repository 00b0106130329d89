// The host: its command line, loading the package and its entry, and the main
// window opening the translation module against a real server, or reporting
// clearly why it cannot.
#include "ClientOptions.h"
#include "MainWindow.h"
#include "PackageLoader.h"
#include "RecordingDialogSeam.h"
#include "TApplication.h"
#include "TForm.h"
#include "TfrmDadosGerRel.h"
#include "TrdServerProcess.h"
#include "WebServer.h"

#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace trd;

namespace {

QString realLibDir()
{
    return qEnvironmentVariable("TRD_LIB_DIR");
}

// The module's forms are MDI children; close them all and let them go.
void closeModule(MainWindow& window)
{
    window.MdiArea()->closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

TEST(ClientOptionsTest, ServerComesFromTheCommandLineOrTheEnvironment)
{
    qunsetenv("TRD_SERVER");
    ClientOptions o = ParseClientOptions({QStringLiteral("trd-client"), QStringLiteral("--open"),
                                          QStringLiteral("--server"), QStringLiteral("srv.local:9300")});
    EXPECT_TRUE(o.error.isEmpty()) << o.error.toStdString();
    EXPECT_TRUE(o.open);
    EXPECT_EQ(WebURL, QStringLiteral("srv.local"));
    EXPECT_EQ(WebPort, 9300);

    qputenv("TRD_SERVER", "10.0.0.9:8400");
    o = ParseClientOptions({QStringLiteral("trd-client")});
    EXPECT_FALSE(o.open);
    EXPECT_EQ(WebURL, QStringLiteral("10.0.0.9"));
    EXPECT_EQ(WebPort, 8400);
    qunsetenv("TRD_SERVER");

    o = ParseClientOptions({QStringLiteral("trd-client"), QStringLiteral("--server"), QStringLiteral("host:porta")});
    EXPECT_FALSE(o.error.isEmpty());
    EXPECT_EQ(WebURL, QStringLiteral("10.0.0.9")); // a refused address changes nothing
    o = ParseClientOptions({QStringLiteral("trd-client"), QStringLiteral("--fechar")});
    EXPECT_EQ(o.error, QStringLiteral("Opção desconhecida: fechar (veja trd-client --help)"));
    o = ParseClientOptions({QStringLiteral("trd-client"), QStringLiteral("--help")});
    EXPECT_TRUE(o.help);
    EXPECT_TRUE(o.helpText.startsWith(QStringLiteral("Uso: trd-client [opções]")));
    for (const char* english : {"Usage", "Options", "Displays"})
        EXPECT_FALSE(o.helpText.contains(QLatin1String(english))) << english;
    o = ParseClientOptions({QStringLiteral("trd-client"), QStringLiteral("sobra")});
    EXPECT_FALSE(o.error.isEmpty());

    // TLS: asked by the address's scheme, or by naming the authority to trust.
    o = ParseClientOptions({"trd-client", "--server", "https://srv.local:9443/"});
    EXPECT_TRUE(o.error.isEmpty()) << o.error.toStdString();
    EXPECT_TRUE(WebTls);
    EXPECT_EQ(WebURL, QStringLiteral("srv.local"));
    EXPECT_EQ(WebPort, 9443);
    EXPECT_TRUE(WebTlsCaFile.isEmpty());
    QTemporaryDir dir;
    const QString ca = dir.filePath("ca.pem");
    QFile(ca).open(QIODevice::WriteOnly);
    o = ParseClientOptions({"trd-client", "--server", "srv.local", "--tls-ca", ca});
    EXPECT_TRUE(o.error.isEmpty()) << o.error.toStdString();
    EXPECT_TRUE(WebTls);
    EXPECT_EQ(WebTlsCaFile, ca);
    EXPECT_FALSE(ParseClientOptions({"trd-client", "--server", "http://srv.local", "--tls-ca", ca}).error.isEmpty());
    EXPECT_EQ(ParseClientOptions({"trd-client", "--tls-ca", dir.filePath("nada.pem")}).error,
              QStringLiteral("Não foi possível ler o arquivo de autoridades certificadoras %1.")
                  .arg(dir.filePath("nada.pem")));
    EXPECT_FALSE(ParseClientOptions({"trd-client", "--server", "ftp://srv.local"}).error.isEmpty());
    o = ParseClientOptions({"trd-client", "--server", "http://srv.local:9300"});
    EXPECT_FALSE(WebTls);
    EXPECT_TRUE(WebTlsCaFile.isEmpty());
    SetWebServer(u"127.0.0.1:8211");
}

TEST(ClientOptionsTest, StartedDirectlyTheClientKeepsItsSettingsUnderItsNameAndFindsTheShippedReports)
{
    QTemporaryDir config;
    const QByteArray configAntes = qgetenv("XDG_CONFIG_HOME");
    const QByteArray relatoriosAntes = qgetenv("TRD_REPORTS_DIR");
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    qunsetenv("TRD_REPORTS_DIR");
    SetClientIdentity();
    EXPECT_TRUE(QSettings().fileName().endsWith(QStringLiteral("/trd/trd-client.conf")))
        << QSettings().fileName().toStdString();
    // Nothing configured: the reports the build put beside the programs.
    const QString pasta = TfrmDadosGerRel::ReportsFolder(QCoreApplication::applicationDirPath());
    EXPECT_EQ(pasta, QCoreApplication::applicationDirPath() + QStringLiteral("/relatorios"));
    EXPECT_FALSE(QDir(pasta).entryList({QStringLiteral("TRD093_*.xml")}).isEmpty());
    qputenv("XDG_CONFIG_HOME", configAntes);
    if (!relatoriosAntes.isEmpty())
        qputenv("TRD_REPORTS_DIR", relatoriosAntes);
}

TEST(PackageLoaderTest, LibraryFolderIsBesideTheExecutableUnlessTold)
{
    const QByteArray saved = qgetenv("TRD_LIB_DIR");
    qunsetenv("TRD_LIB_DIR");
    EXPECT_EQ(PackageLoader::DefaultLibDir(QStringLiteral("/opt/trd/bin")), QStringLiteral("/opt/trd/lib"));
    qputenv("TRD_LIB_DIR", "/outro/lugar");
    EXPECT_EQ(PackageLoader::DefaultLibDir(QStringLiteral("/opt/trd/bin")), QStringLiteral("/outro/lugar"));
    qputenv("TRD_LIB_DIR", saved);
    EXPECT_EQ(PackageLoader(QStringLiteral("Pkg_Trd09300"), QStringLiteral("/x/lib")).FilePath(),
              QStringLiteral("/x/lib/libPkg_Trd09300.so"));
}

TEST(MainWindowTest, MissingPackageIsReportedNotACrash)
{
    RecordingDialogSeam seam;
    QTemporaryDir empty;
    MainWindow window(empty.path());
    EXPECT_EQ(Application()->MainForm(), &window);
    EXPECT_EQ(Application()->MdiArea(), window.MdiArea());
    window.TraducaoAction()->trigger();
    ASSERT_EQ(seam.messages().size(), 1);
    EXPECT_EQ(seam.messages().first(),
              QStringLiteral("O pacote Pkg_Trd09300 não foi encontrado em %1.").arg(empty.path()));
    EXPECT_EQ(seam.shown[0].type, mtError);
    EXPECT_TRUE(window.MdiArea()->subWindowList().isEmpty());
}

TEST(MainWindowTest, PackageWithoutTheEntryIsReported)
{
    RecordingDialogSeam seam;
    MainWindow window(QStringLiteral(TRD_PACKAGE_WITHOUT_ENTRY_DIR));
    window.TraducaoAction()->trigger();
    EXPECT_EQ(seam.messages(), QStringList{QStringLiteral("O pacote Pkg_Trd09300 não exporta a rotina IniProc.")});
}

TEST(MainWindowTest, OpensTheTranslationEditorAgainstARealServer)
{
    ASSERT_FALSE(realLibDir().isEmpty());
    test::TrdServerProcess::Options options;
    options.demo = true;
    test::TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    ASSERT_TRUE(SetWebServer(server.hostPort()));

    RecordingDialogSeam seam;
    MainWindow window(realLibDir());
    window.show();
    window.TraducaoAction()->trigger();
    EXPECT_TRUE(seam.shown.empty()) << (seam.shown.empty() ? "" : seam.shown[0].text.toStdString());
    ASSERT_EQ(window.MdiArea()->subWindowList().size(), 1);
    auto* editor = qobject_cast<TForm*>(window.MdiArea()->subWindowList().first()->widget());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->Caption(), QStringLiteral("Tradução"));
    EXPECT_TRUE(window.MdiArea()->subWindowList().first()->isMaximized());

    // The menu again brings the same editor forward.
    window.TraducaoAction()->trigger();
    EXPECT_EQ(window.MdiArea()->subWindowList().size(), 1);
    closeModule(window);
    EXPECT_TRUE(window.MdiArea()->subWindowList().isEmpty());
    SetWebServer(u"127.0.0.1:8211");
}

TEST(MainWindowTest, UnreachableServerGivesTheConnectionsMessage)
{
    ASSERT_FALSE(realLibDir().isEmpty());
    test::TrdServerProcess server;
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const QString address = server.hostPort();
    ASSERT_TRUE(server.terminate()); // nobody listens there any more
    ASSERT_TRUE(SetWebServer(address));

    RecordingDialogSeam seam;
    MainWindow window(realLibDir());
    window.show();
    window.TraducaoAction()->trigger();
    QStringList shown = seam.errors() + seam.messages();
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_TRUE(shown.first().startsWith(
        QStringLiteral("Não foi possível conectar ao servidor de aplicação em %1").arg(address)))
        << shown.first().toStdString();
    closeModule(window);
    SetWebServer(u"127.0.0.1:8211");
}
