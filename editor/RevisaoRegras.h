#pragma once
// The review mark in the editor's rows, without a window (docs/users.md): the
// two fields the row packet carries it in, how a row's mark reads, what a
// mark's answer and the live feed's mark changes put into a row.
#include "Papeis.h"

#include <QString>

#include <utility>
#include <vector>

namespace trd {

class TClientDataSet;

namespace revisao {

// The revisor who marked the row (empty: not reviewed) and when.
inline const QString NMREVISOR = QStringLiteral("NMREVISOR");
inline const QString DTREVISAO = QStringLiteral("DTREVISAO");
// "S" on a row a release made obsolete, shown on demand beside the live ones
// (ObsoletasDoEditor); no packet of the server carries it.
inline const QString STOBSOLETA = QStringLiteral("STOBSOLETA");

// Declares the two fields in the editor's row set (before it first opens),
// so that it takes them from the packets; a row set that has them is left.
void DeclaraCampos(TClientDataSet& linhas);

// The mark of the current row of `linhas` (the row being painted, while
// painting), and whether it is obsolete; not reviewed when the row set has no
// such fields.
papeis::MarcaDaLinha MarcaAtual(const TClientDataSet& linhas);
// The same of row `linha` (0-based, grid order).
papeis::MarcaDaLinha MarcaDaLinha(const TClientDataSet& linhas, int linha);

// A date and time as the editor says it: "07/12/2026 10:40".
QString DataDaMarca(double quando);

// What the caption line says of the current row's mark: "Revisada por ana
// em 07/12/2026 10:40", or nothing.
QString TextoDaMarca(const papeis::MarcaDaLinha& marca);

// The values a row takes for a mark (revisor, when) or an unmark (empty
// revisor): the field indexes with their texts, for RefreshRow. Empty when
// the row set has no such fields.
std::vector<std::pair<int, QString>> ValoresDaMarca(const TClientDataSet& linhas, const QString& revisor,
                                                    double quando);

} // namespace revisao
} // namespace trd
