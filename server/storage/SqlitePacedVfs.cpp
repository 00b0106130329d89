#include "SqlitePacedVfs.h"

#include "SqliteVfsShim.h"

#include <sqlite3.h>

#include <chrono>
#include <ctime>
#include <thread>

namespace trd::server {

namespace {

// The time this thread has run: the check's own work, whatever the
// processors' other load, so a check that gets little of them is not also
// paused for the time it spent waiting for them.
std::chrono::nanoseconds threadTime()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

constexpr auto Burst = std::chrono::milliseconds(2);
constexpr int PauseFactor = 9; // a pause nine times the burst: a tenth of a processor at most

// Our file in front of the default VFS's.
struct PacedFile {
    ShimFile shim;
    std::chrono::nanoseconds burstStart; // threadTime() when the current burst began; 0: none yet
    const std::atomic<bool>* stop;
};

// Our own file-control opcode (SQLite keeps those below 100 for itself).
constexpr int StopWhenOp = 0x54524431;

int pacedRead(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset)
{
    auto* file = reinterpret_cast<PacedFile*>(f);
    if (file->stop && file->stop->load())
        return SQLITE_INTERRUPT;
    const auto now = threadTime();
    if (file->burstStart == std::chrono::nanoseconds::zero()) {
        file->burstStart = now;
    } else if (const auto spent = now - file->burstStart; spent >= Burst) {
        std::this_thread::sleep_for(spent * PauseFactor);
        file->burstStart = threadTime();
    }
    sqlite3_file* real = file->shim.real;
    return real->pMethods->xRead(real, buffer, amount, offset);
}

int pacedFileControl(sqlite3_file* f, int op, void* arg)
{
    auto* file = reinterpret_cast<PacedFile*>(f);
    if (op == StopWhenOp) {
        file->stop = static_cast<const std::atomic<bool>*>(arg);
        return SQLITE_OK;
    }
    return file->shim.real->pMethods->xFileControl(file->shim.real, op, arg);
}

// No memory-mapped reads through this VFS: every page comes through pacedRead.
int noFetch(sqlite3_file*, sqlite3_int64, int, void** out)
{
    *out = nullptr;
    return SQLITE_OK;
}
int noUnfetch(sqlite3_file*, sqlite3_int64, void*)
{
    return SQLITE_OK;
}

const sqlite3_io_methods PacedMethods = [] {
    sqlite3_io_methods m = shimPassThroughMethods();
    m.xRead = pacedRead;
    m.xFileControl = pacedFileControl;
    m.xFetch = noFetch;
    m.xUnfetch = noUnfetch;
    return m;
}();

int pacedOpen(sqlite3_vfs* vfs, const char* name, sqlite3_file* f, int flags, int* outFlags)
{
    auto* file = reinterpret_cast<PacedFile*>(f);
    file->burstStart = std::chrono::nanoseconds::zero();
    file->stop = nullptr;
    return shimOpenFile(vfs, name, file, flags, outFlags, &PacedMethods);
}

} // namespace

const char* pacedVfsName()
{
    return shimVfs<PacedFile>("trd-paced", pacedOpen);
}

void stopPacedReadsWhen(sqlite3* db, const std::atomic<bool>& stop)
{
    sqlite3_file_control(db, "main", StopWhenOp, const_cast<std::atomic<bool>*>(&stop));
}

} // namespace trd::server
