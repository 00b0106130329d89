// Scheduled backups over simulated days (the clock injected, real copies of
// a real database): what the retention keeps, and that a copy failing its
// check drops nothing. Restore end to end against the real server: backed up
// while savers save, refused while the server runs, restored once it is
// stopped, and every save acknowledged before the backup began is there.
#include "BackupSchedule.h"
#include "ServerTestKit.h"
#include "SqliteBackup.h"
#include "SqliteStorage.h"
#include "TrdServerProcess.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

using namespace trd::server;
using namespace trd::server::test;
using trd::test::TrdServerProcess;

namespace {

constexpr std::int64_t Day = 86400;
// Sunday 2026-01-04 03:00 UTC.
constexpr std::int64_t Start = 1767495600;

std::string dayText(std::int64_t at)
{
    return backupName(at).substr(4, 8);
}

} // namespace

TEST(BackupSchedule, NamesOnlyItsOwnFiles)
{
    EXPECT_EQ(backupName(Start), "trd-20260104T030000Z.db");
    EXPECT_EQ(backupTime("trd-20260104T030000Z.db"), Start);
    for (const char* other : {"trd-20260231T030000Z.db", "trd-20260104T030000Z.db.parcial", "trd.db",
                              "trd-20260104T250000Z.db", "xrd-20260104T030000Z.db", "trd-2026010xT030000Z.db"})
        EXPECT_FALSE(backupTime(other)) << other;
}

TEST(BackupSchedule, RotationOverSimulatedDaysKeepsDailyWeeklyAndMonthly)
{
    InProcessServer db;
    db.seed({{"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Save", "T"}});
    QTemporaryDir folder;
    // Someone else's file in the folder is never touched.
    std::ofstream(folder.path().toStdString() + "/notas.txt") << "x";
    std::int64_t now = Start;
    BackupSchedule schedule({db.path(), folder.path().toStdString(), std::chrono::seconds(Day), Retention{14, 8, 6}},
                            [&now] { return now; });
    const int days = 230;
    for (int d = 0; d < days; ++d, now += Day)
        ASSERT_TRUE(schedule.runOnce()) << "day " << d;
    const std::int64_t last = now - Day;

    const std::vector<BackupCopy> copies = backupsIn(folder.path().toStdString());
    std::set<std::string> keptDays;
    for (const BackupCopy& c : copies)
        keptDays.insert(dayText(c.at));
    // The last 14 days, each one.
    for (int d = 0; d < 14; ++d)
        EXPECT_TRUE(keptDays.count(dayText(last - d * Day))) << "daily copy of " << dayText(last - d * Day);
    // The 8 latest ISO weeks: a copy a week is each week's last (a Sunday),
    // the current week's newest being the last day itself.
    for (int w = 1; w < 8; ++w) {
        // The Sundays (the last day of an ISO week) before the last day.
        const std::int64_t sunday = last - ((last - Start) / Day % 7) * Day - (w - 1) * 7 * Day;
        EXPECT_TRUE(keptDays.count(dayText(sunday))) << "weekly copy of " << dayText(sunday);
    }
    // The 6 latest months: each month's last day (the current month's newest is the last day).
    // The last day is 2026-08-21: August's newest is the last day itself.
    ASSERT_EQ(dayText(last), "20260821");
    for (const char* monthEnd : {"20260731", "20260630", "20260531", "20260430", "20260331"})
        EXPECT_TRUE(keptDays.count(monthEnd)) << "monthly copy of " << monthEnd;
    EXPECT_FALSE(keptDays.count("20260228")) << "a seventh month kept";
    EXPECT_FALSE(keptDays.count("20260104")) << "the first day kept forever";
    EXPECT_LE(copies.size(), 14u + 8u + 6u);
    EXPECT_GE(copies.size(), 14u + 5u);
    EXPECT_TRUE(QFile::exists(folder.path() + "/notas.txt"));
    EXPECT_EQ(schedule.figures().kept, copies.size());
    EXPECT_EQ(schedule.figures().lastMs, last * 1000);
    // Every copy kept is a sound database of this server with the row.
    InProcessServer restoredView(std::make_unique<SqliteStorage>(copies.front().path, SqliteOpenOptions{}));
    EXPECT_EQ(allRows(restoredView, "ENG").size(), 1u);
}

