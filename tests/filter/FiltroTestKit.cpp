#include "FiltroTestKit.h"

#include "Cli_Trd09300.h"
#include "WebServer.h"

#include <QApplication>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QTest>

namespace trd::test {

ServidorSemeado::ServidorSemeado(const QByteArray& semente)
{
    TrdServerProcess::Options opcoes;
    opcoes.seedTsv = semente;
    servidor = std::make_unique<TrdServerProcess>(opcoes);
    if (servidor->isRunning())
        proxy = std::make_unique<RecordingProxy>(servidor->host(), servidor->port());
}

void limpaValoresFiltro()
{
    boTestaFiltro = false;
    TFiltro = {};
    TFiltro2 = {};
    stTRAD.clear();
    stDUV.clear();
    stNTRAD.clear();
    stPARAMSQL.clear();
    stDataTrad.clear();
    dtDataIni = 0;
    dtDataFin = 0;
}

FiltroTestBase::FiltroTestBase()
{
    mdi = new QMdiArea;
    principal.setCentralWidget(mdi);
    principal.resize(1000, 700);
    Application()->SetMainForm(&principal);
    Application()->SetMdiArea(mdi);
    principal.show();
    principal.activateWindow(); // on an X server without a window manager nothing else does
    EXPECT_TRUE(QTest::qWaitForWindowActive(&principal));
    // Each test starts as the package does: no dialog yet, nothing filtered.
    delete frmFiltroTraducao.data();
    limpaValoresFiltro();
}

FiltroTestBase::~FiltroTestBase()
{
    delete frmFiltroTraducao.data();
    limpaValoresFiltro();
    Application()->SetMdiArea(nullptr);
    Application()->SetMainForm(nullptr);
}

void digitaTexto(QWidget* edit, const QString& texto)
{
    for (QChar c : texto) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &release);
    }
}

void FiltroTestBase::abrirFiltro(const std::function<void(TfrmFiltroTraducao&)>& acao)
{
    // As after any modal window, nothing is active until the main window is
    // activated again; then the dialog's showing activates it, as on a desktop.
    principal.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&principal));
    seam.onModal = [acao](TForm& form) {
        auto& dialog = static_cast<TfrmFiltroTraducao&>(form);
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &dialog; }))
            << "the filter dialog never became active; active: "
            << (QApplication::activeWindow() ? QApplication::activeWindow()->objectName().toStdString() : "none")
            << " modal: "
            << (QApplication::activeModalWidget() ? QApplication::activeModalWidget()->objectName().toStdString()
                                                  : "none");
        acao(dialog);
    };
    CriaFiltroTraducao();
    seam.onModal = nullptr;
}

void FiltroTestBase::valoresConhecidos()
{
    boTestaFiltro = false;
    TFiltro.stTipo = QStringLiteral("Prefixo");
    TFiltro.stPalavra = QStringLiteral("ANTES");
    TFiltro2.stPrograma = QStringLiteral("PROG0");
    stTRAD = stDUV = stNTRAD = QStringLiteral("?");
    stPARAMSQL = QStringLiteral(" AND CDPROGTRAD = 'PROG0'");
    stDataTrad = QStringLiteral("?");
    dtDataIni = 1.0;
    dtDataFin = 2.0;
}

void FiltroTestBase::esperaValoresConhecidos() const
{
    EXPECT_FALSE(boTestaFiltro);
    EXPECT_EQ(TFiltro.stTipo, QStringLiteral("Prefixo"));
    EXPECT_EQ(TFiltro.stPalavra, QStringLiteral("ANTES"));
    EXPECT_EQ(TFiltro2.stPrograma, QStringLiteral("PROG0"));
    EXPECT_EQ(stTRAD + stDUV + stNTRAD, QStringLiteral("???"));
    EXPECT_EQ(stPARAMSQL, QStringLiteral(" AND CDPROGTRAD = 'PROG0'"));
    EXPECT_EQ(stDataTrad, QStringLiteral("?"));
    EXPECT_EQ(dtDataIni, 1.0);
    EXPECT_EQ(dtDataFin, 2.0);
}

ServidorSemeado* EditorSemeadoTestBase::ambiente = nullptr;

void EditorSemeadoTestBase::iniciaServidor(const QByteArray& semente)
{
    ambiente = new ServidorSemeado(semente);
    ASSERT_TRUE(ambiente->servidor->isRunning()) << ambiente->servidor->errorString().toStdString();
}

void EditorSemeadoTestBase::TearDownTestSuite()
{
    delete ambiente;
    ambiente = nullptr;
}

void EditorSemeadoTestBase::abreEditor(const QString& idioma)
{
    ASSERT_TRUE(ambiente && ambiente->servidor->isRunning());
    WebURL = QStringLiteral("127.0.0.1");
    WebPort = ambiente->proxy->port();
    criaTraducao();
    ASSERT_TRUE(frmTraducao);
    escolheIdiomaDoEditor(idioma);
    ambiente->proxy->clear();
    seam.clear();
}

void EditorSemeadoTestBase::TearDown()
{
    if (frmTraducao) {
        frmTraducao->Close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

QJsonArray EditorSemeadoTestBase::ultimosParametros(const QString& metodo)
{
    return QJsonDocument::fromJson(ambiente->proxy->lastParams(metodo)).array();
}

void EditorSemeadoTestBase::escolheIdiomaDoEditor(const QString& item)
{
    const int indice = frmTraducao->cbbIdioma->findText(item);
    ASSERT_GE(indice, 0) << item.toStdString();
    frmTraducao->cbbIdioma->setCurrentIndex(indice);
    ASSERT_EQ(stIdioma, item.left(3));
}

} // namespace trd::test
