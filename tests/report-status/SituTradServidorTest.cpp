// The status report dialog with the real editor against a real trd-server:
// the parameters each choice gives, the four server calls every request
// makes (seen at a recording proxy), the refusals, a failing call reaching
// the report run, and a new user's path from the editor's print button to
// each shipped report written as PDF, whose figures must be the ones a
// direct query of the server's database gives.
#include "FiltroTestKit.h"
#include "RecordingProxy.h"
#include "ReportPreviewWindow.h"
#include "ReportTestKit.h"
#include "TrdServerProcess.h"

#include "Cli_Trd09300.h"
#include "Cli_Trd09303.h"
#include "Dispatch.h"
#include "Exceptions.h"
#include "MensErro.h"
#include "ShowAvi.h"
#include "TApplication.h"
#include "TClientDataSet.h"
#include "TDateEditPlus.h"
#include "TField.h"
#include "WebServer.h"

#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>

using namespace trd;
using namespace trd::test;

namespace {

// (language, program, component, source, destination, status, change date)
const char* const Semente =
    "L\tENG\tEnglish\tENG\n"
    "L\tSPA\tEspañol\tSPA\n"
    "R\tENG\tTRD09300\tBTNABRIR\tAbrir\tOpen\tT\t2025-03-01 08:00:00\n"
    "R\tENG\tTRD09300\tBTNSALVAR\tSalvar\tSave\tT\t2025-03-31 23:00:00\n"
    "R\tENG\tTRD09300\tBTNFECHAR\tFechar\t\tN\t2025-03-15 12:00:00\n"
    "R\tENG\tTRD09301\tLBLNOME\tNome\tName\tD\t2025-03-10 09:00:00\n"
    "R\tENG\tTRD09301\tLBLTELA\tTela\tScreen\tT\t2025-02-28 23:59:00\n"
    "R\tENG\tTRD09302\tLBLAGUA\tÁgua\tWater\tT\t2025-04-01 00:00:00\n"
    "R\tENG\tTRD09302\tLBLCOPO\tCopo\tCup\tD\t2025-03-20 10:00:00\n"
    "R\tENG\tTRD09302\tLBLPRATO\tPrato\t\tN\t2025-01-05 10:00:00\n"
    "R\tENG\tTRD09302\tMSGSEMESTOQUE\tSem estoque\\nConsulte o almoxarifado\t"
    "Out of stock\\nCheck with the warehouse before you order again, or ask the purchasing department when it "
    "comes back\tT\t2025-03-12 10:00:00\n"
    "R\tSPA\tTRD09300\tBTNABRIR\tAbrir\tAbrir\tT\t2025-03-02 10:00:00\n";

const QStringList Cinco = {QStringLiteral("P_SITUACAO"), QStringLiteral("P_TSITUACAO"), QStringLiteral("P_IDIDIOMA"),
                           QStringLiteral("P_DtIni"), QStringLiteral("P_DtFim")};

ServidorSemeado*& ambiente = EditorSemeadoTestBase::ambiente;

// One number from a direct query of the server's database.
double consultaBanco(const QString& sql)
{
    double valor = -1;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(ambiente->servidor->dbPath().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr)
        == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK
            && sqlite3_step(st) == SQLITE_ROW)
            valor = sqlite3_column_double(st, 0);
        else
            ADD_FAILURE() << "query failed: " << sqlite3_errmsg(db) << " in " << sql.toStdString();
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return valor;
}

int linhasBanco(const QString& condicao)
{
    return static_cast<int>(consultaBanco(QStringLiteral("SELECT COUNT(*) FROM TRADUCAO WHERE ") + condicao));
}

// The report data calls the proxy passed on, as "Method ["arg"]", in order.
QStringList chamadas()
{
    QStringList lista;
    for (const QByteArray& corpo : ambiente->proxy->requests()) {
        const QJsonObject o = QJsonDocument::fromJson(corpo).object();
        const QString metodo = o.value(QStringLiteral("method")).toString();
        if (metodo.startsWith(QStringLiteral("GetCalc")) || metodo == QStringLiteral("GetInfoTrad"))
            lista << metodo + u' '
                    + QString::fromUtf8(
                         QJsonDocument(o.value(QStringLiteral("params")).toArray()).toJson(QJsonDocument::Compact));
    }
    return lista;
}

