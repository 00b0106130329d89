#pragma once
// What the information dialog's tests know without the dialog: the seeded
// rows, and counts made directly on the server's SQLite database (lines per
// status, characters with the 43 ignored ones taken out by SQL, costs in exact
// decimal arithmetic), to compare with what the dialog shows.
#include <QByteArray>
#include <QString>

namespace trd::test {

// Change dates are days of January 2025; the BIG language has LinhasGrandes
// rows, all changed in June 2025.
inline constexpr int LinhasGrandes = 20000;
// Without the BIG language when `grande` is false.
QByteArray SementeTeste(bool grande = true);

// A range of days of January 2025, both days included.
struct Intervalo {
    int de = 0, ate = 0; // 0, 0: every change date
};
double diaDeJaneiro(int dia);

// Lines of a language in a status (empty: any status) and range.
int linhasBanco(const QString& db, const QString& idioma, const QString& situacao, Intervalo intervalo = {});
// The sum of the counted lengths of their destination texts.
qint64 caracteresBanco(const QString& db, const QString& idioma, const QString& situacao, Intervalo intervalo = {});

// price (in units of 0.0000001) times characters, written as the cost cell
// writes a number of at most 15 significant digits, with the user's separator.
QString custoExato(qint64 unidadesDePreco, qint64 caracteres);

} // namespace trd::test