TEST(BackupSchedule, ACopyThatFailsItsCheckDropsNothing)
{
    InProcessServer db;
    db.seed({{"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Save", "T"}});
    QTemporaryDir folder;
    std::int64_t now = Start;
    bool spoil = false;
    BackupSchedule schedule(
        {db.path(), folder.path().toStdString(), std::chrono::seconds(Day), Retention{2, 0, 0}}, [&now] { return now; },
        [&spoil](const std::string& from, const std::string& to) {
            backupSqlite(from, to);
            if (spoil) {
                // A disk that returns other bytes than were written: every
                // page after the first garbled in the copy.
                const auto size = std::filesystem::file_size(to);
                std::fstream f(to, std::ios::in | std::ios::out | std::ios::binary);
                f.seekp(4096);
                const std::string junk(size - 4096, '\x5a');
                f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
            }
        });
    for (int d = 0; d < 3; ++d, now += Day)
        ASSERT_TRUE(schedule.runOnce());
    ASSERT_EQ(backupsIn(folder.path().toStdString()).size(), 2u);
    spoil = true;
    EXPECT_FALSE(schedule.runOnce());
    EXPECT_FALSE(schedule.figures().lastOk);
    const std::vector<BackupCopy> after = backupsIn(folder.path().toStdString());
    ASSERT_EQ(after.size(), 2u) << "an old copy was dropped for a bad new one, or the bad one kept";
    EXPECT_EQ(after.back().at, Start + 2 * Day);
}

