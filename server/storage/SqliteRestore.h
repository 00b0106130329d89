#pragma once
// trd-server restore COPY --db FILE: puts a backup in the database's place.
// The copy must pass the start-up checks (this server's database, the full
// integrity check) before anything is moved; a database some program has
// open (a running server: its -shm locked, or any SQLite lock on the file)
// is never replaced. What was there, with any -wal and -shm a crash left (they
// may hold saves the copy has not), is moved aside under
// FILE.antes-da-restauracao-YYYYMMDDTHHMMSSZ, never deleted; the copy is
// written beside FILE, made durable and renamed into place.
#include <string>

namespace trd::server {

struct RestoreReport {
    std::string setAside; // where the former database went; empty when there was none
};

// Throws StorageError with the reason for the operator.
RestoreReport restoreSqlite(const std::string& copy, const std::string& target);

// Why the file is a database in use now ("" when no program has it open).
std::string sqliteInUse(const std::string& path);

} // namespace trd::server
