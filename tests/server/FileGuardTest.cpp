// The watch over the database file while the server's own checkpoints write
// into it: a checkpoint makes the file longer and rewrites its pages, and
// sets the file's length back at its end, so a file cut under it looks whole
// by its length once the checkpoint is through. What was cut stays a hole.
#include "SqliteConnection.h"
#include "SqliteFileGuard.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QTemporaryDir>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace trd::server;

namespace {

off_t sizeOf(const std::string& path)
{
    struct stat st { };
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// Two tables of about 150 pages each, all of it in the database file and
// none in the log; then every page of the second table written twice into
// the log, so that a checkpoint has as many pages to copy as the file has.
void fill(SqliteConnection& db)
{
    db.exec("CREATE TABLE kept(x BLOB); CREATE TABLE changed(x BLOB)");
    db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 150) "
            "INSERT INTO kept SELECT randomblob(3000) FROM n");
    db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 150) "
            "INSERT INTO changed SELECT randomblob(3000) FROM n");
    ASSERT_EQ(sqlite3_wal_checkpoint_v2(db.handle(), nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr), SQLITE_OK);
}

void changeInLog(SqliteConnection& db)
{
    db.exec("UPDATE changed SET x = randomblob(3000)");
    db.exec("UPDATE changed SET x = randomblob(3000)");
}

// A database filled as above, its guard recording it as the server's and
// told what the connection writes, as the server's checkpointing
// connections are.
struct Watched {
    QTemporaryDir dir;
    std::string path = dir.filePath(QStringLiteral("db.sqlite")).toStdString();
    SqliteConnection db{path, true, SqliteConnection::Mode::Create, notedVfsName()};
    SqliteFileGuard guard{path};
    Watched()
    {
        fill(db);
        guard.noteWritesOf(db.handle());
        guard.record(true);
    }
    ~Watched() { guard.stopNotingWritesOf(db.handle()); }
};

// cp over the file: the same inode, cut to nothing and written whole.
void copyOver(const std::string& from, const std::string& to)
{
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

int checkpoint(SqliteConnection& db)
{
    int logPages = 0, copied = 0;
    return sqlite3_wal_checkpoint_v2(db.handle(), nullptr, SQLITE_CHECKPOINT_FULL, &logPages, &copied);
}

} // namespace

TEST(FileGuard, TheCheckpointsOwnWritesStandAndACutMadeWhileOneRunsIsSeenAtOnce)
{
    Watched w;
    const std::string& path = w.path;
    SqliteConnection& db = w.db;
    SqliteFileGuard& guard = w.guard;

    // The server's own checkpoint, nothing else at work: the file grows and
    // changes and the guard takes it as the file's new state.
    changeInLog(db);
    db.exec("INSERT INTO kept SELECT randomblob(3000) FROM kept LIMIT 20");
    const off_t before = sizeOf(path);
    {
        SqliteFileGuard::OwnWrite writing(guard);
        ASSERT_EQ(checkpoint(db), SQLITE_OK);
        EXPECT_EQ(guard.check(), "");
    }
    EXPECT_GT(sizeOf(path), before);
    EXPECT_EQ(guard.check(), "");
    EXPECT_EQ(guard.checkContent(), "");

    // Cut while the checkpoint is on: a save checked meanwhile is refused,
    // and the end of the checkpoint does not make the cut file the guard's
    // new state.
    changeInLog(db);
    std::string during, after;
    {
        SqliteFileGuard::OwnWrite writing(guard);
        ASSERT_EQ(::truncate(path.c_str(), 4096), 0);
        during = guard.check();
        checkpoint(db);
    }
    EXPECT_NE(during.find("restaurado da última cópia de segurança"), std::string::npos) << during;
    after = guard.check();
    EXPECT_EQ(after, during); // once lost, stays lost
}

TEST(FileGuard, ACutThatACheckpointWritesOverUnseenIsFoundAtItsEnd)
{
    Watched w;
    const std::string& path = w.path;
    SqliteConnection& db = w.db;
    SqliteFileGuard& guard = w.guard;
    changeInLog(db);
    const off_t whole = sizeOf(path);
    {
        SqliteFileGuard::OwnWrite writing(guard);
        ASSERT_EQ(::truncate(path.c_str(), 4096), 0);
        checkpoint(db); // no check meanwhile: only the end can see it
    }
    ASSERT_EQ(sizeOf(path), whole) << "the checkpoint did not set the length back; the case is not the one meant";
    const std::string lost = guard.check();
    EXPECT_NE(lost.find("restaurado da última cópia de segurança"), std::string::npos) << lost;
}

TEST(FileGuard, ACutJustBeforeACheckpointIsNotTakenAsTheCheckpointsOwn)
{
    Watched w;
    const std::string& path = w.path;
    SqliteConnection& db = w.db;
    SqliteFileGuard& guard = w.guard;
    changeInLog(db);
    ASSERT_EQ(::truncate(path.c_str(), 4096), 0);
    {
        SqliteFileGuard::OwnWrite writing(guard);
        checkpoint(db);
    }
    const std::string lost = guard.check();
    EXPECT_NE(lost.find("restaurado da última cópia de segurança"), std::string::npos) << lost;
}

