// Errors raised below the protocol (the filter reader, the storage back ends)
// reach the client with the JSON-RPC code and the words of their kind, and a
// database's own account of a failure stays in the log.
#include "ServerTestKit.h"
#include "SqliteConnection.h"
#ifdef TRD_HAVE_POSTGRESQL
#include "PostgresConnection.h"
#endif

#include <gtest/gtest.h>

#include <functional>

using namespace trd::server;
using namespace trd::server::test;

namespace {

const TRow Save{"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Salvar", "N"};

// A database whose every read fails the way it is told to at the time
// (sessions are pooled: they look the failure up on each call).
class FailingSession : public StorageSession {
public:
    explicit FailingSession(const std::function<void()>& fail) : m_fail(fail) { }
    std::vector<Language> languages() override { return m_fail(), std::vector<Language>(); }
    void selectRows(const RowSelection&, const RowVisitor&) override { m_fail(); }
    void selectListedRows(const std::string&, const std::vector<ListedKey>&, const RowVisitor&) override { m_fail(); }
    void selectInfoRows(const std::string&, const DateBounds&, const InfoVisitor&) override { m_fail(); }
    std::int64_t countRows(const std::string&, std::string_view, const DateBounds&) override { return m_fail(), 0; }
    void ping() override { m_fail(); }
    void scanRows(const KeyedRowVisitor&) override { m_fail(); }
    void selectRowsById(const std::vector<std::int64_t>&, const KeyedRowVisitor&) override { m_fail(); }

private:
    const std::function<void()>& m_fail;
};

class IdleWriter : public StorageWriter {
public:
    void beginBatch() override { }
    void beginItem() override { }
    void endItem(bool) override { }
    void commitBatch() override { }
    void rollbackBatch() override { }
    void apply(const RowChange&, double) override { }
    void putLanguage(const Language&) override { }
    void insertRow(const TranslationRow&, double) override { }
};

class FailingBackend : public StorageBackend {
public:
    std::function<void()> fail;
    std::unique_ptr<StorageSession> openSession() override { return std::make_unique<FailingSession>(fail); }
    std::unique_ptr<StorageWriter> openWriter() override { return std::make_unique<IdleWriter>(); }
    bool isEmpty() override { return false; }
};

} // namespace

TEST(ErrorCodes, RefusalsOfTheFilterAndOfTheDataKeepTheirCodesAndWords)
{
    InProcessServer server;
    server.seed({Save});

    const Answer filter =
        server.call("GetFiltroDest", "\"T\",\"D\",\"N\"," + json(" AND CDPROGTRAD = 'X' OR 1=1") + ",\"ENG\",0,0,\"\"");
    EXPECT_EQ(filter.code, -32602);
    EXPECT_EQ(filter.message, "Filtro inválido na posição 23: esperado AND, encontrado \"OR 1=1\".");

    const Answer language =
        server.call("SetDestino", json(DeltaBuilder().insert({"XYZ", "P", "c", "s", "d", "N"}).xml()));
    EXPECT_EQ(language.code, -32000);
    EXPECT_EQ(language.message, "Idioma não cadastrado: XYZ.");

    const Answer duplicate = server.call("SetDestino", json(DeltaBuilder().insert(Save).xml()));
    EXPECT_EQ(duplicate.code, -32000);
    EXPECT_EQ(duplicate.message,
              "Já existe uma tradução para o idioma ENG, tela TRD09300, componente sbtSalvar com "
              "este texto de origem.");
    EXPECT_EQ(allRows(server, "ENG").size(), 1u);
}

TEST(ErrorCodes, DatabaseFailuresAnswerTheInternalCodeAndKeepTheirDetailForTheLog)
{
    auto owned = std::make_unique<FailingBackend>();
    FailingBackend& backend = *owned;
    ServerContext context(std::move(owned), [] { return 46000.5; });

    struct Case {
        std::function<void()> fail;
        std::string message;
        std::string detail;
    };
    const Case cases[] = {
        {[] { throw SqliteError(SQLITE_BUSY, "database is locked"); },
         "O banco de dados do servidor está ocupado; tente novamente em instantes.", "database is locked"},
        {[] { throw SqliteError(SQLITE_CORRUPT, "database disk image is malformed"); },
         "O banco de dados do servidor está danificado; a operação não foi feita. Avise o administrador do sistema.",
         "database disk image is malformed"},
        {[] { throw StorageError("no such table: TRADUCAO"); },
         "Erro no banco de dados do servidor. Tente novamente; se persistir, avise o administrador do sistema.",
         "no such table: TRADUCAO"},
#ifdef TRD_HAVE_POSTGRESQL
        {[] { throw PostgresError("08006", "server closed the connection unexpectedly"); },
         "Sem conexão com o banco de dados do servidor; a operação não foi feita. Tente novamente em instantes.",
         "server closed the connection unexpectedly"},
        {[] { throw PostgresError("55P03", "canceling statement due to lock timeout"); },
         "Os registros estão bloqueados por outra operação no banco de dados; a operação não foi feita. Tente "
         "novamente em instantes.",
         "canceling statement due to lock timeout"},
#endif
    };
    for (const Case& c : cases) {
        backend.fail = c.fail;
        const RpcOutcome outcome = context.handler().handle(request("GetIdiTrad", ""));
        EXPECT_FALSE(outcome.ok) << c.detail;
        EXPECT_EQ(outcome.errorCode, -32603) << c.detail;
        EXPECT_EQ(outcome.errorDetail, c.detail);
        const Answer answer = parseAnswer(outcome.body);
        EXPECT_EQ(answer.code, -32603) << c.detail;
        EXPECT_EQ(answer.message, c.message);
        EXPECT_EQ(outcome.body.find(c.detail), std::string::npos) << outcome.body;
    }
}
