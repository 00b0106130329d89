#pragma once
// Notices when the files a running server writes through are no longer the
// ones on disk: the database deleted or replaced, its WAL or shared-memory file
// deleted. SQLite keeps writing into the open (now nameless) files and every
// commit still succeeds, so without this check saves would be acknowledged
// into files that vanish at the next restart or crash.
#include <sys/types.h>

#include <mutex>
#include <string>

namespace trd::server {

class SqliteFileGuard {
public:
    explicit SqliteFileGuard(std::string path);

    // Takes the identities of the files as they are now; call once the
    // server's connections hold them open.
    void record(bool withWal);
    // Empty while the files on disk are the ones recorded; otherwise what
    // happened, for the user (names no file). Once lost, stays lost.
    std::string check();
    // True while the database file itself is the one recorded (only its WAL
    // or shared memory went): what is still in the open WAL can be copied
    // into it.
    bool databaseIntact();

private:
    struct Identity {
        bool present = false;
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const Identity&) const = default;
    };
    static Identity identityOf(const std::string& path);

    std::string m_path;
    std::mutex m_mutex;
    bool m_recorded = false;
    bool m_withWal = false;
    Identity m_db, m_wal, m_shm;
    std::string m_lost;
};

} // namespace trd::server
