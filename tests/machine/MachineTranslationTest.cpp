// Machine translation on the server: what the engine must not touch survives
// real translations by the real Apertium service, direct and chained; an
// answer that breaks it is refused, never offered; the cache outlives a
// restart and gives way to a new version of the engine; a slow engine holds
// no save; and the engine stopping halfway through a pre-translation leaves
// what was written as one batch that is undone whole. What goes through a
// real trd-server runs on both back ends.
#include "ApertiumEngine.h"
#include "ApertiumService.h"
#include "Json.h"
#include "MachineTestKit.h"
#include "MachineTranslation.h"
#include "MtProtection.h"
#include "PostgresCluster.h"
#include "PreTranslation.h"
#include "RoutePlan.h"
#include "ServerError.h"
#include "ServerOptions.h"
#include "MachineSetup.h"
#include "TextProfile.h"
#include "TrdServerProcess.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <future>

namespace trd::test {
namespace {

using server::mt::ApertiumEngine;
using server::mt::MachineTranslation;
using server::mt::MtCache;
using server::mt::MtSettings;
using server::mt::Route;

// The placeholders of a text, sorted: the same set in any order.
QStringList placeholders(const QString& text)
{
    quality::TextProfile p;
    quality::readProfile(text, p);
    QStringList out;
    for (QStringView v : p.placeholders)
        out << v.toString();
    out.sort();
    return out;
}

int marks(const QString& text)
{
    quality::TextProfile p;
    quality::readProfile(text, p);
    return static_cast<int>(p.marks.size());
}

// ---------------------------------------------------------------- no engine

struct Broken {
    const char* source;
    // The engine's answer, made from what it was sent.
    std::function<std::string(const std::string& sent)> answer;
    const char* problem; // part of the refusal; empty: offered
    const char* why;
};

TEST(MachineProtection, RefusesWhatTheEngineBrokeAndRestoresTheRest)
{
    const auto replace = [](std::string s, const std::string& from, const std::string& to) {
        const std::size_t at = s.find(from);
        return at == std::string::npos ? s : s.replace(at, from.size(), to);
    };
    const std::vector<Broken> table = {
        {"Salvar %s em %d pastas", [&](const std::string& s) { return replace(s, "<x1/>", ""); }, "perdeu \"%s\"",
         "a placeholder the answer lost"},
        {"Salvar %s", [&](const std::string& s) { return s + " <x1/>"; }, "repetiu", "a placeholder twice"},
        {"Salvar %s", [&](const std::string& s) { return s + "<x7/>"; }, "não foi enviada", "a tag never sent"},
        {"Salvar <b>tudo</b>", [&](const std::string& s) { return s + "<br/>"; }, "não foi enviada",
         "markup of the engine's own"},
        {"Um\nDois\nTrês", [&](const std::string&) { return std::string("Uno<x2/>Dos<x1/>Tres"); }, "ordem das quebras",
         "line breaks swapped"},
        {"Um\nDois", [&](const std::string&) { return std::string("Uno Dos"); }, "quebra de linha",
         "a line break lost"},
        {"Cliente xyzzy", [&](const std::string&) { return std::string("Cliente *xyzzy"); }, "marcou palavras",
         "the engine's mark of an unknown word, never asked for"},
        {"Copiar e colar", [&](const std::string&) { return std::string("Copy and #paste"); }, "",
         "a form the engine could not make: the word stays, its mark goes"},
        {"Seta", [&](const std::string&) { return std::string("Flecha \u2192"); }, "Windows-1252",
         "a character no save would take"},
        {"De %1 para %2", [&](const std::string&) { return std::string("A <x2/> desde <x1/>"); }, "",
         "placeholders may change order"},
        {"Valor a < b & c", [&](const std::string& s) { return s; }, "", "the text's own < and & travel as entities"},
        {"&&Salvar e &Fechar", [&](const std::string& s) { return s; }, "", "&& is kept, the mark set again"},
    };
    for (const Broken& row : table) {
        const QString source = QString::fromUtf8(row.source);
        const server::mt::ProtectedText p = server::mt::protect(source);
        const server::mt::Restored r = server::mt::restore(source, p, row.answer(p.markup));
        if (std::string(row.problem).empty()) {
            EXPECT_TRUE(r.ok()) << row.why << ": " << r.problem.toStdString();
            EXPECT_EQ(placeholders(r.text), placeholders(source)) << row.why;
        } else {
            EXPECT_FALSE(r.ok()) << row.why << ": offered " << r.text.toStdString();
            EXPECT_TRUE(r.text.isEmpty()) << row.why;
            EXPECT_TRUE(r.problem.contains(QString::fromUtf8(row.problem)))
                << row.why << ": " << r.problem.toStdString();
        }
    }
    // What the text said stays exactly: entities, the doubled &, the mark on its letter.
    const QString source = QStringLiteral("Valor a < b && c &Fechar");
    const server::mt::ProtectedText p = server::mt::protect(source);
    EXPECT_EQ(server::mt::restore(source, p, p.markup).text, source);
}

TEST(MachineProtection, ShortcutMarkGoesToItsLetterInTheTranslation)
{
    const QString source = QStringLiteral("&Abrir arquivo");
    const server::mt::ProtectedText p = server::mt::protect(source);
    EXPECT_EQ(p.markup, "Abrir arquivo");
    EXPECT_EQ(server::mt::restore(source, p, "Open the archive").text, QStringLiteral("Open the &archive"));
    EXPECT_EQ(server::mt::restore(source, p, "Open the report").text, QStringLiteral("&Open the report"))
        << "no word starts with the letter nor holds it: the first letter";
}

TEST(MachineRoutes, DirectFirstElseTheShortestChain)
{
    const std::vector<server::mt::Pair> pairs = {{"por", "spa"}, {"spa", "eng"}, {"spa", "por"},
                                                 {"eng", "spa"}, {"por", "glg"}, {"glg", "spa"}};
    EXPECT_EQ(server::mt::planRoute(pairs, "por", "spa")->text(), "por>spa");
    EXPECT_EQ(server::mt::planRoute(pairs, "por", "eng")->text(), "por>spa>eng");
    EXPECT_TRUE(server::mt::planRoute(pairs, "por", "eng")->chained());
    EXPECT_FALSE(server::mt::planRoute(pairs, "por", "fra"));
    EXPECT_EQ(server::mt::engineLanguage({{"ING", "eng"}}, "ING"), "eng");
    EXPECT_EQ(server::mt::engineLanguage({}, "ESP"), "spa");
}

TEST(MachineOptions, TheEngineIsNamedAtTheEndOfTheCommandLineAndBadValuesAreRefused)
{
    std::string error;
    const auto ok = server::parseServerOptions(
        {"--db", "t.db", "--mt-url", "http://127.0.0.1:2737", "--mt-language", "ING=eng", "--mt-timeout", "0.5"},
        error);
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(ok->mtUrl, "http://127.0.0.1:2737");
    EXPECT_EQ(ok->mtSource, "por");
    EXPECT_EQ(ok->mtTimeoutMs, 500);
    ASSERT_EQ(ok->mtLanguages.size(), 1u);
    EXPECT_EQ(ok->mtLanguages[0], std::make_pair(std::string("ING"), std::string("eng")));
    EXPECT_EQ(server::machineCacheFile(*ok), "t.db.mt") << "the answers beside the database";
    const auto pg = server::parseServerOptions({"--pg", "dbname=x", "--mt-url", "http://e:1"}, error);
    ASSERT_TRUE(pg);
    EXPECT_EQ(server::machineCacheFile(*pg), "") << "with PostgreSQL and no file: in memory";
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{{"--mt-url", "https://e:1"},
                                                                                     {"--mt-url"},
                                                                                     {"--mt-language", "ES=spa"},
                                                                                     {"--mt-language", "ESP="},
                                                                                     {"--mt-timeout", "0"},
                                                                                     {"--mt-timeout", "x"}}) {
        std::vector<std::string> args = {"--db", "t.db"};
        args.insert(args.end(), bad.begin(), bad.end());
        EXPECT_FALSE(server::parseServerOptions(args, error)) << bad[0];
        EXPECT_NE(error.find(bad[0]), std::string::npos) << error;
    }
}

// An engine in process that counts what it is asked and reports a version
// the test sets.
class CountingEngine : public server::mt::Engine {
public:
    std::string name() const override { return "Contador"; }
    std::vector<server::mt::Pair> pairs(std::chrono::milliseconds) override { return {{"por", "spa"}}; }
    std::string version(const Route&, std::chrono::milliseconds) override { return *m_version; }
    std::vector<std::string> translate(const Route&, const std::vector<std::string>& texts,
                                       std::chrono::milliseconds) override
    {
        *m_asked += static_cast<int>(texts.size());
        std::vector<std::string> out;
        for (const std::string& t : texts)
            out.push_back("[" + *m_version + "] " + t);
        return out;
    }
    CountingEngine(int* asked, std::string* version) : m_asked(asked), m_version(version) { }

private:
    int* m_asked;
    std::string* m_version;
};

TEST(MachineCache, KeptAcrossARestartAndDroppedByANewEngineVersion)
{
    QTemporaryDir dir;
    const std::string file = dir.filePath(QStringLiteral("t.db.mt")).toStdString();
    int asked = 0;
    std::string version = "1";
    const std::vector<QString> sources = {QStringLiteral("Salvar %s"), QStringLiteral("Fechar"),
                                          QStringLiteral("Salvar %s")};
    const auto run = [&] {
        MachineTranslation mt(std::make_unique<CountingEngine>(&asked, &version), std::make_unique<MtCache>(file), {});
        Route route;
        return mt.translate("ESP", sources, route);
    };
    auto first = run();
    EXPECT_EQ(asked, 2) << "one question per distinct text";
    EXPECT_FALSE(first[0].cached);
    EXPECT_EQ(first[0].text, QStringLiteral("[1] Salvar %s"));

    auto again = run(); // a new server on the same file
    EXPECT_EQ(asked, 2) << "the restarted server answers from the file";
    EXPECT_TRUE(again[1].cached);
    EXPECT_EQ(again[1].text, QStringLiteral("[1] Fechar"));

    version = "2";
    auto upgraded = run();
    EXPECT_EQ(asked, 4) << "a new version of the engine is asked again";
    EXPECT_FALSE(upgraded[0].cached);
    EXPECT_EQ(upgraded[0].text, QStringLiteral("[2] Salvar %s"));
}

// An engine that takes longer the more texts it is sent: a long piece gets
// the time its size asks, while a stalled engine still fails a single
// suggestion at the base limit.
TEST(MachineLimits, APieceHasTimeInProportionToItsTextsAndOneTextTheBaseLimit)
{
    StandInEngine engine;
    engine.answer = [](const std::string& q) {
        std::size_t texts = 0;
        for (std::size_t at = q.find("<p>"); at != std::string::npos; at = q.find("<p>", at + 3))
            ++texts;
        std::this_thread::sleep_for(std::chrono::milliseconds(2 * static_cast<long>(texts)));
        return q;
    };
    MtSettings settings;
    settings.limit = std::chrono::milliseconds(200);
    MachineTranslation mt(std::make_unique<ApertiumEngine>(engine.url()), std::make_unique<MtCache>(std::string()),
                          settings);
    std::vector<QString> piece;
    for (int i = 0; i < 150; ++i) // 300 ms at the engine: past one limit, within three
        piece.push_back(QStringLiteral("Registro do cliente %1").arg(i));
    Route route;
    const auto answers = mt.translate("ESP", piece, route);
    ASSERT_EQ(answers.size(), piece.size());
    EXPECT_EQ(answers[149].text, piece[149]);
    EXPECT_TRUE(answers[149].problem.isEmpty()) << answers[149].problem.toStdString();

    engine.hold();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(mt.translate("ESP", {QStringLiteral("Nome do cliente")}, route), server::ServerError);
    const auto waited = std::chrono::steady_clock::now() - start;
    engine.release();
    EXPECT_LT(waited, std::chrono::milliseconds(600)) << "one text waits the base limit, not a long piece's";
}

// ---------------------------------------------------------------- the real service

class RealEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!ApertiumService::installed())
            GTEST_SKIP()
                << "apertium-apy, apertium-es-pt and apertium-eng-spa are not installed (tools/install-deps.sh)";
        ASSERT_TRUE(apertium.start()) << apertium.errorString().toStdString();
    }
    ApertiumService apertium;
};

