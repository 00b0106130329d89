#pragma once
// What a user may do, per language (docs/users.md): one role per language
// code or for every language ("*"), each role including the ones below it.
// Kept in the users file as a third column, "papel:IDIOMA,papel:IDIOMA"
// ("-" for none); a line without that column is a user of a file written
// before roles existed, who keeps what every user could do then: everything.
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace trd::server {

enum class Role : int { None = 0, Reader = 1, Translator = 2, Reviewer = 3, Administrator = 4 };

inline constexpr std::string_view AllLanguages = "*";

// "leitor", "tradutor", "revisor", "administrador"; empty for None.
std::string_view roleName(Role role);
std::optional<Role> roleFromName(std::string_view name);

class Grants {
public:
    Grants() = default;
    // Administrador of every language: whoever calls a server without users,
    // and a user of a file from before roles.
    static Grants everything(bool inherited = false);
    // The users file's column; throws std::runtime_error naming what is wrong.
    static Grants parse(std::string_view text);
    // The column as written back; "-" for no role.
    std::string format() const;

    // The role on a language: the higher of the one granted for it and the
    // one granted for every language.
    Role on(std::string_view language) const;
    Role onAll() const { return on(AllLanguages); }
    // Any role anywhere: the user may read every language.
    bool any() const { return !m_roles.empty(); }
    // A user of a file from before roles: holds administrador of "*" without
    // it being written; the first grant or revoke writes their roles.
    bool inherited() const { return m_inherited; }

    void grant(const std::string& language, Role role);
    void revoke(const std::string& language);
    const std::map<std::string, Role>& entries() const { return m_roles; }

    // A language code as roles name it: "*", or up to three characters
    // without blanks, commas or colons.
    static bool validLanguage(std::string_view language);

private:
    std::map<std::string, Role> m_roles; // "*" sorts before every code
    bool m_inherited = false;
};

} // namespace trd::server
