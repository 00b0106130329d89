// The shipped report "Textos de origem traduzidos de mais de uma forma" on a
// real trd-server: the translation memory's sources of a language whose
// translated rows (T and D) hold more than one translation, shortcut marks
// aside, each with its variants, the most used first.
#include "RelatorioDeFabrica.h"

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::test;

namespace {

const char* Rows = "L\tENG\tInglês\tPOR\n"
                   "L\tSPA\tEspanhol\tPOR\n"
                   // Three ways for "Salvar", one of them only in a shortcut mark's place.
                   "R\tENG\tCAD00100\tsbtSalvar\t&Salvar\t&Save\tT\n"
                   "R\tENG\tCAD00200\tsbtSalvar\tSalvar\tSave\tT\n"
                   "R\tENG\tCAD00300\tbtnSalvar\tSalvar\tStore\tD\n"
                   "R\tENG\tCAD00400\tbtnGravar\tSalvar\tRecord\tT\n"
                   "R\tENG\tCAD00500\tbtnGravar\tSalvar\tKeep\tN\n" // not translated: not a variant
                   // One way only, with an untranslated row: consistent.
                   "R\tENG\tCAD00100\tlblNome\tNome\tName\tT\n"
                   "R\tENG\tCAD00200\tlblNome\tNome\t\tN\n"
                   // Case counts: "Abrir" and "ABRIR" are two sources.
                   "R\tENG\tCAD00100\tsbtAbrir\tAbrir\tOpen\tT\n"
                   "R\tENG\tCAD00200\tsbtAbrir\tABRIR\tOPEN\tT\n"
                   // Another language's variants stay out.
                   "R\tSPA\tCAD00100\tlblNome\tNome\tNombre\tT\n"
                   "R\tSPA\tCAD00200\tlblNome\tNome\tApellido\tT\n";

} // namespace

TEST(DivergentesRelatorio, SourcesTranslatedInMoreThanOneWayWithTheirVariantsAsTheShippedReportPrintsThem)
{
    QString text;
    ASSERT_NO_FATAL_FAILURE(imprimeRelatorioDeFabrica(Rows, "TRD093_05_traducoes_divergentes.xml", text));
    const QStringList expected = {
        QStringLiteral("Idioma ENG"),
        QStringLiteral("Tradução Linhas Sit. Telas"),
        // Shown as its best row holds them (T before D, then the newest).
        QStringLiteral("Origem: &Salvar"),
        QStringLiteral("&Save 2 T CAD00100, CAD00200"),
        QStringLiteral("Record 1 T CAD00400"),
        QStringLiteral("Store 1 D CAD00300"),
        QStringLiteral("Subtotal 4 Total geral 4"),
    };
    esperaEmOrdem(text, expected);
    for (const char* absent : {"Keep", "Name", "Open", "OPEN", "Nombre", "Apellido"})
        EXPECT_FALSE(text.contains(QString::fromLatin1(absent))) << absent << "\nin\n" << text.toStdString();
}
