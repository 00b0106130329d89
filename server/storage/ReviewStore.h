#pragma once
// The review marks and rules, written once for both back ends over their
// connections as a StatementDb (docs/users.md, docs/storage.md):
//
//   REVISAO          a row's mark: who and when, and the version it wrote;
//                    it holds while that version is the row's newest
//   IDIOMA_REVISAO   the rules of a language, absent while both are off
//
// The tables' definitions (ReviewRules.h) and the join a back end appends
// to its row selections stay with each back end (SqliteReview.h,
// PostgresReview.h).
#include "HistoryRecords.h"
#include "StatementDb.h"
#include "Storage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace trd::server {

class VersionLog;

namespace reviewstore {

std::vector<std::pair<std::string, ReviewSettings>> settings(StatementDb& db);
// The mark that holds on the row while `newest` is its newest version.
std::optional<ReviewMark> markOf(StatementDb& db, std::int64_t row, std::optional<std::int64_t> newest);
// The mark, when the row's language requires review: what keeps a writer
// below revisor from changing the row.
std::optional<ReviewMark> requiredMarkOf(StatementDb& db, const std::string& language, std::int64_t row,
                                         std::optional<std::int64_t> newest);
void putSettings(StatementDb& db, const std::string& language, const ReviewSettings& settings);
// Writes (or takes away) the mark of a row whose newest version is now `version`.
void putMark(StatementDb& db, std::int64_t row, const std::optional<ReviewMark>& mark,
             std::optional<std::int64_t> version);
// The writer's side of MarcaRevisao: checks the row (ReviewRules.h), then
// keeps the mark's version (none without a log) and writes the mark.
void markRow(StatementDb& db, HistoryReader& reader, VersionLog* log, const RowChange& change, double now);

} // namespace reviewstore
} // namespace trd::server
