#include "PostgresCluster.h"

#include <cstdlib>
#include <unistd.h>

namespace trd::test {

namespace {
constexpr const char* Port = "5439";
}

std::string PostgresCluster::run(const std::string& command) const
{
    return geteuid() == 0 ? "runuser -u nobody -- " + command : command;
}

PostgresCluster::PostgresCluster(bool durable) : m_durable(durable)
{
    if (!m_dir.isValid() || std::system("command -v initdb >/dev/null 2>&1 && command -v pg_ctl >/dev/null 2>&1") != 0)
        return;
    m_path = m_dir.path().toStdString();
    if (geteuid() == 0 && std::system(("chown nobody " + m_path).c_str()) != 0)
        return;
    const std::string log = m_path + "/pg.log";
    if (std::system(run("initdb -D " + m_path + "/data -E UTF8 --locale=C -A trust -U trd >" + log + " 2>&1").c_str())
        != 0)
        return;
    m_ready = start();
}

PostgresCluster::~PostgresCluster()
{
    if (m_ready)
        std::system(run("pg_ctl -D " + m_path + "/data -m immediate stop >/dev/null 2>&1").c_str());
}

bool PostgresCluster::start()
{
    // The server's own log must be a file the server user creates.
    return std::system(run("pg_ctl -D " + m_path + "/data -w -l " + m_path + "/data/server.log -o \"-k " + m_path
                           + " -c listen_addresses='' -p " + Port + std::string(m_durable ? "" : " -F")
                           + " -c max_connections=300\" start >>" + m_path + "/pg.log 2>&1")
                           .c_str())
        == 0;
}

bool PostgresCluster::stop()
{
    return std::system(run("pg_ctl -D " + m_path + "/data -w -m fast stop >>" + m_path + "/pg.log 2>&1").c_str()) == 0;
}

std::string PostgresCluster::freshDatabase()
{
    const std::string name = "trd" + std::to_string(++m_databases);
    if (std::system(run("createdb -h " + m_path + " -p " + Port + " -U trd " + name).c_str()) != 0)
        return {};
    return "host=" + m_path + " port=" + Port + " user=trd dbname=" + name;
}

PostgresCluster& postgresCluster()
{
    static PostgresCluster instance;
    return instance;
}

} // namespace trd::test
