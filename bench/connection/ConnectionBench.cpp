// Times what the editor's reload costs: GetDestino for a 200,000-row language
// on a real trd-server over loopback (server, transfer, JSON envelope), then
// loading the packet into a client data set. Also times the envelope decoder
// alone against QJsonDocument on the same answer.
//
//   bench_connection [rows]      (default 200000; TRD_BIN_DIR = folder of trd-server)
#include "JsonRpc.h"
#include "ServerCalls.h"
#include "TClientDataSet.h"
#include "TNetConnection.h"
#include "TrdServerProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace trd;

namespace {

const char* const kWords[] = {"Salvar", "registro", "Cancelar", "operação", "Tradução", "idioma", "Confirma",
                              "exclusão", "Tela", "campo", "valor", "inválido", "Data", "informada", "&Arquivo",
                              "Relatório", "situação", "\"Texto\"", "Código", "programa"};

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
        QByteArray line = "R\tENG\tTRD" + QByteArray::number(10000 + i / 400) + "\tcomp" + QByteArray::number(i % 400) +
                          "\t" + phrase(seed, 6) + " " + QByteArray::number(i) + "\t" + phrase(seed, 6) + "\t" +
                          status[i % 3] + "\n";
        f.write(line);
    }
    return path;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 200000;
    if (qEnvironmentVariableIsEmpty("TRD_BIN_DIR"))
        qputenv("TRD_BIN_DIR", QCoreApplication::applicationDirPath().toLocal8Bit());

    QTemporaryDir dir;
    QElapsedTimer clock;
    clock.start();
    test::TrdServerProcess::Options options;
    options.importTsv = writeTsv(dir.filePath(QStringLiteral("rows.tsv")), rows);
    options.startTimeoutMs = 300000;
    options.extraArgs = {QStringLiteral("--quiet")};
    test::TrdServerProcess server(options);
    if (!server.isRunning()) {
        std::fprintf(stderr, "server did not start: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    std::printf("seeded %d rows and started the server in %.1f s\n", rows, clock.elapsed() / 1000.0);

    TNetConnection net;
    net.Host = server.host();
    net.Port = server.port();
    net.Open();

    std::vector<double> call, load, total;
    QByteArray packet;
    int loaded = 0;
    for (int run = 0; run < 7; ++run) {
        TClientDataSet cds;
        clock.restart();
        packet = CheckResultServ(net.AppServer().Call(metodo::GetDestino,
                                                      {"T", "D", "N", "ENG", TDateTime(0), TDateTime(0), QString()}));
        const double t1 = clock.nsecsElapsed() / 1e6;
        cds.SetData(packet);
        const double t2 = clock.nsecsElapsed() / 1e6;
        loaded = cds.RecordCount();
        call.push_back(t1);
        load.push_back(t2 - t1);
        total.push_back(t2);
    }
    std::printf("GetDestino %d rows, packet %.1f MB\n", loaded, packet.size() / 1e6);
    std::printf("  call (server + transfer + envelope): median %.0f ms\n", median(call));
    std::printf("  SetData into the client data set:     median %.0f ms\n", median(load));
    std::printf("  reload end to end:                    median %.0f ms\n", median(total));

    // The envelope alone, on an answer of the same size.
    QByteArray answer = R"({"jsonrpc":"2.0","id":1,"result":)";
    jsonrpc::AppendJsonString(answer, packet.constData(), packet.size());
    answer += "}";
    std::vector<double> ours, qt;
    for (int run = 0; run < 5; ++run) {
        QByteArray copy = answer;
        clock.restart();
        const TServerResult r = jsonrpc::DecodeAnswer(std::move(copy), 1);
        ours.push_back(clock.nsecsElapsed() / 1e6);
        if (r.Packet.size() != packet.size())
            return 2;
        clock.restart();
        const QJsonDocument doc = QJsonDocument::fromJson(answer);
        const QByteArray viaQt = doc[QLatin1String("result")].toString().toUtf8();
        qt.push_back(clock.nsecsElapsed() / 1e6);
        if (viaQt.size() != packet.size())
            return 3;
    }
    std::printf("envelope of %.1f MB: DecodeAnswer median %.1f ms (%.0f MB/s); QJsonDocument + toUtf8 median %.1f ms\n",
                answer.size() / 1e6, median(ours), answer.size() / 1e3 / median(ours), median(qt));
    return 0;
}
