#pragma once
// The pieces of a streamed answer between the worker that writes them and the
// connection that sends them. A client slower than the database makes the
// worker wait once `limit` bytes are queued, so an answer of any size holds
// a few pieces, not itself; the connection's write deadline bounds the wait
// (a client that stops reading is dropped, and the worker stops with it).
// Sent pieces give their memory to the next ones, so a long answer reuses a
// few buffers instead of faulting in fresh pages all along.
//
// Only so many workers may wait on slow readers at once (ReaderWaits): the
// others must serve everyone else. A worker that finds them all taken goes
// on without waiting, its further pieces queued beyond the limit as long as
// the memory budget of the request bodies has room for them, and released
// to it as they go out; with no room either, the answer is abandoned (the
// client gets a failure report in place of the rest).
#include "AnswerPacketWriter.h"
#include "MemoryBudget.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace trd::server {

// How many workers wait on slow readers now, and how many may.
struct ReaderWaits {
    explicit ReaderWaits(int allowed) : allowed(allowed > 0 ? allowed : 1) { }
    const int allowed;
    std::atomic<int> now{0};
    bool take();
    void give() { --now; }
};

class AnswerPieces : public AnswerSink {
public:
    AnswerPieces(std::function<void()> wake, std::size_t limit, const std::atomic<bool>& stopping, ReaderWaits& waits,
                 MemoryBudget& budget);
    ~AnswerPieces() override;

    void send(std::string& bytes) override;

    // The connection's side: the piece to send next (it stays queued until
    // done() says it went), or nullptr.
    const std::string* front();
    void done();
    // The connection failed: the worker stops at its next piece.
    void abandon();

private:
    // Under m_mutex: up to `bytes` of the extra, to give back to the budget.
    std::size_t takeExtra(std::size_t bytes);

    std::function<void()> m_wake;
    const std::size_t m_limit;
    const std::atomic<bool>& m_stopping;
    ReaderWaits& m_waits;
    MemoryBudget& m_budget;
    std::mutex m_mutex;
    std::condition_variable m_room;
    std::deque<std::string> m_queue;
    std::size_t m_queued = 0;
    std::size_t m_extra = 0; // queued beyond the limit, reserved from the budget
    std::vector<std::string> m_spare;
    bool m_gone = false;
};

} // namespace trd::server
