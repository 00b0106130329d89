#pragma once
// The catalog of named, parameterised report queries (GetCatalogoRel,
// GetConsultaRel): reports name a query and send its parameters by name; the
// server checks each one against the query's declaration and binds it. No
// client text ever becomes part of a statement.
#include "AnswerPacketWriter.h"
#include "Json.h"
#include "MethodTable.h"
#include "QualityReport.h"
#include "SessionPool.h"
#include "TranslationMemory.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace trd::server {

class ReportQueries {
public:
    explicit ReportQueries(SessionPool& sessions, memory::TranslationMemory* memory = nullptr)
        : m_sessions(sessions), m_memory(memory), m_dictionaries(std::make_unique<ReportDictionaries>())
    {
    }

    static std::span<const MethodEntry<ReportQueries>> methods();
    void setMemory(memory::TranslationMemory* memory) { m_memory = memory; }

    // GetCatalogoRel(): one row per query: NMCONSULTA, DSCONSULTA,
    // PARAMETROS ("NAME:type;..."), CAMPOS ("FIELD;...").
    void catalog(MethodCall& call);
    // GetConsultaRel(name, param1, value1, param2, value2, ...): the query's rows.
    void run(MethodCall& call);

private:
    SessionPool& m_sessions;
    memory::TranslationMemory* m_memory;
    std::unique_ptr<ReportDictionaries> m_dictionaries; // for the life of the server
};

} // namespace trd::server
