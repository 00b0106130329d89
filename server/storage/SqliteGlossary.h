#pragma once
// The glossary's statements (TermStore.h) on a SQLite connection.
#include "SqliteConnection.h"
#include "TermStore.h"

namespace trd::server {

class SqliteTermDb final : public TermDb {
public:
    explicit SqliteTermDb(SqliteConnection& db) : m_db(db) { }
    void run(const std::string& sql, const std::vector<Value>& values,
             const std::function<void(const Row&)>& visit) override;

private:
    SqliteConnection& m_db;
};

namespace sqliteglossary {
// Creates the tables when they are missing (any earlier schema takes them),
// on a database that may be written.
void ensureSchema(const std::string& path, bool durable);
} // namespace sqliteglossary

} // namespace trd::server
