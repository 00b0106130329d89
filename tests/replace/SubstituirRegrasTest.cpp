// The find/replace text rules without a window: shortcut marks, folding, the
// row test, the start-text stop, the replace step with its mark moving, and
// the end of replace-all's repetition in a row.
#include "SubstituirRegras.h"

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::substituir;

namespace {

const auto Identico = TipoBusca::Identico;
const auto Parte = TipoBusca::Parte;

// Replace-all's treatment of one row text, without the row set: every step
// the dialog makes, counted, so a repetition that does not end shows up as a
// count, not a hang.
struct Resultado {
    QString texto;
    int passos = 0;
};
Resultado substituiNaLinha(QString texto, const QString& busca, const QString& substituto, TipoBusca tipo,
                           bool ignoraCaixa)
{
    Resultado r{texto, 0};
    if (!LinhaConfere(busca, texto, tipo, ignoraCaixa))
        return r;
    qsizetype fim = 0;
    do {
        const Troca troca = TrocaTexto(r.texto, busca, substituto, fim);
        if (!troca.feita)
            break;
        r.texto = troca.texto;
        fim = troca.fimInsercao;
        if (++r.passos > 1000)
            break;
    } while (ContinuaNaLinha(r.texto, busca, substituto, tipo, ignoraCaixa, fim));
    return r;
}

} // namespace

TEST(SubstituirRegras, ShortcutMarksGoUnlessAnotherAmpersandFollows)
{
    EXPECT_EQ(RetiraAtalho("&Arquivo"), "Arquivo");
    EXPECT_EQ(RetiraAtalho("Sal&var"), "Salvar");
    EXPECT_EQ(RetiraAtalho("&&x"), "&x");
    EXPECT_EQ(RetiraAtalho("a && b"), "a & b");
    EXPECT_EQ(RetiraAtalho("&&&a"), "&&a");
    EXPECT_EQ(RetiraAtalho("x&"), "x&");
    EXPECT_EQ(RetiraAtalho("&&&&"), "&&&&");
    EXPECT_EQ(RetiraAtalho(""), "");
    qsizetype onde = 0;
    EXPECT_EQ(RetiraAtalho("S&al&var", 5, onde), "Salvar");
    EXPECT_EQ(onde, 3) << "position 5 ('v') has two marks before it";
    EXPECT_EQ(RetiraAtalho("ab", 2, onde), "ab");
    EXPECT_EQ(onde, 2);
}

TEST(SubstituirRegras, FoldingUpperCasesAToZAndTheTwentyFourAccentedLettersOnly)
{
    ASSERT_EQ(CARACTER_NAO_MAIUSC.size(), 24u);
    EXPECT_EQ(CARACTER_NAO_MAIUSC[0].minuscula, u'ã');
    EXPECT_EQ(CARACTER_NAO_MAIUSC[3].maiuscula, u'Ç');
    EXPECT_EQ(CARACTER_NAO_MAIUSC[23].minuscula, u'ù');
    QString todas;
    QString maiusculas;
    for (const ParCaracter& par : CARACTER_NAO_MAIUSC) {
        todas += QChar(par.minuscula);
        maiusculas += QChar(par.maiuscula);
    }
    EXPECT_EQ(UpperCaracterAcento(todas), maiusculas);
    EXPECT_EQ(Dobra(todas + "az"), maiusculas + "AZ");
    EXPECT_EQ(UpperCaracterAcento("abc"), "abc") << "plain letters are not its business";
    // Letters outside the table never change, nor does anything else.
    const QString nunca = QStringLiteral("ýÿåæøœšžßµ€1&-");
    EXPECT_EQ(Dobra(nunca), nunca);
    EXPECT_EQ(Dobra(QStringLiteral("ação")), QStringLiteral("AÇÃO"));
}

