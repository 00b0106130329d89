#include "ConfigFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace trd::server {

namespace {

std::string_view trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool validKey(std::string_view key)
{
    if (key.empty())
        return false;
    for (const char c : key)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'))
            return false;
    return true;
}

// A value in double quotes: the text between them, \" and \\ undone; false
// when the quotes do not close at the end.
bool unquote(std::string_view quoted, std::string& out)
{
    out.clear();
    for (std::size_t i = 1; i < quoted.size(); ++i) {
        const char c = quoted[i];
        if (c == '\\' && i + 1 < quoted.size() && (quoted[i + 1] == '"' || quoted[i + 1] == '\\')) {
            out += quoted[++i];
        } else if (c == '"') {
            return i + 1 == quoted.size();
        } else {
            out += c;
        }
    }
    return false;
}

} // namespace

std::optional<bool> configFlag(const std::string& value)
{
    if (value == "true" || value == "yes" || value == "on" || value == "1")
        return true;
    if (value == "false" || value == "no" || value == "off" || value == "0")
        return false;
    return std::nullopt;
}

std::optional<std::vector<ConfigEntry>> parseConfigText(std::string_view text, std::string& error)
{
    std::vector<ConfigEntry> entries;
    int number = 0;
    while (!text.empty() || number == 0) {
        ++number;
        const std::size_t end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::string_view line = trimmed(raw);
        const auto fail = [&](const std::string& why) {
            error = "linha " + std::to_string(number) + ": " + why;
            return std::nullopt;
        };
        if (line.find('\0') != std::string_view::npos)
            return fail("caractere nulo");
        if (line.empty() || line.front() == '#')
            continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            return fail("esperado NOME = VALOR, encontrado \"" + std::string(line) + "\"");
        std::string_view key = trimmed(line.substr(0, equals));
        if (key.substr(0, 2) == "--")
            return fail("escreva o nome sem os traços: \"" + std::string(key.substr(2)) + " = ...\"");
        if (!validKey(key))
            return fail("nome de opção inválido: \"" + std::string(key) + "\" (letras minúsculas, algarismos e -)");
        const std::string_view value = trimmed(line.substr(equals + 1));
        ConfigEntry entry{number, std::string(key), std::string(value)};
        if (!value.empty() && value.front() == '"' && !unquote(value, entry.value))
            return fail("aspas sem fechamento no valor de " + entry.key);
        entries.push_back(std::move(entry));
        if (end == std::string_view::npos)
            break;
    }
    return entries;
}

std::optional<std::vector<ConfigEntry>> readConfigFile(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "não foi possível ler o arquivo de configuração " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    auto entries = parseConfigText(text.str(), error);
    if (!entries)
        error = "arquivo de configuração " + path + ", " + error;
    return entries;
}

} // namespace trd::server
