#include "InfoCalculo.h"

#include "Exceptions.h"
#include "FloatFormat.h"

#include <charconv>
#include <cmath>

namespace trd::info {

namespace {

// Which ASCII characters are left out of the count.
constexpr std::array<bool, 128> tabelaIgnorados()
{
    std::array<bool, 128> tabela{};
    for (char16_t c : CaracteresIgnorados)
        tabela[c] = true;
    return tabela;
}
constexpr std::array<bool, 128> Ignorado = tabelaIgnorados();

// 10^0 to 10^27: every one of them is exact in extended precision (5^27 < 2^64).
constexpr int MaiorPotencia = 27;
constexpr std::array<long double, MaiorPotencia + 1> potencias()
{
    std::array<long double, MaiorPotencia + 1> p{};
    long double v = 1;
    for (auto& x : p) {
        x = v;
        v *= 10;
    }
    return p;
}
constexpr std::array<long double, MaiorPotencia + 1> Potencia = potencias();

// The reference: the text of 15 significant digits, and the nearest extended
// value to it, as reading the cell's text gives.
long double arredondaPeloTexto(long double v)
{
    char buf[64];
    const auto escrito = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
    long double lido = 0;
    std::from_chars(buf, escrito.ptr, lido);
    return lido;
}

// a * 10^n, with one rounding when |n| <= MaiorPotencia.
long double escala(long double a, int n)
{
    return n >= 0 ? a * Potencia[static_cast<std::size_t>(n)] : a / Potencia[static_cast<std::size_t>(-n)];
}

} // namespace

int TamanhoContado(QStringView texto)
{
    int tamanho = 0;
    const qsizetype n = texto.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = texto[i].unicode();
        if (c < 128) {
            tamanho += Ignorado[c] ? 0 : 1;
            continue;
        }
        // A character beyond the 16-bit range is one character, not two.
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(texto[i + 1].unicode()))
            ++i;
        ++tamanho;
    }
    return tamanho;
}

int LinhaDaSituacao(QStringView situacao)
{
    if (situacao == u"T")
        return LinhaTraduzido;
    if (situacao == u"N")
        return LinhaNaoTraduzido;
    if (situacao == u"D")
        return LinhaDuvida;
    return 0;
}

long double ArredondaComoTexto(long double v)
{
    // Writing and reading the text costs about 0.4 microseconds; a calculation
    // does it twice for each of hundreds of thousands of rows. The digits are
    // found by scaling instead, which gives the same result except within a
    // hair of a rounding tie, left to the text.
    if (v == 0 || !std::isfinite(v))
        return v;
    const long double a = std::fabs(v);
    int e = static_cast<int>(std::floor(std::log10(a)));
    // The fifteen digits as a whole number m, 10^14 <= m < 10^15.
    long double m = 0;
    for (int tentativa = 0; tentativa < 3; ++tentativa) {
        if (14 - e > MaiorPotencia || e - 14 > MaiorPotencia)
            return arredondaPeloTexto(v);
        // One rounding of a * 10^(14 - e): it never crosses the exact bounds.
        m = escala(a, 14 - e);
        if (m >= Potencia[15])
            ++e;
        else if (m < Potencia[14])
            --e;
        else
            break;
    }
    if (m < Potencia[14] || m >= Potencia[15])
        return arredondaPeloTexto(v);
    const long double inteiro = std::floor(m);
    const long double fracao = m - inteiro;
    // m is off by at most half a unit of its last place (2^-15 below 10^15).
    if (std::fabs(fracao - 0.5L) < 0x1p-10L)
        return arredondaPeloTexto(v);
    const long double digitos = fracao > 0.5L ? inteiro + 1 : inteiro;
    // digits * 10^(e - 14), one correctly rounded operation on exact operands:
    // the nearest extended value to the decimal, as reading the text gives.
    const long double r = escala(digitos, e - 14);
    return v < 0 ? -r : r;
}

QString SomaCusto(const QString& textoCelula, double preco, std::int64_t tamanho, QChar separador)
{
    long double anterior = 0;
    if (!TryStrToExtended(textoCelula, separador, anterior))
        throw Exception(QStringLiteral("'%1' não é um valor numérico válido.").arg(textoCelula));
    const long double parcela = static_cast<long double>(preco) * static_cast<long double>(tamanho);
    return ExtendedToStrGeneral(anterior + parcela, separador);
}

void ApuracaoCusto::soma(std::size_t i, std::int64_t tamanho, long double parcela)
{
    m_caracteres[i] += tamanho;
    m_custos[i] = ArredondaComoTexto(m_custos[i] + parcela);
}

void ApuracaoCusto::Soma(QStringView situacao, std::int64_t tamanho)
{
    const long double parcela = static_cast<long double>(m_preco) * static_cast<long double>(tamanho);
    if (const int linha = LinhaDaSituacao(situacao))
        soma(static_cast<std::size_t>(linha), tamanho, parcela);
    soma(0, tamanho, parcela);
}

std::int64_t ApuracaoCusto::Caracteres(int linha) const
{
    const int i = indice(linha);
    return i < 0 ? 0 : m_caracteres[static_cast<std::size_t>(i)];
}

long double ApuracaoCusto::Custo(int linha) const
{
    const int i = indice(linha);
    return i < 0 ? 0 : m_custos[static_cast<std::size_t>(i)];
}

QString ApuracaoCusto::TextoCaracteres(int linha) const
{
    return QString::number(Caracteres(linha));
}

QString ApuracaoCusto::TextoCusto(int linha, QChar separador) const
{
    return ExtendedToStrGeneral(Custo(linha), separador);
}

int ApuracaoCusto::indice(int linha)
{
    if (linha == LinhaTotal)
        return 0;
    return linha >= LinhaTraduzido && linha <= LinhaDuvida ? linha : -1;
}

} // namespace trd::info
