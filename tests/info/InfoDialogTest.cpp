// The information dialog offscreen, with the real editor, against a real
// trd-server behind a recording proxy: what it shows is compared with counts
// made directly on the server's database, and the requests it sent with what
// the dialog must send.
#include "InfoTestKit.h"

#include "Cli_Trd09300.h"
#include "Cli_Trd09302.h"
#include "InfoCalculo.h"
#include "FloatFormat.h"
#include "RecordingDialogSeam.h"
#include "ShowAvi.h"
#include "TApplication.h"
#include "TClientDataSet.h"
#include "TDateEditPlus.h"
#include "TNetConnection.h"
#include "TNumberEdit.h"
#include "TStringGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProgressBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::test;

namespace {

class InfoDialogTest : public InfoTest {
protected:
    static void SetUpTestSuite() { iniciaServidor(SementeTeste()); }
    static void TearDownTestSuite() { paraServidor(); }
};

// Column 1 of rows 1 to 5 as shown.
QStringList colunaLinhas(const TfrmInfoTraducao& f)
{
    QStringList c;
    for (int r = 1; r <= 5; ++r)
        c << f.stgCalculo->Cells(1, r);
    return c;
}

QStringList grade(const TfrmInfoTraducao& f)
{
    QStringList g;
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 4; ++c)
            g << f.stgCalculo->Cells(c, r);
    return g;
}

QJsonArray parametros(const QString& metodo)
{
    return QJsonDocument::fromJson(ambiente->proxy->lastParams(metodo)).array();
}

// A GetInfoTrad answer of our own, as a JSON-RPC result member for the proxy.
QByteArray respostaInfo(std::initializer_list<std::pair<const char*, const char*>> linhas)
{
    QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><DATAPACKET Version="2.0"><METADATA>)"
                     R"(<FIELDS><FIELD attrname="IDSITTRADUCAO" fieldtype="string" WIDTH="1"/>)"
                     R"(<FIELD attrname="STVALORPROP" fieldtype="string" WIDTH="250"/></FIELDS><PARAMS/></METADATA>)"
                     "<ROWDATA>";
    for (const auto& [situacao, texto] : linhas)
        xml += QByteArray("<ROW IDSITTRADUCAO=\"") + situacao + "\" STVALORPROP=\"" + texto + "\"/>";
    xml += "</ROWDATA></DATAPACKET>";
    const QByteArray lista = QJsonDocument(QJsonArray{QString::fromUtf8(xml)}).toJson(QJsonDocument::Compact);
    return "\"result\":" + lista.mid(1).chopped(1);
}

void esperaRepouso(const TfrmInfoTraducao& f)
{
    EXPECT_TRUE(f.nbePreco->isEnabled());
    EXPECT_TRUE(f.sbtConfirma->isEnabled());
    EXPECT_FALSE(f.lblStatus->isVisible());
    EXPECT_EQ(Application()->Cursor(), TApplication::crDefault);
    EXPECT_EQ(f.pgbCalcChar->value(), 0);
}

} // namespace

