#include "ReleaseFile.h"

#include "ServerError.h"
#include "Storage.h"
#include "TsvEscapes.h"
#include "Utf8Text.h"

#include <algorithm>
#include <numeric>
#include <tuple>

namespace trd::server::release {

namespace {

struct Fault {
    std::string reason;
};

std::string unescape(std::string_view field)
{
    try {
        return unescapeTsvField(field);
    } catch (const UnknownTsvEscape& e) {
        throw Fault{e.what()};
    }
}

void checkField(const std::string& value, const char* name, std::size_t maxChars)
{
    if (!utf8::isWin1252(value))
        throw Fault{std::string("o ") + name + " tem um caractere que não existe no Windows-1252"};
    if (utf8::hasForbiddenControl(value))
        throw Fault{std::string("o ") + name + " tem um caractere de controle"};
    const std::size_t length = utf8::length(value);
    if (length > maxChars)
        throw Fault{std::string("o ") + name + " tem " + std::to_string(length) + " caracteres; o máximo é "
                    + std::to_string(maxChars)};
}

ReleaseKey readLine(std::string_view line)
{
    if (!utf8::isValid(line))
        throw Fault{"o texto não está em UTF-8"};
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos)
            break;
        start = tab + 1;
    }
    if (fields.size() != 3)
        throw Fault{"esperados 3 campos separados por tabulação (programa, componente, texto de origem); "
                    "encontrados "
                    + std::to_string(fields.size())};
    ReleaseKey key{unescape(fields[0]), unescape(fields[1]), unescape(fields[2]), 0};
    checkField(key.program, "programa", fieldsize::Program);
    checkField(key.component, "componente", fieldsize::Component);
    checkField(key.source, "texto de origem", fieldsize::Text);
    if (key.program.empty())
        throw Fault{"o programa está vazio"};
    if (key.component.empty())
        throw Fault{"o componente está vazio"};
    return key;
}

[[noreturn]] void refuse(std::size_t line, const std::string& reason)
{
    badArgument("Arquivo da liberação inválido, linha " + std::to_string(line) + ": " + reason
                + ". Nada foi aplicado.");
}

// A key on two lines: the earliest line that repeats an earlier one. Sorted
// rather than hashed: a release holds some hundred thousand keys, and a sort
// of their indices costs less than a hash table of their texts.
void refuseDuplicates(const std::vector<ReleaseKey>& keys)
{
    std::vector<std::size_t> order(keys.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    const auto tied = [&](std::size_t i) { return std::tie(keys[i].program, keys[i].component, keys[i].source); };
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return tied(a) < tied(b); });
    std::size_t repeat = keys.size(), first = 0;
    for (std::size_t i = 1; i < order.size(); ++i)
        if (tied(order[i]) == tied(order[i - 1]) && order[i] < repeat) {
            repeat = order[i];
            std::size_t j = i - 1;
            while (j > 0 && tied(order[j - 1]) == tied(order[i]))
                --j;
            first = order[j];
        }
    if (repeat < keys.size())
        refuse(keys[repeat].line,
               "a mesma chave (programa, componente, origem) já está na linha " + std::to_string(keys[first].line));
}

} // namespace

std::vector<ReleaseKey> readReleaseFile(std::string_view text)
{
    std::vector<ReleaseKey> keys;
    std::size_t number = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        std::string_view line = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        ReleaseKey key;
        try {
            key = readLine(line);
        } catch (const Fault& f) {
            refuse(number, f.reason);
        }
        key.line = number;
        keys.push_back(std::move(key));
    }
    refuseDuplicates(keys);
    return keys;
}

} // namespace trd::server::release
