// Machine translation's figures (docs/machine-translation.md, "Figures"):
// a real trd-server with the real Apertium service on loopback.
// - a suggestion for a row (GetTraducaoAutomatica) never asked before, p50
//   and p95, beside the floor of the same texts asked of the engine directly;
// - the same suggestions again, answered from the cache, beside the floor of
//   the server's cheapest method (GetDataHoraServ);
// - in rounds, each with an engine and a server of its own started afresh:
//   a pre-translation of ROWS untranslated rows (trd-exchange's run), rows a
//   second and the time 100,000 would take, beside the engine's own rate on
//   texts of the same kind sent in the same pieces; and one-row saves by
//   another client, p50 and p99, alone and while the pre-translation runs,
//   and beside the engine alone busy (the processors shared with its
//   pipeline, no write of ours). The rounds alternate the engine as started
//   and the engine at idle scheduling, as docs/machine-translation.md
//   advises a site to run it (`chrt --idle 0`, in trd-server's session;
//   a service's CPUWeight=idle in trd-server's slice), REPEAT times each,
//   and end with every round's ratio and their median: this machine's p99
//   moves more between runs than the pre-translation moves it.
//
//   bench_machine [--rows 20000] [--suggestions 300] [--saves 400] [--repeat 3]
//
// trd-server is $TRD_BIN_DIR/trd-server: another build's server measured by
// the same rounds is set by TRD_BIN_DIR alone.
#include "ApertiumService.h"
#include "BenchStats.h"
#include "PreTranslation.h"
#include "ServerTestKit.h"
#include "TrdServerProcess.h"

#include <httplib.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

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

// The processor seconds each thread of a process has used, by the thread's
// name (threads of one name added up).
std::map<std::string, double> threadSeconds(qint64 pid)
{
    std::map<std::string, double> out;
    const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks + u'/' + task + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "tid (name) state ppid ... utime stime ...": utime is the 14th field.
        const QByteArray line = stat.readAll();
        const qsizetype open = line.indexOf('('), close = line.lastIndexOf(')');
        const QList<QByteArray> rest = line.mid(close + 2).split(' ');
        if (open < 0 || rest.size() < 13)
            continue;
        out[line.mid(open + 1, close - open - 1).toStdString()] += (rest[11].toDouble() + rest[12].toDouble()) / tick;
    }
    return out;
}

