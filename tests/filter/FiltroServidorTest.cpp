// The filter dialog with the real editor against a real trd-server: the exact
// request each combination of criteria sends, the rows it loads compared with
// a direct query of the server's database, the values restored on reopening,
// the failure paths, and the editor's reload repeating the filter in force.
#include "FiltroTestKit.h"
#include "RecordingProxy.h"
#include "TrdServerProcess.h"

#include "Cli_Trd09300.h"
#include "Dispatch.h"
#include "ShowAvi.h"
#include "TClientDataSet.h"
#include "TDateEditPlus.h"
#include "WebServer.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <memory>

using namespace trd;
using namespace trd::test;

namespace {

// The seeded rows: (language, program, component, source, destination, status, change date).
const char* const Semente = "L\tENG\tEnglish\tENG\n"
                            "L\tPOR\tPortuguês\tPOR\n"
                            "R\tENG\tTRD09300\tLBLTITULO\tSalvar arquivo\tSave file\tT\t2025-01-10 09:00:00\n"
                            "R\tENG\tTRD09300\tBTNSALVAR\tSALVAR\tSave\tD\t2025-01-10 15:30:00\n"
                            "R\tENG\tTRD09300\tBTNFECHAR\tFechar\t\tN\t2025-01-11 10:00:00\n"
                            "R\tENG\tTRD09301\tLBLNOME\tNome do arquivo\tFile name\tN\t2025-01-12 08:00:00\n"
                            "R\tENG\tTRD09301\tCBBCAMPO\tSalvar como\tSave as\tD\t2025-01-12 12:00:00\n"
                            "R\tENG\tTRD09302\tLBLAGUA\tCopo d'água\tGlass of water\tN\t2025-01-11 11:00:00\n"
                            "R\tENG\tTRD09302\tLBLAGUA2\tÁgua\tWater\tT\t2025-01-13 10:00:00\n"
                            "R\tENG\tCAD00100\tLBLNOME\tNome\tName\tN\t2025-01-11 09:00:00\n"
                            "R\tENG\tCAD00100\tBTNSALVAR\tSalvar\tsave\tN\t2025-01-14 09:00:00\n"
                            "R\tENG\tTRD09300\tLBLARQUIVO\tArquivo salvo\tFile saved\tD\t2025-01-09 23:59:00\n"
                            "R\tENG\tTRD09300\tLBL_X\tTraduções\tTranslations\tN\t2025-01-11 16:00:00\n"
                            "R\tPOR\tTRD09300\tLBLTITULO\tSalvar arquivo\tSalvar arquivo\tN\t2025-01-10 09:00:00\n";

ServidorSemeado*& ambiente = EditorSemeadoTestBase::ambiente;

// Keys "PROGRAM|COMPONENT|SOURCE" of the rows a direct query of the database
// gives for the language ENG and the condition, sorted.
QStringList linhasBanco(const QString& condicao)
{
    QStringList linhas;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(ambiente->servidor->dbPath().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr)
        != SQLITE_OK) {
        ADD_FAILURE() << "cannot open the database";
        sqlite3_close(db);
        return linhas;
    }
    const QByteArray sql = "SELECT CDPROGTRAD || '|' || NMCOMPONENTE || '|' || STAGRVALPROP FROM TRADUCAO "
                           "WHERE IDIDIOMA = 'ENG' AND ("
        + condicao.toUtf8() + ")";
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "bad query: " << sqlite3_errmsg(db);
    } else {
        while (sqlite3_step(st) == SQLITE_ROW)
            linhas << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    linhas.sort();
    return linhas;
}

void executaNoBanco(const QString& sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(ambiente->servidor->dbPath().toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 5000);
    char* erro = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &erro), SQLITE_OK) << (erro ? erro : "");
    sqlite3_free(erro);
    sqlite3_close(db);
}

// The same keys from the editor's row set, sorted.
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

// A day of January 2025 as the dialog sends it, and the database condition
// for the change dates of the days from `de` to `ate`.
TDateTime jan(int dia)
{
    return EncodeDate(2025, 1, dia);
}

QString entreDias(int de, int ate)
{
    return QStringLiteral("DTALTERACAO >= %1 AND DTALTERACAO < %2").arg(jan(de)).arg(jan(ate) + 1);
}

