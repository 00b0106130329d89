// Times the information dialog's calculation as the user meets it, against a
// real trd-server on loopback with a temporary SQLite database: the whole
// click of Calculate over every row of a large language, split into the four
// requests and the client's loop over the rows, beside the floors it stands on
// (a bare SQLite scan of the same rows counting their characters, a loopback
// round trip of a one-number call), and what painting once per row would cost.
// Usage: bench_info [rows]   (TRD_BIN_DIR must name the folder of trd-server)
#include "Cli_Trd09300.h"
#include "Cli_Trd09302.h"
#include "Dispatch.h"
#include "BenchHost.h"
#include "RecordingDialogSeam.h"
#include "TApplication.h"
#include "TClientDataSet.h"
#include "TDateEditPlus.h"
#include "TNetConnection.h"
#include "TNumberEdit.h"
#include "TStringGrid.h"
#include "TrdServerProcess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace trd;
using trd::bench::ms;

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

QString writeSeed(const QTemporaryDir& dir, int rows)
{
    const QString path = dir.filePath(QStringLiteral("bench.tsv"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("L\tENG\tEnglish\tPOR\n");
    for (int i = 0; i < rows; ++i)
        file.write(bench::reportSeedRow(i, QStringLiteral("Destination text of screen %1, item %2 - translated!")));
    return path;
}

// The floor of the rows' side: read the two columns of every row of the
// language and count their characters, in C, with nothing in between.
double sqliteScanMs(const QString& dbPath, long long& characters)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(dbPath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT IDSITTRADUCAO, STVALORPROP FROM TRADUCAO WHERE IDIDIOMA = 'ENG'", -1, &st, nullptr);
    QElapsedTimer timer;
    timer.start();
    characters = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        const unsigned char* t = sqlite3_column_text(st, 1);
        for (const unsigned char* p = t; p && *p; ++p)
            characters += (*p & 0xC0) != 0x80 && !(*p >= '0' && *p <= '9') && *p != ' ' ? 1 : 0;
        (void)sqlite3_column_text(st, 0);
    }
    const double elapsed = ms(timer);
    sqlite3_finalize(st);
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

    IniProc();
    frmTraducao->cbbIdioma->setCurrentIndex(frmTraducao->cbbIdioma->findText(QStringLiteral("ENG-English")));
    QApplication::processEvents();
    CriaInfoTraducao();
    TfrmInfoTraducao* f = frmInfoTraducao;
    QApplication::processEvents();
    f->nbePreco->setText(QStringLiteral("0.0123457"));
    f->depDtInicial->SetDate(EncodeDate(2025, 1, 1));
    f->depDtFinal->SetDate(EncodeDate(2025, 12, 31));

    // The client's loop runs from "Calculando..." appearing to the click's end;
    // frames are the grid's paints in between.
    QElapsedTimer click, loop;
    std::vector<double> clicks, loops;
    int frames = 0;
    bool inLoop = false;
    struct Spy : QObject {
        std::function<void(QEvent*)> on;
        bool eventFilter(QObject*, QEvent* e) override
        {
            on(e);
            return false;
        }
    } spy;
    spy.on = [&](QEvent* e) {
        if (e->type() == QEvent::Show && !inLoop) {
            inLoop = true;
            loop.start();
        }
        if (e->type() == QEvent::Paint && inLoop)
            ++frames;
    };
    f->lblStatus->installEventFilter(&spy);
    f->stgCalculo->viewport()->installEventFilter(&spy);
    std::vector<int> frameCounts;
    for (int run = 0; run < 6; ++run) {
        frames = 0;
        inLoop = false;
        click.start();
        Dispatch([f] { f->sbtConfirmaClick(f->sbtConfirma); });
        const double whole = ms(click);
        const double own = inLoop ? ms(loop) : -1;
        if (!seam.errors().isEmpty() || f->stgCalculo->Cells(1, 5) != QString::number(rows)) {
            std::fprintf(stderr, "calculation failed: %s / %s\n", qPrintable(seam.errors().join(u'|')),
                         qPrintable(f->stgCalculo->Cells(1, 5)));
            return 1;
        }
        if (run > 0) { // the first run warms the server's page cache
            clicks.push_back(whole);
            loops.push_back(own);
            frameCounts.push_back(frames);
        }
        QApplication::processEvents();
    }
    std::printf("answer rows (texts over 250 characters come in pieces): %d\n", f->cdstraducao->RecordCount());
    std::printf("Calculate over %d rows, whole click: median %.1f ms (min %.1f, max %.1f, %zu runs)\n", rows,
                median(clicks), *std::min_element(clicks.begin(), clicks.end()),
                *std::max_element(clicks.begin(), clicks.end()), clicks.size());
    std::printf("  of which the client's loop over the rows (with its frames): median %.1f ms, %d frames\n",
                median(loops), frameCounts.empty() ? 0 : frameCounts.back());
    std::printf("  grid texts: %s characters, cost %s\n", qPrintable(f->stgCalculo->Cells(2, 5)),
                qPrintable(f->stgCalculo->Cells(3, 5)));

    // The requests on their own: the rows (call, then loading), and one count.
    {
        std::vector<double> calls, loads, counts;
        const QString lang = QStringLiteral("ENG");
        for (int run = 0; run < 3; ++run) {
            QElapsedTimer t;
            t.start();
            TServerResult answer = f->NetTradInfo->AppServer().Call(
                QStringLiteral("GetInfoTrad"), {lang, EncodeDate(2025, 1, 1), EncodeDate(2025, 12, 31)});
            calls.push_back(ms(t));
            t.restart();
            f->cdstraducao->SetData(answer.Packet);
            loads.push_back(ms(t));
        }
        for (int run = 0; run < 50; ++run) {
            QElapsedTimer t;
            t.start();
            f->NetTradInfo->AppServer().Call(
                QStringLiteral("GetCalcTrad"),
                {lang, EncodeDate(2025, 1, 1), EncodeDate(2025, 12, 31), QStringLiteral("T"), QString()});
            counts.push_back(ms(t));
        }
        std::printf("  GetInfoTrad call and transfer: median %.1f ms; loading it into cdstraducao: median %.1f ms\n",
                    median(calls), median(loads));
        std::printf("  one dated GetCalcTrad count, round trip: median %.2f ms\n", median(counts));
    }
    std::vector<double> answerMs;
    for (const QByteArray& line : server.log().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        const qsizetype at = parts.indexOf(QByteArray("GetInfoTrad"));
        if (at >= 0 && at + 1 < parts.size())
            answerMs.push_back(parts[at + 1].toDouble());
    }
    if (!answerMs.empty())
        std::printf("  trd-server answering GetInfoTrad (its log): median %.1f ms\n", median(answerMs));

    // Floors.
    {
        long long characters = 0;
        std::vector<double> scans;
        for (int run = 0; run < 5; ++run)
            scans.push_back(sqliteScanMs(server.dbPath(), characters));
        std::vector<double> health;
        for (int run = 0; run < 50; ++run) {
            QElapsedTimer t;
            t.start();
            f->NetTradInfo->AppServer().Call(QStringLiteral("GetIdiTrad"));
            health.push_back(ms(t));
        }
        std::printf("floor: bare SQLite scan of the same rows, two columns, counting characters in C: median %.1f ms\n",
                    median(scans));
        std::printf("floor: loopback round trip of a small call (GetIdiTrad): median %.2f ms\n", median(health));
    }
    // What one repaint of the dialog costs, and so what painting every row would.
    {
        std::vector<double> paints;
        for (int run = 0; run < 30; ++run) {
            QElapsedTimer t;
            t.start();
            f->repaint();
            paints.push_back(ms(t));
        }
        std::printf("one repaint of the dialog: median %.2f ms; once per row would add about %.0f ms\n", median(paints),
                    median(paints) * rows);
    }
    f->Close();
    frmTraducao->Close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
