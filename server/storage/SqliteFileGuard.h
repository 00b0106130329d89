#pragma once
// Notices when the files a running server writes through are no longer the
// ones it opened, or no longer hold what it wrote: the database deleted,
// replaced, cut short or written over by another program (a backup copied
// over it in place keeps its inode), its WAL or shared-memory file deleted,
// or damage found by the integrity check. SQLite keeps writing into the open
// files and every commit still succeeds, so without this check saves would be
// acknowledged into files that vanish or no longer make sense at the next
// restart or crash.
//
// Between two checkpoints the database file does not change at all in WAL
// mode: every write goes to the WAL. So its size, its header and a sample of
// its pages are recorded after each of the server's own checkpoints (which
// bracket their writes with OwnWrite) and must be the same at every check.
// check() looks at the identities, the size and the header (a few system
// calls, before every write transaction and after every commit);
// checkContent() also reads the page sample (once a second).
//
// While a checkpoint runs the file does change, but only ever by pages
// written into it: it never gets shorter and no part of it that held data
// becomes a hole. A file cut under a checkpoint shows either, even once the
// checkpoint has written its last page and set the file's length back
// (which it does at its end), so a cut is not taken for the server's own
// new state. Where the file system does not report holes the file reads as
// all data, and only the length is watched.
//
// A file written over in place while a checkpoint runs keeps its length and
// has no hole. So the connections that checkpoint tell the guard every page
// they write (noteWritesOf), and a checkpoint's end reads those pages back,
// and the sampled pages it did not write, before it takes the file as the
// server's own: a page that is no longer what was written, or a page that
// changed unwritten, is another program's work. A spread of the pages a
// checkpoint wrote is then watched with the sample until the next one.
#include "SqliteNotedWritesVfs.h"

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace trd::server {

class SqliteFileGuard final : private WriteListener {
public:
    // watchContent false: only the identities are compared. A tool run beside
    // a serving server sees that server's checkpoints change the database
    // file at any moment; they are no damage, and the tool copies nothing
    // into the file itself (SqliteOpenOptions::besideServer).
    explicit SqliteFileGuard(std::string path, bool watchContent = true);
    ~SqliteFileGuard();
    SqliteFileGuard(const SqliteFileGuard&) = delete;
    SqliteFileGuard& operator=(const SqliteFileGuard&) = delete;

    // Takes the identities of the files and the database's content marks as
    // they are now; call once the server's connections hold them open.
    void record(bool withWal);
    // Empty while the files on disk are the ones recorded and unchanged;
    // otherwise what happened, for the user (names no file). Once lost,
    // stays lost.
    std::string check();
    // The same, reading the page sample too.
    std::string checkContent();
    // True while the database file itself is the one recorded, unchanged
    // (only its WAL or shared memory went): what is still in the open WAL can
    // be copied into it.
    bool databaseIntact();
    // The integrity check found damage: saves stop, as for lost files.
    std::string markDamaged(const std::string& findings);
    // The connection (opened through notedVfsName()) tells the guard what
    // its checkpoints write. Every connection that runs one of OwnWrite's
    // checkpoints must be given here, before it runs one.
    void noteWritesOf(sqlite3* db);
    void stopNotingWritesOf(sqlite3* db);

    // The server's own writes into the database file (checkpoints): the
    // content is not compared meanwhile, and recorded afresh at the end.
    class OwnWrite {
    public:
        explicit OwnWrite(SqliteFileGuard& guard);
        ~OwnWrite();
        OwnWrite(const OwnWrite&) = delete;
        OwnWrite& operator=(const OwnWrite&) = delete;

    private:
        SqliteFileGuard& m_guard;
    };

private:
    struct Identity {
        bool present = false;
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const Identity&) const = default;
    };
    struct SampledPage {
        off_t offset = 0;
        std::uint64_t digest = 0;
        bool operator==(const SampledPage&) const = default;
    };
    // What the database file holds, as far as the checks look.
    struct Marks {
        off_t size = -1;
        off_t firstHole = -1; // where the first unallocated stretch starts; the size when there is none
        std::string header; // the first 100 bytes
        std::size_t pageSize = 0;
        std::vector<SampledPage> sample; // a few pages spread over the file
    };
    struct Written {
        off_t end = 0;
        std::uint64_t digest = 0;
        bool readable = true; // false: written over in part since, so its digest no longer says what is there
    };
    enum class Loss { None, Files, Content, Damage };

    static Identity identityOf(const std::string& path, off_t* size = nullptr);
    Marks readMarks(bool withSample) const;
    std::string compare(bool withSample);
    // What the server's own writes cannot have done to the file since the
    // marks were taken; empty when the file could still be theirs.
    std::string cutUnderOwnWrites(const Marks& now) const;
    // A stretch of the file and what it must hold at the end of the
    // server's own writes: what they wrote there, or for a sampled page they
    // did not write, what it held before them.
    struct ReadBack {
        off_t offset = 0, end = 0;
        std::uint64_t digest = 0;
        bool written = true;
    };
    std::vector<ReadBack> pagesToReadBack() const;
    // A sampled page as a stretch to read back unwritten.
    ReadBack readBackOf(const SampledPage& page) const;
    // What another program wrote over the file while the server's own
    // writes ran, found by reading the pages back; empty when nothing.
    static std::string changedOnReadBack(int fd, std::vector<ReadBack> pages);
    struct ReadBackCount {
        std::size_t read = 0, changed = 0, changedUnwritten = 0;
    };
    static ReadBackCount countChanged(int fd, std::vector<ReadBack> pages);
    // A spread of the pages just written, kept as the file's own from now on.
    std::vector<SampledPage> recentFromWritten() const;
    bool writtenByOwnWrites(off_t offset, off_t end) const;
    void written(sqlite3_int64 offset, const void* data, int amount) override;
    void truncated(sqlite3_int64 size) override;
    std::string lose(Loss loss, const std::string& what, const std::string& log);

    std::string m_path;
    bool m_watchContent;
    int m_fd = -1; // the database as opened: reads what is in it now, whatever the path names
    std::mutex m_mutex;
    bool m_recorded = false;
    bool m_withWal = false;
    int m_ownWrites = 0;
    Identity m_db, m_wal, m_shm;
    Marks m_marks;
    // What the server's own writes put into the file since they began, by
    // offset; kept only while they run.
    std::map<off_t, Written> m_written;
    bool m_unnotedWriter = false; // a checkpointing connection that cannot tell its writes
    // Pages the last of the server's checkpoints wrote, with what it wrote:
    // watched beside the spread sample, as a copy of an older file over this
    // one sets back first what was written last.
    std::vector<SampledPage> m_recent;
    Loss m_loss = Loss::None;
    std::string m_lost;
};

} // namespace trd::server
