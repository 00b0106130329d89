#pragma once
// How a table's columns share the width of its view, without a display.
#include <vector>

namespace trd {

// Widths for columns whose contents want `conteudo` pixels, in `disponivel`
// pixels: all of them as they want when that fits; otherwise every column
// that wants more than a common limit is cut to it, the limit as large as
// lets them fit, so narrow columns (a status, a code) stay whole and the long
// texts give way evenly. No column goes below `minimo` (nor below what it
// wants, when that is less), even if the total then passes `disponivel`.
std::vector<int> DivideLargura(const std::vector<int>& conteudo, int disponivel, int minimo);

} // namespace trd
