// What checking rights costs a save (docs/users.md): one durable single-row
// SetDestino through the JSON-RPC handler of a server with users, by a
// tradutor of the language (the right read from the method's table and the
// delta's languages, the language's review rules read, the writer told to
// guard reviewed rows), beside the same save taking the path calls took
// before rights: the envelope, the session token, the delta, the writer.
// Both run in the same process, on the same database, in turns.
//
//   bench_rights [--benchmark_repetitions=5]
#include "DeltaReader.h"
#include "Json.h"
#include "ServerTestKit.h"
#include "UserStore.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <memory>

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
};

void BM_SaveRightsChecked(benchmark::State& state)
{
    Bench& b = Bench::instance();
    std::int64_t i = 0;
    for (auto _ : state) {
        const RpcOutcome out = b.server.context().handler().handle(b.body(b.checkedRow, ++i), b.context);
        if (!out.ok)
            state.SkipWithError(out.errorMessage.c_str());
    }
}

// The path of a save without rights: what RpcHandler and SetDestino did
// before roles (envelope, token, delta, writer, answer).
void BM_SaveWithoutRights(benchmark::State& state)
{
    Bench& b = Bench::instance();
    std::int64_t i = 0;
    for (auto _ : state) {
        JsonValue envelope = parseJson(b.body(b.plainRow, ++i));
        const auto user = b.users->user(b.context.authorization.substr(7));
        WriteOrigin origin;
        origin.user = user ? *user : "-";
        origin.method = "SetDestino";
        const std::vector<RowChange> changes = readDelta(envelope.find("params")->array()[0].string());
        b.server.context().writer().apply(changes, origin);
        AnswerBuffer out;
        AnswerPacketWriter packet(out, std::span<const AnswerField>());
        packet.finish();
        benchmark::DoNotOptimize(out.bytes);
    }
}

// In turns, so that both meet the same moments of a shared machine.
BENCHMARK(BM_SaveRightsChecked)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_SaveWithoutRights)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_SaveRightsChecked)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_SaveWithoutRights)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
