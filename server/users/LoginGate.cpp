#include "LoginGate.h"

#include <algorithm>
#include <future>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace trd::server {

std::string LoginResult::message() const
{
    switch (kind) {
    case Kind::Accepted:
        return {};
    case Kind::WrongPassword:
        return "Usuário ou senha incorretos.";
    case Kind::Throttled:
        return "Tentativas de entrada erradas demais com este usuário ou deste computador: espere "
            + std::to_string(waitSeconds) + (waitSeconds == 1 ? " segundo" : " segundos") + " e tente de novo.";
    case Kind::Busy:
        return "O servidor está recebendo tentativas de entrada demais ao mesmo tempo: espere alguns segundos e "
               "tente de novo.";
    }
    return {};
}

LoginGate::LoginGate(UserStore& users, std::chrono::seconds sessionLifetime)
    : LoginGate(users, sessionLifetime, Limits{})
{
}

LoginGate::LoginGate(UserStore& users, std::chrono::seconds sessionLifetime, Limits limits)
    : m_users(users), m_lifetime(sessionLifetime), m_limits(limits), m_decoy(UserStore::hashOfRandomPassword())
{
    for (Lane lane : {Clean, Retry, Guess})
        m_threads.emplace_back([this, lane] { run(lane); });
    m_threads.emplace_back([this] { answerRefusals(); });
}

LoginGate::~LoginGate()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_refusalsDue.notify_all();
    for (auto& t : m_threads)
        t.join();
    // Attempts still waiting are answered, never dropped silently.
    for (auto& lane : m_lanes)
        for (auto& job : lane)
            job->done(LoginResult{LoginResult::Kind::Busy, {}, 0});
    for (auto& [due, refusal] : m_refusals)
        refusal.first(refusal.second);
}

void LoginGate::refuseLater(Done done, LoginResult refusal)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_refusals.size() < m_limits.maxRefusalsHeld) {
            m_refusals.emplace(Clock::now() + m_limits.refusalDelay, std::make_pair(std::move(done), refusal));
            m_refusalsDue.notify_one();
            return;
        }
    }
    done(refusal);
}

void LoginGate::answerRefusals()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        if (m_refusals.empty()) {
            m_refusalsDue.wait(lock);
            continue;
        }
        const auto due = m_refusals.begin()->first;
        if (Clock::now() < due) {
            m_refusalsDue.wait_until(lock, due);
            continue;
        }
        auto refusal = std::move(m_refusals.begin()->second);
        m_refusals.erase(m_refusals.begin());
        lock.unlock();
        refusal.first(refusal.second);
        lock.lock();
    }
}

int LoginGate::secondsUntil(Clock::time_point when, Clock::time_point now)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when - now).count();
    return static_cast<int>(std::max<long long>(1, (ms + 999) / 1000));
}

LoginGate::Clock::duration LoginGate::waitFor(int failures, int allowance) const
{
    if (failures < allowance)
        return Clock::duration::zero();
    auto wait = std::chrono::duration_cast<Clock::duration>(m_limits.firstWait);
    for (int i = allowance; i < failures && wait < m_limits.longestWait; ++i)
        wait *= 2;
    return std::min<Clock::duration>(wait, m_limits.longestWait);
}

std::string LoginGate::pairKey(const std::string& name, const std::string& address)
{
    return name + '\n' + address;
}

void LoginGate::rememberSuccess(const std::string& name, const std::string& address, Clock::time_point now)
{
    if (m_known.size() >= m_limits.maxTracked) {
        // The oldest half goes: they are only a head start, never a right.
        std::vector<Clock::time_point> when;
        for (const auto& [key, at] : m_known)
            when.push_back(at);
        std::nth_element(when.begin(), when.begin() + static_cast<std::ptrdiff_t>(when.size() / 2), when.end());
        const auto cut = when[when.size() / 2];
        for (auto it = m_known.begin(); it != m_known.end();)
            it = it->second <= cut ? m_known.erase(it) : std::next(it);
    }
    m_known[pairKey(name, address)] = now;
}

LoginGate::Lane LoginGate::laneOf(const std::string& name, const std::string& address, const Record& user,
                                  const Record& from) const
{
    if (user.failures == 0 && from.failures == 0) {
        const auto known = m_known.find(pairKey(name, address));
        return known != m_known.end() && Clock::now() - known->second < m_limits.knownFor ? Known : Clean;
    }
    if (user.failures < m_limits.userAllowance && from.failures < m_limits.addressAllowance)
        return Retry;
    return Guess;
}

LoginGate::Clock::time_point LoginGate::opensAt(const Record& user, const Record& address) const
{
    return std::max(user.notBefore, address.notBefore);
}

void LoginGate::forgetOld(Records& records, Clock::time_point now)
{
    if (records.size() < m_limits.maxTracked)
        return;
    // Quiet entries go first; if everything is busy, the stalest half.
    for (auto it = records.begin(); it != records.end();)
        it = it->second.pending == 0 && now - it->second.lastSeen > m_limits.forgetAfter ? records.erase(it)
                                                                                         : std::next(it);
    if (records.size() < m_limits.maxTracked)
        return;
    std::vector<Clock::time_point> seen;
    for (const auto& [key, record] : records)
        seen.push_back(record.lastSeen);
    std::nth_element(seen.begin(), seen.begin() + static_cast<std::ptrdiff_t>(seen.size() / 2), seen.end());
    const auto cut = seen[seen.size() / 2];
    for (auto it = records.begin(); it != records.end();)
        it = it->second.pending == 0 && it->second.lastSeen <= cut ? records.erase(it) : std::next(it);
}

