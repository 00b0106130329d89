// The filter by a file of listed rows, with the real editor against a real
// trd-server behind a recording proxy: the request each pair of kinds sends
// and the rows it loads, the refusal with neither kind, where the file dialog
// starts and what it proposes, a cancelled choice, an empty file, files that
// do not load, a refusal of the server, and the editor's reload afterwards.
#include "FiltroTestKit.h"
#include "RecordingProxy.h"
#include "TrdServerProcess.h"

#include "Cli_Trd09300.h"
#include "Dispatch.h"
#include "ShowAvi.h"
#include "TClientDataSet.h"
#include "TDateEditPlus.h"
#include "TOpenDialog.h"
#include "WebServer.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

using namespace trd;
using namespace trd::test;

namespace {

const char* const Semente =
    "L\tENG\tEnglish\tENG\n"
    "L\tPOR\tPortuguês\tPOR\n"
    "R\tENG\tTRD09300\tBTNSALVAR\tSalvar\tSave\tT\t2025-01-10 09:00:00\n"
    "R\tENG\tTRD09300\tBTNFECHAR\tFechar\t\tN\t2025-01-11 10:00:00\n"
    "R\tENG\tTRD09300\tLBLTITULO\tTítulo\tTitle of the window, far too long\tD\t2025-01-12 08:00:00\n"
    "R\tENG\tTRD09301\tLBLNOME\tNome\tName\tT\t2025-01-20 08:00:00\n"
    "R\tENG\tTRD09301\tLBLNOME\tNome completo\t\tN\t2025-01-21 08:00:00\n"
    "R\tENG\tCAD00100\tBTNSALVAR\tSalvar\tSalvar\tN\t2025-01-11 09:00:00\n"
    "R\tPOR\tTRD09300\tBTNFECHAR\tFechar\tFechar\tT\t2025-01-10 09:00:00\n";

ServidorSemeado*& ambiente = EditorSemeadoTestBase::ambiente;

// One listed item; a null source lists the whole component, a null language
// lists it for every language.
struct Item {
    const char* idioma;
    const char* programa;
    const char* componente;
    const char* origem;
    const char* tipo;
};

// Writes a file of listed rows through the platform's data set, as any
// producer on the framework would.
QString gravaLista(const QString& nome, std::initializer_list<Item> itens, bool comTipo = true)
{
    TClientDataSet lista;
    TField* idioma = lista.AddField(QStringLiteral("IDIDIOMA"), TFieldType::ftString, 3);
    TField* programa = lista.AddField(QStringLiteral("CDPROGTRAD"), TFieldType::ftString, 20);
    TField* componente = lista.AddField(QStringLiteral("NMCOMPONENTE"), TFieldType::ftString, 50);
    TField* origem = lista.AddField(QStringLiteral("STAGRVALPROP"), TFieldType::ftString, 4000);
    TField* tipo = comTipo ? lista.AddField(QStringLiteral("TPLISTA"), TFieldType::ftString, 1) : nullptr;
    lista.CreateDataSet();
    for (const Item& i : itens) {
        lista.Append();
        if (i.idioma)
            idioma->SetAsString(QString::fromUtf8(i.idioma));
        programa->SetAsString(QString::fromUtf8(i.programa));
        componente->SetAsString(QString::fromUtf8(i.componente));
        if (i.origem)
            origem->SetAsString(QString::fromUtf8(i.origem));
        if (tipo)
            tipo->SetAsString(QString::fromUtf8(i.tipo));
        lista.Post();
    }
    const QString caminho = ambiente->pasta.filePath(nome);
    lista.SaveToFile(caminho);
    return caminho;
}

// The list most tests pick: items of both kinds, one for another language, one
// naming a whole component (two rows), one that matches nothing.
QString listaPadrao()
{
    return gravaLista(QStringLiteral("lista.cds"),
                      {{"ENG", "TRD09300", "BTNFECHAR", "Fechar", "N"},
                       {"ENG", "TRD09300", "LBLTITULO", "Título", "E"},
                       {nullptr, "TRD09301", "LBLNOME", nullptr, "N"},
                       {"POR", "TRD09300", "BTNSALVAR", "Salvar", "E"},
                       {"ENG", "CAD00100", "BTNSALVAR", "Salvar", "N"},
                       {"ENG", "XXX00000", "NADA", "Nada", "E"}});
}

QString arquivo(const QString& nome, const QByteArray& conteudo)
{
    const QString caminho = ambiente->pasta.filePath(nome);
    QFile f(caminho);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(conteudo);
    return caminho;
}

// "PROGRAM|COMPONENT|SOURCE" of the editor's rows, sorted; empty when closed.
QStringList linhasEditor()
{
    QStringList linhas;
    TClientDataSet* cds = frmTraducao->cdsDestino;
    if (!cds->Active())
        return linhas;
    for (cds->First(); !cds->Eof(); cds->Next())
        linhas << cds->FieldByName(QStringLiteral("CDPROGTRAD"))->AsString() + u'|'
                + cds->FieldByName(QStringLiteral("NMCOMPONENTE"))->AsString() + u'|'
                + cds->FieldByName(QStringLiteral("STAGRVALPROP"))->AsString();
    linhas.sort();
    return linhas;
}

class FiltroArquivoTest : public EditorSemeadoTestBase {
protected:
    static void SetUpTestSuite() { ASSERT_NO_FATAL_FAILURE(iniciaServidor(Semente)); }

