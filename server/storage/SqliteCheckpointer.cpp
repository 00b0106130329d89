#include "SqliteCheckpointer.h"

#include "Log.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <utility>

namespace trd::server {

namespace {
constexpr int CheckpointPages = 1000; // SQLite's own default threshold
}

SqliteCheckpointer::SqliteCheckpointer(const std::string& path, bool durable, SqliteFileGuard& guard)
    : m_db(path, durable, SqliteConnection::Mode::ReadWrite, notedVfsName()), m_guard(guard)
{
    m_guard.noteWritesOf(m_db.handle());
    m_thread = std::thread([this] { run(); });
}

SqliteCheckpointer::~SqliteCheckpointer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
    m_guard.stopNotingWritesOf(m_db.handle());
}

void SqliteCheckpointer::attach(sqlite3* writer)
{
    sqlite3_wal_hook(writer, &SqliteCheckpointer::walHook, this);
}

void SqliteCheckpointer::detach(sqlite3* writer)
{
    sqlite3_wal_hook(writer, nullptr, nullptr);
}

int SqliteCheckpointer::walHook(void* self, sqlite3*, const char*, int pages)
{
    auto* me = static_cast<SqliteCheckpointer*>(self);
    bool wake = false;
    {
        std::lock_guard lock(me->m_mutex);
        wake = me->m_pages < CheckpointPages && pages >= CheckpointPages;
        me->m_pages = pages;
    }
    if (wake)
        me->m_wake.notify_one();
    return SQLITE_OK;
}

int SqliteCheckpointer::checkpointWaiting(sqlite3* db, int mode, int* logPages, int* copied)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        const int rc = sqlite3_wal_checkpoint_v2(db, nullptr, mode, logPages, copied);
        if ((rc & 0xFF) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline)
            return rc;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool SqliteCheckpointer::rescue(sqlite3* db, SqliteFileGuard& guard)
{
    int logPages = 0, copied = 0;
    SqliteFileGuard::OwnWrite writing(guard);
    const int rc = checkpointWaiting(db, SQLITE_CHECKPOINT_FULL, &logPages, &copied);
    const bool all = rc == SQLITE_OK && copied == logPages;
    logFormat(all ? LogLevel::Info : LogLevel::Warning,
              "trd-server: %d de %d páginas do registro de transações copiadas para o banco%s", copied, logPages,
              all ? "" : " (cópia incompleta)");
    return all;
}

void SqliteCheckpointer::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        // A full log is copied at once; a small one within a second, so that
        // it does not linger while saves are rare.
        m_wake.wait_for(lock, std::chrono::seconds(1), [this] { return m_stop || m_pages >= CheckpointPages; });
        if (m_stop || m_rescued)
            continue;
        const int pages = std::exchange(m_pages, 0);
        // The files are looked at without the lock, which the writer's
        // commits take to report the log's growth.
        lock.unlock();
        if (!m_guard.checkContent().empty()) {
            m_rescued = true;
            if (m_guard.databaseIntact())
                rescue(m_db.handle(), m_guard);
        } else if (pages > 0) {
            int logPages = 0, copied = 0;
            // Busy or failed checkpoints are simply retried later; the log is safe.
            SqliteFileGuard::OwnWrite writing(m_guard);
            sqlite3_wal_checkpoint_v2(m_db.handle(), nullptr, SQLITE_CHECKPOINT_PASSIVE, &logPages, &copied);
        }
        lock.lock();
    }
}

} // namespace trd::server
