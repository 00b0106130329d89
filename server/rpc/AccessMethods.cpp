#include "AccessMethods.h"

#include "MethodArgs.h"
#include "RpcError.h"
#include "UserStore.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace trd::server {

namespace {

constexpr std::array<AnswerField, 6> RoleFields = {{{"NMUSUARIO", "string", 64},
                                                    {"IDIDIOMA", "string", 3},
                                                    {"TPPAPEL", "string", 20},
                                                    {"FLREVOBRIG", "string", 1},
                                                    {"FLREVPROPRIA", "string", 1},
                                                    {"FLLOGIN", "string", 1}}};

constexpr std::array<AnswerField, 4> UserFields = {
    {{"NMUSUARIO", "string", 64}, {"IDIDIOMA", "string", 3}, {"TPPAPEL", "string", 20}, {"FLHERDADO", "string", 1}}};

std::string_view yesNo(bool value)
{
    return value ? "S" : "N";
}

UserStore& usersOf(const Caller& caller)
{
    if (!caller.users)
        throw ServerError(ErrorKind::Conflict,
                          "Este servidor não tem usuários: quem o chama da própria máquina é "
                          "administrador. Crie usuários com trd-server user add.");
    return *caller.users;
}

void writeUser(AnswerPacketWriter& packet, const std::string& name, const Grants& grants)
{
    const auto row = [&](std::string_view language, Role role) {
        packet.beginRow();
        packet.string(0, name);
        packet.string(1, language);
        packet.string(2, roleName(role));
        packet.string(3, yesNo(grants.inherited()));
        packet.endRow();
    };
    if (grants.entries().empty())
        row({}, Role::None);
    for (const auto& [language, role] : grants.entries())
        row(language, role);
}

// The user, the language (a known one, or "*") and, for a grant, the role.
struct Target {
    std::string user;
    std::string language;
};

Target target(MethodArgs& args, std::size_t languageIndex, SessionPool& sessions)
{
    Target t;
    t.user = args.text(0, "usuário", 64);
    t.language = args.text(languageIndex, "idioma", 3);
    if (t.language != AllLanguages) {
        const auto languages = sessions.acquire()->languages();
        if (std::none_of(languages.begin(), languages.end(), [&](const Language& l) { return l.code == t.language; }))
            throw ServerError(ErrorKind::Conflict, "Idioma não cadastrado: " + t.language + ".");
    }
    return t;
}

// A change that would leave no administrador of every language: nobody
// could then give roles back from the client.
void keepAnAdministrator(UserStore& users, const Caller& caller, const std::string& user, Role after)
{
    if (after >= Role::Administrator)
        return;
    bool other = false, was = false;
    for (const auto& [name, grants] : users.usersWithRoles()) {
        if (grants.onAll() < Role::Administrator)
            continue;
        (name == user ? was : other) = true;
    }
    if (!was || other)
        return;
    if (user == caller.user)
        throw ServerError(ErrorKind::Conflict,
                          "Você é o único administrador de todos os idiomas: conceda esse papel a "
                          "outro usuário antes de retirá-lo de você.");
    throw ServerError(ErrorKind::Conflict,
                      "O usuário " + user
                          + " é o único administrador de todos os idiomas: "
                            "conceda esse papel a outro usuário antes de retirá-lo dele.");
}

} // namespace

std::span<const MethodEntry<AccessMethods>> AccessMethods::methods()
{
    static constexpr MethodEntry<AccessMethods> Table[] = {
        {"GetPapeis", &AccessMethods::getPapeis, Right::open()},
        {"GetUsuarios", &AccessMethods::getUsuarios, Right::administer("administrar os usuários")},
        {"ConcedePapel", &AccessMethods::concedePapel, Right::administer("administrar os usuários")},
        {"RetiraPapel", &AccessMethods::retiraPapel, Right::administer("administrar os usuários")},
    };
    return Table;
}

void AccessMethods::getPapeis(MethodCall& call)
{
    MethodArgs(call, {0});
    const Caller& caller = call.caller;
    auto session = m_sessions.acquire();
    const auto languages = session->languages();
    const auto settings = session->reviewSettings();
    AnswerPacketWriter packet(call.out, RoleFields, languages.size() + 1);
    const auto row = [&](std::string_view language, const ReviewSettings& rules) {
        packet.beginRow();
        packet.string(0, caller.user);
        packet.string(1, language);
        packet.string(2, roleName(caller.grants.on(language)));
        packet.string(3, yesNo(rules.required));
        packet.string(4, yesNo(rules.ownChangeBlocked));
        packet.string(5, yesNo(caller.users != nullptr));
        packet.endRow();
    };
    row(AllLanguages, {});
    for (const Language& l : languages) {
        ReviewSettings rules;
        for (const auto& [language, r] : settings)
            if (language == l.code)
                rules = r;
        row(l.code, rules);
    }
    packet.finish();
}

void AccessMethods::getUsuarios(MethodCall& call)
{
    MethodArgs(call, {0});
    UserStore& users = usersOf(call.caller);
    AnswerPacketWriter packet(call.out, UserFields);
    for (const auto& [name, grants] : users.usersWithRoles())
        writeUser(packet, name, grants);
    packet.finish();
}

void AccessMethods::concedePapel(MethodCall& call)
{
    MethodArgs args(call, {3});
    UserStore& users = usersOf(call.caller);
    const std::string roleText = args.text(1, "papel", 20);
    const std::optional<Role> role = roleFromName(roleText);
    if (!role)
        invalidParams("Papel inválido: \"" + roleText + "\". Use leitor, tradutor, revisor ou administrador.");
    const Target t = target(args, 2, m_sessions);
    if (t.language == AllLanguages)
        keepAnAdministrator(users, call.caller, t.user, *role);
    Grants after;
    try {
        after = users.grant(t.user, t.language, *role);
    } catch (const std::invalid_argument&) {
        throw ServerError(ErrorKind::Conflict, "O usuário " + t.user + " não existe.");
    }
    AnswerPacketWriter packet(call.out, UserFields);
    writeUser(packet, t.user, after);
    packet.finish();
}

void AccessMethods::retiraPapel(MethodCall& call)
{
    MethodArgs args(call, {2});
    UserStore& users = usersOf(call.caller);
    const Target t = target(args, 1, m_sessions);
    if (t.language == AllLanguages)
        keepAnAdministrator(users, call.caller, t.user, Role::None);
    Grants after;
    try {
        after = users.revoke(t.user, t.language);
    } catch (const std::invalid_argument&) {
        throw ServerError(ErrorKind::Conflict, "O usuário " + t.user + " não existe.");
    }
    AnswerPacketWriter packet(call.out, UserFields);
    writeUser(packet, t.user, after);
    packet.finish();
}

} // namespace trd::server
