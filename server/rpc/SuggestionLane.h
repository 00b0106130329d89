#pragma once
// The translation memory's suggestions run apart from every other call: on a
// thread of their own, below the workers' priority, from a queue of bounded
// length. A search over a large language costs milliseconds to a good part
// of a second of processor (docs/memory.md, "Figures"); on the workers a
// flood of them would keep saves and /health waiting. Here a flood fills the
// queue, past which a call is refused at once, and a call whose client has
// gone by the time its turn comes is dropped without searching.
//
// A lane of bulk work (a pre-translation's pieces) can run at Linux's idle
// scheduling instead: its threads get a processor only when no thread of
// normal priority wants one, and a waking thread that serves a save takes it
// from them at once (at nice 10 they would still keep a tenth of it). Only
// for work that never holds what a save waits for: the writer and the
// workers' threads stay as they are.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace trd::server {

class SuggestionLane {
public:
    struct Limits {
        std::size_t queued = 32; // calls waiting for their turn
        int threads = 1;
        bool idle = false; // the threads at SCHED_IDLE rather than nice 10
        const char* name = nullptr; // the threads' name, as ps and /proc show it (15 bytes at most)
    };
    explicit SuggestionLane(Limits limits);
    SuggestionLane() : SuggestionLane(Limits{}) { }
    ~SuggestionLane();
    SuggestionLane(const SuggestionLane&) = delete;
    SuggestionLane& operator=(const SuggestionLane&) = delete;

    // Queues `run`; false (nothing queued) when the queue is full. `run`
    // gets true when its call is to be dropped: the server is stopping.
    bool submit(std::function<void(bool dropped)> run);
    const Limits& limits() const { return m_limits; }

private:
    void work();

    const Limits m_limits;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void(bool)>> m_queue;
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

} // namespace trd::server
