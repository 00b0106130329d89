// Times what the editor's reload costs: GetDestino for a 200,000-row language
// on a real trd-server over loopback (server, transfer, JSON envelope), then
// loading the packet into a client data set. Also times the envelope decoder
// alone against QJsonDocument on the same answer.
//
//   bench_connection [rows]      (default 200000; TRD_BIN_DIR = folder of trd-server)
#include "DataPacket.h"
#include "JsonRpc.h"
#include "ServerCalls.h"
#include "TClientDataSet.h"
#include "TNetConnection.h"
#include "TrdServerProcess.h"

#include <httplib.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <algorithm>
#include <ctime>
#include <thread>
#include <cstdio>
#include <vector>

using namespace trd;

namespace {

const char* const kWords[] = {"Salvar",   "registro",  "Cancelar", "operação",  "Tradução", "idioma",  "Confirma",
                              "exclusão", "Tela",      "campo",    "valor",     "inválido", "Data",    "informada",
                              "&Arquivo", "Relatório", "situação", "\"Texto\"", "Código",   "programa"};

QByteArray phrase(unsigned& seed, int words)
{
    QByteArray out;
    for (int i = 0; i < words; ++i) {
        seed = seed * 1103515245u + 12345u;
        if (i)
            out += ' ';
        out += kWords[(seed >> 16) % (sizeof kWords / sizeof *kWords)];
    }
    return out;
}

QString writeTsv(const QString& path, int rows)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write("L\tENG\tInglês\tPOR\n");
    unsigned seed = 7;
    const char* status[] = {"T", "D", "N"};
    for (int i = 0; i < rows; ++i) {
        QByteArray line = "R\tENG\tTRD" + QByteArray::number(10000 + i / 400) + "\tcomp" + QByteArray::number(i % 400)
            + "\t" + phrase(seed, 6) + " " + QByteArray::number(i) + "\t" + phrase(seed, 6) + "\t" + status[i % 3]
            + "\n";
        f.write(line);
    }
    return path;
}

// CPU time of the calling thread: what the client itself spends, whatever
// else the machine is doing.
double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The client's own cost: a local HTTP server hands out a prepared answer of
// the given packet, so only transfer and envelope decoding are timed.
void clientOnly(const QByteArray& packet)
{
    std::string answer = R"({"jsonrpc":"2.0","id":)";
    QByteArray escaped;
    jsonrpc::AppendJsonString(escaped, packet.constData(), packet.size());
    httplib::Server http;
    http.set_tcp_nodelay(true);
    http.Get("/health", [](const httplib::Request&, httplib::Response& res) { res.set_content("OK", "text/plain"); });
    http.Post("/Trd09300.rdmTraducao", [&](const httplib::Request& req, httplib::Response& res) {
        const auto at = req.body.find("\"id\":") + 5;
        const std::string id = req.body.substr(at, req.body.find(',', at) - at);
        std::string body = answer + id + R"(,"result":)";
        body.append(escaped.constData(), size_t(escaped.size()));
        body += "}";
        res.set_content(std::move(body), "application/json");
    });
    const int port = http.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { http.listen_after_bind(); });
    while (!http.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    TNetConnection net;
    net.Host = QStringLiteral("127.0.0.1");
    net.Port = port;
    std::vector<double> times, cpu;
    QElapsedTimer clock;
    for (int run = 0; run < 7; ++run) {
        clock.restart();
        const double cpu0 = threadCpuMs();
        const QByteArray got = CheckResultServ(net.AppServer().Call(metodo::GetDestino, {"T"}));
        cpu.push_back(threadCpuMs() - cpu0);
        times.push_back(clock.nsecsElapsed() / 1e6);
        if (got.size() != packet.size())
            std::printf("  wrong size\n");
    }
    std::printf("client alone (local server, answer ready, %.1f MB): median %.0f ms, client thread CPU %.0f ms\n",
                escaped.size() / 1e6, median(times), median(cpu));
    net.Close();
    http.stop();
    serving.join();
}

