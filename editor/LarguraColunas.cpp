#include "LarguraColunas.h"

#include <algorithm>
#include <numeric>

namespace trd {

std::vector<int> DivideLargura(const std::vector<int>& conteudo, int disponivel, int minimo)
{
    if (std::accumulate(conteudo.begin(), conteudo.end(), 0LL) <= disponivel)
        return conteudo;
    // From the narrowest up: each column that fits under an even share of
    // what is left keeps its width; the first that does not sets the limit.
    std::vector<int> ordem = conteudo;
    std::sort(ordem.begin(), ordem.end());
    long long resta = std::max(disponivel, 0);
    int limite = 0;
    for (std::size_t i = 0; i < ordem.size(); ++i) {
        const long long partes = static_cast<long long>(ordem.size() - i);
        if (ordem[i] * partes > resta) {
            limite = static_cast<int>(resta / partes);
            break;
        }
        resta -= ordem[i];
    }
    std::vector<int> larguras;
    larguras.reserve(conteudo.size());
    for (const int w : conteudo)
        larguras.push_back(std::min(w, std::max(limite, minimo)));
    return larguras;
}

} // namespace trd
