#pragma once
// Who may do what, for the client (docs/users.md): the caller's own roles
// and each language's review rules, and the users window's methods (the
// users with their roles, grant, revoke), which write the users file.
#include "MethodTable.h"
#include "SessionPool.h"

#include <span>

namespace trd::server {

class AccessMethods {
public:
    explicit AccessMethods(SessionPool& sessions) : m_sessions(sessions) { }

    static std::span<const MethodEntry<AccessMethods>> methods();

private:
    void getPapeis(MethodCall& call);
    void getUsuarios(MethodCall& call);
    void concedePapel(MethodCall& call);
    void retiraPapel(MethodCall& call);

    SessionPool& m_sessions;
};

} // namespace trd::server
