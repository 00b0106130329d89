// Machine translation's figures (docs/machine-translation.md, "Figures"):
// a real trd-server with the real Apertium service on loopback.
// - a suggestion for a row (GetTraducaoAutomatica) never asked before, p50
//   and p95, beside the floor of the same texts asked of the engine directly;
// - the same suggestions again, answered from the cache, beside the floor of
//   the server's cheapest method (GetDataHoraServ);
// - a pre-translation of ROWS untranslated rows (trd-exchange's run), rows a
//   second and the time 100,000 would take, beside the engine's own rate on
//   the same texts sent in the same pieces;
// - one-row saves by another client, p50 and p99, alone and while the
//   pre-translation runs, and beside the engine alone busy on the same kind
//   of texts (the processors shared with its pipeline, no write of ours);
//   twice: the engine at the priority it was started with, then at nice 10
//   as docs/machine-translation.md advises a site to run it, each round on
//   rows of its own (programs X... and Y...).
//
//   bench_machine [--rows 20000] [--suggestions 300] [--saves 400]
#include "ApertiumService.h"
#include "BenchStats.h"
#include "PreTranslation.h"
#include "ServerTestKit.h"
#include "TrdServerProcess.h"

#include <httplib.h>

#include <QCoreApplication>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace trd::server::test;
using trd::test::ApertiumService;
using trd::test::TrdServerProcess;
using namespace trd::bench;

namespace {

// Screen texts as a new screen has them: a few words of the application's
// vocabulary, some with a placeholder, a shortcut mark or a second line.
std::string screenText(unsigned& seed, int i)
{
    static const char* const Words[] = {
        "arquivo", "salvar", "cliente", "janela", "registro",   "campo",     "valor",   "pedido",   "tela",
        "produto", "nota",   "fiscal",  "data",   "vencimento", "abrir",     "fechar",  "consulta", "relatório",
        "usuário", "senha",  "estoque", "preço",  "desconto",   "pagamento", "empresa", "filial",   "endereço"};
    const auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16); };
    std::string t = (next() % 5 == 0) ? "&" : "";
    const unsigned words = 2 + next() % 8;
    for (unsigned w = 0; w < words; ++w)
        t += std::string(w ? (next() % 4 == 0 ? " do " : " ") : "") + Words[next() % (sizeof Words / sizeof *Words)];
    if (next() % 3 == 0)
        t += " %s";
    if (next() % 10 == 0)
        t += "\\nVerifique o " + std::string(Words[next() % 10]);
    return t + " " + std::to_string(i); // each text its own: nothing answered from the cache by chance
}

Percentiles p95(std::vector<double> v, double& p95Out)
{
    std::sort(v.begin(), v.end());
    p95Out = v.empty() ? 0 : v[std::min(v.size() - 1, v.size() * 95 / 100)];
    return percentiles(v);
}

void print(const char* what, const std::vector<double>& v, const char* floorWhat, const std::vector<double>& floor)
{
    double a95 = 0, f95 = 0;
    const Percentiles a = p95(v, a95), f = p95(floor, f95);
    std::printf("%-28s p50 %7.2f p95 %7.2f max %7.2f ms (n=%zu) | floor %-22s p50 %6.2f p95 %6.2f ms\n", what, a.p50,
                a95, a.max, v.size(), floorWhat, f.p50, f95);
}

