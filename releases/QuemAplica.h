#pragma once
// Who may apply a release of the application: an administrador of every
// language, since applying rewrites every language at once (the preview is
// for everyone). The release window asks this alone whether its apply is
// enabled, and says why when it is not.
#include "Papeis.h"

#include <QString>

namespace trd::liberacao {

bool PodeAplicarLiberacao(const papeis::PapeisDoUsuario& papeis);

// The hint of a disabled apply; empty when the user may apply.
QString MotivoParaNaoAplicar(const papeis::PapeisDoUsuario& papeis);

} // namespace trd::liberacao
