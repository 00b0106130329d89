#include "BenchData.h"

#include "Mix32.h"

#include <cstdio>

namespace trd::server::bench {

namespace {

constexpr const char* Words[] = {
    "cadastro", "cliente",    "pedido",     "valor",    "data",       "código",   "situação", "relatório",
    "estoque",  "window",     "fornecedor", "endereço", "confirma",   "exclusão", "registro", "salvar",
    "cancelar", "total",      "quantidade", "preço",    "software",   "item",     "nota",     "fiscal",
    "emissão",  "vencimento", "imprimir",   "período",  "observação", "usuário",  "senha",    "ação"};
constexpr unsigned WordCount = sizeof Words / sizeof Words[0];

std::string sentence(unsigned seed, int words, bool allowW)
{
    std::string text;
    for (int i = 0; i < words; ++i) {
        unsigned w = mix32(seed + unsigned(i) * 7919U) % WordCount;
        // Words with a W ("window", "software") appear only where allowed.
        while (!allowW && (w == 9 || w == 20))
            w = (w + 1) % WordCount;
        if (i)
            text += ' ';
        text += Words[w];
    }
    text[0] = static_cast<char>(text[0] - 32);
    return text;
}

} // namespace

std::string languageCode(int index)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "L%02d", index);
    return buf;
}

std::string programCode(int index)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "PRG%05d", index);
    return buf;
}

std::string componentName(int index)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "lblCampo%03d", index);
    return buf;
}

std::string sourceText(int program, int component)
{
    return sentence(unsigned(program * ComponentsPerProgram + component), 4 + component % 6, true) + " "
        + std::to_string(program) + "." + std::to_string(component);
}

std::string destinationText(int language, int program, int component, int version)
{
    const unsigned seed = mix32(unsigned(language * 1000003 + program * ComponentsPerProgram + component));
    std::string text = sentence(seed, 4 + int(seed % 7), seed % 8 == 0);
    if (version)
        text += " #" + std::to_string(version);
    return text;
}

std::size_t fill(WriteCoordinator& writer, int languages)
{
    std::size_t rows = 0;
    writer.runExclusive([&](StorageWriter& w) {
        for (int l = 0; l < languages; ++l)
            w.putLanguage({languageCode(l), "Idioma " + std::to_string(l), "POR"});
        w.beginBulkLoad();
        TranslationRow row;
        for (int l = 0; l < languages; ++l) {
            for (int p = 0; p < Programs; ++p) {
                for (int c = 0; c < ComponentsPerProgram; ++c) {
                    row.key = {languageCode(l), programCode(p), componentName(c), sourceText(p, c)};
                    row.destination = destinationText(l, p, c);
                    const unsigned s = mix32(unsigned(l * 7 + p * 131 + c));
                    row.status = s % 10 < 6 ? "T" : s % 10 < 8 ? "D" : "N";
                    row.changed = 45000.0 + double(s % 700) + double(s % 86400) / 86400.0;
                    w.insertRow(row, 0);
                    ++rows;
                }
            }
        }
        w.endBulkLoad();
    });
    return rows;
}

} // namespace trd::server::bench
