// What the counters of /metrics cost a call: the save round trip (one durable
// single-row SetDestino over a kept-alive HTTP connection to an in-process
// server) with the counters on and off, in turns on the same database; and
// the counting itself (a method's slot found, an outcome and a histogram
// bucket added) beside its floor, one relaxed atomic addition, on 1 to 4
// threads at once.
//
//   bench_metrics [--benchmark_repetitions=5]
#include "HttpServer.h"
#include "ServerMetrics.h"
#include "ServerTestKit.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <atomic>
#include <memory>
#include <thread>

using namespace trd::server;
using namespace trd::server::test;

namespace {

struct Edge {
    std::unique_ptr<HttpServer> http;
    std::thread serving;
    int port = 0;

    Edge(InProcessServer& server, bool countCalls)
    {
        HttpOptions options;
        options.port = 0;
        options.threads = 4;
        options.log = false;
        options.countCalls = countCalls;
        http = std::make_unique<HttpServer>(server.context().handler(), server.context().health(), options);
        port = http->bind();
        serving = std::thread([this] { http->serve(); });
    }
    ~Edge()
    {
        http->stop();
        serving.join();
    }
};

struct Bench {
    InProcessServer server;
    TRow counted{"ENG", "TRD09300", "sbtCounted", "&Contado", "", "N"};
    TRow plain{"ENG", "TRD09300", "sbtPlain", "&Simples", "", "N"};
    std::unique_ptr<Edge> withCounters, without;

    Bench()
    {
        server.seed({counted, plain});
        withCounters = std::make_unique<Edge>(server, true);
        without = std::make_unique<Edge>(server, false);
    }
    static Bench& instance()
    {
        static Bench bench;
        return bench;
    }
};

void save(benchmark::State& state, bool countCalls)
{
    Bench& b = Bench::instance();
    Edge& edge = countCalls ? *b.withCounters : *b.without;
    TRow& row = countCalls ? b.counted : b.plain;
    httplib::Client client("127.0.0.1", edge.port);
    client.set_keep_alive(true);
    std::int64_t i = 0;
    for (auto _ : state) {
        const std::string text = "Texto " + std::to_string(++i);
        auto res = client.Post("/Trd09300.rdmTraducao",
                               request("SetDestino", json(DeltaBuilder().modify(row, text).xml())), "application/json");
        if (!res || res->status != 200 || res->body.find("\"error\"") != std::string::npos) {
            state.SkipWithError("the save failed");
            break;
        }
        row.dst = text;
    }
}

void BM_SaveRoundTrip_WithCounters(benchmark::State& state)
{
    save(state, true);
}
void BM_SaveRoundTrip_WithoutCounters(benchmark::State& state)
{
    save(state, false);
}
BENCHMARK(BM_SaveRoundTrip_WithCounters)->UseRealTime()->MinTime(2);
BENCHMARK(BM_SaveRoundTrip_WithoutCounters)->UseRealTime()->MinTime(2);

ServerMetrics& shared()
{
    static ServerMetrics metrics;
    return metrics;
}

void BM_CountCall(benchmark::State& state)
{
    static const char* const methods[] = {"SetDestino", "GetDestino", "GetFiltroDest", "GetSugestoes"};
    std::size_t k = static_cast<std::size_t>(state.thread_index());
    for (auto _ : state)
        shared().countCall(methods[k++ % 4], CallOutcome::Ok, 0.0031);
}
BENCHMARK(BM_CountCall)->ThreadRange(1, 4)->UseRealTime();

// The floor: the one atomic addition counting cannot do without.
void BM_Floor_AtomicAdd(benchmark::State& state)
{
    static std::atomic<std::uint64_t> counter{0};
    for (auto _ : state)
        counter.fetch_add(1, std::memory_order_relaxed);
    benchmark::DoNotOptimize(counter.load());
}
BENCHMARK(BM_Floor_AtomicAdd)->ThreadRange(1, 4)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
