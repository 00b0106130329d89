#include "FiltroArquivo.h"

namespace trd {

QString TipoListagem(bool naoTraduzido, bool erroTamanho)
{
    if (naoTraduzido && erroTamanho)
        return QStringLiteral("3");
    if (naoTraduzido)
        return QStringLiteral("2");
    if (erroTamanho)
        return QStringLiteral("1");
    return {};
}

} // namespace trd
