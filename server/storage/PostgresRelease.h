#pragma once
// Releases on PostgreSQL (docs/releases.md, docs/storage.md): the same flag
// and table as on SQLite, added by steps that look at what the database has;
// the reads a release needs; and its writes in bulk: the rows copied into a
// staging table (COPY), then a few set-based statements, the row updates that
// lock rows other servers may save last, so that their saves wait for as
// short a time as the commit allows.
#include "PostgresConnection.h"
#include "ReleaseRecords.h"

#include <string>

namespace trd::server {

namespace pgrelease {

// Adds whatever of the release's schema is missing; inside the caller's
// (schema-locked) transaction. Running it again changes nothing.
void ensureSchema(PostgresConnection& db);

void readRows(PostgresConnection& db, const std::string& language, const ReleaseRowVisitor& visit);
void selectPreviousSources(PostgresConnection& db, const std::string& language, std::int64_t batch,
                           const PreviousSourceVisitor& visit);
void selectObsoleteRows(PostgresConnection& db, const std::string& language, const ObsoleteRowVisitor& visit);

// Writes one language's part into `batch`, with every row's version.
void write(PostgresConnection& db, const ReleaseWrite& write, std::int64_t batch, double now);

// Text for one column of COPY's text form.
void appendCopyText(std::string& out, std::string_view value);
// One column of a COPY row, then the tab after it, or the line's end after the last.
void appendCopyField(std::string& out, std::string_view value, bool last = false);
// A translation row's texts as the COPY fields of TRADUCAO, in its column
// order (language, program, component, source, destination, status), each
// with the tab after it.
void appendCopyRowTexts(std::string& out, const TranslationRow& row);
// A number as COPY reads it back exactly (shortest round-trip form).
void appendCopyNumber(std::string& out, double value);
std::string copyNumber(double value);

} // namespace pgrelease
} // namespace trd::server