TEST_F(RealEngineTest, PlaceholdersMarksAndLineBreaksSurviveRealTexts)
{
    QTemporaryDir dir;
    MachineTranslation mt(std::make_unique<ApertiumEngine>(apertium.url().toStdString()),
                          std::make_unique<MtCache>(std::string()), MtSettings{});
    const std::vector<QString> texts = {
        QStringLiteral("&Salvar o arquivo %s antes de fechar?"),
        QStringLiteral("Foram encontrados %d registros do cliente %s."),
        QStringLiteral("O pedido %1 do cliente %2 foi cancelado em %3."),
        QStringLiteral("Total: {0:N2} reais em {1} parcelas"),
        QStringLiteral("Não foi possível abrir o relatório.\nVerifique a impressora e tente de novo."),
        QStringLiteral("Linha um\r\nLinha dois\r\n\r\nLinha três"),
        QStringLiteral("Consulte http://www.empresa.com.br/ajuda ou escreva para suporte@empresa.com.br"),
        QStringLiteral("Desconto de 10%% sobre o valor %5.2f"),
        QStringLiteral("Copiar && colar as &linhas selecionadas"),
        QStringLiteral("Arquivo %0:s gravado com %1:d alterações"),
        QStringLiteral("  Nome do cliente:  "),
        QStringLiteral("Erro ao gravar &lt;%s&gt; no banco"),
    };
    for (const std::string language : {"ESP", "ENG"}) {
        Route route;
        const auto answers = mt.translate(language, texts, route);
        EXPECT_EQ(route.chained(), language == "ENG") << route.text();
        int translated = 0;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            const QString& source = texts[i];
            const auto& a = answers[i];
            ASSERT_TRUE(a.problem.isEmpty())
                << language << " " << source.toStdString() << ": " << a.problem.toStdString();
            EXPECT_EQ(placeholders(a.text), placeholders(source))
                << source.toStdString() << " -> " << a.text.toStdString();
            EXPECT_EQ(a.text.count(u'\n'), source.count(u'\n')) << a.text.toStdString();
            EXPECT_EQ(a.text.count(QStringLiteral("\r\n")), source.count(QStringLiteral("\r\n")))
                << a.text.toStdString();
            EXPECT_EQ(marks(a.text), marks(source)) << a.text.toStdString();
            EXPECT_EQ(a.text.count(QStringLiteral("&&")), source.count(QStringLiteral("&&"))) << a.text.toStdString();
            EXPECT_TRUE(a.text.startsWith(u' ') == source.startsWith(u' ')) << a.text.toStdString();
            if (source.contains(QStringLiteral("http://"))) {
                EXPECT_TRUE(a.text.contains(QStringLiteral("http://www.empresa.com.br/ajuda"))
                            && a.text.contains(QStringLiteral("suporte@empresa.com.br")))
                    << a.text.toStdString();
            }
            translated += a.text != source;
        }
        EXPECT_GE(translated, static_cast<int>(texts.size()) - 1) << "the engine really translated them";
    }
}

