// trd-check's choices on real screen texts: which translations are too long
// for the place of their source, line by line, with the default rule and with
// each option; which rows count as not translated; and its command line.
#include "CheckOptions.h"
#include "CheckRules.h"
#include "WebServer.h"

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::check;

namespace {

struct Caso {
    const char* origem;
    const char* destino;
    bool longo;
    int linha, encontrado, permitido;
};

void confere(const Caso& c, const SizeRule& regra)
{
    SCOPED_TRACE(std::string(c.origem) + " -> " + c.destino);
    const SizeFinding f = checkSize(QString::fromUtf8(c.origem), QString::fromUtf8(c.destino), regra);
    EXPECT_EQ(f.tooLong, c.longo);
    if (c.longo) {
        EXPECT_EQ(f.line, c.linha);
        EXPECT_EQ(f.found, c.encontrado);
        EXPECT_EQ(f.allowed, c.permitido);
    }
}

} // namespace

TEST(CheckRules, TheDefaultRuleListsTranslationsMuchLongerThanTheirSourceLineByLine)
{
    const Caso casos[] = {
        // A label of 17 may take 24; a 5-letter one gets the minimum of 5 more.
        {"Filtrar registros", "Filtrer les enregistrements", true, 1, 27, 24},
        {"Descrição do Item", "Description de l'article", false, 0, 0, 0},
        {"Senha", "Mot de passe", true, 1, 12, 10},
        {"Código", "Code", false, 0, 0, 0},
        {"Confirma a exclusão do registro?", "Confirmer la suppression de l'enregistrement ?", true, 1, 46, 45},
        // The shortcut's "&" is not drawn: 6 letters against 11.
        {"&Salvar", "&Enregistrer", false, 0, 0, 0},
        {"Cliente bloqueado pelo crédito && cobrança.", "Customer blocked by credit && collection.", false, 0, 0, 0},
        // As a whole the text is only 18% longer; its second line is 57% longer.
        {"Registro gravado com sucesso.\nDeseja incluir outro?",
         "Enregistrement sauvegardé.\nVoulez-vous en ajouter un autre ?", true, 2, 33, 30},
        {"Linha um\r\nDois", "Line one\r\nTwo and then some more", true, 2, 22, 9},
        // A line the source does not have has no place; a final line break takes none.
        {"Salvar", "Save\nnow", true, 2, 3, 0},
        {"Salvar", "Save\n", false, 0, 0, 0},
        {"Salvar", "", false, 0, 0, 0},
    };
    for (const Caso& c : casos)
        confere(c, SizeRule{});
    EXPECT_EQ(sizeMessage(checkSize(u"Senha", u"Mot de passe", SizeRule{})),
              QStringLiteral("Linha 1 com 12 caracteres; o máximo é 10 (origem com 5)."));
    EXPECT_EQ(sizeMessage(checkSize(u"Salvar", u"Save\nnow", SizeRule{})),
              QStringLiteral("Linha 2 com 3 caracteres, a mais que as linhas do texto de origem."));
}

TEST(CheckRules, EachOptionMovesTheLimit)
{
    SizeRule exata;
    exata.percent = 0;
    exata.minExtra = 0;
    confere({"Cliente", "Customer", true, 1, 8, 7}, exata);
    confere({"Cliente", "Cliente", false, 0, 0, 0}, exata);

    SizeRule folgada;
    folgada.percent = 100;
    confere({"Filtrar registros", "Filtrer les enregistrements", false, 0, 0, 0}, folgada);

    SizeRule teto;
    teto.maxLine = 10;
    confere({"Bloqueado para vendas", "Blocked for sales", true, 1, 17, 10}, teto);

    SizeRule comEComercial;
    comEComercial.countAmpersands = true;
    confere({"OK", "&Annuler", true, 1, 8, 7}, comEComercial);
    confere({"OK", "&Annuler", false, 0, 0, 0}, SizeRule{});
    EXPECT_EQ(shownLength(u"A && B", false), 5);
    EXPECT_EQ(shownLength(u"A && B", true), 6);
}

TEST(CheckRules, NotTranslatedIsTheStatusOrABlankTranslationOfAText)
{
    EXPECT_EQ(untranslatedReason(u"N", u"Salvar", u"Salvar"), QStringLiteral("Não traduzido."));
    EXPECT_EQ(untranslatedReason(u"N", u"Salvar", u"Save"), QStringLiteral("Não traduzido."));
    EXPECT_EQ(untranslatedReason(u"T", u"Salvar", u"  "), QStringLiteral("Tradução vazia."));
    EXPECT_EQ(untranslatedReason(u"D", u"Salvar", u""), QStringLiteral("Tradução vazia."));
    EXPECT_TRUE(untranslatedReason(u"T", u" ", u"").isEmpty());
    EXPECT_TRUE(untranslatedReason(u"D", u"Salvar", u"Save").isEmpty());
}