TEST_F(InfoDialogTest, OpensWithEveryControlAndTheLanguagesWholeCounts)
{
    TfrmInfoTraducao& f = abreInfo();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Informações da Tradução"));
    EXPECT_EQ(f.lblCodTela->text(), QStringLiteral("TRD09302"));
    EXPECT_EQ(f.size(), QSize(498, 287));
    EXPECT_TRUE(Cli_Trd09302::boStCriado);
    EXPECT_FALSE(f.isModal());
    EXPECT_EQ(stIdiInfo, QStringLiteral("ENG"));

    TStringGrid* g = f.stgCalculo;
    EXPECT_EQ(g->ColCount(), 4);
    EXPECT_EQ(g->RowCount(), 6);
    EXPECT_EQ(g->FixedCols(), 1);
    EXPECT_EQ(g->FixedRows(), 1);
    EXPECT_EQ((QList<int>{g->ColWidths(0), g->ColWidths(1), g->ColWidths(2), g->ColWidths(3)}),
              (QList<int>{100, 100, 103, 100}));
    QList<int> alturas;
    for (int r = 0; r < 6; ++r)
        alturas << g->RowHeights(r);
    EXPECT_EQ(alturas, (QList<int>{24, 26, 24, 24, 24, 24}));
    EXPECT_EQ(g->Color, clInfoBk());
    EXPECT_FALSE(g->Editing());
    EXPECT_EQ(g->parentWidget(), f.grbDadosRel);
    EXPECT_LE(g->y(), 10); // along the top of the data group box

    EXPECT_EQ(f.nbePreco->Decimals, 7);
    EXPECT_EQ(f.lblPreco->text(), QStringLiteral("Preço por Caracter"));
    EXPECT_EQ(f.grbDataAlt->title(), QStringLiteral("Data de alteração"));
    EXPECT_EQ(f.lblDtInicial->text(), QStringLiteral("Inicial"));
    EXPECT_EQ(f.lblDtFinal->text(), QStringLiteral("Final"));
    EXPECT_FALSE(f.depDtInicial->SaveTime);
    EXPECT_FALSE(f.lblStatus->isVisible());
    EXPECT_EQ(f.lblStatus->text(), QStringLiteral("Calculando..."));
    EXPECT_EQ(f.sbtConfirma->Hint(), QStringLiteral("Calcular"));
    EXPECT_EQ(f.btnRevisado->Hint(), QStringLiteral("Revisado"));
    EXPECT_EQ(f.btnRevisado->parentWidget(), f.sbtConfirma->parentWidget());
    EXPECT_GT(f.btnRevisado->y(), f.sbtConfirma->y());
    EXPECT_EQ(f.btnRevisado->x(), f.sbtConfirma->x());
    EXPECT_FALSE(f.sbtConfirma->isEnabled()); // no price yet
    EXPECT_EQ(f.NetTradInfo->ServerName, QStringLiteral("Trd09300.rdmTraducao"));
    EXPECT_TRUE(f.NetTradInfo->Connected());
    EXPECT_EQ(f.cdstraducao->FieldByName(QStringLiteral("STVALORPROP"))->Size(), 250);
    EXPECT_EQ(f.cdstraducao->FieldByName(QStringLiteral("IDSITTRADUCAO"))->Size(), 1);
    for (TClientDataSet* c : {f.cdscalctrad, f.cdscalcntrad, f.cdscalcduv, f.cdsRevisado}) {
        EXPECT_EQ(c->FieldByName(QStringLiteral("STVALORPROP"))->DataType(), TFieldType::ftFloat);
        EXPECT_TRUE(c->FieldByName(QStringLiteral("STVALORPROP"))->ReadOnly);
    }

    // Titles, the whole counts of the language in column 1, nothing else yet.
    const int t = linhasBanco("ENG", "T"), n = linhasBanco("ENG", "N"), d = linhasBanco("ENG", "D");
    ASSERT_GT(t * n * d, 0);
    EXPECT_EQ(grade(f),
              (QStringList{
                  "",
                  "  Linhas",
                  "  Caracteres",
                  "  Preço",
                  "Traduzido",
                  QString::number(t),
                  "",
                  "",
                  "Não Traduzido",
                  QString::number(n),
                  "",
                  "",
                  "Com Dúvida",
                  QString::number(d),
                  "",
                  "",
                  "Revisado",
                  "",
                  "",
                  "",
                  "Total",
                  QString::number(t + n + d),
                  "",
                  "",
              }));
    // The creation counts: integer 0 for both dates and date mode "T".
    QStringList enviados;
    for (const QByteArray& corpo : ambiente->proxy->requests())
        enviados << QString::fromUtf8(corpo);
    ASSERT_EQ(enviados.size(), 4);
    for (int i = 0; i < 3; ++i) {
        const QJsonObject pedido = QJsonDocument::fromJson(enviados[i].toUtf8()).object();
        EXPECT_EQ(pedido[QStringLiteral("method")].toString(), QStringLiteral("GetCalcTrad"));
        EXPECT_EQ(pedido[QStringLiteral("params")].toArray(),
                  (QJsonArray{"ENG", 0, 0, QString(QChar(u"TND"[i])), "T"}));
    }
    // Then the reviewed counts over the same rows, painted beside the counts (none reviewed yet).
    const QJsonObject revisadas = QJsonDocument::fromJson(enviados[3].toUtf8()).object();
    EXPECT_EQ(revisadas[QStringLiteral("method")].toString(), QStringLiteral("GetCalcRevisadas"));
    EXPECT_EQ(revisadas[QStringLiteral("params")].toArray(), (QJsonArray{"ENG", 0, 0, "T"}));
    EXPECT_EQ(f.revisadasNaLinha(info::LinhaTraduzido), QStringLiteral("\u2713 0"));
    EXPECT_EQ(f.revisadasNaLinha(info::LinhaTotal), QStringLiteral("\u2713 0"));
    EXPECT_EQ(f.revisadasNaLinha(info::LinhaRevisado), QString()) << "btnRevisado's row is its own";

    // Opening again shows the same dialog; closing releases it and its connection.
    CriaInfoTraducao();
    EXPECT_EQ(frmInfoTraducao.data(), &f);
    EXPECT_EQ(ambiente->proxy->requests().size(), 4);
    TNetConnection* conexao = f.NetTradInfo;
    QPointer<TfrmInfoTraducao> guarda(&f);
    EXPECT_TRUE(f.nbePreco->hasFocus()); // the price is what the user types first
    QTest::keyClick(f.nbePreco, Qt::Key_Escape);
    EXPECT_FALSE(conexao->Connected());
    EXPECT_FALSE(Cli_Trd09302::boStCriado);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guarda.isNull());
}

