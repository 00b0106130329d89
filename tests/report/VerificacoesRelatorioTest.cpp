// The shipped report "Verificações da tradução por tela" on a real
// trd-server: the server's query counts the checks' findings by program and
// check (the same rules as the editor and trd-check, shortcut conflicts
// within a program only), and the definition prints them grouped by program.
#include "RelatorioDeFabrica.h"

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

} // namespace

TEST(VerificacoesRelatorio, FindingsCountedByProgramAndCheckAsTheShippedReportPrintsThem)
{
    QString text;
    ASSERT_NO_FATAL_FAILURE(imprimeRelatorioDeFabrica(Rows, "TRD093_04_verificacoes_por_tela.xml", text));
    // pdftotext gives the "fi" ligature of the font as one character.
    text.replace(QChar(0xFB01), QStringLiteral("fi"));
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
    esperaEmOrdem(text, expected);
    // &Exit and &Edit mark one letter on two programs: no conflict.
    EXPECT_FALSE(text.contains(QStringLiteral("Atalho repetido"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Achados por tela Tela: CAD00100 3 Tela: TRD09300 1 Tela: TRD09301 1")));
    EXPECT_TRUE(text.contains(QStringLiteral("Verificação Gravidade Achados Primeiro em Mensagem")));
}