QJsonArray parametros(const char* trad, const char* duv, const char* ntrad, const QString& fragmento, int de, int ate)
{
    return QJsonArray{QString::fromLatin1(trad),
                      QString::fromLatin1(duv),
                      QString::fromLatin1(ntrad),
                      fragmento,
                      QStringLiteral("ENG"),
                      QJsonObject{{QStringLiteral("date"), jan(de)}},
                      QJsonObject{{QStringLiteral("date"), jan(ate)}},
                      QStringLiteral("N")};
}

class FiltroServidorTest : public EditorSemeadoTestBase {
protected:
    static void SetUpTestSuite() { ASSERT_NO_FATAL_FAILURE(iniciaServidor(Semente)); }

    void SetUp() override { ASSERT_NO_FATAL_FAILURE(abreEditor(QStringLiteral("ENG-English"))); }

    // Opens the dialog, lets `preenche` fill it and confirms; true when the
    // dialog closed on the confirmation.
    bool confirma(const std::function<void(TfrmFiltroTraducao&)>& preenche)
    {
        bool fechou = false;
        abrirFiltro([&](TfrmFiltroTraducao& f) {
            preenche(f);
            QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
            fechou = f.ModalResult() != mrNone || !f.IsModal();
        });
        return fechou;
    }
};

void datas(TfrmFiltroTraducao& f, int de, int ate)
{
    f.depDtInicial->setText(DateToStr(jan(de)));
    f.depDtFinal->setText(DateToStr(jan(ate)));
}

void todasSituacoes(TfrmFiltroTraducao& f)
{
    f.ckbTraduzido->setChecked(true);
    f.ckbDuvida->setChecked(true);
    f.ckbNaoTraduzido->setChecked(true);
}

void digita(QLineEdit* edit, const QString& texto)
{
    edit->setFocus();
    edit->clear();
    digitaTexto(edit, texto);
}

} // namespace

TEST_F(FiltroServidorTest, StatusesAndDatesAloneSendAnEmptyFragment)
{
    ASSERT_TRUE(confirma([](TfrmFiltroTraducao& f) { datas(f, 10, 12); }));
    EXPECT_EQ(ultimosParametros(QStringLiteral("GetFiltroDest")), parametros("X", "D", "N", QString(), 10, 12));
    const QStringList esperadas = linhasBanco(QStringLiteral("IDSITTRADUCAO IN ('D','N') AND ") + entreDias(10, 12));
    EXPECT_EQ(esperadas.size(), 7);
    EXPECT_EQ(linhasEditor(), esperadas);
    EXPECT_TRUE(boTestaFiltro);
    EXPECT_EQ(stDataTrad, QStringLiteral("N"));
    EXPECT_EQ(dtDataIni, jan(10));
    EXPECT_EQ(dtDataFin, jan(12));
    EXPECT_FALSE(ShowAviActive());
    EXPECT_TRUE(seam.messages().isEmpty());
    EXPECT_TRUE(seam.errors().isEmpty());
    EXPECT_FALSE(frmFiltroTraducao->isVisible());
}

