// Each check on the texts that trap it: what it finds, what it must leave
// alone ("100%", "%%", "&&", addresses, "{" in prose, numbers written each
// language's way), the message naming what differs; then the shortcut
// conflicts of a screen and the choice of checks.
#include "RowChecks.h"
#include "ShortcutConflicts.h"

#include <gtest/gtest.h>

#include <set>

using namespace trd::quality;

namespace {

using C = CheckId;

struct Caso {
    const char16_t* origem;
    const char16_t* destino;
    std::set<CheckId> achados;
    const char16_t* trecho = u""; // part of the message of the first finding
    const char16_t* situacao = u"D";
};

std::string nomes(const Findings& f)
{
    std::string s;
    for (const Finding& x : f)
        s += checkInfo(x.check).code.toString().toStdString() + ": " + x.message.toStdString() + "\n";
    return s;
}

void confere(const Caso& c)
{
    const QString origem = QString::fromUtf16(c.origem);
    const QString destino = QString::fromUtf16(c.destino);
    SCOPED_TRACE(origem.toStdString() + "  ->  " + destino.toStdString());
    Findings achados;
    checkRow(origem, destino, QString::fromUtf16(c.situacao), RowOptions{}, achados);
    std::set<CheckId> ids;
    for (const Finding& f : achados) {
        ids.insert(f.check);
        EXPECT_EQ(f.severity, checkInfo(f.check).severity);
        EXPECT_FALSE(f.message.isEmpty());
    }
    EXPECT_EQ(ids, c.achados) << nomes(achados);
    const QString trecho = QString::fromUtf16(c.trecho);
    if (!trecho.isEmpty() && !achados.isEmpty()) {
        EXPECT_TRUE(achados.front().message.contains(trecho))
            << achados.front().message.toStdString() << "  lacks  " << trecho.toStdString();
    }
}

} // namespace

TEST(Marcadores, TheSamePlaceholdersInAnyOrderAndNoPercentOfProse)
{
    const Caso casos[] = {
        {u"Arquivo %s não encontrado.", u"File %s not found.", {}},
        {u"Arquivo %s não encontrado.",
         u"File not found.",
         {C::Marcadores},
         u"Falta na tradução o marcador \"%s\" da origem."},
        {u"%d de %d registros", u"%d of %d records", {}},
        {u"%d de %d registros", u"%d records", {C::Marcadores}, u"\"%d\""},
        {u"Total: %5.2f", u"Sum: %5.2f", {}},
        {u"Total: %5.2f",
         u"Sum: %5.1f",
         {C::Marcadores},
         u"Falta na tradução o marcador \"%5.2f\" da origem. Tem o marcador \"%5.1f\", que a origem não tem."},
        {u"%-10s|%s", u"%s|%-10s", {}},
        {u"%0:s alterado por %1:s", u"%1:s changed %0:s", {}},
        {u"%1$s e %2$s", u"%2$s and %1$s", {}},
        {u"%1 de %2", u"%2 of %1", {}},
        {u"%1 de %2", u"%1 of %3", {C::Marcadores}, u"\"%2\""},
        {u"Copiar %1 de %12", u"Copy %1 of %12", {}},
        {u"%L1 itens", u"%L1 items", {}},
        {u"{0} itens", u"{0} items", {}},
        {u"{0:N2} reais", u"{0:N2} dollars", {}},
        {u"{0:N2} reais", u"{0} dollars", {C::Marcadores}, u"\"{0:N2}\""},
        {u"{1,-10} e {0}", u"{0} and {1,-10}", {}},
        {u"Ganhou %s", u"You won", {C::Marcadores}},
        {u"Sem marcador", u"With %s", {C::Marcadores}, u"A tradução tem o marcador \"%s\", que a origem não tem."},
        // "100%" and "50% de" are a percent in prose, not "% d"; "%%" is a literal percent.
        {u"Concluído 100%", u"Done 100%", {}},
        {u"Concluído 100%", u"Done", {C::Numeros}},
        {u"50% de desconto", u"50% off", {}},
        {u"Taxa de %d%%", u"Rate of %d%%", {}},
        {u"Taxa de %d%%", u"Rate of %d", {}},
        {u"Só 100%% puro", u"Only 100%% pure", {}},
        {u"%%s não é marcador", u"%%s is no placeholder", {}},
        // "%%d" shows "%d"; written "%d" it asks for an argument the program does not pass.
        {u"Mostra %%d literal", u"Shows %d literally", {C::Marcadores}, u"A tradução tem o marcador \"%d\""},
        // In an address "%20" is an escape; a placeholder the program fills in still counts.
        {u"Veja http://x.com/a%20b?c=1&d=2", u"See http://x.com/a%20b?c=1&d=2", {}},
        {u"Abra http://servidor/%s/ajuda", u"Open http://servidor/ajuda", {C::Marcadores}, u"\"%s\""},
        // "{" in prose and named braces are no placeholders.
        {u"Use { para abrir um bloco", u"Use { to open a block", {}},
        {u"Use {nome} e {0}", u"Use {name} and {0}", {}},
        {u"Use {{0}} literal", u"Use {{0}} literally", {}},
    };
    for (const Caso& c : casos)
        confere(c);
}

