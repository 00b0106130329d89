#pragma once
// Screen texts made up for the checks' tests and benchmark: rows a careful
// translator would write (with placeholders, shortcut marks, numbers written
// each language's way, addresses, "100%", "%%", "&&", "{" in prose, quotes
// and brackets, several lines), and the faults each check exists to find,
// seeded into copies of them.
#include "Checks.h"

#include <QList>
#include <QString>

namespace trd::test {

struct LinhaAmostra {
    QString programa;
    QString componente;
    QString origem;
    QString destino;
    QString situacao;
};

// `quantidade` rows that no check finds anything in; the same seed gives the
// same rows.
QList<LinhaAmostra> linhasBoas(int quantidade, unsigned semente = 1);

// Puts a fault that `check` must find into `linhas[indice]`; false when that
// row cannot take one (a conflict needs another marked row of its program).
bool semeiaDefeito(quality::CheckId check, QList<LinhaAmostra>& linhas, qsizetype indice);

} // namespace trd::test
