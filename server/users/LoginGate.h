#pragma once
// Checks log-ins on threads of its own, so that password hashing (Argon2id,
// 64 MiB and about a tenth of a second each, on purpose) never runs on the
// workers that serve the calls, and a flood of wrong passwords can neither
// guess quickly nor keep other people from logging in:
//
// - Failures are counted per user name and per client address. Past a few,
//   each failure opens a waiting time that doubles with every further one
//   (up to a minute); an attempt inside it is refused unchecked, with the
//   time left. Refusals are answered a second late, without holding any
//   thread: a loop of attempts gets one answer a second per connection
//   instead of as many as the machine can make. A success clears the user's count; the address's
//   fades once it has been quiet for a while.
// - An unknown name is checked against a hash of a random password, so its
//   answer takes as long as a known name's: timing does not tell which names
//   exist, and unknown names are throttled the same way.
// - The checks wait in one bounded queue, in three lanes, each with a thread
//   of its own (so three checks at once, 192 MiB at most). A log-in whose
//   user and address have no failure on record goes in the clean lane: it
//   waits only for the clean log-ins that came before it, never behind a
//   guess. Within it, a user logging in again from an address where that
//   user has logged in before goes first: at the start of a flood, every
//   flooding machine's first guess is as clean as anyone's log-in, and the
//   people who work here should not wait behind them. One whose user and
//   address are still within their allowances (a person who mistyped) goes
//   in the retry lane, at the same priority. Only attempts past an
//   allowance, guessing by then, go in the third lane, whose thread runs at
//   the lowest priority, so that they take only what the processors leave:
//   a flood cannot take the processors from the calls, and a busy server
//   does not starve someone's second try. The retry and guess lanes start a
//   check only while the clean lane has none to make, so a clean log-in
//   waits at most for the end of a check already under way. Each user name
//   and each address may have a few checks waiting at once; past that, or
//   with the queue full, an attempt is refused at once.
#include "UserStore.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace trd::server {

struct LoginResult {
    enum class Kind { Accepted, WrongPassword, Throttled, Busy };
    Kind kind = Kind::WrongPassword;
    std::string token; // Accepted: the session token
    int waitSeconds = 0; // Throttled: how long before the next attempt is checked
    // The user's message for anything but Accepted.
    std::string message() const;
};

class LoginGate {
public:
    struct Limits {
        int userAllowance = 5; // failures of a name before waiting starts
        int addressAllowance = 20; // failures from an address (an office behind NAT)
        std::chrono::milliseconds firstWait{2000}; // doubles with each further failure
        std::chrono::milliseconds longestWait{60000};
        std::chrono::minutes forgetAfter{15}; // a quiet name or address starts afresh
        std::size_t maxQueued = 256;
        int maxPendingPerUser = 2;
        int maxPendingPerAddress = 8;
        std::size_t maxTracked = 20000; // names, addresses and log-ins remembered
        std::chrono::hours knownFor{24 * 30}; // a user's log-in from an address counts as known
        std::chrono::milliseconds refusalDelay{1000}; // before a refusal is answered
        std::size_t maxRefusalsHeld = 10000; // past this, refusals are answered at once
    };

    using Done = std::function<void(LoginResult)>;

    LoginGate(UserStore& users, std::chrono::seconds sessionLifetime, Limits limits);
    LoginGate(UserStore& users, std::chrono::seconds sessionLifetime);
    ~LoginGate();
    LoginGate(const LoginGate&) = delete;
    LoginGate& operator=(const LoginGate&) = delete;

    // Checks a log-in; done runs once, on this thread for an attempt refused
    // at once, else on one of the gate's threads.
    void submit(const std::string& name, const std::string& password, const std::string& address, Done done);
    // The same, waiting for the answer.
    LoginResult check(const std::string& name, const std::string& password, const std::string& address);

private:
    using Clock = std::chrono::steady_clock;
    struct Record {
        int failures = 0;
        int pending = 0;
        Clock::time_point notBefore{};
        Clock::time_point lastSeen{};
    };
    struct Job {
        std::string name, password, address;
        Done done;
    };
    using Records = std::unordered_map<std::string, Record>;

    // Known: the clean lane's front part, served by its thread first.
    enum Lane { Known, Clean, Retry, Guess, Lanes };
    Lane laneOf(const std::string& name, const std::string& address, const Record& user, const Record& from) const;
    static std::string pairKey(const std::string& name, const std::string& address);
    void rememberSuccess(const std::string& name, const std::string& address, Clock::time_point now);
    // One lane's thread.
    void run(Lane lane);
    // Answers refusals once their delay is over, on a thread of its own.
    void refuseLater(Done done, LoginResult refusal);
    void answerRefusals();
    void forgetOld(Records& records, Clock::time_point now);
    Clock::duration waitFor(int failures, int allowance) const;
    void noteOutcome(const Job& job, bool accepted);
    Clock::time_point opensAt(const Record& user, const Record& address) const;
    static int secondsUntil(Clock::time_point when, Clock::time_point now);

    UserStore& m_users;
    std::chrono::seconds m_lifetime;
    Limits m_limits;
    std::string m_decoy; // hash of a random password, checked for unknown names

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_refusalsDue;
    std::multimap<Clock::time_point, std::pair<Done, LoginResult>> m_refusals;
    Records m_byUser, m_byAddress;
    std::array<std::deque<std::unique_ptr<Job>>, Lanes> m_lanes;
    bool m_cleanChecking = false; // the clean lane's thread is checking a password
    std::unordered_map<std::string, Clock::time_point> m_known; // user and address of a log-in -> when
    std::size_t m_queued = 0;
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

} // namespace trd::server