QStringList quatroChamadas(const char* idioma)
{
    const QString arg = QStringLiteral(" [\"%1\"]").arg(QString::fromLatin1(idioma));
    // Then the reviewed counts of every row of the language, beside them.
    return {QStringLiteral("GetCalcTrad") + arg, QStringLiteral("GetCalcNtrad") + arg,
            QStringLiteral("GetCalcDuv") + arg, QStringLiteral("GetInfoTrad") + arg,
            QStringLiteral("GetCalcRevisadas [\"%1\",0,0,\"T\"]").arg(QString::fromLatin1(idioma))};
}

TDateTime marco(int dia)
{
    return EncodeDate(2025, 3, dia);
}

// A loopback port on which nobody listens: bound for a moment, never listened on.
int PortaSemServidor()
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

// The parameters a report declaring `nomes` receives, as the designer builds them.
TParams declarados(const QStringList& nomes)
{
    TParams p;
    for (const QString& n : nomes)
        p.CreateParam(n.startsWith(QStringLiteral("P_Dt")) ? TParamType::ftDate : TParamType::ftString, n);
    return p;
}

// The dialog's answer to the request, as the designer raises it; false when
// it refused (MensErro).
bool pede(TfrmSituTrad& d, TParams& p)
{
    bool abort = false;
    try {
        d.rpddPadraoBeforeGetQueryParams(d.rpddPadrao, p, abort);
    } catch (const EMensErro&) {
        return false;
    }
    return !abort;
}

class SituTradServidorTest : public EditorSemeadoTestBase {
protected:
    static void SetUpTestSuite() { ASSERT_NO_FATAL_FAILURE(iniciaServidor(Semente)); }

    void SetUp() override
    {
        // The shipped definitions, where the build puts them beside the programs.
        qputenv("TRD_REPORTS_DIR", (qEnvironmentVariable("TRD_BIN_DIR") + QStringLiteral("/relatorios")).toUtf8());
        ASSERT_NO_FATAL_FAILURE(abreEditor(QStringLiteral("ENG-English")));
    }

    void TearDown() override
    {
        EditorSemeadoTestBase::TearDown();
        qunsetenv("TRD_REPORTS_DIR");
    }

    // CriaRelTraducao with `acao` run inside the dialog's modal loop once it
    // is active; `naPrevia` runs inside each report preview it opens.
    void abreRelatorio(const std::function<void(TfrmSituTrad&)>& acao,
                       const std::function<void(ReportPreviewWindow&)>& naPrevia = {})
    {
        principal.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&principal));
        seam.onModal = [&](TForm& form) {
            if (auto* previa = qobject_cast<ReportPreviewWindow*>(&form)) {
                if (naPrevia)
                    naPrevia(*previa);
                previa->Close();
                return;
            }
            auto* dialogo = qobject_cast<TfrmSituTrad*>(&form);
            ASSERT_NE(dialogo, nullptr);
            EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == dialogo; }));
            acao(*dialogo);
        };
        CriaRelTraducao();
        seam.onModal = nullptr;
    }
};

void escolheIdioma(TfrmSituTrad& d, const QString& item)
{
    const int i = d.cbbIdioma->findText(item);
    ASSERT_GE(i, 0) << item.toStdString();
    d.cbbIdioma->setCurrentIndex(i);
}

} // namespace

