// Bad input of every kind: a JSON-RPC error with a clear message, nothing
// written, and the server goes on answering.
#include "ServerTestKit.h"

#include <gtest/gtest.h>

using namespace trd::server::test;

namespace {

const TRow Save{"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Salvar", "N"};

class BadInput : public ::testing::Test {
protected:
    void SetUp() override { server.seed({Save}); }
    Answer raw(const std::string& body) { return parseAnswer(server.callRaw(body)); }
    void expectUntouched()
    {
        const auto rows = allRows(server, "ENG");
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].at("STVALORPROP"), "&Salvar");
        EXPECT_EQ(rows[0].at("IDSITTRADUCAO"), "N");
    }
    InProcessServer server;
};

} // namespace

TEST_F(BadInput, MalformedEnvelopesAnswerTheMatchingJsonRpcError)
{
    struct Case {
        std::string body;
        int code;
        std::string messageStart;
    };
    const Case cases[] = {
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":", -32700, "Requisição inválida: JSON malformado"},
        {"", -32700, "Requisição inválida: JSON malformado"},
        {"[{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"GetIdiTrad\"}]", -32600,
         "Requisição inválida: requisições em lote"},
        {"\"GetIdiTrad\"", -32600, "Requisição inválida"},
        {"{\"id\":1,\"method\":\"GetIdiTrad\"}", -32600, "Requisição inválida: \"jsonrpc\""},
        {"{\"jsonrpc\":\"2.0\",\"id\":1}", -32600, "Requisição inválida: falta o nome do método"},
        {"{\"jsonrpc\":\"2.0\",\"id\":[1],\"method\":\"GetIdiTrad\"}", -32600, "Requisição inválida: \"id\""},
        {request("DropTable", ""), -32601, "Método desconhecido: DropTable."},
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"GetIdiTrad\",\"params\":{}}", -32602, "Os argumentos"},
    };
    for (const auto& c : cases) {
        const Answer a = raw(c.body);
        EXPECT_FALSE(a.ok) << c.body;
        EXPECT_EQ(a.code, c.code) << c.body;
        EXPECT_EQ(a.message.rfind(c.messageStart, 0), 0u) << c.body << " -> " << a.message;
    }
    // The id comes back as sent, also in errors.
    EXPECT_NE(server.callRaw("{\"jsonrpc\":\"2.0\",\"id\":\"abc\",\"method\":\"Nope\"}").find("\"id\":\"abc\""),
              std::string::npos);
    EXPECT_TRUE(server.call("GetIdiTrad", "").ok);
}

TEST_F(BadInput, WrongArgumentsAreRefusedWithTheirRule)
{
    struct Case {
        std::string method, params, message;
    };
    const Case cases[] = {
        {"GetIdiTrad", "1", "GetIdiTrad recebe 0 argumento(s), mas recebeu 1."},
        {"GetDestino", "\"T\",\"D\",\"N\",\"ENG\",0,0", "GetDestino recebe 7 ou 8 argumento(s), mas recebeu 6."},
        {"GetCalcTrad", "\"ENG\",0,0", "GetCalcTrad recebe 5 ou 1 argumento(s), mas recebeu 3."},
        {"GetDestino", "\"T\",\"D\",\"Q\",\"ENG\",0,0,\"\"", "Situação inválida: \"Q\". Use T, D, N ou X."},
        {"GetDestino", "\"T\",\"D\",\"N\",\"ENG\",0,0,\"Z\"", "Modo de data inválido: \"Z\". Use N, T ou vazio."},
        {"GetDestino", "\"T\",\"D\",\"N\",\"ENGL\",0,0,\"\"",
         "GetDestino: o argumento 4 (idioma) tem mais de 3 caracteres."},
        {"GetDestino", "\"T\",\"D\",\"N\",7,0,0,\"\"", "GetDestino: o argumento 4 (idioma) deve ser um texto."},
        {"GetDestino", "\"T\",\"D\",\"N\",\"ENG\",\"hoje\",0,\"\"",
         "GetDestino: o argumento 5 (data inicial) deve ser uma data ({\"date\": dias desde 30/12/1899})."},
        {"GetDestino", "\"T\",\"D\",\"N\",\"ENG\",{\"date\":1e300},0,\"\"",
         "GetDestino: o argumento 5 (data inicial) não é uma data válida."},
        {"GetFiltroDest", "\"T\",\"D\",\"N\",\"AND UPPER(STVALORPROP) LIKE '%Ł%'\",\"ENG\",0,0,\"\"",
         "GetFiltroDest: o argumento 4 (filtro) contém um caractere que não existe no Windows-1252."},
        {"GetCalcTrad", "\"ENG\",0,0,\"TT\",\"T\"", "Situação inválida: \"TT\". Use T, D, N ou X."},
        // Each service's refusals name the method called, and the dates read
        // at their own places in each method's arguments.
        {"GetCalcNtrad", "", "GetCalcNtrad recebe 1 argumento(s), mas recebeu 0."},
        {"GetCalcDuv", "\"ENG\",0", "GetCalcDuv recebe 1 argumento(s), mas recebeu 2."},
        {"GetTermos", "", "GetTermos recebe 1 argumento(s), mas recebeu 0."},
        {"GetLotes", "\"ENG\",0,\"ontem\"",
         "GetLotes: o argumento 3 (data final) deve ser uma data ({\"date\": dias desde 30/12/1899})."},
        {"GetInfoTrad", "\"ENG\",\"ontem\",0",
         "GetInfoTrad: o argumento 2 (data inicial) deve ser uma data ({\"date\": dias desde 30/12/1899})."},
        {"GetFiltroDest", "\"T\",\"D\",\"N\",\"\",\"ENG\",0,\"ontem\",\"\"",
         "GetFiltroDest: o argumento 7 (data final) deve ser uma data ({\"date\": dias desde 30/12/1899})."},
        {"GetCalcRevisadas", "\"ENG\",0,0,\"Z\"", "Modo de data inválido: \"Z\". Use N, T ou vazio."},
        {"SetDestino", "42",
         "SetDestino: o argumento 1 (pacote de alterações) deve ser um pacote de dados (texto XML)."},
    };
    for (const auto& c : cases) {
        const Answer a = server.call(c.method, c.params);
        EXPECT_EQ(a.code, -32602) << c.method << "(" << c.params << ")";
        EXPECT_EQ(a.message, c.message);
    }
}

