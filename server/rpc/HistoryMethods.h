#pragma once
// The methods of the history (docs/protocol.md, docs/history.md): a row's
// versions, a language's batches, undo of a version or of a batch, and the
// opening of a batch that several saves then join (a replace-all run).
#include "AnswerPacketWriter.h"
#include "Caller.h"
#include "Json.h"
#include "MethodTable.h"
#include "StorageMethods.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace trd::server {

class HistoryMethods : public StorageMethods {
public:
    using StorageMethods::StorageMethods;

    static std::span<const MethodEntry<HistoryMethods>> methods();

    // The batch a save joins, from the X-Trd-Lote header; none when absent.
    static std::optional<std::int64_t> batchOfHeader(const std::vector<std::string>& headers);

private:
    void getHistorico(MethodCall& call);
    void getLotes(MethodCall& call);
    void desfaz(MethodCall& call);
    void abreLote(MethodCall& call);
};

} // namespace trd::server