TEST_F(RealEngineTest, AnAnswerThatBreaksAPlaceholderIsNotOfferedAsGood)
{
    // The engine's own marking of unknown words, asked without our tags,
    // turns "{0:N2}" into "{0:*N2}": what the server must never offer.
    const std::string source = "Total: {0:N2} reais";
    httplib::Client http("127.0.0.1", apertium.port());
    const auto res =
        http.Post("/translate", httplib::Params{{"q", source}, {"langpair", "por|spa"}, {"markUnknown", "yes"}});
    ASSERT_TRUE(res && res->status == 200);
    const std::string answer = server::parseJson(res->body).find("responseData")->find("translatedText")->string();
    ASSERT_EQ(answer.find("{0:N2}"), std::string::npos) << "the engine no longer breaks it: " << answer;
    const QString text = QString::fromStdString(source);
    const server::mt::Restored r = server::mt::restore(text, server::mt::protect(text), answer);
    EXPECT_FALSE(r.ok()) << r.text.toStdString();
    EXPECT_TRUE(r.text.isEmpty());
    EXPECT_TRUE(r.problem.contains(QStringLiteral("{0:N2}"))) << r.problem.toStdString();
}

// ---------------------------------------------------------------- through trd-server

enum class Backend { Sqlite, Postgres };

