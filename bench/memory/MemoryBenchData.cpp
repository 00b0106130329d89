#include "MemoryBenchData.h"

#include "Mix32.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace trd::server::bench {

namespace {

// The words screens use most, first; the Zipf law gives the first ones most
// of the draws, as in real catalogs.
const char* const CommonWords[] = {
    "de",
    "o",
    "a",
    "do",
    "da",
    "para",
    "não",
    "em",
    "registro",
    "código",
    "e",
    "informe",
    "data",
    "com",
    "os",
    "valor",
    "cliente",
    "produto",
    "que",
    "selecione",
    "é",
    "nota",
    "fiscal",
    "pedido",
    "um",
    "uma",
    "por",
    "número",
    "salvar",
    "cancelar",
    "confirma",
    "exclusão",
    "arquivo",
    "relatório",
    "período",
    "inicial",
    "final",
    "tela",
    "campo",
    "obrigatório",
    "inválido",
    "inválida",
    "usuário",
    "senha",
    "empresa",
    "filial",
    "estoque",
    "quantidade",
    "preço",
    "total",
    "desconto",
    "vencimento",
    "pagamento",
    "conta",
    "banco",
    "fornecedor",
    "endereço",
    "cidade",
    "estado",
    "telefone",
    "e-mail",
    "observação",
    "situação",
    "ativo",
    "inativo",
    "tipo",
    "descrição",
    "grupo",
    "unidade",
    "medida",
    "peso",
    "lote",
    "série",
    "emissão",
    "entrada",
    "saída",
    "transferência",
    "centro",
    "custo",
    "plano",
    "contas",
    "lançamento",
    "histórico",
    "saldo",
    "anterior",
    "atual",
    "pesquisar",
    "imprimir",
    "abrir",
    "fechar",
    "novo",
    "alterar",
    "excluir",
    "consultar",
    "gravar",
    "processar",
    "gerar",
    "importar",
    "exportar",
    "deseja",
    "realmente",
    "operação",
    "concluída",
    "sucesso",
    "erro",
    "ao",
    "na",
    "no",
    "das",
    "dos",
    "se",
    "foi",
    "ser",
    "já",
    "existe",
    "cadastrado",
    "cadastro",
    "clientes",
    "produtos",
    "pedidos",
    "notas",
    "itens",
    "item",
    "tecle",
    "F2",
    "F3",
    "ou",
    "clique",
    "aqui",
    "mais",
    "menos",
    "todos",
    "nenhum",
    "sim",
    "configuração",
    "parâmetros",
    "sistema",
    "versão",
    "atualização",
    "disponível",
    "aguarde",
    "carregando",
    "dados",
    "informações",
    "documento",
    "vendedor",
    "comissão",
    "frete",
    "transportadora",
    "veículo",
    "placa",
    "motorista",
    "rota",
};

const char* const Syllables[] = {"ba",  "be",  "ca",  "ção", "da",  "de",  "do",  "fa", "fi",   "ga",  "la",
                                 "le",  "li",  "lo",  "ma",  "me",  "mi",  "mo",  "na", "ne",   "no",  "pa",
                                 "pe",  "pi",  "po",  "ra",  "re",  "ri",  "ro",  "sa", "se",   "si",  "so",
                                 "ta",  "te",  "ti",  "to",  "va",  "ve",  "vi",  "zá", "ções", "men", "tar",
                                 "lar", "ção", "dor", "sis", "ter", "con", "pro", "ex", "in",   "tra"};

std::string capitalised(std::string s)
{
    if (!s.empty() && s[0] >= 'a' && s[0] <= 'z')
        s[0] = static_cast<char>(s[0] - 32);
    return s;
}

std::vector<std::string> splitWords(const std::string& text)
{
    std::vector<std::string> words;
    std::string w;
    for (const char c : text) {
        if (c == ' ') {
            if (!w.empty())
                words.push_back(w);
            w.clear();
        } else {
            w += c;
        }
    }
    if (!w.empty())
        words.push_back(w);
    return words;
}

} // namespace