TEST(Restore, BackedUpUnderLoadRefusedWhileServingRestoredWithEveryAcknowledgedSave)
{
    // 40 rows, 4 savers, each saving its own 10 rows in turn, numbered.
    std::string seed = "L\tENG\tInglês\tPOR\n";
    for (int r = 0; r < 40; ++r)
        seed += "R\tENG\tTRD09300\tc" + std::to_string(r) + "\tTexto " + std::to_string(r) + "\t0\tN\n";
    TrdServerProcess::Options options;
    options.seedTsv = QByteArray::fromStdString(seed);
    options.extraArgs = {"--quiet"};
    TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();

    std::atomic<bool> stop{false};
    std::atomic<bool> backupStarted{false};
    std::mutex mutex;
    std::map<int, int> ackedBeforeBackup; // row: the last number acknowledged before the backup began
    std::map<int, int> attempted; // row: the last number sent
    std::vector<std::thread> savers;
    for (int t = 0; t < 4; ++t)
        savers.emplace_back([&, t] {
            httplib::Client client("127.0.0.1", server.port());
            client.set_read_timeout(30, 0);
            std::map<int, int> value;
            for (int n = 1; !stop; ++n) {
                const int row = t * 10 + n % 10;
                const std::string comp = "c" + std::to_string(row);
                const std::string before = std::to_string(value[row]);
                DeltaBuilder delta;
                delta.modify({"ENG", "TRD09300", comp, "Texto " + std::to_string(row), before, "N"}, std::to_string(n));
                {
                    std::lock_guard lock(mutex);
                    attempted[row] = n;
                }
                auto res =
                    client.Post("/Trd09300.rdmTraducao", request("SetDestino", json(delta.xml())), "application/json");
                if (!res || !parseAnswer(res->body).ok)
                    return; // the test fails below on the counts
                value[row] = n;
                // Acknowledged before the backup began: sent before it is not
                // enough, a loaded server may commit it after the copy's snapshot.
                if (!backupStarted) {
                    std::lock_guard lock(mutex);
                    ackedBeforeBackup[row] = n;
                }
            }
        });
    // Every row acknowledged at least once before the backup begins, however
    // late a loaded machine runs the savers (they go on during the backup).
    for (const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
         std::chrono::steady_clock::now() < until;) {
        {
            std::lock_guard lock(mutex);
            if (ackedBeforeBackup.size() == 40)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const QString copy = QFileInfo(server.dbPath()).absolutePath() + "/copia.db";
    std::map<int, int> attemptedAtBackupEnd;
    {
        QProcess backup;
        backupStarted = true;
        backup.start(TrdServerProcess::binaryPath(), {"--db", server.dbPath(), "--backup", copy});
        ASSERT_TRUE(backup.waitForFinished(60000));
        ASSERT_EQ(backup.exitCode(), 0) << backup.readAllStandardError().toStdString();
        std::lock_guard lock(mutex);
        attemptedAtBackupEnd = attempted;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop = true;
    for (auto& t : savers)
        t.join();
    ASSERT_EQ(ackedBeforeBackup.size(), 40u) << "the savers did not get going";

    const auto restore = [&](QString& err) {
        QProcess p;
        p.start(TrdServerProcess::binaryPath(), {"restore", copy, "--db", server.dbPath()});
        p.waitForFinished(60000);
        err = QString::fromUtf8(p.readAllStandardError());
        return p.exitCode();
    };
    QString err;
    EXPECT_EQ(restore(err), 1) << "restored over a database in use";
    EXPECT_TRUE(err.contains("pare o servidor")) << err.toStdString();

    ASSERT_TRUE(server.terminate());
    ASSERT_EQ(restore(err), 0) << err.toStdString();
    EXPECT_TRUE(err.contains("antes-da-restauracao")) << "the former database set aside: " << err.toStdString();
    ASSERT_TRUE(server.restart()) << server.errorString().toStdString();
    httplib::Client client("127.0.0.1", server.port());
    auto res = client.Post("/Trd09300.rdmTraducao", request("GetDestino", "\"T\",\"D\",\"N\",\"ENG\",0,0,\"\""),
                           "application/json");
    ASSERT_TRUE(res);
    const Answer answer = parseAnswer(res->body);
    ASSERT_TRUE(answer.ok) << res->body;
    ASSERT_EQ(answer.rows.size(), 40u);
    for (const Row& row : answer.rows) {
        const int r = std::stoi(row.at("NMCOMPONENTE").substr(1));
        const int restored = std::stoi(row.at("STVALORPROP"));
        EXPECT_GE(restored, ackedBeforeBackup[r])
            << "row " << r << ": a save acknowledged before the backup is missing";
        EXPECT_LE(restored, attemptedAtBackupEnd[r]) << "row " << r << ": a save sent after the backup is in it";
    }
}

TEST(BackupSchedule, TheServerMakesItsCopiesOnScheduleAndTellsTheirTimeInMetrics)
{
    QTemporaryDir copies;
    TrdServerProcess::Options options;
    options.seedTsv = "L\tENG\tInglês\tPOR\nR\tENG\tTRD09300\tsbtSalvar\t&Salvar\t\tN\n";
    options.extraArgs = {"--backup-dir",  copies.path(), "--backup-every", "1", "--keep-daily", "1",
                         "--keep-weekly", "0",           "--keep-monthly", "0", "--quiet"};
    TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    // Several copies a second apart, all of one day: one is kept.
    for (int i = 0; i < 200 && server.log().count("cópia de segurança agendada gravada") < 3; ++i)
        QThread::msleep(50);
    ASSERT_GE(server.log().count("cópia de segurança agendada gravada"), 3) << server.log().toStdString();
    EXPECT_EQ(backupsIn(copies.path().toStdString()).size(), 1u);
    httplib::Client client("127.0.0.1", server.port());
    auto res = client.Get("/metrics");
    ASSERT_TRUE(res);
    EXPECT_NE(res->body.find("\ntrd_backup_last_ok 1\n"), std::string::npos) << res->body;
    EXPECT_NE(res->body.find("\ntrd_backup_copies 1\n"), std::string::npos) << res->body;
    const std::size_t at = res->body.find("\ntrd_backup_last_timestamp_seconds ");
    ASSERT_NE(at, std::string::npos);
    EXPECT_GT(std::stod(res->body.substr(at + 35)), 1.7e9);

    // A folder that is not there stops the start, naming it.
    QProcess p;
    p.start(TrdServerProcess::binaryPath(),
            {"--db", copies.path() + "/outro.db", "--create", "--listen", "127.0.0.1:0", "--backup-dir",
             copies.path() + "/nao-existe"});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(p.readAllStandardError().contains("nao-existe")) << "the folder is named";
}