void LoginGate::submit(const std::string& name, const std::string& password, const std::string& address, Done done)
{
    LoginResult refused;
    {
        std::lock_guard lock(m_mutex);
        const auto now = Clock::now();
        forgetOld(m_byUser, now);
        forgetOld(m_byAddress, now);
        Record& user = m_byUser[name];
        Record& from = m_byAddress[address];
        for (Record* r : {&user, &from}) {
            // A name or address quiet for long enough starts afresh.
            if (r->pending == 0 && r->failures > 0 && now - r->lastSeen > m_limits.forgetAfter)
                r->failures = 0;
            r->lastSeen = now;
        }
        const auto opens = opensAt(user, from);
        if (opens > now) {
            refused = {LoginResult::Kind::Throttled, {}, secondsUntil(opens, now + m_limits.refusalDelay)};
        } else if (user.pending >= m_limits.maxPendingPerUser || from.pending >= m_limits.maxPendingPerAddress
                   || m_queued >= m_limits.maxQueued) {
            refused = {LoginResult::Kind::Busy, {}, 0};
        } else {
            ++user.pending;
            ++from.pending;
            ++m_queued;
            auto job = std::make_unique<Job>(Job{name, password, address, std::move(done)});
            m_lanes[laneOf(name, address, user, from)].push_back(std::move(job));
            m_wake.notify_all(); // the lane's own thread
            return;
        }
    }
    refuseLater(std::move(done), refused);
}

LoginResult LoginGate::check(const std::string& name, const std::string& password, const std::string& address)
{
    std::promise<LoginResult> answer;
    auto result = answer.get_future();
    submit(name, password, address, [&answer](LoginResult r) { answer.set_value(std::move(r)); });
    return result.get();
}

void LoginGate::noteOutcome(const Job& job, bool accepted)
{
    const auto now = Clock::now();
    Record& user = m_byUser[job.name];
    Record& from = m_byAddress[job.address];
    --user.pending;
    --from.pending;
    user.lastSeen = from.lastSeen = now;
    if (accepted) {
        // The address keeps its count: an attacker's own good account must
        // not wipe what his guesses earned.
        user.failures = 0;
        user.notBefore = {};
        rememberSuccess(job.name, job.address, now);
        return;
    }
    ++user.failures;
    ++from.failures;
    user.notBefore = std::max(user.notBefore, now + waitFor(user.failures, m_limits.userAllowance));
    from.notBefore = std::max(from.notBefore, now + waitFor(from.failures, m_limits.addressAllowance));
}

void LoginGate::run(Lane which)
{
    if (which == Guess)
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 19);
    // The clean lane's thread serves the known log-ins first.
    auto next = [&]() -> std::deque<std::unique_ptr<Job>>* {
        if (which == Clean && !m_lanes[Known].empty())
            return &m_lanes[Known];
        return m_lanes[which].empty() ? nullptr : &m_lanes[which];
    };
    // The other lanes start a check only while the clean lane has none to
    // make: the processors and the memory bus go to the clean log-ins first,
    // which then wait at most for the end of a check already under way.
    auto cleanBusy = [&] { return m_cleanChecking || !m_lanes[Known].empty() || !m_lanes[Clean].empty(); };
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_stop || (next() && (which == Clean || !cleanBusy())); });
        if (m_stop)
            return;
        auto& lane = *next();
        std::unique_ptr<Job> job = std::move(lane.front());
        lane.pop_front();
        --m_queued;
        // Failures recorded while it waited may have opened a waiting time:
        // it is refused unchecked, as it would have been had it come later.
        const auto now = Clock::now();
        const auto opens = opensAt(m_byUser[job->name], m_byAddress[job->address]);
        if (opens > now) {
            --m_byUser[job->name].pending;
            --m_byAddress[job->address].pending;
            const LoginResult throttled{
                LoginResult::Kind::Throttled, {}, secondsUntil(opens, now + m_limits.refusalDelay)};
            if (which == Clean && !cleanBusy())
                m_wake.notify_all(); // the other lanes' turn
            lock.unlock();
            refuseLater(std::move(job->done), throttled);
            lock.lock();
            continue;
        }
        if (which == Clean)
            m_cleanChecking = true;
        lock.unlock();
        const std::optional<std::string> hash = m_users.hashOf(job->name);
        // The same work for a name that does not exist.
        const bool right = UserStore::matches(hash ? *hash : m_decoy, job->password) && hash;
        LoginResult result;
        if (right)
            result = {LoginResult::Kind::Accepted, m_users.issue(job->name, *hash, m_lifetime), 0};
        lock.lock();
        noteOutcome(*job, right);
        if (which == Clean) {
            m_cleanChecking = false;
            if (!cleanBusy())
                m_wake.notify_all(); // the other lanes' turn
        }
        lock.unlock();
        job->done(std::move(result));
        lock.lock();
    }
}

} // namespace trd::server