TEST(Atalho, AMarkExactlyWhenTheSourceHasOneAtMostOneOnALetterOrDigit)
{
    const Caso casos[] = {
        {u"&Salvar", u"&Save", {}},
        {u"Sa&lvar", u"&Save", {}},
        {u"&1 Opção", u"&1 Option", {}},
        {u"&Salvar",
         u"Save",
         {C::Atalho},
         u"A origem marca a tecla de atalho \"S\" (&S); a tradução não marca nenhuma."},
        {u"Salvar", u"&Save", {C::Atalho}, u"A tradução marca a tecla de atalho \"S\" (&S), que a origem não marca."},
        {u"&Salvar", u"&Sa&ve", {C::Atalho}, u"A tradução marca 2 teclas de atalho (&S, &v); só uma pode valer."},
        // "&&" draws one "&"; a lone "&" before a blank marks nothing.
        {u"Preço && prazo", u"Price && term", {}},
        {u"&Preço && prazo", u"&Price && term", {}},
        {u"Preço && prazo",
         u"Price & term",
         {C::Atalho},
         u"O \"&\" em \"& \" não marca letra nem dígito; para mostrar \"&\" escreva \"&&\"."},
        {u"&Sair", u"Exit &", {C::Atalho}},
        {u"Salvar & Sair", u"Save & Exit", {}},
        // Addresses and entities carry "&" that marks nothing.
        {u"Abra http://a.com/?x=1&y=2", u"Open http://a.com/?x=1&y=2", {}},
        {u"&Abrir http://a.com/?x=1&y=2", u"&Open http://a.com/?x=1&y=2", {}},
        {u"Termos &amp; condições", u"Terms &amp; conditions", {}},
        {u"Aspas &#34;", u"Quotes &#34;", {}},
        {u"Caf&eacute; &Sair", u"Caf&eacute; &Exit", {}},
        // A lower-case word after the mark and a semicolon is no entity.
        {u"Sair do &programa;", u"Exit the program;", {C::Atalho}, u"(&p)"},
    };
    for (const Caso& c : casos)
        confere(c);
}

