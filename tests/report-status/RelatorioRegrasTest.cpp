// The report dialog's rules that need no window: which item a typed language
// names, and the summary by status built from the data sets the server sends.
#include "RelatorioRegras.h"
#include "TClientDataSet.h"
#include "TField.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace trd;
using namespace trd::relatorio;

TEST(RelatorioRegras, ATypedLanguageNamesAnItemByItsTextOrItsWholeCodeAndNothingElse)
{
    const QStringList itens = {QStringLiteral("ENG-English"), QStringLiteral("SPA-Español"),
                               QStringLiteral("POR-Português")};
    EXPECT_EQ(ItemDoIdioma(QStringLiteral("SPA-Español"), itens), 1);
    EXPECT_EQ(ItemDoIdioma(QStringLiteral("spa-español"), itens), 1);
    EXPECT_EQ(ItemDoIdioma(QStringLiteral("eng"), itens), 0);
    EXPECT_EQ(ItemDoIdioma(QStringLiteral(" POR "), itens), 2);
    EXPECT_EQ(ItemDoIdioma(QStringLiteral("ENG-Inglês"), itens), 0);
    EXPECT_EQ(ItemDoIdioma(QStringLiteral("EN"), itens), -1); // no part of a code
    EXPECT_EQ(ItemDoIdioma(QStringLiteral("ENGLISH"), itens), -1); // a code runs into more letters
    EXPECT_EQ(ItemDoIdioma(QStringLiteral("XYZ"), itens), -1);
    EXPECT_EQ(ItemDoIdioma(QString(), itens), -1);
    // Two items of one code: the code alone is ambiguous.
    EXPECT_EQ(ItemDoIdioma(QStringLiteral("ENG"), {QStringLiteral("ENG-English"), QStringLiteral("ENG-Inglês")}), -1);
}

namespace {
void umaLinha(TClientDataSet& cds, double linhas, double caracteres, double pc, TDateTime ultima)
{
    cds.AddField(QStringLiteral("STVALORPROP"), TFieldType::ftFloat);
    cds.AddField(QStringLiteral("NRCARACTER"), TFieldType::ftFloat);
    cds.AddField(QStringLiteral("PCLINHAS"), TFieldType::ftFloat);
    cds.AddField(QStringLiteral("DTULTALT"), TFieldType::ftDateTime);
    cds.CreateDataSet();
    cds.Append();
    cds.FieldByName(QStringLiteral("STVALORPROP"))->SetAsFloat(linhas);
    cds.FieldByName(QStringLiteral("NRCARACTER"))->SetAsFloat(caracteres);
    cds.FieldByName(QStringLiteral("PCLINHAS"))->SetAsFloat(pc);
    if (ultima != 0)
        cds.FieldByName(QStringLiteral("DTULTALT"))->SetAsDateTime(ultima);
    cds.Post();
}
} // namespace

TEST(RelatorioRegras, TheSummaryHasOneRowPerStatusFromItsOwnDataSetAndTheTextsOfThatStatus)
{
    TClientDataSet trad, duv, ntrad, textos, resumo;
    umaLinha(trad, 3, 20, 50, EncodeDate(2025, 3, 2));
    umaLinha(duv, 1, 4, 16.6, EncodeDate(2025, 3, 9));
    umaLinha(ntrad, 2, 0, 33.3, 0);
    textos.AddField(QStringLiteral("IDSITTRADUCAO"), TFieldType::ftString, 1);
    textos.AddField(QStringLiteral("STVALORPROP"), TFieldType::ftString, 250);
    textos.CreateDataSet();
    for (auto [sit, texto] : {std::pair{"T", "Save file"}, {"T", "Close"}, {"D", "Save!"}, {"N", ""}}) {
        textos.Append();
        textos.FieldByName(QStringLiteral("IDSITTRADUCAO"))->SetAsString(QString::fromLatin1(sit));
        textos.FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(QString::fromLatin1(texto));
        textos.Post();
    }

    for (int vez = 0; vez < 2; ++vez) { // built again on the next run, not added to
        MontaResumo(resumo, trad, duv, ntrad, textos);
        ASSERT_EQ(resumo.RecordCount(), 3);
        resumo.First();
        EXPECT_EQ(resumo.FieldByName(QStringLiteral("DSSITUACAO"))->AsString(), QStringLiteral("Traduzido"));
        EXPECT_EQ(resumo.FieldByName(QStringLiteral("NRLINHAS"))->AsFloat(), 3);
        EXPECT_EQ(resumo.FieldByName(QStringLiteral("NRCARACTER"))->AsFloat(), 20);
        EXPECT_EQ(resumo.FieldByName(QStringLiteral("NRTEXTO"))->AsFloat(), 14);
        EXPECT_EQ(resumo.FieldByName(QStringLiteral("DTULTALT"))->AsDateTime(), EncodeDate(2025, 3, 2));
        resumo.Next();
        EXPECT_EQ(resumo.FieldByName(QStringLiteral("IDSITTRADUCAO"))->AsString(), QStringLiteral("D"));
        EXPECT_EQ(resumo.FieldByName(QStringLiteral("NRTEXTO"))->AsFloat(), 5);
        EXPECT_DOUBLE_EQ(resumo.FieldByName(QStringLiteral("PCLINHAS"))->AsFloat(), 16.6);
        resumo.Next();
        EXPECT_EQ(resumo.FieldByName(QStringLiteral("DSSITUACAO"))->AsString(), QStringLiteral("Não Traduzido"));
        EXPECT_TRUE(resumo.FieldByName(QStringLiteral("DTULTALT"))->IsNull());
    }

    // A status data set the server did not send adds nothing, and fails nothing.
    duv.Close();
    MontaResumo(resumo, trad, duv, ntrad, textos);
    resumo.First();
    resumo.Next();
    EXPECT_EQ(resumo.FieldByName(QStringLiteral("NRLINHAS"))->AsFloat(), 0);

    // The reviewed lines of each status beside them (GetCalcRevisadas); none
    // told (an older server) leaves the column empty, not zero.
    EXPECT_TRUE(resumo.FieldByName(QStringLiteral("NRREVISADAS"))->IsNull());
    TClientDataSet revisadas;
    revisadas.AddField(QStringLiteral("IDSITTRADUCAO"), TFieldType::ftString, 1);
    revisadas.AddField(QStringLiteral("NRLINHAS"), TFieldType::ftFloat);
    revisadas.AddField(QStringLiteral("NRREVISADAS"), TFieldType::ftFloat);
    revisadas.CreateDataSet();
    for (auto [sit, n, r] : {std::tuple{"T", 3.0, 2.0}, {"D", 1.0, 1.0}, {"N", 2.0, 0.0}}) {
        revisadas.Append();
        revisadas.FieldByName(QStringLiteral("IDSITTRADUCAO"))->SetAsString(QString::fromLatin1(sit));
        revisadas.FieldByName(QStringLiteral("NRLINHAS"))->SetAsFloat(n);
        revisadas.FieldByName(QStringLiteral("NRREVISADAS"))->SetAsFloat(r);
        revisadas.Post();
    }
    MontaResumo(resumo, trad, duv, ntrad, textos, &revisadas);
    QList<double> porSituacao;
    for (resumo.First(); !resumo.Eof(); resumo.Next())
        porSituacao << resumo.FieldByName(QStringLiteral("NRREVISADAS"))->AsFloat();
    EXPECT_EQ(porSituacao, (QList<double>{2, 1, 0})) << "T, D, N in the summary's order";
}