MemoryTexts::MemoryTexts(std::uint32_t seed) : m_random(seed)
{
    // The vocabulary of real Portuguese screen texts with their counts, when
    // the file is there; else a list of common words and made-up ones under a
    // Zipf law.
    std::vector<double> weights;
#ifdef TRD_BENCH_VOCABULARY
    std::ifstream in(TRD_BENCH_VOCABULARY);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t tab = line.find('\t');
        if (line.empty() || line[0] == '#' || tab == std::string::npos)
            continue;
        m_words.push_back(line.substr(0, tab));
        weights.push_back(std::stod(line.substr(tab + 1)));
    }
#endif
    if (m_words.empty()) {
        for (const char* w : CommonWords)
            m_words.emplace_back(w);
        while (m_words.size() < 6000) {
            std::string w;
            const int n = 2 + static_cast<int>(m_random() % 3);
            for (int i = 0; i < n; ++i)
                w += Syllables[m_random() % std::size(Syllables)];
            m_words.push_back(w);
        }
        for (std::size_t i = 0; i < m_words.size(); ++i)
            weights.push_back(1.0 / std::pow(static_cast<double>(i + 1), 1.05));
    }
    double total = 0;
    for (const double w : weights) {
        total += w;
        m_cumulative.push_back(total);
    }
    for (double& c : m_cumulative)
        c /= total;
}

std::string MemoryTexts::word()
{
    const double u = std::uniform_real_distribution<double>(0, 1)(m_random);
    const auto it = std::lower_bound(m_cumulative.begin(), m_cumulative.end(), u);
    return m_words[std::min<std::size_t>(static_cast<std::size_t>(it - m_cumulative.begin()), m_words.size() - 1)];
}

std::string MemoryTexts::phrase(int words)
{
    std::string text;
    for (int i = 0; i < words; ++i) {
        if (i > 0)
            text += (i % 12 == 11) ? ". " : (i % 7 == 6) ? ", " : " ";
        text += i == 0 || (i % 12 == 0) ? capitalised(word()) : word();
    }
    // A screen text never passes the column's 4,000 characters.
    while (text.size() > 3990) {
        const std::size_t cut = text.rfind(' ', 3980);
        text.resize(cut == std::string::npos ? 3980 : cut);
    }
    return text;
}

std::string MemoryTexts::nearRepeat(std::string source)
{
    std::vector<std::string> words = splitWords(source);
    if (words.empty())
        return source + "s";
    const std::size_t at = m_random() % words.size();
    switch (m_random() % 8) {
    case 0:
        words[at] = word();
        break; // a word changed
    case 1:
        words.insert(words.begin() + static_cast<std::ptrdiff_t>(at), word());
        break; // added
    case 2:
        if (words.size() > 1)
            words.erase(words.begin() + static_cast<std::ptrdiff_t>(at)); // dropped
        else
            words[0] += ":";
        break;
    case 3:
        words.back() += ":";
        break; // punctuation
    case 4:
        words.back() += "...";
        break;
    case 5:
        words[at] += "s";
        break; // a plural
    case 6: { // case
        for (char& c : words[at])
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 32);
        break;
    }
    default:
        words[at].insert(words[at].begin(), '&');
        break; // a shortcut mark
    }
    std::string text;
    for (const std::string& w : words)
        text += (text.empty() ? "" : " ") + w;
    return text;
}

