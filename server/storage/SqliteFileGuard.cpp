#include "SqliteFileGuard.h"

#include "Log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string_view>

namespace trd::server {

namespace {

constexpr std::size_t HeaderBytes = 100;
constexpr int SamplePages = 16;

const char* const RestoreAdvice = "restaure a última cópia de segurança do banco (veja docs/server.md, \"Backup and "
                                  "restore\")";

} // namespace

SqliteFileGuard::SqliteFileGuard(std::string path, bool watchContent)
    : m_path(std::move(path)), m_watchContent(watchContent)
{
}

SqliteFileGuard::~SqliteFileGuard()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

SqliteFileGuard::Identity SqliteFileGuard::identityOf(const std::string& path, off_t* size)
{
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0)
        return {};
    if (size)
        *size = st.st_size;
    return {true, st.st_dev, st.st_ino};
}

SqliteFileGuard::Marks SqliteFileGuard::readMarks(bool withSample) const
{
    Marks marks;
    struct stat st { };
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return marks;
    marks.size = st.st_size;
    const off_t hole = st.st_size > 0 ? ::lseek(m_fd, 0, SEEK_HOLE) : 0;
    marks.firstHole = hole >= 0 ? hole : st.st_size;
    marks.header.resize(HeaderBytes);
    const ssize_t n = ::pread(m_fd, marks.header.data(), HeaderBytes, 0);
    marks.header.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    if (!withSample || marks.header.size() < HeaderBytes)
        return marks;
    const auto* h = reinterpret_cast<const unsigned char*>(marks.header.data());
    std::size_t pageSize = (std::size_t(h[16]) << 8) | h[17];
    if (pageSize == 1)
        pageSize = 65536;
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0)
        return marks;
    const off_t pages = marks.size / static_cast<off_t>(pageSize);
    std::string page(pageSize, '\0');
    off_t last = -1;
    for (int i = 0; i < SamplePages && pages > 0; ++i) {
        const off_t index = pages == 1 ? 0 : static_cast<off_t>(i) * (pages - 1) / (SamplePages - 1);
        if (index == last)
            continue;
        last = index;
        const ssize_t got = ::pread(m_fd, page.data(), pageSize, index * static_cast<off_t>(pageSize));
        marks.sample.push_back(
            std::hash<std::string_view>()(std::string_view(page.data(), got > 0 ? static_cast<std::size_t>(got) : 0)));
    }
    return marks;
}

void SqliteFileGuard::record(bool withWal)
{
    std::lock_guard lock(m_mutex);
    m_db = identityOf(m_path);
    if (m_fd < 0)
        m_fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    m_marks = readMarks(true);
    m_withWal = withWal;
    if (withWal) {
        m_wal = identityOf(m_path + "-wal");
        m_shm = identityOf(m_path + "-shm");
    }
    m_recorded = true;
}

std::string SqliteFileGuard::lose(Loss loss, const std::string& what, const std::string& log)
{
    m_loss = loss;
    m_lost = "O servidor não grava mais: " + what
        + (loss == Loss::Damage ? std::string() : " enquanto o servidor estava em execução")
        + ". Nada foi gravado. Avise o administrador do sistema "
        + (loss == Loss::Files ? "(o servidor precisa ser reiniciado sobre o banco correto)."
                               : "(o banco precisa ser restaurado da última cópia de segurança).");
    logFormat(LogLevel::Error, "trd-server: %s (%s): alterações recusadas até reiniciar%s%s", log.c_str(),
              m_path.c_str(), loss == Loss::Files ? "" : "; ", loss == Loss::Files ? "" : RestoreAdvice);
    return m_lost;
}

std::string SqliteFileGuard::cutUnderOwnWrites(const Marks& now) const
{
    if (now.size < 0 || m_marks.size < 0)
        return {};
    if (now.size < m_marks.size)
        return "o tamanho do arquivo do banco de dados mudou de " + std::to_string(m_marks.size) + " para "
            + std::to_string(now.size) + " bytes sem que o servidor as gravasse (outro programa o cortou)";
    if (now.firstHole < m_marks.firstHole)
        return "o arquivo do banco de dados perdeu as páginas a partir do byte " + std::to_string(now.firstHole)
            + " (de " + std::to_string(now.size)
            + " bytes) sem que o servidor as gravasse (outro programa o cortou e o servidor voltou a escrever nele)";
    return {};
}