TEST_F(SituTradServidorTest, EachStatusChoiceAndTheDatesGiveTheParametersAndEveryRequestRepeatsTheFourCalls)
{
    abreRelatorio([](TfrmSituTrad& d) {
        // As designed: the language list is the editor's, nothing chosen.
        EXPECT_TRUE(d.cbbIdioma->isVisible());
        EXPECT_EQ(d.cbbIdioma->count(), frmTraducao->cbbIdioma->count());
        EXPECT_EQ(d.cbbSituacao->currentIndex(), -1);
        EXPECT_EQ(d.lblCodTela->text(), QStringLiteral("TRD09303"));
        EXPECT_EQ(d.lblCodRel->text(), QStringLiteral("TRD093"));
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Situação da Tradução"));
        // The labels read as they stand, no shortcut letter in them.
        EXPECT_EQ(d.lblIdioma->text(), QStringLiteral("Idioma"));
        EXPECT_EQ(d.lblSituacao->text(), QStringLiteral("Situação"));
        EXPECT_EQ(d.lblDtIni->text(), QStringLiteral("Inicial"));
        EXPECT_EQ(d.lblDtFim->text(), QStringLiteral("Final"));
        // Every shipped report's title reads whole in the closed list, and
        // the report code beside it is not cut.
        ASSERT_GE(d.cbbReportNames->count(), 5);
        QStyleOptionComboBox opcao;
        opcao.initFrom(d.cbbReportNames);
        opcao.rect = d.cbbReportNames->rect();
        const QRect texto = d.cbbReportNames->style()->subControlRect(QStyle::CC_ComboBox, &opcao,
                                                                      QStyle::SC_ComboBoxEditField, d.cbbReportNames);
        for (int i = 0; i < d.cbbReportNames->count(); ++i)
            EXPECT_GE(texto.width(), d.cbbReportNames->fontMetrics().horizontalAdvance(d.cbbReportNames->itemText(i)))
                << d.cbbReportNames->itemText(i).toStdString();
        EXPECT_GE(d.lblCodRel->width(), d.lblCodRel->fontMetrics().horizontalAdvance(d.lblCodRel->text()));
        EXPECT_LE(d.lblCodRel->geometry().right(), d.lblCodRel->parentWidget()->contentsRect().right());

        escolheIdioma(d, QStringLiteral("ENG-English"));
        d.depDtIni->setText(QStringLiteral("01/03/2025"));
        d.depDtFim->setText(QStringLiteral("31/03/2025"));
        struct Caso {
            int posicao;
            const char* situacao;
            const char* todas;
        };
        // Nothing chosen, then "Todos", "Dúvida", "Traduzido", "Não Traduzido".
        for (const Caso c : {Caso{-1, "", "ALL"}, {3, "", "ALL"}, {2, "D", ""}, {0, "T", ""}, {1, "N", ""}}) {
            SCOPED_TRACE(c.posicao);
            d.cbbSituacao->setCurrentIndex(c.posicao);
            ambiente->proxy->clear();
            TParams p = declarados(Cinco);
            ASSERT_TRUE(pede(d, p));
            EXPECT_EQ(p.ParamByName(QStringLiteral("P_SITUACAO")).AsString(), QString::fromLatin1(c.situacao));
            EXPECT_FALSE(p.ParamByName(QStringLiteral("P_SITUACAO")).IsNull());
            EXPECT_EQ(p.ParamByName(QStringLiteral("P_TSITUACAO")).AsString(), QString::fromLatin1(c.todas));
            EXPECT_EQ(p.ParamByName(QStringLiteral("P_IDIDIOMA")).AsString(), QStringLiteral("ENG"));
            EXPECT_EQ(p.ParamByName(QStringLiteral("P_DtIni")).AsDate(), marco(1));
            EXPECT_EQ(p.ParamByName(QStringLiteral("P_DtFim")).AsDate(), EncodeDate(2025, 4, 1));
            EXPECT_EQ(chamadas(), quatroChamadas("ENG"));
        }
        EXPECT_FALSE(ShowAviActive());

        // What the calls loaded is the server's answer for the language.
        EXPECT_EQ(d.cdsCalcTrad->FieldByName(QStringLiteral("STVALORPROP"))->AsFloat(),
                  linhasBanco(QStringLiteral("IDIDIOMA = 'ENG' AND IDSITTRADUCAO = 'T'")));
        EXPECT_EQ(d.cdsCalcDuv->FieldByName(QStringLiteral("STVALORPROP"))->AsFloat(),
                  linhasBanco(QStringLiteral("IDIDIOMA = 'ENG' AND IDSITTRADUCAO = 'D'")));
        EXPECT_EQ(d.cdsCalcNtrad->FieldByName(QStringLiteral("STVALORPROP"))->AsFloat(),
                  linhasBanco(QStringLiteral("IDIDIOMA = 'ENG' AND IDSITTRADUCAO = 'N'")));
        EXPECT_EQ(d.cdsTraducao->RecordCount(), linhasBanco(QStringLiteral("IDIDIOMA = 'ENG'")));

        // Empty dates are day 0: P_DtIni 0 and P_DtFim 1.
        d.depDtIni->clear();
        d.depDtFim->clear();
        TParams p = declarados(Cinco);
        ASSERT_TRUE(pede(d, p));
        EXPECT_EQ(p.ParamByName(QStringLiteral("P_DtIni")).AsDate(), 0.0);
        EXPECT_EQ(p.ParamByName(QStringLiteral("P_DtFim")).AsDate(), 1.0);

        // A report with none of the five still loads the four data sets.
        ambiente->proxy->clear();
        TParams nenhum;
        ASSERT_TRUE(pede(d, nenhum));
        EXPECT_EQ(nenhum.Count(), 0);
        EXPECT_EQ(chamadas(), quatroChamadas("ENG"));

        // Some of them only: those are set, the others not asked for.
        TParams alguns = declarados({QStringLiteral("P_DtFim"), QStringLiteral("P_IDIDIOMA")});
        ASSERT_TRUE(pede(d, alguns));
        EXPECT_EQ(alguns.Count(), 2);
        EXPECT_EQ(alguns.ParamByName(QStringLiteral("P_IDIDIOMA")).AsString(), QStringLiteral("ENG"));
    });
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
}

