#pragma once
// A throwaway PostgreSQL cluster for tests and benchmarks: initdb in a
// temporary folder, reachable only through a socket there, trust
// authentication for user "trd". As root the cluster belongs to nobody (the
// database server refuses to run as root). ready() is false when the server
// binaries (initdb, pg_ctl) are missing.
#include <QTemporaryDir>

#include <string>

namespace trd::test {

class PostgresCluster {
public:
    // durable=false turns the cluster's fsync off (tests: speed, not crashes).
    explicit PostgresCluster(bool durable = false);
    ~PostgresCluster();
    PostgresCluster(const PostgresCluster&) = delete;
    PostgresCluster& operator=(const PostgresCluster&) = delete;

    bool ready() const { return m_ready; }
    // A new empty database; returns its libpq connection string (empty on failure).
    std::string freshDatabase();
    // Stops the cluster as an outage would (fast shutdown: sessions are
    // cut), and starts it again; true on success.
    bool stop();
    bool start();

private:
    std::string run(const std::string& command) const;

    QTemporaryDir m_dir;
    std::string m_path;
    bool m_durable = false;
    bool m_ready = false;
    int m_databases = 0;
};

// The one cluster of a test or benchmark executable, started at first use.
PostgresCluster& postgresCluster();

} // namespace trd::test