std::string SqliteFileGuard::compare(bool withSample)
{
    if (!m_recorded || !m_lost.empty())
        return m_lost;
    off_t size = -1;
    const Identity db = identityOf(m_path, &size);
    if (!db.present)
        return lose(Loss::Files, "o arquivo do banco de dados foi removido",
                    "o arquivo do banco de dados foi removido");
    if (db != m_db)
        return lose(Loss::Files, "o arquivo do banco de dados foi substituído por outro",
                    "o arquivo do banco de dados foi substituído por outro");
    if (m_withWal && identityOf(m_path + "-wal") != m_wal)
        return lose(Loss::Files, "o registro de transações (-wal) do banco de dados foi removido ou substituído",
                    "o registro de transações (-wal) do banco de dados foi removido ou substituído");
    if (m_withWal && identityOf(m_path + "-shm") != m_shm)
        return lose(Loss::Files, "o índice compartilhado (-shm) do banco de dados foi removido ou substituído",
                    "o índice compartilhado (-shm) do banco de dados foi removido ou substituído");
    if (!m_watchContent)
        return {};
    const Marks now = readMarks(withSample && m_ownWrites == 0);
    std::string change = cutUnderOwnWrites(now);
    if (m_ownWrites > 0 && change.empty())
        return {};
    if (!change.empty())
        return lose(Loss::Content, "o arquivo do banco de dados foi alterado por outro programa", change);
    if (now.size != m_marks.size)
        change = "o tamanho do arquivo do banco de dados mudou de " + std::to_string(m_marks.size) + " para "
            + std::to_string(now.size) + " bytes";
    else if (now.header != m_marks.header)
        change = "o cabeçalho do arquivo do banco de dados mudou";
    else if (withSample && !m_marks.sample.empty() && now.sample != m_marks.sample)
        change = "páginas do arquivo do banco de dados mudaram";
    if (change.empty())
        return {};
    return lose(Loss::Content, "o arquivo do banco de dados foi alterado por outro programa",
                change + " sem que o servidor as gravasse (outro programa o cortou ou escreveu nele)");
}

std::string SqliteFileGuard::check()
{
    std::lock_guard lock(m_mutex);
    return compare(false);
}

std::string SqliteFileGuard::checkContent()
{
    std::lock_guard lock(m_mutex);
    return compare(true);
}

bool SqliteFileGuard::databaseIntact()
{
    std::lock_guard lock(m_mutex);
    return m_recorded && (m_loss == Loss::None || m_loss == Loss::Files) && identityOf(m_path) == m_db
        && (!m_watchContent || readMarks(false).size == m_marks.size);
}

std::string SqliteFileGuard::markDamaged(const std::string& findings)
{
    std::lock_guard lock(m_mutex);
    if (!m_lost.empty())
        return m_lost;
    return lose(Loss::Damage, "a verificação de integridade encontrou páginas danificadas no banco de dados",
                "a verificação de integridade do banco encontrou danos: " + findings);
}

SqliteFileGuard::OwnWrite::OwnWrite(SqliteFileGuard& guard) : m_guard(guard)
{
    std::lock_guard lock(m_guard.m_mutex);
    // What changed before these writes began is no part of them: looked at
    // now, or the marks taken at their end would adopt it.
    if (m_guard.m_ownWrites == 0)
        m_guard.compare(false);
    ++m_guard.m_ownWrites;
}

SqliteFileGuard::OwnWrite::~OwnWrite()
{
    std::lock_guard lock(m_guard.m_mutex);
    if (--m_guard.m_ownWrites != 0 || !m_guard.m_recorded || !m_guard.m_lost.empty())
        return;
    const Marks now = m_guard.readMarks(true);
    // A file cut while they ran is no new state to take as the file's own.
    if (const std::string cut = m_guard.cutUnderOwnWrites(now); !cut.empty()) {
        m_guard.lose(Loss::Content, "o arquivo do banco de dados foi alterado por outro programa", cut);
        return;
    }
    m_guard.m_marks = now;
}

} // namespace trd::server