TEST_F(SituTradServidorTest, ALanguageIsRequiredAndATypedOneMustNameAnItem)
{
    abreRelatorio([](TfrmSituTrad& d) {
        d.cbbSituacao->setCurrentIndex(0);
        TParams p = declarados(Cinco);
        EXPECT_FALSE(pede(d, p));
        for (int i = 0; i < p.Count(); ++i)
            EXPECT_TRUE(p.Items(i).IsNull()) << p.Items(i).Name().toStdString();

        d.cbbIdioma->setEditText(QStringLiteral("XYZ-Nenhum"));
        EXPECT_FALSE(pede(d, p));
        EXPECT_TRUE(p.ParamByName(QStringLiteral("P_IDIDIOMA")).IsNull());
        EXPECT_TRUE(chamadas().isEmpty());

        // Typed in lower case, a whole code names its item.
        d.cbbIdioma->setEditText(QStringLiteral("spa"));
        ASSERT_TRUE(pede(d, p));
        EXPECT_EQ(p.ParamByName(QStringLiteral("P_IDIDIOMA")).AsString(), QStringLiteral("SPA"));
        EXPECT_EQ(d.cbbIdioma->currentText(), QStringLiteral("SPA-Español"));
        EXPECT_EQ(chamadas(), quatroChamadas("SPA"));
    });
    EXPECT_EQ(seam.messages(),
              (QStringList{QStringLiteral("Idioma deve ser informado."), QStringLiteral("Idioma Inválido.")}));
}

TEST_F(SituTradServidorTest, AFailingCallEndsTheRunWithTheServersMessageAndNoAnimationLeft)
{
    abreRelatorio([](TfrmSituTrad& d) {
        escolheIdioma(d, QStringLiteral("ENG-English"));
        d.cbbSituacao->setCurrentIndex(2);
        ASSERT_GT(d.cbbReportNames->count(), 0);
        ambiente->proxy->clear();
        ambiente->proxy->answerNextWith(R"("error":{"code":-32000,"message":"Banco indisponível no momento."})");
        d.sbtExecRel->click();
        EXPECT_EQ(chamadas(), QStringList{quatroChamadas("ENG").first()}); // nothing after the failure
        EXPECT_FALSE(ShowAviActive());
        EXPECT_TRUE(d.isVisible());
    });
    ASSERT_EQ(seam.errors().size(), 1);
    EXPECT_TRUE(seam.errors().first().contains(QStringLiteral("Banco indisponível no momento.")))
        << seam.errors().first().toStdString();
    EXPECT_EQ(seam.count(RecordingDialogSeam::Modal), 1); // the dialog only: no preview opened
}

