// The editor's rules without a window: language items, promotion on post,
// the lamps per status, the enable table, refused texts, the lamp pictures.
#include "StatusLamps.h"
#include "TraducaoRegras.h"
#include "Win1252.h"

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::traducao;

TEST(ItemIdioma, CodeHyphenDescriptionAndBack)
{
    EXPECT_EQ(ItemIdioma("ENG", "English"), QStringLiteral("ENG-English"));
    EXPECT_EQ(ItemIdioma("POR", ""), QStringLiteral("POR-"));
    EXPECT_EQ(CodigoDoItem("POR-Portuguese"), QStringLiteral("POR"));
    EXPECT_EQ(DescricaoDoItem("POR-Portuguese"), QStringLiteral("Portuguese"));
    // A description may itself hold hyphens; only the fourth character separates.
    EXPECT_EQ(DescricaoDoItem("SRB-Serbo-Croatian"), QStringLiteral("Serbo-Croatian"));
    EXPECT_EQ(CodigoDoItem(""), QString());
    EXPECT_EQ(DescricaoDoItem("EN"), QString());
}

TEST(SituacaoAoGravar, PromotesOnlyAnUnchangedNOrDWhoseTextsDiffer)
{
    struct Case {
        const char *origem, *destino, *situacao, *anterior, *esperada;
    };
    const Case cases[] = {
        {"Save", "Salvar", "N", "N", "T"}, // typed a translation
        {"Save", "Salvar", "D", "D", "T"}, // a doubtful row edited again
        {"Save", "Salvar", "D", "N", "D"}, // the user just chose "Dúvida"
        {"Save", "Salvar", "N", "T", "N"}, // the user just chose "Não Traduzido"
        {"Save", "Save", "N", "N", "N"}, // texts equal: nothing to promote
        {"Save", "Save", "D", "D", "D"},    {"Save", "save", "N", "N", "T"}, // case counts
        {"Save", "Save ", "N", "N", "T"}, // blanks count
        {"Save", "Save", "T", "T", "T"}, // "T" never changes here
        {"Save", "Salvar", "T", "N", "T"},  {"Save", "Salvar", "Q", "Q", "Q"}, // no status: left alone
        {"Save", "", "N", "N", "N"}, // a blank translation is no translation
        {"Save", " \t\r\n", "D", "D", "D"}, {"Save", "", "T", "T", "T"},
        {"Save", "", "D", "N", "D"}, // the user's own choice stays
    };
    for (const Case& c : cases)
        EXPECT_EQ(SituacaoAoGravar(c.origem, c.destino, c.situacao, QString::fromLatin1(c.anterior)),
                  QString::fromLatin1(c.esperada))
            << c.origem << " / " << c.destino << " " << c.situacao << " (was " << c.anterior << ")";
    // A null before-edit value is no status the user kept.
    EXPECT_EQ(SituacaoAoGravar("a", "b", "N", QVariant()), QStringLiteral("N"));
}

TEST(LampadasAcesas, OneLampPerStatusAndNoneForOtherValues)
{
    EXPECT_EQ(LampadasAcesas("N"), (std::array<bool, 3>{true, false, false}));
    EXPECT_EQ(LampadasAcesas("D"), (std::array<bool, 3>{false, true, false}));
    EXPECT_EQ(LampadasAcesas("T"), (std::array<bool, 3>{false, false, true}));
    EXPECT_FALSE(LampadasAcesas("t").has_value());
    EXPECT_FALSE(LampadasAcesas("").has_value());
}

TEST(HabilitacaoPorEstado, FollowsTheStateOfTheRowSet)
{
    const Habilitacao browsing = HabilitacaoPorEstado(true, false);
    EXPECT_TRUE(browsing.excluir && browsing.situacoes && browsing.filtro && browsing.informacoes && browsing.substituir
                && browsing.imprimir);
    EXPECT_FALSE(browsing.incluirProcurar);

    const Habilitacao empty = HabilitacaoPorEstado(false, false);
    EXPECT_TRUE(empty.filtro);
    EXPECT_FALSE(empty.excluir || empty.situacoes || empty.informacoes || empty.substituir || empty.imprimir
                 || empty.incluirProcurar);

    const Habilitacao editing = HabilitacaoPorEstado(true, true);
    EXPECT_FALSE(editing.excluir || editing.situacoes || editing.filtro || editing.informacoes || editing.substituir
                 || editing.imprimir || editing.incluirProcurar);
}

TEST(TextoEmUmaLinha, MarksEveryKindOfLineBreakWithAMarkNoTextCanHold)
{
    const QString marca = QString(QChar(MarcaQuebraDeLinha));
    EXPECT_EQ(TextoEmUmaLinha(QStringLiteral("aplicação.\nVerifique")), "aplicação." + marca + "Verifique");
    EXPECT_EQ(TextoEmUmaLinha(QStringLiteral("a\r\nb\rc\n")), "a" + marca + "b" + marca + "c" + marca);
    EXPECT_EQ(TextoEmUmaLinha(QStringLiteral("uma linha")), QStringLiteral("uma linha"));
    // A typed "¶" is a character of the code page and stays as it is; the
    // mark is none, so it cannot come from a text.
    EXPECT_EQ(TextoEmUmaLinha(QStringLiteral("a¶b")), QStringLiteral("a¶b"));
    EXPECT_FALSE(win1252::isRepresentable(marca));
}

