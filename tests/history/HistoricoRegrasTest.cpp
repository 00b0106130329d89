// What the history's screens say, without a window: the panel's line of the
// last change, a batch's state, an undo's outcome in words, the offer, and
// when a version can be put back.
#include "HistoricoRegras.h"

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::historico;

TEST(HistoricoRegras, TheLastChangeNamesWhoWhenAndHow)
{
    Versao v;
    v.usuario = QStringLiteral("ana");
    v.data = EncodeDate(2026, 12, 7) + (10 * 60 + 40) / 1440.0;
    v.tipoLote = QStringLiteral("substituicao");
    EXPECT_EQ(UltimaAlteracao(v), QStringLiteral("Última alteração: ana em 07/12/2026 10:40 (Substituição)"));
    EXPECT_EQ(UltimaAlteracao(std::nullopt), QStringLiteral("Sem alterações registradas"));
    EXPECT_EQ(NomeDoTipo(QStringLiteral("desfazer")), QStringLiteral("Desfazimento"));
    EXPECT_EQ(NomeDoTipo(QStringLiteral("liberacao")), QStringLiteral("Liberação"));
    EXPECT_EQ(NomeDoTipo(QStringLiteral("outro")), QStringLiteral("outro"));
}

TEST(HistoricoRegras, AnUndosOutcomeAndABatchsStateInWords)
{
    Desfazimento d;
    d.linhas = {{}, {}, {}};
    d.linhas[0].desfeita = d.linhas[1].desfeita = true;
    EXPECT_EQ(ResumoDesfazimento(d),
              QStringLiteral("2 linhas voltaram ao que eram antes do lote; 1 linha alterada depois foi mantida."));
    d.linhas = {d.linhas[2], d.linhas[2], d.linhas[0]};
    EXPECT_EQ(ResumoDesfazimento(d),
              QStringLiteral("1 linha voltou ao que era antes do lote; 2 linhas alteradas depois foram mantidas."));
    EXPECT_EQ(TextoDaOferta(1, true), QStringLiteral("Substituição em 1 linha."));
    EXPECT_EQ(TextoDaOferta(7, false), QStringLiteral("Substituição interrompida: 7 linhas."));

    Lote l;
    l.desfaz = 12;
    EXPECT_EQ(SituacaoDoLote(l), QStringLiteral("desfaz o lote 12"));
    l.desfeitoPor = 15; // an undo undone in turn: its own undo is what counts
    EXPECT_EQ(SituacaoDoLote(l), QStringLiteral("desfeito pelo lote 15"));
}

TEST(HistoricoRegras, AVersionCanBePutBackOnlyWhenItLeftARowThatDiffersFromTheCurrentOne)
{
    Versao v;
    v.alteracao = QStringLiteral("A");
    v.textoDepois = QStringLiteral("Open");
    v.situacaoDepois = QStringLiteral("T");
    EXPECT_FALSE(PodeRestaurar(v, QStringLiteral("Open"), QStringLiteral("T")));
    EXPECT_TRUE(PodeRestaurar(v, QStringLiteral("Open"), QStringLiteral("D")));
    EXPECT_TRUE(PodeRestaurar(v, QStringLiteral("open"), QStringLiteral("T")));
    v.alteracao = QStringLiteral("E"); // a delete left no row to put back
    EXPECT_FALSE(PodeRestaurar(v, QStringLiteral("x"), QStringLiteral("T")));
}
