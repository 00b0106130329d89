#include "MethodTable.h"

#include "DeltaReader.h"
#include "MethodArgs.h"
#include "RpcError.h"

#include <algorithm>

namespace trd::server {

namespace {

Role roleFor(Access access)
{
    switch (access) {
    case Access::Open:
        return Role::None;
    case Access::Read:
        return Role::Reader;
    case Access::Translate:
        return Role::Translator;
    case Access::Review:
        return Role::Reviewer;
    case Access::AdministerLanguage:
    case Access::Administer:
        return Role::Administrator;
    }
    return Role::Administrator;
}

// The languages of a delta's rows, old values and new.
std::vector<std::string> deltaLanguages(const std::vector<RowChange>& changes)
{
    std::vector<std::string> languages;
    const auto add = [&languages](const std::string& language) {
        if (std::find(languages.begin(), languages.end(), language) == languages.end())
            languages.push_back(language);
    };
    for (const RowChange& change : changes) {
        if (change.kind != RowChange::Kind::Insert)
            add(change.original.language);
        if (change.kind != RowChange::Kind::Delete)
            add(change.updated.key.language);
    }
    return languages;
}

} // namespace

void refuseRole(Role needed, const std::string& language, std::string_view purpose)
{
    const std::string where = language == AllLanguages ? "de todos os idiomas" : "do idioma " + language;
    throw RpcError(rpc::Forbidden,
                   "É preciso ser " + std::string(roleName(needed)) + " " + where + " para " + std::string(purpose)
                       + ".");
}

void checkRight(const Right& right, MethodCall& call)
{
    const Grants& grants = call.caller.grants;
    if (right.access == Access::Open)
        return;
    // Every right includes reading, which any role gives.
    if (!grants.any())
        throw RpcError(rpc::Forbidden,
                       "É preciso ter um papel neste servidor (leitor ou acima) para ler as "
                       "traduções. Peça um ao administrador.");
    if (right.access == Access::Read)
        return;
    const Role needed = roleFor(right.access);
    if (right.access == Access::Administer) {
        if (grants.onAll() < needed)
            refuseRole(needed, std::string(AllLanguages), right.purpose);
        return;
    }
    MethodArgs args(call);
    std::vector<std::string> languages;
    if (right.languageArg == Right::DeltaLanguages) {
        args.expectCount({1});
        call.delta = readDelta(args.packet(0, "pacote de alterações"));
        languages = deltaLanguages(call.delta);
    } else {
        const auto index = static_cast<std::size_t>(right.languageArg);
        if (index >= args.count())
            invalidParams(std::string(call.method) + ": faltam argumentos (recebidos " + std::to_string(args.count())
                          + ").");
        languages.push_back(args.language(index));
    }
    for (const std::string& language : languages)
        if (grants.on(language) < needed)
            refuseRole(needed, language, right.purpose);
}

} // namespace trd::server
