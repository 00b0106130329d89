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
//   beside the engine alone busy (the processors shared with its pipeline,
//   no write of ours) and beside a second run over rows of the same sources,
//   answered from the cache (the run's reads and writes, no engine); and the
//   machine's floor under all of them: two threads of the bench handing a
//   byte to each other over a pipe, beside the saves alone and beside the
//   engine alone busy.
//
//   bench_machine [--rows 20000] [--suggestions 300] [--saves 400] [--repeat 3]
//                 [--engine site|autogroup|idle|started] [--before-rows 100] [--after-rows N]
//                 [--before-bin DIR] [--save-every MS] [--engine-cpus LIST] [--before-engine-cpus LIST]
//
// The saves come one every --save-every ms (5 by default; 0 back to back),
// the same pace in every phase, and the baseline is the same saves alone for
// as long as the pre-translation ran, right after it over the same database:
// a short burst of saves alone (what the figures were once compared with)
// sees neither the checkpoints nor the database of a long run. That burst,
// --saves back to back, is still printed beside it.
//
// The rounds alternate "before" and "after": the run saving --before-rows
// rows a transaction (and, with --before-bin, that build's trd-server)
// against --after-rows (this build's default) and $TRD_BIN_DIR/trd-server,
// REPEAT times each, and end with every round's ratio, the load average at
// its start and the medians. --engine says how the engine runs in every
// round: "site" (the default) as docs/machine-translation.md advises a site
// to run it, SCHED_IDLE in a control group of its own marked idle (where the
// bench may make one: root, or a delegated cpu controller; else as
// "autogroup"); "autogroup" SCHED_IDLE in a session of its own whose
// autogroup is at nice 19, which gives way to a waking thread of another
// group only at its slice's end; "idle" SCHED_IDLE in the bench's
// own session (`chrt --idle 0` from trd-server's shell); "started" as the
// bench runs. --engine-cpus (the "after" rounds) and --before-engine-cpus
// keep the engine and every pipeline it starts on the processors listed
// ("1", "1,2,3"), as a unit's CPUAffinity= does; by default every processor
// but the first, as a site's unit has it; "all" lifts the limit.
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

