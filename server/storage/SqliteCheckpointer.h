#pragma once
// Moves WAL checkpoints off the save path. SQLite's automatic checkpoint runs
// inside the commit that crosses its threshold, so one save in a thousand
// pages would also pay for copying the log into the database and its fsyncs.
// Here the writer only reports how far the log has grown; a thread of our own
// copies it back (passive checkpoints, which never block readers or the writer).
// It also watches the files: when the WAL was deleted under the server, the
// saves it still holds are copied into the database at once (a full checkpoint
// through the WAL this connection still has open), so that a crash loses none.
#include "SqliteConnection.h"
#include "SqliteFileGuard.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace trd::server {

class SqliteCheckpointer {
public:
    SqliteCheckpointer(const std::string& path, bool durable, SqliteFileGuard& guard);

    // Copies the whole WAL into the database now; true when all of it went.
    static bool rescue(sqlite3* db, SqliteFileGuard& guard);

    // sqlite3_wal_checkpoint_v2 in a blocking mode (FULL, RESTART,
    // TRUNCATE) that also waits, up to 10 s, for another connection's
    // checkpoint to end: SQLite answers SQLITE_BUSY at once, without its busy
    // handler, while that connection holds the checkpoint lock, and this
    // server's own background checkpoint may be running at any moment.
    static int checkpointWaiting(sqlite3* db, int mode, int* logPages, int* copied);
    ~SqliteCheckpointer();
    SqliteCheckpointer(const SqliteCheckpointer&) = delete;
    SqliteCheckpointer& operator=(const SqliteCheckpointer&) = delete;

    // Installs the WAL hook on the writer's connection (and so turns its
    // automatic checkpoint off); detach() before that connection closes.
    void attach(sqlite3* writer);
    void detach(sqlite3* writer);

private:
    static int walHook(void* self, sqlite3*, const char*, int pages);
    void run();

    SqliteConnection m_db;
    SqliteFileGuard& m_guard;
    bool m_rescued = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_pages = 0;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace trd::server
