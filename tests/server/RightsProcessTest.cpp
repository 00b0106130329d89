// Who may do what, against the real trd-server on SQLite and on PostgreSQL:
// every method of every table and the change feed tried by every role
// (allowed, or refused with -32003 and nothing written), roles changed while
// a session is open, required review refusing a tradutor's save, the rule
// that keeps a revisor from marking their own change, and the review mark's
// way through the row packet, the history, the counts, the filter and the
// live feed.
#include "Json.h"
#include "PostgresCluster.h"
#include "ServerTestKit.h"
#include "StandInEngine.h"
#include "TranslationService.h"
#include "TrdServerProcess.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <set>
#include <thread>

using namespace trd::server;
using namespace trd::server::test;
using trd::test::TrdServerProcess;

namespace {

const QByteArray Seed = "L\tENG\tInglês\tPOR\n"
                        "L\tESP\tEspanhol\tPOR\n"
                        "R\tENG\tTRD09300\tsbtSalvar\t&Salvar\t&Save\tT\n"
                        "R\tENG\tTRD09300\tsbtFechar\t&Fechar\t&Close\tT\n"
                        "R\tENG\tTRD09301\tlblNome\tMunicípio\t\tN\n"
                        "R\tESP\tTRD09300\tsbtSalvar\t&Salvar\t&Guardar\tT\n";

// The users, weakest first: the table's roles are their indexes.
enum Level { NoRole, Reader, Translator, Reviewer, LanguageAdmin, Admin, LevelCount };
const char* const Users[] = {"nil", "leo", "tina", "rui", "ada", "root"};
const char* const Papers[] = {nullptr,       "leitor:ENG",        "tradutor:ENG",
                              "revisor:ENG", "administrador:ENG", "administrador:*"};

int runUser(const QString& users, const QStringList& args, const QByteArray& input = "senha\n")
{
    QProcess p;
    p.start(TrdServerProcess::binaryPath(), QStringList{"user"} + args + QStringList{"--users", users});
    if (!p.waitForStarted(10000))
        return -1;
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(30000);
    return p.exitCode();
}

struct FeedReply {
    int status = 0;
    JsonValue body;
};

// A server with the six users logged in.
class Site {
public:
    explicit Site(const std::string& pg)
    {
        m_users = m_dir.filePath("trd.users");
        for (int level = 0; level < LevelCount; ++level) {
            QStringList args{"add", Users[level]};
            if (Papers[level])
                args << "--papel" << Papers[level];
            else
                args << "--papel"
                     << "leitor:ESP";
            EXPECT_EQ(runUser(m_users, args), 0);
        }
        // A user with no role at all: every role taken away.
        EXPECT_EQ(runUser(m_users, {"revoke", "nil", "ESP"}), 0);
        TrdServerProcess::Options o;
        o.seedTsv = Seed;
        o.pg = QString::fromStdString(pg);
        o.extraArgs = {"--users", m_users, "--mt-url", QString::fromStdString(m_engine.url())};
        m_server = std::make_unique<TrdServerProcess>(o);
        if (!m_server->isRunning())
            return;
        for (int level = 0; level < LevelCount; ++level) {
            m_tokens[level] = login(Users[level]);
            EXPECT_FALSE(m_tokens[level].empty()) << "the login of " << Users[level] << " gave no session";
        }
    }

    bool running() const { return m_server && m_server->isRunning(); }
    QString error() const { return m_server ? m_server->errorString() : QString(); }
    int port() const { return m_server->port(); }
    const QString& usersFile() const { return m_users; }

    std::string login(const std::string& name, const std::string& password = "senha")
    {
        httplib::Client http("127.0.0.1", port());
        // A login hashes the password on purpose slowly: on a loaded machine it
        // outlasts the client's default wait of five seconds.
        http.set_read_timeout(60);
        auto res =
            http.Post("/Trd09300.rdmTraducao", request("Login", json(name) + "," + json(password)), "application/json");
        if (!res)
            return std::string();
        const JsonValue answer = parseJson(res->body);
        const JsonValue* token = answer.find("result");
        return token ? token->string() : std::string();
    }