TEST(Texto, LineBreaksSpacesPunctuationRepetitionsDelimitersNumbers)
{
    const Caso casos[] = {
        // Line breaks: as many, whichever way each is written.
        {u"Linha um\nLinha dois", u"Line one\r\nLine two", {}},
        {u"Linha um\nLinha dois",
         u"Line one\nLine two\n",
         {C::Quebras},
         u"A origem tem 1 quebra de linha; a tradução tem 2."},
        {u"Uma linha", u"One\nline", {C::Quebras, C::Tamanho}, u"A origem não tem quebra de linha; a tradução tem 1."},
        // Blanks at the ends, as in the source.
        {u"Nome: ", u"Name: ", {}},
        {u"Nome: ", u"Name:", {C::Espacos}, u"Espaços no fim: 1 na origem, 0 na tradução."},
        {u"  Nome", u"Name", {C::Espacos}, u"Espaços no início: 2 na origem, 0 na tradução."},
        // End punctuation kept; "..." and "…" are one mark; closing quotes and brackets do not hide it.
        {u"Deseja sair?", u"Exit now?", {}},
        {u"Deseja sair?", u"Exit now", {C::Pontuacao}, u"A origem termina com \"?\" e a tradução sem pontuação."},
        {u"Salvar", u"Save.", {C::Pontuacao}, u"A origem termina sem pontuação e a tradução com \".\"."},
        {u"Nome:", u"Name.", {C::Pontuacao}, u"A origem termina com \":\" e a tradução com \".\"."},
        {u"Abrir...", u"Open…", {}},
        {u"Clique em \"OK\".", u"Click \"OK\".", {}},
        {u"Valor (opcional).", u"Value (optional).", {}},
        {u"Nome :", u"Nom :", {}},
        // An entity's ";" ends a name, not a sentence: passed over, the mark before it counts.
        {u"Próximo &gt;", u"Next >", {}},
        {u"Digite &quot;sim.&quot;", u"Type \"yes.\"", {}},
        {u"Próximo &gt;", u"Next. &gt;", {C::Pontuacao}, u"A origem termina sem pontuação e a tradução com \".\"."},
        {u"Salvar; sair;", u"Save; exit", {C::Pontuacao}, u"A origem termina com \";\""},
        {u"Tom & Jerry;", u"Tom & Jerry", {C::Pontuacao}},
        // Doubled blanks and words the source does not have.
        {u"Salvar o arquivo", u"Save the the file", {C::Repeticoes}, u"Palavra repetida na tradução: \"the the\"."},
        {u"Salvar o arquivo", u"Save The the file", {C::Repeticoes}},
        {u"Salvar arquivo", u"Save  file", {C::Repeticoes}, u"A tradução tem espaços duplos que a origem não tem."},
        {u"Salvar  arquivo", u"Save  file", {}},
        {u"Ilha de Bora Bora", u"Île de Bora Bora", {}},
        {u"Salvar o arquivo", u"Save the\nthe file", {C::Quebras, C::Tamanho}},
        {u"Salvar o arquivo", u"Save the\u00A0the file", {C::Repeticoes}, u"\"the\u00A0the\""},
        // Blanks that line words up in columns: the same word on both sides is the layout.
        {u"--reverse              inverte a ordem", u"--reverse              reverse the order", {}},
        {u"-r\tinverte a ordem", u"-r reverse\treverse", {}},
        {u"--reverse  inverte", u"--reverse  reverse reverse", {C::Repeticoes}, u"\"reverse reverse\""},
        // Brackets and quotes balanced as in the source.
        {u"Valor (opcional)",
         u"Value (optional",
         {C::Delimitadores},
         u"Parênteses: a origem abre 1 e fecha 1; a tradução abre 1 e fecha 0."},
        {u"1) Primeiro", u"1) First", {}},
        {u"Lista [a]", u"List [a", {C::Delimitadores}, u"Colchetes"},
        {u"Use { e }", u"Use { and", {C::Delimitadores}, u"Chaves"},
        {u"Digite \"sim\"", u"Type «yes»", {}},
        {u"Digite \"sim\"", u"Type “yes”", {}},
        {u"Digite \"sim\"", u"Type \"yes", {C::Delimitadores}, u"Aspas: 2 na origem, 1 na tradução."},
        {u"Não use o apóstrofo", u"Don't use it", {}},
        // Numbers kept, whatever the separators; the digits of placeholders and addresses are theirs.
        {u"Em 3 dias", u"In 3 days", {}},
        {u"Em 3 dias",
         u"In 4 days",
         {C::Numeros},
         u"Falta na tradução o número \"3\" da origem. Tem o número \"4\", que a origem não tem."},
        {u"Total de 1.234,50", u"Total of 1,234.50", {}},
        {u"De 1 a 10", u"From 10 to 1", {}},
        {u"Versão %1", u"Version %1", {}},
        {u"Código {0:N2}", u"Code {0:N2}", {}},
        {u"Veja www.site2.com", u"See www.site2.com", {}},
        {u"Passo 2 de 3", u"Step 2", {C::Numeros}, u"\"3\""},
    };
    for (const Caso& c : casos)
        confere(c);
}

