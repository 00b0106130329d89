// Times trd-check the way a user meets it, against a real trd-server on
// loopback with a temporary SQLite database holding one large language:
//   1. the whole check (fetch, rules, writing the list) beside its floors
//      measured in the same run: a bare SQLite scan of the same rows, and the
//      fetch of the rows into a data set alone;
//   2. the file filter's GetCDSFilter with the list it wrote, beside the
//      fetch of every row of the language.
// Usage: bench_check [rows]   (TRD_BIN_DIR names trd-server's folder)
#include "ListedRowsCheck.h"
#include "ServerCalls.h"
#include "TClientDataSet.h"
#include "TDateTime.h"
#include "TSocketConnection.h"
#include "TrdServerProcess.h"
#include "WebServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace trd;
using trd::test::TrdServerProcess;

namespace {

// One row in three not translated, one in ten with a translation far longer
// than its source, the rest fitting.
QString writeSeed(const QTemporaryDir& dir, int rows)
{
    const QString path = dir.filePath(QStringLiteral("bench.tsv"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("L\tFRA\tFrancês\tPOR\n");
    for (int i = 0; i < rows; ++i) {
        const bool untranslated = i % 3 == 0;
        const bool tooLong = i % 10 == 1;
        const QString source = QStringLiteral("Texto da tela número %1").arg(i);
        const QString destination = untranslated ? source
            : tooLong ? QStringLiteral("Texte de l'écran numéro %1, beaucoup trop long pour sa place").arg(i)
                      : QStringLiteral("Texte de l'écran %1").arg(i);
        file.write(QStringLiteral("R\tFRA\tPRG%1\tlblComponente%2\t%3\t%4\t%5\n")
                       .arg(i % 700, 5, 10, QLatin1Char('0'))
                       .arg(i % 41)
                       .arg(source, destination, QLatin1String(untranslated ? "N" : "T"))
                       .toUtf8());
    }
    return path;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Median of `runs` timings of `work`, in milliseconds.
double timeIt(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return median(times);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, atoi(argv[1])) : 200000;
    QTemporaryDir dir;
    TrdServerProcess::Options options;
    options.importTsv = writeSeed(dir, rows);
    options.extraArgs = {QStringLiteral("--quiet")};
    options.startTimeoutMs = 600000;
    TrdServerProcess server(options);
    if (!server.isRunning()) {
        std::fprintf(stderr, "trd-server did not start: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    WebURL = server.host();
    WebPort = server.port();
    const int runs = 5;

    // Floor 1: the rows straight from the database file.
    sqlite3* db = nullptr;
    sqlite3_open_v2(server.dbPath().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    long long scanned = 0;
    const double scan = timeIt(runs, [&] {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, STVALORPROP, IDSITTRADUCAO FROM TRADUCAO "
                           "WHERE IDIDIOMA = 'FRA' ORDER BY CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP",
                           -1, &st, nullptr);
        scanned = 0;
        while (sqlite3_step(st) == SQLITE_ROW)
            scanned += sqlite3_column_bytes(st, 3);
        sqlite3_finalize(st);
    });
    sqlite3_close(db);

    // Floor 2: what any client pays to hold the language: GetDestino into a data set.
    TSocketConnection net;
    net.Host = WebURL;
    net.Port = WebPort;
    net.ServerName = ServerNameTraducao;
    const double fetch = timeIt(runs, [&] {
        TClientDataSet cds;
        cds.SetData(
            CheckResultServ(net.AppServer().Call(metodo::GetDestino,
                                                 {QStringLiteral("T"), QStringLiteral("D"), QStringLiteral("N"),
                                                  QStringLiteral("FRA"), TDateTime(0), TDateTime(0), QString()})));
    });

    // The whole check, as trd-check runs it.
    check::CheckOptions checkOptions;
    checkOptions.language = QStringLiteral("FRA");
    checkOptions.output = dir.filePath(QStringLiteral("lista.cds"));
    check::CheckSummary summary;
    const double whole = timeIt(runs, [&] { summary = check::ListedRowsCheck(checkOptions).run(); });

    // The file filter's request for that list.
    TClientDataSet list;
    list.LoadFromFile(summary.output);
    const QByteArray packet = list.Data();
    int filtered = 0;
    const double cdsFilter = timeIt(runs, [&] {
        TClientDataSet cds;
        cds.SetData(CheckResultServ(
            net.AppServer().Call(metodo::GetCDSFilter, {QStringLiteral("FRA"), packet, QStringLiteral("3")})));
        filtered = cds.RecordCount();
    });

    std::printf("rows of the language: %d (%lld destination bytes)\n", rows, scanned);
    std::printf("  bare SQLite scan of the rows          %9.1f ms   (floor)\n", scan);
    std::printf("  GetDestino into a data set            %9.1f ms   (floor: the fetch alone)\n", fetch);
    std::printf("  trd-check, whole run                  %9.1f ms   (%d N + %d E + %d Q listed, file %lld bytes)\n",
                whole, summary.untranslated, summary.tooLong, summary.others, QFileInfo(summary.output).size());
    std::printf("  GetCDSFilter with that list           %9.1f ms   (%d rows loaded, list %lld bytes sent)\n",
                cdsFilter, filtered, static_cast<long long>(packet.size()));
    std::printf("medians of %d runs\n", runs);
    return 0;
}