std::vector<GeneratedRow> MemoryTexts::rows(std::size_t count)
{
    std::vector<GeneratedRow> rows;
    rows.reserve(count);
    double length = 0;
    for (std::size_t i = 0; i < count; ++i) {
        GeneratedRow row;
        char buf[32];
        std::snprintf(buf, sizeof buf, "PRG%05zu", i / 400);
        row.program = buf;
        std::snprintf(buf, sizeof buf, "cmp%03zu.Caption", i % 400);
        row.component = buf;
        const unsigned kind = m_random() % 100;
        if (kind < 19 && !rows.empty()) {
            // Repeats favour the short, common texts, as in real catalogs.
            const GeneratedRow& earlier = rows[m_random() % rows.size()];
            if (earlier.source.size() < 200 || m_random() % 4 == 0) {
                row.source = earlier.source;
                row.variant = m_random() % 12 == 0 ? 1 : 0;
                ++m_shares.repeats;
            } else {
                row.source = phrase(2);
            }
        } else if (kind < 35 && !rows.empty()) {
            row.source = nearRepeat(rows[m_random() % rows.size()].source);
            ++m_shares.nearRepeats;
        } else {
            // Words per text as in real catalogs (Debian's Portuguese ones:
            // median 5, 90 % up to 12, 99 % up to 44, a few past 4,000 characters).
            const unsigned size = m_random() % 1000;
            const auto between = [&](int lo, int hi) {
                return lo + static_cast<int>(m_random() % unsigned(hi - lo + 1));
            };
            int words;
            if (size < 100)
                words = 1; // captions
            else if (size < 250)
                words = 2;
            else if (size < 500)
                words = between(3, 5); // labels
            else if (size < 750)
                words = between(6, 8); // hints
            else if (size < 900)
                words = between(9, 12); // messages
            else if (size < 950)
                words = between(13, 17);
            else if (size < 990)
                words = between(18, 44); // long messages
            else if (size < 999)
                words = between(45, 146); // help texts
            else
                words = between(147, 600); // up to 4,000 characters
            row.source = phrase(words);
        }
        const unsigned s = m_random() % 100;
        row.status = s < 60 ? 'T' : s < 70 ? 'D' : 'N';
        length += static_cast<double>(row.source.size());
        m_shares.longest = std::max(m_shares.longest, row.source.size());
        rows.push_back(std::move(row));
    }
    m_shares.meanLength = count ? length / static_cast<double>(count) : 0;
    return rows;
}

std::string MemoryTexts::translate(const std::string& source, const std::string& language, int variant) const
{
    // Word for word, each word to a made-up word of the language; a variant
    // changes the first word, as a translator's other choice would.
    std::string out;
    const std::uint32_t salt = mix32(static_cast<std::uint32_t>(language[1] * 31 + language[2]));
    std::size_t index = 0;
    for (const std::string& w : splitWords(source)) {
        std::uint32_t h = salt;
        for (const char c : w)
            h = mix32(h ^ static_cast<unsigned char>(c));
        if (index++ == 0 && variant)
            h = mix32(h + 7);
        std::string t;
        const int n = 1 + static_cast<int>(h % 3);
        for (int i = 0; i < n; ++i)
            t += Syllables[mix32(h + static_cast<std::uint32_t>(i)) % std::size(Syllables)];
        out += (out.empty() ? "" : " ") + t;
    }
    return out.substr(0, std::min<std::size_t>(out.size(), 3990));
}

std::size_t fillMemoryRows(StorageWriter& writer, MemoryTexts& texts, const std::vector<GeneratedRow>& rows,
                           int languages)
{
    std::size_t written = 0;
    for (int l = 0; l < languages; ++l) {
        char code[16];
        std::snprintf(code, sizeof code, "L%02d", l);
        writer.putLanguage({code, std::string("Idioma ") + code, "POR"});
    }
    writer.beginBulkLoad();
    TranslationRow row;
    for (int l = 0; l < languages; ++l) {
        char code[16];
        std::snprintf(code, sizeof code, "L%02d", l);
        std::uint32_t i = 0;
        for (const GeneratedRow& g : rows) {
            row.key = {code, g.program, g.component, g.source};
            const std::uint32_t s = mix32(i++ * 977u + static_cast<std::uint32_t>(l));
            const char status = l == 0 ? g.status : "TTTTTTDNNN"[s % 10];
            row.status = std::string(1, status);
            row.destination = status == 'N' && s % 3 != 0 ? "" : texts.translate(g.source, code, g.variant);
            row.changed = 45000.0 + static_cast<double>(s % 700) + static_cast<double>(s % 86400) / 86400.0;
            writer.insertRow(row, 0);
            ++written;
        }
    }
    writer.endBulkLoad();
    return written;
}

} // namespace trd::server::bench