TEST(IgualOrigem, ATranslatedRowWithLettersThatIsStillItsSource)
{
    const Caso casos[] = {
        {u"Cliente", u"Cliente", {C::IgualOrigem}, u"Tradução igual à origem numa linha marcada como traduzida.", u"T"},
        {u"OK", u"OK", {C::IgualOrigem}, u"", u"T"},
        {u"Cliente", u"Cliente", {}, u"", u"D"},
        {u"Cliente", u"Cliente", {}, u"", u"N"},
        // Nothing but placeholders, numbers or an address: the same in every language.
        {u"%s", u"%s", {}, u"", u"T"},
        {u"{0} - {1}", u"{0} - {1}", {}, u"", u"T"},
        {u"100%", u"100%", {}, u"", u"T"},
        {u"http://exemplo.com", u"http://exemplo.com", {}, u"", u"T"},
    };
    for (const Caso& c : casos)
        confere(c);
}

TEST(Tamanho, TheSizeRuleOfTheListedRowsFile)
{
    confere({u"Senha", u"Mot de passe", {C::Tamanho}, u"Linha 1 com 12 caracteres; o máximo é 10 (origem com 5)."});
    confere({u"&Salvar", u"&Enregistrer", {}});
    RowOptions apertado;
    apertado.size.percent = 0;
    apertado.size.minExtra = 0;
    Findings achados;
    checkRow(u"Salvar", u"Guardar", u"D", apertado, achados);
    ASSERT_EQ(achados.size(), 1);
    EXPECT_EQ(achados[0].check, CheckId::Tamanho);
}

TEST(Linha, ABlankTranslationIsNotComparedAndEveryFindingHasTheCatalogSeverity)
{
    Findings achados;
    checkRow(u"Arquivo %s", u"", u"N", RowOptions{}, achados);
    checkRow(u"Arquivo %s", u"   ", u"T", RowOptions{}, achados);
    EXPECT_TRUE(achados.isEmpty());

    // One row with many faults: one finding per check, in the catalog's order.
    checkRow(u"&Salvar %s em 3 dias?", u"Save  in 4 days days (", u"T", RowOptions{}, achados);
    QList<CheckId> ordem;
    for (const Finding& f : achados)
        ordem << f.check;
    EXPECT_EQ(ordem,
              (QList<CheckId>{C::Marcadores, C::Atalho, C::Pontuacao, C::Repeticoes, C::Delimitadores, C::Numeros}));
    EXPECT_TRUE(hasErro(achados));
    EXPECT_EQ(checkInfo(C::Marcadores).severity, Severity::Erro);
    EXPECT_EQ(checkInfo(C::Atalho).severity, Severity::Erro);
    EXPECT_EQ(severityText(checkInfo(C::Pontuacao).severity), QStringLiteral("aviso"));

    Findings avisos;
    checkRow(u"Salvar", u"Save.", u"D", RowOptions{}, avisos);
    EXPECT_FALSE(hasErro(avisos));
    EXPECT_EQ(avisos.size(), 1);
}

TEST(Escolha, OnlyTheChosenChecksRunAndAnUnknownIdIsRefusedByName)
{
    QString erro;
    const auto escolha = CheckSet::parse(u"marcadores, ATALHO;numeros", &erro);
    ASSERT_TRUE(escolha) << erro.toStdString();
    EXPECT_TRUE(escolha->contains(C::Atalho));
    EXPECT_FALSE(escolha->contains(C::Pontuacao));

    RowOptions opcoes;
    opcoes.checks = *escolha;
    Findings achados;
    checkRow(u"&Salvar %s em 3 dias?", u"Save in 4 days", u"T", opcoes, achados);
    QList<CheckId> ordem;
    for (const Finding& f : achados)
        ordem << f.check;
    EXPECT_EQ(ordem, (QList<CheckId>{C::Marcadores, C::Atalho, C::Numeros}));

    EXPECT_FALSE(CheckSet::parse(u"marcadores,ortografia", &erro));
    EXPECT_TRUE(erro.contains(QStringLiteral("\"ortografia\""))) << erro.toStdString();
    EXPECT_TRUE(erro.contains(QStringLiteral("conflito-atalho")));
    EXPECT_FALSE(CheckSet::parse(u" , ", &erro));
    EXPECT_EQ(CheckSet::parse(u"marcadores,atalho,conflito-atalho,quebras,espacos,pontuacao,repeticoes,"
                              u"delimitadores,numeros,igual-origem,tamanho,termo-ausente,termo-proibido,"
                              u"termo-nao-traduzir",
                              nullptr),
              CheckSet::all());
}

