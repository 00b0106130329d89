#include "SqliteIntegrityWatch.h"

#include "Log.h"
#include "SqliteConnection.h"
#include "SqlitePacedVfs.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>

namespace trd::server {

SqliteIntegrityWatch::SqliteIntegrityWatch(std::string path, bool readOnly, std::chrono::seconds interval,
                                           SqliteFileGuard& guard, std::atomic<bool>& damaged)
    : m_path(std::move(path)), m_readOnly(readOnly), m_interval(interval), m_guard(guard), m_damaged(damaged),
      m_thread([this] { run(); })
{
}

SqliteIntegrityWatch::~SqliteIntegrityWatch()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_stopping = true;
    m_wake.notify_one();
    m_thread.join();
}

std::string SqliteIntegrityWatch::checkOnce()
{
    std::string findings;
    try {
        // Read paced, a quarter of the time: the check is there for damage
        // no read has met yet, which can wait a few seconds more.
        SqliteConnection db(m_path, true,
                            m_readOnly ? SqliteConnection::Mode::ReadOnly : SqliteConnection::Mode::ReadWrite,
                            pacedVfsName());
        db.exec("PRAGMA cache_size=-2000");
        stopPacedReadsWhen(db.handle(), m_stopping);
        auto st = db.prepare("PRAGMA quick_check(20)");
        while (st.step()) {
            const std::string_view line = st.text(0);
            if (line == "ok")
                continue;
            findings += findings.empty() ? "" : "; ";
            findings += line;
        }
    } catch (const SqliteError& e) {
        if (m_stopping)
            return {};
        // A page that cannot be read at all (cut short, unreadable) is damage
        // too; a busy or locked file is only tried again next time.
        if (e.isDamage() || (e.code() & 0xFF) == SQLITE_IOERR)
            return e.what();
        logFormat(LogLevel::Warning, "trd-server: verificação de integridade de %s adiada: %s", m_path.c_str(),
                  e.what());
    }
    return findings;
}

void SqliteIntegrityWatch::run()
{
    // Saves and reads come first: the check takes what the processors leave.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 19);
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_wake.wait_for(lock, m_interval, [this] { return m_stop; }))
            return;
        lock.unlock();
        if (m_guard.check().empty()) {
            const auto start = std::chrono::steady_clock::now();
            const std::string findings = checkOnce();
            if (m_stopping)
                return; // cut short by the server's end: it found nothing
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            m_lastOk = findings.empty();
            m_lastMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
            if (findings.empty()) {
                logFormat(LogLevel::Info, "trd-server: verificação de integridade de %s: sem falhas (%.0f ms)",
                          m_path.c_str(), ms);
            } else if (m_guard.check().empty()) {
                // Found with the files still the ones recorded: damage in them.
                m_damaged = true;
                m_guard.markDamaged(findings.substr(0, 600));
            }
        }
        lock.lock();
    }
}

} // namespace trd::server
