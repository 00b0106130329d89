#pragma once
// What the history's windows and the editor's detail panel say, without a
// window: names of the kinds of batch, dates, the last change of a row, the
// state of a batch, the outcome of an undo, and when a version can be put
// back. Each testable on its own.
#include "HistoricoDados.h"

#include <QString>

#include <optional>

namespace trd::historico {

// "Edição", "Substituição", "Importação", "Propagação", "Desfazimento"; an
// unknown kind as it came.
QString NomeDoTipo(const QString& tipo);
// "07/12/2026 10:40".
QString DataHora(TDateTime data);
// The detail panel's line: "Última alteração: ana em 07/12/2026 10:40
// (Substituição)", or "Sem alterações registradas" for a row no version has
// been kept of.
QString UltimaAlteracao(const std::optional<Versao>& versao);
// Who wrote the newest of `versoes` (newest first) that changed the row's
// text or status, passing over review marks (R, U); empty when none of them did.
QString AutorDaUltimaAlteracao(const QList<Versao>& versoes);
// "desfaz o lote 12", "desfeito pelo lote 15", or nothing.
QString SituacaoDoLote(const Lote& lote);
// "3 linhas voltaram ao que eram antes do lote; 1 linha alterada depois foi
// mantida."
QString ResumoDesfazimento(const Desfazimento& desfazimento);
// The find/replace dialog's offer once a run ended with rows saved:
// "Substituição em 12 linhas." (or "Substituição interrompida: 3 linhas.").
QString TextoDaOferta(int linhas, bool completa);
// A version can be put back when it left a row (not a delete) that differs
// from the row as it is.
bool PodeRestaurar(const Versao& versao, const QString& textoAtual, const QString& situacaoAtual);

} // namespace trd::historico
