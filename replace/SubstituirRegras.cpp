#include "SubstituirRegras.h"

#include <algorithm>
#include <vector>

namespace trd {

const std::array<ParCaracter, 24> CARACTER_NAO_MAIUSC = {{
    {u'\u00E3', u'\u00C3'}, //  1 ã Ã
    {u'\u00F5', u'\u00D5'}, //  2 õ Õ
    {u'\u00F1', u'\u00D1'}, //  3 ñ Ñ
    {u'\u00E7', u'\u00C7'}, //  4 ç Ç
    {u'\u00E1', u'\u00C1'}, //  5 á Á
    {u'\u00E9', u'\u00C9'}, //  6 é É
    {u'\u00ED', u'\u00CD'}, //  7 í Í
    {u'\u00F3', u'\u00D3'}, //  8 ó Ó
    {u'\u00FA', u'\u00DA'}, //  9 ú Ú
    {u'\u00E4', u'\u00C4'}, // 10 ä Ä
    {u'\u00EB', u'\u00CB'}, // 11 ë Ë
    {u'\u00EF', u'\u00CF'}, // 12 ï Ï
    {u'\u00F6', u'\u00D6'}, // 13 ö Ö
    {u'\u00FC', u'\u00DC'}, // 14 ü Ü
    {u'\u00E2', u'\u00C2'}, // 15 â Â
    {u'\u00EA', u'\u00CA'}, // 16 ê Ê
    {u'\u00EE', u'\u00CE'}, // 17 î Î
    {u'\u00F4', u'\u00D4'}, // 18 ô Ô
    {u'\u00FB', u'\u00DB'}, // 19 û Û
    {u'\u00E0', u'\u00C0'}, // 20 à À
    {u'\u00E8', u'\u00C8'}, // 21 è È
    {u'\u00EC', u'\u00CC'}, // 22 ì Ì
    {u'\u00F2', u'\u00D2'}, // 23 ò Ò
    {u'\u00F9', u'\u00D9'}, // 24 ù Ù
}};

} // namespace trd

namespace trd::substituir {

namespace {

const QChar E = QLatin1Char('&');

// The uppercase form of one character under the search's folding. Called
// for every character of every row a search passes, so it is a switch on the
// code point, not a walk through the table.
inline char16_t dobraCaracter(char16_t c)
{
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') ? char16_t(c - 0x20) : c;
    switch (c) {
    case 0xE3:
    case 0xF5:
    case 0xF1:
    case 0xE7:
    case 0xE1:
    case 0xE9:
    case 0xED:
    case 0xF3:
    case 0xFA:
    case 0xE4:
    case 0xEB:
    case 0xEF:
    case 0xF6:
    case 0xFC:
    case 0xE2:
    case 0xEA:
    case 0xEE:
    case 0xF4:
    case 0xFB:
    case 0xE0:
    case 0xE8:
    case 0xEC:
    case 0xF2:
    case 0xF9:
        // Each of these lies 0x20 above its uppercase form in the code page.
        return char16_t(c - 0x20);
    default:
        return c;
    }
}

} // namespace

QString RetiraAtalho(const QString& texto, qsizetype posicao, qsizetype& posicaoNoResultado)
{
    // A "&" goes exactly when the character right after it is not "&": the
    // character that moves into its place is that one, never a "&", so one
    // pass over the original decides every removal.
    posicaoNoResultado = posicao;
    if (!texto.contains(E))
        return texto;
    QString resultado;
    resultado.reserve(texto.size());
    const qsizetype n = texto.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (i == posicao)
            posicaoNoResultado = resultado.size();
        if (texto[i] == E && i + 1 < n && texto[i + 1] != E)
            continue;
        resultado += texto[i];
    }
    if (posicao >= n)
        posicaoNoResultado = resultado.size();
    return resultado;
}

QString RetiraAtalho(const QString& texto)
{
    qsizetype ignorada = 0;
    return RetiraAtalho(texto, 0, ignorada);
}

QString UpperCaracterAcento(const QString& texto)
{
    QString resultado = texto;
    for (const ParCaracter& par : CARACTER_NAO_MAIUSC)
        resultado.replace(QChar(par.minuscula), QChar(par.maiuscula));
    return resultado;
}

