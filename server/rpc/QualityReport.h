#pragma once
// The report query VerificacoesPorTela: the checks of the translations
// (quality/, the same rules as the editor and trd-check) over every row of a
// language, counted by program and check, with the first finding of each as
// an example.
#include "AnswerPacketWriter.h"
#include "Storage.h"

#include <array>
#include <string>

namespace trd::server {

// The answer's fields; NMCOMPONENTE and DSMENSAGEM are those of the first finding.
inline constexpr std::array<AnswerField, 7> FindingsByProgramFields = {{{"CDPROGTRAD", "string", 20},
                                                                        {"CDVERIFICACAO", "string", 20},
                                                                        {"DSVERIFICACAO", "string", 60},
                                                                        {"TPGRAVIDADE", "string", 5},
                                                                        {"NRACHADOS", "r8", 0},
                                                                        {"NMCOMPONENTE", "string", 50},
                                                                        {"DSMENSAGEM", "string", 200}}};

// One answer row per program and check that found something, programs in
// order, checks in the catalog's order.
void runFindingsByProgram(StorageSession& session, const std::string& language, AnswerBuffer& out);

} // namespace trd::server
