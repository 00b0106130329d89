#pragma once
// The reviewed counts beside the T/D/N counts (docs/users.md): what
// GetCalcRevisadas answers, read into the lines of each status that carry the
// review mark now. The statistics dialog and the status report show them; a
// server that cannot tell them (older) shows none rather than zeros.
#include <QString>

#include <array>
#include <optional>

namespace trd {

class TClientDataSet;
class TSocketConnection;

namespace info {

struct Revisadas {
    qint64 traduzidas = 0, duvidas = 0, naoTraduzidas = 0;
    qint64 total() const { return traduzidas + duvidas + naoTraduzidas; }
    // By status code ("T", "D", "N"); 0 for any other.
    qint64 da(const QString& situacao) const;
};

// The counts of an answer (rows IDSITTRADUCAO, NRREVISADAS); nullopt for a
// packet that is not one.
std::optional<Revisadas> LeRevisadas(TClientDataSet& resposta);

// Asks the server: the language's rows the dates and the date mode select,
// as GetCalcTrad takes them. Nullopt when the server cannot tell (no such
// method, no right to it); raises what the connection raises.
std::optional<Revisadas> ContaRevisadas(TSocketConnection& conexao, const QString& idioma, double dataInicial,
                                        double dataFinal, const QString& modoData);

} // namespace info
} // namespace trd
