// trd-check with the checks, against a real trd-server: the findings it
// lists (kind Q, with their check, severity and message), the choice of
// checks and kinds, the exit status that says whether a text breaks its
// screen; then the list loaded by the filter dialog's "Outras Verificações"
// into the real editor: exactly the rows the checks found something in.
#include "FiltroTestKit.h"

#include "Cli_Trd09300.h"
#include "Dispatch.h"
#include "TClientDataSet.h"

#include <QCheckBox>
#include <QDir>
#include <QProcess>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <set>

using namespace trd;
using namespace trd::test;

namespace {

const char* const Semente = "L\tENG\tEnglish\tENG\n"
                            "R\tENG\tTRD09300\tlblArquivo\tArquivo %s não encontrado.\tFile not found.\tT\n"
                            "R\tENG\tTRD09300\tsbtSair\t&Sair\t&Exit\tT\n"
                            "R\tENG\tTRD09300\tsbtEditar\t&Editar\t&Edit\tT\n"
                            "R\tENG\tTRD09300\tsbtSalvar\t&Salvar\t&Save\tT\n"
                            "R\tENG\tTRD09300\tlblPergunta\tDeseja sair?\tExit now\tD\n"
                            "R\tENG\tTRD09301\tlblNome\tNome\tName\tT\n"
                            "R\tENG\tTRD09301\tlblCliente\tCliente\tCliente\tT\n"
                            "R\tENG\tTRD09301\tlblSenha\tSenha\tPassword field\tN\n"
                            "R\tENG\tCAD00100\tmsgTotal\tTotal de %d itens em %s\tTotal of %d items in %s\tD\n"
                            "R\tENG\tCAD00100\tsbtEditar\t&Editar\t&Edit\tT\n";

ServidorSemeado*& ambiente = EditorSemeadoTestBase::ambiente;

struct Saida {
    int codigo = -1;
    QString out, err;
};

Saida trdCheck(QStringList args)
{
    args << QStringLiteral("--server") << ambiente->servidor->hostPort() << QStringLiteral("-q");
    QProcess p;
    p.start(QDir(qEnvironmentVariable("TRD_BIN_DIR")).filePath(QStringLiteral("trd-check")), args);
    Saida s;
    if (!p.waitForFinished(120000)) {
        ADD_FAILURE() << "trd-check did not finish";
        p.kill();
        p.waitForFinished();
        return s;
    }
    s.codigo = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    s.out = QString::fromUtf8(p.readAllStandardOutput());
    s.err = QString::fromUtf8(p.readAllStandardError());
    return s;
}

// "KIND|PROGRAM|COMPONENT|CHECK|SEVERITY|MESSAGE" of each listed row, in the file's order.
QStringList lista(const QString& caminho)
{
    QStringList linhas;
    TClientDataSet l;
    l.LoadFromFile(caminho);
    for (l.First(); !l.Eof(); l.Next()) {
        QStringList campos;
        for (const char* campo :
             {"TPLISTA", "CDPROGTRAD", "NMCOMPONENTE", "CDVERIFICACAO", "TPGRAVIDADE", "DSMENSAGEM"})
            campos << l.FieldByName(QString::fromLatin1(campo))->AsString();
        linhas << campos.join(u'|');
    }
    return linhas;
}

// "PROGRAM|COMPONENT|SOURCE" of the editor's rows, sorted.
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

class VerificacoesListaTest : public EditorSemeadoTestBase {
protected:
    static void SetUpTestSuite() { ASSERT_NO_FATAL_FAILURE(iniciaServidor(Semente)); }
    QString caminho(const char* nome) const { return ambiente->pasta.filePath(QString::fromLatin1(nome)); }
};

} // namespace

