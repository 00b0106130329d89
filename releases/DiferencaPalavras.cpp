#include "DiferencaPalavras.h"

#include <vector>

namespace trd::liberacao {

namespace {

// Beyond this many cells the table of the comparison (two bytes a cell) would
// cost more than a detail panel is worth: the middle is marked whole.
constexpr qsizetype kMaximoDeCelulas = 2'000'000;

bool daPalavra(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('&') || c == QLatin1Char('_');
}

bool branco(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

void junta(QList<Trecho>& trechos, Trecho::Tipo tipo, const QString& texto)
{
    if (texto.isEmpty())
        return;
    if (!trechos.isEmpty() && trechos.last().tipo == tipo)
        trechos.last().texto += texto;
    else
        trechos.append({tipo, texto});
}

} // namespace

QStringList Pedacos(const QString& texto)
{
    QStringList pedacos;
    qsizetype i = 0;
    while (i < texto.size()) {
        qsizetype fim = i + 1;
        if (daPalavra(texto[i]))
            while (fim < texto.size() && daPalavra(texto[fim]))
                ++fim;
        else if (branco(texto[i]))
            while (fim < texto.size() && branco(texto[fim]))
                ++fim;
        pedacos.append(texto.mid(i, fim - i));
        i = fim;
    }
    return pedacos;
}

Diferenca DiferencaPalavras(const QString& antes, const QString& depois)
{
    const QStringList a = Pedacos(antes);
    const QStringList b = Pedacos(depois);
    Diferenca d;
    // The common start and end need no table.
    qsizetype inicio = 0;
    while (inicio < a.size() && inicio < b.size() && a[inicio] == b[inicio])
        ++inicio;
    qsizetype fimA = a.size(), fimB = b.size();
    while (fimA > inicio && fimB > inicio && a[fimA - 1] == b[fimB - 1]) {
        --fimA;
        --fimB;
    }
    QString comum;
    for (qsizetype i = 0; i < inicio; ++i)
        comum += a[i];
    junta(d.antes, Trecho::Tipo::Igual, comum);
    junta(d.depois, Trecho::Tipo::Igual, comum);

    const qsizetype n = fimA - inicio, m = fimB - inicio;
    if (n > 0 && m > 0 && (n + 1) * (m + 1) <= kMaximoDeCelulas) {
        // comuns[i][j]: the longest run shared by a[i..] and b[j..] (middle only).
        const qsizetype largura = m + 1;
        std::vector<quint16> comuns(static_cast<std::size_t>((n + 1) * largura), 0);
        auto em = [&](qsizetype i, qsizetype j) -> quint16& {
            return comuns[static_cast<std::size_t>(i * largura + j)];
        };
        for (qsizetype i = n - 1; i >= 0; --i)
            for (qsizetype j = m - 1; j >= 0; --j)
                em(i, j) = a[inicio + i] == b[inicio + j] ? static_cast<quint16>(em(i + 1, j + 1) + 1)
                                                          : std::max(em(i + 1, j), em(i, j + 1));
        qsizetype i = 0, j = 0;
        while (i < n || j < m) {
            if (i < n && j < m && a[inicio + i] == b[inicio + j]) {
                junta(d.antes, Trecho::Tipo::Igual, a[inicio + i++]);
                junta(d.depois, Trecho::Tipo::Igual, b[inicio + j++]);
            } else if (j == m || (i < n && em(i + 1, j) >= em(i, j + 1))) {
                junta(d.antes, Trecho::Tipo::Saiu, a[inicio + i++]);
            } else {
                junta(d.depois, Trecho::Tipo::Entrou, b[inicio + j++]);
            }
        }
    } else {
        for (qsizetype i = inicio; i < fimA; ++i)
            junta(d.antes, Trecho::Tipo::Saiu, a[i]);
        for (qsizetype j = inicio; j < fimB; ++j)
            junta(d.depois, Trecho::Tipo::Entrou, b[j]);
    }

    QString fim;
    for (qsizetype i = fimA; i < a.size(); ++i)
        fim += a[i];
    junta(d.antes, Trecho::Tipo::Igual, fim);
    junta(d.depois, Trecho::Tipo::Igual, fim);
    return d;
}

QString MarcadoEmHtml(const QList<Trecho>& trechos)
{
    // Blanks as typed: two spaces that became one are a change to see.
    QString html = QStringLiteral("<span style=\"white-space:pre-wrap\">");
    for (const Trecho& t : trechos) {
        QString texto = t.texto.toHtmlEscaped();
        texto.replace(QLatin1Char('\r'), QString());
        texto.replace(QLatin1Char('\n'), QStringLiteral("\u21B5"));
        switch (t.tipo) {
        case Trecho::Tipo::Igual:
            html += texto;
            break;
        case Trecho::Tipo::Saiu:
            html += QStringLiteral("<span style=\"background-color:#f7c6c6;text-decoration:line-through\">%1</span>")
                        .arg(texto);
            break;
        case Trecho::Tipo::Entrou:
            html += QStringLiteral("<span style=\"background-color:#c6efc6;font-weight:bold\">%1</span>").arg(texto);
            break;
        }
    }
    return html + QStringLiteral("</span>");
}

} // namespace trd::liberacao
