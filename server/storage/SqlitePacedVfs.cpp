#include "SqlitePacedVfs.h"

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

// Our file in front of the default VFS's, which SQLite allocates right after it.
struct PacedFile {
    sqlite3_file base;
    sqlite3_file* real;
    std::chrono::nanoseconds burstStart; // threadTime() when the current burst began; 0: none yet
    const std::atomic<bool>* stop;
};

// Our own file-control opcode (SQLite keeps those below 100 for itself).
constexpr int StopWhenOp = 0x54524431;

sqlite3_file* real(sqlite3_file* f)
{
    return reinterpret_cast<PacedFile*>(f)->real;
}

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
    return file->real->pMethods->xRead(file->real, buffer, amount, offset);
}

int pacedClose(sqlite3_file* f)
{
    sqlite3_file* r = real(f);
    const int rc = r->pMethods ? r->pMethods->xClose(r) : SQLITE_OK;
    f->pMethods = nullptr;
    return rc;
}

// Every other method passes straight through.
int passWrite(sqlite3_file* f, const void* b, int n, sqlite3_int64 o)
{
    return real(f)->pMethods->xWrite(real(f), b, n, o);
}
int passTruncate(sqlite3_file* f, sqlite3_int64 size)
{
    return real(f)->pMethods->xTruncate(real(f), size);
}
int passSync(sqlite3_file* f, int flags)
{
    return real(f)->pMethods->xSync(real(f), flags);
}
int passFileSize(sqlite3_file* f, sqlite3_int64* size)
{
    return real(f)->pMethods->xFileSize(real(f), size);
}
int passLock(sqlite3_file* f, int level)
{
    return real(f)->pMethods->xLock(real(f), level);
}
int passUnlock(sqlite3_file* f, int level)
{
    return real(f)->pMethods->xUnlock(real(f), level);
}
int passCheckReserved(sqlite3_file* f, int* out)
{
    return real(f)->pMethods->xCheckReservedLock(real(f), out);
}
int passFileControl(sqlite3_file* f, int op, void* arg)
{
    if (op == StopWhenOp) {
        reinterpret_cast<PacedFile*>(f)->stop = static_cast<const std::atomic<bool>*>(arg);
        return SQLITE_OK;
    }
    return real(f)->pMethods->xFileControl(real(f), op, arg);
}
int passSectorSize(sqlite3_file* f)
{
    return real(f)->pMethods->xSectorSize(real(f));
}
int passCharacteristics(sqlite3_file* f)
{
    return real(f)->pMethods->xDeviceCharacteristics(real(f));
}
int passShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out)
{
    return real(f)->pMethods->xShmMap(real(f), region, size, extend, out);
}
int passShmLock(sqlite3_file* f, int offset, int n, int flags)
{
    return real(f)->pMethods->xShmLock(real(f), offset, n, flags);
}
void passShmBarrier(sqlite3_file* f)
{
    real(f)->pMethods->xShmBarrier(real(f));
}
int passShmUnmap(sqlite3_file* f, int deleteFlag)
{
    return real(f)->pMethods->xShmUnmap(real(f), deleteFlag);
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

const sqlite3_io_methods PacedMethods = {
    3,
    pacedClose,
    pacedRead,
    passWrite,
    passTruncate,
    passSync,
    passFileSize,
    passLock,
    passUnlock,
    passCheckReserved,
    passFileControl,
    passSectorSize,
    passCharacteristics,
    passShmMap,
    passShmLock,
    passShmBarrier,
    passShmUnmap,
    noFetch,
    noUnfetch,
};

sqlite3_vfs* defaultVfs(sqlite3_vfs* paced)
{
    return static_cast<sqlite3_vfs*>(paced->pAppData);
}

int pacedOpen(sqlite3_vfs* vfs, const char* name, sqlite3_file* f, int flags, int* outFlags)
{
    auto* file = reinterpret_cast<PacedFile*>(f);
    file->base.pMethods = nullptr;
    file->real = reinterpret_cast<sqlite3_file*>(file + 1);
    file->burstStart = std::chrono::nanoseconds::zero();
    file->stop = nullptr;
    sqlite3_vfs* base = defaultVfs(vfs);
    const int rc = base->xOpen(base, name, file->real, flags, outFlags);
    // Once the default VFS's file exists, closing goes through it, even
    // after a failed open (SQLite calls xClose when pMethods is set).
    if (file->real->pMethods)
        file->base.pMethods = &PacedMethods;
    return rc;
}

int vfsDelete(sqlite3_vfs* v, const char* name, int syncDir)
{
    return defaultVfs(v)->xDelete(defaultVfs(v), name, syncDir);
}
int vfsAccess(sqlite3_vfs* v, const char* name, int flags, int* out)
{
    return defaultVfs(v)->xAccess(defaultVfs(v), name, flags, out);
}
int vfsFullPath(sqlite3_vfs* v, const char* name, int n, char* out)
{
    return defaultVfs(v)->xFullPathname(defaultVfs(v), name, n, out);
}
void* vfsDlOpen(sqlite3_vfs* v, const char* name)
{
    return defaultVfs(v)->xDlOpen(defaultVfs(v), name);
}
void vfsDlError(sqlite3_vfs* v, int n, char* out)
{
    defaultVfs(v)->xDlError(defaultVfs(v), n, out);
}
void (*vfsDlSym(sqlite3_vfs* v, void* handle, const char* name))(void)
{
    return defaultVfs(v)->xDlSym(defaultVfs(v), handle, name);
}
void vfsDlClose(sqlite3_vfs* v, void* handle)
{
    defaultVfs(v)->xDlClose(defaultVfs(v), handle);
}
int vfsRandomness(sqlite3_vfs* v, int n, char* out)
{
    return defaultVfs(v)->xRandomness(defaultVfs(v), n, out);
}
int vfsSleep(sqlite3_vfs* v, int micro)
{
    return defaultVfs(v)->xSleep(defaultVfs(v), micro);
}
int vfsCurrentTime(sqlite3_vfs* v, double* out)
{
    return defaultVfs(v)->xCurrentTime(defaultVfs(v), out);
}
int vfsLastError(sqlite3_vfs* v, int n, char* out)
{
    return defaultVfs(v)->xGetLastError ? defaultVfs(v)->xGetLastError(defaultVfs(v), n, out) : 0;
}
int vfsCurrentTimeInt64(sqlite3_vfs* v, sqlite3_int64* out)
{
    return defaultVfs(v)->xCurrentTimeInt64(defaultVfs(v), out);
}

} // namespace

