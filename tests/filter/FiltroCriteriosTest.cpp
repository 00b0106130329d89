// The criteria filter's values without the dialog: statuses, match kind and
// the exact fragment text for every combination of its pieces.
#include "FiltroCriterios.h"

#include <gtest/gtest.h>

using namespace trd;

namespace {

EscolhasCriterios nenhumTexto()
{
    return EscolhasCriterios{};
}

} // namespace

struct PecaPalavra {
    TipoPalavra tipo;
    bool destino;
    const char* esperado;
};

class FragmentoPalavraTest : public ::testing::TestWithParam<PecaPalavra> { };

TEST_P(FragmentoPalavraTest, WordPieceForEachKindAndColumn)
{
    const PecaPalavra& c = GetParam();
    EscolhasCriterios e = nenhumTexto();
    e.palavra = QStringLiteral("SALVAR");
    e.tipo = c.tipo;
    e.textoDestino = c.destino;
    EXPECT_EQ(fragmentoFiltro(e), QString::fromUtf8(c.esperado));
}

INSTANTIATE_TEST_SUITE_P(
    CadaTipo, FragmentoPalavraTest,
    ::testing::Values(PecaPalavra{TipoPalavra::Identico, false, "AND UPPER(STAGRVALPROP) = 'SALVAR'"},
                      PecaPalavra{TipoPalavra::Prefixo, false, "AND UPPER(STAGRVALPROP) LIKE 'SALVAR%'"},
                      PecaPalavra{TipoPalavra::Parte, false, "AND UPPER(STAGRVALPROP) LIKE '%SALVAR%'"},
                      PecaPalavra{TipoPalavra::Identico, true, "AND UPPER(STVALORPROP) = 'SALVAR'"},
                      PecaPalavra{TipoPalavra::Prefixo, true, "AND UPPER(STVALORPROP) LIKE 'SALVAR%'"},
                      PecaPalavra{TipoPalavra::Parte, true, "AND UPPER(STVALORPROP) LIKE '%SALVAR%'"}));

TEST(FragmentoFiltroTest, ProgramAndComponentPiecesStartWithOneBlank)
{
    EscolhasCriterios e = nenhumTexto();
    e.programa = QStringLiteral("TRD093");
    EXPECT_EQ(fragmentoFiltro(e), QStringLiteral(" AND CDPROGTRAD LIKE '%TRD093%'"));
    e.programaIdentico = true;
    EXPECT_EQ(fragmentoFiltro(e), QStringLiteral(" AND CDPROGTRAD = 'TRD093'"));

    EscolhasCriterios c = nenhumTexto();
    c.componente = QStringLiteral("LBLNOME");
    // No wildcard of its own: the name matches whole unless typed with one.
    EXPECT_EQ(fragmentoFiltro(c), QStringLiteral(" AND UPPER(NMCOMPONENTE) LIKE 'LBLNOME'"));
    c.componente = QStringLiteral("LBL%");
    EXPECT_EQ(fragmentoFiltro(c), QStringLiteral(" AND UPPER(NMCOMPONENTE) LIKE 'LBL%'"));
}

TEST(FragmentoFiltroTest, PiecesChainWordProgramComponentWithNothingBetween)
{
    EscolhasCriterios e = nenhumTexto();
    e.palavra = QStringLiteral("W");
    e.textoDestino = true;
    e.tipo = TipoPalavra::Parte;
    e.programa = QStringLiteral("P");
    e.componente = QStringLiteral("N");
    EXPECT_EQ(fragmentoFiltro(e),
              QStringLiteral("AND UPPER(STVALORPROP) LIKE '%W%' AND CDPROGTRAD LIKE '%P%' "
                             "AND UPPER(NMCOMPONENTE) LIKE 'N'"));

    // Every subset of the three texts, in the same order.
    for (int mask = 0; mask < 8; ++mask) {
        EscolhasCriterios s = nenhumTexto();
        s.tipo = TipoPalavra::Prefixo;
        s.programaIdentico = true;
        QString esperado;
        if (mask & 1) {
            s.palavra = QStringLiteral("AB");
            esperado += QStringLiteral("AND UPPER(STAGRVALPROP) LIKE 'AB%'");
        }
        if (mask & 2) {
            s.programa = QStringLiteral("TRD1");
            esperado += QStringLiteral(" AND CDPROGTRAD = 'TRD1'");
        }
        if (mask & 4) {
            s.componente = QStringLiteral("BTN");
            esperado += QStringLiteral(" AND UPPER(NMCOMPONENTE) LIKE 'BTN'");
        }
        EXPECT_EQ(fragmentoFiltro(s), esperado) << "mask " << mask;
    }
}