TEST_F(FiltroServidorTest, EachPieceSendsItsExactTextAndFindsTheRowsTheDatabaseHolds)
{
    struct Caso {
        const char* nome;
        std::function<void(TfrmFiltroTraducao&)> preenche;
        QString fragmento;
        QString condicao;
        int minimo; // rows the seed gives at least, so that no case passes empty
    };
    const QString todasDatas = entreDias(1, 31);
    const Caso casos[] = {
        {"exact source word, typed in lower case",
         [](TfrmFiltroTraducao& f) {
             f.rbtIdentico->setChecked(true);
             digita(f.edtTexto, QStringLiteral("salvar"));
         },
         QStringLiteral("AND UPPER(STAGRVALPROP) = 'SALVAR'"), QStringLiteral("upper(STAGRVALPROP) = 'SALVAR'"), 2},
        {"destination prefix",
         [](TfrmFiltroTraducao& f) {
             f.cbbCampo->setCurrentIndex(1);
             f.rbtPrefixo->setChecked(true);
             digita(f.edtTexto, QStringLiteral("Save"));
         },
         QStringLiteral("AND UPPER(STVALORPROP) LIKE 'SAVE%'"),
         QStringLiteral("substr(upper(STVALORPROP), 1, 4) = 'SAVE'"), 4},
        {"part of the source", [](TfrmFiltroTraducao& f) { digita(f.edtTexto, QStringLiteral("arquivo")); },
         QStringLiteral("AND UPPER(STAGRVALPROP) LIKE '%ARQUIVO%'"),
         QStringLiteral("instr(upper(STAGRVALPROP), 'ARQUIVO') > 0"), 3},
        {"program contained", [](TfrmFiltroTraducao& f) { digita(f.edtCdProg, QStringLiteral("trd0930")); },
         QStringLiteral(" AND CDPROGTRAD LIKE '%TRD0930%'"), QStringLiteral("instr(CDPROGTRAD, 'TRD0930') > 0"), 7},
        {"program exact",
         [](TfrmFiltroTraducao& f) {
             digita(f.edtCdProg, QStringLiteral("TRD09301"));
             f.chbPrefixo->setChecked(true);
         },
         QStringLiteral(" AND CDPROGTRAD = 'TRD09301'"), QStringLiteral("CDPROGTRAD = 'TRD09301'"), 2},
        {"component matches whole", [](TfrmFiltroTraducao& f) { digita(f.edtComponente, QStringLiteral("lblnome")); },
         QStringLiteral(" AND UPPER(NMCOMPONENTE) LIKE 'LBLNOME'"), QStringLiteral("NMCOMPONENTE = 'LBLNOME'"), 2},
        {"component with a wildcard typed",
         [](TfrmFiltroTraducao& f) { digita(f.edtComponente, QStringLiteral("btn%")); },
         QStringLiteral(" AND UPPER(NMCOMPONENTE) LIKE 'BTN%'"), QStringLiteral("substr(NMCOMPONENTE, 1, 3) = 'BTN'"),
         3},
        {"word, program and component together",
         [](TfrmFiltroTraducao& f) {
             f.cbbCampo->setCurrentIndex(1);
             digita(f.edtTexto, QStringLiteral("save"));
             digita(f.edtCdProg, QStringLiteral("trd"));
             digita(f.edtComponente, QStringLiteral("btnsalvar"));
         },
         QStringLiteral("AND UPPER(STVALORPROP) LIKE '%SAVE%' AND CDPROGTRAD LIKE '%TRD%' "
                        "AND UPPER(NMCOMPONENTE) LIKE 'BTNSALVAR'"),
         QStringLiteral("instr(upper(STVALORPROP), 'SAVE') > 0 AND instr(CDPROGTRAD, 'TRD') > 0 "
                        "AND NMCOMPONENTE = 'BTNSALVAR'"),
         1},
        {"accented letters fold as the server folds them",
         [](TfrmFiltroTraducao& f) { digita(f.edtTexto, QStringLiteral("água")); },
         QStringLiteral("AND UPPER(STAGRVALPROP) LIKE '%ÁGUA%'"),
         QStringLiteral("instr(STAGRVALPROP, 'água') > 0 OR instr(STAGRVALPROP, 'Água') > 0"), 2},
    };
    for (const Caso& caso : casos) {
        SCOPED_TRACE(caso.nome);
        ambiente->proxy->clear();
        ASSERT_TRUE(confirma([&](TfrmFiltroTraducao& f) {
            // Every test of the loop starts from the same criteria.
            f.cbbCampo->setCurrentIndex(0);
            f.rbtParte->setChecked(true);
            f.chbPrefixo->setChecked(false);
            for (QLineEdit* e : {f.edtTexto, f.edtCdProg, f.edtComponente})
                e->clear();
            todasSituacoes(f);
            datas(f, 1, 31);
            caso.preenche(f);
        }));
        EXPECT_EQ(stPARAMSQL, caso.fragmento);
        EXPECT_EQ(ultimosParametros(QStringLiteral("GetFiltroDest")), parametros("T", "D", "N", caso.fragmento, 1, 31));
        const QStringList esperadas = linhasBanco(QStringLiteral("(%1) AND %2").arg(caso.condicao, todasDatas));
        EXPECT_GE(esperadas.size(), caso.minimo);
        EXPECT_EQ(linhasEditor(), esperadas);
        EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
    }
}

