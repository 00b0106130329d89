#include "Roles.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace trd::server {

namespace {

constexpr std::array<std::pair<Role, std::string_view>, 4> Names = {{{Role::Reader, "leitor"},
                                                                     {Role::Translator, "tradutor"},
                                                                     {Role::Reviewer, "revisor"},
                                                                     {Role::Administrator, "administrador"}}};

} // namespace

std::string_view roleName(Role role)
{
    for (const auto& [r, name] : Names)
        if (r == role)
            return name;
    return {};
}

std::optional<Role> roleFromName(std::string_view name)
{
    for (const auto& [r, n] : Names)
        if (n == name)
            return r;
    return std::nullopt;
}

bool Grants::validLanguage(std::string_view language)
{
    if (language == AllLanguages)
        return true;
    return !language.empty() && language.size() <= 3 && std::none_of(language.begin(), language.end(), [](char c) {
        return c == ',' || c == ':' || c == '*' || static_cast<unsigned char>(c) <= ' ';
    });
}

Grants Grants::everything(bool inherited)
{
    Grants g;
    g.m_roles[std::string(AllLanguages)] = Role::Administrator;
    g.m_inherited = inherited;
    return g;
}

Grants Grants::parse(std::string_view text)
{
    Grants g;
    if (text == "-")
        return g;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const std::size_t colon = item.find(':');
        const std::optional<Role> role = roleFromName(item.substr(0, colon));
        const std::string_view language = colon == std::string_view::npos ? std::string_view() : item.substr(colon + 1);
        if (!role || !validLanguage(language))
            throw std::runtime_error("papel inválido: \"" + std::string(item) + "\"");
        g.m_roles[std::string(language)] = *role;
        if (comma != std::string_view::npos && text.empty())
            throw std::runtime_error("papel vazio após a vírgula");
    }
    if (g.m_roles.empty())
        throw std::runtime_error("coluna de papéis vazia (use - para nenhum)");
    return g;
}

std::string Grants::format() const
{
    if (m_roles.empty())
        return "-";
    std::string out;
    for (const auto& [language, role] : m_roles) {
        if (!out.empty())
            out += ',';
        out += roleName(role);
        out += ':';
        out += language;
    }
    return out;
}

Role Grants::on(std::string_view language) const
{
    Role best = Role::None;
    if (const auto all = m_roles.find(std::string(AllLanguages)); all != m_roles.end())
        best = all->second;
    if (language != AllLanguages)
        if (const auto it = m_roles.find(std::string(language)); it != m_roles.end())
            best = std::max(best, it->second);
    return best;
}

void Grants::grant(const std::string& language, Role role)
{
    if (m_inherited) {
        m_roles.clear();
        m_inherited = false;
    }
    if (role == Role::None)
        m_roles.erase(language);
    else
        m_roles[language] = role;
}

void Grants::revoke(const std::string& language)
{
    if (m_inherited) {
        // What was held without being written becomes written, less the
        // role taken away.
        m_inherited = false;
        if (language != AllLanguages)
            return;
    }
    m_roles.erase(language);
}

} // namespace trd::server