TEST(FragmentoFiltroTest, EmptyOrBlankTextsGiveNoPiece)
{
    EscolhasCriterios e = nenhumTexto();
    e.tipo = TipoPalavra::Identico; // an exact match of nothing is still no piece
    EXPECT_EQ(fragmentoFiltro(e), QString());
    e.palavra = QStringLiteral("   ");
    e.programa = QStringLiteral(" ");
    e.componente = QStringLiteral("\t");
    EXPECT_EQ(fragmentoFiltro(e), QString());
    // A text with blanks around something keeps them: nothing is trimmed.
    e.palavra = QStringLiteral(" OK ");
    EXPECT_EQ(fragmentoFiltro(e), QStringLiteral("AND UPPER(STAGRVALPROP) = ' OK '"));
}

TEST(FragmentoFiltroTest, QuotesInEveryTextAreDoubled)
{
    EscolhasCriterios e = nenhumTexto();
    e.palavra = QStringLiteral("D'ÁGUA");
    e.programa = QStringLiteral("A'B");
    e.componente = QStringLiteral("'");
    EXPECT_EQ(fragmentoFiltro(e),
              QStringLiteral("AND UPPER(STAGRVALPROP) LIKE '%D''ÁGUA%' AND CDPROGTRAD LIKE '%A''B%' "
                             "AND UPPER(NMCOMPONENTE) LIKE ''''"));
    EXPECT_EQ(textoLiteral(QStringLiteral("''")), QStringLiteral("''''"));
    EXPECT_EQ(textoLiteral(QStringLiteral("SEM ASPAS")), QStringLiteral("SEM ASPAS"));
}

TEST(MontaFiltroCriteriosTest, StatusesKindAndTextsAsTyped)
{
    EscolhasCriterios e = nenhumTexto();
    e.traduzido = false;
    e.duvida = false;
    e.naoTraduzido = false;
    e.palavra = QStringLiteral("COPO D'ÁGUA");
    e.programa = QStringLiteral("TRD'1");
    e.tipo = TipoPalavra::Identico;
    FiltroCriterios f = montaFiltroCriterios(e);
    EXPECT_EQ(f.stTRAD, QStringLiteral("X"));
    EXPECT_EQ(f.stDUV, QStringLiteral("X"));
    EXPECT_EQ(f.stNTRAD, QStringLiteral("X"));
    EXPECT_EQ(f.stTipo, QStringLiteral("Identico"));
    // Stored as typed, so that the dialog shows them back as typed.
    EXPECT_EQ(f.stPalavra, QStringLiteral("COPO D'ÁGUA"));
    EXPECT_EQ(f.stPrograma, QStringLiteral("TRD'1"));
    EXPECT_EQ(f.stPARAMSQL, QStringLiteral("AND UPPER(STAGRVALPROP) = 'COPO D''ÁGUA' AND CDPROGTRAD LIKE '%TRD''1%'"));

    e.traduzido = true;
    e.naoTraduzido = true;
    e.tipo = TipoPalavra::Prefixo;
    f = montaFiltroCriterios(e);
    EXPECT_EQ(f.stTRAD + f.stDUV + f.stNTRAD, QStringLiteral("TXN"));
    EXPECT_EQ(f.stTipo, QStringLiteral("Prefixo"));
    e.duvida = true;
    e.traduzido = false;
    e.naoTraduzido = false;
    e.tipo = TipoPalavra::Parte;
    f = montaFiltroCriterios(e);
    EXPECT_EQ(f.stTRAD + f.stDUV + f.stNTRAD, QStringLiteral("XDX"));
    EXPECT_EQ(f.stTipo, QStringLiteral("Parte"));
}
