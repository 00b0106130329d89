#pragma once
// A SQLite VFS that reads like the system's own, paced: after every couple of
// milliseconds of the reading thread's own processor time it pauses nine
// times as long, so the reader never takes more than a tenth of a processor.
// The scheduled integrity check reads the whole database through it: run at
// full speed, even at the lowest priority, it lengthened the saves beside it
// (on a shared or virtual machine the priority does not reach past the
// process's own share of the processors). Everything but the reads goes
// straight to the default VFS, locks and the WAL's shared memory included,
// so connections through it and through the default VFS work on the same
// files together.
#include <sqlite3.h>

#include <atomic>

namespace trd::server {

// The VFS's name for sqlite3_open_v2; registered on first use.
const char* pacedVfsName();

// Once stop is raised, reads of the connection's database file through this
// VFS fail with SQLITE_INTERRUPT at once, so a long paced read ends without
// waiting for its last page. stop must outlive the connection.
void stopPacedReadsWhen(sqlite3* db, const std::atomic<bool>& stop);

} // namespace trd::server