    void SetUp() override { ASSERT_NO_FATAL_FAILURE(abreEditor(QStringLiteral("ENG-English"))); }

    // Every row of the language in the editor, as its reload loads them.
    void carregaTudo()
    {
        ASSERT_TRUE(Dispatch([] { frmTraducao->sbtVerificarClick(nullptr); }));
        ASSERT_EQ(linhasEditor().size(), 6);
        ambiente->proxy->clear();
    }

    // What a confirmation of the file filter left behind.
    struct Resultado {
        bool fechou = false; // the dialog's modal loop was ending
        bool focoNtrad = false; // "Não Traduzido" had the focus afterwards
        TApplication::TCursor cursor = TApplication::crDefault; // right after the click
    };

    // Opens the dialog, ticks "Filtrar por Arquivo" and the kinds asked,
    // answers the file dialog with `escolha` (nullopt: cancelled) and confirms.
    Resultado confirmaArquivo(bool ntrad, bool errTam, const std::optional<QString>& escolha)
    {
        Resultado r;
        seam.openAnswers = {escolha};
        abrirFiltro([&](TfrmFiltroTraducao& f) {
            // The dialog keeps its state between openings.
            if (!f.chbFilArq->isChecked())
                QTest::mouseClick(f.chbFilArq, Qt::LeftButton);
            EXPECT_TRUE(f.chbFilArq->isChecked());
            f.chbArqNtrad->setChecked(ntrad);
            f.chbArqErrTam->setChecked(errTam);
            f.chbArqErrTam->setFocus();
            QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
            r.fechou = f.ModalResult() != mrNone || !f.IsModal();
            r.focoNtrad = QApplication::focusWidget() == f.chbArqNtrad;
            r.cursor = Application()->Cursor();
        });
        seam.openAnswers.clear();
        return r;
    }
};

} // namespace

TEST_F(FiltroArquivoTest, EachPairOfKindsSendsItsListingKindAndLoadsExactlyTheListedRows)
{
    const QString lista = listaPadrao();
    QFile f(lista);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString pacote = QString::fromUtf8(f.readAll());
    struct Caso {
        bool ntrad, errTam;
        const char* tipo;
        QStringList linhas;
    };
    const QStringList n = {QStringLiteral("CAD00100|BTNSALVAR|Salvar"), QStringLiteral("TRD09300|BTNFECHAR|Fechar"),
                           QStringLiteral("TRD09301|LBLNOME|Nome"), QStringLiteral("TRD09301|LBLNOME|Nome completo")};
    const QStringList e = {QStringLiteral("TRD09300|LBLTITULO|Título")};
    QStringList ambos = n + e;
    ambos.sort();
    const Caso casos[] = {{true, true, "3", ambos}, {true, false, "2", n}, {false, true, "1", e}};
    for (const Caso& caso : casos) {
        SCOPED_TRACE(caso.tipo);
        carregaTudo();
        valoresConhecidos();
        const Resultado r = confirmaArquivo(caso.ntrad, caso.errTam, lista);
        EXPECT_TRUE(r.fechou);
        EXPECT_TRUE(seam.messages().isEmpty()) << seam.messages().join(u'\n').toStdString();
        EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
        EXPECT_EQ(ultimosParametros(QStringLiteral("GetCDSFilter")),
                  (QJsonArray{QStringLiteral("ENG"), pacote, QString::fromLatin1(caso.tipo)}));
        EXPECT_EQ(linhasEditor(), caso.linhas);
        EXPECT_FALSE(ShowAviActive());
        // The SQL-wait cursor stays until the dialog's opener ends the modal loop.
        EXPECT_EQ(r.cursor, TApplication::crSQLWait);
        EXPECT_EQ(Application()->Cursor(), TApplication::crDefault);
        // Of the published values only the date mode changed.
        EXPECT_EQ(stDataTrad, QStringLiteral("T"));
        EXPECT_FALSE(boTestaFiltro);
        EXPECT_EQ(stPARAMSQL, QStringLiteral(" AND CDPROGTRAD = 'PROG0'"));
        EXPECT_EQ(stTRAD + stDUV + stNTRAD, QStringLiteral("???"));
        EXPECT_EQ(dtDataIni, 1.0);
        EXPECT_EQ(dtDataFin, 2.0);
    }
}