// The machine's own floor of a save's wait: one thread wakes another over
// a pipe and is woken back, every `every` ms until *stop. A save is several
// such hand-overs (client, worker, writer, the disk's answer), so what slows
// them slows a save whatever the server does.
std::vector<double> handOvers(const std::atomic<bool>& stop, double every)
{
    int there[2], back[2];
    std::vector<double> out;
    if (::pipe(there) != 0)
        return out;
    if (::pipe(back) != 0) {
        ::close(there[0]);
        ::close(there[1]);
        return out;
    }
    std::thread echo([&] {
        for (char c; ::read(there[0], &c, 1) == 1;)
            if (::write(back[1], &c, 1) != 1)
                break;
    });
    while (!stop.load()) {
        std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long>(every * 1000)));
        char c = 'x';
        const auto start = Clock::now();
        if (::write(there[1], &c, 1) != 1 || ::read(back[0], &c, 1) != 1)
            break;
        out.push_back(msSince(start));
    }
    ::close(there[1]); // the echo's read ends
    echo.join();
    ::close(there[0]);
    ::close(back[0]);
    ::close(back[1]);
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
    int beforeRows = 100, afterRows = trd::exchange::PreTranslationSaveRows;
    double saveEvery = 5;
    QString beforeBin;
    // As docs/machine-translation.md advises a site: every processor but the
    // first, which the engine leaves to trd-server ("all": no such limit).
    std::vector<int> siteCpus;
    for (int cpu = 1; cpu < static_cast<int>(std::thread::hardware_concurrency()); ++cpu)
        siteCpus.push_back(cpu);
    std::vector<int> engineCpus = siteCpus, beforeEngineCpus = siteCpus;
    const auto cpuList = [](const char* text) {
        std::vector<int> out;
        if (!std::strcmp(text, "all"))
            return out;
        for (const QString& part : QString::fromLatin1(text).split(QLatin1Char(','), Qt::SkipEmptyParts))
            out.push_back(part.toInt());
        return out;
    };
    // A site's unit, where this machine lets the bench make an idle group.
    ApertiumService::Scheduling scheduling = ApertiumService::idleGroupBase().isEmpty()
        ? ApertiumService::Scheduling::IdleGroup
        : ApertiumService::Scheduling::IdleControlGroup;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--rows"))
            rows = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--suggestions"))
            suggestions = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--saves"))
            samples = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--repeat"))
            repeat = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--before-rows"))
            beforeRows = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--after-rows"))
            afterRows = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--save-every"))
            saveEvery = std::max(0.0, std::atof(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--engine-cpus"))
            engineCpus = cpuList(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--before-engine-cpus"))
            beforeEngineCpus = cpuList(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--before-bin"))
            beforeBin = QString::fromLocal8Bit(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--engine"))
            scheduling = !std::strcmp(argv[i + 1], "started") ? ApertiumService::Scheduling::Inherited
                : !std::strcmp(argv[i + 1], "idle")           ? ApertiumService::Scheduling::Idle
                : !std::strcmp(argv[i + 1], "autogroup")      ? ApertiumService::Scheduling::IdleGroup
                                                              : scheduling;
    }
    const QString afterBin = qEnvironmentVariable("TRD_BIN_DIR");
    if (!ApertiumService::installed()) {
        std::fprintf(stderr, "bench_machine: apertium-apy and apertium-es-pt are not installed\n");
        return 1;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // every line as it comes, when sent to a file
    std::printf("load average at start: %s; trd-server %s\n", loadAverage().c_str(),
                qPrintable(TrdServerProcess::binaryPath()));
    unsigned seed = 11;
    const QByteArray language = "L\tESP\tEspanhol\tPOR\nR\tESP\tBENCH\talvo\tTexto salvo\tantes\tT\n";
    const auto serverFor = [&](const ApertiumService& engine, const QByteArray& tsv) {
        TrdServerProcess::Options options;
        options.seedTsv = tsv;
        // A longer time limit than the server's 3 s: an engine at idle
        // scheduling beside a client that saves without a pause can take
        // longer than that over a piece of 500 texts.
        options.extraArgs = {QStringLiteral("--mt-url"), engine.url(), QStringLiteral("--mt-timeout"),
                             QStringLiteral("30"), QStringLiteral("--quiet")};
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
        double ratio = 0, ofEngine = 0, ofCached = 0, rowsPerSecond = 0;
        double handOverAlone = 0, handOverEngine = 0; // p99, ms
        std::string load;
    };
    std::map<bool, std::vector<Outcome>> outcomes; // by "after"
    bool stopped = false;
    const char* const engineModel = scheduling == ApertiumService::Scheduling::IdleControlGroup
        ? "SCHED_IDLE in a control group of its own marked idle (a site's CPUWeight=idle, "
          "CPUSchedulingPolicy=idle)"
        : scheduling == ApertiumService::Scheduling::IdleGroup
        ? "SCHED_IDLE in a session of its own, autogroup nice 19 (no idle control group can be made here)"
        : scheduling == ApertiumService::Scheduling::Idle ? "SCHED_IDLE in the bench's session (chrt --idle 0)"
                                                          : "as started, in the bench's session";
    std::printf("the engine in every round: %s\n", engineModel);
    // One round: an engine and a server with ROWS untranslated rows of their
    // own; the saves alone, beside a pre-translation of the rows, beside the
    // engine alone busy on texts of the same kind, and beside a second
    // pre-translation of rows with the same sources, answered from the cache.
    const auto round = [&](bool after, int number) {
        const int perSave = after ? afterRows : beforeRows;
        const QString bin = after || beforeBin.isEmpty() ? afterBin : beforeBin;
        qputenv("TRD_BIN_DIR", bin.toLocal8Bit());
        Outcome outcome;
        outcome.load = loadAverage();
        std::printf("-- round %d, %s: %d rows a save, %s, load average %s\n", number, after ? "after" : "before",
                    perSave, qPrintable(TrdServerProcess::binaryPath()), outcome.load.c_str());
        ApertiumService apertium;
        apertium.setProcessors(after ? engineCpus : beforeEngineCpus);
        if (!apertium.start(scheduling)) {
            std::fprintf(stderr, "%s\n", qPrintable(apertium.errorString()));
            stopped = true;
            return;
        }
        std::printf("the engine's processors: %s\n", qPrintable(apertium.processorsText()));
        QByteArray tsv = language;
        const int from = 10 * rows * number;
        for (int i = 0; i < rows; ++i) {
            const QByteArray text = QByteArray::fromStdString(screenText(seed, from + i));
            const QByteArray program = QByteArray::number(i % 300);
            const QByteArray name = QByteArray::number(from + i);
            tsv += "R\tESP\tX" + program + "\tc" + name + "\t" + text + "\t\tN\n";
            tsv += "R\tESP\tY" + program + "\tc" + name + "\t" + text + "\t\tN\n";
        }
        const auto server = serverFor(apertium, tsv);
        if (!server->isRunning()) {
            std::fprintf(stderr, "%s\n", qPrintable(server->errorString()));
            stopped = true;
            return;
        }
        std::string current = "antes";
        int saved = 0;
        // n saves, or saves until *stop, each `every` ms after the one before
        // started (at once when it is late: no burst to catch up).
        const auto saves = [&](int n, const std::atomic<bool>* stop, double every) {
            httplib::Client s("127.0.0.1", server->port());
            s.set_tcp_nodelay(true);
            std::vector<double> out;
            auto slot = Clock::now();
            for (int i = 0; i < n || (stop && !stop->load()); ++i) {
                if (stop && stop->load())
                    break;
                if (every > 0) {
                    slot += std::chrono::microseconds(static_cast<long>(every * 1000));
                    std::this_thread::sleep_until(slot);
                    slot = std::max(slot, Clock::now());
                }
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
        const std::vector<double> burst = saves(samples, nullptr, 0);

        // A pre-translation of the programs `prefix`, the saves beside it.
        const auto run = [&](const char* prefix, std::vector<double>& beside, double& seconds,
                             std::map<std::string, double>* used) {
            std::atomic<bool> done{false};
            std::thread saver([&] { beside = saves(1 << 30, &done, saveEvery); });
            trd::exchange::ServerAddress address;
            address.port = server->port();
            trd::exchange::JobControl control;
            trd::exchange::ServerLink link(address, control);
            trd::exchange::RowSelection selection;
            selection.language = QStringLiteral("ESP");
            selection.filtered = true;
            selection.fragment = QStringLiteral(" AND CDPROGTRAD LIKE '%1%'").arg(QLatin1String(prefix));
            const std::map<std::string, double> before = threadSeconds(server->pid());
            const auto start = Clock::now();
            trd::exchange::PreTranslation p;
            try {
                p = trd::exchange::preTranslate(link, selection, control, perSave);
            } catch (const trd::Exception& e) {
                std::fprintf(stderr, "pre-translation failed: %s\n", qPrintable(e.Message()));
            }
            seconds = msSince(start) / 1000;
            if (used)
                for (const auto& [name, s] : threadSeconds(server->pid()))
                    (*used)[name] = s - (before.count(name) ? before.at(name) : 0);
            done = true;
            saver.join();
            stopped = stopped || !p.stoppedBy.isEmpty() || p.written() == 0;
            return p;
        };
        std::vector<double> beside, besideCached;
        double seconds = 0, cachedSeconds = 0;
        std::map<std::string, double> used;
        const trd::exchange::PreTranslation p = run("X", beside, seconds, &used);
        const std::string engineThreads = apertium.schedulingSummary().toStdString();
        // The baseline: the same saves at the same pace, alone, for as long.
        std::vector<double> alone, handOversAlone;
        {
            std::atomic<bool> aloneDone{false};
            std::thread saver([&] { alone = saves(1 << 30, &aloneDone, saveEvery); });
            std::thread probe([&] { handOversAlone = handOvers(aloneDone, saveEvery); });
            std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<long>(seconds * 1000)));
            aloneDone = true;
            saver.join();
            probe.join();
        }
        const trd::exchange::PreTranslation cachedRun = run("Y", besideCached, cachedSeconds, nullptr);

        // The engine's own rate on texts of the same kind, in the same pieces.
        std::vector<std::string> texts;
        for (int i = 0; i < rows; ++i)
            texts.push_back(unescape(screenText(seed, from + 5 * rows + i)));
        // Saves beside the engine alone busy: what sharing the processors with
        // its pipeline costs a save, with no write of the pre-translation.
        std::atomic<bool> engineDone{false};
        std::vector<double> besideEngine, handOversEngine;
        std::thread engineSaver([&] { besideEngine = saves(1 << 30, &engineDone, saveEvery); });
        std::thread engineProbe([&] { handOversEngine = handOvers(engineDone, saveEvery); });
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
        engineProbe.join();

        outcome.rowsPerSecond = p.written() / seconds;
        std::printf("pre-translation of %d rows: %d written (%d refused) in %.1f s, %.0f rows/s, 100,000 rows in "
                    "%.0f s | floor the engine alone %.0f rows/s; the same sources again, from the cache, %.0f "
                    "rows/s\n",
                    p.candidates, p.written(), p.refused, seconds, outcome.rowsPerSecond,
                    100000 / outcome.rowsPerSecond, rows / engineSeconds, cachedRun.written() / cachedSeconds);
        // By thread name: the workers and the writer are the process's own
        // name, the lanes their own.
        double serverTotal = 0;
        std::string byName;
        for (const auto& [name, s] : used) {
            serverTotal += s;
            if (s >= 0.005)
                byName += (byName.empty() ? "" : ", ") + name + " " + std::to_string(s).substr(0, 4) + " s";
        }
        std::printf("trd-server's processor during it %.2f s (%s) | the engine: %s\n", serverTotal, byName.c_str(),
                    engineThreads.c_str());
        const Percentiles a = percentiles(alone), b = percentiles(beside), c = percentiles(besideEngine),
                          d = percentiles(besideCached), e = percentiles(burst);
        outcome.ratio = a.p99 > 0 ? b.p99 / a.p99 : 0.0;
        outcome.ofEngine = c.p99 > 0 ? c.p99 / a.p99 : 0.0;
        outcome.ofCached = d.p99 > 0 ? d.p99 / a.p99 : 0.0;
        std::printf("one-row save of another client  alone p50 %6.2f p99 %6.2f ms (n=%zu) | during the "
                    "pre-translation p50 %6.2f p99 %6.2f ms (n=%zu) | p99 %.2f x\n",
                    a.p50, a.p99, alone.size(), b.p50, b.p99, beside.size(), outcome.ratio);
        std::printf("  (a save every %.1f ms; %d saves alone back to back before the run p50 %6.2f p99 %6.2f ms: "
                    "p99 %.2f x)\n",
                    saveEvery, samples, e.p50, e.p99, e.p99 > 0 ? b.p99 / e.p99 : 0.0);
        std::printf("  beside the engine alone busy, no write of ours     p50 %6.2f p99 %6.2f ms (n=%zu) | p99 %.2f x "
                    "of alone\n",
                    c.p50, c.p99, besideEngine.size(), outcome.ofEngine);
        std::printf("  beside the run from the cache, its writes, no engine p50 %6.2f p99 %6.2f ms (n=%zu) | p99 "
                    "%.2f x of alone\n",
                    d.p50, d.p99, besideCached.size(), outcome.ofCached);
        const Percentiles h = percentiles(handOversAlone), g = percentiles(handOversEngine);
        outcome.handOverAlone = h.p99;
        outcome.handOverEngine = g.p99;
        std::printf("  floor: two threads of the bench handing a byte over a pipe and back, beside the saves alone "
                    "p50 %.3f p99 %.3f ms (n=%zu) | beside the engine alone busy p50 %.3f p99 %.3f ms (n=%zu)\n",
                    h.p50, h.p99, handOversAlone.size(), g.p50, g.p99, handOversEngine.size());
        outcomes[after].push_back(outcome);
    };
    for (int r = 0; r < 2 * repeat && !stopped; ++r)
        round(r % 2 == 1, r + 1);
    qputenv("TRD_BIN_DIR", afterBin.toLocal8Bit());

    std::printf("-- every round: p99 during the pre-translation / p99 alone (load average at the round's start); "
                "beside the engine alone / beside the run from the cache; the hand-over's p99 alone -> beside the "
                "engine alone\n");
    for (const auto& [after, list] : outcomes) {
        std::vector<double> ratios, rates;
        std::printf("%-6s (%3d rows a save)", after ? "after" : "before", after ? afterRows : beforeRows);
        for (const Outcome& o : list) {
            std::printf(" %.2f x (%.4s; %.2f/%.2f; %.3f->%.3f ms)", o.ratio, o.load.c_str(), o.ofEngine, o.ofCached,
                        o.handOverAlone, o.handOverEngine);
            ratios.push_back(o.ratio);
            rates.push_back(o.rowsPerSecond);
        }
        std::printf(" | median %.2f x, %.0f rows/s (100,000 rows in %.0f s)\n", median(ratios), median(rates),
                    100000 / median(rates));
    }
    std::printf("load average at end: %s\n", loadAverage().c_str());
    return stopped ? 1 : 0;
}
