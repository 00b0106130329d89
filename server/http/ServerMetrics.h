#pragma once
// The counters behind GET /metrics (Prometheus text format): calls by method
// and outcome with their latency as histograms, and refusals at the edge.
// Counting is on the path of every call, so it takes no lock and allocates
// nothing: relaxed atomics in fixed slots, one per method, a method's slot
// claimed once by compare-and-swap the first time it is seen. What is read
// only when scraped (connections open, the memory index, the database's
// size) is gathered then, by whoever renders the page.
#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace trd::server {

enum class CallOutcome { Ok, Invalid, Denied, Refused, Failed };
// How a JSON-RPC error code is counted (0: no error).
CallOutcome outcomeOfCode(int code);

enum class RefusalKind { Connection, Request, Answer };

class ServerMetrics {
public:
    static constexpr std::array<double, 14> Bounds{0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                   0.1,    0.25,  0.5,    1,     2.5,  5,     10};

    // One answered call. method: the server's own name for it (at most 47
    // bytes; a name never seen fills a free slot, past 63 they share one).
    void countCall(std::string_view method, CallOutcome outcome, double seconds);
    void countRefusal(RefusalKind kind);

    // The families above, in the text format, each with HELP and TYPE.
    std::string render() const;

private:
    static constexpr std::size_t Slots = 64;
    static constexpr std::size_t Outcomes = 5;
    struct Slot {
        std::atomic<int> state{0}; // 0 free, 1 being named, 2 named
        char name[48] = {};
        std::array<std::atomic<std::uint64_t>, Outcomes> outcomes{};
        std::array<std::atomic<std::uint64_t>, Bounds.size() + 1> buckets{}; // each bound's own, not cumulative
        std::atomic<std::uint64_t> micros{0};
    };
    Slot& slotFor(std::string_view method);

    std::array<Slot, Slots> m_slots;
    std::array<std::atomic<std::uint64_t>, 3> m_refusals{};
};

// A label value in the text format: backslash, double quote and line feed escaped.
std::string metricLabel(std::string_view value);

} // namespace trd::server