TEST_F(SituTradServidorTest, AFailedConnectAtOpeningIsReportedAndLeavesNoBusyIndicator)
{
    // The server the dialog's own connection goes to is not there.
    const int porta = WebPort;
    WebPort = PortaSemServidor();
    bool abriu = false;
    abreRelatorio([&](TfrmSituTrad& d) {
        abriu = true;
        EXPECT_FALSE(ShowAviActive()) << "\"Conectando...\" left over the editor";
        d.Close();
    });
    WebPort = porta;
    EXPECT_TRUE(abriu);
    EXPECT_FALSE(ShowAviActive());
    ASSERT_EQ(seam.errors().size(), 1);
    EXPECT_TRUE(seam.errors().first().startsWith(QStringLiteral("Não foi possível conectar ao servidor de aplicação")))
        << seam.errors().first().toStdString();
}

// The application's cursor where the opening hands over to the user: in the
// error display, inside the modal dialog, and as the modal loop returns.
class SeamDoCursor : public RecordingDialogSeam {
public:
    std::vector<TApplication::TCursor> noErro, aoVoltar;

    void ShowError(const QString& text) override
    {
        noErro.push_back(Application()->Cursor());
        RecordingDialogSeam::ShowError(text);
    }
    int ExecModal(TForm& form) override
    {
        const int resultado = RecordingDialogSeam::ExecModal(form);
        aoVoltar.push_back(Application()->Cursor());
        return resultado;
    }
};

TEST_F(SituTradServidorTest, TheHourglassLastsUntilTheModalDialogReturnsAndNeverCoversWhatTheUserAnswers)
{
    principal.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&principal));
    const int porta = WebPort;
    for (const bool conecta : {true, false}) {
        SCOPED_TRACE(conecta ? "connected" : "failed connect");
        if (!conecta)
            WebPort = PortaSemServidor();
        SeamDoCursor cursores;
        std::vector<TApplication::TCursor> noDialogo;
        bool sobreposto = true;
        cursores.onModal = [&](TForm& form) {
            noDialogo.push_back(Application()->Cursor());
            sobreposto = QGuiApplication::overrideCursor() != nullptr;
            form.Close();
        };
        CriaRelTraducao();
        WebPort = porta;

        EXPECT_EQ(noDialogo, std::vector<TApplication::TCursor>{TApplication::crDefault});
        EXPECT_FALSE(sobreposto) << "a busy cursor over the dialog being filled in";
        // The opener's hourglass is back when the loop returns, until the
        // opening itself ends; after a failed connect it was dropped for good.
        EXPECT_EQ(cursores.aoVoltar,
                  std::vector<TApplication::TCursor>{conecta ? TApplication::crHourGlass : TApplication::crDefault});
        EXPECT_EQ(cursores.noErro.size(), conecta ? 0u : 1u);
        for (const TApplication::TCursor c : cursores.noErro)
            EXPECT_EQ(c, TApplication::crDefault) << "the failed connect's message shown under the hourglass";
        EXPECT_EQ(Application()->Cursor(), TApplication::crDefault);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    }

    // A failure that leaves the opening before the dialog returns takes the
    // hourglass with it.
    struct SeamQueFalha : RecordingDialogSeam {
        int ExecModal(TForm&) override { throw Exception(QStringLiteral("falhou")); }
    } falha;
    EXPECT_THROW(CriaRelTraducao(), Exception);
    EXPECT_EQ(Application()->Cursor(), TApplication::crDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    delete frmSituTrad.data();
    bostcriado = false;
}

