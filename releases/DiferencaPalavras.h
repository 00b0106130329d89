#pragma once
// The words that changed between a row's previous source and its current one,
// for showing the two side by side: each text cut into words, blanks and
// signs, the longest run of pieces the two share kept as it is, the rest
// marked as left (in the previous text) or come in (in the current one). No
// display here; the window and the detail panel draw the marks from it.
#include <QList>
#include <QString>

namespace trd::liberacao {

struct Trecho {
    enum class Tipo { Igual, Saiu, Entrou };
    Tipo tipo = Tipo::Igual;
    QString texto;

    bool operator==(const Trecho&) const = default;
};

struct Diferenca {
    QList<Trecho> antes; // the previous text: Igual and Saiu
    QList<Trecho> depois; // the current text: Igual and Entrou
};

// The pieces the comparison works on: a word (letters, digits and the
// shortcut mark '&'), a run of blanks, or one other sign. Joined they give the
// text back.
QStringList Pedacos(const QString& texto);

// The changed words of `antes` and `depois`. Pieces are compared exactly (a
// shortcut moved changes its word). Texts too long to compare piece by piece
// (beyond a few thousand pieces each between their common start and end) keep
// that start and end and mark the middle whole.
Diferenca DiferencaPalavras(const QString& antes, const QString& depois);

// The pieces as rich text: escaped, line breaks as the grid shows them ("↵"),
// the pieces that left struck through on red, those that came in on green.
QString MarcadoEmHtml(const QList<Trecho>& trechos);

} // namespace trd::liberacao
