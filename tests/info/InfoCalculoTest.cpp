// The statistics dialog's arithmetic without a window: the counted length of
// a text, and cost cells whose every intermediate sum is rounded through the
// cell's text before the next row is added.
#include "Exceptions.h"
#include "FloatFormat.h"
#include "InfoCalculo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace trd;
using namespace trd::info;

namespace {

const QChar virgula(u',');

// The rounding a cost cell applies, done literally: write the text, read it back.
long double pelaCelula(long double v)
{
    long double lido = 0;
    EXPECT_TRUE(TryStrToExtended(ExtendedToStrGeneral(v, virgula), virgula, lido));
    return lido;
}

} // namespace

TEST(TamanhoContado, DigitsBlanksAndPunctuationDoNotCount)
{
    EXPECT_EQ(TamanhoContado(u"12 - ABC!"), 3);
    EXPECT_EQ(TamanhoContado(u""), 0);
    // Every one of the 43 left out, each alone and all together.
    QString todos;
    for (char16_t c : CaracteresIgnorados) {
        EXPECT_EQ(TamanhoContado(QString(QChar(c))), 0) << char(c);
        todos += QChar(c);
    }
    EXPECT_EQ(TamanhoContado(todos), 0);
    EXPECT_EQ(CaracteresIgnorados.size(), 43u);
    // Letters, accented ones, tabs, line breaks and other symbols all count,
    // one byte of the code page each.
    EXPECT_EQ(TamanhoContado(u"Ação"), 4);
    EXPECT_EQ(TamanhoContado(u"a\tb\r\nc"), 6);
    EXPECT_EQ(TamanhoContado(u"€£§°ªº«»"), 8);
    EXPECT_EQ(TamanhoContado(u"Salvar o arquivo \"dados.txt\" (2 vezes)?"), 27);
    // A character beyond the 16-bit range is one character, not two halves.
    EXPECT_EQ(TamanhoContado(QString::fromUtf8("a\xF0\x9F\x98\x80"
                                               "b")),
              3);
}

TEST(LinhaDaSituacao, OnlyTheThreeStatusesHaveARow)
{
    EXPECT_EQ(LinhaDaSituacao(u"T"), 1);
    EXPECT_EQ(LinhaDaSituacao(u"N"), 2);
    EXPECT_EQ(LinhaDaSituacao(u"D"), 3);
    for (const char16_t* outra : {u"", u"t", u"X", u"R", u"TT", u" "})
        EXPECT_EQ(LinhaDaSituacao(outra), 0);
}

TEST(Custo, TwoTranslatedRowsAtHalfACentEach)
{
    // The text route, one row at a time: 1,5 after the first row, 4 after both.
    const QString primeira = SomaCusto(QStringLiteral("0"), 0.5, 3, virgula);
    EXPECT_EQ(primeira, QStringLiteral("1,5"));
    EXPECT_EQ(SomaCusto(primeira, 0.5, 5, virgula), QStringLiteral("4"));
    EXPECT_EQ(SomaCusto(QStringLiteral("0"), 0.5, 3, QChar(u'.')), QStringLiteral("1.5"));

    ApuracaoCusto a(0.5);
    a.Soma(u"T", 3);
    EXPECT_EQ(a.TextoCusto(LinhaTraduzido, virgula), QStringLiteral("1,5"));
    EXPECT_EQ(a.TextoCusto(LinhaTotal, virgula), QStringLiteral("1,5"));
    a.Soma(u"T", 5);
    EXPECT_EQ(a.TextoCaracteres(LinhaTraduzido), QStringLiteral("8"));
    EXPECT_EQ(a.TextoCusto(LinhaTraduzido, virgula), QStringLiteral("4"));
    EXPECT_EQ(a.TextoCaracteres(LinhaTotal), QStringLiteral("8"));
    EXPECT_EQ(a.TextoCusto(LinhaTotal, virgula), QStringLiteral("4"));
    for (int linha : {LinhaNaoTraduzido, LinhaDuvida, LinhaRevisado}) {
        EXPECT_EQ(a.TextoCaracteres(linha), QStringLiteral("0"));
        EXPECT_EQ(a.TextoCusto(linha, virgula), QStringLiteral("0"));
    }
}

TEST(Custo, ScientificBelowOneHundredThousandthAndReadBack)
{
    EXPECT_EQ(SomaCusto(QStringLiteral("0"), 0.0000001, 1, virgula), QStringLiteral("1E-7"));
    EXPECT_EQ(SomaCusto(QStringLiteral("1E-7"), 0.0000001, 1, virgula), QStringLiteral("2E-7"));
    EXPECT_EQ(SomaCusto(QStringLiteral("9E-6"), 0.0000001, 10, virgula), QStringLiteral("0,00001"));

    ApuracaoCusto a(0.0000001);
    a.Soma(u"N", 1);
    EXPECT_EQ(a.TextoCusto(LinhaNaoTraduzido, virgula), QStringLiteral("1E-7"));
    EXPECT_EQ(a.TextoCusto(LinhaTotal, virgula), QStringLiteral("1E-7"));
    a.Soma(u"N", 1);
    EXPECT_EQ(a.TextoCusto(LinhaNaoTraduzido, virgula), QStringLiteral("2E-7"));
    EXPECT_THROW(SomaCusto(QStringLiteral("1.5"), 1, 1, virgula), Exception); // not this user's separator
}

