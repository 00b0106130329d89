#include "AmostraLinhas.h"

#include "TextProfile.h"

#include <QHash>
#include <QSet>

#include <random>

namespace trd::test {

using quality::CheckId;

namespace {

struct Par {
    const char16_t* origem;
    const char16_t* destino;
};

// No pair is written the same in both languages and no translation is much
// longer than its word, so a row made of them is neither a copy of its source
// nor too long for its place.
constexpr Par Palavras[] = {
    {u"salvar", u"save"},
    {u"arquivo", u"file"},
    {u"cliente", u"client"},
    {u"pedido", u"order"},
    {u"valor", u"value"},
    {u"registro", u"record"},
    {u"excluir", u"delete"},
    {u"incluir", u"insert"},
    {u"alterar", u"change"},
    {u"consultar", u"query"},
    {u"imprimir", u"print"},
    {u"relatório", u"report"},
    {u"data", u"date"},
    {u"tela", u"view"},
    {u"senha", u"key"},
    {u"usuário", u"user"},
    {u"empresa", u"company"},
    {u"nota", u"bill"},
    {u"fiscal", u"tax"},
    {u"estoque", u"stock"},
    {u"produto", u"product"},
    {u"preço", u"price"},
    {u"prazo", u"term"},
    {u"entrega", u"delivery"},
    {u"pagamento", u"payment"},
    {u"conta", u"ledger"},
    {u"banco", u"bank"},
    {u"saldo", u"funds"},
    {u"filtro", u"filter"},
    {u"campo", u"field"},
    {u"obrigatório", u"required"},
    {u"inválido", u"invalid"},
    {u"gravado", u"saved"},
    {u"sucesso", u"success"},
    {u"erro", u"error"},
    {u"aviso", u"alert"},
    {u"linha", u"line"},
    {u"coluna", u"column"},
    {u"número", u"number"},
    {u"código", u"code"},
    {u"nome", u"name"},
    {u"endereço", u"address"},
    {u"cidade", u"city"},
    {u"estado", u"state"},
    {u"país", u"land"},
    {u"vendedor", u"seller"},
    {u"comissão", u"bonus"},
    {u"desconto", u"discount"},
};

// Pieces that read the same in both texts, or each language's way, and that
// the checks must take for what they are.
struct Peca {
    const char16_t* origem;
    const char16_t* destino;
};

constexpr Peca Marcadores[] = {
    {u"%s", u"%s"},         {u"%d", u"%d"},   {u"%5.2f", u"%5.2f"}, {u"%-10s", u"%-10s"},
    {u"%0:s", u"%0:s"},     {u"%1", u"%1"},   {u"%2", u"%2"},       {u"{0}", u"{0}"},
    {u"{1:N2}", u"{1:N2}"}, {u"%L1", u"%L1"}, {u"%1$s", u"%1$s"},   {u"%lu", u"%lu"},
};

constexpr Peca Armadilhas[] = {
    {u"100%", u"100%"},
    {u"50%% de", u"50%% of"},
    {u"preço && prazo", u"price && term"},
    {u"em http://exemplo.com.br/ajuda?id=7&modo=2%20b", u"at http://exemplo.com.br/ajuda?id=7&modo=2%20b"},
    {u"em www.exemplo.com", u"at www.exemplo.com"},
    {u"use { para abrir", u"use { to open"},
    {u"para suporte@exemplo.com", u"to suporte@exemplo.com"},
    {u"de 1.234,50", u"of 1,234.50"},
    {u"em 3 dias", u"in 3 days"},
    {u"(opcional)", u"(optional)"},
    {u"\"Sim\"", u"“Yes”"},
    {u"[F2]", u"[F2]"},
    {u"&amp; mais", u"&amp; more"},
};

constexpr const char16_t* Finais[] = {u"", u"", u".", u":", u"?", u"!", u"...", u"…", u";"};

class Gerador {
public:
    explicit Gerador(unsigned semente) : m_aleatorio(semente) { }