TEST_F(VerificacoesListaTest, EveryCheckByDefaultEachFindingWithItsCheckAndAnErroSetsTheExitStatus)
{
    const Saida s = trdCheck({QStringLiteral("ENG"), QStringLiteral("-o"), caminho("todas.cds")});
    EXPECT_EQ(s.codigo, 6) << s.err.toStdString();
    EXPECT_EQ(s.out.trimmed(),
              caminho("todas.cds")
                  + QStringLiteral(": 10 linhas de ENG verificadas; 1 não traduzidas, "
                                   "1 longas demais, 5 outros achados (1 erro)."));
    // In the order of the rows the server answers: program, component, source.
    EXPECT_EQ(
        lista(caminho("todas.cds")),
        (QStringList{
            QStringLiteral("Q|TRD09300|lblArquivo|marcadores|erro|Falta na tradução o marcador \"%s\" da origem."),
            QStringLiteral(
                "Q|TRD09300|lblPergunta|pontuacao|aviso|A origem termina com \"?\" e a tradução sem pontuação."),
            QStringLiteral("Q|TRD09300|sbtEditar|conflito-atalho|aviso|A tecla de atalho \"E\" também é marcada em "
                           "sbtSair (\"&Exit\") desta tela; na origem não coincidiam."),
            QStringLiteral("Q|TRD09300|sbtSair|conflito-atalho|aviso|A tecla de atalho \"E\" também é marcada em "
                           "sbtEditar (\"&Edit\") desta tela; na origem não coincidiam."),
            QStringLiteral("Q|TRD09301|lblCliente|igual-origem|aviso|Tradução igual à origem numa linha marcada como "
                           "traduzida."),
            QStringLiteral("N|TRD09301|lblSenha|||Não traduzido."),
            QStringLiteral(
                "E|TRD09301|lblSenha|tamanho|aviso|Linha 1 com 14 caracteres; o máximo é 10 (origem com 5)."),
        }));

    // A choice of checks: kind E needs "tamanho"; kind N is no check and stays.
    const Saida escolha =
        trdCheck({QStringLiteral("ENG"), QStringLiteral("--checks"), QStringLiteral("pontuacao,igual-origem"),
                  QStringLiteral("-o"), caminho("escolha.cds")});
    EXPECT_EQ(escolha.codigo, 0) << escolha.err.toStdString();
    EXPECT_EQ(
        lista(caminho("escolha.cds")),
        (QStringList{
            QStringLiteral(
                "Q|TRD09300|lblPergunta|pontuacao|aviso|A origem termina com \"?\" e a tradução sem pontuação."),
            QStringLiteral("Q|TRD09301|lblCliente|igual-origem|aviso|Tradução igual à origem numa linha marcada como "
                           "traduzida."),
            QStringLiteral("N|TRD09301|lblSenha|||Não traduzido."),
        }));

    // The two kinds of before, as before: no other check runs, the erro is not looked for.
    const Saida antigas = trdCheck({QStringLiteral("ENG"), QStringLiteral("--kinds"), QStringLiteral("NE"),
                                    QStringLiteral("-o"), caminho("antigas.cds")});
    EXPECT_EQ(antigas.codigo, 0) << antigas.err.toStdString();
    EXPECT_EQ(antigas.out.trimmed(),
              caminho("antigas.cds")
                  + QStringLiteral(": 10 linhas de ENG verificadas; "
                                   "1 não traduzidas, 1 longas demais."));
    EXPECT_EQ(lista(caminho("antigas.cds")).size(), 2);

    const Saida errada = trdCheck({QStringLiteral("ENG"), QStringLiteral("--checks"), QStringLiteral("ortografia")});
    EXPECT_EQ(errada.codigo, 2);
    EXPECT_TRUE(errada.err.contains(QStringLiteral("Verificação desconhecida: \"ortografia\"")))
        << errada.err.toStdString();
}

TEST_F(VerificacoesListaTest, TheFilterDialogListsTheRowsTheChecksFoundSomethingIn)
{
    const Saida s = trdCheck({QStringLiteral("ENG"), QStringLiteral("-o"), caminho("filtro.cds")});
    ASSERT_EQ(s.codigo, 6) << s.err.toStdString();
    ASSERT_NO_FATAL_FAILURE(abreEditor(QStringLiteral("ENG-English")));

    struct Caso {
        bool ntrad, errTam, verif;
        const char* tipo;
        QStringList linhas;
    };
    const QStringList achados = {QStringLiteral("TRD09300|lblArquivo|Arquivo %s não encontrado."),
                                 QStringLiteral("TRD09300|lblPergunta|Deseja sair?"),
                                 QStringLiteral("TRD09300|sbtEditar|&Editar"), QStringLiteral("TRD09300|sbtSair|&Sair"),
                                 QStringLiteral("TRD09301|lblCliente|Cliente")};
    QStringList todas = achados;
    todas << QStringLiteral("TRD09301|lblSenha|Senha");
    todas.sort();
    const Caso casos[] = {
        {false, false, true, "4", achados},
        {true, true, true, "7", todas},
        // What the two boxes of before ask has not changed with the new kind in the file.
        {true, true, false, "3", {QStringLiteral("TRD09301|lblSenha|Senha")}},
    };
    for (const Caso& caso : casos) {
        SCOPED_TRACE(caso.tipo);
        seam.openAnswers = {caminho("filtro.cds")};
        abrirFiltro([&](TfrmFiltroTraducao& f) {
            // Clicked on their boxes, where a user clicks.
            auto clica = [](QCheckBox* caixa) {
                QTest::mouseClick(caixa, Qt::LeftButton, {}, QPoint(8, caixa->height() / 2));
            };
            if (!f.chbFilArq->isChecked())
                clica(f.chbFilArq);
            for (auto [caixa, marcada] : {std::pair{f.chbArqNtrad, caso.ntrad}, std::pair{f.chbArqErrTam, caso.errTam},
                                          std::pair{f.chbArqVerif, caso.verif}})
                if (caixa->isChecked() != marcada)
                    clica(caixa);
            ASSERT_EQ(f.chbArqVerif->isChecked(), caso.verif);
            QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
        });
        EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
        EXPECT_TRUE(seam.messages().isEmpty()) << seam.messages().join(u'\n').toStdString();
        EXPECT_EQ(ultimosParametros(QStringLiteral("GetCDSFilter")).at(2).toString(), QString::fromLatin1(caso.tipo));
        EXPECT_EQ(linhasEditor(), caso.linhas);
    }
}