// A trd-server on either back end: a SQLite file, or a fresh database of the
// test's PostgreSQL cluster (the batches and their kinds are the back end's).
class MachineServer : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        if (GetParam() == Backend::Postgres) {
            if (!postgresCluster().ready())
                GTEST_SKIP() << "no PostgreSQL server binaries (initdb, pg_ctl) to run a test cluster";
            m_conninfo = postgresCluster().freshDatabase();
            ASSERT_FALSE(m_conninfo.empty());
        }
    }
    TrdServerProcess::Options serverOn(const QByteArray& tsv, const QStringList& args) const
    {
        TrdServerProcess::Options o;
        o.seedTsv = tsv;
        o.extraArgs = args;
        if (!m_conninfo.empty())
            o.pg = QString::fromStdString(m_conninfo);
        return o;
    }

private:
    std::string m_conninfo;
};

// The same with the real Apertium service.
class RealEngineServer : public MachineServer {
protected:
    void SetUp() override
    {
        MachineServer::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        if (!ApertiumService::installed())
            GTEST_SKIP()
                << "apertium-apy, apertium-es-pt and apertium-eng-spa are not installed (tools/install-deps.sh)";
        ASSERT_TRUE(apertium.start()) << apertium.errorString().toStdString();
    }
    ApertiumService apertium;
};

