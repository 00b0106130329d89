#include "ChangeFeed.h"

#include "FeedAnswer.h"
#include "Log.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>
#include <tuple>

namespace trd::server::feed {

namespace {

constexpr std::int64_t Newest = std::numeric_limits<std::int64_t>::max();

// An answer that only moves the cursor on (nothing new, or a server
// stopping); a negative cursor is none known yet: the client asks again.
FeedAnswer noChanges(std::int64_t upTo)
{
    return upTo >= 0 ? changesAnswer(upTo, {}) : FeedAnswer{"{\"alteracoes\":[]}", -1, false};
}

bool told(const FeedEvent& e, bool reviewMarks)
{
    return reviewMarks || (e.type != 'R' && e.type != 'U');
}

} // namespace

ChangeFeed::ChangeFeed(StorageBackend& backend, SessionPool& sessions, FeedLimits limits)
    : m_backend(backend), m_sessions(sessions), m_limits(limits)
{
}

ChangeFeed::~ChangeFeed()
{
    stop();
}

void ChangeFeed::start()
{
    if (m_thread.joinable())
        return;
    // Commits are followed before the first reading, so none falls between.
    m_watch = m_backend.watchRowChanges([this](RowChanges) {
        {
            std::lock_guard lock(m_wakeMutex);
            m_told = true;
        }
        m_wake.notify_one();
    });
    {
        std::lock_guard lock(m_wakeMutex);
        m_told = true;
        m_stop = false;
    }
    m_running = true;
    m_thread = std::thread([this] { run(); });
}

void ChangeFeed::stop()
{
    m_running = false;
    if (m_watch) {
        m_backend.unwatchRowChanges(m_watch);
        m_watch = 0;
    }
    {
        std::lock_guard lock(m_wakeMutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    std::vector<Ready> ready;
    {
        std::lock_guard lock(m_mutex);
        m_ready = false;
        for (Waiter& w : m_waiters)
            ready.push_back({std::move(w.sink), noChanges(std::max(w.since.value_or(-1), m_horizon))});
        m_waiters.clear();
    }
    deliver(ready);
}

void ChangeFeed::run()
{
    int retryMs = 0;
    bool failing = false;
    for (;;) {
        {
            std::unique_lock lock(m_wakeMutex);
            const auto woken = [this] { return m_stop || m_told; };
            // Idle, the reader sleeps until a commit is announced: no timer.
            if (retryMs > 0)
                m_wake.wait_for(lock, std::chrono::milliseconds(retryMs), woken);
            else
                m_wake.wait(lock, woken);
            if (m_stop)
                return;
            m_told = false;
        }
        try {
            const std::int64_t before = horizon();
            readOnce();
            if (failing)
                logFormat(LogLevel::Info, "trd-server: alterações ao vivo: leitura do histórico restabelecida");
            failing = false;
            const bool again = m_settle.waiting() || m_skipUntil >= 0 || !m_ready;
            retryMs = !again ? 0 : (retryMs == 0 || horizon() != before) ? 5 : std::min(retryMs * 2, 500);
        } catch (const std::exception& e) {
            if (!failing)
                logFormat(LogLevel::Warning,
                          "trd-server: alterações ao vivo: leitura do histórico falhou (%s); tentando de novo",
                          e.what());
            failing = true;
            retryMs = retryMs < 100 ? 100 : std::min(retryMs * 2, 2000);
        }
    }
}

void ChangeFeed::readOnce()
{
    if (!m_ready)
        return settleStart();
    const std::int64_t from = m_horizon; // written by this thread only
    ChangeQuery query;
    // While a burst too large to keep goes by, only the horizon is read.
    query.after = m_skipUntil >= 0 ? Newest : from;
    query.limit = m_limits.readLimit;
    const ChangeWindow window = m_sessions.acquire()->readChanges(query);
    const std::int64_t settled = m_settle.advance(window);
    if (window.more && m_skipUntil < window.newest)
        m_skipUntil = window.newest;
    if (m_skipUntil >= 0) {
        // More versions at once than a reading takes (an import, a large
        // undo): clients behind them load their rows again.
        if (settled >= m_skipUntil) {
            m_skipUntil = -1;
            reset(settled);
        }
        return;
    }
    if (settled <= from)
        return;
    Composed composed = composeEvents(window, settled);
    if (composed.unknown > 0)
        return reset(settled);
    append(std::move(composed.events), settled);
}

void ChangeFeed::settleStart()
{
    ChangeQuery query;
    query.after = Newest;
    const std::int64_t settled = m_settle.advance(m_sessions.acquire()->readChanges(query));
    if (settled < 0)
        return;
    // Everything up to here is in the history, before memory.
    std::vector<Ready> ready;
    {
        std::lock_guard lock(m_mutex);
        m_ready = true;
        m_horizon = m_base = settled;
        collectLocked(ready);
    }
    m_moved.notify_all();
    deliver(ready);
}

void ChangeFeed::append(std::vector<FeedEvent> events, std::int64_t horizon)
{
    std::vector<Ready> ready;
    {
        std::lock_guard lock(m_mutex);
        for (FeedEvent& e : events) {
            m_bytes += e.bytes();
            m_events.push_back(std::move(e));
        }
        m_horizon = horizon;
        while (!m_events.empty() && (m_events.size() > m_limits.keptEvents || m_bytes > m_limits.keptBytes)) {
            m_base = m_events.front().seq;
            m_bytes -= m_events.front().bytes();
            m_events.pop_front();
        }
        collectLocked(ready);
    }
    m_moved.notify_all();
    deliver(ready);
}

void ChangeFeed::reset(std::int64_t horizon)
{
    std::vector<Ready> ready;
    {
        std::lock_guard lock(m_mutex);
        m_events.clear();
        m_bytes = 0;
        m_base = m_horizon = horizon;
        collectLocked(ready);
    }
    m_moved.notify_all();
    deliver(ready);
}

std::optional<FeedAnswer> ChangeFeed::answerLocked(const std::string& language, std::optional<std::int64_t> since,
                                                   bool reviewMarks) const
{
    if (!m_ready)
        return std::nullopt;
    if (!since)
        return changesAnswer(m_horizon, {});
    std::vector<const FeedEvent*> found;
    auto it = std::upper_bound(m_events.begin(), m_events.end(), *since,
                               [](std::int64_t seq, const FeedEvent& e) { return seq < e.seq; });
    std::size_t bytes = 0;
    bool cut = false;
    for (; it != m_events.end(); ++it) {
        if (it->language != language || !told(*it, reviewMarks))
            continue;
        if (found.size() == m_limits.answerLimit || (!found.empty() && bytes + it->bytes() > m_limits.answerBytes)) {
            cut = true;
            break;
        }
        bytes += it->bytes();
        found.push_back(&*it);
    }
    if (found.empty())
        return std::nullopt;
    const std::int64_t upTo = cut ? found.back()->seq : std::max(*since, m_horizon);
    return changesAnswer(upTo, found);
}

void ChangeFeed::collectLocked(std::vector<Ready>& ready)
{
    // Followers in step ask the same question: its answer is built once.
    std::map<std::tuple<std::string, std::optional<std::int64_t>, bool>, std::optional<FeedAnswer>> built;
    for (auto it = m_waiters.begin(); it != m_waiters.end();) {
        auto known = built.find({it->language, it->since, it->reviewMarks});
        if (known == built.end()) {
            std::optional<FeedAnswer> answer;
            if (m_ready && it->since && *it->since < m_base)
                answer = noChanges(*it->since); // it asks again, and is answered from the database
            else
                answer = answerLocked(it->language, it->since, it->reviewMarks);
            known = built.emplace(std::make_tuple(it->language, it->since, it->reviewMarks), std::move(answer)).first;
        }
        std::optional<FeedAnswer> answer = known->second;
        if (!answer) {
            ++it;
            continue;
        }
        ready.push_back({std::move(it->sink), std::move(*answer)});
        it = m_waiters.erase(it);
    }
}

void ChangeFeed::deliver(std::vector<Ready>& ready)
{
    for (Ready& r : ready)
        r.sink(std::move(r.answer));
}

std::optional<FeedAnswer> ChangeFeed::poll(const std::string& language, std::optional<std::int64_t> since,
                                           AnswerSink sink, std::uint64_t& ticket, bool reviewMarks)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_running && !m_ready)
            return noChanges(std::max(since.value_or(-1), m_horizon));
        if (!(m_ready && since && *since < m_base)) {
            if (auto answer = answerLocked(language, since, reviewMarks))
                return answer;
            ticket = ++m_lastTicket;
            m_waiters.push_back({ticket, language, since, std::move(sink), reviewMarks});
            return std::nullopt;
        }
    }
    return resume(language, *since, reviewMarks);
}

