#pragma once
// The report dialog's rules that need no window: the status code of the
// status combo, the values of the report's query parameters, which item a
// typed language names, and the summary by status the shipped summary report
// charts.
#include "TDateTime.h"

#include <QString>
#include <QStringList>

namespace trd {
class TClientDataSet;
}

namespace trd::relatorio {

// The status combo's items, in their order.
const QStringList& ItensSituacao();

// The status code of the combo's item position: 0 "T", 1 "N", 2 "D"; any
// other position ("Todos", or nothing chosen) gives the empty code.
QString CodigoSituacao(int posicao);

// P_TSITUACAO: "ALL" when the status code is empty (nothing entered), else "".
QString TodasSituacoes(const QString& codigoSituacao);

// P_DtFim: the final date plus one day, so that the whole last day counts
// (an empty date, 0, becomes 1).
TDateTime DataFinalConsulta(TDateTime dataFinal);

// The language code of an item: its first three characters.
QString CodigoIdioma(const QString& item);

// The item a language text names: the item with that text, else the only
// item whose code is the text's first three characters (case ignored, so
// "eng" or "ENG-Inglês" typed names "ENG-English"); -1 when none does. The
// dialog refuses such a text instead of sending a code that is no language.
int ItemDoIdioma(const QString& texto, const QStringList& itens);

// The status summary the summary report charts: one row per status (T, D, N)
// with IDSITTRADUCAO, DSSITUACAO, NRLINHAS, NRCARACTER, PCLINHAS, DTULTALT
// taken from the status data sets, and NRTEXTO, every character of the
// destination texts of that status, summed over the rows of `textos`; and
// NRREVISADAS, the lines of that status with the review mark, from
// `revisadas` (GetCalcRevisadas), left empty when it is null or closed (a
// server that cannot tell). Data sets that are closed or lack a field add
// nothing for it.
void MontaResumo(TClientDataSet& resumo, TClientDataSet& traduzidos, TClientDataSet& duvidas,
                 TClientDataSet& naoTraduzidos, TClientDataSet& textos, TClientDataSet* revisadas = nullptr);

} // namespace trd::relatorio