TEST(SubstituirRegras, RowTestIdenticoWantsTheStartParteAnyPlace)
{
    EXPECT_TRUE(LinhaConfere("Arq", "Arquivo", Identico, false));
    EXPECT_FALSE(LinhaConfere("Arq", "Abrir Arquivo", Identico, false));
    EXPECT_TRUE(LinhaConfere("Arq", "Abrir Arquivo", Parte, false));
    EXPECT_FALSE(LinhaConfere("Arq", "Abrir", Parte, false));
    // Marks go from the row text, never from the search text.
    EXPECT_TRUE(LinhaConfere("Arquivo", "&Arquivo", Identico, false));
    EXPECT_FALSE(LinhaConfere("&Arquivo", "&Arquivo", Identico, false));
    // Case: folded both sides when ignored, exact otherwise.
    EXPECT_TRUE(LinhaConfere(QStringLiteral("ação"), QStringLiteral("AÇÃO"), Identico, true));
    EXPECT_FALSE(LinhaConfere(QStringLiteral("ação"), QStringLiteral("AÇÃO"), Identico, false));
    EXPECT_FALSE(LinhaConfere(QStringLiteral("ý"), QStringLiteral("Ý"), Parte, true));
    EXPECT_TRUE(LinhaConfere("casa", "Casa casa", Parte, false));
    EXPECT_FALSE(LinhaConfere("", "anything", Parte, true)) << "an empty search text matches no row";
    EXPECT_FALSE(LinhaConfere("", "", Identico, false));
}

TEST(SubstituirRegras, FindStopsAtAStartTextEqualIgnoringOnlyAToZCase)
{
    EXPECT_TRUE(IgualAoInicio("", ""));
    EXPECT_TRUE(IgualAoInicio("Abrir", "aBRIR"));
    EXPECT_FALSE(IgualAoInicio(QStringLiteral("Ação"), QStringLiteral("AÇÃO"))) << "accented letters compare exactly";
    EXPECT_FALSE(IgualAoInicio("&Abrir", "Abrir")) << "raw texts, marks kept";
    EXPECT_FALSE(IgualAoInicio("Abrir ", "Abrir"));
}

// One replace step: the row's text, the search text, the replacement and the
// row's text afterwards.
struct CasoTroca {
    const char* linha;
    const char* busca;
    const char* substituto;
    const char* esperado;
};

