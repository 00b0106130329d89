// After a release made rows obsolete, the figures the editor's dialogs show
// are those of the live rows only: the statistics dialog's counts per status
// and the characters it adds up, and the status report's summary, each equal
// to a count made by hand over the rows the editor loads. The release is
// applied through the client's own calls (LiberacaoDados) against a real
// trd-server, the way the release window sends it.
#include "EditorTestKit.h"

#include "Cli_Trd09302.h"
#include "InfoCalculo.h"
#include "LiberacaoDados.h"
#include "RelatorioRegras.h"
#include "ServerCalls.h"
#include "TClientDataSet.h"
#include "TDateEditPlus.h"
#include "TNumberEdit.h"
#include "TSocketConnection.h"
#include "TStringGrid.h"

#include <QDate>
#include <QTest>

#include <map>

using namespace trd;
using namespace trd::test;

namespace {

const QList<Idioma> kIdiomas = {{"ENG", "English"}};

// Seven rows; the release keeps c, d and f, rewords b, adds g and drops a, e
// and the long text h: T c; D b' d; N f g live afterwards.
const QList<Linha> kLinhas = {
    {"ENG", "CAD01", "a", "Abrir arquivo", "Open file", "T"},
    {"ENG", "CAD01", "b", "Salvar registro", "Save record", "T"},
    {"ENG", "CAD01", "c", "Cancelar", "Cancel", "T"},
    {"ENG", "CAD01", "d", "Dúvida", "Doubt", "D"},
    {"ENG", "CAD01", "e", "Excluir", "", "N"},
    {"ENG", "CAD01", "f", "Fechar", "", "N"},
    {"ENG", "CAD01", "h", "Texto longo que sai", "A long text that leaves, with many counted characters", "T"},
};
const char kLiberacao[] = "CAD01\tb\tSalvar o registro\nCAD01\tc\tCancelar\nCAD01\td\tDúvida\nCAD01\tf\tFechar\n"
                          "CAD01\tg\tGravar\n";

class TotaisDepoisDaLiberacao : public EditorTest {
protected:
    // Applies the release through a connection of its own, as the window's thread does.
    liberacao::Previa aplica(bool confirmado)
    {
        TSocketConnection conexao;
        conexao.Host = server->host();
        conexao.Port = server->port();
        conexao.ServerName = ServerNameTraducao;
        return liberacao::LePrevia(liberacao::Aplica(conexao, QString::fromUtf8(kLiberacao), {}, confirmado));
    }
};

TEST_F(TotaisDepoisDaLiberacao, EstatisticasERelatorioContamSoAsLinhasVivas)
{
    startServer(kIdiomas, kLinhas);
    // Three of seven rows leave uncarried (43 %): refused until confirmed, nothing written.
    try {
        aplica(false);
        ADD_FAILURE() << "the guard did not trip";
    } catch (const EServerError& e) {
        EXPECT_EQ(e.ErrorCode(), liberacao::PedeConfirmacaoCode) << e.Message().toStdString();
    }
    const liberacao::Previa aplicada = aplica(true);
    ASSERT_EQ(aplicada.idiomas.size(), 1);
    EXPECT_NE(aplicada.idiomas[0].lote, 0);
    EXPECT_EQ(aplicada.idiomas[0].total.obsoletas, 3);

    TfrmTraducao* form = openEditor();
    ASSERT_TRUE(form);
    loadLanguage(QStringLiteral("ENG-English"));
    // The hand count, over the rows the editor loads.
    std::map<QString, int> linhas;
    std::map<QString, qint64> caracteres, texto;
    TClientDataSet* ds = form->cdsDestino;
    for (ds->First(); !ds->Eof(); ds->Next()) {
        const QString s = ds->FieldByName(QStringLiteral("IDSITTRADUCAO"))->AsString();
        const QString destino = ds->FieldByName(QStringLiteral("STVALORPROP"))->AsString();
        ++linhas[s];
        caracteres[s] += info::TamanhoContado(destino);
        texto[s] += destino.size();
    }
    ASSERT_EQ(ds->RecordCount(), 5);
    EXPECT_EQ(linhas["T"], 1);
    EXPECT_EQ(linhas["D"], 2);
    EXPECT_EQ(linhas["N"], 2);

    // The statistics dialog: the whole language's counts when it opens, then
    // a calculation over today's changes and the seed's (every row).
    CriaInfoTraducao();
    ASSERT_TRUE(frmInfoTraducao);
    TfrmInfoTraducao& f = *frmInfoTraducao;
    TStringGrid* g = f.stgCalculo;
    EXPECT_EQ((QStringList{g->Cells(1, info::LinhaTraduzido), g->Cells(1, info::LinhaNaoTraduzido),
                           g->Cells(1, info::LinhaDuvida), g->Cells(1, info::LinhaTotal)}),
              (QStringList{"1", "2", "2", "5"}));
    QTest::keyClicks(f.nbePreco, QStringLiteral("0.0100000"));
    const QString hoje = QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy"));
    f.depDtInicial->setText(QStringLiteral("01/01/2000"));
    f.depDtFinal->setText(hoje);
    QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'|').toStdString();
    EXPECT_EQ(g->Cells(1, info::LinhaTotal), QStringLiteral("5"));
    EXPECT_EQ(g->Cells(2, info::LinhaTraduzido), QString::number(caracteres["T"]));
    EXPECT_EQ(g->Cells(2, info::LinhaDuvida), QString::number(caracteres["D"]));
    EXPECT_EQ(g->Cells(2, info::LinhaTotal), QString::number(caracteres["T"] + caracteres["D"] + caracteres["N"]));
    f.close();

    // The status report's summary from the four calls every report makes.
    TAppServer& server = form->netTraducao->AppServer();
    TClientDataSet trad, ntrad, duv, textos, resumo;
    trad.SetData(CheckResultServ(server.Call(metodo::GetCalcTrad, {QStringLiteral("ENG")}), true, 0));
    ntrad.SetData(CheckResultServ(server.Call(metodo::GetCalcNtrad, {QStringLiteral("ENG")}), true, 0));
    duv.SetData(CheckResultServ(server.Call(metodo::GetCalcDuv, {QStringLiteral("ENG")}), true, 0));
    textos.SetData(CheckResultServ(server.Call(metodo::GetInfoTrad, {QStringLiteral("ENG")}), true, 0));
    relatorio::MontaResumo(resumo, trad, duv, ntrad, textos);
    int total = 0;
    for (resumo.First(); !resumo.Eof(); resumo.Next()) {
        const QString s = resumo.FieldByName(QStringLiteral("IDSITTRADUCAO"))->AsString();
        const int n = static_cast<int>(resumo.FieldByName(QStringLiteral("NRLINHAS"))->AsFloat());
        EXPECT_EQ(n, linhas[s]) << s.toStdString();
        EXPECT_EQ(static_cast<qint64>(resumo.FieldByName(QStringLiteral("NRTEXTO"))->AsFloat()), texto[s])
            << s.toStdString();
        total += n;
    }
    EXPECT_EQ(total, 5);
}

} // namespace
