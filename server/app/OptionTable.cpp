#include "OptionTable.h"

#include "ServerOptions.h"

#include <charconv>

namespace trd::server {

namespace {

bool toNumber(const std::string& text, long long& value)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool toReal(const std::string& text, double& value)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

using Apply = std::function<bool(ServerOptions&, const std::string&, std::string&)>;

OptionEntry flag(std::string name, bool ServerOptions::*member)
{
    return {std::move(name), OptionArity::Flag, true, {}, [member](ServerOptions& o, const std::string&, std::string&) {
                o.*member = true;
                return true;
            }};
}

OptionEntry text(std::string name, std::string ServerOptions::*member, bool inFile = true, std::string group = {})
{
    return {std::move(name), OptionArity::Value, inFile, std::move(group),
            [member](ServerOptions& o, const std::string& v, std::string&) {
                o.*member = v;
                return true;
            }};
}

// A whole number from low to high into an int member, or the message.
OptionEntry integer(std::string name, int ServerOptions::*member, long long low, long long high, std::string message,
                   int scale = 1)
{
    return {
        std::move(name), OptionArity::Value, true, {}, [=](ServerOptions& o, const std::string& v, std::string& error) {
            long long n = 0;
            if (!toNumber(v, n) || n < low || n > high) {
                error = message;
                return false;
            }
            o.*member = static_cast<int>(n * scale);
            return true;
        }};
}

bool applyListen(ServerOptions& o, const std::string& v, std::string& error)
{
    // An IPv6 address goes in brackets, as in a URL: [::1]:8211.
    const std::size_t colon = v.rfind(':');
    long long port = -1;
    std::string host = colon == std::string::npos ? std::string() : v.substr(0, colon);
    const bool bracketed = host.size() > 2 && host.front() == '[' && host.back() == ']';
    if (bracketed)
        host = host.substr(1, host.size() - 2);
    if (colon == std::string::npos || host.empty() || !toNumber(v.substr(colon + 1), port) || port < 0 || port > 65535
        || (!bracketed && host.find_first_of(":[]") != std::string::npos)
        || (bracketed && host.find_first_of("[]") != std::string::npos)) {
        error = "--listen espera HOST:PORTA (um endereço IPv6 entre colchetes: [::1]:8211), recebeu " + v;
        return false;
    }
    o.host = host;
    o.port = static_cast<int>(port);
    return true;
}

std::vector<OptionEntry> buildTable()
{
    const auto limited = [](const std::string& option, long long top) {
        return option + " espera um número de 1 a " + std::to_string(top);
    };
    std::vector<OptionEntry> table;
    table.push_back(text("db", &ServerOptions::db, true, "database"));
    table.push_back(text("pg", &ServerOptions::pg, true, "database"));
    table.push_back({"listen", OptionArity::Value, true, {}, applyListen});
    table.push_back(flag("create", &ServerOptions::create));
    table.push_back(flag("demo", &ServerOptions::demo));
    table.push_back(flag("read-only", &ServerOptions::readOnly));
    table.push_back(flag("full-check", &ServerOptions::fullCheck));
    table.push_back(integer("check-every", &ServerOptions::checkEveryS, 0, 7 * 86400,
                            "--check-every espera um número de segundos de 0 a 604800 (0: só ao iniciar)"));
    table.push_back(
        {"min-free", OptionArity::Value, true, {}, [](ServerOptions& o, const std::string& v, std::string& error) {
             long long n = 0;
             if (!toNumber(v, n) || n < 0 || n > (1ll << 30)) {
                 error = "--min-free espera um número de MiB";
                 return false;
             }
             o.minFreeMib = static_cast<std::uint64_t>(n);
             return true;
         }});
    table.push_back(text("backup", &ServerOptions::backup, false));
    table.push_back({"prune-history",
                     OptionArity::Value,
                     false,
                     {},
                     [](ServerOptions& o, const std::string& v, std::string& error) {
                         double days = 0;
                         if (!toReal(v, days) || days < 0 || days > 1e6) {
                             error = "--prune-history espera um número de dias (0 ou mais)";
                             return false;
                         }
                         o.pruneHistoryDays = days;
                         return true;
                     }});
    for (const char* name : {"pg-statement-timeout", "pg-lock-timeout"}) {
        const bool lock = std::string(name) == "pg-lock-timeout";
        table.push_back({name,
                         OptionArity::Value,
                         true,
                         {},
                         [name, lock](ServerOptions& o, const std::string& v, std::string& error) {
                             double seconds = 0;
                             if (!toReal(v, seconds) || seconds < 0.01 || seconds > 86400) {
                                 error = std::string("--") + name + " espera um tempo em segundos (de 0.01 a 86400)";
                                 return false;
                             }
                             (lock ? o.pgLockTimeoutMs : o.pgStatementTimeoutMs) =
                                 static_cast<int>(seconds * 1000 + 0.5);
                             return true;
                         }});
    }
    table.push_back(integer("threads", &ServerOptions::threads, 1, 1024, "--threads espera um número de 1 a 1024"));
    table.push_back(
        {"max-body", OptionArity::Value, true, {}, [](ServerOptions& o, const std::string& v, std::string& error) {
             long long n = 0;
             if (!toNumber(v, n) || n < 1 || n > 4096) {
                 error = "--max-body espera um número de MiB de 1 a 4096";
                 return false;
             }
             o.maxBody = static_cast<std::size_t>(n) << 20;
             return true;
         }});
    table.push_back(
        {"body-memory", OptionArity::Value, true, {}, [](ServerOptions& o, const std::string& v, std::string& error) {
             long long n = 0;
             if (!toNumber(v, n) || n < 1 || n > (1ll << 20)) {
                 error = "--body-memory espera um número de MiB";
                 return false;
             }
             o.bodyMemory = static_cast<std::size_t>(n) << 20;
             return true;
         }});
    table.push_back(
        integer("max-connections", &ServerOptions::maxConnections, 1, 1000000, limited("--max-connections", 1000000)));
    table.push_back(
        integer("max-per-address", &ServerOptions::maxPerAddress, 1, 100000, limited("--max-per-address", 100000)));
    table.push_back(
        integer("request-timeout", &ServerOptions::requestTimeoutS, 1, 86400, limited("--request-timeout", 86400)));
    table.push_back(integer("idle-timeout", &ServerOptions::idleTimeoutS, 1, 86400, limited("--idle-timeout", 86400)));
    table.push_back(
        integer("write-timeout", &ServerOptions::writeTimeoutS, 1, 86400, limited("--write-timeout", 86400)));
    table.push_back(integer("statement-timeout", &ServerOptions::statementTimeoutS, 1, 86400,
                            limited("--statement-timeout", 86400)));
    table.push_back(text("users", &ServerOptions::users));
    table.push_back(integer("session-timeout", &ServerOptions::sessionS, 1, 30LL * 86400,
                            "--session-timeout espera um número de segundos de 1 a 2592000"));
    table.push_back({"server-name",
                     OptionArity::Repeated,
                     true,
                     {},
                     [](ServerOptions& o, const std::string& v, std::string& error) {
                         if (v.empty() || v.find_first_of(" \t/@") != std::string::npos) {
                             error = "--server-name espera um nome de computador (ex. trd.empresa.local), recebeu " + v;
                             return false;
                         }
                         o.serverNames.push_back(v);
                         return true;
                     }});
    table.push_back(text("tls-cert", &ServerOptions::tlsCert));
    table.push_back(text("tls-key", &ServerOptions::tlsKey));
    table.push_back(text("import-tsv", &ServerOptions::importTsv));
    table.push_back(flag("quiet", &ServerOptions::quiet));
    table.push_back(text("config", &ServerOptions::config, false));
    table.push_back(text("backup-dir", &ServerOptions::backupDir));
    table.push_back(integer("backup-every", &ServerOptions::backupEveryS, 1, 366LL * 86400,
                            "--backup-every espera um número de segundos de 1 a 31622400"));
    table.push_back(
        integer("keep-daily", &ServerOptions::keepDaily, 0, 10000, "--keep-daily espera um número de 0 a 10000"));
    table.push_back(
        integer("keep-weekly", &ServerOptions::keepWeekly, 0, 10000, "--keep-weekly espera um número de 0 a 10000"));
    table.push_back(
        integer("keep-monthly", &ServerOptions::keepMonthly, 0, 10000, "--keep-monthly espera um número de 0 a 10000"));
    table.push_back(
        {"metrics-token", OptionArity::Value, true, {}, [](ServerOptions& o, const std::string& v, std::string& error) {
             if (v.size() < 16) {
                 error = "--metrics-token espera um segredo de ao menos 16 caracteres";
                 return false;
             }
             o.metricsToken = v;
             return true;
         }});
    // Machine translation (docs/machine-translation.md).
    table.push_back(
        {"mt-url", OptionArity::Value, true, {}, [](ServerOptions& o, const std::string& v, std::string& error) {
             if (v.rfind("http://", 0) != 0) {
                 error = "--mt-url espera um endereço http:// (ex. http://127.0.0.1:2737), recebeu " + v;
                 return false;
             }
             o.mtUrl = v;
             return true;
         }});
    table.push_back(text("mt-source", &ServerOptions::mtSource));
    table.push_back(
        {"mt-language", OptionArity::Repeated, true, {}, [](ServerOptions& o, const std::string& v, std::string& error) {
             const std::size_t equals = v.find('=');
             if (equals != 3 || equals + 1 >= v.size()) {
                 error = "--mt-language espera IDIOMA=CODIGO (o código do idioma no servidor, três letras; o do motor)";
                 return false;
             }
             o.mtLanguages.emplace_back(v.substr(0, equals), v.substr(equals + 1));
             return true;
         }});
    table.push_back(
        {"mt-timeout", OptionArity::Value, true, {}, [](ServerOptions& o, const std::string& v, std::string& error) {
             double seconds = 0;
             if (!toReal(v, seconds) || seconds < 0.05 || seconds > 600) {
                 error = "--mt-timeout espera um tempo em segundos (de 0.05 a 600)";
                 return false;
             }
             o.mtTimeoutMs = static_cast<int>(seconds * 1000 + 0.5);
             return true;
         }});
    table.push_back(text("mt-cache", &ServerOptions::mtCache));
    return table;
}

} // namespace

const std::vector<OptionEntry>& serverOptionTable()
{
    static const std::vector<OptionEntry> table = buildTable();
    return table;
}

const OptionEntry* findServerOption(std::string_view name)
{
    for (const OptionEntry& known : serverOptionTable())
        if (known.name == name)
            return &known;
    return nullptr;
}

} // namespace trd::server
