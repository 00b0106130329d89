// Saves and /health beside a flood of hostile translation memory calls
// (docs/memory.md, "Budget"): a real trd-server on a 200,000-row language,
// first idle, then while clients on 64 connections send GetSugestoes of
// 4,000-character sources at threshold 1 as fast as they are answered, up to
// a fixed number of calls. Prints the idle figures (the floor) beside the
// flooded ones, their ratio, and what became of the hostile calls.
//
//   bench_suggestion_flood [--rows 200000] [--calls 2000] [--samples 1500]
#include "BenchStats.h"
#include "ServerTestKit.h"
#include "TrdServerProcess.h"

#include <httplib.h>

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace trd::server::test;
using trd::test::TrdServerProcess;
using namespace trd::bench;

namespace {

// Screen texts of a shared vocabulary: most short, a few long, as a large
// language has them. ASCII, so that a cut never splits a character.
std::string text(unsigned& seed, std::size_t length)
{
    static const char* const Words[] = {"arquivo", "salvar", "traducao", "janela",     "registro", "campo",  "valor",
                                        "idioma",  "tela",   "programa", "componente", "situacao", "origem", "destino",
                                        "abrir",   "fechar", "consulta", "relatorio",  "usuario",  "senha"};
    std::string t;
    while (t.size() < length) {
        seed = seed * 1103515245u + 12345u;
        t += Words[(seed >> 16) % (sizeof Words / sizeof *Words)];
        t += ' ';
    }
    t.resize(length);
    return t;
}

// Alternates a GET /health and a one-row save, each on its own kept-alive
// connection, `samples` of each; `current` is the row's text as saved last.
void measure(int port, int samples, std::vector<double>& health, std::vector<double>& saves, std::string& current)
{
    httplib::Client h("127.0.0.1", port), s("127.0.0.1", port);
    h.set_tcp_nodelay(true);
    s.set_tcp_nodelay(true);
    s.set_read_timeout(120, 0);
    h.set_read_timeout(120, 0);
    static int saved = 0;
    for (int i = 0; i < samples; ++i) {
        auto start = Clock::now();
        auto res = h.Get("/health");
        if (res && res->status == 200)
            health.push_back(msSince(start));
        const std::string next = "salvo " + std::to_string(++saved);
        const TRow row{"ENG", "BENCH", "alvo", "Texto salvo", current, "T"};
        start = Clock::now();
        auto saved = s.Post("/Trd09300.rdmTraducao",
                            request("SetDestino", json(DeltaBuilder().modify(row, next).xml())), "application/json");
        if (saved && parseAnswer(saved->body).ok) {
            saves.push_back(msSince(start));
            current = next;
        }
    }
}

void print(const char* what, const std::vector<double>& floor, const std::vector<double>& flooded)
{
    const Percentiles a = percentiles(floor), b = percentiles(flooded);
    std::printf("%-32s idle p50 %7.3f p99 %7.3f max %8.3f ms (n=%zu) | flood p50 %7.3f p99 %7.3f max %8.3f ms (n=%zu)"
                " | p99 %.2f x\n",
                what, a.p50, a.p99, a.max, floor.size(), b.p50, b.p99, b.max, flooded.size(),
                a.p99 > 0 ? b.p99 / a.p99 : 0.0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int rows = 200000, calls = 2000, samples = 1500;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--rows"))
            rows = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--calls"))
            calls = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--samples"))
            samples = std::atoi(argv[i + 1]);
    }
    std::printf("load average at start: %s\n", loadAverage().c_str());
    QByteArray tsv = "L\tENG\tInglês\tPOR\nR\tENG\tBENCH\talvo\tTexto salvo\tantes\tT\n";
    unsigned seed = 7;
    for (int i = 0; i < rows; ++i) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t length = (seed >> 16) % 50 == 0 ? 1000 + (seed >> 8) % 3000 : 2 + (seed >> 8) % 90;
        tsv += QByteArray::fromStdString("R\tENG\tP" + std::to_string(i % 300) + "\tc" + std::to_string(i) + "\t"
                                         + text(seed, length) + "\tx\t" + (i % 3 ? "T" : "D") + "\n");
    }
    TrdServerProcess::Options options;
    options.seedTsv = tsv;
    options.extraArgs = {"--max-per-address", "300", "--quiet"};
    options.startTimeoutMs = 600000;
    TrdServerProcess server(options);
    if (!server.isRunning()) {
        std::fprintf(stderr, "%s\n", server.errorString().toStdString().c_str());
        return 1;
    }
    const int port = server.port();
    unsigned qseed = 99;
    const std::string hostile = request(
        "GetSugestoes", json("ENG") + "," + json(text(qseed, 4000)) + "," + json("P") + "," + json("novo") + ",1");
    httplib::Client probe("127.0.0.1", port);
    probe.set_read_timeout(300, 0);
    for (int i = 0; i < 6000; ++i) {
        auto res = probe.Post("/Trd09300.rdmTraducao", hostile, "application/json");
        if (res && res->body.find("sendo preparada") == std::string::npos)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    {
        const auto start = Clock::now();
        auto res = probe.Post("/Trd09300.rdmTraducao", hostile, "application/json");
        std::printf("one hostile call alone (4,000 characters, threshold 1, searched at 50): %.1f ms, %s\n",
                    msSince(start), res && parseAnswer(res->body).ok ? "answered" : "failed");
    }

    std::vector<double> idleHealth, idleSaves, floodHealth, floodSaves;
    std::string current = "antes";
    measure(port, samples, idleHealth, idleSaves, current);

    std::atomic<int> sent{0}, answered{0}, refused{0}, failed{0};
    std::vector<std::thread> flood;
    const auto deadline = Clock::now() + std::chrono::seconds(300);
    for (int c = 0; c < 64; ++c) {
        flood.emplace_back([&] {
            httplib::Client client("127.0.0.1", port);
            client.set_read_timeout(300, 0);
            while (Clock::now() < deadline && sent.fetch_add(1) < calls) {
                auto res = client.Post("/Trd09300.rdmTraducao", hostile, "application/json");
                if (!res)
                    ++failed;
                else if (res->body.find("sugestões demais") != std::string::npos)
                    ++refused;
                else if (parseAnswer(res->body).ok)
                    ++answered;
                else
                    ++failed;
            }
        });
    }
    const auto floodStart = Clock::now();
    measure(port, samples, floodHealth, floodSaves, current);
    for (auto& t : flood)
        t.join();
    const double floodMs = msSince(floodStart);

    print("GET /health round trip", idleHealth, floodHealth);
    print("single save round trip", idleSaves, floodSaves);
    std::printf("hostile calls: %d sent over %.1f s, %d answered, %d refused (lane full), %d failed\n",
                std::min(sent.load(), calls), floodMs / 1000, answered.load(), refused.load(), failed.load());
    std::printf("load average at end: %s\n", loadAverage().c_str());
    return 0;
}