// Each row of the table is a text a user could hold in a caption, with its
// '&' somewhere: a mark, a shown '&' ("&&", "& ", one at the end), before,
// inside and after the occurrence replaced. Only the occurrence changes; the
// row's mark moves to the replacement.
const CasoTroca kCasosTroca[] = {
    // The row's mark, wherever it is, moves to the replacement's first character.
    {"&Arquivo", "Arquivo", "File", "&File"},
    {"Sal&var como", "como", "as", "Salvar &as"},
    {"Sal&var como", "Salvar", "Gravar", "&Gravar como"},
    {"Salvar &como agora", "Salvar", "Gravar", "&Gravar como agora"},
    {"Salvar como &agora", "como", "as", "Salvar &as agora"},
    {"Salvar como", "como", "as", "Salvar as"},
    // A '&' before a blank or a line break, or at the end, is shown: it stays.
    {"Customer blocked by credit & collection.", "Customer", "Client", "Client blocked by credit & collection."},
    {"Client bloqué par crédit & recouvrement.", "crédit", "credit", "Client bloqué par credit & recouvrement."},
    {"& x", "x", "y", "& y"},
    {"x & y", "x", "z", "z & y"},
    {"x & y", "y", "z", "x & z"},
    {"x &", "x", "y", "y &"},
    {"a &\nb", "b", "c", "a &\nc"},
    {"a &\r\nb", "a", "c", "c &\r\nb"},
    {"x &\ty", "y", "z", "x &\tz"},
    // "&&" shows one '&' and stays "&&", before or after the occurrence.
    {"Save && exit", "exit", "quit", "Save && quit"},
    {"exit && save", "exit", "quit", "quit && save"},
    {"&&x", "x", "y", "&&y"},
    {"x&&", "x", "y", "y&&"},
    {"a && b", "b", "c", "a && c"},
    {"&&&a b", "b", "c", "&&a &c"},
    {"ab &&c &d", "ab", "X", "&X &&c d"},
    {"a && b &x", "x", "y", "a && b &y"},
    // The occurrence holds the '&': all of it goes, a "&&" whole.
    {"A && B", "A & B", "X", "X"},
    {"a&&b", "a&", "X", "Xb"},
    {"a&&b", "&b", "X", "aX"},
    {"&&&a", "&a", "X", "&X"},
    {"x &y z", "y", "w", "x &w z"},
    // A shown '&' that a blank used to follow is doubled rather than made a mark.
    {"a & b", " b", "c", "a &&c"},
    // A mark the replacement cannot carry stays where it was, or goes with
    // the occurrence it was in.
    {"&Abrir x", "x", " y", "&Abrir  y"},
    {"&Abrir arquivo", "arquivo", "&file", "Abrir &file"},
    {"&Abrir x", "Abrir", "", " x"},
    {"Abrir", "Fechar", "x", "Abrir"},
    // A caption keeps one mark: the row's moves or stays, any other goes;
    // shown '&'s ("&&", "& ") are text and stay.
    {"&Abrir e &Fechar", "Abrir", "Open", "&Open e Fechar"},
    {"&Abrir e &Fechar", "Fechar", "Close", "Abrir e &Close"},
    {"Sal&var e &sair", "e", "and", "Salvar &and sair"},
    {"&Abrir && &Fechar & S&air", "Abrir", "Open", "&Open && Fechar & Sair"},
    {"&&&Abrir &x", "Abrir", "Open", "&&&Open x"},
    {"&Abrir e &Fechar x", "x", " y", "&Abrir e Fechar  y"},
    {"&Abrir e &Fechar", "Abrir", "", " e Fechar"},
    {"&Abrir e &Fechar", "e", "&and", "Abrir &and Fechar"},
    // Mark letters an ampersand-less replacement takes: "R&D" marks the D.
    {"R&D department & co", "department", "dept", "RD &dept & co"},
    // Found ignoring case, whatever the row test did.
    {"Casa casa", "casa", "Lar", "Lar casa"},
};

TEST(SubstituirRegras, ReplaceStepChangesTheOccurrenceOnlyAndMovesTheRowsMark)
{
    for (const CasoTroca& c : kCasosTroca) {
        const QString linha = QString::fromUtf8(c.linha);
        const Troca troca = TrocaTexto(linha, QString::fromUtf8(c.busca), QString::fromUtf8(c.substituto));
        EXPECT_EQ(troca.texto, QString::fromUtf8(c.esperado))
            << "row '" << c.linha << "', '" << c.busca << "' -> '" << c.substituto << "'";
        EXPECT_EQ(troca.feita, linha != troca.texto || std::string(c.busca) == c.substituto) << c.linha;
    }
    EXPECT_EQ(TrocaTexto(QStringLiteral("AÇÃO e ação"), QStringLiteral("ação"), "x").texto, QStringLiteral("x e ação"));
    // Where the inserted text ends, in the text without marks: the mark put
    // in front of the replacement is not counted.
    const Troca marcada = TrocaTexto("Sal&var como agora", "como", "as");
    EXPECT_EQ(marcada.texto, "Salvar &as agora");
    EXPECT_EQ(marcada.fimInsercao, 9);
    EXPECT_EQ(TrocaTexto("aXa", "a", "b", 1).texto, "aXb") << "an occurrence before the start position is left";
    EXPECT_EQ(TrocaTexto("a & a", "a", "b", 1).texto, "a & b");
}