bool ChangeFeed::answersFromMemory(std::optional<std::int64_t> since) const
{
    std::lock_guard lock(m_mutex);
    return !(m_ready && since && *since < m_base);
}

FeedAnswer ChangeFeed::resume(const std::string& language, std::int64_t since, bool reviewMarks)
{
    std::int64_t base = 0;
    {
        std::lock_guard lock(m_mutex);
        base = m_base;
    }
    ChangeQuery query;
    query.after = since;
    query.language = language;
    query.limit = m_limits.resumeLimit;
    const ChangeWindow window = m_sessions.acquire()->readChanges(query);
    std::string reason;
    if (window.oldest == 0 || window.oldest > since + 1)
        reason = "As alterações posteriores às últimas recebidas já não são guardadas pelo servidor.";
    else if (window.more)
        reason = "Houve mais de " + std::to_string(m_limits.resumeLimit)
            + " alterações neste idioma desde as últimas recebidas.";
    Composed composed;
    if (reason.empty()) {
        composed = composeEvents(window, base);
        if (composed.unknown > 0)
            reason = "Parte das alterações desde as últimas recebidas não pôde ser lida do histórico.";
    }
    if (!reason.empty())
        return reloadAnswer(horizon(), reason + " Recarregue os registros.");
    std::vector<const FeedEvent*> events;
    std::size_t bytes = 0;
    bool cut = false;
    for (const FeedEvent& e : composed.events) {
        if (!told(e, reviewMarks))
            continue;
        if (events.size() == m_limits.answerLimit || (!events.empty() && bytes + e.bytes() > m_limits.answerBytes)) {
            cut = true;
            break;
        }
        bytes += e.bytes();
        events.push_back(&e);
    }
    const std::int64_t upTo = cut ? events.back()->seq : base;
    return changesAnswer(std::max(upTo, since), events);
}

