#pragma once
// The review marks and rules on PostgreSQL: the same tables as on SQLite
// (SqliteReview.h), created when missing by every server that starts.
#include "PostgresConnection.h"
#include "Storage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace trd::server::pgreview {

// Idempotent steps that look for what exists; in the start's transaction,
// under its lock.
void ensureSchema(PostgresConnection& db);

extern const char* const MarkColumns; // ", r.NMREVISOR, r.DTREVISAO"
extern const char* const MarkJoin; // joins REVISAO r to TRADUCAO t

std::vector<std::pair<std::string, ReviewSettings>> settings(PostgresConnection& db);
std::optional<ReviewMark> markOf(PostgresConnection& db, std::int64_t row, std::optional<std::int64_t> newest);
// The mark, when the row's language requires review.
std::optional<ReviewMark> requiredMarkOf(PostgresConnection& db, const std::string& language, std::int64_t row,
                                         std::optional<std::int64_t> newest);
void putSettings(PostgresConnection& db, const std::string& language, const ReviewSettings& settings);
void putMark(PostgresConnection& db, std::int64_t row, const std::optional<ReviewMark>& mark,
             std::optional<std::int64_t> version);

} // namespace trd::server::pgreview
