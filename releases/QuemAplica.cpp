#include "QuemAplica.h"

namespace trd::liberacao {

bool PodeAplicarLiberacao(const papeis::PapeisDoUsuario& papeis)
{
    return papeis.administraUsuarios();
}

QString MotivoParaNaoAplicar(const papeis::PapeisDoUsuario& papeis)
{
    return PodeAplicarLiberacao(papeis)
        ? QString()
        : QStringLiteral("É preciso ser administrador de todos os idiomas para aplicar uma liberação do aplicativo.");
}

} // namespace trd::liberacao