std::optional<FeedAnswer> ChangeFeed::cancel(std::uint64_t ticket)
{
    std::lock_guard lock(m_mutex);
    const auto it =
        std::find_if(m_waiters.begin(), m_waiters.end(), [ticket](const Waiter& w) { return w.ticket == ticket; });
    if (it == m_waiters.end())
        return std::nullopt;
    std::optional<FeedAnswer> answer = answerLocked(it->language, it->since, it->reviewMarks);
    if (!answer && m_ready && it->since && *it->since > m_horizon) {
        // A cursor ahead of everything this server knows, a whole wait long
        // (another server's reader is never that far behind): the versions
        // it counted are gone (pruned, or the database went back to a
        // copy), and whatever they changed the client cannot learn here.
        answer = reloadAnswer(m_horizon,
                              "O servidor não tem mais as alterações até as últimas recebidas. "
                              "Recarregue os registros.");
    }
    if (!answer)
        answer = noChanges(it->since ? std::max(*it->since, m_horizon) : -1);
    m_waiters.erase(it);
    return answer;
}

std::int64_t ChangeFeed::horizon() const
{
    std::lock_guard lock(m_mutex);
    return m_horizon;
}

bool ChangeFeed::waitFor(std::int64_t version, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_moved.wait_for(lock, timeout, [&] { return m_horizon >= version; });
}

std::size_t ChangeFeed::waitingRequests() const
{
    std::lock_guard lock(m_mutex);
    return m_waiters.size();
}

} // namespace trd::server::feed
