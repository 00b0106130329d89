#pragma once
// The report query VerificacoesPorTela: the checks of the translations
// (quality/, the same rules as the editor and trd-check) over every row of a
// language, counted by program and check, with the first finding of each as
// an example.
#include "AnswerPacketWriter.h"
#include "Storage.h"

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace trd::quality {
class WordForms;
}

namespace trd::server {

// The answer's fields; NMCOMPONENTE and DSMENSAGEM are those of the first finding.
inline constexpr std::array<AnswerField, 7> FindingsByProgramFields = {{{"CDPROGTRAD", "string", 20},
                                                                        {"CDVERIFICACAO", "string", 20},
                                                                        {"DSVERIFICACAO", "string", 60},
                                                                        {"TPGRAVIDADE", "string", 5},
                                                                        {"NRACHADOS", "r8", 0},
                                                                        {"NMCOMPONENTE", "string", 50},
                                                                        {"DSMENSAGEM", "string", 200}}};

// The dictionaries the glossary's checks match words with, opened the first
// time a report needs them and kept while the server runs: opening pt_BR alone
// takes one to two seconds, which every report of a language with terms paid.
// Word forms serve several threads, so reports running at once share them.
class ReportDictionaries {
public:
    ReportDictionaries();
    ~ReportDictionaries();
    quality::WordForms& source();
    quality::WordForms& destination(const std::string& language);

private:
    std::mutex m_lock;
    std::unique_ptr<quality::WordForms> m_source;
    std::map<std::string, std::unique_ptr<quality::WordForms>> m_destinations;
};

// One answer row per program and check that found something, programs in
// order, checks in the catalog's order.
void runFindingsByProgram(StorageSession& session, const std::string& language, ReportDictionaries& dictionaries,
                          AnswerBuffer& out);

} // namespace trd::server