TEST_F(FiltroServidorTest, AWordWithAnApostropheFindsItsRows)
{
    ASSERT_TRUE(confirma([](TfrmFiltroTraducao& f) {
        todasSituacoes(f);
        datas(f, 1, 31);
        digita(f.edtTexto, QStringLiteral("d'água"));
    }));
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
    EXPECT_EQ(ultimosParametros(QStringLiteral("GetFiltroDest")),
              parametros("T", "D", "N", QStringLiteral("AND UPPER(STAGRVALPROP) LIKE '%D''ÁGUA%'"), 1, 31));
    EXPECT_EQ(linhasEditor(), QStringList{QStringLiteral("TRD09302|LBLAGUA|Copo d'água")});
    // The dialog keeps the word as typed, with one quote.
    EXPECT_EQ(TFiltro.stPalavra, QStringLiteral("D'ÁGUA"));
}

TEST_F(FiltroServidorTest, NoStatusTickedStillAsksAndGetsNoRow)
{
    ASSERT_TRUE(confirma([](TfrmFiltroTraducao& f) {
        f.ckbDuvida->setChecked(false);
        f.ckbNaoTraduzido->setChecked(false);
        datas(f, 1, 31);
    }));
    EXPECT_EQ(ultimosParametros(QStringLiteral("GetFiltroDest")), parametros("X", "X", "X", QString(), 1, 31));
    EXPECT_TRUE(frmTraducao->cdsDestino->Active());
    EXPECT_EQ(frmTraducao->cdsDestino->RecordCount(), 0);
}

TEST_F(FiltroServidorTest, EqualDatesGiveTheRowsOfThatDay)
{
    ASSERT_TRUE(confirma([](TfrmFiltroTraducao& f) {
        todasSituacoes(f);
        datas(f, 11, 11);
    }));
    EXPECT_TRUE(seam.messages().isEmpty());
    const QStringList esperadas = linhasBanco(entreDias(11, 11));
    EXPECT_EQ(esperadas.size(), 4);
    EXPECT_EQ(linhasEditor(), esperadas);
}

TEST_F(FiltroServidorTest, ReopeningRestoresKindWordAndProgramButNotTheColumn)
{
    ASSERT_TRUE(confirma([](TfrmFiltroTraducao& f) {
        todasSituacoes(f);
        datas(f, 1, 31);
        f.cbbCampo->setCurrentIndex(1);
        f.rbtIdentico->setChecked(true);
        digita(f.edtTexto, QStringLiteral("save"));
        digita(f.edtCdProg, QStringLiteral("cad"));
        digita(f.edtComponente, QStringLiteral("btn%"));
    }));
    EXPECT_EQ(TFiltro.stTipo, QStringLiteral("Identico"));
    EXPECT_EQ(linhasEditor(), QStringList{QStringLiteral("CAD00100|BTNSALVAR|Salvar")});

    abrirFiltro([](TfrmFiltroTraducao& f) {
        EXPECT_EQ(f.cbbCampo->currentIndex(), 0);
        EXPECT_TRUE(f.rbtIdentico->isChecked());
        EXPECT_FALSE(f.rbtParte->isChecked());
        EXPECT_EQ(f.edtTexto->text(), QStringLiteral("SAVE"));
        EXPECT_EQ(f.edtCdProg->text(), QStringLiteral("CAD"));
        // The rest stays as the dialog was left.
        EXPECT_EQ(f.edtComponente->text(), QStringLiteral("BTN%"));
        EXPECT_TRUE(f.ckbTraduzido->isChecked());
        EXPECT_EQ(f.depDtInicial->GetDate(), jan(1));
        EXPECT_EQ(f.depDtFinal->GetDate(), jan(31));
        // A match kind changed but not confirmed does not come back either.
        f.rbtPrefixo->setChecked(true);
        f.edtTexto->setText(QStringLiteral("OUTRO"));
    });
    abrirFiltro([](TfrmFiltroTraducao& f) {
        EXPECT_TRUE(f.rbtIdentico->isChecked());
        EXPECT_EQ(f.edtTexto->text(), QStringLiteral("SAVE"));
    });
    // Cancelling sent nothing and left the rows in place.
    EXPECT_EQ(ambiente->proxy->requests().size(), 1);
    EXPECT_EQ(linhasEditor().size(), 1);
}