TEST_F(FiltroArquivoTest, NeitherKindTickedRefusesWithTheFocusOnNaoTraduzido)
{
    carregaTudo();
    valoresConhecidos();
    const Resultado r = confirmaArquivo(false, false, listaPadrao());
    EXPECT_FALSE(r.fechou);
    EXPECT_TRUE(r.focoNtrad);
    EXPECT_EQ(seam.messages(), QStringList{QStringLiteral("Pelo menos uma das opções deve estar preenchida.")});
    EXPECT_EQ(seam.count(RecordingDialogSeam::OpenDialog), 0);
    EXPECT_TRUE(ambiente->proxy->requests().isEmpty());
    EXPECT_EQ(linhasEditor().size(), 6);
    // The date mode is set before the check, and stays.
    EXPECT_EQ(stDataTrad, QStringLiteral("T"));
    EXPECT_EQ(stPARAMSQL, QStringLiteral(" AND CDPROGTRAD = 'PROG0'"));
}

TEST_F(FiltroArquivoTest, ACancelledChoiceClosesTheDialogAndLeavesTheRows)
{
    carregaTudo();
    const Resultado r = confirmaArquivo(true, true, std::nullopt);
    EXPECT_TRUE(r.fechou);
    ASSERT_EQ(seam.count(RecordingDialogSeam::OpenDialog), 1);
    EXPECT_EQ(seam.last(RecordingDialogSeam::OpenDialog)->text,
              QStringLiteral("Arquivo de lista de itens não traduzidos"));
    // It started in TRD beside the program, proposing the usual name and
    // listing the lists whatever the case of their extension.
    const TOpenDialog* opd = frmFiltroTraducao->opdTradErros;
    EXPECT_EQ(opd->InitialDir, QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("TRD")));
    EXPECT_EQ(opd->FileName, QStringLiteral("CDSNTRAD.cds"));
    EXPECT_EQ(opd->WithDefaultExt(QStringLiteral("lista")), QStringLiteral("lista.cds"));
    EXPECT_EQ(opd->QtNameFilters(), QStringList{QStringLiteral("Arquivos CDS (*.cds) (*.[cC][dD][sS])")});
    EXPECT_TRUE(ambiente->proxy->requests().isEmpty());
    EXPECT_EQ(linhasEditor().size(), 6);
    EXPECT_TRUE(seam.messages().isEmpty());
    EXPECT_EQ(stDataTrad, QStringLiteral("T"));
}

TEST_F(FiltroArquivoTest, AnEmptyFileAsksNothingKeepsTheRowsAndClosesTheDialog)
{
    carregaTudo();
    const Resultado r = confirmaArquivo(true, true, gravaLista(QStringLiteral("vazia.cds"), {}));
    EXPECT_TRUE(r.fechou);
    EXPECT_TRUE(ambiente->proxy->requests().isEmpty());
    EXPECT_EQ(linhasEditor().size(), 6);
    EXPECT_TRUE(seam.messages().isEmpty());
    EXPECT_TRUE(seam.errors().isEmpty());
}