TEST(CheckOptions, ReadsTheLanguageKindsAndRuleAndRefusesWhatItCannotUse)
{
    const auto parse = [](QStringList args) {
        args.prepend(QStringLiteral("trd-check"));
        return parseCheckOptions(args);
    };
    const CheckOptions padrao = parse({QStringLiteral("eng")});
    EXPECT_TRUE(padrao.error.isEmpty()) << padrao.error.toStdString();
    EXPECT_EQ(padrao.language, QStringLiteral("eng"));
    EXPECT_TRUE(padrao.untranslated && padrao.tooLong);
    EXPECT_EQ(padrao.rule.percent, 40);
    EXPECT_EQ(padrao.rule.minExtra, 5);
    EXPECT_TRUE(padrao.output.isEmpty());

    const CheckOptions todas =
        parse({QStringLiteral("--language"), QStringLiteral("FRA"), QStringLiteral("--kinds"), QStringLiteral("e"),
               QStringLiteral("--percent"), QStringLiteral("25"), QStringLiteral("--min-extra"), QStringLiteral("2"),
               QStringLiteral("--max-line"), QStringLiteral("60"), QStringLiteral("--count-ampersands"),
               QStringLiteral("-o"), QStringLiteral("/tmp/x.cds"), QStringLiteral("--server"),
               QStringLiteral("10.0.0.7:9000"), QStringLiteral("-q")});
    ASSERT_TRUE(todas.error.isEmpty()) << todas.error.toStdString();
    EXPECT_EQ(todas.language, QStringLiteral("FRA"));
    EXPECT_FALSE(todas.untranslated);
    EXPECT_TRUE(todas.tooLong);
    EXPECT_EQ(todas.rule.percent, 25);
    EXPECT_EQ(todas.rule.minExtra, 2);
    EXPECT_EQ(todas.rule.maxLine, 60);
    EXPECT_TRUE(todas.rule.countAmpersands);
    EXPECT_TRUE(todas.quiet);
    EXPECT_EQ(todas.output, QStringLiteral("/tmp/x.cds"));
    EXPECT_EQ(WebURL, QStringLiteral("10.0.0.7"));
    EXPECT_EQ(WebPort, 9000);

    EXPECT_TRUE(padrao.others);
    EXPECT_EQ(padrao.checks, quality::CheckSet::all());
    const CheckOptions escolhidas = parse({QStringLiteral("ENG"), QStringLiteral("--kinds"), QStringLiteral("qe"),
                                           QStringLiteral("--checks"), QStringLiteral("marcadores,tamanho")});
    ASSERT_TRUE(escolhidas.error.isEmpty()) << escolhidas.error.toStdString();
    EXPECT_TRUE(escolhidas.others && escolhidas.tooLong && !escolhidas.untranslated);
    EXPECT_TRUE(escolhidas.checks.contains(quality::CheckId::Marcadores));
    EXPECT_TRUE(escolhidas.checks.contains(quality::CheckId::Tamanho));
    EXPECT_FALSE(escolhidas.checks.contains(quality::CheckId::Atalho));
    const CheckOptions desconhecida =
        parse({QStringLiteral("ENG"), QStringLiteral("--checks"), QStringLiteral("marcadores,gramatica")});
    EXPECT_TRUE(desconhecida.error.startsWith(QStringLiteral("Verificação desconhecida: \"gramatica\"")))
        << desconhecida.error.toStdString();

    const QStringList recusadas[] = {
        {},
        {QStringLiteral("ENG"), QStringLiteral("FRA")},
        {QStringLiteral("ENG"), QStringLiteral("--kinds"), QStringLiteral("NX")},
        {QStringLiteral("ENG"), QStringLiteral("--percent"), QStringLiteral("muito")},
        {QStringLiteral("ENG"), QStringLiteral("--min-extra"), QStringLiteral("-1")},
        {QStringLiteral("ENG"), QStringLiteral("--server"), QStringLiteral("host:porta")},
        {QStringLiteral("ENG"), QStringLiteral("--nada")},
    };
    for (const QStringList& args : recusadas)
        EXPECT_FALSE(parse(args).error.isEmpty()) << args.join(u' ').toStdString();
}
