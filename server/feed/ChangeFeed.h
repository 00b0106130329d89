#pragma once
// The change feed: every save, numbered by its version in the history, told
// to the clients that follow a language (docs/live.md). One reader per server
// follows the database's commits (the back end's commit notices: the SQLite
// writer's, or PostgreSQL's from every server sharing the database), reads
// the new versions once, and keeps the latest ones in memory; every client
// is answered from there, so a thousand followers cost one reading a commit.
//
// A client asks for a language's changes after a number (its cursor). When
// there are some it is answered at once; otherwise its request waits here,
// holding no thread and no timer of the feed, until a change of its language
// arrives or the transport gives up waiting (cancel()). A cursor older than
// what memory keeps is answered from the history in the database, within
// bounds; past them, or past what the history still keeps, the client is told
// to load its rows again.
#include "FeedAnswer.h"
#include "FeedEvents.h"
#include "SessionPool.h"
#include "SettledHorizon.h"
#include "Storage.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace trd::server::feed {

struct FeedLimits {
    std::size_t keptEvents = 20000; // changes kept in memory, the newest
    std::size_t keptBytes = 32u << 20; // and at most about this much of them
    std::size_t readLimit = 10000; // versions one reading takes; more at once: clients reload
    std::size_t resumeLimit = 2000; // versions of a language read back for a client behind memory
    std::size_t answerLimit = 2000; // changes in one answer; the client asks again for the rest
    // and about this many bytes of them (one change at least): an answer is
    // held until its follower reads it, and a follower may never read.
    std::size_t answerBytes = 64u << 10;
};

class ChangeFeed {
public:
    ChangeFeed(StorageBackend& backend, SessionPool& sessions, FeedLimits limits = {});
    ~ChangeFeed();
    ChangeFeed(const ChangeFeed&) = delete;
    ChangeFeed& operator=(const ChangeFeed&) = delete;

    // Starts following the commits. Requests made before the first reading
    // settles wait for it.
    void start();
    // Answers every waiting request as it stands and stops reading.
    void stop();

    using AnswerSink = std::function<void(FeedAnswer answer)>;
    // A request for `language`'s changes after `since` (none: only the
    // current cursor). Returns the answer when there is one now; otherwise
    // keeps the request, sets `ticket`, and later calls `sink` once, from the
    // feed's thread, unless cancel() took the request back first. Reads the
    // database for a cursor behind memory: call it where blocking is fine.
    // Review marks (types R and U) are told only with `reviewMarks`.
    std::optional<FeedAnswer> poll(const std::string& language, std::optional<std::int64_t> since, AnswerSink sink,
                                   std::uint64_t& ticket, bool reviewMarks = false);
    // poll() would answer this cursor from memory, without the database
    // (it may still be wrong a moment later: a hint for where to call poll).
    bool answersFromMemory(std::optional<std::int64_t> since) const;
    // Takes a waiting request back and answers it as it stands (no change
    // yet, the cursor moved on); nullopt when it was answered already.
    std::optional<FeedAnswer> cancel(std::uint64_t ticket);

    // Up to which version every change is known and kept (-1 before the first
    // reading settles).
    std::int64_t horizon() const;
    // Waits until the horizon reaches `version`; false on timeout.
    bool waitFor(std::int64_t version, std::chrono::milliseconds timeout) const;
    std::size_t waitingRequests() const;

private:
    struct Waiter {
        std::uint64_t ticket;
        std::string language;
        std::optional<std::int64_t> since;
        AnswerSink sink;
        bool reviewMarks = false;
    };
    struct Ready {
        AnswerSink sink;
        FeedAnswer answer;
    };

    void run();
    void readOnce();
    void settleStart();
    void append(std::vector<FeedEvent> events, std::int64_t horizon);
    void reset(std::int64_t horizon);
    // Under m_mutex: the answer for the request as memory stands, or nullopt
    // when it has to wait.
    std::optional<FeedAnswer> answerLocked(const std::string& language, std::optional<std::int64_t> since,
                                           bool reviewMarks) const;
    // Answers the waiting requests that can be answered now (under m_mutex).
    void collectLocked(std::vector<Ready>& ready);
    FeedAnswer resume(const std::string& language, std::int64_t since, bool reviewMarks);
    static void deliver(std::vector<Ready>& ready);

    StorageBackend& m_backend;
    SessionPool& m_sessions;
    const FeedLimits m_limits;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_moved; // the horizon moved
    bool m_ready = false;
    std::int64_t m_horizon = -1;
    std::int64_t m_base = -1; // memory keeps the changes after this one
    std::deque<FeedEvent> m_events;
    std::size_t m_bytes = 0;
    std::vector<Waiter> m_waiters;
    std::uint64_t m_lastTicket = 0;

    // The reader.
    SettledHorizon m_settle;
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    bool m_told = false;
    bool m_stop = false;
    std::atomic<bool> m_running{false};
    std::int64_t m_skipUntil = -1; // a burst too large to keep: skipped up to here
    std::uint64_t m_watch = 0;
    std::thread m_thread;
};

} // namespace trd::server::feed