double median(std::vector<double> v)
{
    return percentile(std::move(v), 0.5);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int rows = 20000, suggestions = 300, samples = 400, repeat = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--rows"))
            rows = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--suggestions"))
            suggestions = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--saves"))
            samples = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--repeat"))
            repeat = std::max(1, std::atoi(argv[i + 1]));
    }
    if (!ApertiumService::installed()) {
        std::fprintf(stderr, "bench_machine: apertium-apy and apertium-es-pt are not installed\n");
        return 1;
    }
    std::printf("load average at start: %s; trd-server %s\n", loadAverage().c_str(),
                qPrintable(TrdServerProcess::binaryPath()));
    unsigned seed = 11;
    const QByteArray language = "L\tESP\tEspanhol\tPOR\nR\tESP\tBENCH\talvo\tTexto salvo\tantes\tT\n";
    const auto serverFor = [&](const ApertiumService& engine, const QByteArray& tsv) {
        TrdServerProcess::Options options;
        options.seedTsv = tsv;
        options.extraArgs = {QStringLiteral("--mt-url"), engine.url(), QStringLiteral("--quiet")};
        return std::make_unique<TrdServerProcess>(options);
    };

    // Suggestions, with the engine as started.
    {
        ApertiumService apertium;
        if (!apertium.start()) {
            std::fprintf(stderr, "%s\n", qPrintable(apertium.errorString()));
            return 1;
        }
        std::vector<std::string> asked;
        for (int i = 0; i < suggestions; ++i)
            asked.push_back(unescape(screenText(seed, rows + i)));
        const auto server = serverFor(apertium, language);
        if (!server->isRunning()) {
            std::fprintf(stderr, "%s\n", qPrintable(server->errorString()));
            return 1;
        }
        httplib::Client trd("127.0.0.1", server->port()), engine("127.0.0.1", apertium.port());
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
    }

    struct Outcome {
        double ratio = 0, ofFloor = 0, rowsPerSecond = 0, engineRate = 0;
        std::string load;
    };
    std::map<ApertiumService::Scheduling, std::vector<Outcome>> outcomes;
    bool stopped = false;
    // One round: an engine started as `scheduling` says and a server with
    // ROWS untranslated rows of their own; the saves alone, beside a
    // pre-translation of the rows, and beside the engine alone busy on texts
    // of the same kind.
    const auto round = [&](ApertiumService::Scheduling scheduling, int number) {
        const bool idle = scheduling == ApertiumService::Scheduling::Idle;
        Outcome outcome;
        outcome.load = loadAverage();
        std::printf("-- round %d: the engine %s, load average %s\n", number,
                    idle ? "at idle scheduling (chrt --idle 0; a service's CPUWeight=idle in trd-server's slice)"
                         : "as started",
                    outcome.load.c_str());
        ApertiumService apertium;
        if (!apertium.start(scheduling)) {
            std::fprintf(stderr, "%s\n", qPrintable(apertium.errorString()));
            stopped = true;
            return;
        }
        QByteArray tsv = language;
        const int from = 10 * rows * number;
        for (int i = 0; i < rows; ++i)
            tsv += QByteArray::fromStdString("R\tESP\tX" + std::to_string(i % 300) + "\tc" + std::to_string(from + i)
                                             + "\t" + screenText(seed, from + i) + "\t\tN\n");
        const auto server = serverFor(apertium, tsv);
        if (!server->isRunning()) {
            std::fprintf(stderr, "%s\n", qPrintable(server->errorString()));
            stopped = true;
            return;
        }
        std::string current = "antes";
        int saved = 0;
        const auto saves = [&](int n, const std::atomic<bool>* stop) {
            httplib::Client s("127.0.0.1", server->port());
            s.set_tcp_nodelay(true);
            std::vector<double> out;
            for (int i = 0; i < n || (stop && !stop->load()); ++i) {
                if (stop && stop->load())
                    break;
                const std::string next = "salvo " + std::to_string(++saved);
                const TRow row{"ESP", "BENCH", "alvo", "Texto salvo", current, "T"};
                const auto start = Clock::now();
                auto res =
                    s.Post("/Trd09300.rdmTraducao", request("SetDestino", json(DeltaBuilder().modify(row, next).xml())),
                           "application/json");
                if (res && parseAnswer(res->body).ok) {
                    out.push_back(msSince(start));
                    current = next;
                }
            }
            return out;
        };
        const std::vector<double> alone = saves(samples, nullptr);

        std::atomic<bool> done{false};
        std::vector<double> beside;
        std::thread saver([&] { beside = saves(1 << 30, &done); });
        trd::exchange::ServerAddress address;
        address.port = server->port();
        trd::exchange::JobControl control;
        trd::exchange::ServerLink link(address, control);
        trd::exchange::RowSelection selection;
        selection.language = QStringLiteral("ESP");
        selection.filtered = true;
        selection.fragment = QStringLiteral(" AND CDPROGTRAD LIKE 'X%'");
        const std::map<std::string, double> before = threadSeconds(server->pid());
        const auto start = Clock::now();
        const trd::exchange::PreTranslation p = trd::exchange::preTranslate(link, selection, control);
        const double seconds = msSince(start) / 1000;
        const std::map<std::string, double> after = threadSeconds(server->pid());
        done = true;
        saver.join();
        stopped = stopped || !p.stoppedBy.isEmpty() || p.written() == 0;
        const std::string engineThreads = apertium.schedulingSummary().toStdString();

        // The engine's own rate on texts of the same kind, in the same pieces.
        std::vector<std::string> texts;
        for (int i = 0; i < rows; ++i)
            texts.push_back(unescape(screenText(seed, from + 5 * rows + i)));
        // Saves beside the engine alone busy: what sharing the processors with
        // its pipeline costs a save, with no write of the pre-translation.
        std::atomic<bool> engineDone{false};
        std::vector<double> besideEngine;
        std::thread engineSaver([&] { besideEngine = saves(1 << 30, &engineDone); });
        httplib::Client engine("127.0.0.1", apertium.port());
        engine.set_read_timeout(120, 0);
        const auto engineStart = Clock::now();
        for (std::size_t at = 0; at < texts.size(); at += trd::exchange::PreTranslationPiece) {
            std::string joined;
            for (std::size_t i = at; i < std::min(texts.size(), at + trd::exchange::PreTranslationPiece); ++i)
                joined += "<p>" + texts[i] + "</p>";
            engine.Post("/translate", httplib::Params{{"q", joined}, {"langpair", "por|spa"}, {"markUnknown", "no"}});
        }
        const double engineSeconds = msSince(engineStart) / 1000;
        engineDone = true;
        engineSaver.join();

        outcome.rowsPerSecond = p.written() / seconds;
        outcome.engineRate = rows / engineSeconds;
        std::printf("pre-translation of %d rows: %d written (%d refused) in %.1f s, %.0f rows/s, 100,000 rows in "
                    "%.0f s | floor the engine alone %.0f rows/s\n",
                    p.candidates, p.written(), p.refused, seconds, outcome.rowsPerSecond,
                    100000 / outcome.rowsPerSecond, outcome.engineRate);
        // By thread name: the workers and the writer are the process's own
        // name, the lanes their own.
        double serverTotal = 0;
        std::string byName;
        for (const auto& [name, s] : after) {
            const double used = s - (before.count(name) ? before.at(name) : 0);
            serverTotal += used;
            if (used >= 0.005)
                byName += (byName.empty() ? "" : ", ") + name + " " + std::to_string(used).substr(0, 4) + " s";
        }
        std::printf("trd-server's processor during it %.2f s (%s) | the engine: %s\n", serverTotal, byName.c_str(),
                    engineThreads.c_str());
        const Percentiles a = percentiles(alone), b = percentiles(beside), c = percentiles(besideEngine);
        outcome.ratio = a.p99 > 0 ? b.p99 / a.p99 : 0.0;
        outcome.ofFloor = c.p99 > 0 ? b.p99 / c.p99 : 0.0;
        std::printf("one-row save of another client  alone p50 %6.2f p99 %6.2f ms (n=%zu) | during the "
                    "pre-translation p50 %6.2f p99 %6.2f ms (n=%zu) | p99 %.2f x\n",
                    a.p50, a.p99, alone.size(), b.p50, b.p99, beside.size(), outcome.ratio);
        std::printf("one-row save of another client  beside the engine alone busy (floor) p50 %6.2f p99 %6.2f ms "
                    "(n=%zu) | during the pre-translation p99 %.2f x of it\n",
                    c.p50, c.p99, besideEngine.size(), outcome.ofFloor);
        outcomes[scheduling].push_back(outcome);
    };
    for (int r = 0; r < 2 * repeat && !stopped; ++r)
        round(r % 2 ? ApertiumService::Scheduling::Idle : ApertiumService::Scheduling::Inherited, r + 1);

    std::printf("-- every round: p99 during the pre-translation / p99 alone (load average at the round's start)\n");
    for (const auto& [scheduling, list] : outcomes) {
        std::vector<double> ratios, rates;
        std::printf("the engine %-16s",
                    scheduling == ApertiumService::Scheduling::Idle ? "at idle scheduling" : "as started");
        for (const Outcome& o : list) {
            std::printf(" %.2f x (%.4s)", o.ratio, o.load.c_str());
            ratios.push_back(o.ratio);
            rates.push_back(o.rowsPerSecond);
        }
        std::printf(" | median %.2f x, %.0f rows/s (100,000 rows in %.0f s)\n", median(ratios), median(rates),
                    100000 / median(rates));
    }
    std::printf("load average at end: %s\n", loadAverage().c_str());
    return stopped ? 1 : 0;
}
