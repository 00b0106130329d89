#pragma once
// The methods of machine translation (docs/protocol.md, "Machine
// translation"): the routes to the server's languages, a suggestion for one
// row's source, and the translations of many sources for a pre-translation.
// They run on a lane of their own (RpcHandler), never on the workers that
// serve saves.
#include "MachineTranslation.h"
#include "MethodTable.h"
#include "SessionPool.h"

#include <span>

namespace trd::server {

class MachineMethods {
public:
    // machine: null when the server was started without an engine; every
    // method then answers that it has none.
    MachineMethods(SessionPool& sessions, mt::MachineTranslation* machine)
        : m_sessions(sessions), m_machine(machine) { }

    static std::span<const MethodEntry<MachineMethods>> methods();
    // The methods whose calls wait on the lane of machine translation.
    static bool isMachineMethod(std::string_view method);
    // Of those, the one a pre-translation calls piece by piece, on a lane of
    // its own below every other thread (RpcHandler).
    static bool isBulkMethod(std::string_view method);

private:
    void getParesAutomaticos(MethodCall& call);
    void getTraducaoAutomatica(MethodCall& call);
    void getTraducoesAutomaticas(MethodCall& call);
    mt::MachineTranslation& machine() const;

    SessionPool& m_sessions;
    mt::MachineTranslation* m_machine;
};

} // namespace trd::server
