#include "FiltroArquivo.h"

namespace trd {

QString TipoListagem(bool naoTraduzido, bool erroTamanho, bool outrasVerificacoes)
{
    const int tipo = (erroTamanho ? 1 : 0) + (naoTraduzido ? 2 : 0) + (outrasVerificacoes ? 4 : 0);
    return tipo ? QString::number(tipo) : QString();
}

} // namespace trd
