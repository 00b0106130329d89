#pragma once
// Moves WAL checkpoints off the save path. SQLite's automatic checkpoint runs
// inside the commit that crosses its threshold, so one save in a thousand
// pages would also pay for copying the log into the database and its fsyncs.
// Here the writer only reports how far the log has grown; a thread of our own
// copies it back (passive checkpoints, which never block readers or the writer).
#include "SqliteConnection.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace trd::server {

class SqliteCheckpointer {
public:
    SqliteCheckpointer(const std::string& path, bool durable);
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
    std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_pages = 0;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace trd::server
