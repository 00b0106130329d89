// Times the exchange the way a user meets it, against a real trd-server on
// loopback with a temporary SQLite database on disk holding one large language:
//   1. export of the whole language to XLIFF 1.2, XLIFF 2.1 and PO (the
//      server's clock, the rows, the file written);
//   2. import of a file of the whole language with `changes` edited units
//      (read and check the file, the rows with their change dates, the plan,
//      the change log applied as one save), each run on fresh changes;
// beside floors measured in the same run: a bare SQLite scan of the rows, the
// fetch of the rows alone (GetDestino, read as a packet), a bare durable
// SQLite commit on the same disk, and the load average before and after.
// Usage: bench_exchange [rows] [changes]   (TRD_BIN_DIR names trd-server's folder)
#include "ExchangeJobs.h"
#include "DataPacket.h"
#include "TSocketConnection.h"
#include "TrdServerProcess.h"

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
using namespace trd::exchange;
using trd::test::TrdServerProcess;

namespace {

QString writeSeed(const QString& folder, int rows)
{
    const QString path = folder + QStringLiteral("/bench.tsv");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("L\tFRA\tFrancês\tPOR\n");
    for (int i = 0; i < rows; ++i) {
        const char* status = i % 3 == 0 ? "N" : i % 7 == 0 ? "D" : "T";
        file.write(QStringLiteral("R\tFRA\tPRG%1\tlblComponente%2\tTexto da tela número %3, com ação\t%4\t%5\n")
                       .arg(i % 700, 5, 10, QLatin1Char('0'))
                       .arg(i % 41)
                       .arg(i)
                       .arg(i % 3 == 0 ? QString() : QStringLiteral("Texte de l'écran numéro %1, avec action").arg(i),
                            QLatin1String(status))
                       .toUtf8());
    }
    return path;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double ms(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).section(u' ', 0, 2) : QStringLiteral("?");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int rowCount = argc > 1 ? std::max(1, atoi(argv[1])) : 200000;
    const int changes = argc > 2 ? std::max(1, atoi(argv[2])) : 10000;
    const int runs = 5;
    std::printf("load average at start: %s\n", qPrintable(loadAverage()));
    // On the disk under the build tree, not tmpfs, where a commit costs nothing.
    QTemporaryDir dir(QCoreApplication::applicationDirPath() + QStringLiteral("/bench-exchange-XXXXXX"));
    TrdServerProcess::Options options;
    options.importTsv = writeSeed(dir.path(), rowCount);
    options.dbPath = dir.filePath(QStringLiteral("bench.db"));
    options.extraArgs = {QStringLiteral("--quiet")};
    options.startTimeoutMs = 600000;
    TrdServerProcess server(options);
    if (!server.isRunning()) {
        std::fprintf(stderr, "trd-server did not start: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    ServerAddress address;
    address.host = server.host();
    address.port = server.port();
    JobControl control;

    // Floor: the rows straight from the database file.
    std::vector<double> scan;
    sqlite3* db = nullptr;
    sqlite3_open_v2(server.dbPath().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(
            db,
            "SELECT CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, STVALORPROP, IDSITTRADUCAO, DTALTERACAO FROM TRADUCAO "
            "WHERE IDIDIOMA = 'FRA' ORDER BY CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP",
            -1, &st, nullptr);
        long long bytes = 0;
        while (sqlite3_step(st) == SQLITE_ROW)
            bytes += sqlite3_column_bytes(st, 3);
        sqlite3_finalize(st);
        scan.push_back(ms(t));
    }
    sqlite3_close(db);

    // Floor: a bare durable commit on the same disk.
    std::vector<double> commit;
    {
        sqlite3* c = nullptr;
        sqlite3_open(dir.filePath(QStringLiteral("floor.db")).toUtf8().constData(), &c);
        sqlite3_exec(
            c, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; CREATE TABLE t(v INTEGER); INSERT INTO t VALUES(0);",
            nullptr, nullptr, nullptr);
        for (int r = 0; r < 50; ++r) {
            QElapsedTimer t;
            t.start();
            sqlite3_exec(c, "UPDATE t SET v = v + 1", nullptr, nullptr, nullptr);
            commit.push_back(ms(t));
        }
        sqlite3_close(c);
    }

    // Floor: the fetch of every row alone, read as a packet.
    std::vector<double> fetch;
    {
        TSocketConnection net;
        net.Host = address.host;
        net.Port = address.port;
        net.ServerName = QStringLiteral("Trd09300.rdmTraducao");
        for (int r = 0; r < runs; ++r) {
            QElapsedTimer t;
            t.start();
            PacketReader reader(net.AppServer()
                                    .Call(QStringLiteral("GetDestino"),
                                          {QStringLiteral("T"), QStringLiteral("D"), QStringLiteral("N"),
                                           QStringLiteral("FRA"), TDateTime(0), TDateTime(0), QString()})
                                    .Packet);
            std::size_t n = 0;
            while (reader.next())
                n += reader.raw(1).size();
            fetch.push_back(ms(t));
        }
    }

    std::printf("rows of the language: %d; changes per import: %d; medians of %d runs\n", rowCount, changes, runs);
    std::printf("  floor: bare SQLite scan of the rows          %8.1f ms\n", median(scan));
    std::printf("  floor: GetDestino, the rows fetched alone    %8.1f ms\n", median(fetch));
    std::printf("  floor: bare durable SQLite commit            %8.2f ms\n", median(commit));

    for (Format format : {Format::Xliff12, Format::Xliff21, Format::Po}) {
        ExportRequest request;
        request.format = format;
        request.selection.language = QStringLiteral("FRA");
        request.path = dir.filePath(QStringLiteral("export.") + QLatin1String(formatExtension(format)));
        std::vector<double> times;
        for (int r = 0; r < runs; ++r) {
            QElapsedTimer t;
            t.start();
            runExport(address, request, control);
            times.push_back(ms(t));
        }
        std::printf("  export, %-9s                          %8.1f ms   (file %lld bytes)\n", formatName(format),
                    median(times), QFileInfo(request.path).size());
    }

    for (Format format : {Format::Xliff12, Format::Po}) {
        std::vector<double> total, readFile, readRows, plan, apply;
        int written = 0;
        for (int r = 0; r < runs; ++r) {
            // A file of the whole language as a translator returns it: fresh
            // edits on `changes` rows, exported after the last run's writes.
            ServerLink link(address, control);
            ExportHeader header{"FRA", link.clock()};
            RowSelection whole;
            whole.language = QStringLiteral("FRA");
            std::vector<Row> rows = link.rows(whole);
            sortForExport(rows);
            const int step = std::max(1, static_cast<int>(rows.size()) / changes);
            for (std::size_t i = 0, n = 0; i < rows.size() && static_cast<int>(n) < changes;
                 i += static_cast<std::size_t>(step), ++n) {
                rows[i].destination = "Traduction revue " + std::to_string(r) + " " + std::to_string(i);
                rows[i].status = 'T';
            }
            const QString path = dir.filePath(QStringLiteral("import.") + QLatin1String(formatExtension(format)));
            writeExchangeFile(format, header, rows, path);

            QElapsedTimer t;
            t.start();
            QElapsedTimer phase;
            phase.start();
            JobControl timed;
            timed.onProgress = [&](const Progress& p) {
                if (p.step.startsWith(QStringLiteral("Conectando"))) {
                    readFile.push_back(ms(phase));
                    phase.restart();
                } else if (p.step.startsWith(QStringLiteral("Comparando"))) {
                    readRows.push_back(ms(phase));
                    phase.restart();
                }
            };
            const ImportPreview preview = prepareImport(address, path, QStringLiteral("FRA"), timed);
            plan.push_back(ms(phase));
            phase.restart();
            written = applyImport(address, preview, {}, false, control).rows;
            apply.push_back(ms(phase));
            total.push_back(ms(t));
            if (preview.plan.count(Outcome::Conflict) > 0)
                std::printf("  (unexpected: %d conflicts)\n", preview.plan.count(Outcome::Conflict));
        }
        std::printf("  import, %-9s end to end                %8.1f ms   (%d rows written in one save)\n",
                    formatName(format), median(total), written);
        std::printf("      read and check the file %8.1f ms, rows with dates %8.1f ms, plan %8.1f ms, apply %8.1f ms\n",
                    median(readFile), median(readRows), median(plan), median(apply));
    }
    std::printf("load average at end: %s\n", qPrintable(loadAverage()));
    return 0;
}