// A backup copied over the file in place has the file's length and no hole:
// landing while a checkpoint runs, it must still not be taken for the
// checkpoint's work, whether it set back pages the checkpoint had written
// or pages the checkpoint never touched.
TEST(FileGuard, ABackupCopiedOverTheFileWhileACheckpointRunsIsNotTakenAsItsOwn)
{
    {
        Watched w;
        const std::string backup = w.dir.filePath(QStringLiteral("backup.sqlite")).toStdString();
        std::filesystem::copy_file(w.path, backup);
        changeInLog(w.db);
        {
            SqliteFileGuard::OwnWrite writing(w.guard);
            ASSERT_EQ(checkpoint(w.db), SQLITE_OK);
            copyOver(backup, w.path);
        }
        ASSERT_EQ(sizeOf(w.path), sizeOf(backup)) << "the checkpoint changed the length; the case is not the one meant";
        const std::string lost = w.guard.check();
        EXPECT_NE(lost.find("foi alterado por outro programa"), std::string::npos) << lost;
        EXPECT_NE(lost.find("restaurado da última cópia de segurança"), std::string::npos) << lost;
    }
    {
        Watched w;
        const std::string backup = w.dir.filePath(QStringLiteral("backup.sqlite")).toStdString();
        std::filesystem::copy_file(w.path, backup);
        // The untouched half of the file moves on past the backup, and is
        // the server's own state before the copy lands.
        w.db.exec("UPDATE kept SET x = randomblob(3000)");
        {
            SqliteFileGuard::OwnWrite writing(w.guard);
            ASSERT_EQ(checkpoint(w.db), SQLITE_OK);
        }
        ASSERT_EQ(w.guard.checkContent(), "");
        changeInLog(w.db);
        {
            SqliteFileGuard::OwnWrite writing(w.guard);
            copyOver(backup, w.path);
            ASSERT_EQ(checkpoint(w.db), SQLITE_OK); // writes every page of the changed half over the copy
        }
        ASSERT_EQ(sizeOf(w.path), sizeOf(backup)) << "the checkpoint changed the length; the case is not the one meant";
        const std::string lost = w.guard.check();
        EXPECT_NE(lost.find("restaurado da última cópia de segurança"), std::string::npos) << lost;
    }
}

// A copy taken after one checkpoint and put back after the next differs from
// the file only in the pages that checkpoint wrote, none of which need be
// among the pages the spread sample looks at; the header is the same.
TEST(FileGuard, AnOlderCopyPutBackBetweenCheckpointsIsFoundWhereTheSampleDoesNotLook)
{
    Watched w;
    const std::string backup = w.dir.filePath(QStringLiteral("backup.sqlite")).toStdString();
    const auto bytesOf = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    // The pages the spread sample reads: 16, evenly over the file.
    const auto sampled = [](std::size_t pages, std::size_t page) {
        for (std::size_t i = 0; i < 16; ++i)
            if (i * (pages - 1) / 15 == page)
                return true;
        return false;
    };
    bool offTheSample = false;
    for (int row = 70; row < 90 && !offTheSample; ++row) {
        std::filesystem::copy_file(w.path, backup, std::filesystem::copy_options::overwrite_existing);
        w.db.exec(("UPDATE kept SET x = randomblob(3000) WHERE rowid = " + std::to_string(row)).c_str());
        {
            SqliteFileGuard::OwnWrite writing(w.guard);
            ASSERT_EQ(checkpoint(w.db), SQLITE_OK);
        }
        ASSERT_EQ(w.guard.checkContent(), "");
        const std::string now = bytesOf(w.path), then = bytesOf(backup);
        ASSERT_EQ(now.size(), then.size());
        const std::size_t pages = now.size() / 4096;
        std::size_t differing = 0;
        offTheSample = true;
        for (std::size_t p = 0; p < pages; ++p)
            if (now.compare(p * 4096, 4096, then, p * 4096, 4096) != 0) {
                ++differing;
                offTheSample = offTheSample && !sampled(pages, p);
            }
        offTheSample = offTheSample && differing > 0;
    }
    ASSERT_TRUE(offTheSample) << "every row tried changed a sampled page; the case is not the one meant";
    copyOver(backup, w.path);
    EXPECT_EQ(w.guard.check(), ""); // the same length and header: only the pages tell
    const std::string lost = w.guard.checkContent();
    EXPECT_NE(lost.find("restaurado da última cópia de segurança"), std::string::npos) << lost;
}

// A file that opens but is no database fails the connection's first
// statement: the refusal must not keep the file open (a scheduled check of a
// bad backup, day after day, would run the server out of descriptors).
TEST(FileGuard, AFileThatIsNoDatabaseIsRefusedAndLeftClosed)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("bad.db")).toStdString();
    {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        const std::string junk(64 * 1024, 'x');
        std::fwrite(junk.data(), 1, junk.size(), f);
        std::fclose(f);
    }
    const auto openDescriptors = [] {
        int n = 0;
        for (int fd = 0; fd < 4096; ++fd)
            n += ::fcntl(fd, F_GETFD) != -1;
        return n;
    };
    const int before = openDescriptors();
    for (int i = 0; i < 20; ++i)
        EXPECT_THROW(SqliteConnection(path, true, SqliteConnection::Mode::ReadWrite), SqliteError);
    EXPECT_EQ(openDescriptors(), before);
}
