// The shipped report "Verificações da tradução por tela" on a real
// trd-server: the server's query counts the checks' findings by program and
// check (the same rules as the editor and trd-check, shortcut conflicts
// within a program only), and the definition prints them grouped by program.
#include "ReportTestKit.h"
#include "RecordingDialogSeam.h"
#include "TfrmDadosGerRel.h"
#include "TrdServerProcess.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::test;

namespace {

const char* Rows = "L\tENG\tInglês\tPOR\n"
                   "R\tENG\tCAD00100\tmsgTotal\tTotal de %d itens\tTotal of items\tT\n"
                   "R\tENG\tCAD00100\tmsgErro\tErro em %s\tError\tD\n"
                   "R\tENG\tCAD00100\tlblPergunta\tDeseja sair?\tExit now\tT\n"
                   "R\tENG\tCAD00100\tsbtSair\t&Sair\t&Exit\tT\n"
                   "R\tENG\tTRD09300\tsbtEditar\t&Editar\t&Edit\tT\n"
                   "R\tENG\tTRD09300\tlblCliente\tCliente\tCliente\tT\n"
                   "R\tENG\tTRD09300\tlblNome\tNome\tName\tT\n"
                   "R\tENG\tTRD09301\tsbtSalvar\t&Salvar\tSave\tN\n";

class Relatorio : public TfrmDadosGerRel {
public:
    Relatorio() { lblCodRel->setText(QStringLiteral("TRD093")); }
};

} // namespace

TEST(VerificacoesRelatorio, FindingsCountedByProgramAndCheckAsTheShippedReportPrintsThem)
{
    QTemporaryDir dir;
    TrdServerProcess::Options options;
    options.importTsv = WriteFile(dir, QStringLiteral("rows.tsv"), Rows);
    TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    RecordingDialogSeam seam;

    auto* form = CreateForm<Relatorio>();
    form->netQRDesign->Host = server.host();
    form->netQRDesign->Port = server.port();
    form->rpddPadrao->BeforeGetQueryParams = [](QObject*, TParams& p, bool&) {
        p.ParamByName(QStringLiteral("P_IDIDIOMA")).SetAsString(QStringLiteral("ENG"));
    };
    const QString definition = QDir(qEnvironmentVariable("TRD_BIN_DIR"))
                                   .filePath(QStringLiteral("relatorios/TRD093_04_verificacoes_por_tela.xml"));
    auto prepared = form->rpddPadrao->PrepareFile(definition);
    ASSERT_TRUE(prepared && prepared->document) << seam.errors().join(u'\n').toStdString();

    const QString pdf = dir.filePath(QStringLiteral("verificacoes.pdf"));
    ASSERT_TRUE(prepared->document->exportPdf(pdf));
    // pdftotext gives the "fi" ligature of the font as one character.
    const QString text = PdfText(pdf).simplified().replace(QChar(0xFB01), QStringLiteral("fi"));
    // Programs in order, checks in the catalog's order, the first finding as example.
    const QStringList expected = {
        QStringLiteral(
            "Tela: CAD00100 Marcadores de formatação erro 2 msgErro Falta na tradução o marcador \"%s\" da origem."),
        QStringLiteral("Pontuação final aviso 1 lblPergunta A origem termina com \"?\" e a tradução sem pontuação."),
        QStringLiteral("Subtotal 3"),
        QStringLiteral("Tela: TRD09300 Tradução igual à origem aviso 1 lblCliente"),
        QStringLiteral("Tela: TRD09301 Marca de atalho erro 1 sbtSalvar A origem marca a tecla de atalho \"S\" (&S); a "
                       "tradução não marca nenhuma."),
        QStringLiteral("Total geral 5"),
    };
    qsizetype from = 0;
    for (const QString& piece : expected) {
        const qsizetype at = text.indexOf(piece, from);
        EXPECT_GE(at, 0) << piece.toStdString() << "\nin\n" << text.toStdString();
        if (at >= 0)
            from = at + piece.size();
    }
    // &Exit and &Edit mark one letter on two programs: no conflict.
    EXPECT_FALSE(text.contains(QStringLiteral("Atalho repetido"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Achados por tela Tela: CAD00100 3 Tela: TRD09300 1 Tela: TRD09301 1")));
    EXPECT_TRUE(text.contains(QStringLiteral("Verificação Gravidade Achados Primeiro em Mensagem")));
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
    delete form;
}
