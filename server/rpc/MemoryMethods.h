#pragma once
// The methods of the translation memory (docs/protocol.md, "Translation
// memory"): suggestions for a row, the rows that share its source, and the
// sources translated in more than one way.
#include "AnswerPacketWriter.h"
#include "Json.h"
#include "MethodTable.h"
#include "SessionPool.h"
#include "TranslationMemory.h"

#include <array>
#include <string_view>
#include <vector>

namespace trd::server {

// The packet of GetInconsistencias and of the report query TraducoesDivergentes:
// one row per variant, the variants of a source in a row with its group number.
inline constexpr std::array<AnswerField, 12> InconsistencyFields = {{{"NRGRUPO", "r8", 0},
                                                                     {"STAGRVALPROP", "string", 4000},
                                                                     {"NRLINHASGRUPO", "r8", 0},
                                                                     {"NRVARIANTES", "r8", 0},
                                                                     {"STVALORPROP", "string", 4000},
                                                                     {"IDSITTRADUCAO", "string", 1},
                                                                     {"NRLINHAS", "r8", 0},
                                                                     {"DSSITUACOES", "string", 2},
                                                                     {"DSPROGRAMAS", "string", 4000},
                                                                     {"CDPROGTRAD", "string", 20},
                                                                     {"NMCOMPONENTE", "string", 50},
                                                                     {"DTALTERACAO", "dateTime", 0}}};

class MemoryMethods {
public:
    // `sessions`: where GetMesmaOrigem reads the rows' review marks (none: it tells none).
    explicit MemoryMethods(memory::TranslationMemory& memory, SessionPool* sessions = nullptr)
        : m_memory(memory), m_sessions(sessions)
    {
    }

    static std::span<const MethodEntry<MemoryMethods>> methods();

    static void writeInconsistencies(memory::TranslationMemory& memory, const std::string& language, AnswerBuffer& out);

private:
    void getSugestoes(MethodCall& call);
    void getMesmaOrigem(MethodCall& call);
    void getInconsistencias(MethodCall& call);

    memory::TranslationMemory& m_memory;
    SessionPool* m_sessions;
};

} // namespace trd::server