    Answer call(int level, const std::string& method, const std::string& params, const httplib::Headers& extra = {})
    {
        return callAs(m_tokens[level], method, params, extra);
    }

    Answer callAs(const std::string& token, const std::string& method, const std::string& params,
                  const httplib::Headers& extra = {})
    {
        httplib::Client http("127.0.0.1", port());
        http.set_read_timeout(30);
        httplib::Headers headers = extra;
        headers.emplace("Authorization", "Bearer " + token);
        auto res = http.Post("/Trd09300.rdmTraducao", headers, request(method, params), "application/json");
        if (!res)
            return Answer{false, -1, "transport failure", {}, {}};
        return parseAnswer(res->body);
    }

    FeedReply feed(int level, const std::string& query)
    {
        httplib::Client http("127.0.0.1", port());
        http.set_read_timeout(60);
        auto res =
            http.Get("/Trd09300.rdmTraducao/alteracoes?" + query, {{"Authorization", "Bearer " + m_tokens[level]}});
        if (!res)
            return {};
        return {res->status, parseJson(res->body)};
    }

    std::vector<Row> rows(const std::string& language)
    {
        return call(Admin, "GetDestino", "\"T\",\"D\",\"N\"," + json(language) + ",0,0,\"\"").rows;
    }

    Row row(const std::string& component)
    {
        for (const Row& r : rows("ENG"))
            if (r.at("NMCOMPONENTE") == component)
                return r;
        ADD_FAILURE() << "no row " << component;
        return {};
    }

    // A save of one ENG row's text, from what it holds now.
    Answer save(int level, const std::string& component, const std::string& text)
    {
        const Row r = row(component);
        const TRow now{
            "ENG", r.at("CDPROGTRAD"), component, r.at("STAGRVALPROP"), r.at("STVALORPROP"), r.at("IDSITTRADUCAO")};
        return call(level, "SetDestino", json(DeltaBuilder().modify(now, text).xml()));
    }

    Answer mark(int level, const std::string& component, bool marked)
    {
        const Row r = row(component);
        return call(level, "MarcaRevisao",
                    "\"ENG\"," + json(r.at("CDPROGTRAD")) + "," + json(component) + "," + json(r.at("STAGRVALPROP"))
                        + (marked ? ",\"S\"," : ",\"N\",") + json(r.at("STVALORPROP")) + ","
                        + json(r.at("IDSITTRADUCAO")));
    }

    // Everything a call could write: rows with their marks, batches, the
    // review rules, the users and their roles.
    std::string state()
    {
        std::string s;
        for (const char* language : {"ENG", "ESP"}) {
            for (const Row& r : rows(language))
                for (const auto& [k, v] : r)
                    s += k + "=" + v + ";";
            for (const Row& r : call(Admin, "GetLotes", json(language) + ",0,0").rows)
                s += "lote " + r.at("IDLOTE") + "/" + r.at("NRLINHAS") + ";";
        }
        for (const Row& r : call(Admin, "GetPapeis", "").rows)
            s += r.at("IDIDIOMA") + r.at("FLREVOBRIG") + r.at("FLREVPROPRIA") + ";";
        for (const Row& r : call(Admin, "GetUsuarios", "").rows)
            s += r.at("NMUSUARIO") + ":" + r.at("IDIDIOMA") + ":" + r.at("TPPAPEL") + ";";
        return s;
    }

