#pragma once
// The review mark's methods (docs/users.md, docs/protocol.md): a revisor
// marks or unmarks one row, an administrador sets a language's review
// rules, and the reviewed counts beside the counts per status.
#include "MethodTable.h"
#include "StorageMethods.h"

#include <span>

namespace trd::server {

class ReviewMethods : public StorageMethods {
public:
    using StorageMethods::StorageMethods;

    static std::span<const MethodEntry<ReviewMethods>> methods();

private:
    void marcaRevisao(MethodCall& call);
    void setRevisaoIdioma(MethodCall& call);
    void getCalcRevisadas(MethodCall& call);
};

} // namespace trd::server