QString Dobra(const QString& texto)
{
    QString resultado = texto;
    char16_t* p = reinterpret_cast<char16_t*>(resultado.data());
    for (qsizetype i = 0, n = resultado.size(); i < n; ++i)
        p[i] = dobraCaracter(p[i]);
    return resultado;
}

TesteLinha::TesteLinha(const QString& busca, TipoBusca tipo, bool ignoraCaixa)
    : m_busca(ignoraCaixa ? Dobra(busca) : busca), m_tipo(tipo), m_ignoraCaixa(ignoraCaixa)
{
}

bool TesteLinha::operator()(const QString& textoLinha) const
{
    if (m_busca.isEmpty() || textoLinha.size() < m_busca.size())
        return false;
    QString r = RetiraAtalho(textoLinha);
    if (m_ignoraCaixa)
        r = Dobra(r);
    return m_tipo == TipoBusca::Identico ? r.startsWith(m_busca) : r.contains(m_busca);
}

bool LinhaConfere(const QString& busca, const QString& textoLinha, TipoBusca tipo, bool ignoraCaixa)
{
    return TesteLinha(busca, tipo, ignoraCaixa)(textoLinha);
}

bool IgualAoInicio(const QString& textoLinha, const QString& textoInicio)
{
    if (textoLinha.size() != textoInicio.size())
        return false;
    for (qsizetype i = 0, n = textoLinha.size(); i < n; ++i) {
        char16_t a = textoLinha[i].unicode(), b = textoInicio[i].unicode();
        if (a >= u'a' && a <= u'z')
            a = char16_t(a - 0x20);
        if (b >= u'a' && b <= u'z')
            b = char16_t(b - 0x20);
        if (a != b)
            return false;
    }
    return true;
}

namespace {

// What each "&" of a caption is, read left to right as a label shows it: "&&"
// is one '&' shown; a "&" before a blank or a line break, or at the end, is a
// '&' shown as well; any other "&" marks the character after it.
enum class Papel : unsigned char { Texto, ParInicio, ParFim, Literal, Marca };

std::vector<Papel> papeis(const QString& texto)
{
    std::vector<Papel> p(static_cast<std::size_t>(texto.size()), Papel::Texto);
    const qsizetype n = texto.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (texto[i] != E)
            continue;
        const auto at = static_cast<std::size_t>(i);
        if (i + 1 < n && texto[i + 1] == E) {
            p[at] = Papel::ParInicio;
            p[at + 1] = Papel::ParFim;
            ++i;
        } else if (i + 1 == n || texto[i + 1] == u' ' || texto[i + 1] == u'\t' || texto[i + 1] == u'\n'
                   || texto[i + 1] == u'\r') {
            p[at] = Papel::Literal;
        } else {
            p[at] = Papel::Marca;
        }
    }
    return p;
}

bool quebraOuFim(const QString& texto, qsizetype i)
{
    return i >= texto.size() || texto[i] == u' ' || texto[i] == u'\t' || texto[i] == u'\n' || texto[i] == u'\r';
}

} // namespace

