#pragma once
// The filter by a file of listed rows without its dialog: which kinds of
// listed rows the two check boxes of "Filtrar por Arquivo" ask the server for.
#include <QString>

namespace trd {

// "3" both kinds, "2" only the rows listed as not translated ("Não
// Traduzido"), "1" only those listed with a size error ("Erro de Tamanho");
// empty when neither is ticked, which the dialog refuses.
QString TipoListagem(bool naoTraduzido, bool erroTamanho);

} // namespace trd
