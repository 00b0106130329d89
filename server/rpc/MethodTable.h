#pragma once
// One table per RPC service: each method's name written once, beside its
// handler and the right it needs (docs/users.md, "Rights by method"). The
// dispatcher checks the right against the caller's roles before the handler
// runs, with the language taken from the method's own arguments, so no
// method reads or writes anything for a caller who may not call it.
#include "AnswerPacketWriter.h"
#include "Caller.h"
#include "Json.h"
#include "Storage.h"

#include <span>
#include <string_view>
#include <vector>

namespace trd::server {

// What the dispatcher hands a handler.
struct MethodCall {
    std::string_view method;
    std::vector<JsonValue>& params;
    AnswerBuffer& out;
    const Caller& caller;
    // SetDestino: the delta, read while its languages were checked.
    std::vector<RowChange> delta;
};

enum class Access {
    Open, // anyone who got in: Login's answer, GetPapeis
    Read, // any role on any language: every language may be read
    Translate, // tradutor or above of the language
    Review, // revisor or above of the language
    AdministerLanguage, // administrador of the language
    Administer, // administrador of every language ("*"): users, releases
};

struct Right {
    // The argument holding the language, for the rights of one language.
    static constexpr int DeltaLanguages = -2; // every language of SetDestino's delta
    Access access = Access::Read;
    int languageArg = -1;
    // What the right is for, in the refusal: "É preciso ser tradutor do
    // idioma ESP para <purpose>."
    std::string_view purpose;

    static constexpr Right open() { return {Access::Open, -1, {}}; }
    static constexpr Right read() { return {Access::Read, -1, {}}; }
    static constexpr Right translate(int languageArg, std::string_view purpose)
    {
        return {Access::Translate, languageArg, purpose};
    }
    static constexpr Right review(int languageArg, std::string_view purpose)
    {
        return {Access::Review, languageArg, purpose};
    }
    static constexpr Right administerLanguage(int languageArg, std::string_view purpose)
    {
        return {Access::AdministerLanguage, languageArg, purpose};
    }
    static constexpr Right administer(std::string_view purpose) { return {Access::Administer, -1, purpose}; }
};

template <typename Service>
struct MethodEntry {
    std::string_view name;
    void (Service::*handler)(MethodCall&);
    Right right;
};

// Throws RpcError(Forbidden) when the caller lacks the right, reading the
// language (or the delta) from the call's arguments first.
void checkRight(const Right& right, MethodCall& call);

// The refusal for a role missing on a language ("*": every language).
[[noreturn]] void refuseRole(Role needed, const std::string& language, std::string_view purpose);

// Runs the method when the table has it: the right first, then the handler.
// False when the table does not name it.
template <typename Service>
bool dispatch(Service& service, std::span<const MethodEntry<Service>> table, MethodCall& call)
{
    for (const MethodEntry<Service>& entry : table) {
        if (entry.name == call.method) {
            checkRight(entry.right, call);
            (service.*entry.handler)(call);
            return true;
        }
    }
    return false;
}

template <typename Service>
const MethodEntry<Service>* findMethod(std::span<const MethodEntry<Service>> table, std::string_view method)
{
    for (const MethodEntry<Service>& entry : table)
        if (entry.name == method)
            return &entry;
    return nullptr;
}

} // namespace trd::server
