#include "PostgresRowWatcher.h"

#include "Log.h"
#include "PostgresConnection.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <unistd.h>

namespace trd::server {

PostgresRowWatcher::PostgresRowWatcher(std::string conninfo, RowChangeRelay& relay)
    : m_conninfo(std::move(conninfo)), m_relay(relay)
{
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("pipe2 falhou");
    m_thread = std::thread([this] { run(); });
    std::unique_lock lock(m_mutex);
    m_listening.wait_for(lock, std::chrono::seconds(5), [this] { return m_started; });
}

PostgresRowWatcher::~PostgresRowWatcher()
{
    m_stop = true;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(m_wake[1], &byte, 1);
    m_listening.notify_all();
    m_thread.join();
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

bool PostgresRowWatcher::pause(int ms)
{
    pollfd fd{m_wake[0], POLLIN, 0};
    ::poll(&fd, 1, ms);
    return m_stop;
}

void PostgresRowWatcher::run()
{
    bool lostSome = false;
    int retryMs = 100;
    while (!m_stop) {
        std::unique_ptr<PostgresConnection> db;
        try {
            db = std::make_unique<PostgresConnection>(m_conninfo);
            db->exec("LISTEN trd_alteracao");
        } catch (const std::exception& e) {
            logFormat(LogLevel::Warning, "trd-server: sem aviso de alterações do PostgreSQL (%s)", e.what());
            lostSome = true;
            if (pause(retryMs))
                break;
            retryMs = std::min(retryMs * 2, 2000);
            continue;
        }
        retryMs = 100;
        {
            std::lock_guard lock(m_mutex);
            m_started = true;
        }
        m_listening.notify_all();
        if (lostSome)
            m_relay.publish({{}, true});
        lostSome = true; // from here on, a loss may hide commits

        PGconn* conn = db->handle();
        while (!m_stop) {
            pollfd fds[2] = {{PQsocket(conn), POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            if (::poll(fds, 2, 1000) < 0)
                continue;
            if (m_stop)
                break;
            if (!PQconsumeInput(conn) || PQstatus(conn) != CONNECTION_OK)
                break;
            RowChanges changes;
            while (PGnotify* note = PQnotifies(conn)) {
                const std::string_view payload(note->extra);
                std::int64_t id = 0;
                if (payload == "*")
                    changes.everything = true;
                else if (std::from_chars(payload.data(), payload.data() + payload.size(), id).ec == std::errc())
                    changes.ids.push_back(id);
                PQfreemem(note);
                // Gather what has arrived so far into one batch.
                if (!changes.ids.empty() && changes.ids.size() % 1024 == 0)
                    PQconsumeInput(conn);
            }
            if (changes.everything)
                changes.ids.clear();
            m_relay.publish(std::move(changes));
        }
        if (!m_stop)
            logFormat(LogLevel::Warning,
                      "trd-server: conexão de avisos de alterações com o PostgreSQL perdida; "
                      "reconectando");
    }
    std::lock_guard lock(m_mutex);
    m_started = true;
}

} // namespace trd::server
