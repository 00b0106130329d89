// trd-server: the application server of the translation module.
#include "BackupSchedule.h"
#include "DemoData.h"
#include "HostPolicy.h"
#include "HttpServer.h"
#include "Log.h"
#include "ServerContext.h"
#include "Prune.h"
#include "ServerOptions.h"
#include "ServiceMetrics.h"
#include "ServiceNotify.h"
#include "ServiceWatchdog.h"

#include "MachineSetup.h"
#include "SqliteBackup.h"
#include "SqliteRestore.h"
#include "SqliteStorage.h"
#include "StartupFiles.h"
#ifdef TRD_HAVE_POSTGRESQL
#include "PostgresStorage.h"
#endif
#include "TDateTime.h"
#include "TsvImport.h"
#include "UserStore.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <iostream>
#include <pthread.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace trd::server;

namespace {

// A password from standard input: typed without echo at a terminal, or the
// first line of what is piped in.
std::string readPassword(const char* prompt)
{
    const bool terminal = ::isatty(STDIN_FILENO);
    termios saved{};
    if (terminal) {
        std::fputs(prompt, stderr);
        tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    std::string password;
    std::getline(std::cin, password);
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::fputs("\n", stderr);
    }
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    return password;
}

int runUserCommand(const std::vector<std::string>& args)
{
    std::string error;
    const auto command = parseUserCommand(args, error);
    if (!command) {
        logFormat(LogLevel::Error, "trd-server: %s", error.c_str());
        std::fputs(serverUsage(), stderr);
        return 2;
    }
    try {
        UserStore users(command->usersFile);
        if (command->action == "list") {
            for (const auto& name : users.names())
                std::printf("%s\n", name.c_str());
        } else if (command->action == "roles") {
            for (const auto& [name, grants] : users.usersWithRoles())
                std::printf("%s\t%s\n", name.c_str(),
                            grants.inherited() ? "administrador:* (sem papéis gravados)" : grants.format().c_str());
        } else if (command->action == "grant" || command->action == "revoke") {
            const Grants after = command->action == "grant"
                ? users.grant(command->name, command->language, command->role)
                : users.revoke(command->name, command->language);
            std::fprintf(stderr, "trd-server: papéis de %s: %s; valem a partir da próxima chamada dele\n",
                         command->name.c_str(), after.format().c_str());
        } else if (command->action == "remove") {
            users.remove(command->name);
            logFormat(LogLevel::Info, "trd-server: usuário %s removido; as sessões dele terminam já",
                      command->name.c_str());
        } else {
            const std::string password = readPassword("Senha: ");
            if (command->action == "add")
                users.add(command->name, password, command->grants);
            else
                users.resetPassword(command->name, password);
            logFormat(LogLevel::Info, "trd-server: usuário %s %s em %s", command->name.c_str(),
                      command->action == "add" ? "criado" : "com senha nova", command->usersFile.c_str());
        }
        return 0;
    } catch (const std::exception& e) {
        logFormat(LogLevel::Error, "trd-server: %s", e.what());
        return 1;
    }
}

// HOST:PORT as a URL writes it: an IPv6 address in brackets.
std::string hostPort(const std::string& host, int port)
{
    const std::string h = host.find(':') == std::string::npos ? host : "[" + host + "]";
    return h + ":" + std::to_string(port);
}

// trd-server restore COPY (--db FILE | --config FILE): the database named
// as the server would find it, so the service's own file is the one restored.
int runRestore(const std::vector<std::string>& args)
{
    std::string error;
    if (args.empty() || args[0].rfind("--", 0) == 0) {
        logLine(LogLevel::Error, "trd-server: restore espera a cópia: trd-server restore COPIA --db ARQUIVO");
        return 2;
    }
    const auto options = parseServerOptions(std::vector<std::string>(args.begin() + 1, args.end()), error);
    if (!options || options->db.empty()) {
        logFormat(LogLevel::Error, "trd-server: %s",
                  options ? "restore vale só para --db (PostgreSQL: pg_restore)" : error.c_str());
        return 2;
    }
    try {
        const RestoreReport report = restoreSqlite(args[0], options->db);
        logFormat(LogLevel::Info, "trd-server: %s restaurado de %s%s%s", options->db.c_str(), args[0].c_str(),
                  report.setAside.empty() ? "" : "; o banco anterior ficou em ", report.setAside.c_str());
        return 0;
    } catch (const std::exception& e) {
        logFormat(LogLevel::Error, "trd-server: restauração recusada: %s", e.what());
        return 1;
    }
}

// SIGHUP: the users file and the TLS certificate are read again (a renewed
// certificate is put in place without a restart); each outcome is logged,
// and a file that does not load leaves the server serving as before.
void reloadOnHangUp(const ServerOptions& options, UserStore* users, HttpServer& server)
{
    if (users) {
        try {
            logFormat(LogLevel::Info, "trd-server: arquivo de usuários %s lido de novo (SIGHUP): %zu usuários",
                      users->path().c_str(), users->reloadNow());
        } catch (const std::exception& e) {
            logFormat(LogLevel::Error, "trd-server: arquivo de usuários %s com defeito (SIGHUP): %s",
                      users->path().c_str(), e.what());
        }
    }
    if (!options.tlsCert.empty()) {
        std::string error;
        try {
            for (const std::string& warning : checkTlsFiles(options.tlsCert, options.tlsKey))
                logFormat(LogLevel::Warning, "trd-server: atenção: %s", warning.c_str());
            if (server.reloadTls(error)) {
                logFormat(LogLevel::Info,
                          "trd-server: certificado %s lido de novo (SIGHUP): vale para as conexões novas",
                          options.tlsCert.c_str());
                return;
            }
        } catch (const std::exception& e) {
            error = e.what();
        }
        logFormat(LogLevel::Error, "trd-server: certificado não recarregado (SIGHUP), o anterior continua: %s",
                  error.c_str());
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "user")
        return runUserCommand(std::vector<std::string>(argv + 2, argv + argc));
    if (argc > 1 && std::string(argv[1]) == "restore")
        return runRestore(std::vector<std::string>(argv + 2, argv + argc));
    std::string error;
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto options = parseServerOptions(args, error);
    if (!options) {
        logFormat(LogLevel::Error, "trd-server: %s", error.c_str());
        // A file checked and found wanting is an answer, not a misuse.
        if (std::find(args.begin(), args.end(), "--check-config") != args.end())
            return 1;
        std::fputs(serverUsage(), stderr);
        return 2;
    }
    if (options->help) {
        std::fputs(serverUsage(), stdout);
        return 0;
    }
    if (options->checkConfig) {
        std::printf("%s: configuração válida\n", options->config.c_str());
        return 0;
    }

    // SIGINT/SIGTERM are taken by one thread with sigwait, so every other
    // thread (the whole pool) is created with them blocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP); // reload: the users file, the certificate
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // Request bodies and answers of megabytes are given back to the system
    // when freed, instead of staying in the allocator's per-thread pools (a
    // worker that once read a 200 MiB request would otherwise keep it): the
    // memory budget for bodies in flight then bounds what the process holds.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    // Idle connections cost a descriptor each: take all the system allows.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    try {
        if (!options->backup.empty()) {
            const BackupReport report = backupSqlite(options->db, options->backup);
            logFormat(LogLevel::Info,
                      "trd-server: cópia de segurança de %s gravada em %s (%lld páginas, %.1f MiB, %.0f ms)",
                      options->db.c_str(), options->backup.c_str(), static_cast<long long>(report.pages),
                      static_cast<double>(report.bytes) / (1 << 20), report.ms);
            return 0;
        }
        std::unique_ptr<StorageBackend> storage;
        if (!options->pg.empty()) {
#ifdef TRD_HAVE_POSTGRESQL
            PostgresTimeouts timeouts;
            timeouts.statementMs = options->pgStatementTimeoutMs;
            timeouts.lockMs = options->pgLockTimeoutMs;
            storage = std::make_unique<PostgresStorage>(options->pg, timeouts);
#else
            throw std::runtime_error("este servidor foi compilado sem PostgreSQL");
#endif
        } else {
            SqliteOpenOptions open;
            open.create = options->create || options->demo;
            open.readOnly = options->readOnly;
            open.fullCheck = options->fullCheck;
            open.checkEverySeconds = options->checkEveryS;
            open.minFreeBytes = options->minFreeMib << 20;
            if (options->pruneHistoryDays >= 0) {
                // Run from cron beside the serving server: it writes through
                // the WAL only, and that server's checkpoints are no damage.
                open.besideServer = true;
                open.checkEverySeconds = 0;
            }
            auto sqlite = std::make_unique<SqliteStorage>(options->db, open);
            if (sqlite->created())
                logFormat(LogLevel::Info, "trd-server: banco novo criado em %s", options->db.c_str());
            sqlite->setStatementTimeLimit(options->statementTimeoutS * 1000);
            storage = std::move(sqlite);
        }
        const bool fresh = storage->isEmpty();
        ServerContext context(std::move(storage));
        if (options->pruneHistoryDays >= 0) {
            const PruneCount removed = history::pruneHistory(context.writer(), options->pruneHistoryDays, trd::Now());
            logFormat(LogLevel::Info,
                      "trd-server: histórico de alterações com mais de %g dias removido: %lld lotes, %lld "
                      "versões",
                      options->pruneHistoryDays, static_cast<long long>(removed.batches),
                      static_cast<long long>(removed.versions));
            return 0;
        }
        if (options->demo && fresh) {
            const DemoCounts demo = fillDemo(context.writer());
            logFormat(LogLevel::Info, "trd-server: demonstração: %zu idiomas, %zu traduções", demo.languages,
                      demo.rows);
        }
        if (!options->importTsv.empty()) {
            std::ifstream in(options->importTsv, std::ios::binary);
            if (!in)
                throw std::runtime_error("não foi possível ler " + options->importTsv);
            const ImportCounts counts = importTsv(in, context.writer());
            logFormat(LogLevel::Info, "trd-server: importados %zu idiomas e %zu traduções de %s", counts.languages,
                      counts.rows, options->importTsv.c_str());
        }
        context.startMemory();
        // A read-only server writes nothing, and nothing else writes its file:
        // it has no changes to tell.
        if (!options->readOnly)
            context.startFeed();
        if (!options->mtUrl.empty())
            context.setMachineTranslation(machineTranslationFor(*options));

        // Who may call: the users of the users file; with none, only this
        // machine's own users, through the loopback address, until a user is
        // added to the file (which the server notices at the next call).
        std::unique_ptr<UserStore> users;
        const std::string usersPath = usersFileFor(options->users, options->db);
        if (!usersPath.empty()) {
            // It holds the secret that signs every session token.
            checkPrivateFile(usersPath, "o arquivo de usuários");
            users = std::make_unique<UserStore>(usersPath);
            users->watchWhileServing();
        }
        if (users && !users->empty()) {
            context.handler().requireLogin(*users, std::chrono::seconds(options->sessionS));
            logFormat(LogLevel::Info, "trd-server: login exigido (%zu usuários em %s)", users->names().size(),
                      usersPath.c_str());
        } else if (!options->users.empty()) {
            throw std::runtime_error("o arquivo de usuários " + usersPath
                                     + " não tem usuários; crie-os com: trd-server user add NOME --users " + usersPath);
        } else if (!isLoopbackAddress(options->host)) {
            throw std::runtime_error("sem usuários cadastrados o servidor só atende num endereço local (127.0.0.1, "
                                     "[::1] ou localhost), não em "
                                     + hostPort(options->host, options->port)
                                     + "; "
                                       "crie usuários com: trd-server user add NOME --db "
                                     + (options->db.empty() ? std::string("ARQUIVO") : options->db)
                                     + " (ou --users ARQUIVO)");
        } else if (users) {
            context.handler().requireLogin(*users, std::chrono::seconds(options->sessionS), true);
            logFormat(LogLevel::Info,
                      "trd-server: sem usuários em %s: atende só este computador, sem login, até que um "
                      "usuário seja criado (trd-server user add)",
                      usersPath.c_str());
        }

        if (!options->tlsCert.empty())
            for (const std::string& warning : checkTlsFiles(options->tlsCert, options->tlsKey))
                logFormat(LogLevel::Warning, "trd-server: atenção: %s", warning.c_str());

        HttpOptions http;
        http.host = options->host;
        http.port = options->port;
        http.threads = options->threads;
        http.maxBody = options->maxBody;
        http.bodyMemory = options->bodyMemory;
        http.maxConnections = options->maxConnections;
        http.maxPerAddress = options->maxPerAddress;
        http.requestTimeoutMs = options->requestTimeoutS * 1000;
        http.idleTimeoutMs = options->idleTimeoutS * 1000;
        http.writeTimeoutMs = options->writeTimeoutS * 1000;
        http.serverNames = options->serverNames;
        http.tlsCertFile = options->tlsCert;
        http.tlsKeyFile = options->tlsKey;
        http.log = !options->quiet;
        http.metricsToken = options->metricsToken;
        HttpServer server(context.handler(), context.health(), http);
        if (!options->readOnly)
            server.setFeed(context.feed());
        std::unique_ptr<BackupSchedule> backups;
        if (!options->backupDir.empty()) {
            backups = std::make_unique<BackupSchedule>(
                BackupSchedule::Settings{options->db, options->backupDir, std::chrono::seconds(options->backupEveryS),
                                         Retention{options->keepDaily, options->keepWeekly, options->keepMonthly}});
            backups->start();
            logFormat(LogLevel::Info,
                      "trd-server: cópias de segurança agendadas em %s a cada %d s (mantidas: %d diárias, %d semanais, "
                      "%d mensais)",
                      options->backupDir.c_str(), options->backupEveryS, options->keepDaily, options->keepWeekly,
                      options->keepMonthly);
        }
        std::function<BackupFigures()> backupFigures;
        if (backups)
            backupFigures = [&backups] { return backups->figures(); };
        server.setMetricsSource([&context, backupFigures] { return serviceMetrics(context, backupFigures); });
        const int port = server.bind();
        if (port < 0) {
            logFormat(LogLevel::Error, "trd-server: %s", server.error().c_str());
            return 1;
        }
        std::printf("listening on %s\n", hostPort(options->host, port).c_str());
        std::fflush(stdout);
        logFormat(LogLevel::Info, "trd-server: banco %s%s, escutando em %s, %d threads",
                  options->pg.empty() ? options->db.c_str() : "PostgreSQL",
                  options->readOnly ? " (somente consulta)" : "", hostPort(options->host, port).c_str(),
                  options->threads);

        const ServiceNotifier notifier = ServiceNotifier::fromEnvironment();
        std::atomic<bool> stopAsked{false};
        std::thread signalWaiter([&] {
            for (;;) {
                int signal = 0;
                if (sigwait(&stopSignals, &signal) != 0 || signal != SIGHUP) {
                    stopAsked = true;
                    notifier.notify("STOPPING=1");
                    if (signal != 0)
                        server.stop();
                    return;
                }
                notifier.notify("RELOADING=1");
                reloadOnHangUp(*options, users.get(), server);
                notifier.notify("READY=1");
            }
        });
        // Alive only while a request's path through the server answers; a
        // server told to stop is not wedged (its loop winds down on purpose).
        const ServiceWatchdog watchdog(notifier, [&server, &stopAsked](std::chrono::milliseconds patience) {
            return stopAsked.load() || server.roundTrip(patience);
        });
        const bool served = server.serve([&notifier, &options, port] {
            notifier.notify("READY=1\nSTATUS=escutando em " + hostPort(options->host, port));
        });
        context.handler().stopLogins();
        // Wake the waiter if serving ended on its own.
        pthread_kill(signalWaiter.native_handle(), SIGTERM);
        signalWaiter.join();
        logFormat(LogLevel::Info, "trd-server: encerrado");
        return served ? 0 : 1;
    } catch (const std::exception& e) {
        logFormat(LogLevel::Error, "trd-server: %s", e.what());
        return 1;
    }
}