TEST_F(FiltroServidorTest, AnAnswerThatCannotBeLoadedShowsInsufficientMemoryAndKeepsTheDialogOpen)
{
    bool aberto = false;
    ambiente->proxy->answerNextWith(R"("result":"<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>")");
    abrirFiltro([&](TfrmFiltroTraducao& f) {
        datas(f, 1, 31);
        QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
        aberto = f.IsModal() && f.ModalResult() == mrNone;
    });
    EXPECT_TRUE(aberto);
    EXPECT_EQ(seam.messages(),
              QStringList{QStringLiteral("Não foi possível retornar todos os registros selecionados. Nos campos "
                                         "\"Data de alteração\", tente filtrar por um período menor.")});
    EXPECT_TRUE(seam.errors().isEmpty());
    EXPECT_FALSE(frmTraducao->cdsDestino->Active());
    EXPECT_FALSE(ShowAviActive());
    // The values were published before the request, and stay.
    EXPECT_TRUE(boTestaFiltro);
    EXPECT_EQ(stDataTrad, QStringLiteral("N"));
}

TEST_F(FiltroServidorTest, AServerErrorReachesTheErrorDisplayAndKeepsTheDialogOpen)
{
    // First some rows, to see them go.
    ASSERT_TRUE(confirma([](TfrmFiltroTraducao& f) { datas(f, 1, 31); }));
    ASSERT_FALSE(linhasEditor().isEmpty());
    bool aberto = false;
    ambiente->proxy->answerNextWith(R"("error":{"code":-32602,"message":"Filtro inválido: teste."})");
    abrirFiltro([&](TfrmFiltroTraducao& f) {
        QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
        aberto = f.IsModal() && f.ModalResult() == mrNone;
    });
    EXPECT_TRUE(aberto);
    EXPECT_EQ(seam.errors(), QStringList{QStringLiteral("Filtro inválido: teste.")});
    EXPECT_TRUE(seam.messages().isEmpty());
    EXPECT_FALSE(frmTraducao->cdsDestino->Active());
    EXPECT_FALSE(ShowAviActive());
}

TEST_F(FiltroServidorTest, TheEditorsReloadRepeatsTheFilterInForce)
{
    ASSERT_TRUE(confirma([](TfrmFiltroTraducao& f) {
        f.ckbTraduzido->setChecked(true);
        f.ckbDuvida->setChecked(false);
        datas(f, 10, 12);
        digita(f.edtTexto, QStringLiteral("salvar"));
    }));
    const QJsonArray pedido = ultimosParametros(QStringLiteral("GetFiltroDest"));
    const QString condicao =
        QStringLiteral("IDSITTRADUCAO IN ('T','N') AND instr(upper(STAGRVALPROP), 'SALVAR') > 0 AND ")
        + entreDias(10, 12);
    EXPECT_EQ(linhasEditor(), linhasBanco(condicao));

    // Someone else marks a matching row translated meanwhile: the reload sees it.
    executaNoBanco(QStringLiteral("UPDATE TRADUCAO SET IDSITTRADUCAO = 'N' "
                                  "WHERE IDIDIOMA = 'ENG' AND NMCOMPONENTE = 'BTNSALVAR' AND CDPROGTRAD = 'TRD09300'"));
    ambiente->proxy->clear();
    ASSERT_TRUE(Dispatch([] { frmTraducao->sbtVerificarClick(nullptr); }));
    ASSERT_EQ(ambiente->proxy->requests().size(), 1);
    EXPECT_EQ(ultimosParametros(QStringLiteral("GetFiltroDest")), pedido);
    const QStringList depois = linhasBanco(condicao);
    EXPECT_TRUE(depois.contains(QStringLiteral("TRD09300|BTNSALVAR|SALVAR")));
    EXPECT_EQ(linhasEditor(), depois);
    executaNoBanco(QStringLiteral("UPDATE TRADUCAO SET IDSITTRADUCAO = 'D' "
                                  "WHERE IDIDIOMA = 'ENG' AND NMCOMPONENTE = 'BTNSALVAR' AND CDPROGTRAD = 'TRD09300'"));

    // Another language ends the filter: the reload asks for every row.
    escolheIdiomaDoEditor(QStringLiteral("POR-Português"));
    EXPECT_FALSE(boTestaFiltro);
    ambiente->proxy->clear();
    ASSERT_TRUE(Dispatch([] { frmTraducao->sbtVerificarClick(nullptr); }));
    EXPECT_TRUE(ambiente->proxy->lastParams(QStringLiteral("GetFiltroDest")).isEmpty());
    const QJsonArray todos = ultimosParametros(QStringLiteral("GetDestino"));
    ASSERT_EQ(todos.size(), 7);
    EXPECT_EQ(todos.at(3).toString(), QStringLiteral("POR"));
    EXPECT_EQ(frmTraducao->cdsDestino->RecordCount(), 1);
}
