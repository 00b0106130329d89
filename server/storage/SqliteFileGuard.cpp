#include "SqliteFileGuard.h"

#include <cstdio>
#include <sys/stat.h>

namespace trd::server {

SqliteFileGuard::SqliteFileGuard(std::string path) : m_path(std::move(path)) {}

SqliteFileGuard::Identity SqliteFileGuard::identityOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return {true, st.st_dev, st.st_ino};
}

void SqliteFileGuard::record(bool withWal)
{
    std::lock_guard lock(m_mutex);
    m_db = identityOf(m_path);
    m_withWal = withWal;
    if (withWal) {
        m_wal = identityOf(m_path + "-wal");
        m_shm = identityOf(m_path + "-shm");
    }
    m_recorded = true;
}

std::string SqliteFileGuard::check()
{
    std::lock_guard lock(m_mutex);
    if (!m_recorded || !m_lost.empty())
        return m_lost;
    const Identity db = identityOf(m_path);
    std::string what;
    if (!db.present)
        what = "o arquivo do banco de dados foi removido";
    else if (db != m_db)
        what = "o arquivo do banco de dados foi substituído por outro";
    else if (m_withWal && identityOf(m_path + "-wal") != m_wal)
        what = "o registro de transações (-wal) do banco de dados foi removido ou substituído";
    else if (m_withWal && identityOf(m_path + "-shm") != m_shm)
        what = "o índice compartilhado (-shm) do banco de dados foi removido ou substituído";
    if (what.empty())
        return {};
    m_lost = "O servidor não grava mais: " + what
        + " enquanto o servidor estava em execução. Nada foi gravado. Avise o administrador do sistema "
          "(o servidor precisa ser reiniciado sobre o banco correto).";
    std::fprintf(stderr, "trd-server: %s (%s): alterações recusadas até reiniciar\n", what.c_str(), m_path.c_str());
    return m_lost;
}

} // namespace trd::server

namespace trd::server {

bool SqliteFileGuard::databaseIntact()
{
    std::lock_guard lock(m_mutex);
    return m_recorded && identityOf(m_path) == m_db;
}

} // namespace trd::server
