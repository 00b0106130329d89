#pragma once
// The find/replace rules that need no window: shortcut marks, folding, the
// row test, the stop of find next at a text equal to the start text, and the
// replace step with the moving of the row's shortcut mark. Texts are
// Windows-1252 in meaning: one character is one position, and folding never
// changes a length, so a position in a folded text is a position in the text.
#include <QString>

#include <array>

namespace trd {

// A lowercase accented letter and its uppercase form.
struct ParCaracter {
    char16_t minuscula;
    char16_t maiuscula;
};

// The 24 accented letters that plain upper-casing (a to z) leaves alone,
// numbered 1 to 24 (element i - 1). Letters that are not here (ý, ÿ, å, æ,
// ø, œ, š, ž...) are never upper-cased by the search.
extern const std::array<ParCaracter, 24> CARACTER_NAO_MAIUSC;

} // namespace trd

namespace trd::substituir {

// Match mode, in the order of the radio group's items.
enum class TipoBusca { Identico = 0, Parte = 1 };

// The text with every "&" removed that is followed by a character other than
// "&": '&Arquivo' -> 'Arquivo', '&&x' -> '&x', 'x&' stays.
QString RetiraAtalho(const QString& texto);
// The same, and where position `posicao` of the text lands in the result
// (the number of characters kept before it).
QString RetiraAtalho(const QString& texto, qsizetype posicao, qsizetype& posicaoNoResultado);

// Every lowercase letter of CARACTER_NAO_MAIUSC replaced by its uppercase form.
QString UpperCaracterAcento(const QString& texto);
// The folded form: a-z upper-cased, then UpperCaracterAcento. Same length.
QString Dobra(const QString& texto);

// The row test on a row's raw text: shortcut marks removed from the row text
// (never from the search text), both folded when case is ignored; "Idêntico"
// wants the row to begin with the search text, "Parte" to hold it anywhere.
// An empty search text matches no row.
bool LinhaConfere(const QString& busca, const QString& textoLinha, TipoBusca tipo, bool ignoraCaixa);

// The same test with the search text prepared once, for loops over many rows.
class TesteLinha {
public:
    TesteLinha(const QString& busca, TipoBusca tipo, bool ignoraCaixa);
    bool operator()(const QString& textoLinha) const;

private:
    QString m_busca; // folded when case is ignored
    TipoBusca m_tipo;
    bool m_ignoraCaixa;
};

// Find next stops at a row whose raw text equals the start text, the letters
// A to Z compared without case and everything else (accents too) exactly.
bool IgualAoInicio(const QString& textoLinha, const QString& textoInicio);

// The replace step on a row's raw text.
struct Troca {
    bool feita = false; // an occurrence was found and replaced
    QString texto; // the row's new raw text
    qsizetype fimInsercao = 0; // where the inserted text ends, in RetiraAtalho(texto)
};
// Replaces the first occurrence of the search text (located ignoring case,
// always) that begins at or after `aPartirDe` in the row's text without
// shortcut marks, by the replacement. Only the row's characters that make up
// that occurrence are replaced (a "&&" it touches, a mark on its first
// character go with it); every other character stays, a shown '&' included:
// "&&", and a "&" before a blank or a line break or at the end, are text, not
// marks. The row's mark, its first "&" before any other character, moves to
// the first character of the replacement when that can carry it (not a
// blank, not a '&', and the replacement has no mark of its own); every other
// mark of the row is removed, so the row ends with one mark at most.
Troca TrocaTexto(const QString& textoLinha, const QString& busca, const QString& substituto, qsizetype aPartirDe = 0);

// What replace-all tests again after a replacement: the row's text without
// shortcut marks and with every occurrence of the replacement (as typed,
// compared exactly) deleted, leftmost first, until none is left.
QString SemSubstituto(const QString& textoLinha, const QString& substituto);

// Whether replace-all goes on with a row after a replacement that ended at
// `fimInsercao`: the re-test above passes (the row text folded as well when
// case is ignored) and an occurrence of the search text is left after the
// inserted text. The second condition is what makes every row end: each
// replacement uses up an occurrence the row held before, never one inside
// or made up of replaced text.
bool ContinuaNaLinha(const QString& textoLinha, const QString& busca, const QString& substituto, TipoBusca tipo,
                     bool ignoraCaixa, qsizetype fimInsercao);

} // namespace trd::substituir
