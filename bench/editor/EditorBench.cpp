// Times the editor the way the user meets it, against a real trd-server on
// loopback with a temporary SQLite database:
//   1. the reload of a 200,000-row language, from the handler's start to the
//      grid having painted its first row, beside a bare SQLite scan of the
//      same rows (the floor any client-server design stands on);
//   2. marking 1,000 rows one after another through the status button's
//      handler, each save acknowledged durably, including the grid's repaint.
// Usage: bench_editor [rows]   (TRD_BIN_DIR must name the folder of trd-server)
#include "Cli_Trd09300.h"
#include "DataPacket.h"
#include "ServerCalls.h"
#include "Dispatch.h"
#include "BenchHost.h"
#include "RecordingDialogSeam.h"
#include "ShowAvi.h"
#include "TApplication.h"
#include "TrdServerProcess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTest>

#include <malloc.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

using namespace trd;

namespace {

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

QString writeSeed(const QTemporaryDir& dir, int rows)
{
    const QString path = dir.filePath(QStringLiteral("bench.tsv"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("L\tENG\tEnglish\tPOR\nL\tPOR\tPortuguese\tPOR\n");
    for (int i = 0; i < rows; ++i)
        file.write(bench::editorSeedRow(i));
    return path;
}

// Every column of every row of the language, read as text: what the server's
// own query must at least do.
double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Processor time of a whole process (all its threads), in ms: fields 14 and
// 15 of /proc/PID/stat, in clock ticks.
double processCpuMs(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = file.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? (fields[11].toDouble() + fields[12].toDouble()) * 1000.0 / sysconf(_SC_CLK_TCK) : 0;
}

double scanCpu = 0; // processor time of the last scan, ms

double sqliteScanMs(const QString& dbPath, long long& rowsRead)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(dbPath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT STAGRVALPROP, STVALORPROP, IDSITTRADUCAO, IDIDIOMA, NMCOMPONENTE, CDPROGTRAD "
                       "FROM TRADUCAO WHERE IDIDIOMA = 'ENG' ORDER BY CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP",
                       -1, &st, nullptr);
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = threadCpuMs();
    rowsRead = 0;
    std::size_t bytes = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < 6; ++c)
            bytes += static_cast<std::size_t>(sqlite3_column_bytes(st, c)) + (sqlite3_column_text(st, c) ? 1 : 0);
        ++rowsRead;
    }
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    scanCpu = threadCpuMs() - cpuStart;
    sqlite3_finalize(st);
    sqlite3_close(db);
    if (bytes == 0)
        std::fprintf(stderr, "scan read nothing\n");
    return ms;
}

long minorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// Field 10 of /proc/PID/stat.
long processMinorFaults(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = file.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 7 ? fields[7].toLong() : 0;
}

QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').mid(0, 3).join(' ') : QByteArray("?");
}

// The wire's floor: `bytes` sent over a loopback TCP connection by another
// thread in pieces of the server's size and received in large reads into one
// buffer, nothing else done with them.
double loopbackTransferMs(std::size_t bytes)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listener, 1) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &length) != 0)
        return -1;
    std::thread sender([listener, bytes] {
        const int fd = ::accept(listener, nullptr, nullptr);
        std::string piece(256 * 1024, 'x');
        for (std::size_t sent = 0; sent < bytes;) {
            const ssize_t n = ::send(fd, piece.data(), std::min(piece.size(), bytes - sent), MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += static_cast<std::size_t>(n);
        }
        ::close(fd);
    });
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    QElapsedTimer timer;
    timer.start();
    std::size_t received = 0;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        std::vector<char> buffer(1 << 20);
        for (ssize_t n; (n = ::recv(fd, buffer.data(), buffer.size(), 0)) > 0;)
            received += static_cast<std::size_t>(n);
    }
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    ::close(fd);
    sender.join();
    ::close(listener);
    return received == bytes ? ms : -1;
}

// What memory never touched before costs: `bytes` mapped and written once,
// a page fault each page. An answer received into a fresh buffer pays this
// on top of the copy (and the machine's virtualisation decides how much).
double freshMemoryMs(std::size_t bytes)
{
    QElapsedTimer timer;
    timer.start();
    void* map = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED)
        return -1;
    auto* bytesAt = static_cast<volatile char*>(map);
    for (std::size_t i = 0; i < bytes; i += 4096)
        bytesAt[i] = 1;
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    ::munmap(map, bytes);
    return ms;
}

