#pragma once
// The statistics dialog's arithmetic, without a window: how many characters of
// a text count, which grid row a status goes to, and the cost cells. A cost
// cell holds its running sum as text in the general float format (15
// significant digits, the user's decimal separator), and every row adds to the
// number that text reads back as; so each intermediate sum is rounded to what
// the cell shows before the next row is added.
#include <QChar>
#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>

namespace trd::info {

// The 43 characters a text's counted length leaves out: the ten digits, the
// blank and the punctuation a translator is not paid for.
inline constexpr std::array<char16_t, 43> CaracteresIgnorados = {
    u'0', u'1', u'2', u'3', u'4', u'5', u'6', u'7', u'8', u'9', u'~', u'!',  u'@', u'#', u'$',
    u'%', u'^', u'&', u'*', u'(', u')', u'-', u'_', u'+', u'=', u'|', u'\\', u'{', u'}', u'[',
    u']', u':', u';', u'"', u'<', u',', u'>', u'.', u'?', u'/', u'`', u' ',  u'\''};

// The length of text, in Windows-1252 characters (one byte each), once every
// ignored character is removed. Letters, accented ones included, tabs, line
// breaks and everything else count; a character outside the code page counts
// as the one byte it would take.
int TamanhoContado(QStringView texto);

// Grid rows of the result: 1 "Traduzido" (T), 2 "Não Traduzido" (N),
// 3 "Com Dúvida" (D), 4 "Revisado", 5 "Total".
inline constexpr int LinhaTraduzido = 1;
inline constexpr int LinhaNaoTraduzido = 2;
inline constexpr int LinhaDuvida = 3;
inline constexpr int LinhaRevisado = 4;
inline constexpr int LinhaTotal = 5;
// The grid row of a status, or 0 for a value that is none of "T", "N", "D"
// (such a row adds to the total only).
int LinhaDaSituacao(QStringView situacao);

// The number a cost cell's text reads back as, for a sum v before it is
// written: v rounded to 15 significant digits and read again in extended
// precision. Equal to reading ExtendedToStrGeneral(v) back with TryStrToExtended,
// without building the text.
long double ArredondaComoTexto(long double v);

// One step of a cost cell as the dialog describes it: the cell's text read as
// a number, plus price times length (the product taken first, in extended
// precision), written again in the general format. Throws Exception when
// the text is no number.
QString SomaCusto(const QString& textoCelula, double preco, std::int64_t tamanho, QChar separador);

// The running columns 2 and 3 of a calculation: characters and cost of grid
// rows 1 to 3 and of the total, each cost kept as exactly the number its
// cell's text reads back as, so the texts can be written whenever the screen
// is painted and at the end, with the same result as writing them every row.
class ApuracaoCusto {
public:
    explicit ApuracaoCusto(double preco) : m_preco(preco) { }

    // A row of the answer: its status and its destination text's counted length.
    void Soma(QStringView situacao, std::int64_t tamanho);

    // Grid rows 1 to 3 and 5; any other row holds 0.
    std::int64_t Caracteres(int linha) const;
    long double Custo(int linha) const;
    QString TextoCaracteres(int linha) const;
    QString TextoCusto(int linha, QChar separador) const;

private:
    static int indice(int linha); // -1 for a row without running sums
    void soma(std::size_t i, std::int64_t tamanho, long double parcela);

    double m_preco;
    // Index 0 is the total, 1 to 3 the statuses.
    std::array<std::int64_t, 4> m_caracteres{};
    std::array<long double, 4> m_custos{};
};

} // namespace trd::info