    // The newest batch of ENG, and one of its versions.
    std::pair<std::string, std::string> newestBatchAndVersion(const std::string& component)
    {
        const std::string batch = call(Admin, "GetLotes", "\"ENG\",0,0").rows.at(0).at("IDLOTE");
        const Row r = row(component);
        const Answer versions = call(Admin, "GetHistorico",
                                     "\"ENG\"," + json(r.at("CDPROGTRAD")) + "," + json(component) + ","
                                         + json(r.at("STAGRVALPROP")) + ",1");
        return {batch, versions.rows.at(0).at("IDVERSAO")};
    }

private:
    QTemporaryDir m_dir;
    trd::test::StandInEngine m_engine; // the machine translation's methods answer as any
    QString m_users;
    std::unique_ptr<TrdServerProcess> m_server;
    std::string m_tokens[LevelCount];
};

// One row of the table: a method, the least role that may call it, and its
// arguments (built when the case runs: some need what the server holds then).
struct MethodCase {
    std::string method;
    int least;
    std::function<std::string(Site&)> params;
    // Before the call, outside what is compared: what the call needs to find.
    std::function<void(Site&)> prepare = {};
};

// A term of the glossary added by the administrador, for the calls that name one.
std::string newTerm(Site& s)
{
    static int terms = 0;
    const Answer a =
        s.call(Admin, "AddTermo",
               "\"ENG\",\"Termo do administrador " + std::to_string(++terms) + "\",\"Term\",\"\",\"N\",\"\",\"\"");
    return a.ok && !a.rows.empty() ? a.rows[0].at("IDTERMO") : std::string("0");
}

std::vector<MethodCase> methodTable()
{
    static int counter = 0;
    const auto fixed = [](std::string p) { return [p](Site&) { return p; }; };
    // A batch of another user (root), for the undo of anyone's.
    const auto rootSaves = [](Site& s) {
        ASSERT_TRUE(s.save(Admin, "sbtFechar", "&Close " + std::to_string(++counter)).ok);
    };
    const std::string release =
        "TRD09300\tsbtSalvar\t&Salvar\nTRD09300\tsbtFechar\t&Fechar\nTRD09301\tlblNome\tMunicípio\n";
    const std::string listed =
        listedRowsPacket({{"TRD09300", "sbtSalvar", std::string("&Salvar"), "N", std::string("ENG")}});
    return {
        {"GetPapeis", NoRole, fixed("")},
        {"GetIdiTrad", Reader, fixed("")},
        {"GetDestino", Reader, fixed("\"T\",\"D\",\"N\",\"ENG\",0,0,\"\"")},
        {"GetFiltroDest", Reader, fixed("\"T\",\"D\",\"N\",\" AND REVISADO = 'N'\",\"ENG\",0,0,\"\"")},
        {"GetCDSFilter", Reader, fixed("\"ENG\"," + json(listed) + ",\"2\"")},
        {"GetInfoTrad", Reader, fixed("\"ENG\"")},
        {"GetCalcTrad", Reader, fixed("\"ENG\",0,0,\"T\",\"T\"")},
        {"GetCalcNtrad", Reader, fixed("\"ENG\"")},
        {"GetCalcDuv", Reader, fixed("\"ENG\"")},
        {"GetCalcRevisadas", Reader, fixed("\"ENG\",0,0,\"T\"")},
        {"GetDataHoraServ", Reader, fixed("")},
        {"GetCatalogoRel", Reader, fixed("")},
        {"GetConsultaRel", Reader, fixed("\"ProgressoPorTela\",\"P_IDIDIOMA\",\"ENG\"")},
        {"GetSugestoes", Reader, fixed("\"ENG\",\"&Salvar\",\"TRD09300\",\"sbtSalvar\"")},
        {"GetMesmaOrigem", Reader, fixed("\"ENG\",\"&Salvar\",\"TRD09300\",\"sbtSalvar\"")},
        {"GetInconsistencias", Reader, fixed("\"ENG\"")},
        {"GetHistorico", Reader, fixed("\"ENG\",\"TRD09300\",\"sbtSalvar\",\"&Salvar\",0")},
        {"GetLotes", Reader, fixed("\"ENG\",0,0")},
        {"SetDestino", Translator,
         [](Site& s) {
             const Row r = s.row("sbtSalvar");
             const TRow now{"ENG", "TRD09300", "sbtSalvar", "&Salvar", r.at("STVALORPROP"), r.at("IDSITTRADUCAO")};
             return json(DeltaBuilder().modify(now, "&Save " + std::to_string(++counter)).xml());
         }},
        {"AbreLote", Translator, fixed("\"ENG\",\"substituicao\"")},
        {"DesfazLote", LanguageAdmin,
         [](Site& s) { return "\"ENG\"," + s.newestBatchAndVersion("sbtFechar").first + ",\"S\""; }, rootSaves},
        {"DesfazVersao", LanguageAdmin,
         [](Site& s) { return "\"ENG\"," + s.newestBatchAndVersion("sbtFechar").second + ",\"S\""; }, rootSaves},
        {"MarcaRevisao", Reviewer,
         [](Site& s) {
             const Row r = s.row("lblNome");
             return "\"ENG\",\"TRD09301\",\"lblNome\"," + json(r.at("STAGRVALPROP")) + ",\"S\"";
         }},
        {"SetRevisaoIdioma", LanguageAdmin, fixed("\"ENG\",\"N\",\"N\"")},
        {"GetUsuarios", Admin, fixed("")},
        {"ConcedePapel", Admin, fixed("\"leo\",\"leitor\",\"ESP\"")},
        {"RetiraPapel", Admin, fixed("\"leo\",\"ESP\"")},
        // The release of the application the server already holds: ENG keeps
        // every row, and applying it again changes nothing.
        {"GetPreviaLiberacao", Reader, fixed(json(release))},
        {"AplicaLiberacao", Admin, fixed(json(release))},
        {"GetOrigensAnteriores", Reader, fixed("\"ENG\",\"T\"")},
        {"GetObsoletas", Reader, fixed("\"ENG\"")},
        // No apply runs under the token: the answers say so, and nothing is cancelled.
        {"GetProgressoLiberacao", Admin, fixed("\"nenhuma\"")},
        {"CancelaLiberacao", Admin, fixed("\"nenhuma\"")},
        {"GetParesAutomaticos", Reader, fixed("")},
        {"GetTraducaoAutomatica", Reader, fixed("\"ENG\",\"&Salvar\"")},
        {"GetTraducoesAutomaticas", Translator, fixed("\"ENG\",[\"&Salvar\",\"Fechar\"]")},
        {"GetTermos", Reader, fixed("\"ENG\"")},
        {"GetTermo", Reader, [](Site& s) { return "\"ENG\"," + newTerm(s); }},
        {"AddTermo", Reviewer,
         [](Site&) { return "\"ENG\",\"Termo " + std::to_string(++counter) + "\",\"Term\",\"\",\"N\",\"\",\"\""; }},
        {"AlteraTermo", Reviewer,
         [](Site& s) {
             return "\"ENG\"," + newTerm(s) + ",\"Termo " + std::to_string(++counter)
                 + "\",\"Term\",\"\",\"N\",\"\",\"\"";
         }},
        {"ExcluiTermo", Reviewer, [](Site& s) { return "\"ENG\"," + newTerm(s); }},
        {"GetHistoricoTermos", Reader, fixed("\"ENG\",0")},
    };
}

class RightsProcess : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        std::string pg;
        if (GetParam()) {
            if (!trd::test::postgresCluster().ready())
                GTEST_SKIP() << "no PostgreSQL server binaries (initdb, pg_ctl) to run a test cluster";
            pg = trd::test::postgresCluster().freshDatabase();
        }
        site = std::make_unique<Site>(pg);
        ASSERT_TRUE(site->running()) << site->error().toStdString();
        // The memory answers once its index is built.
        for (int i = 0; i < 200 && !site->call(Admin, "GetSugestoes", "\"ENG\",\"&Salvar\",\"X\",\"y\"").ok; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::unique_ptr<Site> site;
};

TEST(RightsTable, NamesEveryMethodOfEveryTable)
{
    std::set<std::string> tabled;
    for (const MethodCase& c : methodTable())
        tabled.insert(c.method);
    std::set<std::string> served;
    for (const std::string_view name : TranslationService::methodNames())
        served.insert(std::string(name));
    EXPECT_EQ(tabled, served);
}

// A server without users keeps its meaning: whoever calls it from this
// machine is administrador of every language, with no users to administer.
TEST(RightsWithoutUsers, EveryCallerIsAdministratorOfEveryLanguage)
{
    InProcessServer server;
    server.seed({{"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Save", "T"}});
    const Answer papers = server.call("GetPapeis", "");
    ASSERT_TRUE(papers.ok) << papers.message;
    ASSERT_EQ(papers.rows.size(), 3u); // *, ENG, ESP
    for (const Row& r : papers.rows) {
        EXPECT_EQ(r.at("NMUSUARIO"), "local");
        EXPECT_EQ(r.at("TPPAPEL"), "administrador");
        EXPECT_EQ(r.at("FLLOGIN"), "N");
    }
    EXPECT_TRUE(server.call("MarcaRevisao", "\"ENG\",\"TRD09300\",\"sbtSalvar\",\"&Salvar\",\"S\"").ok);
    EXPECT_EQ(allRows(server, "ENG").at(0).at("NMREVISOR"), "local");
    const Answer users = server.call("GetUsuarios", "");
    EXPECT_EQ(users.code, -32000);
    EXPECT_NE(users.message.find("não tem usuários"), std::string::npos) << users.message;
}

TEST_P(RightsProcess, EveryMethodAndTheFeedAgainstEveryRole)
{
    for (const MethodCase& c : methodTable()) {
        for (int level = 0; level < LevelCount; ++level) {
            SCOPED_TRACE(c.method + " as " + Users[level]);
            if (c.prepare)
                c.prepare(*site);
            const std::string params = c.params(*site);
            const std::string before = site->state();
            const Answer a = site->call(level, c.method, params);
            if (level >= c.least) {
                EXPECT_TRUE(a.ok) << a.code << " " << a.message;
                continue;
            }
            EXPECT_FALSE(a.ok);
            EXPECT_EQ(a.code, -32003) << a.message;
            EXPECT_EQ(a.message.rfind("É preciso ", 0), 0u) << a.message;
            EXPECT_EQ(site->state(), before) << "a refused call wrote";
        }
    }
    // The feed reads: any role, never a user with none.
    for (int level = 0; level < LevelCount; ++level) {
        SCOPED_TRACE(std::string("feed as ") + Users[level]);
        const FeedReply r = site->feed(level, "idioma=ENG");
        if (level == NoRole) {
            EXPECT_EQ(r.status, 403);
            ASSERT_NE(r.body.find("error"), nullptr);
            EXPECT_EQ(r.body.find("error")->find("code")->number(), -32003);
        } else {
            EXPECT_EQ(r.status, 200);
            EXPECT_NE(r.body.find("ate"), nullptr);
        }
    }
}

TEST_P(RightsProcess, TheRefusalNamesTheRoleAndTheLanguage)
{
    EXPECT_EQ(site->save(Reader, "sbtSalvar", "x").message,
              "É preciso ser tradutor do idioma ENG para alterar suas traduções.");
    EXPECT_EQ(site->mark(Translator, "sbtSalvar", true).message,
              "É preciso ser revisor do idioma ENG para marcar traduções como revisadas.");
    EXPECT_EQ(site->call(LanguageAdmin, "GetUsuarios", "").message,
              "É preciso ser administrador de todos os idiomas para administrar os usuários.");
    // A tradutor of ENG writes ENG only: a delta that also touches ESP is
    // refused whole.
    const TRow eng{"ENG", "TRD09300", "sbtSalvar", "&Salvar", site->row("sbtSalvar").at("STVALORPROP"), "T"};
    const TRow esp{"ESP", "TRD09300", "sbtSalvar", "&Salvar", "&Guardar", "T"};
    const std::string before = site->state();
    const Answer both = site->call(Translator, "SetDestino",
                                   json(DeltaBuilder().modify(eng, "&Save it").modify(esp, "&Guardar ya").xml()));
    EXPECT_EQ(both.message, "É preciso ser tradutor do idioma ESP para alterar suas traduções.");
    EXPECT_EQ(site->state(), before);
    // Undo of another's batch names whose it is; of one's own it goes through.
    ASSERT_TRUE(site->save(Admin, "sbtFechar", "&Close by root").ok);
    const auto [rootBatch, rootVersion] = site->newestBatchAndVersion("sbtFechar");
    const Answer others = site->call(Translator, "DesfazLote", "\"ENG\"," + rootBatch + ",\"S\"");
    EXPECT_EQ(others.code, -32003);
    EXPECT_EQ(others.message,
              "É preciso ser administrador do idioma ENG para desfazer o lote " + rootBatch + ", que é de root.");
    ASSERT_TRUE(site->save(Translator, "sbtFechar", "&Close by tina").ok);
    const std::string own = site->newestBatchAndVersion("sbtFechar").first;
    EXPECT_TRUE(site->call(Translator, "DesfazLote", "\"ENG\"," + own + ",\"S\"").ok);
    EXPECT_EQ(site->row("sbtFechar").at("STVALORPROP"), "&Close by root");
}

TEST_P(RightsProcess, RolesChangedWhileASessionIsOpenHoldFromItsNextCall)
{
    const std::string token = site->login("tina");
    ASSERT_TRUE(site->callAs(token, "GetPapeis", "").ok);
    const auto saveAs = [&](const std::string& text) {
        const Row r = site->row("sbtSalvar");
        const TRow now{"ENG", "TRD09300", "sbtSalvar", "&Salvar", r.at("STVALORPROP"), r.at("IDSITTRADUCAO")};
        return site->callAs(token, "SetDestino", json(DeltaBuilder().modify(now, text).xml()));
    };
    const std::int64_t start =
        static_cast<std::int64_t>(site->feed(Translator, "idioma=ENG").body.find("ate")->number());
    ASSERT_TRUE(saveAs("&Save 1").ok);
    // The save told (on PostgreSQL the feed hears of it a moment later).
    const FeedReply told = site->feed(Translator, "idioma=ENG&espera=10&desde=" + std::to_string(start));
    ASSERT_EQ(told.body.find("alteracoes")->array().size(), 1u);

    // A follower's waiting request, of a user who then loses every role.
    const std::int64_t at = static_cast<std::int64_t>(told.body.find("ate")->number());
    auto waiting = std::async(std::launch::async, [&] {
        return site->feed(Translator, "idioma=ENG&desde=" + std::to_string(at) + "&espera=30");
    });
    ASSERT_EQ(waiting.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);

    // Through the users window's method, then the command line: no new log-in.
    const auto within = [](const std::function<bool()>& holds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (!holds() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return holds();
    };
    ASSERT_TRUE(site->call(Admin, "RetiraPapel", "\"tina\",\"ENG\"").ok);
    EXPECT_TRUE(within([&] { return saveAs("&Save 2").code == -32003; }));
    EXPECT_EQ(site->row("sbtSalvar").at("STVALORPROP"), "&Save 1");
    const Answer papers = site->callAs(token, "GetPapeis", "");
    ASSERT_TRUE(papers.ok);
    for (const Row& r : papers.rows)
        EXPECT_EQ(r.at("TPPAPEL"), "") << r.at("IDIDIOMA");

    ASSERT_TRUE(site->save(Admin, "sbtFechar", "&Close meanwhile").ok);
    const FeedReply refused = waiting.get();
    EXPECT_EQ(refused.status, 403);
    EXPECT_EQ(refused.body.find("alteracoes"), nullptr);

    ASSERT_EQ(runUser(site->usersFile(), {"grant", "tina", "revisor", "ENG"}), 0);
    EXPECT_TRUE(within([&] { return saveAs("&Save 3").ok; }));
    EXPECT_EQ(site->row("sbtSalvar").at("STVALORPROP"), "&Save 3");
    // Nobody is left unable to give roles back from the client.
    EXPECT_EQ(site->call(Admin, "RetiraPapel", "\"root\",\"*\"").code, -32000);
}

TEST_P(RightsProcess, RequiredReviewRefusesATranslatorsSaveOfAReviewedRow)
{
    ASSERT_TRUE(site->call(LanguageAdmin, "SetRevisaoIdioma", "\"ENG\",\"S\",\"N\"").ok);
    ASSERT_TRUE(site->mark(Reviewer, "sbtSalvar", true).ok);
    const std::string before = site->state();
    const Answer refused = site->save(Translator, "sbtSalvar", "&Save it");
    EXPECT_EQ(refused.code, -32000);
    EXPECT_NE(refused.message.find("foi revisada por rui em "), std::string::npos) << refused.message;
    EXPECT_NE(refused.message.find("o idioma ENG exige revisão: só um revisor pode alterá-la. Nada foi gravado."),
              std::string::npos)
        << refused.message;
    EXPECT_EQ(site->state(), before);
    // Its undo is refused as well: it would change the reviewed row.
    ASSERT_TRUE(site->mark(Reviewer, "sbtSalvar", false).ok);
    ASSERT_TRUE(site->save(Translator, "sbtSalvar", "&Save by tina").ok);
    const std::string tinas = site->newestBatchAndVersion("sbtSalvar").first;
    ASSERT_TRUE(site->mark(Reviewer, "sbtSalvar", true).ok);
    EXPECT_EQ(site->call(Translator, "DesfazLote", "\"ENG\"," + tinas + ",\"S\"").code, -32000);
    EXPECT_EQ(site->row("sbtSalvar").at("NMREVISOR"), "rui");

    // A row not reviewed saves as always; a revisor's save goes through and
    // clears the mark.
    EXPECT_TRUE(site->save(Translator, "sbtFechar", "&Close it").ok);
    EXPECT_TRUE(site->save(Reviewer, "sbtSalvar", "&Save reviewed").ok);
    const Row after = site->row("sbtSalvar");
    EXPECT_EQ(after.at("STVALORPROP"), "&Save reviewed");
    EXPECT_EQ(after.at("NMREVISOR"), "");
    EXPECT_EQ(after.count("DTREVISAO"), 0u);
    EXPECT_TRUE(site->save(Translator, "sbtSalvar", "&Save again").ok);
    // Off again: a reviewed row is a tradutor's to change.
    ASSERT_TRUE(site->mark(Reviewer, "sbtSalvar", true).ok);
    ASSERT_TRUE(site->call(LanguageAdmin, "SetRevisaoIdioma", "\"ENG\",\"N\",\"N\"").ok);
    EXPECT_TRUE(site->save(Translator, "sbtSalvar", "&Save freely").ok);
}

TEST_P(RightsProcess, ARevisorCannotMarkTheirOwnLastChangeWhenTheLanguageSaysSo)
{
    ASSERT_TRUE(site->save(Reviewer, "sbtSalvar", "&Save by rui").ok);
    // Off by default.
    ASSERT_TRUE(site->mark(Reviewer, "sbtSalvar", true).ok);
    ASSERT_TRUE(site->mark(Reviewer, "sbtSalvar", false).ok);

    ASSERT_TRUE(site->call(LanguageAdmin, "SetRevisaoIdioma", "\"ENG\",\"N\",\"S\"").ok);
    const std::string before = site->state();
    const Answer own = site->mark(Reviewer, "sbtSalvar", true);
    EXPECT_EQ(own.code, -32000);
    EXPECT_EQ(own.message,
              "O idioma ENG não permite que um revisor marque como revisada a própria alteração: a última "
              "alteração de \"&Salvar\" (TRD09300, sbtSalvar) é sua. Peça a outro revisor.");
    EXPECT_EQ(site->state(), before);
    // Someone else may; and a mark of one's own is no change of one's own.
    ASSERT_TRUE(site->mark(LanguageAdmin, "sbtSalvar", true).ok);
    EXPECT_TRUE(site->mark(Reviewer, "sbtFechar", true).ok);
    EXPECT_TRUE(site->mark(Reviewer, "sbtFechar", false).ok);
    EXPECT_TRUE(site->mark(Reviewer, "sbtFechar", true).ok);
    // Marking a text other than the one the revisor saw is refused.
    const Row fechar = site->row("sbtFechar");
    const Answer stale =
        site->call(Reviewer, "MarcaRevisao", "\"ENG\",\"TRD09300\",\"sbtFechar\",\"&Fechar\",\"S\",\"&Old\",\"T\"");
    EXPECT_EQ(stale.code, -32000);
    EXPECT_NE(stale.message.find("depois de lida"), std::string::npos) << stale.message;
}

TEST_P(RightsProcess, TheMarkReachesTheRowsTheHistoryTheCountsTheFilterAndTheFeed)
{
    const std::int64_t at = static_cast<std::int64_t>(site->feed(Reader, "idioma=ENG").body.find("ate")->number());
    ASSERT_TRUE(site->mark(Reviewer, "sbtSalvar", true).ok);
    const Row marked = site->row("sbtSalvar");
    EXPECT_EQ(marked.at("NMREVISOR"), "rui");
    ASSERT_EQ(marked.count("DTREVISAO"), 1u);
    EXPECT_EQ(marked.at("STVALORPROP"), "&Save");

    const Answer history = site->call(Reader, "GetHistorico", "\"ENG\",\"TRD09300\",\"sbtSalvar\",\"&Salvar\",0");
    ASSERT_FALSE(history.rows.empty());
    EXPECT_EQ(history.rows[0].at("TPALTERACAO"), "R");
    EXPECT_EQ(history.rows[0].at("TPLOTE"), "revisao");
    EXPECT_EQ(history.rows[0].at("NMUSUARIO"), "rui");
    EXPECT_EQ(history.rows[0].at("STVALORPROP"), history.rows[0].at("STVALORANT"));

    const Answer counts = site->call(Reader, "GetCalcRevisadas", "\"ENG\",0,0,\"T\"");
    ASSERT_EQ(counts.rows.size(), 3u);
    EXPECT_EQ(counts.rows[0].at("IDSITTRADUCAO"), "T");
    EXPECT_EQ(std::stod(counts.rows[0].at("NRLINHAS")), 2);
    EXPECT_EQ(std::stod(counts.rows[0].at("NRREVISADAS")), 1);
    EXPECT_EQ(std::stod(counts.rows[2].at("NRREVISADAS")), 0);

    const auto filtered = [&](const char* literal) {
        std::vector<std::string> out;
        for (const Row& r :
             site->call(Reader, "GetFiltroDest",
                        std::string("\"T\",\"D\",\"N\",\" AND REVISADO = '") + literal + "'\",\"ENG\",0,0,\"\"")
                 .rows)
            out.push_back(r.at("NMCOMPONENTE"));
        return out;
    };
    EXPECT_EQ(filtered("S"), (std::vector<std::string>{"sbtSalvar"}));
    EXPECT_EQ(filtered("N"), (std::vector<std::string>{"sbtFechar", "lblNome"}));
    EXPECT_EQ(site->call(Reader, "GetFiltroDest", "\"T\",\"D\",\"N\",\" AND REVISADO = 'X'\",\"ENG\",0,0,\"\"").code,
              -32602);

    // Told only to a follower that asks for marks.
    const FeedReply withMarks = site->feed(Reader, "idioma=ENG&revisoes=S&desde=" + std::to_string(at));
    ASSERT_EQ(withMarks.status, 200);
    const auto& changes = withMarks.body.find("alteracoes")->array();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].find("tipo")->string(), "R");
    EXPECT_EQ(changes[0].find("usuario")->string(), "rui");
    EXPECT_EQ(changes[0].find("componente")->string(), "sbtSalvar");
    EXPECT_EQ(changes[0].find("destino"), nullptr);
    const FeedReply without = site->feed(Reader, "idioma=ENG&espera=0&desde=" + std::to_string(at));
    ASSERT_EQ(without.status, 200);
    EXPECT_TRUE(without.body.find("alteracoes")->array().empty());

    // An undo leaves marks alone; any change of text or status clears one.
    const auto [markBatch, markVersion] = site->newestBatchAndVersion("sbtSalvar");
    const Answer undoMark = site->call(Admin, "DesfazLote", "\"ENG\"," + markBatch + ",\"S\"");
    ASSERT_TRUE(undoMark.ok) << undoMark.message;
    EXPECT_EQ(undoMark.rows.at(0).at("DESFEITA"), "N");
    EXPECT_EQ(site->row("sbtSalvar").at("NMREVISOR"), "rui");
    const Row r = site->row("sbtSalvar");
    const TRow now{"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Save", "T"};
    ASSERT_TRUE(site->call(Translator, "SetDestino", json(DeltaBuilder().modify(now, std::nullopt, "D").xml())).ok);
    EXPECT_EQ(site->row("sbtSalvar").at("NMREVISOR"), "");
    EXPECT_EQ(std::stod(site->call(Reader, "GetCalcRevisadas", "\"ENG\",0,0,\"T\"").rows[1].at("NRREVISADAS")), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, RightsProcess, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "PostgreSQL" : "SQLite"; });

} // namespace
