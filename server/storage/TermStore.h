#pragma once
// The glossary's tables and statements, written once for both back ends
// (docs/glossary.md, docs/storage.md):
//
//   GLOSSARIO            the terms of each language, one per source words
//                        (DSCHAVE, TermRules.h) and scope (CDPROGTRAD)
//   GLOSSARIO_HISTORICO  every change of a term, with who and when; kept
//                        after the term is deleted
//
// Each back end hands its connection over as a StatementDb (StatementDb.h);
// only the tables' definitions differ (the key's type).
#include "StatementDb.h"
#include "TermRecords.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace trd::server {

namespace termstore {

extern const char* const SqliteSchema;
extern const char* const PostgresSchema;

// The language's terms in the order of their key, then scope.
std::vector<TermRecord> terms(StatementDb& db, const std::string& language);
std::optional<TermRecord> term(StatementDb& db, const std::string& language, std::int64_t id);
// Every version of the term (id 0: of every term of the language), in the order written.
std::vector<TermVersion> history(StatementDb& db, const std::string& language, std::int64_t id);
// Inserts, alters or deletes the term and keeps its version; the term as it
// now stands (a deletion: as it was). Refuses an unknown term, a second
// term of the same words and scope, a term changed since `seen`.
TermRecord write(StatementDb& db, const TermWrite& write, double now);

} // namespace termstore
} // namespace trd::server
