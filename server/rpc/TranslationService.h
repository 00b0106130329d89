#pragma once
// The methods of the remote data module Trd09300.rdmTraducao: argument
// checking, the storage calls and the answer packets (docs/protocol.md).
#include "AnswerPacketWriter.h"
#include "Caller.h"
#include "HistoryMethods.h"
#include "Json.h"
#include "MemoryMethods.h"
#include "MethodTable.h"
#include "ReportQueries.h"
#include "ReleaseMethods.h"
#include "SessionPool.h"
#include "WriteCoordinator.h"
#include "MachineMethods.h"

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace trd::server {

class AccessMethods;
class ReviewMethods;
class GlossaryMethods;

class TranslationService {
public:
    TranslationService(SessionPool& sessions, WriteCoordinator& writer);
    ~TranslationService();

    // Runs one method and appends its result (a JSON string holding the
    // packet) to out. Throws RpcError, or a ServerError of the kind at
    // fault, for a refusal; a StorageError for a failure of the database.
    // The caller's right to the method is checked first (MethodTable.h).
    void call(std::string_view method, std::vector<JsonValue>& params, AnswerBuffer& out, const Caller& caller = {});

    // Only the right: for a call that waits its turn before it runs (a
    // suggestion), so that nobody without it takes a place in the queue.
    void checkCall(std::string_view method, std::vector<JsonValue>& params, const Caller& caller);

    static bool isMethod(std::string_view method);
    // Every method of every table, in table order (Login, answered by the
    // handler itself, is none of them).
    static std::vector<std::string_view> methodNames();

    // The translation memory's methods answer once it is given.
    void setMemory(memory::TranslationMemory& memory);
    // The machine translation's methods use the engine once it is given
    // (until then they answer that the server has none).
    void setMachine(mt::MachineTranslation* machine);

private:
    static std::span<const MethodEntry<TranslationService>> methods();
    template <typename Visit>
    static bool anyTable(TranslationService* self, Visit&& visit);

    void getIdiTrad(MethodCall& call);
    void getDestino(MethodCall& call);
    void getFiltroDest(MethodCall& call);
    void getCdsFilter(MethodCall& call);
    void setDestino(MethodCall& call);
    void getInfoTrad(MethodCall& call);
    void getCalcTrad(MethodCall& call);
    void getCalcNtrad(MethodCall& call);
    void getCalcDuv(MethodCall& call);
    void getDataHoraServ(MethodCall& call);
    void getStatusSummary(MethodCall& call, const char* status);

    SessionPool& m_sessions;
    WriteCoordinator& m_writer;
    HistoryMethods m_history;
    ReportQueries m_reports;
    std::unique_ptr<AccessMethods> m_access;
    std::unique_ptr<ReviewMethods> m_review;
    ReleaseMethods m_releases;
    memory::TranslationMemory* m_memory = nullptr;
    std::unique_ptr<MemoryMethods> m_memoryMethods;
    std::unique_ptr<MachineMethods> m_machineMethods;
    std::unique_ptr<GlossaryMethods> m_glossary;
};

} // namespace trd::server
