// Times what the status report dialog does before every report run, against a
// real trd-server on loopback with a temporary SQLite database: the parameter
// request with its four calls and the summary built from them, split into the
// calls and the summary, beside its floors (a bare SQLite scan of the same
// rows, a loopback round trip of a one-number call) and the preparation of the
// shipped summary report on top of it.
// Usage: bench_relatorio_situacao [rows]   (TRD_BIN_DIR names the folder of trd-server)
#include "Cli_Trd09300.h"
#include "Cli_Trd09303.h"
#include "BenchHost.h"
#include "RecordingDialogSeam.h"
#include "RelatorioRegras.h"
#include "ReportDefinition.h"
#include "ServerCalls.h"
#include "TApplication.h"
#include "TClientDataSet.h"
#include "TrdServerProcess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace trd;
using trd::bench::ms;

namespace {

// Median of `runs` timings of `work`, after one run that warms the caches.
double timed(int runs, const std::function<void()>& work)
{
    work();
    std::vector<double> v;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        v.push_back(ms(t));
    }
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

QString writeSeed(const QTemporaryDir& dir, int rows)
{
    const QString path = dir.filePath(QStringLiteral("bench.tsv"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("L\tENG\tEnglish\tPOR\n");
    for (int i = 0; i < rows; ++i)
        file.write(bench::reportSeedRow(i, QStringLiteral("Destination text of screen %1, item %2")));
    return path;
}

double sqliteScanMs(const QString& dbPath)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(dbPath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    const double elapsed = timed(3, [db] {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT IDSITTRADUCAO, STVALORPROP FROM TRADUCAO WHERE IDIDIOMA = 'ENG'", -1, &st,
                           nullptr);
        long long bytes = 0;
        while (sqlite3_step(st) == SQLITE_ROW)
            bytes += sqlite3_column_bytes(st, 1) + sqlite3_column_bytes(st, 0);
        sqlite3_finalize(st);
        if (bytes < 0)
            std::puts("");
    });
    sqlite3_close(db);
    return elapsed;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 200000;

    QTemporaryDir dir;
    std::printf("seeding %d rows...\n", rows);
    std::fflush(stdout);
    bench::BenchHost host(writeSeed(dir, rows));
    if (!host.ok())
        return 1;
    test::TrdServerProcess& server = host.server;
    RecordingDialogSeam& seam = host.seam;
    QMainWindow& main = host.main;
    IniProc();
    frmTraducao->cbbIdioma->setCurrentIndex(frmTraducao->cbbIdioma->findText(QStringLiteral("ENG-English")));

    auto* d = CreateForm<TfrmSituTrad>(&main);
    d->cbbIdioma->setVisible(true);
    d->cbbIdioma->setCurrentIndex(d->cbbIdioma->findText(QStringLiteral("ENG-English")));
    d->cbbSituacao->setCurrentIndex(3);

    TParams params;
    for (const char* n : {"P_SITUACAO", "P_TSITUACAO", "P_IDIDIOMA"})
        params.CreateParam(TParamType::ftString, QString::fromLatin1(n));
    bool abort = false;
    const double request = timed(5, [&] { d->rpddPadraoBeforeGetQueryParams(d->rpddPadrao, params, abort); });
    if (d->cdsCalcTrad->RecordCount() != 1) {
        std::fprintf(stderr, "the request did not load the data sets: %s\n", qPrintable(seam.errors().join(u'|')));
        return 1;
    }
    TAppServer& app_ = d->NetSitTrad->AppServer();
    const QString eng = QStringLiteral("ENG");
    TClientDataSet scratch;
    const double info =
        timed(5, [&] { scratch.SetData(CheckResultServ(app_.Call(QStringLiteral("GetInfoTrad"), {eng}))); });
    const double calcs = timed(5, [&] {
        for (const char* m : {"GetCalcTrad", "GetCalcNtrad", "GetCalcDuv"})
            scratch.SetData(CheckResultServ(app_.Call(QString::fromLatin1(m), {eng})));
    });
    const double summary = timed(5, [&] {
        relatorio::MontaResumo(*d->cdsResumoSituacao, *d->cdsCalcTrad, *d->cdsCalcDuv, *d->cdsCalcNtrad,
                               *d->cdsTraducao);
    });
    const double roundTrip = timed(20, [&] {
        (void)app_.Call(QStringLiteral("GetCalcTrad"), {eng, 0.0, 0.0, QStringLiteral("X"), QStringLiteral("T")});
    });
    const double scan = sqliteScanMs(server.dbPath());

    const QString definition =
        qEnvironmentVariable("TRD_BIN_DIR") + QStringLiteral("/relatorios/TRD093_01_resumo_por_situacao.xml");
    double prepare = -1;
    if (QFile::exists(definition))
        prepare = timed(3, [&] { (void)d->rpddPadrao->PrepareFile(definition); });

    std::printf("rows of the language: %d (GetInfoTrad answer rows: %d)\n", rows, d->cdsTraducao->RecordCount());
    std::printf("parameter request, four calls and the summary: median %.1f ms\n", request);
    std::printf("  GetInfoTrad call and load alone:             median %.1f ms\n", info);
    std::printf("  the three status calls:                      median %.1f ms\n", calcs);
    std::printf("  the summary over the texts:                  median %.1f ms\n", summary);
    std::printf("floors: bare SQLite scan of the rows %.1f ms; loopback round trip of a one-number call %.3f ms\n",
                scan, roundTrip);
    if (prepare >= 0)
        std::printf("summary report prepared (request, binding, pages): median %.1f ms\n", prepare);
    d->Close();
    return 0;
}
