#pragma once
// The glossary's tables and statements, written once for both back ends
// (docs/glossary.md, docs/storage.md):
//
//   GLOSSARIO            the terms of each language, one per source words
//                        (DSCHAVE, TermRules.h) and scope (CDPROGTRAD)
//   GLOSSARIO_HISTORICO  every change of a term, with who and when; kept
//                        after the term is deleted
//
// Each back end hands its connection over as a TermDb: statements with "?"
// for their values, rows read by column. The statements are plain SQL both
// databases run alike; only the tables' definitions differ (the key's type).
#include "TermRecords.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace trd::server {

class TermDb {
public:
    virtual ~TermDb() = default;
    class Row {
    public:
        virtual ~Row() = default;
        virtual std::string_view text(int column) const = 0;
        virtual double real(int column) const = 0;
        virtual std::int64_t integer(int column) const = 0;
    };
    using Value = std::variant<std::string, double, std::int64_t>;
    virtual void run(const std::string& sql, const std::vector<Value>& values,
                     const std::function<void(const Row&)>& visit = {}) = 0;
};

namespace termstore {

extern const char* const SqliteSchema;
extern const char* const PostgresSchema;

// The language's terms in the order of their key, then scope.
std::vector<TermRecord> terms(TermDb& db, const std::string& language);
std::optional<TermRecord> term(TermDb& db, const std::string& language, std::int64_t id);
// Every version of the term (id 0: of every term of the language), in the order written.
std::vector<TermVersion> history(TermDb& db, const std::string& language, std::int64_t id);
// Inserts, alters or deletes the term and keeps its version; the term as it
// now stands (a deletion: as it was). Refuses an unknown term, a second
// term of the same words and scope, a term changed since `seen`.
TermRecord write(TermDb& db, const TermWrite& write, double now);

} // namespace termstore
} // namespace trd::server
