#pragma once
// The glossary's statements (TermStore.h) on a PostgreSQL connection.
#include "PostgresConnection.h"
#include "TermStore.h"

namespace trd::server {

class PostgresTermDb final : public TermDb {
public:
    explicit PostgresTermDb(PostgresConnection& db) : m_db(db) { }
    void run(const std::string& sql, const std::vector<Value>& values,
             const std::function<void(const Row&)>& visit) override;

private:
    PostgresConnection& m_db;
};

} // namespace trd::server
