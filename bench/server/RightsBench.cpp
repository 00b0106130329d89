// What checking rights costs a save (docs/users.md): one durable single-row
// SetDestino through the JSON-RPC handler of a server with users, by a
// tradutor of the language (the right read from the method's table and the
// delta's languages, the language's review rules read, the writer told to
// guard reviewed rows), beside the same save taking the path calls took
// before rights: the envelope, the session token, the delta, the writer.
// Both run in the same process, on the same database, in turns: each
// iteration makes one save of each kind and times its own.
//
//   bench_rights [--benchmark_repetitions=5]
#include "DeltaReader.h"
#include "Json.h"
#include "ServerTestKit.h"
#include "UserStore.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>
#include <stdexcept>

using namespace trd::server;
using namespace trd::server::test;

namespace {

struct Bench {
    InProcessServer server;
    QTemporaryDir dir;
    std::unique_ptr<UserStore> users;
    CallContext context;
    TRow checkedRow{"ENG", "TRD09300", "sbtChecked", "&Conferido", "", "N"};
    TRow plainRow{"ENG", "TRD09300", "sbtPlain", "&Simples", "", "N"};

    Bench()
    {
        server.seed({checkedRow, plainRow});
        users = std::make_unique<UserStore>(dir.filePath("trd.users").toStdString());
        users->add("tina", "senha-bench", Grants::parse("tradutor:ENG,leitor:*"));
        users->watchWhileServing();
        server.context().handler().requireLogin(*users, std::chrono::hours(1));
        context.authorization = "Bearer " + users->issue("tina", *users->hashOf("tina"), std::chrono::hours(1));
    }

    static Bench& instance()
    {
        static Bench bench;
        return bench;
    }

    std::string body(TRow& row, std::int64_t i)
    {
        const std::string text = "Texto " + std::to_string(i);
        std::string b = request("SetDestino", json(DeltaBuilder().modify(row, text).xml()));
        row.dst = text;
        return b;
    }

    // A durable save with rights checked: the handler's whole path.
    void checked(std::int64_t i)
    {
        const RpcOutcome out = server.context().handler().handle(body(checkedRow, i), context);
        if (!out.ok)
            throw std::runtime_error(out.errorMessage);
    }

    // The path of a save without rights: what RpcHandler and SetDestino did
    // before roles (envelope, token, delta, writer, answer).
    void unchecked(std::int64_t i)
    {
        JsonValue envelope = parseJson(body(plainRow, i));
        const auto user = users->user(context.authorization.substr(7));
        WriteOrigin origin;
        origin.user = user ? *user : "-";
        origin.method = "SetDestino";
        const std::vector<RowChange> changes = readDelta(envelope.find("params")->array()[0].string());
        server.context().writer().apply(changes, origin);
        AnswerBuffer out;
        AnswerPacketWriter packet(out, std::span<const AnswerField>());
        packet.finish();
        benchmark::DoNotOptimize(out.bytes);
    }
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Each iteration makes both saves, in alternating order, and times each:
// the two meet the same moments of a shared machine and the same disk. The
// counters are the medians of each kind, in microseconds, and their ratio.
void BM_SavePairs(benchmark::State& state)
{
    Bench& b = Bench::instance();
    using Clock = std::chrono::steady_clock;
    std::vector<double> checked, unchecked;
    std::int64_t i = 0;
    for (auto _ : state) {
        ++i;
        for (int turn = 0; turn < 2; ++turn) {
            const bool check = (turn == 0) == (i % 2 == 0);
            const auto start = Clock::now();
            check ? b.checked(i) : b.unchecked(i);
            (check ? checked : unchecked)
                .push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
    }
    const double c = median(checked), u = median(unchecked);
    state.counters["checked_us"] = c;
    state.counters["unchecked_us"] = u;
    state.counters["ratio"] = u > 0 ? c / u : 0;
}

BENCHMARK(BM_SavePairs)->Unit(benchmark::kMicrosecond)->MinTime(3.0);

} // namespace

BENCHMARK_MAIN();
