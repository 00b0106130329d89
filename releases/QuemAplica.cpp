#include "QuemAplica.h"

namespace trd::liberacao {

bool PodeAplicarLiberacao()
{
    return true;
}

} // namespace trd::liberacao