TEST_F(InfoDialogTest, CalculatesWhatADirectCountOfTheDatabaseGives)
{
    TfrmInfoTraducao& f = abreInfo();
    ambiente->proxy->clear();
    // From the keyboard: price, Tab, dates, Enter.
    f.nbePreco->setFocus();
    QTest::keyClicks(f.nbePreco, QStringLiteral("0.0123457"));
    EXPECT_TRUE(f.sbtConfirma->isEnabled());
    QTest::keyClick(f.nbePreco, Qt::Key_Tab);
    EXPECT_TRUE(f.depDtInicial->hasFocus());
    QTest::keyClicks(f.depDtInicial, QStringLiteral("10/01/2025"));
    QTest::keyClick(f.depDtInicial, Qt::Key_Tab);
    EXPECT_TRUE(f.depDtFinal->hasFocus());
    QTest::keyClicks(f.depDtFinal, QStringLiteral("12/01/2025"));
    QTest::keyClick(f.depDtFinal, Qt::Key_Return);
    EXPECT_TRUE(seam.shown.empty()) << seam.messages().join(u'|').toStdString()
                                    << seam.errors().join(u'|').toStdString();

    const Intervalo jan10a12{10, 12};
    const QStringList situacoes = {"T", "N", "D"};
    int linhas = 0;
    for (int i = 0; i < 3; ++i) {
        const int r = i + 1;
        const int esperadas = linhasBanco("ENG", situacoes[i], jan10a12);
        const qint64 caracteres = caracteresBanco("ENG", situacoes[i], jan10a12);
        linhas += esperadas;
        EXPECT_EQ(f.stgCalculo->Cells(1, r), QString::number(esperadas)) << r;
        EXPECT_EQ(f.stgCalculo->Cells(2, r), QString::number(caracteres)) << r;
        EXPECT_EQ(f.stgCalculo->Cells(3, r), custoExato(123457, caracteres)) << r;
    }
    const qint64 todos = caracteresBanco("ENG", QString(), jan10a12);
    EXPECT_GT(todos, 250); // the long text is in the range, sent in pieces
    EXPECT_EQ((QStringList{f.stgCalculo->Cells(1, 4), f.stgCalculo->Cells(2, 4), f.stgCalculo->Cells(3, 4)}),
              (QStringList{"0", "0", "0"}));
    EXPECT_EQ(f.stgCalculo->Cells(1, 5), QString::number(linhas));
    EXPECT_EQ(f.stgCalculo->Cells(2, 5), QString::number(todos));
    EXPECT_EQ(f.stgCalculo->Cells(3, 5), custoExato(123457, todos));
    EXPECT_EQ(f.pgbCalcChar->maximum(), f.cdstraducao->RecordCount());
    esperaRepouso(f);

    // What went to the server: the dates as date values, the counts with an
    // empty date mode.
    const QJsonObject dia10{{"date", diaDeJaneiro(10)}}, dia12{{"date", diaDeJaneiro(12)}};
    EXPECT_EQ(parametros(QStringLiteral("GetInfoTrad")), (QJsonArray{"ENG", dia10, dia12}));
    EXPECT_EQ(parametros(QStringLiteral("GetCalcTrad")), (QJsonArray{"ENG", dia10, dia12, "D", ""}));

    // Revisado from the keyboard: the lines in status T of the range; the total stays.
    const QStringList total = {f.stgCalculo->Cells(1, 5), f.stgCalculo->Cells(2, 5), f.stgCalculo->Cells(3, 5)};
    QTest::keyClick(f.depDtFinal, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(f.stgCalculo->Cells(1, 4), QString::number(linhasBanco("ENG", "T", jan10a12)));
    EXPECT_EQ(parametros(QStringLiteral("GetCalcTrad")), (QJsonArray{"ENG", dia10, dia12, "T", ""}));
    EXPECT_EQ((QStringList{f.stgCalculo->Cells(1, 5), f.stgCalculo->Cells(2, 5), f.stgCalculo->Cells(3, 5)}), total);

    // A wider range by mouse: every row of the language; (1, 4) back to "0".
    f.depDtInicial->selectAll();
    QTest::keyClicks(f.depDtInicial, QStringLiteral("01/01/2025"));
    f.depDtFinal->selectAll();
    QTest::keyClicks(f.depDtFinal, QStringLiteral("31/01/2025"));
    QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
    const Intervalo janeiro{1, 31};
    EXPECT_EQ(f.stgCalculo->Cells(1, 5), QString::number(linhasBanco("ENG", QString(), janeiro)));
    EXPECT_EQ(f.stgCalculo->Cells(2, 5), QString::number(caracteresBanco("ENG", QString(), janeiro)));
    EXPECT_EQ(f.stgCalculo->Cells(1, 4), QStringLiteral("0"));
    QTest::mouseClick(f.btnRevisado, Qt::LeftButton);
    EXPECT_EQ(f.stgCalculo->Cells(1, 4), QString::number(linhasBanco("ENG", "T", janeiro)));
    EXPECT_TRUE(seam.shown.empty());
}

TEST_F(InfoDialogTest, ARangeWithoutRowsShowsZerosAndTheCounts)
{
    TfrmInfoTraducao& f = abreInfo();
    preenche(f, QStringLiteral("1"), QStringLiteral("01/02/2030"), QStringLiteral("28/02/2030"));
    QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
    // No rows: an empty bar, not the endless busy bar of a 0-to-0 range.
    EXPECT_GT(f.pgbCalcChar->maximum(), f.pgbCalcChar->minimum());
    EXPECT_EQ(f.pgbCalcChar->value(), f.pgbCalcChar->minimum());
    for (int r = 1; r <= 5; ++r) {
        EXPECT_EQ(f.stgCalculo->Cells(1, r), QStringLiteral("0")) << r;
        EXPECT_EQ(f.stgCalculo->Cells(2, r), QStringLiteral("0")) << r;
        EXPECT_EQ(f.stgCalculo->Cells(3, r), QStringLiteral("0")) << r;
    }
    esperaRepouso(f);
}

TEST_F(InfoDialogTest, PriceAndDatesAreCheckedBeforeAnythingIsFetched)
{
    TfrmInfoTraducao& f = abreInfo();
    ambiente->proxy->clear();
    // The price: at most five digits before the separator and seven after.
    f.nbePreco->setFocus();
    QTest::keyClicks(f.nbePreco, QStringLiteral("123456"));
    EXPECT_EQ(f.nbePreco->text(), QStringLiteral("12345"));
    QTest::keyClicks(f.nbePreco, QStringLiteral(".12345678"));
    EXPECT_EQ(f.nbePreco->text(), QStringLiteral("12345") + DecimalSeparator() + QStringLiteral("1234567"));
    EXPECT_TRUE(f.sbtConfirma->isEnabled());
    // A selection is replaced, so a digit typed over it fits again.
    f.nbePreco->setSelection(6, 7);
    QTest::keyClicks(f.nbePreco, QStringLiteral("5"));
    EXPECT_EQ(f.nbePreco->text(), QStringLiteral("12345") + DecimalSeparator() + QStringLiteral("5"));
    // Clearing it to 0 disables Calculate; the handler itself refuses as well.
    f.nbePreco->selectAll();
    QTest::keyClicks(f.nbePreco, QStringLiteral("0"));
    EXPECT_FALSE(f.sbtConfirma->isEnabled());
    const QStringList antes = grade(f);
    f.sbtConfirma->setEnabled(true);
    QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
    EXPECT_EQ(seam.messages(), QStringList{QStringLiteral("Preço por caracter deve ser maior que zero.")});
    EXPECT_EQ(grade(f), antes);

    // A price, no dates: the dates' message, the focus on the initial date,
    // nothing fetched, and the dialog at rest again.
    seam.clear();
    f.nbePreco->setFocus();
    f.nbePreco->selectAll();
    QTest::keyClicks(f.nbePreco, QStringLiteral("2"));
    f.nbePreco->setFocus();
    QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
    EXPECT_EQ(seam.messages(), QStringList{QStringLiteral("Data e Hora devem ser informados.")});
    activaDialogo(f);
    EXPECT_TRUE(f.depDtInicial->hasFocus());
    EXPECT_TRUE(ambiente->proxy->requests().isEmpty());
    esperaRepouso(f);
    // Only one date: the same.
    seam.clear();
    f.depDtInicial->setText(QStringLiteral("10/01/2025"));
    QTest::mouseClick(f.btnRevisado, Qt::LeftButton);
    EXPECT_EQ(seam.messages(), QStringList{QStringLiteral("Data e Hora devem ser informados.")});
    EXPECT_TRUE(ambiente->proxy->requests().isEmpty());
    EXPECT_EQ(grade(f), antes);

    // A date that does not exist: refused on leaving the field and at Calculate.
    seam.clear();
    f.depDtFinal->setFocus();
    QTest::keyClicks(f.depDtFinal, QStringLiteral("31/02/2025"));
    f.nbePreco->setFocus();
    EXPECT_EQ(seam.messages(), QStringList{QStringLiteral("'31/02/2025' não é uma data válida.")});
    seam.clear();
    QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
    EXPECT_EQ(seam.messages(), QStringList{QStringLiteral("'31/02/2025' não é uma data válida.")});
    EXPECT_TRUE(ambiente->proxy->requests().isEmpty());
    EXPECT_EQ(grade(f), antes);
    esperaRepouso(f);
}

TEST_F(InfoDialogTest, AStatusOutsideTheThreeAddsToTheTotalOnly)
{
    TfrmInfoTraducao& f = abreInfo();
    preenche(f, QStringLiteral("0.5"), QStringLiteral("01/01/2025"), QStringLiteral("31/01/2025"));
    // The rows answer, as another server could send them: two translated
    // rows (3 and 5 counted characters) and one in a status of its own.
    ambiente->proxy->answerNextWith(respostaInfo({{"T", "12 - ABC!"}, {"R", "revisão 2"}, {"T", "Salva"}}));
    QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'|').toStdString();
    const QString sep = DecimalSeparator();
    EXPECT_EQ(f.stgCalculo->Cells(2, 1), QStringLiteral("8"));
    EXPECT_EQ(f.stgCalculo->Cells(3, 1), QStringLiteral("4"));
    EXPECT_EQ(f.stgCalculo->Cells(2, 2) + f.stgCalculo->Cells(2, 3), QStringLiteral("00"));
    EXPECT_EQ(f.stgCalculo->Cells(2, 5), QStringLiteral("15"));
    EXPECT_EQ(f.stgCalculo->Cells(3, 5), QStringLiteral("7") + sep + QStringLiteral("5"));
    // Lines still come from the three counts only.
    const Intervalo janeiro{1, 31};
    EXPECT_EQ(f.stgCalculo->Cells(1, 5), QString::number(linhasBanco("ENG", QString(), janeiro)));
}