    LinhaAmostra linha(int n)
    {
        LinhaAmostra l;
        l.programa = QStringLiteral("PRG%1").arg(n / 40, 5, 10, QLatin1Char('0'));
        l.componente = QStringLiteral("cmp%1").arg(n);
        l.situacao = QString(QChar(u"TTTDN"[sorteio(5)]));
        frase(l);
        if (sorteio(5) == 0) {
            // A second line, each language breaking it its own way.
            LinhaAmostra outra;
            frase(outra);
            l.origem += QStringLiteral("\n") + outra.origem;
            l.destino += (sorteio(2) ? QStringLiteral("\r\n") : QStringLiteral("\n")) + outra.destino;
        }
        const int final = sorteio(int(std::size(Finais)));
        l.origem += QString::fromUtf16(Finais[final]);
        l.destino += final == 6 && sorteio(2) ? QStringLiteral("…") : QString::fromUtf16(Finais[final]);
        if (sorteio(10) == 0) {
            l.origem += u' ';
            l.destino += u' ';
        }
        marca(l);
        return l;
    }

private:
    int sorteio(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_aleatorio); }

    void frase(LinhaAmostra& l)
    {
        const int palavras = 2 + sorteio(5);
        QStringList origem;
        QStringList destino;
        int anterior = -1;
        for (int i = 0; i < palavras; ++i) {
            int p = sorteio(int(std::size(Palavras)));
            if (p == anterior)
                p = (p + 1) % int(std::size(Palavras));
            anterior = p;
            origem << QString::fromUtf16(Palavras[p].origem);
            destino << QString::fromUtf16(Palavras[p].destino);
        }
        origem[0][0] = origem[0][0].toUpper();
        destino[0][0] = destino[0][0].toUpper();
        if (sorteio(3) == 0) {
            // Placeholders may move: a translation orders a sentence its own way.
            const Peca& m = Marcadores[sorteio(int(std::size(Marcadores)))];
            origem.insert(1 + sorteio(int(origem.size())), QString::fromUtf16(m.origem));
            destino.insert(1 + sorteio(int(destino.size())), QString::fromUtf16(m.destino));
        }
        if (sorteio(4) == 0) {
            const Peca& a = Armadilhas[sorteio(int(std::size(Armadilhas)))];
            const qsizetype onde = 1 + sorteio(int(origem.size()));
            origem.insert(onde, QString::fromUtf16(a.origem));
            destino.insert(std::min(onde, destino.size()), QString::fromUtf16(a.destino));
        }
        l.origem = origem.join(u' ');
        l.destino = destino.join(u' ');
    }

    // A shortcut mark on both texts, on a letter no other destination text of
    // the program marks.
    void marca(LinhaAmostra& l)
    {
        if (sorteio(3) != 0 || l.origem.contains(u'\n'))
            return;
        QSet<QChar>& usadas = m_letras[l.programa];
        for (qsizetype i = 0; i < l.destino.size(); ++i) {
            const QChar c = l.destino[i];
            const bool letra = (c.unicode() | 0x20) >= u'a' && (c.unicode() | 0x20) <= u'z';
            // At the start of a word, where no address, placeholder or entity begins.
            if (!letra || (i > 0 && l.destino[i - 1] != u' ') || usadas.contains(c.toCaseFolded())
                || !emProsa(l.destino, i))
                continue;
            usadas.insert(c.toCaseFolded());
            l.destino.insert(i, u'&');
            l.origem.insert(0, u'&');
            return;
        }
    }

    // Not inside an address, a placeholder or an entity: a mark there would not be one.
    static bool emProsa(const QString& texto, qsizetype i)
    {
        quality::Spans enderecos;
        quality::findAddresses(texto, enderecos);
        for (const auto& s : enderecos)
            if (i >= s.begin && i < s.end)
                return false;
        for (qsizetype k = std::max<qsizetype>(0, i - 8); k < i; ++k)
            if (const qsizetype n = quality::placeholderLength(texto, k); n && k + n > i)
                return false;
        for (qsizetype k = std::max<qsizetype>(0, i - 8); k < i; ++k)
            if (const qsizetype n = quality::entityLength(texto, k); n && k + n > i)
                return false;
        return true;
    }