const QByteArray SmallSeed = "L\tESP\tEspanhol\tPOR\n"
                             "R\tESP\tTRD1\tb1\t&Salvar o arquivo %s?\t\tN\n"
                             "R\tESP\tTRD1\tb2\tNome do cliente\t\tN\n";

TEST_P(MachineServer, ASlowEngineHoldsNoSaveAndABrokenAnswerIsRefused)
{
    StandInEngine engine;
    TrdServerProcess server(serverOn(SmallSeed,
                                     {QStringLiteral("--mt-url"), QString::fromStdString(engine.url()),
                                      QStringLiteral("--mt-timeout"), QStringLiteral("1.5"),
                                      // One worker: a call of the engine's on it would hold every other.
                                      QStringLiteral("--threads"), QStringLiteral("1")}));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();

    // The languages of the database, each with the engine's route.
    const RpcAnswer pairs = callServer(server.port(), "GetParesAutomaticos", "");
    ASSERT_TRUE(pairs.ok) << pairs.message;
    ASSERT_EQ(pairs.rows.size(), 1u);
    EXPECT_EQ(pairs.rows[0].at("IDIDIOMA"), "ESP");
    EXPECT_EQ(pairs.rows[0].at("DSROTA"), "por>spa");
    EXPECT_EQ(pairs.rows[0].at("STENCADEADA"), "N");

    // The engine loses the placeholder's tag: refused, with the reason.
    engine.answer = [](const std::string& q) { return q.find("<p>") == 0 ? q : std::string("Guardar el archivo?"); };
    const RpcAnswer broken =
        callServer(server.port(), "GetTraducaoAutomatica", R"("ESP",")" + std::string("&Salvar o arquivo %s?") + "\"");
    ASSERT_TRUE(broken.ok) << broken.message;
    ASSERT_EQ(broken.rows.size(), 1u);
    EXPECT_EQ(broken.rows[0].at("STVALORPROP"), "");
    EXPECT_NE(broken.rows[0].at("DSAVISO").find("perdeu \"%s\""), std::string::npos) << broken.rows[0].at("DSAVISO");

    // The engine hangs: its call gives up at its own limit, and meanwhile a
    // save and a read go through as if it were not there.
    engine.answer = nullptr;
    engine.hold();
    const int before = engine.translations;
    auto pending = std::async(std::launch::async, [&] {
        return callServer(server.port(), "GetTraducaoAutomatica", R"("ESP","Nome do cliente")");
    });
    while (engine.translations == before)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const RpcAnswer read = callServer(server.port(), "GetIdiTrad", "");
    EXPECT_TRUE(read.ok) << read.message;
    const RpcAnswer save = callServer(server.port(), "AbreLote", R"("ESP","substituicao")");
    EXPECT_TRUE(save.ok) << save.message;
    EXPECT_EQ(pending.wait_for(std::chrono::seconds(0)), std::future_status::timeout)
        << "the save and the read did not wait for the engine";
    const RpcAnswer slow = pending.get();
    engine.release();
    EXPECT_FALSE(slow.ok);
    EXPECT_NE(slow.message.find("O serviço de tradução automática não respondeu"), std::string::npos) << slow.message;
}

TEST_P(MachineServer, WithoutAnEngineTheMethodsSaySo)
{
    TrdServerProcess server(serverOn(SmallSeed, {}));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const RpcAnswer a = callServer(server.port(), "GetTraducaoAutomatica", R"("ESP","Nome do cliente")");
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(a.message, "Este servidor não tem tradução automática configurada (opção --mt-url).");
    // A save goes on as ever.
    EXPECT_TRUE(callServer(server.port(), "GetDestino", R"("T","D","N","ESP",{"date":0},{"date":0},"")").ok);
}