TEST_F(InfoDialogTest, AFailingServerLeavesTheGridAsItWas)
{
    TfrmInfoTraducao& f = abreInfo();
    preenche(f, QStringLiteral("0.25"), QStringLiteral("01/01/2025"), QStringLiteral("31/01/2025"));
    QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
    const QStringList antes = grade(f);
    ASSERT_EQ(f.stgCalculo->Cells(1, 4), QStringLiteral("0"));

    ambiente->proxy->answerNextWith(R"("error":{"code":-32603,"message":"Falha no banco de dados: disco cheio."})");
    QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
    EXPECT_EQ(seam.errors(), QStringList{QStringLiteral("Falha no banco de dados: disco cheio.")});
    EXPECT_EQ(grade(f), antes);
    esperaRepouso(f);

    // Rows that do not fit the dialog's field: refused by the data set, the
    // grid still untouched.
    seam.clear();
    preenche(f, QStringLiteral("0.5"), QStringLiteral("01/01/2025"), QStringLiteral("31/01/2025"));
    ambiente->proxy->answerNextWith(respostaInfo({{"T", "curto"}, {"TT", "situação longa demais"}}));
    QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
    EXPECT_EQ(seam.errors().size(), 1);
    EXPECT_EQ(grade(f), antes);
    esperaRepouso(f);

    // The revised count failing: the busy indicator goes, the grid stays.
    seam.clear();
    ambiente->proxy->answerNextWith(R"("error":{"code":-32603,"message":"Falha no banco de dados."})");
    QTest::mouseClick(f.btnRevisado, Qt::LeftButton);
    EXPECT_EQ(seam.errors(), QStringList{QStringLiteral("Falha no banco de dados.")});
    EXPECT_FALSE(ShowAviActive());
    EXPECT_EQ(grade(f), antes);
}