std::string unescape(std::string t)
{
    for (std::size_t at; (at = t.find("\\n")) != std::string::npos;)
        t.replace(at, 2, "\n");
    return t;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int rows = 20000, suggestions = 300, samples = 400;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--rows"))
            rows = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--suggestions"))
            suggestions = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--saves"))
            samples = std::atoi(argv[i + 1]);
    }
    if (!ApertiumService::installed()) {
        std::fprintf(stderr, "bench_machine: apertium-apy and apertium-es-pt are not installed\n");
        return 1;
    }
    std::printf("load average at start: %s\n", loadAverage().c_str());
    ApertiumService apertium;
    if (!apertium.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(apertium.errorString()));
        return 1;
    }
    unsigned seed = 11;
    QByteArray tsv = "L\tESP\tEspanhol\tPOR\nR\tESP\tBENCH\talvo\tTexto salvo\tantes\tT\n";
    std::vector<std::string> asked;
    for (const char* set : {"X", "Y"})
        for (int i = 0; i < rows; ++i) {
            const int n = (*set == 'X' ? 0 : 5 * rows) + i;
            tsv += QByteArray::fromStdString("R\tESP\t" + std::string(set) + std::to_string(i % 300) + "\tc"
                                             + std::to_string(n) + "\t" + screenText(seed, n) + "\t\tN\n");
        }
    for (int i = 0; i < suggestions; ++i)
        asked.push_back(unescape(screenText(seed, rows + i)));
    TrdServerProcess::Options options;
    options.seedTsv = tsv;
    options.extraArgs = {QStringLiteral("--mt-url"), apertium.url(), QStringLiteral("--quiet")};
    TrdServerProcess server(options);
    if (!server.isRunning()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.errorString()));
        return 1;
    }
    httplib::Client trd("127.0.0.1", server.port()), engine("127.0.0.1", apertium.port());
    trd.set_tcp_nodelay(true);
    trd.set_read_timeout(60, 0);
    const auto suggest = [&](const std::string& source) {
        const auto start = Clock::now();
        auto res = trd.Post("/Trd09300.rdmTraducao", request("GetTraducaoAutomatica", "\"ESP\"," + json(source)),
                            "application/json");
        if (!res || !parseAnswer(res->body).ok)
            std::fprintf(stderr, "suggestion failed: %s\n", res ? res->body.c_str() : "no answer");
        return msSince(start);
    };
    suggest("Texto de aquecimento"); // the route and the engine's version are read once
    std::vector<double> uncached, cached, engineAlone, cheapest;
    for (const std::string& s : asked) {
        auto start = Clock::now();
        engine.Post("/translate", httplib::Params{{"q", s}, {"langpair", "por|spa"}, {"markUnknown", "no"}});
        engineAlone.push_back(msSince(start));
    }
    for (const std::string& s : asked)
        uncached.push_back(suggest(s + " novo"));
    for (const std::string& s : asked)
        cached.push_back(suggest(s + " novo"));
    for (int i = 0; i < suggestions; ++i) {
        const auto start = Clock::now();
        trd.Post("/Trd09300.rdmTraducao", request("GetDataHoraServ", ""), "application/json");
        cheapest.push_back(msSince(start));
    }
    print("suggestion, not cached", uncached, "the engine alone", engineAlone);
    print("suggestion, cached", cached, "GetDataHoraServ", cheapest);

    // Saves of another client: alone first, then beside the pre-translation.
    std::string current = "antes";
    int saved = 0;
    const auto saves = [&](int n, const std::atomic<bool>* stop) {
        httplib::Client s("127.0.0.1", server.port());
        s.set_tcp_nodelay(true);
        std::vector<double> out;
        for (int i = 0; i < n || (stop && !stop->load()); ++i) {
            if (stop && stop->load())
                break;
            const std::string next = "salvo " + std::to_string(++saved);
            const TRow row{"ESP", "BENCH", "alvo", "Texto salvo", current, "T"};
            const auto start = Clock::now();
            auto res = s.Post("/Trd09300.rdmTraducao",
                              request("SetDestino", json(DeltaBuilder().modify(row, next).xml())), "application/json");
            if (res && parseAnswer(res->body).ok) {
                out.push_back(msSince(start));
                current = next;
            }
        }
        return out;
    };
    bool stopped = false;
    // One round: the saves alone, beside a pre-translation of the rows of
    // `set`, and beside the engine alone busy on texts of the same kind.
    const auto round = [&](const char* engineState, const char* set, int textsFrom) {
        std::printf("-- the engine %s, load average %s\n", engineState, loadAverage().c_str());
        const std::vector<double> alone = saves(samples, nullptr);

        std::atomic<bool> done{false};
        std::vector<double> beside;
        std::thread saver([&] { beside = saves(1 << 30, &done); });
        trd::exchange::ServerAddress address;
        address.port = server.port();
        trd::exchange::JobControl control;
        trd::exchange::ServerLink link(address, control);
        trd::exchange::RowSelection selection;
        selection.language = QStringLiteral("ESP");
        selection.filtered = true;
        selection.fragment = QStringLiteral(" AND CDPROGTRAD LIKE '%1%'").arg(QString::fromLatin1(set));
        const auto start = Clock::now();
        const trd::exchange::PreTranslation p = trd::exchange::preTranslate(link, selection, control);
        const double seconds = msSince(start) / 1000;
        done = true;
        saver.join();
        stopped = stopped || !p.stoppedBy.isEmpty() || p.written() == 0;

        // The engine's own rate on texts of the same kind, in the same pieces.
        std::vector<std::string> texts;
        for (int i = 0; i < rows; ++i)
            texts.push_back(unescape(screenText(seed, textsFrom + i)));
        // Saves beside the engine alone busy: what sharing the processors with
        // its pipeline costs a save, with no write of the pre-translation.
        std::atomic<bool> engineDone{false};
        std::vector<double> besideEngine;
        std::thread engineSaver([&] { besideEngine = saves(1 << 30, &engineDone); });
        const auto engineStart = Clock::now();
        for (std::size_t at = 0; at < texts.size(); at += trd::exchange::PreTranslationPiece) {
            std::string joined;
            for (std::size_t i = at; i < std::min(texts.size(), at + trd::exchange::PreTranslationPiece); ++i)
                joined += "<p>" + texts[i] + "</p>";
            engine.set_read_timeout(120, 0);
            engine.Post("/translate", httplib::Params{{"q", joined}, {"langpair", "por|spa"}, {"markUnknown", "no"}});
        }
        const double engineSeconds = msSince(engineStart) / 1000;
        engineDone = true;
        engineSaver.join();
        std::printf("pre-translation of %d rows: %d written (%d refused) in %.1f s, %.0f rows/s, 100,000 rows in "
                    "%.0f s | floor the engine alone %.0f rows/s\n",
                    p.candidates, p.written(), p.refused, seconds, p.written() / seconds,
                    100000 / (p.written() / seconds), rows / engineSeconds);
        const Percentiles a = percentiles(alone), b = percentiles(beside);
        std::printf("one-row save of another client  alone p50 %6.2f p99 %6.2f ms (n=%zu) | during the "
                    "pre-translation p50 %6.2f p99 %6.2f ms (n=%zu) | p99 %.2f x\n",
                    a.p50, a.p99, alone.size(), b.p50, b.p99, beside.size(), a.p99 > 0 ? b.p99 / a.p99 : 0.0);
        const Percentiles c = percentiles(besideEngine);
        std::printf("one-row save of another client  beside the engine alone busy (floor) p50 %6.2f p99 %6.2f ms "
                    "(n=%zu) | during the pre-translation p99 %.2f x of it\n",
                    c.p50, c.p99, besideEngine.size(), c.p99 > 0 ? b.p99 / c.p99 : 0.0);
    };
    round("as started", "X", 2 * rows);
    if (!apertium.lowerPriority(10)) {
        std::fprintf(stderr, "bench_machine: could not lower the engine's priority\n");
        return 1;
    }
    round("at nice 10 (docs/machine-translation.md)", "Y", 3 * rows);
    std::printf("load average at end: %s\n", loadAverage().c_str());
    return stopped ? 1 : 0;
}
