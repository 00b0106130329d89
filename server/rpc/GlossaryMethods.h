#pragma once
// The glossary's methods (docs/glossary.md, docs/protocol.md): the terms of
// a language read by anyone who may read, changed by a revisor or an
// administrador of the language, every change kept with who and when.
#include "MethodTable.h"
#include "StorageMethods.h"

#include <span>

namespace trd::server {

struct TermRecord;
struct TermWrite;

class GlossaryMethods : public StorageMethods {
public:
    using StorageMethods::StorageMethods;

    static std::span<const MethodEntry<GlossaryMethods>> methods();

private:
    void getTermos(MethodCall& call);
    void getTermo(MethodCall& call);
    void addTermo(MethodCall& call);
    void alteraTermo(MethodCall& call);
    void excluiTermo(MethodCall& call);
    void getHistoricoTermos(MethodCall& call);

    // Writes the term in a batch named after the call's method and answers it as written.
    TermRecord write(const TermWrite& write, MethodCall& call);
};

} // namespace trd::server