TEST_F(InfoDialogTest, TheLanguageChangesOnlyWhenTheDialogIsOpenedAgain)
{
    TfrmInfoTraducao& f = abreInfo();
    escolheIdioma(QStringLiteral("POR-Português"));
    preenche(f, QStringLiteral("1"), QStringLiteral("01/01/2025"), QStringLiteral("31/01/2025"));
    QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
    EXPECT_EQ(parametros(QStringLiteral("GetInfoTrad")).at(0).toString(), QStringLiteral("ENG"));
    EXPECT_EQ(f.stgCalculo->Cells(1, 5), QString::number(linhasBanco("ENG", QString(), {1, 31})));

    f.Close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ambiente->proxy->clear();
    TfrmInfoTraducao& g = abreInfo();
    EXPECT_EQ(stIdiInfo, QStringLiteral("POR"));
    EXPECT_EQ(parametros(QStringLiteral("GetCalcTrad")).at(0).toString(), QStringLiteral("POR"));
    EXPECT_EQ(
        colunaLinhas(g),
        (QStringList{QString::number(linhasBanco("POR", "T")), QString::number(linhasBanco("POR", "N")),
                     QString::number(linhasBanco("POR", "D")), "", QString::number(linhasBanco("POR", QString()))}));
}

TEST_F(InfoDialogTest, PaintsTheStatusColoursAndPlacesTheTexts)
{
    TfrmInfoTraducao& f = abreInfo();
    preenche(f, QStringLiteral("0.5"), QStringLiteral("01/01/2025"), QStringLiteral("31/01/2025"));
    QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
    TStringGrid* g = f.stgCalculo;
    g->setFocus();
    g->SetCol(3);
    g->SetRow(5);
    QApplication::processEvents();
    const QImage imagem = g->viewport()->grab().toImage();
    const auto celula = [&](int c, int r) { return g->visualRect(g->model()->index(r, c)); };
    // Text is antialiased: a colour is told by its hue, not by exact pixels.
    using Cor = bool (*)(QColor);
    const Cor verde = [](QColor c) { return c.green() > c.red() + 50 && c.green() > c.blue() + 50; };
    const Cor vermelho = [](QColor c) { return c.red() > c.green() + 80 && c.red() > c.blue() + 80; };
    const Cor amarelo = [](QColor c) {
        return std::abs(c.red() - c.green()) < 30 && c.red() > c.blue() + 60 && c.red() < 235;
    };
    const Cor preto = [](QColor c) { return c.red() < 90 && c.green() < 90 && c.blue() < 90; };
    // Pixels of a colour in a cell, and the horizontal extent of the text.
    const auto contaCor = [&](const QRect& rect, Cor cor) {
        int n = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x)
                n += cor(QColor(imagem.pixel(x, y))) ? 1 : 0;
        return n;
    };
    const auto extensao = [&](const QRect& rect, const QColor& fundo) {
        int esq = rect.right(), dir = rect.left() - 1;
        for (int y = rect.top() + 1; y < rect.bottom(); ++y)
            for (int x = rect.left() + 1; x < rect.right(); ++x)
                if (QColor(imagem.pixel(x, y)) != fundo) {
                    esq = std::min(esq, x);
                    dir = std::max(dir, x);
                }
        return std::make_pair(esq - rect.left(), rect.right() - dir);
    };
    const QColor fundo = clInfoBk();
    EXPECT_GT(contaCor(celula(1, 1), verde), 3);
    EXPECT_GT(contaCor(celula(1, 2), vermelho), 3);
    EXPECT_GT(contaCor(celula(1, 3), amarelo), 3);
    EXPECT_EQ(contaCor(celula(2, 1), verde), 0); // columns 2 and 3 are not coloured
    EXPECT_GT(contaCor(celula(2, 1), preto), 3);
    EXPECT_EQ(contaCor(celula(1, 5), verde) + contaCor(celula(1, 5), vermelho) + contaCor(celula(1, 5), amarelo), 0);
    // Numbers end 2 pixels short of the right edge (with the grid line, 3);
    // titles start 2 pixels in.
    const auto numero = extensao(celula(2, 5), fundo);
    EXPECT_GE(numero.second, 1);
    EXPECT_LE(numero.second, 5);
    EXPECT_GT(numero.first, 50);
    const auto titulo = extensao(celula(0, 2), fundo);
    EXPECT_GE(titulo.first, 1);
    EXPECT_LE(titulo.first, 4);
    EXPECT_GT(titulo.second, 10);
    // The current cell: highlight, with the focus rectangle over it.
    const auto destaque = [&](const QRect& rect) {
        int n = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x)
                n += QColor(imagem.pixel(x, y)) == clHighlight() ? 1 : 0;
        return n;
    };
    EXPECT_GT(destaque(celula(3, 5)), celula(3, 5).width() * 4);
    EXPECT_EQ(destaque(celula(3, 4)), 0);
}