Troca TrocaTexto(const QString& textoLinha, const QString& busca, const QString& substituto, qsizetype aPartirDe)
{
    Troca troca;
    troca.texto = textoLinha;
    if (busca.isEmpty())
        return troca;
    // The occurrence is found where the row test looks, in the text without
    // marks, and then mapped back onto the row's own characters: only those
    // are replaced, and everything outside them stays as it was.
    std::vector<qsizetype> origem; // position in the row text of each character kept
    origem.reserve(static_cast<std::size_t>(textoLinha.size()));
    for (qsizetype i = 0, n = textoLinha.size(); i < n; ++i)
        if (!(textoLinha[i] == E && i + 1 < n && textoLinha[i + 1] != E))
            origem.push_back(i);
    const QString t = RetiraAtalho(textoLinha);
    const qsizetype lugar = Dobra(t).indexOf(Dobra(busca), aPartirDe);
    if (lugar < 0)
        return troca;

    const std::vector<Papel> papel = papeis(textoLinha);
    const auto papelEm = [&](qsizetype i) { return papel[static_cast<std::size_t>(i)]; };
    qsizetype inicio = origem[static_cast<std::size_t>(lugar)];
    qsizetype fim = origem[static_cast<std::size_t>(lugar + busca.size() - 1)] + 1;
    // A "&&" is one character shown: an occurrence that takes half of it
    // takes all of it. A mark goes with the character it marks.
    if (papelEm(inicio) == Papel::ParFim)
        --inicio;
    else if (inicio > 0 && papelEm(inicio - 1) == Papel::Marca)
        --inicio;
    if (papelEm(fim - 1) == Papel::ParInicio)
        ++fim;

    // A caption has one mark. The row's (its first) moves to the first
    // character of the inserted text, when that character can carry it: not
    // a blank, not a '&', and the replacement has no mark of its own, which
    // is then the row's. When it cannot, the row's mark stays where it is (or
    // goes with the occurrence, when it was inside it). Any other mark of the
    // row goes: two marks on one caption make its second letter a dead key.
    qsizetype marca = -1;
    for (qsizetype i = 0; i < textoLinha.size() && marca < 0; ++i)
        if (papelEm(i) == Papel::Marca)
            marca = i;
    const std::vector<Papel> papelSubstituto = papeis(substituto);
    const bool substitutoMarcado =
        std::find(papelSubstituto.begin(), papelSubstituto.end(), Papel::Marca) != papelSubstituto.end();
    const bool moveMarca = marca >= 0 && !quebraOuFim(substituto, 0) && substituto[0] != E && !substitutoMarcado;
    const QString inserido = moveMarca ? E + substituto : substituto;
    const qsizetype fica = moveMarca || substitutoMarcado ? -1 : marca;
    // Removing a mark joins the character before it to the one it marked, a
    // letter or digit: no "&" around changes what it is.
    const auto semMarcas = [&](qsizetype de, qsizetype ate) {
        QString parte;
        parte.reserve(ate - de);
        for (qsizetype i = de; i < ate; ++i)
            if (papelEm(i) != Papel::Marca || i == fica)
                parte += textoLinha[i];
        return parte;
    };

    QString antes = semMarcas(0, inicio);
    const QString depois = semMarcas(fim, textoLinha.size());
    // A '&' shown before the occurrence, which a blank used to follow, would
    // turn into a mark before the new text: it is written doubled instead.
    const QString seguinte = inserido + depois;
    if (inicio > 0 && papelEm(inicio - 1) == Papel::Literal && !quebraOuFim(seguinte, 0))
        antes.append(E);
    troca.texto = antes + seguinte;
    troca.feita = true;
    RetiraAtalho(troca.texto, antes.size() + inserido.size(), troca.fimInsercao);
    return troca;
}

QString SemSubstituto(const QString& textoLinha, const QString& substituto)
{
    QString w = RetiraAtalho(textoLinha);
    if (substituto.isEmpty())
        return w;
    // Deleting one occurrence can join two pieces into another one, hence the
    // repetition; each pass shortens the text, so it ends.
    for (qsizetype lugar = w.indexOf(substituto); lugar >= 0; lugar = w.indexOf(substituto))
        w.remove(lugar, substituto.size());
    return w;
}

bool ContinuaNaLinha(const QString& textoLinha, const QString& busca, const QString& substituto, TipoBusca tipo,
                     bool ignoraCaixa, qsizetype fimInsercao)
{
    if (busca.isEmpty())
        return false;
    // SemSubstituto has removed the marks already; a "&" it kept is text.
    const QString w = SemSubstituto(textoLinha, substituto);
    QString r = ignoraCaixa ? Dobra(w) : w;
    const QString s = ignoraCaixa ? Dobra(busca) : busca;
    const bool confere = tipo == TipoBusca::Identico ? r.startsWith(s) : r.contains(s);
    return confere && Dobra(RetiraAtalho(textoLinha)).indexOf(Dobra(busca), fimInsercao) >= 0;
}

} // namespace trd::substituir