const char* pacedVfsName()
{
    // SQLite keeps its VFSes in a process-wide list; ours is added once, on
    // first use, and never changes afterwards.
    static const char* const name = [] {
        static sqlite3_vfs v{};
        sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
        v.iVersion = 2;
        v.szOsFile = static_cast<int>(sizeof(PacedFile)) + base->szOsFile;
        v.mxPathname = base->mxPathname;
        v.zName = "trd-paced";
        v.pAppData = base;
        v.xOpen = pacedOpen;
        v.xDelete = vfsDelete;
        v.xAccess = vfsAccess;
        v.xFullPathname = vfsFullPath;
        v.xDlOpen = vfsDlOpen;
        v.xDlError = vfsDlError;
        v.xDlSym = vfsDlSym;
        v.xDlClose = vfsDlClose;
        v.xRandomness = vfsRandomness;
        v.xSleep = vfsSleep;
        v.xCurrentTime = vfsCurrentTime;
        v.xGetLastError = vfsLastError;
        v.xCurrentTimeInt64 = vfsCurrentTimeInt64;
        sqlite3_vfs_register(&v, 0);
        return v.zName;
    }();
    return name;
}

void stopPacedReadsWhen(sqlite3* db, const std::atomic<bool>& stop)
{
    sqlite3_file_control(db, "main", StopWhenOp, const_cast<std::atomic<bool>*>(&stop));
}

} // namespace trd::server