TEST(MensagemNaoGravado, SaysWhereTheTypedTextIsAndNeverCallsAnUnconfirmedSaveLost)
{
    const QString motivo = QStringLiteral("O registro foi alterado por outro usuário.");
    EXPECT_EQ(MensagemNaoGravado(motivo, false, false), motivo) << "a status change: the reason alone";
    const QString recusa = MensagemNaoGravado(motivo, true, true);
    EXPECT_TRUE(recusa.startsWith(motivo));
    EXPECT_TRUE(recusa.contains(QStringLiteral("O texto digitado não foi gravado e continua na célula")));
    EXPECT_TRUE(recusa.contains(QStringLiteral("painel abaixo da grade")));
    EXPECT_FALSE(MensagemNaoGravado(motivo, true, false).contains(QStringLiteral("painel")));

    const QString semResposta = QStringLiteral("O servidor de aplicação em x:1 não respondeu em 120 segundos.");
    for (bool digitado : {false, true}) {
        const QString incerta = MensagemGravacaoIncerta(semResposta, digitado, false);
        EXPECT_TRUE(incerta.startsWith(semResposta));
        EXPECT_TRUE(incerta.contains(QStringLiteral("Não se sabe se a alteração foi gravada")));
        EXPECT_FALSE(incerta.contains(QStringLiteral("não foi gravad")));
        EXPECT_EQ(incerta.contains(QStringLiteral("continua na célula")), digitado);
    }
}

TEST(DesfechoDaGravacaoFalha, ASaveStandsOnlyWhenTheServerHoldsWhatWasPostedAndAColleagueIsShownOnlyWithNews)
{
    const LinhaPostada postada{QStringLiteral("Save"), QStringLiteral("T")};
    const QString antes = QStringLiteral("Salvar");
    struct Caso {
        const char* porque;
        bool relida;
        LinhaPostada servidor;
        bool digitado;
        bool gravada, devolve, colega;
    };
    const Caso casos[] = {
        {"the server holds the post: it stands, though its answer was lost", true, postada, true, true, false, false},
        {"the text held but not the status: no stand",
         true,
         {QStringLiteral("Save"), QStringLiteral("D")},
         true,
         false,
         true,
         true},
        {"unchanged on the server: the typed text goes back, no colleague",
         true,
         {antes, QStringLiteral("D")},
         true,
         false,
         true,
         false},
        {"someone else's text: shown beside the cell",
         true,
         {QStringLiteral("Store"), QStringLiteral("T")},
         true,
         false,
         true,
         true},
        {"a status click: nothing typed goes back, nothing shown",
         true,
         {QStringLiteral("Store"), QStringLiteral("T")},
         false,
         false,
         false,
         false},
        {"not read again: unknown, the typed text goes back alone", false, {}, true, false, true, false},
    };
    for (const Caso& c : casos) {
        const DesfechoDaFalha d = DesfechoDaGravacaoFalha(c.relida, c.servidor, postada, antes, c.digitado);
        EXPECT_EQ(d.gravada, c.gravada) << c.porque;
        EXPECT_EQ(d.devolveTexto, c.devolve) << c.porque;
        EXPECT_EQ(d.mostraColega, c.colega) << c.porque;
    }
    EXPECT_TRUE(DesfechoDaGravacaoFalha(true, {}, {}, QString(), false).gravada) << "an empty row posted empty";
    EXPECT_FALSE(DesfechoDaGravacaoFalha(false, {}, {}, QString(), false).gravada) << "unread is never confirmed";

    const QString motivo = QStringLiteral("O registro foi alterado por outro usuário.");
    const DesfechoDaFalha comColega{false, true, true};
    EXPECT_EQ(MensagemDaFalha(motivo, false, comColega), MensagemNaoGravado(motivo, true, true));
    EXPECT_EQ(MensagemDaFalha(motivo, true, comColega), MensagemGravacaoIncerta(motivo, true, true));
    EXPECT_EQ(MensagemDaFalha(motivo, false, {}), motivo);
}

TEST(StatusLamps, GlyphPairsAndOliveIcons)
{
    using namespace trd::lamps;
    for (Lamp lamp : {Vermelha, Amarela, Verde}) {
        const QImage lit = LampGlyphs(lamp, true);
        const QImage dim = LampGlyphs(lamp, false);
        ASSERT_EQ(lit.size(), QSize(32, 16));
        ASSERT_EQ(dim.size(), QSize(32, 16));
        // The centre of the lamp: lit is brighter than dim, the disabled half is grey.
        const QColor litCentre = lit.pixelColor(8, 8), dimCentre = dim.pixelColor(8, 8);
        EXPECT_GT(litCentre.value(), dimCentre.value() + 40) << lamp;
        const QColor grey = lit.pixelColor(24, 8);
        EXPECT_LT(qAbs(grey.red() - grey.green()) + qAbs(grey.green() - grey.blue()), 30) << lamp;
        EXPECT_EQ(lit.pixelColor(0, 0).alpha(), 0) << "glyph backgrounds are transparent";

        const QImage icon = LampIcon(lamp);
        ASSERT_EQ(icon.size(), QSize(16, 16));
        EXPECT_EQ(icon.pixelColor(0, 0), Oliva());
        EXPECT_EQ(icon.pixelColor(15, 15), Oliva());
        EXPECT_NE(icon.pixelColor(8, 8), Oliva());
    }
    // Each status has its own hue.
    EXPECT_GT(LampIcon(Vermelha).pixelColor(9, 9).red(), 150);
    EXPECT_LT(LampIcon(Vermelha).pixelColor(9, 9).green(), 100);
    EXPECT_GT(LampIcon(Verde).pixelColor(9, 9).green(), 120);
    EXPECT_LT(LampIcon(Verde).pixelColor(9, 9).red(), 100);
    const QColor yellow = LampIcon(Amarela).pixelColor(9, 9);
    EXPECT_TRUE(yellow.red() > 150 && yellow.green() > 150 && yellow.blue() < 100);
}