std::size_t heapInUse()
{
    malloc_trim(0);
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 200000;
    std::printf("load average at the start: %s\n", loadAverage().constData());

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
    TfrmTraducao* form = frmTraducao;
    form->cbbIdioma->setCurrentIndex(form->cbbIdioma->findText(QStringLiteral("ENG-English")));
    QApplication::processEvents();

    // ---- 1. reload, each beside a bare scan right after it: on a shared
    // machine the floor moves with the load, so each reload is compared with
    // its own.
    std::vector<double> reloads, scans, ratios, serverRatios, answerMs, scanCpus;
    double serverCpu = 0, clientCpu = 0;
    long long scanned = 0;
    for (int run = 0; run < 10; ++run) {
        const qsizetype logBefore = server.log().size();
        const double serverCpuBefore = processCpuMs(server.pid());
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const double clientCpuBefore = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
            + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
        QElapsedTimer timer;
        timer.start();
        Dispatch([form] { form->sbtVerificarClick(form->sbtVerificar); });
        form->dbgPadrao->viewport()->repaint(); // the first rows on screen
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        if (form->cdsDestino->RecordCount() != rows || !seam.errors().isEmpty()) {
            std::fprintf(stderr, "reload failed: %d rows, %s\n", form->cdsDestino->RecordCount(),
                         qPrintable(seam.errors().join(QLatin1Char('|'))));
            return 1;
        }
        QApplication::processEvents();
        const double serverCpuAfter = processCpuMs(server.pid());
        getrusage(RUSAGE_SELF, &usage);
        const double clientCpuAfter = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
            + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
        const double scan = sqliteScanMs(server.dbPath(), scanned);
        if (run == 0) // the first run warms the server's page cache
            continue;
        serverCpu += serverCpuAfter - serverCpuBefore;
        clientCpu += clientCpuAfter - clientCpuBefore;
        scanCpus.push_back(scanCpu);
        reloads.push_back(ms);
        scans.push_back(scan);
        ratios.push_back(ms / scan);
        const QList<QByteArray> parts = server.log().mid(logBefore).split(' ');
        const qsizetype at = parts.indexOf(QByteArray("GetDestino"));
        if (at >= 0 && at + 1 < parts.size()) {
            answerMs.push_back(parts[at + 1].toDouble());
            serverRatios.push_back(answerMs.back() / scan);
        }
    }
    std::printf("reload of %d rows, handler start to first row painted: median %.1f ms, min %.1f ms, max %.1f ms "
                "(%zu runs)\n",
                rows, percentile(reloads, 0.5), *std::min_element(reloads.begin(), reloads.end()),
                *std::max_element(reloads.begin(), reloads.end()), reloads.size());
    std::printf("bare SQLite scan of the same %lld rows (6 columns as text), right after each: median %.1f ms\n",
                scanned, percentile(scans, 0.5));
    std::printf("ratio reload / its scan: median %.2f (from %.2f to %.2f)\n", percentile(ratios, 0.5),
                *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()));
    if (!answerMs.empty())
        std::printf("  of which trd-server answering GetDestino (its log): median %.1f ms, %.2f x its scan (median)\n",
                    percentile(answerMs, 0.5), percentile(serverRatios, 0.5));
    std::printf("  processor time a reload: trd-server %.0f ms (all its threads), the client %.0f ms; "
                "the scan %.1f ms (median)\n",
                serverCpu / static_cast<double>(reloads.size()), clientCpu / static_cast<double>(reloads.size()),
                percentile(scanCpus, 0.5));
    {
        // The client's share without the editor. The call returns once the
        // answer has begun; the rows then load as they arrive, while the
        // server is still reading the later ones.
        std::vector<double> firstBytes, loaded, serverMs, beyond, clientFaults, serverFaults;
        qint64 answerBytes = 0;
        for (int run = 0; run < 3; ++run) {
            const qsizetype logBefore = server.log().size();
            const long clientBefore = minorFaults();
            const long serverBefore = processMinorFaults(server.pid());
            QElapsedTimer timer;
            timer.start();
            TServerResult answer =
                form->netTraducao->AppServer().Call(QStringLiteral("GetDestino"),
                                                    {QStringLiteral("T"), QStringLiteral("D"), QStringLiteral("N"),
                                                     QStringLiteral("ENG"), 0.0, 0.0, QString()});
            firstBytes.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
            form->cdsDestino->SetData(std::move(answer.Packet));
            const double all = static_cast<double>(timer.nsecsElapsed()) / 1e6;
            loaded.push_back(all);
            clientFaults.push_back(static_cast<double>(minorFaults() - clientBefore));
            serverFaults.push_back(static_cast<double>(processMinorFaults(server.pid()) - serverBefore));
            const QList<QByteArray> parts = server.log().mid(logBefore).split(' ');
            const qsizetype at = parts.indexOf(QByteArray("GetDestino"));
            if (at >= 0 && at + 3 < parts.size()) {
                serverMs.push_back(parts[at + 1].toDouble());
                beyond.push_back(all - parts[at + 1].toDouble());
                answerBytes = parts[at + 3].toLongLong();
            }
        }
        std::printf(
            "  the call alone, request to its answer begun: median %.1f ms; to the last row loaded: median %.1f ms\n",
            percentile(firstBytes, 0.5), percentile(loaded, 0.5));
        if (!serverMs.empty())
            std::printf("  answer of %.1f MB (CBOR, in chunks): trd-server %.1f ms, the load ending %.1f ms after it "
                        "(median)\n",
                        static_cast<double>(answerBytes) / 1e6, percentile(serverMs, 0.5), percentile(beyond, 0.5));
        std::printf("  minor page faults per call and load: client %.0f, trd-server %.0f (median)\n",
                    percentile(clientFaults, 0.5), percentile(serverFaults, 0.5));

        // The wire alone: the same answer received and not loaded.
        std::vector<double> received;
        for (int run = 0; run < 3; ++run) {
            QElapsedTimer timer;
            timer.start();
            TServerResult answer =
                form->netTraducao->AppServer().Call(QStringLiteral("GetDestino"),
                                                    {QStringLiteral("T"), QStringLiteral("D"), QStringLiteral("N"),
                                                     QStringLiteral("ENG"), 0.0, 0.0, QString()});
            const qsizetype size = answer.Packet.size();
            received.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
            if (size == 0)
                std::fprintf(stderr, "empty answer\n");
        }
        std::printf("  the answer received whole, not loaded: median %.1f ms\n", percentile(received, 0.5));
        std::vector<double> wire, trips;
        for (int run = 0; run < 3; ++run)
            wire.push_back(loopbackTransferMs(static_cast<std::size_t>(answerBytes)));
        for (int run = 0; run < 50; ++run) {
            QElapsedTimer timer;
            timer.start();
            form->netTraducao->AppServer().Call(QStringLiteral("GetIdiTrad"));
            trips.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
        std::printf("  floor: the same %.1f MB over a bare loopback socket: median %.1f ms (%.2f GB/s); "
                    "floor: loopback round trip of a small call (GetIdiTrad): median %.2f ms\n",
                    static_cast<double>(answerBytes) / 1e6, percentile(wire, 0.5),
                    static_cast<double>(answerBytes) / 1e6 / percentile(wire, 0.5), percentile(trips, 0.5));
        std::vector<double> freshMs;
        for (int run = 0; run < 3; ++run)
            freshMs.push_back(freshMemoryMs(static_cast<std::size_t>(answerBytes)));
        std::printf("  for comparison: %.1f MB of fresh memory written once (a page fault a page): median %.1f ms\n",
                    static_cast<double>(answerBytes) / 1e6, percentile(freshMs, 0.5));

        // What the loaded rows hold beyond their text, for a data set that
        // takes them as they arrive.
        std::size_t textBytes = 0;
        for (int r = 0; r < form->cdsDestino->RecordCount(); ++r)
            for (int f = 0; f < form->cdsDestino->FieldCount(); ++f)
                textBytes += 2 * static_cast<std::size_t>(form->cdsDestino->ValueAt(r, f).toString().size());
        const std::size_t before = heapInUse();
        auto* fresh = new TClientDataSet;
        fresh->SetData(CheckResultServ(
            form->netTraducao->AppServer().Call(QStringLiteral("GetDestino"),
                                                {QStringLiteral("T"), QStringLiteral("D"), QStringLiteral("N"),
                                                 QStringLiteral("ENG"), 0.0, 0.0, QString()}),
            true, 0));
        const std::size_t after = heapInUse();
        std::printf(
            "  heap held by %d rows loaded as they arrived: %.0f bytes per row beyond their text (UTF-16, %.0f)\n",
            fresh->RecordCount(), (double(after - before) - double(textBytes)) / fresh->RecordCount(),
            double(textBytes) / fresh->RecordCount());
        delete fresh;
    }

    // ---- 2. marking rows, each saved durably
    const int marks = std::min(1000, rows);
    std::vector<double> perRow, clickOnly, beforeSave, saving;
    perRow.reserve(static_cast<std::size_t>(marks));
    form->cdsDestino->First();
    int failures = 0;
    // Splits the click at the save handler: what runs before it (the edit, the
    // post and the controls following them) and the save itself (busy
    // animation, delta, call, merge).
    QElapsedTimer clickTimer;
    auto savingHandler = form->cdsDestino->AfterPost;
    form->cdsDestino->AfterPost = [&](TClientDataSet* ds) {
        beforeSave.push_back(static_cast<double>(clickTimer.nsecsElapsed()) / 1e6);
        QElapsedTimer timer;
        timer.start();
        savingHandler(ds);
        saving.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    };
    // Floor: a bare durable one-row commit on the same disk (WAL,
    // synchronous=FULL, as the server writes), one after each mark, so that
    // both meet the same moments of a shared machine.
    sqlite3* floorDb = nullptr;
    sqlite3_open(dir.filePath(QStringLiteral("floor.db")).toUtf8().constData(), &floorDb);
    sqlite3_exec(floorDb, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; CREATE TABLE t (x)", nullptr, nullptr,
                 nullptr);
    std::vector<double> floorCommits;
    for (int i = 0; i < marks; ++i) {
        // A status the row does not have yet, so every click really writes.
        const QString now = form->cdsDestino->FieldByName(QStringLiteral("IDSITTRADUCAO"))->AsString();
        TButtonFlat* button = now == QLatin1String("T") ? form->sbtDuvida : form->sbtTrad;
        QElapsedTimer& timer = clickTimer;
        timer.start();
        if (!Dispatch([button] { button->Click(); }))
            ++failures;
        clickOnly.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        // What the change asked to repaint and was not painted during the
        // save's wait (the buttons whose state the post settled), done now.
        QApplication::processEvents();
        perRow.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        QElapsedTimer commit;
        commit.start();
        sqlite3_exec(floorDb, "BEGIN; INSERT INTO t VALUES (1); COMMIT", nullptr, nullptr, nullptr);
        floorCommits.push_back(static_cast<double>(commit.nsecsElapsed()) / 1e6);
        form->cdsDestino->Next();
        // The move to the next row is painted before the next click, as the
        // user sees it; otherwise its repaint would be charged to that click.
        QApplication::processEvents();
    }
    std::printf("marking %d rows through the status button, each save durable, pending repaints done: "
                "p50 %.3f ms, p99 %.3f ms, max %.3f ms, failures %d\n",
                marks, percentile(perRow, 0.5), percentile(perRow, 0.99),
                *std::max_element(perRow.begin(), perRow.end()), failures);
    sqlite3_close(floorDb);
    std::printf("  floor: a bare durable one-row commit (SQLite, WAL, synchronous=FULL), one after each mark: "
                "p50 %.3f ms, p99 %.3f ms\n",
                percentile(floorCommits, 0.5), percentile(floorCommits, 0.99));
    std::printf("  the click alone (save included, repaints pending): p50 %.3f ms\n", percentile(clickOnly, 0.5));
    std::printf("    of which before the save handler (edit, post, controls following): p50 %.3f ms; "
                "the save handler: p50 %.3f ms, p99 %.3f ms\n",
                percentile(beforeSave, 0.5), percentile(saving, 0.5), percentile(saving, 0.99));
    form->cdsDestino->AfterPost = savingHandler;

    // Where a mark's time goes: the grid's repaint alone, and the save's
    // server round trip alone (the delta of one changed row, sent as is).
    std::vector<double> repaints;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer timer;
        timer.start();
        form->dbgPadrao->viewport()->repaint();
        repaints.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("  a full repaint of the grid's viewport alone: p50 %.3f ms\n", percentile(repaints, 0.5));
    {
        std::vector<double> rowRep;
        for (int i = 0; i < 200; ++i) {
            QElapsedTimer timer;
            timer.start();
            const QRect row = form->dbgPadrao->visualRect(form->dbgPadrao->currentIndex());
            form->dbgPadrao->viewport()->repaint(
                QRect(0, row.top(), form->dbgPadrao->viewport()->width(), row.height()));
            rowRep.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
        std::printf("  a repaint of one row of the grid alone: p50 %.3f ms\n", percentile(rowRep, 0.5));
    }
    std::vector<double> busy;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer timer;
        timer.start();
        ActiveShowAvi(&main, aviProcessando);
        DeactiveShowAvi();
        QApplication::processEvents();
        busy.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::printf(
        "  busy indicator asked for and closed at once (it shows only after %d ms), repaints done: p50 %.3f ms\n",
        ShowAviDelayMs, percentile(busy, 0.5));
    std::vector<double> roundTrips, localMs, mergeMs;
    QByteArray delta;
    // The round trip on its own: the row posted below is not painted during the call.
    auto onWaiting = std::exchange(form->netTraducao->OnWaiting, nullptr);
    form->cdsDestino->First();
    for (int i = 0; i < 200; ++i) {
        TField* status = form->cdsDestino->FieldByName(QStringLiteral("IDSITTRADUCAO"));
        const QString next = status->AsString() == QLatin1String("T") ? QStringLiteral("D") : QStringLiteral("T");
        // Build the delta locally with the save handlers out of the way.
        auto afterPost = std::exchange(form->cdsDestino->AfterPost, nullptr);
        auto beforePost = std::exchange(form->cdsDestino->BeforePost, nullptr);
        QElapsedTimer local;
        local.start();
        form->cdsDestino->Edit();
        status->SetAsString(next);
        form->cdsDestino->Post();
        localMs.push_back(static_cast<double>(local.nsecsElapsed()) / 1e6);
        form->cdsDestino->AfterPost = std::move(afterPost);
        form->cdsDestino->BeforePost = std::move(beforePost);
        QElapsedTimer timer;
        timer.start();
        delta = form->cdsDestino->Delta();
        const TServerResult result = form->netTraducao->AppServer().Call(QStringLiteral("SetDestino"), {delta});
        roundTrips.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        if (!result.Ok)
            ++failures;
        QElapsedTimer merge;
        merge.start();
        form->cdsDestino->MergeChangeLog();
        mergeMs.push_back(static_cast<double>(merge.nsecsElapsed()) / 1e6);
        form->cdsDestino->Next();
    }
    form->netTraducao->OnWaiting = std::move(onWaiting);
    std::printf("  edit + post (with the grid and buttons following): p50 %.3f ms; merge: p50 %.3f ms\n",
                percentile(localMs, 0.5), percentile(mergeMs, 0.5));
    std::printf("  delta + SetDestino round trip alone: p50 %.3f ms, p99 %.3f ms\n", percentile(roundTrips, 0.5),
                percentile(roundTrips, 0.99));

    // The server's own share, from its request log ("... SetDestino 0.412 ms ...").
    std::vector<double> serverMs;
    for (const QByteArray& line : server.log().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        const qsizetype at = parts.indexOf(QByteArray("SetDestino"));
        if (at >= 0 && at + 1 < parts.size())
            serverMs.push_back(parts[at + 1].toDouble());
    }
    if (!serverMs.empty())
        std::printf("  of which trd-server handling SetDestino (its log): p50 %.3f ms, p99 %.3f ms\n",
                    percentile(serverMs, 0.5), percentile(serverMs, 0.99));

    std::printf("load average at the end: %s\n", loadAverage().constData());
    form->Close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Application()->SetMdiArea(nullptr);
    Application()->SetMainForm(nullptr);
    return failures == 0 ? 0 : 1;
}
