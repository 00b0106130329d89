// trd-server: the application server of the translation module.
#include "DemoData.h"
#include "HttpServer.h"
#include "ServerContext.h"
#include "ServerOptions.h"
#include "SqliteBackup.h"
#include "SqliteStorage.h"
#ifdef TRD_HAVE_POSTGRESQL
#include "PostgresStorage.h"
#endif
#include "TsvImport.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <pthread.h>
#include <sys/resource.h>
#include <thread>

using namespace trd::server;

int main(int argc, char** argv)
{
    std::string error;
    const auto options = parseServerOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "trd-server: %s\n%s", error.c_str(), serverUsage());
        return 2;
    }
    if (options->help) {
        std::fputs(serverUsage(), stdout);
        return 0;
    }

    // SIGINT/SIGTERM are taken by one thread with sigwait, so every other
    // thread (the whole pool) is created with them blocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // Idle connections cost a descriptor each: take all the system allows.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    try {
        if (!options->backup.empty()) {
            const BackupReport report = backupSqlite(options->db, options->backup);
            std::fprintf(stderr, "trd-server: cópia de segurança de %s gravada em %s (%lld páginas, %.1f MiB, %.0f ms)\n",
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
            open.minFreeBytes = options->minFreeMib << 20;
            auto sqlite = std::make_unique<SqliteStorage>(options->db, open);
            if (sqlite->created())
                std::fprintf(stderr, "trd-server: banco novo criado em %s\n", options->db.c_str());
            sqlite->setStatementTimeLimit(options->statementTimeoutS * 1000);
            storage = std::move(sqlite);
        }
        const bool fresh = storage->isEmpty();
        ServerContext context(std::move(storage));
        if (options->demo && fresh) {
            const DemoCounts demo = fillDemo(context.writer());
            std::fprintf(stderr, "trd-server: demonstração: %zu idiomas, %zu traduções\n", demo.languages, demo.rows);
        }
        if (!options->importTsv.empty()) {
            std::ifstream in(options->importTsv, std::ios::binary);
            if (!in)
                throw std::runtime_error("não foi possível ler " + options->importTsv);
            const ImportCounts counts = importTsv(in, context.writer());
            std::fprintf(stderr, "trd-server: importados %zu idiomas e %zu traduções de %s\n", counts.languages,
                         counts.rows, options->importTsv.c_str());
        }

        HttpOptions http;
        http.host = options->host;
        http.port = options->port;
        http.threads = options->threads;
        http.maxBody = options->maxBody;
        http.maxConnections = options->maxConnections;
        http.maxPerAddress = options->maxPerAddress;
        http.requestTimeoutMs = options->requestTimeoutS * 1000;
        http.idleTimeoutMs = options->idleTimeoutS * 1000;
        http.tlsCertFile = options->tlsCert;
        http.tlsKeyFile = options->tlsKey;
        http.log = !options->quiet;
        HttpServer server(context.handler(), context.health(), http);
        const int port = server.bind();
        if (port < 0) {
            std::fprintf(stderr, "trd-server: %s\n", server.error().c_str());
            return 1;
        }
        std::printf("listening on %s:%d\n", options->host.c_str(), port);
        std::fflush(stdout);
        std::fprintf(stderr, "trd-server: banco %s%s, escutando em %s:%d, %d threads\n",
                     options->pg.empty() ? options->db.c_str() : "PostgreSQL",
                     options->readOnly ? " (somente consulta)" : "", options->host.c_str(), port, options->threads);

        std::thread signalWaiter([&server, &stopSignals] {
            int signal = 0;
            sigwait(&stopSignals, &signal);
            if (signal != 0)
                server.stop();
        });
        const bool served = server.serve();
        // Wake the waiter if serving ended on its own.
        pthread_kill(signalWaiter.native_handle(), SIGTERM);
        signalWaiter.join();
        std::fprintf(stderr, "trd-server: encerrado\n");
        return served ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "trd-server: %s\n", e.what());
        return 1;
    }
}