// A language of `n` rows to pre-translate, one translated row whose source
// one of them shares, and one untranslated row that already has a text.
QByteArray preTranslationSeed(int n)
{
    QByteArray tsv = "L\tESP\tEspanhol\tPOR\n"
                     "R\tESP\tTRD0\tfeito\tSalvar alterações\tGuardar cambios\tT\n"
                     "R\tESP\tTRD0\tigual\tSalvar alterações\t\tN\n"
                     "R\tESP\tTRD0\tcomtexto\tNome do cliente\tTexto meu\tN\n";
    for (int i = 0; i < n; ++i)
        tsv += "R\tESP\tTRD" + QByteArray::number(i / 100) + "\tc" + QByteArray::number(i)
            + "\tAbrir o relatório de vendas número " + QByteArray::number(i) + " do cliente %s\t\tN\n";
    return tsv;
}

TEST_P(RealEngineServer, EngineStoppedDuringAPreTranslationLeavesOneBatchUndoneWhole)
{
    const int n = 3 * exchange::PreTranslationPiece;
    TrdServerProcess server(
        serverOn(preTranslationSeed(n),
                 {QStringLiteral("--mt-url"), apertium.url(), QStringLiteral("--mt-timeout"), QStringLiteral("5")}));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();

    exchange::ServerAddress address;
    address.port = server.port();
    exchange::JobControl control;
    // The engine goes away once the first piece is written.
    control.onProgress = [&](const exchange::Progress& p) {
        if (p.done >= exchange::PreTranslationPiece && apertium.running())
            apertium.stop();
    };
    exchange::ServerLink link(address, control);
    exchange::RowSelection selection;
    selection.language = QStringLiteral("ESP");
    const exchange::PreTranslation result = exchange::preTranslate(link, selection, control);

    EXPECT_EQ(result.candidates, n + 1);
    EXPECT_EQ(result.fromMemory, 1);
    EXPECT_EQ(result.fromEngine, exchange::PreTranslationPiece);
    EXPECT_NE(result.stoppedBy.indexOf(QStringLiteral("não respondeu")), -1) << result.stoppedBy.toStdString();
    EXPECT_NE(exchange::preTranslationSummary(result).indexOf(QStringLiteral("num lote só")), -1);
    ASSERT_NE(result.batch, 0);

    const RpcAnswer rows = callServer(server.port(), "GetDestino", R"("T","D","N","ESP",{"date":0},{"date":0},"")");
    ASSERT_TRUE(rows.ok);
    int drafts = 0;
    for (const PacketRow& r : rows.rows) {
        if (r.at("NMCOMPONENTE") == "comtexto") {
            EXPECT_EQ(r.at("STVALORPROP"), "Texto meu") << "a row with text is never touched";
        }
        if (r.at("NMCOMPONENTE") == "igual") {
            EXPECT_EQ(r.at("STVALORPROP"), "Guardar cambios") << "the memory's exact match first";
        }
        if (r.at("IDSITTRADUCAO") == "D") {
            ++drafts;
            if (r.at("NMCOMPONENTE") != "igual") {
                EXPECT_NE(r.at("STVALORPROP").find("%s"), std::string::npos) << r.at("STVALORPROP");
            }
        }
    }
    EXPECT_EQ(drafts, result.written());

    const RpcAnswer batches = callServer(server.port(), "GetLotes", R"("ESP",{"date":40000},{"date":60000})");
    ASSERT_TRUE(batches.ok);
    int machine = 0;
    for (const PacketRow& b : batches.rows)
        if (b.at("TPLOTE") == "automatica") {
            ++machine;
            EXPECT_EQ(b.at("NMMETODO"), "Apertium por>spa");
            EXPECT_EQ(b.at("NRLINHAS"), std::to_string(result.written()));
        }
    EXPECT_EQ(machine, 1) << "what was written is one batch";

    const RpcAnswer undo =
        callServer(server.port(), "DesfazLote", "\"ESP\"," + std::to_string(result.batch) + ",\"N\"");
    ASSERT_TRUE(undo.ok) << undo.message;
    EXPECT_EQ(static_cast<int>(undo.rows.size()), result.written());
    const RpcAnswer after = callServer(server.port(), "GetDestino", R"("T","D","N","ESP",{"date":0},{"date":0},"")");
    for (const PacketRow& r : after.rows)
        EXPECT_NE(r.at("IDSITTRADUCAO"), "D") << r.at("STAGRVALPROP");
}

const auto backendName = [](const auto& info) { return info.param == Backend::Sqlite ? "Sqlite" : "Postgres"; };
INSTANTIATE_TEST_SUITE_P(Backends, MachineServer, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendName);
INSTANTIATE_TEST_SUITE_P(Backends, RealEngineServer, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         backendName);

} // namespace
} // namespace trd::test
