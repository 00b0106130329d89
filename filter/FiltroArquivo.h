#pragma once
// The filter by a file of listed rows without its dialog: which kinds of
// listed rows the check boxes of "Filtrar por Arquivo" ask the server for.
#include <QString>

namespace trd {

// "3" both kinds, "2" only the rows listed as not translated ("Não
// Traduzido"), "1" only those listed with a size error ("Erro de Tamanho");
// empty when none is ticked, which the dialog refuses. "Outras Verificações"
// (the other checks' findings) adds 4: "4" to "7", so that the first three
// keep what they have always asked.
QString TipoListagem(bool naoTraduzido, bool erroTamanho, bool outrasVerificacoes = false);

} // namespace trd
