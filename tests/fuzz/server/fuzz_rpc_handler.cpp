// Feeds arbitrary request bodies to the JSON-RPC handler over a small real
// database: every input must give a JSON-RPC answer, never a crash or a leak.
#include "Json.h"
#include "ServerContext.h"
#include "SqliteStorage.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace trd::server;

namespace {

ServerContext& context()
{
    static ServerContext* ctx = [] {
        char dir[] = "/tmp/trd-fuzz-XXXXXX";
        const std::string path = std::string(mkdtemp(dir)) + "/fuzz.db";
        auto* c =
            new ServerContext(std::make_unique<SqliteStorage>(path, SqliteStorage::creating()), [] { return 46000.5; });
        c->writer().runExclusive([](StorageWriter& w) {
            w.putLanguage({"ENG", "Inglês", "POR"});
            w.insertRow({{"ENG", "TRD09300", "sbtSalvar", "&Salvar"}, "&Save", "T", 46000.0}, 46000.0);
            w.insertRow({{"ENG", "TRD09300", "lblCodTela", "Código"}, "Code", "N", 45000.0}, 45000.0);
        });
        return c;
    }();
    return *ctx;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const RpcOutcome out = context().handler().handle(std::string_view(reinterpret_cast<const char*>(data), size));
    // The answer itself must be well-formed JSON.
    const JsonValue answer = parseJson(out.body);
    if (!answer.isObject() || (!answer.find("result") && !answer.find("error")))
        std::abort();
    return 0;
}
