#include "InfoTestKit.h"

#include "Cli_Trd09300.h"
#include "FiltroTestKit.h"
#include "TApplication.h"
#include "TDateEditPlus.h"
#include "TNumberEdit.h"
#include "WebServer.h"

#include <QApplication>
#include <QFile>
#include <QMdiArea>
#include <QTest>

namespace trd::test {

AmbienteInfo* ambiente = nullptr;

PaintSpy::PaintSpy(QWidget* widget, std::function<void()> onPaint) : QObject(widget), m_onPaint(std::move(onPaint))
{
    widget->installEventFilter(this);
}

bool PaintSpy::eventFilter(QObject*, QEvent* event)
{
    if (event->type() == QEvent::Paint)
        m_onPaint();
    return false;
}

void InfoTest::iniciaServidor(const QByteArray& semente)
{
    ambiente = new AmbienteInfo;
    const QString tsv = ambiente->pasta.filePath(QStringLiteral("semente.tsv"));
    QFile arquivo(tsv);
    ASSERT_TRUE(arquivo.open(QIODevice::WriteOnly));
    arquivo.write(semente);
    arquivo.close();
    TrdServerProcess::Options opcoes;
    opcoes.importTsv = tsv;
    opcoes.startTimeoutMs = 120000;
    ambiente->servidor = std::make_unique<TrdServerProcess>(opcoes);
    ASSERT_TRUE(ambiente->servidor->isRunning()) << ambiente->servidor->errorString().toStdString();
    ambiente->proxy = std::make_unique<RecordingProxy>(ambiente->servidor->host(), ambiente->servidor->port());
}

void InfoTest::paraServidor()
{
    delete ambiente;
    ambiente = nullptr;
}

InfoTest::InfoTest()
{
    mdi = new QMdiArea;
    principal.setCentralWidget(mdi);
    principal.resize(1200, 800);
    Application()->SetMainForm(&principal);
    Application()->SetMdiArea(mdi);
    principal.show();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&principal));
    limpaValoresFiltro();
    if (!ambiente || !ambiente->servidor || !ambiente->servidor->isRunning()) {
        ADD_FAILURE() << "no server";
        return;
    }
    WebURL = QStringLiteral("127.0.0.1");
    WebPort = ambiente->proxy->port();
    criaTraducao();
    EXPECT_TRUE(frmTraducao);
    if (frmTraducao)
        escolheIdioma(QStringLiteral("ENG-English"));
    ambiente->proxy->clear();
}

InfoTest::~InfoTest()
{
    if (frmInfoTraducao)
        frmInfoTraducao->Close();
    if (frmTraducao)
        frmTraducao->Close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
    EXPECT_FALSE(Cli_Trd09302::boStCriado);
    Application()->SetCursor(TApplication::crDefault);
    Application()->SetMdiArea(nullptr);
    Application()->SetMainForm(nullptr);
    limpaValoresFiltro();
}

TfrmInfoTraducao& InfoTest::abreInfo()
{
    ambiente->proxy->clear();
    CriaInfoTraducao();
    TfrmInfoTraducao* f = frmInfoTraducao;
    EXPECT_TRUE(f);
    activaDialogo(*f);
    return *f;
}

void InfoTest::activaDialogo(TfrmInfoTraducao& f)
{
    f.activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &f; }));
}

void InfoTest::preenche(TfrmInfoTraducao& f, const QString& preco, const QString& inicial, const QString& final_)
{
    for (auto [campo, texto] :
         {std::pair<QLineEdit*, QString>{f.nbePreco, preco}, {f.depDtInicial, inicial}, {f.depDtFinal, final_}}) {
        campo->setFocus();
        campo->selectAll();
        QTest::keyClick(campo, Qt::Key_Delete);
        QTest::keyClicks(campo, texto);
    }
    f.nbePreco->setFocus();
}

void InfoTest::escolheIdioma(const QString& item)
{
    const int indice = frmTraducao->cbbIdioma->findText(item);
    ASSERT_GE(indice, 0) << item.toStdString();
    frmTraducao->cbbIdioma->setCurrentIndex(indice);
    QApplication::processEvents();
    ASSERT_EQ(stIdioma, item.left(3));
}

int InfoTest::linhasBanco(const QString& idioma, const QString& situacao, Intervalo intervalo) const
{
    return trd::test::linhasBanco(ambiente->servidor->dbPath(), idioma, situacao, intervalo);
}

qint64 InfoTest::caracteresBanco(const QString& idioma, const QString& situacao, Intervalo intervalo) const
{
    return trd::test::caracteresBanco(ambiente->servidor->dbPath(), idioma, situacao, intervalo);
}

} // namespace trd::test