TEST(SubstituirRegras, ReplaceStepKeepsEveryShownAmpersandWhereverItStands)
{
    // A '&' at every position of a row, as "&&", as "& " and alone (a mark,
    // or shown when a blank follows or it ends the text). Replacing the word
    // keeps every other character; only a mark moves, to the replacement.
    const QString frase = QStringLiteral("Abrir arquivo agora");
    const QString busca = QStringLiteral("arquivo");
    int casos = 0;
    for (qsizetype i = 0; i <= frase.size(); ++i) {
        for (const QString& amp : {QStringLiteral("&&"), QStringLiteral("& "), QStringLiteral("&")}) {
            const QString linha = frase.left(i) + amp + frase.mid(i);
            if (!RetiraAtalho(linha).contains(busca))
                continue; // the '&' split the word: the row does not match
            const bool marca = amp == QStringLiteral("&") && i < frase.size() && frase[i] != u' ';
            QString esperado = marca ? linha.left(i) + linha.mid(i + 1) : linha;
            esperado.replace(esperado.indexOf(busca), busca.size(),
                             marca ? QStringLiteral("&file") : QStringLiteral("file"));
            EXPECT_EQ(TrocaTexto(linha, busca, QStringLiteral("file")).texto, esperado) << linha.toStdString();
            ++casos;
        }
    }
    EXPECT_EQ(casos, 3 * 20 - 2 * 6) << "every position but those inside the word for '&&' and '& '";
}

TEST(SubstituirRegras, ReplaceAllEndsEveryRowAndReplacesEachOldOccurrenceOnce)
{
    // Plain cases first: every occurrence, nothing else.
    EXPECT_EQ(substituiNaLinha("a a a", "a", "b", Parte, false).texto, "b b b");
    EXPECT_EQ(substituiNaLinha("Arq Arq", "Arq", "X", Identico, false).texto, "X Arq")
        << "Idêntico goes on only while what is left still begins with the search text";
    EXPECT_EQ(substituiNaLinha("ArqArq", "Arq", "X", Identico, false).texto, "XX");
    EXPECT_EQ(substituiNaLinha("Nada aqui", "Arq", "X", Parte, false).passos, 0);

    // The replacement holds the search text: as stated, the first occurrence
    // would be found inside the text just inserted, for ever.
    const Resultado contem = substituiNaLinha("a a", "a", "ba", Parte, false);
    EXPECT_EQ(contem.texto, "ba ba");
    EXPECT_EQ(contem.passos, 2);
    EXPECT_EQ(substituiNaLinha("file", "file", "file", Parte, true).texto, "file");
    EXPECT_EQ(substituiNaLinha("Casa", "casa", "casa casa", Parte, true).texto, "casa casa");

    // Deleting the replacement joins two pieces into the search text: the
    // stated re-test matches a row that holds no occurrence any more.
    const Resultado junta = substituiNaLinha("aXb ab", "ab", "X", Parte, false);
    EXPECT_EQ(junta.texto, "aXb X");
    EXPECT_EQ(junta.passos, 1);

    // Ignoring case, the re-test folds the row text too: every occurrence is
    // replaced, however it is written.
    EXPECT_EQ(substituiNaLinha("File FILE file", "file", "doc", Parte, true).texto, "doc doc doc");
    // Case kept: a row matches by its exact occurrence, and each step takes
    // the first place found ignoring case, so both go.
    EXPECT_EQ(substituiNaLinha("Casa casa", "casa", "Lar", Parte, false).texto, "Lar Lar");
    // An empty replacement deletes; the rest ends as well.
    EXPECT_EQ(substituiNaLinha("aaa", "a", "", Parte, false).texto, "");
    EXPECT_EQ(substituiNaLinha("abab", "ab", "", Parte, false).texto, "");
    EXPECT_EQ(substituiNaLinha("aabb", "ab", "", Parte, false).texto, "ab") << "the joined 'ab' was never in the row";
    // The first replacement leaves the row one mark, on its text; the next
    // ones move it on, so the run ends with it on the last replacement.
    EXPECT_EQ(substituiNaLinha("&Abrir e &Abrir tudo", "Abrir", "Open", Parte, false).texto, "Open e &Open tudo");
}
