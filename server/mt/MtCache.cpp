#include "MtCache.h"

#include "ServerError.h"

#include <sqlite3.h>

namespace trd::server::mt {

namespace {

class Statement {
public:
    Statement(sqlite3* db, const char* sql)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_st, nullptr) != SQLITE_OK)
            throw ServerError(ErrorKind::Internal, "O cache da tradução automática falhou.", sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(m_st); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    Statement& bind(int i, const std::string& text)
    {
        sqlite3_bind_text(m_st, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    bool step() { return sqlite3_step(m_st) == SQLITE_ROW; }
    void reset() { sqlite3_reset(m_st); }
    std::string text(int i) const
    {
        const auto* p = sqlite3_column_text(m_st, i);
        return p
            ? std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(sqlite3_column_bytes(m_st, i)))
            : std::string();
    }
    std::int64_t integer(int i) const { return sqlite3_column_int64(m_st, i); }

private:
    sqlite3_stmt* m_st = nullptr;
};

void exec(sqlite3* db, const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string why = error ? error : "?";
        sqlite3_free(error);
        throw ServerError(ErrorKind::Internal, "O cache da tradução automática falhou.", why);
    }
}

} // namespace

MtCache::MtCache(const std::string& path)
{
    const std::string file = path.empty() ? std::string(":memory:") : path;
    if (sqlite3_open_v2(file.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr)
        != SQLITE_OK) {
        const std::string why = m_db ? sqlite3_errmsg(m_db) : "?";
        sqlite3_close(m_db);
        m_db = nullptr;
        throw ServerError(ErrorKind::Internal, "Não foi possível abrir o cache da tradução automática " + path + ".",
                          why);
    }
    sqlite3_busy_timeout(m_db, 2000);
    exec(m_db,
         "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
         "CREATE TABLE IF NOT EXISTS RESPOSTA (NMMOTOR TEXT NOT NULL, DSROTA TEXT NOT NULL, "
         "STORIGEM TEXT NOT NULL, DSVERSAO TEXT NOT NULL, STRESPOSTA TEXT NOT NULL, "
         "PRIMARY KEY (NMMOTOR, DSROTA, STORIGEM)) WITHOUT ROWID");
}

MtCache::~MtCache()
{
    sqlite3_close(m_db);
}

std::optional<std::string> MtCache::find(const Key& key)
{
    std::lock_guard lock(m_mutex);
    Statement st(m_db,
                 "SELECT STRESPOSTA FROM RESPOSTA WHERE NMMOTOR = ? AND DSROTA = ? AND STORIGEM = ? "
                 "AND DSVERSAO = ?");
    st.bind(1, key.engine).bind(2, key.route).bind(3, key.text).bind(4, key.version);
    if (!st.step())
        return std::nullopt;
    return st.text(0);
}

void MtCache::store(const std::vector<std::pair<Key, std::string>>& answers)
{
    if (answers.empty())
        return;
    std::lock_guard lock(m_mutex);
    exec(m_db, "BEGIN");
    try {
        Statement st(m_db, "INSERT OR REPLACE INTO RESPOSTA VALUES (?, ?, ?, ?, ?)");
        for (const auto& [key, answer] : answers) {
            st.bind(1, key.engine).bind(2, key.route).bind(3, key.text).bind(4, key.version).bind(5, answer);
            st.step();
            st.reset();
        }
        exec(m_db, "COMMIT");
    } catch (...) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::int64_t MtCache::size()
{
    std::lock_guard lock(m_mutex);
    Statement st(m_db, "SELECT COUNT(*) FROM RESPOSTA");
    return st.step() ? st.integer(0) : 0;
}

} // namespace trd::server::mt