TEST_F(SituTradServidorTest, ANewUserPrintsTheSummaryFromTheEditorAndItHoldsTheDatabasesCounts)
{
    // The language's rows loaded (before the first load the reload button is
    // still disabled, so its action is run): the print button comes on.
    ASSERT_FALSE(frmTraducao->sbtImprimir->isEnabled());
    Dispatch([] { frmTraducao->sbtVerificar->Click(); });
    QApplication::processEvents();
    ASSERT_TRUE(frmTraducao->sbtImprimir->isEnabled());

    QTemporaryDir saida;
    QStringList textos;
    QStringList titulos;
    principal.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&principal));
    seam.onModal = [&](TForm& form) {
        if (auto* previa = qobject_cast<ReportPreviewWindow*>(&form)) {
            const QString pdf = saida.filePath(QStringLiteral("r%1.pdf").arg(textos.size()));
            EXPECT_TRUE(previa->SavePdf(pdf));
            textos << PdfText(pdf);
            QTest::keyClick(previa, Qt::Key_Escape);
            return;
        }
        auto* d = qobject_cast<TfrmSituTrad*>(&form);
        ASSERT_NE(d, nullptr);
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == d; }));
        // Keyboard: type the language, pick a status, type the dates.
        d->cbbIdioma->setFocus();
        QTest::keyClicks(d->cbbIdioma->lineEdit(), QStringLiteral("ENG"));
        d->cbbSituacao->setFocus();
        QTest::keyClick(d->cbbSituacao, Qt::Key_Down); // "Traduzido"
        EXPECT_EQ(d->cbbSituacao->currentText(), QStringLiteral("Traduzido"));
        d->depDtIni->setFocus();
        QTest::keyClicks(d->depDtIni, QStringLiteral("01/03/2025"));
        d->depDtFim->setFocus();
        QTest::keyClicks(d->depDtFim, QStringLiteral("31/03/2025"));
        for (int i = 0; i < d->cbbReportNames->count(); ++i) {
            d->cbbReportNames->setCurrentIndex(i);
            titulos << d->cbbReportNames->currentText();
            // A desktop gives the dialog back its activation after the
            // preview closes; offscreen it has to be asked for.
            d->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(d));
            d->cbbReportNames->setFocus();
            QTest::keyClick(d, Qt::Key_F9);
        }
        QTest::mouseClick(d->sbtCancel, Qt::LeftButton);
    };
    QTest::mouseClick(frmTraducao->sbtImprimir, Qt::LeftButton);
    seam.onModal = nullptr;
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
    EXPECT_TRUE(seam.messages().isEmpty()) << seam.messages().join(u'\n').toStdString();
    ASSERT_EQ(textos.size(), titulos.size());
    ASSERT_GE(titulos.size(), 1);
    EXPECT_FALSE(bostcriado); // closed: the next request builds a new dialog

    const int resumo = static_cast<int>(titulos.indexOf(QStringLiteral("Resumo da tradução por situação")));
    ASSERT_GE(resumo, 0) << titulos.join(u'|').toStdString();
    const QString texto = textos[resumo];
    // The data row of each status: its code, then its lines and characters.
    for (const char* sit : {"T", "D", "N"}) {
        const QRegularExpression linha(QStringLiteral("^\\s*%1\\s+(\\d+)\\s+(\\d+)").arg(QString::fromLatin1(sit)),
                                       QRegularExpression::MultilineOption);
        const QRegularExpressionMatch m = linha.match(texto);
        ASSERT_TRUE(m.hasMatch()) << sit << "\n" << texto.toStdString();
        EXPECT_EQ(
            m.captured(1).toInt(),
            linhasBanco(QStringLiteral("IDIDIOMA = 'ENG' AND IDSITTRADUCAO = '%1'").arg(QString::fromLatin1(sit))))
            << sit;
    }
    EXPECT_TRUE(texto.contains(QStringLiteral("Linhas por situação")));
    EXPECT_TRUE(texto.contains(QStringLiteral("English")));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("\\b%1\\b").arg(linhasBanco(QStringLiteral("IDIDIOMA = 'ENG'"))))
                    .match(texto)
                    .hasMatch());
}