    std::mt19937 m_aleatorio;
    QHash<QString, QSet<QChar>> m_letras;
};

qsizetype fimDoTexto(const QString& texto)
{
    qsizetype k = texto.size();
    while (k > 0 && texto[k - 1] == u' ')
        --k;
    return k;
}

bool pontuacaoFinal(QChar c)
{
    return QStringView(u".:?!;…").contains(c);
}

qsizetype primeiroEspaco(const QString& texto)
{
    return texto.indexOf(u' ', 1);
}

// A letter of the text, outside the pieces where a mark is no mark.
qsizetype posicaoDaLetra(const QString& texto, QChar letra)
{
    for (qsizetype i = 0; i < texto.size(); ++i)
        if (texto[i].toCaseFolded() == letra && (i == 0 || texto[i - 1] == u' '))
            return i;
    return -1;
}

bool conflito(QList<LinhaAmostra>& linhas, qsizetype indice)
{
    LinhaAmostra& l = linhas[indice];
    const QChar minhaOrigem = quality::markedLetter(l.origem);
    // Only rows before it, which are where the rows of its program are: a row
    // seeded later never takes back the letter this one copies.
    for (qsizetype j = indice - 1; j >= 0 && linhas[j].programa == l.programa; --j) {
        const LinhaAmostra& outra = linhas[j];
        const QChar letra = quality::markedLetter(outra.destino);
        if (letra.isNull() || !letra.isLetter() || letra == quality::markedLetter(l.destino)
            || (!minhaOrigem.isNull() && quality::markedLetter(outra.origem) == minhaOrigem))
            continue;
        QString destino = l.destino;
        quality::TextProfile perfil;
        quality::readProfile(destino, perfil);
        if (!perfil.marks.isEmpty())
            destino.remove(perfil.marks[0].data() - destino.constData(), 1);
        qsizetype onde = posicaoDaLetra(destino, letra);
        if (onde < 0) {
            destino.prepend(letra.toUpper() + QStringLiteral("o "));
            onde = 0;
        }
        destino.insert(onde, u'&');
        l.destino = destino;
        return true;
    }
    return false;
}

} // namespace

QList<LinhaAmostra> linhasBoas(int quantidade, unsigned semente)
{
    Gerador gerador(semente);
    QList<LinhaAmostra> linhas;
    linhas.reserve(quantidade);
    for (int n = 0; n < quantidade; ++n)
        linhas << gerador.linha(n);
    return linhas;
}

bool semeiaDefeito(CheckId check, QList<LinhaAmostra>& linhas, qsizetype indice)
{
    LinhaAmostra& l = linhas[indice];
    QString& d = l.destino;
    quality::TextProfile perfil;
    quality::readProfile(d, perfil);
    const qsizetype espaco = primeiroEspaco(d);
    switch (check) {
    case CheckId::TermoAusente:
    case CheckId::TermoProibido:
    case CheckId::TermoNaoTraduzir:
        return false; // they need a glossary (GlossaryMatchTest.cpp)
    case CheckId::Marcadores:
        if (!perfil.placeholders.isEmpty()) {
            const QString tirado = perfil.placeholders[0].toString();
            d.remove(d.indexOf(tirado), tirado.size());
        } else if (espaco > 0) {
            d.insert(espaco, QStringLiteral(" %d"));
        } else {
            return false;
        }
        return true;
    case CheckId::Atalho:
        if (!perfil.marks.isEmpty())
            d.remove(perfil.marks[0].data() - d.constData(), 1);
        else
            d.insert(0, u'&');
        return true;
    case CheckId::ConflitoAtalho:
        return conflito(linhas, indice);
    case CheckId::Quebras:
        if (espaco < 0)
            return false;
        d[espaco] = u'\n';
        return true;
    case CheckId::Espacos:
        d += u' ';
        return true;
    case CheckId::Pontuacao: {
        const qsizetype fim = fimDoTexto(d);
        if (fim > 0 && pontuacaoFinal(d[fim - 1]))
            d.remove(fim - 1, 1);
        else
            d.insert(fim, u'.');
        return true;
    }
    case CheckId::Repeticoes: {
        if (espaco < 0)
            return false;
        if (indice % 2) {
            d.insert(espaco, u' ');
            return true;
        }
        // The first word again after it.
        qsizetype inicio = 0;
        while (inicio < espaco && !d[inicio].isLetter())
            ++inicio;
        const QString palavra = d.mid(inicio, espaco - inicio);
        if (palavra.isEmpty() || !std::all_of(palavra.begin(), palavra.end(), [](QChar c) { return c.isLetter(); }))
            return false;
        d.insert(espaco, u' ' + palavra);
        return true;
    }
    case CheckId::Delimitadores:
        if (espaco < 0)
            return false;
        d.insert(espaco, QStringLiteral(" ("));
        return true;
    case CheckId::Numeros:
        if (espaco < 0)
            return false;
        d.insert(espaco, QStringLiteral(" 7"));
        return true;
    case CheckId::IgualOrigem:
        d = l.origem;
        l.situacao = QStringLiteral("T");
        return true;
    case CheckId::Tamanho:
        // Longer than the whole source, so its last line passes any allowance.
        d.insert(fimDoTexto(d), u' ' + QString(l.origem.size() + 6, u'x'));
        return true;
    }
    return false;
}

} // namespace trd::test
