#pragma once
// The methods of the remote data module Trd09300.rdmTraducao: argument
// checking, the storage calls and the answer packets (docs/protocol.md).
#include "AnswerPacketWriter.h"
#include "Caller.h"
#include "HistoryMethods.h"
#include "Json.h"
#include "MemoryMethods.h"
#include "ReleaseMethods.h"
#include "SessionPool.h"
#include "WriteCoordinator.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace trd::server {

class TranslationService {
public:
    TranslationService(SessionPool& sessions, WriteCoordinator& writer);

    // Runs one method and appends its result (a JSON string holding the
    // packet) to out. Throws RpcError, or a ServerError of the kind at
    // fault, for a refusal; a StorageError for a failure of the database.
    void call(std::string_view method, std::vector<JsonValue>& params, AnswerBuffer& out, const Caller& caller = {});

    static bool isMethod(std::string_view method);

    // The translation memory's methods answer once it is given.
    void setMemory(memory::TranslationMemory& memory);

private:
    void getIdiTrad(std::vector<JsonValue>& params, AnswerBuffer& out);
    void getDestino(std::vector<JsonValue>& params, AnswerBuffer& out);
    void getFiltroDest(std::vector<JsonValue>& params, AnswerBuffer& out);
    void getCdsFilter(std::vector<JsonValue>& params, AnswerBuffer& out);
    void setDestino(std::vector<JsonValue>& params, AnswerBuffer& out, const Caller& caller);
    void getInfoTrad(std::vector<JsonValue>& params, AnswerBuffer& out);
    void getCalcTrad(std::vector<JsonValue>& params, AnswerBuffer& out);
    void getDataHoraServ(std::vector<JsonValue>& params, AnswerBuffer& out);
    void getStatusSummary(std::vector<JsonValue>& params, const char* status, AnswerBuffer& out);

    SessionPool& m_sessions;
    WriteCoordinator& m_writer;
    HistoryMethods m_history;
    ReleaseMethods m_releases;
    memory::TranslationMemory* m_memory = nullptr;
    std::unique_ptr<MemoryMethods> m_memoryMethods;
};

} // namespace trd::server