namespace {

// The programs of the language, from the database.
QStringList programasBanco()
{
    QStringList lista;
    sqlite3* db = nullptr;
    sqlite3_open_v2(ambiente->servidor->dbPath().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT DISTINCT CDPROGTRAD FROM TRADUCAO WHERE IDIDIOMA = 'ENG' ORDER BY 1", -1, &st,
                       nullptr);
    while (sqlite3_step(st) == SQLITE_ROW)
        lista << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return lista;
}

} // namespace

TEST_F(SituTradServidorTest, TheChangedRowsAndTheProgressReportsHoldWhatTheDatabaseHolds)
{
    Dispatch([] { frmTraducao->sbtVerificar->Click(); });
    QApplication::processEvents();
    ASSERT_TRUE(frmTraducao->sbtImprimir->isEnabled());

    QTemporaryDir saida;
    std::map<QString, QString> porTitulo;
    QString titulo;
    seam.onModal = [&](TForm& form) {
        if (auto* previa = qobject_cast<ReportPreviewWindow*>(&form)) {
            const QString pdf = saida.filePath(QStringLiteral("r%1.pdf").arg(porTitulo.size()));
            EXPECT_TRUE(previa->SavePdf(pdf));
            porTitulo[titulo] = PdfText(pdf);
            previa->Close();
            return;
        }
        auto* d = qobject_cast<TfrmSituTrad*>(&form);
        ASSERT_NE(d, nullptr);
        // The mouse this time: the language and the status from their lists.
        escolheIdioma(*d, QStringLiteral("ENG-English"));
        d->cbbSituacao->setCurrentIndex(0); // "Traduzido"
        d->depDtIni->SetDate(marco(1));
        d->depDtFim->SetDate(marco(31));
        for (int i = 0; i < d->cbbReportNames->count(); ++i) {
            d->cbbReportNames->setCurrentIndex(i);
            titulo = d->cbbReportNames->currentText();
            QTest::mouseClick(d->sbtConfirma, Qt::LeftButton);
        }
        // Every status: the changed rows again.
        d->cbbSituacao->setCurrentIndex(3); // "Todos"
        d->cbbReportNames->setCurrentIndex(
            d->cbbReportNames->findText(QStringLiteral("Linhas alteradas no período, por tela")));
        titulo = QStringLiteral("Todos");
        QTest::mouseClick(d->sbtConfirma, Qt::LeftButton);
        d->Close();
    };
    QTest::mouseClick(frmTraducao->sbtImprimir, Qt::LeftButton);
    seam.onModal = nullptr;
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
    ASSERT_EQ(porTitulo.count(QStringLiteral("Linhas alteradas no período, por tela")), 1u);
    ASSERT_EQ(porTitulo.count(QStringLiteral("Progresso da tradução por tela")), 1u);

    // Changed rows: translated, changed on a day from 1 to 31 March, and nothing else.
    const QString alteradas = porTitulo[QStringLiteral("Linhas alteradas no período, por tela")];
    const QString periodo =
        QStringLiteral("IDIDIOMA = 'ENG' AND IDSITTRADUCAO = 'T' AND DTALTERACAO >= %1 AND DTALTERACAO < %2")
            .arg(marco(1))
            .arg(EncodeDate(2025, 4, 1));
    const int esperadas = linhasBanco(periodo);
    EXPECT_EQ(esperadas, 3); // the seed's rows of the last moments of the range count, the next day's not
    for (const QString& programa : programasBanco()) {
        const int doPrograma = linhasBanco(periodo + QStringLiteral(" AND CDPROGTRAD = '%1'").arg(programa));
        EXPECT_EQ(alteradas.contains(QStringLiteral("Tela: ") + programa), doPrograma > 0) << programa.toStdString();
    }
    for (const char* componente : {"BTNABRIR", "BTNSALVAR"})
        EXPECT_TRUE(alteradas.contains(QString::fromLatin1(componente))) << componente << alteradas.toStdString();
    for (const char* componente : {"LBLTELA", "LBLAGUA", "LBLNOME", "BTNFECHAR"})
        EXPECT_FALSE(alteradas.contains(QString::fromLatin1(componente))) << componente;
    const QRegularExpression total(QStringLiteral("Total geral\\s+(\\d+)"));
    const QRegularExpressionMatch t = total.match(alteradas);
    ASSERT_TRUE(t.hasMatch()) << alteradas.toStdString();
    EXPECT_EQ(t.captured(1).toInt(), esperadas);
    // The status chosen, by its name; a text with a line break and a long
    // one printed whole, wrapped in their columns, nothing cut.
    EXPECT_TRUE(alteradas.contains(QStringLiteral("Situação: Traduzido."))) << alteradas.toStdString();
    EXPECT_FALSE(alteradas.contains(QStringLiteral("…"))) << alteradas.toStdString();
    const QString texto = alteradas.simplified();
    for (const char* celula : {"Sem estoque Consulte o almoxarifado",
                               "Out of stock Check with the warehouse before you order again, or ask the purchasing "
                               "department when it comes back"}) {
        qsizetype onde = 0;
        for (const QString& palavra : QString::fromUtf8(celula).split(u' ')) {
            onde = texto.indexOf(palavra, onde);
            ASSERT_GE(onde, 0) << palavra.toStdString() << " of '" << celula << "' in\n" << alteradas.toStdString();
        }
    }
    for (const QString& linha : alteradas.split(u'\n'))
        EXPECT_FALSE(linha.contains(QStringLiteral("Sem estoque")) && linha.contains(QStringLiteral("Consulte")))
            << "the line break is a line of its own: " << linha.toStdString();

    // Every status: "Todas", not the parameter's raw "ALL".
    ASSERT_EQ(porTitulo.count(QStringLiteral("Todos")), 1u);
    const QString todas = porTitulo[QStringLiteral("Todos")];
    EXPECT_TRUE(todas.contains(QStringLiteral("Situação: Todas."))) << todas.toStdString();
    EXPECT_FALSE(todas.contains(QStringLiteral("ALL")));
    EXPECT_TRUE(todas.contains(QStringLiteral("BTNFECHAR"))) << "the untranslated row of March too";

    // The reports that count every date say so on their page.
    for (const char* semPeriodo : {"Progresso da tradução por tela", "Resumo da tradução por situação"}) {
        ASSERT_EQ(porTitulo.count(QString::fromUtf8(semPeriodo)), 1u) << semPeriodo;
        EXPECT_TRUE(porTitulo[QString::fromUtf8(semPeriodo)].simplified().contains(QStringLiteral(
            "qualquer que seja a data de alteração: o período escolhido não se aplica a este relatório")))
            << semPeriodo;
    }

    // Progress: per program its translated, doubtful, untranslated and all lines.
    const QString progresso = porTitulo[QStringLiteral("Progresso da tradução por tela")];
    for (const QString& programa : programasBanco()) {
        const QRegularExpression linha(QStringLiteral("^\\s*%1\\s+(\\d+)\\s+(\\d+)\\s+(\\d+)\\s+(\\d+)").arg(programa),
                                       QRegularExpression::MultilineOption);
        const QRegularExpressionMatch m = linha.match(progresso);
        ASSERT_TRUE(m.hasMatch()) << programa.toStdString() << "\n" << progresso.toStdString();
        const QString doPrograma = QStringLiteral("IDIDIOMA = 'ENG' AND CDPROGTRAD = '%1'").arg(programa);
        EXPECT_EQ(m.captured(1).toInt(), linhasBanco(doPrograma + QStringLiteral(" AND IDSITTRADUCAO = 'T'")));
        EXPECT_EQ(m.captured(2).toInt(), linhasBanco(doPrograma + QStringLiteral(" AND IDSITTRADUCAO = 'D'")));
        EXPECT_EQ(m.captured(3).toInt(), linhasBanco(doPrograma + QStringLiteral(" AND IDSITTRADUCAO = 'N'")));
        EXPECT_EQ(m.captured(4).toInt(), linhasBanco(doPrograma));
    }
}
