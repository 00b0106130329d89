#pragma once
// What both back ends decide alike about review marks (docs/users.md): the
// refusals, and whose a row's last change of text or status is. A mark
// stands while the row's newest version is the one the mark wrote: any
// later change of text or status writes a newer version, and with it the
// mark no longer holds, whatever wrote it.
#include "HistoryRecords.h"
#include "Storage.h"

#include <cstdint>
#include <optional>
#include <string>

namespace trd::server::review {

// REVISAO and IDIOMA_REVISAO for both back ends (SchemaDialect.h).
extern const char* const SchemaDefinition;

// "\"&Salvar\" (TRD09300, sbtSalvar)"
std::string rowName(const RowKey& row);

[[noreturn]] void refuseReviewedRow(const RowKey& row, const ReviewMark& mark);
[[noreturn]] void refuseOwnChange(const RowKey& row);
[[noreturn]] void refuseUnknownRow(const RowKey& row);
// The row holds other values than those the revisor saw.
[[noreturn]] void refuseChangedSinceSeen(const RowKey& row, const std::optional<VersionRecord>& newest);

// Who wrote the row's newest version that changed its text or status,
// walking back past review marks; none when no such version is kept.
std::optional<std::string> lastChangeAuthor(HistoryReader& history, std::optional<std::int64_t> newest);

// The checks of a Review change on the row as found, before it writes:
// the row the revisor saw, and the own-change rule.
void checkMark(const RowChange& change, const CurrentRow& row, HistoryReader& history);

// Whether a Modify or Delete of a row changes its text or status.
bool touchesRow(const RowChange& change);

} // namespace trd::server::review