// A packet of the translation row's shape, built here (no server needed).
QByteArray localPacket(int rows)
{
    std::vector<PacketField> fields(6);
    const char* names[] = {"STAGRVALPROP", "STVALORPROP", "IDSITTRADUCAO", "IDIDIOMA", "NMCOMPONENTE", "CDPROGTRAD"};
    const int sizes[] = {4000, 4000, 1, 3, 50, 20};
    for (int i = 0; i < 6; ++i) {
        fields[size_t(i)].name = names[i];
        fields[size_t(i)].size = sizes[i];
    }
    QByteArray out;
    PacketWriter writer(out);
    writer.begin(fields);
    unsigned seed = 7;
    const char* status[] = {"T", "D", "N"};
    for (int i = 0; i < rows; ++i) {
        writer.beginRow();
        writer.string(0, QString::fromUtf8(phrase(seed, 6) + " " + QByteArray::number(i)));
        writer.string(1, QString::fromUtf8(phrase(seed, 6)));
        writer.string(2, std::string_view(status[i % 3]));
        writer.string(3, std::string_view("ENG"));
        writer.string(4, QString::fromLatin1("comp%1").arg(i % 400));
        writer.string(5, QString::fromLatin1("TRD%1").arg(10000 + i / 400));
        writer.endRow();
    }
    writer.end();
    return out;
}

void envelope(const QByteArray& packet)
{
    QByteArray answer = R"({"jsonrpc":"2.0","id":1,"result":)";
    jsonrpc::AppendJsonString(answer, packet.constData(), packet.size());
    answer += "}";
    std::vector<double> ours, qt;
    QElapsedTimer clock;
    for (int run = 0; run < 5; ++run) {
        QByteArray copy = answer;
        clock.restart();
        const TServerResult r = jsonrpc::DecodeAnswer(std::move(copy), 1);
        ours.push_back(clock.nsecsElapsed() / 1e6);
        clock.restart();
        const QJsonDocument doc = QJsonDocument::fromJson(answer);
        const QByteArray viaQt = doc[QLatin1String("result")].toString().toUtf8();
        qt.push_back(clock.nsecsElapsed() / 1e6);
        if (r.Packet != packet || viaQt != packet)
            std::printf("  decoders disagree\n");
    }
    std::printf("envelope of %.1f MB: DecodeAnswer median %.1f ms (%.0f MB/s); QJsonDocument + toUtf8 median %.1f ms\n",
                answer.size() / 1e6, median(ours), answer.size() / 1e3 / median(ours), median(qt));
}

void endToEnd(int rows, const QString& tsv)
{
    QElapsedTimer clock;
    clock.start();
    test::TrdServerProcess::Options options;
    options.importTsv = tsv;
    options.startTimeoutMs = 300000;
    test::TrdServerProcess server(options);
    if (!server.isRunning()) {
        std::printf("end to end skipped, server did not start: %s\n", qPrintable(server.errorString()));
        return;
    }
    std::printf("seeded %d rows and started the server in %.1f s\n", rows, clock.elapsed() / 1000.0);

    TNetConnection net;
    net.Host = server.host();
    net.Port = server.port();
    net.Open();
    std::vector<double> call, load, total, callCpu;
    QByteArray packet;
    int loaded = 0;
    for (int run = 0; run < 7; ++run) {
        TClientDataSet cds;
        clock.restart();
        const double cpu0 = threadCpuMs();
        packet = CheckResultServ(
            net.AppServer().Call(metodo::GetDestino, {"T", "D", "N", "ENG", TDateTime(0), TDateTime(0), QString()}));
        const double t1 = clock.nsecsElapsed() / 1e6;
        callCpu.push_back(threadCpuMs() - cpu0);
        cds.SetData(packet);
        const double t2 = clock.nsecsElapsed() / 1e6;
        loaded = cds.RecordCount();
        call.push_back(t1);
        load.push_back(t2 - t1);
        total.push_back(t2);
    }
    std::printf("GetDestino %d rows from trd-server, packet %.1f MB\n", loaded, packet.size() / 1e6);
    std::printf("  call (server + transfer + envelope): median %.0f ms (client thread CPU %.0f ms)\n", median(call),
                median(callCpu));
    // The server's own time for each GetDestino, from its request log.
    std::vector<double> serverMs;
    for (const QByteArray& line : server.log().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() > 4 && parts[2] == "GetDestino" && parts[4] == "ms")
            serverMs.push_back(parts[3].toDouble());
    }
    if (!serverMs.empty())
        std::printf("  of which the server's own time:       median %.0f ms\n", median(serverMs));
    std::printf("  SetData into the client data set:     median %.0f ms\n", median(load));
    std::printf("  reload end to end:                    median %.0f ms\n", median(total));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 200000;
    if (qEnvironmentVariableIsEmpty("TRD_BIN_DIR"))
        qputenv("TRD_BIN_DIR", QCoreApplication::applicationDirPath().toLocal8Bit());

    const QByteArray packet = localPacket(rows);
    envelope(packet);
    clientOnly(packet);

    QTemporaryDir dir;
    endToEnd(rows, writeTsv(dir.filePath(QStringLiteral("rows.tsv")), rows));
    return 0;
}