TEST(ConflitoAtalho, TwoTextsOfOneScreenMarkingOneLetterWhereTheirSourcesDidNot)
{
    ShortcutIndex indice;
    struct L {
        int linha;
        const char16_t* programa;
        const char16_t* componente;
        const char16_t* origem;
        const char16_t* destino;
    };
    const L linhas[] = {
        {1, u"CAD001", u"btnSalvar", u"&Salvar", u"&Save"},
        {2, u"CAD001", u"btnSair", u"&Sair", u"&Exit"},
        {3, u"CAD001", u"btnSobre", u"&Sobre", u"&About"},
        {4, u"CAD001", u"btnEditar", u"&Editar", u"&Edit"}, // E against btnSair: a conflict
        {5, u"CAD002", u"btnExportar", u"&Exportar", u"&Export"}, // another screen
        {6, u"CAD001", u"mnuSalvar", u"&Salvar", u"&Save"}, // the sources already shared S
        {7, u"CAD001", u"btnArquivo", u"&Arquivo", u"&about"}, // a, case aside, against btnSobre
        {8, u"CAD001", u"lblAviso", u"Preço && prazo", u"Price && term"}, // no mark at all
        {9, u"CAD001", u"lblAjuda", u"Veja http://a.com/?x=1&e=2", u"See http://a.com/?x=1&e=2"},
    };
    for (const L& l : linhas)
        indice.set(l.linha, l.programa, l.componente, l.origem, l.destino);
    auto conflito = [&](int linha) {
        for (const L& l : linhas)
            if (l.linha == linha)
                return indice.conflictOf(l.linha, l.programa, l.origem, l.destino);
        return std::optional<Finding>();
    };
    for (int semConflito : {1, 5, 6, 8, 9})
        EXPECT_FALSE(conflito(semConflito)) << semConflito;
    const auto sair = conflito(2);
    ASSERT_TRUE(sair);
    EXPECT_EQ(sair->check, CheckId::ConflitoAtalho);
    EXPECT_EQ(sair->severity, Severity::Aviso);
    EXPECT_EQ(sair->message,
              QStringLiteral("A tecla de atalho \"E\" também é marcada em btnEditar (\"&Edit\") "
                             "desta tela; na origem não coincidiam."));
    ASSERT_TRUE(conflito(4));
    EXPECT_TRUE(conflito(4)->message.contains(QStringLiteral("btnSair")));
    ASSERT_TRUE(conflito(3));
    ASSERT_TRUE(conflito(7));

    // While the user types a new text for a row, against the others as they are.
    const auto digitado = indice.conflictOf(1, u"CAD001", u"&Salvar", u"E&xit or &Edit");
    EXPECT_FALSE(digitado); // marks x: nobody else does
    // Against btnEditar only: btnSair's source shares this row's S.
    const auto digitado2 = indice.conflictOf(1, u"CAD001", u"&Salvar", u"&Exit");
    ASSERT_TRUE(digitado2);
    EXPECT_TRUE(digitado2->message.contains(QStringLiteral("btnEditar (\"&Edit\") desta tela")))
        << digitado2->message.toStdString();
    // A source without a mark conflicts with no one: both count.
    const auto digitado3 = indice.conflictOf(8, u"CAD001", u"Preço && prazo", u"&Exit && term");
    ASSERT_TRUE(digitado3);
    EXPECT_TRUE(digitado3->message.contains(QStringLiteral("btnEditar (\"&Edit\") e em mais 1 texto desta tela")))
        << digitado3->message.toStdString();

    // A row saved with another text replaces what the index held for it.
    indice.set(4, u"CAD001", u"btnEditar", u"&Editar", u"&Modify");
    EXPECT_FALSE(conflito(2));
    indice.set(4, u"CAD001", u"btnEditar", u"&Editar", u"Modify");
    indice.set(2, u"CAD001", u"btnSair", u"&Sair", u"&Modify");
    EXPECT_FALSE(indice.conflictOf(2, u"CAD001", u"&Sair", u"&Modify"));
    indice.clear();
    EXPECT_TRUE(indice.isEmpty());
}