TEST_F(BadInput, DeltasThatBreakAFieldRuleWriteNothing)
{
    auto refuse = [&](const std::string& delta, const std::string& messagePart) {
        const Answer a = server.call("SetDestino", json(delta));
        EXPECT_EQ(a.code, -32602) << a.message;
        EXPECT_NE(a.message.find(messagePart), std::string::npos) << a.message;
        expectUntouched();
    };
    // Each delta changes Save legitimately first, then breaks a rule.
    const TRow other{"ENG", "P", "c", "s", "d", "N"};
    refuse(
        DeltaBuilder().modify(Save, std::string("ok"), std::string("T")).modify(other, std::string(4001, 'a')).xml(),
        "Texto longo demais no campo STVALORPROP (linha 4 do pacote de alterações): 4001 caracteres, o máximo é 4000.");
    refuse(DeltaBuilder().modify(Save, std::string("ok"), std::string("Z")).xml(),
           "Situação inválida: \"Z\" (linha 2 do pacote de alterações). Use T, D ou N.");
    refuse(DeltaBuilder().modify(Save, std::string("Łódź")).xml(),
           "O campo STVALORPROP contém um caractere que não existe no Windows-1252");
    refuse(DeltaBuilder().modify(Save, std::string("a\x01")).xml(), "caractere de controle");
    refuse(DeltaBuilder().insert({"ENG", std::string(21, 'P'), "c", "s", "d", "N"}).xml(),
           "Texto longo demais no campo CDPROGTRAD");
    refuse(DeltaBuilder().insert({"ENG", "", "c", "s", "d", "N"}).xml(), "O campo CDPROGTRAD deve ser informado");
    refuse("<DATAPACKET Version=\"2.0\"><METADATA>", "Pacote de alterações inválido");
    refuse("não é XML", "Pacote de alterações inválido");
    // A modified row without its original, and an original without its change.
    std::string delta = DeltaBuilder().modify(Save, std::string("x")).xml();
    std::string onlyModified = delta;
    onlyModified.erase(onlyModified.find("<ROW RowState=\"1\""),
                       onlyModified.find("<ROW RowState=\"8\"") - onlyModified.find("<ROW RowState=\"1\""));
    refuse(onlyModified, "alteração sem o registro original");
    std::string onlyOriginal = delta;
    onlyOriginal.erase(onlyOriginal.find("<ROW RowState=\"8\""),
                       onlyOriginal.find("</ROWDATA>") - onlyOriginal.find("<ROW RowState=\"8\""));
    refuse(onlyOriginal, "não é seguido da sua alteração");
    std::string plainRow = DeltaBuilder().insert(Save).xml();
    plainRow.replace(plainRow.find(" RowState=\"4\""), 13, "");
    refuse(plainRow, "RowState 0 não suportado");
}