TEST_F(FiltroArquivoTest, AFileThatDoesNotLoadShowsInvArqAndKeepsTheDialogOpen)
{
    QDir(ambiente->pasta.path()).mkdir(QStringLiteral("pasta.cds"));
    const QString arquivos[] = {
        ambiente->pasta.filePath(QStringLiteral("nao-existe.cds")),
        // A folder cannot be read as a file, whoever runs the test.
        ambiente->pasta.filePath(QStringLiteral("pasta.cds")),
        arquivo(QStringLiteral("texto.cds"), "PROGRAMA;COMPONENTE\nTRD09300;BTNFECHAR\n"),
        arquivo(QStringLiteral("binario.cds"), QByteArray("\x96\x19\xE0\xBD\x01\x00\x00\x00", 8)),
        arquivo(QStringLiteral("cortado.cds"), "<?xml version=\"1.0\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"),
    };
    carregaTudo();
    for (const QString& caminho : arquivos) {
        SCOPED_TRACE(caminho.toStdString());
        seam.clear();
        const Resultado r = confirmaArquivo(true, true, caminho);
        EXPECT_FALSE(r.fechou);
        EXPECT_EQ(seam.messages(), QStringList{QStringLiteral("Arquivo inválido.")});
        EXPECT_TRUE(ambiente->proxy->requests().isEmpty());
        EXPECT_EQ(linhasEditor().size(), 6);
        EXPECT_TRUE(frmTraducao->cdsDestino->Active());
    }
}

TEST_F(FiltroArquivoTest, AServerRefusalReachesTheErrorDisplayWithTheDialogOpen)
{
    carregaTudo();
    // Loads as a data set, but the server needs the listing type of each item.
    const QString semTipo =
        gravaLista(QStringLiteral("sem-tipo.cds"), {{"ENG", "TRD09300", "BTNFECHAR", "Fechar", "N"}}, false);
    const Resultado r = confirmaArquivo(true, true, semTipo);
    EXPECT_FALSE(r.fechou);
    EXPECT_EQ(r.cursor, TApplication::crDefault);
    ASSERT_EQ(seam.errors().size(), 1);
    EXPECT_TRUE(seam.errors().constFirst().startsWith(QStringLiteral("Arquivo de itens listados inválido")))
        << seam.errors().constFirst().toStdString();
    EXPECT_TRUE(seam.messages().isEmpty());
    EXPECT_EQ(ambiente->proxy->requests().size(), 1);
    EXPECT_FALSE(frmTraducao->cdsDestino->Active());
    EXPECT_FALSE(ShowAviActive());
}

TEST_F(FiltroArquivoTest, AReloadAfterAFileFilterRepeatsTheCriteriaFilterWithoutItsDates)
{
    const QString lista = listaPadrao();
    // A criteria filter for the not translated rows of 10 to 12 January...
    abrirFiltro([](TfrmFiltroTraducao& f) {
        f.ckbDuvida->setChecked(false);
        f.depDtInicial->setText(DateToStr(EncodeDate(2025, 1, 10)));
        f.depDtFinal->setText(DateToStr(EncodeDate(2025, 1, 12)));
        QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
    });
    QJsonArray criterios = ultimosParametros(QStringLiteral("GetFiltroDest"));
    ASSERT_EQ(criterios.size(), 8);
    EXPECT_EQ(linhasEditor(),
              (QStringList{QStringLiteral("CAD00100|BTNSALVAR|Salvar"), QStringLiteral("TRD09300|BTNFECHAR|Fechar")}));
    // ...then a file, and a reload: the same criteria, of every date.
    ASSERT_TRUE(confirmaArquivo(true, false, lista).fechou);
    ambiente->proxy->clear();
    ASSERT_TRUE(Dispatch([] { frmTraducao->sbtVerificarClick(nullptr); }));
    ASSERT_EQ(ambiente->proxy->requests().size(), 1);
    criterios[7] = QStringLiteral("T");
    EXPECT_EQ(ultimosParametros(QStringLiteral("GetFiltroDest")), criterios);
    EXPECT_EQ(linhasEditor(),
              (QStringList{QStringLiteral("CAD00100|BTNSALVAR|Salvar"), QStringLiteral("TRD09300|BTNFECHAR|Fechar"),
                           QStringLiteral("TRD09301|LBLNOME|Nome completo")}));
}

TEST_F(FiltroArquivoTest, AReloadAfterAFileFilterWithoutACriteriaFilterLoadsEveryRow)
{
    ASSERT_TRUE(confirmaArquivo(false, true, listaPadrao()).fechou);
    EXPECT_EQ(linhasEditor().size(), 1);
    ambiente->proxy->clear();
    ASSERT_TRUE(Dispatch([] { frmTraducao->sbtVerificarClick(nullptr); }));
    EXPECT_TRUE(ambiente->proxy->lastParams(QStringLiteral("GetFiltroDest")).isEmpty());
    const QJsonArray todos = ultimosParametros(QStringLiteral("GetDestino"));
    ASSERT_EQ(todos.size(), 7);
    EXPECT_EQ(todos.at(6).toString(), QStringLiteral("T"));
    EXPECT_EQ(linhasEditor().size(), 6);
}
