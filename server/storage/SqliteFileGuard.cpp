#include "SqliteFileGuard.h"

#include "Log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string_view>
#include <utility>

namespace trd::server {

namespace {

constexpr std::size_t HeaderBytes = 100;
constexpr int SamplePages = 16;
// A checkpoint's end reads back every page it wrote, up to this many; a
// larger one (the log of a bulk load) reads an even spread of them, which a
// copy set over the file meets as surely, at a bounded cost.
constexpr std::size_t MostPagesReadBack = 8192;
// Of the pages a checkpoint wrote, this many (spread over them) are watched
// with the sample afterwards.
constexpr std::size_t RecentPages = 48;

// Tells one page's content from another's at memory speed (a checkpoint's
// every page is digested as it is written and again when read back); no
// defence against anyone choosing the bytes, which nobody here does. Four
// lanes, each step a bijection of its lane for a given word, so a word that
// differs leaves its lane different to the end.
std::uint64_t digestOf(std::string_view bytes)
{
    constexpr std::uint64_t K = 0x9E3779B97F4A7C15ull;
    std::uint64_t lane[4] = {K, K ^ 1, K ^ 2, K ^ 3};
    const char* p = bytes.data();
    std::size_t n = bytes.size();
    for (; n >= 32; p += 32, n -= 32)
        for (int i = 0; i < 4; ++i) {
            std::uint64_t word;
            std::memcpy(&word, p + 8 * i, 8);
            lane[i] = (lane[i] ^ word) * K;
            lane[i] ^= lane[i] >> 29;
        }
    for (; n > 0; ++p, --n) {
        lane[0] = (lane[0] ^ static_cast<unsigned char>(*p)) * K;
        lane[0] ^= lane[0] >> 29;
    }
    std::uint64_t h = bytes.size();
    for (const std::uint64_t l : lane) {
        h = (h ^ l) * K;
        h ^= h >> 32;
    }
    return h;
}

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
    marks.pageSize = pageSize;
    const off_t pages = marks.size / static_cast<off_t>(pageSize);
    std::string page(pageSize, '\0');
    off_t last = -1;
    for (int i = 0; i < SamplePages && pages > 0; ++i) {
        const off_t index = pages == 1 ? 0 : static_cast<off_t>(i) * (pages - 1) / (SamplePages - 1);
        if (index == last)
            continue;
        last = index;
        const off_t offset = index * static_cast<off_t>(pageSize);
        const ssize_t got = ::pread(m_fd, page.data(), pageSize, offset);
        marks.sample.push_back(
            {offset, digestOf(std::string_view(page.data(), got > 0 ? static_cast<std::size_t>(got) : 0))});
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
    m_recent.clear();
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

bool SqliteFileGuard::writtenByOwnWrites(off_t offset, off_t end) const
{
    auto it = m_written.upper_bound(offset);
    if (it != m_written.begin() && std::prev(it)->second.end > offset)
        return true;
    return it != m_written.end() && it->first < end;
}

std::vector<SqliteFileGuard::ReadBack> SqliteFileGuard::pagesToReadBack() const
{
    std::vector<ReadBack> pages;
    if (m_unnotedWriter || m_fd < 0)
        return pages;
    if (!m_written.empty()) {
        const std::size_t step = (m_written.size() + MostPagesReadBack - 1) / MostPagesReadBack;
        pages.reserve(m_written.size() / step + 1 + m_marks.sample.size());
        std::size_t i = 0;
        for (const auto& [offset, w] : m_written)
            if (i++ % step == 0 && w.readable)
                pages.push_back({offset, w.end, w.digest, true});
    }
    for (const std::vector<SampledPage>* watched : {&m_marks.sample, &m_recent})
        for (const SampledPage& page : *watched)
            if (const ReadBack unwritten = readBackOf(page); !writtenByOwnWrites(unwritten.offset, unwritten.end))
                pages.push_back(unwritten);
    return pages;
}

SqliteFileGuard::ReadBack SqliteFileGuard::readBackOf(const SampledPage& page) const
{
    return {page.offset, page.offset + static_cast<off_t>(m_marks.pageSize), page.digest, false};
}

std::vector<SqliteFileGuard::SampledPage> SqliteFileGuard::recentFromWritten() const
{
    std::vector<SampledPage> recent;
    if (m_written.empty() || m_marks.pageSize == 0)
        return m_recent; // nothing written: the pages written before still stand
    const std::size_t step = (m_written.size() + RecentPages - 1) / RecentPages;
    std::size_t i = 0;
    for (const auto& [offset, w] : m_written)
        if (i++ % step == 0 && w.readable && w.end - offset == static_cast<off_t>(m_marks.pageSize))
            recent.push_back({offset, w.digest});
    return recent;
}

SqliteFileGuard::ReadBackCount SqliteFileGuard::countChanged(int fd, std::vector<ReadBack> pages)
{
    // Pages side by side are read in one call: a system call a page costs
    // more than the copy, and a checkpoint writes many neighbours.
    constexpr off_t MostBytesARead = 1 << 20;
    std::sort(pages.begin(), pages.end(), [](const ReadBack& a, const ReadBack& b) { return a.offset < b.offset; });
    std::string bytes;
    ReadBackCount count;
    for (std::size_t first = 0; first < pages.size();) {
        std::size_t last = first + 1;
        while (last < pages.size() && pages[last].offset == pages[last - 1].end
               && pages[last].end - pages[first].offset <= MostBytesARead)
            ++last;
        const off_t start = pages[first].offset;
        bytes.resize(static_cast<std::size_t>(pages[last - 1].end - start));
        const ssize_t got = ::pread(fd, bytes.data(), bytes.size(), start);
        for (std::size_t i = first; i < last; ++i) {
            const ReadBack& page = pages[i];
            const off_t from = page.offset - start;
            const bool differs = got < static_cast<ssize_t>(page.end - start)
                || digestOf(std::string_view(bytes).substr(static_cast<std::size_t>(from),
                                                           static_cast<std::size_t>(page.end - page.offset)))
                    != page.digest;
            count.read += page.written;
            count.changed += differs && page.written;
            count.changedUnwritten += differs && !page.written;
        }
        first = last;
    }
    return count;
}

std::string SqliteFileGuard::changedOnReadBack(int fd, std::vector<ReadBack> pages)
{
    const ReadBackCount count = countChanged(fd, std::move(pages));
    if (count.changed > 0)
        return "páginas que o servidor acabara de copiar do registro de transações para o arquivo do banco de dados "
               "não estão mais nele ("
            + std::to_string(count.changed) + " de " + std::to_string(count.read)
            + " lidas de volta; outro programa escreveu no arquivo enquanto o servidor o fazia)";
    if (count.changedUnwritten > 0)
        return "páginas do arquivo do banco de dados que o servidor não gravou mudaram enquanto ele copiava o registro "
               "de transações para o arquivo ("
            + std::to_string(count.changedUnwritten) + "; outro programa escreveu no arquivo)";
    return {};
}

void SqliteFileGuard::written(sqlite3_int64 offset, const void* data, int amount)
{
    std::lock_guard lock(m_mutex);
    if (m_ownWrites == 0 || amount <= 0)
        return;
    Written w{static_cast<off_t>(offset + amount),
              digestOf(std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(amount)))};
    off_t start = static_cast<off_t>(offset);
    // SQLite writes whole pages, each once a checkpoint; should a write ever
    // cover part of an earlier one, the stretch they make together is known
    // to be the server's, though no longer by one digest.
    auto it = m_written.upper_bound(start);
    if (it != m_written.begin() && std::prev(it)->second.end > start)
        --it;
    while (it != m_written.end() && it->first < w.end) {
        if (it->first != start || it->second.end != w.end)
            w.readable = false;
        start = std::min(start, it->first);
        w.end = std::max(w.end, it->second.end);
        it = m_written.erase(it);
    }
    m_written[start] = w;
}

void SqliteFileGuard::truncated(sqlite3_int64 size)
{
    std::lock_guard lock(m_mutex);
    if (m_ownWrites == 0)
        return;
    auto it = m_written.lower_bound(static_cast<off_t>(size));
    m_written.erase(it, m_written.end());
    if (!m_written.empty() && m_written.rbegin()->second.end > size) {
        m_written.rbegin()->second.end = static_cast<off_t>(size);
        m_written.rbegin()->second.readable = false;
    }
}

void SqliteFileGuard::noteWritesOf(sqlite3* db)
{
    if (!m_watchContent || noteWritesInto(db, this))
        return;
    std::lock_guard lock(m_mutex);
    m_unnotedWriter = true;
    logFormat(LogLevel::Warning,
              "trd-server: uma conexão ao banco %s não informa o que grava; uma cópia sobre o arquivo durante a "
              "cópia do registro de transações pode passar despercebida",
              m_path.c_str());
}

void SqliteFileGuard::stopNotingWritesOf(sqlite3* db)
{
    if (m_watchContent)
        noteWritesInto(db, nullptr);
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
    else if (withSample && !m_recent.empty()) {
        std::vector<ReadBack> recent;
        for (const SampledPage& page : m_recent)
            recent.push_back(readBackOf(page));
        const std::size_t watched = recent.size();
        if (const std::size_t changed = countChanged(m_fd, std::move(recent)).changedUnwritten; changed > 0)
            change = "páginas que o servidor gravou por último no arquivo do banco de dados mudaram ("
                + std::to_string(changed) + " de " + std::to_string(watched) + ")";
    }
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
    SqliteFileGuard& g = m_guard;
    std::unique_lock lock(g.m_mutex);
    if (g.m_ownWrites > 1 || !g.m_recorded || !g.m_lost.empty()) {
        if (--g.m_ownWrites == 0)
            g.m_written.clear();
        return;
    }
    // The last of the server's own writes. What they wrote is read back with
    // the lock let go, so that a save checking the files meanwhile does not
    // wait for it; until the marks are taken the file still counts as being
    // written by the server.
    std::vector<ReadBack> pages = g.m_watchContent ? g.pagesToReadBack() : std::vector<ReadBack>();
    lock.unlock();
    const Marks now = g.readMarks(true);
    std::string change = changedOnReadBack(g.m_fd, std::move(pages));
    lock.lock();
    // Another began meanwhile and may have written over these very pages:
    // its end reads back what both wrote.
    if (--g.m_ownWrites > 0)
        return;
    if (g.m_lost.empty()) {
        // A file cut or written over while they ran is no new state to take
        // as the file's own.
        if (std::string cut = g.cutUnderOwnWrites(now); !cut.empty())
            change = std::move(cut);
        if (!change.empty()) {
            g.lose(Loss::Content, "o arquivo do banco de dados foi alterado por outro programa", change);
        } else {
            g.m_recent = g.recentFromWritten();
            g.m_marks = now;
        }
    }
    g.m_written.clear();
}

} // namespace trd::server