TEST_F(InfoDialogTest, ACalculationShowsItsProgressAFewDozenTimesASecondNotOncePerRow)
{
    // A language of many rows: what the user sees while it runs, frame by
    // frame, and how many frames there were.
    ambiente->proxy->clear();
    escolheIdioma(QStringLiteral("BIG-Muitas linhas"));
    TfrmInfoTraducao& f = abreInfo();
    preenche(f, QStringLiteral("0.01"), QStringLiteral("01/01/2025"), QStringLiteral("31/12/2025"));
    struct Quadro {
        int posicao, maximo;
        bool calculando;
        TApplication::TCursor cursor;
    };
    std::vector<Quadro> quadros;
    auto* espia = new PaintSpy(f.pgbCalcChar, [&] {
        quadros.push_back(
            {f.pgbCalcChar->value(), f.pgbCalcChar->maximum(), f.lblStatus->isVisible(), Application()->Cursor()});
    });
    QElapsedTimer relogio;
    relogio.start();
    QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
    const qint64 duracao = relogio.elapsed();
    delete espia;
    ASSERT_EQ(f.stgCalculo->Cells(1, 5), QString::number(LinhasGrandes));

    std::vector<Quadro> durante;
    for (const Quadro& q : quadros)
        if (q.calculando)
            durante.push_back(q);
    ASSERT_FALSE(durante.empty());
    for (const Quadro& q : durante) {
        EXPECT_EQ(q.cursor, TApplication::crSQLWait);
        EXPECT_EQ(q.maximo, f.cdstraducao->RecordCount());
    }
    for (std::size_t i = 1; i < durante.size(); ++i)
        EXPECT_GE(durante[i].posicao, durante[i - 1].posicao);
    // About one frame per 33 ms of the whole click, and a few to spare.
    EXPECT_LE(static_cast<qint64>(durante.size()), duracao / TfrmInfoTraducao::IntervaloQuadroMs + 4)
        << durante.size() << " frames in " << duracao << " ms";
}