TEST(Custo, AStatusOutsideTheThreeAddsToTheTotalOnly)
{
    ApuracaoCusto a(2);
    a.Soma(u"T", 1);
    a.Soma(u"R", 10);
    a.Soma(u"", 100);
    EXPECT_EQ(a.Caracteres(LinhaTraduzido), 1);
    EXPECT_EQ(a.Caracteres(LinhaNaoTraduzido) + a.Caracteres(LinhaDuvida), 0);
    EXPECT_EQ(a.Caracteres(LinhaTotal), 111);
    EXPECT_EQ(a.TextoCusto(LinhaTraduzido, virgula), QStringLiteral("2"));
    EXPECT_EQ(a.TextoCusto(LinhaTotal, virgula), QStringLiteral("222"));
}

TEST(Custo, EachSumIsRoundedToWhatTheCellShowsBeforeTheNextRow)
{
    // At 10^15 a sixteenth digit does not fit the cell: every further
    // character is lost in the text, while the characters cell, a whole
    // number, goes on counting.
    ApuracaoCusto a(1);
    a.Soma(u"D", 1'000'000'000'000'000);
    QString texto = QStringLiteral("0");
    texto = SomaCusto(texto, 1, 1'000'000'000'000'000, virgula);
    for (int i = 0; i < 10; ++i) {
        a.Soma(u"D", 1);
        texto = SomaCusto(texto, 1, 1, virgula);
    }
    EXPECT_EQ(texto, QStringLiteral("1E15"));
    EXPECT_EQ(a.TextoCusto(LinhaDuvida, virgula), QStringLiteral("1E15"));
    EXPECT_EQ(a.TextoCaracteres(LinhaDuvida), QStringLiteral("1000000000000010"));
    // Summed directly, the same rows would show 1,00000000000001E15.
    EXPECT_EQ(ExtendedToStrGeneral(1e15L + 10, virgula), QStringLiteral("1,00000000000001E15"));

    // A price with seven decimals times long texts: the running sum keeps
    // fifteen digits, so 123456789 + 0.0000001 stays 123456789.
    ApuracaoCusto b(0.0000001);
    b.Soma(u"T", 1'234'567'890'000'000);
    EXPECT_EQ(b.TextoCusto(LinhaTraduzido, virgula), QStringLiteral("123456789"));
    b.Soma(u"T", 1);
    EXPECT_EQ(b.TextoCusto(LinhaTraduzido, virgula), QStringLiteral("123456789"));
}

TEST(Custo, TheRunningSumsAgreeWithTheCellTextRowByRow)
{
    // The dialog keeps its sums as numbers and writes the texts when it paints;
    // that must give the same texts as writing and reading the cells every row.
    std::mt19937_64 gerador(20260101);
    const double precos[] = {0.5, 0.0000001, 0.0123457, 0.3333333, 1.1, 99999.9999999, 7, 0.0000003};
    const char16_t* situacoes[] = {u"T", u"N", u"D", u"X"};
    for (double preco : precos) {
        ApuracaoCusto a(preco);
        QString celulas[4] = {QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")};
        std::uniform_int_distribution<int> tamanho(0, 250);
        for (int i = 0; i < 20000; ++i) {
            const int s = static_cast<int>(gerador() % 4);
            const int l = tamanho(gerador);
            a.Soma(situacoes[s], l);
            if (s < 3)
                celulas[s] = SomaCusto(celulas[s], preco, l, virgula);
            celulas[3] = SomaCusto(celulas[3], preco, l, virgula);
        }
        EXPECT_EQ(a.TextoCusto(LinhaTraduzido, virgula), celulas[0]) << preco;
        EXPECT_EQ(a.TextoCusto(LinhaNaoTraduzido, virgula), celulas[1]) << preco;
        EXPECT_EQ(a.TextoCusto(LinhaDuvida, virgula), celulas[2]) << preco;
        EXPECT_EQ(a.TextoCusto(LinhaTotal, virgula), celulas[3]) << preco;
    }
}

TEST(ArredondaComoTexto, EqualsWritingAndReadingTheText)
{
    // Across magnitudes, on values with long expansions, and on exact ties at
    // the sixteenth digit, where scaling alone could round the wrong way.
    std::mt19937_64 gerador(7);
    std::uniform_real_distribution<double> mantissa(1.0, 10.0);
    for (int e = -20; e <= 45; ++e) {
        for (int i = 0; i < 300; ++i) {
            const long double v = static_cast<long double>(mantissa(gerador)) * std::pow(10.0L, e) / 3.0L;
            ASSERT_EQ(ArredondaComoTexto(v), pelaCelula(v)) << static_cast<double>(v);
            ASSERT_EQ(ArredondaComoTexto(-v), pelaCelula(-v)) << static_cast<double>(v);
        }
    }
    for (long double v : {100000000000000.5L, 100000000000001.5L, 0.1000000000000005L, 1e15L + 1, 1e15L + 5,
                          999999999999999.5L, 9999999999999995.0L, 0.5L, 1e-7L, 1e-300L, 1e300L, 0.0L}) {
        EXPECT_EQ(ArredondaComoTexto(v), pelaCelula(v)) << static_cast<double>(v);
    }
    EXPECT_TRUE(std::isnan(ArredondaComoTexto(std::nanl(""))));
}
