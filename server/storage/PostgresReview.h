#pragma once
// What the review marks (ReviewStore.h) need of PostgreSQL alone: their
// tables, created when missing by every server that starts, and the join of
// a row selection.
#include "PostgresConnection.h"

namespace trd::server::pgreview {

// Idempotent steps that look for what exists; in the start's transaction,
// under its lock.
void ensureSchema(PostgresConnection& db);

extern const char* const MarkColumns; // ", r.NMREVISOR, r.DTREVISAO"
extern const char* const MarkJoin; // joins REVISAO r to TRADUCAO t

} // namespace trd::server::pgreview
